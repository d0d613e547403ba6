// Golden widgets: the widget's picture and layout report, written as
// NAME.png and NAME.json, checked by the host's `snapshot --compare` against
// the same NAME in the golden folder, which says what differs in words (a
// text, a frame, a colour) before pixels. Goldens are written as
// Playwright writes its snapshots: a missing one on any run but with
// `--update-snapshots=none` (failing the test unless the mode is
// "missing"), and every one that differs with `--update-snapshots`.
import { existsSync } from 'node:fs';
import { mkdir, readdir, rm, writeFile } from 'node:fs/promises';
import path from 'node:path';
import { setTimeout as delay } from 'node:timers/promises';

import { test } from '@playwright/test';

import { runProgram } from './process.mjs';
import { UsageError } from './widget.mjs';

const namePattern = /^[A-Za-z0-9][A-Za-z0-9._-]*$/;
const pollIntervals = [100, 250, 500, 1000];

// The folder the goldens of `testInfo`'s file are kept in.
export function goldenFolder(testInfo, configured) {
  return configured ? path.resolve(configured) : path.join(path.dirname(testInfo.file), '__goldens__');
}

const offered = new Map(); // host program: whether it has `snapshot`

async function checkSnapshotCommand(host, home) {
  if (!offered.has(host)) offered.set(host, /^ {2}snapshot\b/m.test((await runProgram(host, ['--help'], { home })).stdout));
  if (!offered.get(host)) throw new UsageError(`${host} has no snapshot command, which toMatchGolden runs: use a newer build of Brisklane native`);
}

// The widget's picture and layout report of one round: both read between
// two looks at the picture's round, which must agree.
async function capture(widget) {
  for (let attempt = 0; attempt < 10; attempt += 1) {
    const before = (await widget.state()).pictureVersion;
    const [layout, picture] = await Promise.all([widget.layout(), widget.picture()]);
    if ((await widget.state()).pictureVersion === before) return { layout, picture };
  }
  throw new Error(`${widget.id} was drawn anew at every look: its picture and layout never held still`);
}

async function freshFolder(folder) {
  await rm(folder, { recursive: true, force: true });
  await mkdir(folder, { recursive: true });
  return folder;
}

class GoldenRun {
  constructor(widget, name, testInfo, { strictPixels = false } = {}) {
    this.widget = widget;
    this.strictPixels = strictPixels; // pixels that differ alone fail too
    this.name = name;
    this.testInfo = testInfo;
    this.goldens = goldenFolder(testInfo, widget.device.goldenDir);
    this.work = testInfo.outputPath('goldens', name);
    this.now = path.join(this.work, 'now');
    this.report = path.join(this.work, 'report');
  }

  get exists() {
    return ['png', 'json'].every((extension) => existsSync(path.join(this.goldens, `${this.name}.${extension}`)));
  }

  // Writes what the widget shows now to the NOW folder: { layout, picture }.
  async writeNow() {
    const shown = await capture(this.widget);
    await freshFolder(this.now);
    await writeFile(path.join(this.now, `${this.name}.png`), shown.picture);
    // The round's number says nothing of what the picture shows.
    const { version, ...layout } = shown.layout;
    await writeFile(path.join(this.now, `${this.name}.json`), `${JSON.stringify(layout, null, 2)}\n`);
    return shown;
  }

  // `snapshot --compare`: { code, lines }; a usage error (exit 2) throws.
  async compare({ update = false } = {}) {
    await checkSnapshotCommand(this.widget.device.programs.host, this.widget.device.folder);
    await freshFolder(this.report);
    await mkdir(this.goldens, { recursive: true });
    const args = ['snapshot', '--compare', this.now, '--check', this.goldens, '--report', this.report];
    if (this.strictPixels) args.push('--strict-pixels');
    if (update) args.push('--update');
    const { code, stdout, stderr } = await runProgram(this.widget.device.programs.host, args, { home: this.widget.device.folder });
    const lines = `${stdout}${stderr}`.trim();
    if (code !== 0 && code !== 1) throw new UsageError(`BrisklaneWidgetExtension ${args.join(' ')} ended with exit code ${code}:\n${lines}`);
    return { code, lines };
  }

