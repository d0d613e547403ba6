// Types of the kit for editors and TypeScript tests; the code is index.mjs.
import type { Expect, Frame, Page, TestType, PlaywrightTestArgs, PlaywrightTestOptions, PlaywrightWorkerArgs, PlaywrightWorkerOptions } from '@playwright/test';

export interface Frame2D {
  x: number;
  y: number;
  width: number;
  height: number;
}

export interface LayoutText {
  region: string | null;
  text: string;
  frame: Frame2D;
  font: { size: number; weight: string };
  color: string;
  lineLimit: number | null;
  cut: boolean;
}

export interface LayoutReport {
  kind: string;
  family: string;
  deviceClass: string;
  size: { width: number; height: number };
  texts: LayoutText[];
  symbols: { region: string | null; symbol: string; frame: Frame2D; color: string }[];
  fills: { region: string | null; frame: Frame2D; color: string }[];
  tapTargets: TapTarget[];
}

export interface TapTarget {
  frame: Frame2D;
  url: string;
}

export interface Row {
  title: string;
  project?: string;
}

export interface TapResult {
  url: string | undefined;
  outcome: 'delivered' | 'launched' | 'waiting' | 'failed' | 'nothing';
  message: string;
}

export interface Widget {
  readonly id: string;
  readonly kind: string;
  readonly family: string;
  entry(): Promise<{ date: string; payload?: unknown; [key: string]: unknown }>;
  layout(): Promise<LayoutReport>;
  texts(): Promise<string[]>;
  rows(): Promise<Row[]>;
  message(): Promise<string | undefined>;
  tapTargets(): Promise<TapTarget[]>;
  picture(): Promise<Buffer>;
  tap(point?: { x: number; y: number }): Promise<TapResult>;
}

export type Placement = string | { kind: string; family: string };

export interface DoctorFinding {
  subject: string;
  verdict: 'ok' | 'info' | 'warning' | 'problem';
  message: string;
}

export interface Device {
  readonly folder: string;
  readonly homeUrl: string;
  readonly appUrl: string;
  readonly clock: {
    advance(by: { minutes: number }): Promise<void>;
    reset(): Promise<void>;
  };
  open(url: string, options?: { sourceApplication?: string; openInPlace?: boolean }): Promise<void>;
  home(): Promise<string>;
  bringToFront(): Promise<string>;
  /** Ends App, as the app switcher does: the next tap launches it cold. */
  terminateApp(): Promise<void>;
  settings(changes: { deviceClass?: string; systemVersion?: string; placements?: Placement[] }): Promise<unknown>;
  /**
   * Sets what the device answers App's request to send notifications, as the
   * phone's settings do; "granted" or "denied" also answers the alert App
   * waits on. Resolves whether App was waiting.
   */
  setNotificationPermission(permission: NotificationPermission): Promise<boolean>;
  doctor(): Promise<{ healthy: boolean; verdict: string; findings: DoctorFinding[] }>;
  state(): Promise<Record<string, unknown>>;
}

export interface HomePage extends Page {
  widget(kind: string, family?: string): Widget;
  /** The web view of the App that runs now, launching it when none runs. */
  app(): Promise<Frame>;
}

export type NotificationPermission = 'granted' | 'denied' | 'prompt';

export interface BrisklaneOptions {
  webDir: string | undefined;
  /** What the device answers App's request to send notifications; default "granted". */
  notificationPermission: NotificationPermission;
  brisklaneBinDir: string | undefined;
  goldenDir: string | undefined;
}

export interface BrisklaneFixtures {
  device: Device;
  home: HomePage;
  app: Frame;
}

export const test: TestType<
  PlaywrightTestArgs & PlaywrightTestOptions & BrisklaneOptions & BrisklaneFixtures,
  PlaywrightWorkerArgs & PlaywrightWorkerOptions
>;

type Waiting = { timeout?: number };

export const expect: Expect<{
  toShowText(widget: Widget, text: string | RegExp, options?: Waiting): Promise<{ pass: boolean; message: () => string }>;
  toShowRows(widget: Widget, rows: { title: string; project?: string | null }[], options?: Waiting): Promise<{ pass: boolean; message: () => string }>;
  toShowMessage(widget: Widget, text: string | RegExp, options?: Waiting): Promise<{ pass: boolean; message: () => string }>;
  toMatchGolden(widget: Widget, name: string, options?: Waiting & { strictPixels?: boolean }): Promise<{ pass: boolean; message: () => string }>;
}>;

export function findPrograms(binDir?: string): { app: string; host: string };
export function findWebDir(start?: string): string;