  async attachReport() {
    const files = await readdir(this.report).catch(() => []);
    for (const file of files) await this.testInfo.attach(`${this.name} report: ${file}`, { path: path.join(this.report, file) });
    await this.testInfo.attach(`${this.name}-actual.png`, { path: path.join(this.now, `${this.name}.png`), contentType: 'image/png' });
  }

  // Waits for two reads in a row that agree, then writes them as the golden.
  async update() {
    let previous = await this.writeNow();
    for (let attempt = 0; attempt < 20; attempt += 1) {
      await delay(pollIntervals[Math.min(attempt, pollIntervals.length - 1)]);
      const shown = await this.writeNow();
      const same = shown.picture.equals(previous.picture) && JSON.stringify(shown.layout) === JSON.stringify(previous.layout);
      if (same) break;
      previous = shown;
    }
    await this.compare({ update: true });
    return this.compare(); // what was written must now match
  }

  // Compares until the widget matches or `timeout` ms pass: { code, lines }.
  async compareUntilSame(timeout) {
    const deadline = Date.now() + timeout;
    for (let attempt = 0; ; attempt += 1) {
      await this.writeNow();
      const compared = await this.compare();
      const left = deadline - Date.now();
      if (compared.code === 0 || left <= 0) return compared;
      await delay(Math.min(pollIntervals[Math.min(attempt, pollIntervals.length - 1)], left));
    }
  }
}

// The toMatchGolden matcher's work: a matcher result.
export async function matchGolden(state, widget, name, { timeout, strictPixels }) {
  if (typeof name !== 'string' || !namePattern.test(name)) {
    const rule = "letters, digits, '.', '_' and '-', starting with a letter or digit";
    throw new UsageError(`toMatchGolden(name): a name is ${rule}, not ${JSON.stringify(name)}`);
  }
  const testInfo = test.info();
  const run = new GoldenRun(widget, name, testInfo, { strictPixels });
  const mode = testInfo.config.updateSnapshots;
  const golden = path.join(run.goldens, name);
  const hint = state.utils.matcherHint('toMatchGolden', 'widget', state.utils.printExpected(name), { promise: state.promise });
  const outcome = (pass, text, lines = '') => {
    const message = () => [hint, '', `Widget: ${widget.id}`, text, ...(lines ? [lines] : [])].join('\n');
    return { pass, name: 'toMatchGolden', expected: name, message };
  };

  if (!run.exists) {
    if (mode === 'none') return outcome(false, `There is no golden ${golden}.png/.json, and --update-snapshots=none writes none.`);
    const { code, lines } = await run.update();
    if (code !== 0) {
      await run.attachReport();
      return outcome(false, `Writing the golden ${golden} failed:`, lines);
    }
    if (mode === 'missing') return outcome(true, `Wrote the golden ${golden}.`);
    return outcome(false, `There was no golden ${golden}.png/.json: it has been written from what the widget shows now. Check it in and run again.`);
  }
  const compared = await run.compareUntilSame(mode === 'all' || mode === 'changed' ? 0 : timeout);
  if (compared.code === 0) return outcome(true, `It matches the golden ${golden}.`);
  if (mode === 'all' || mode === 'changed') {
    const { code, lines } = await run.update();
    if (code === 0) return outcome(true, `Updated the golden ${golden}.`);
    await run.attachReport();
    return outcome(false, `Updating the golden ${golden} failed:`, lines);
  }
  await run.attachReport();
  return outcome(false, `It differs from the golden ${golden}:`, `${compared.lines}\n\nTimeout: ${timeout}ms`);
}
