// Helpers for the browser tests, which drive the real `App` in browser mode and
// the widget host's home-screen page with Debian's Chromium. Each test opens a
// `Session`: a fresh device (BRISKLANE_HOME) whose processes and browser are
// stopped, newest first, when it ends. Programs come from build/default unless
// BRISKLANE_APP or BRISKLANE_EXTENSION name others; web/ must have been built.
import assert from 'node:assert/strict';
import { execFile, spawn } from 'node:child_process';
import { closeSync, existsSync, openSync, readFileSync } from 'node:fs';
import { mkdtemp, rm } from 'node:fs/promises';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { createInterface } from 'node:readline';
import { setTimeout as delay } from 'node:timers/promises';
import { fileURLToPath } from 'node:url';
import { promisify } from 'node:util';

export const repoRoot = fileURLToPath(new URL('../../', import.meta.url));
const appPath = path.resolve(repoRoot, process.env.BRISKLANE_APP ?? 'build/default/App');
const extensionPath = path.resolve(repoRoot, process.env.BRISKLANE_EXTENSION ?? 'build/default/BrisklaneWidgetExtension');
const browserModeArgs = ['--web-layer', 'browser', '--port', '0', '--web-dir', path.join(repoRoot, 'web/www')];
const pageUrlPattern = /^http:\/\/(app|home)\.[0-9a-f]{16}\.localhost:\d+\/\?token=[0-9a-f]{32}$/;
const { chromium } = createRequire(path.join(repoRoot, 'web/package.json'))('playwright-core');
const run = promisify(execFile);

// Children still running when this process ends (a test timed out, the run
// was interrupted) are killed with it.
const running = new Set();
process.on('exit', () => running.forEach((child) => child.kill('SIGKILL')));
let started = 0; // numbers the files that keep each program's standard error

// Answers undefined when `promise` has not settled within `milliseconds`.
const withTimeout = (promise, milliseconds) => Promise.race([promise, delay(milliseconds, undefined, { ref: false })]);

const readText = (file) => (existsSync(file) ? readFileSync(file, 'utf8') : '');

// SIGTERM, then SIGKILL when the process is still there after five seconds.
async function stopProcess(child) {
  if (child.pid === undefined || child.exitCode !== null || child.signalCode !== null) return;
  child.kill('SIGTERM');
  if (!(await withTimeout(child.ended, 5000))) child.kill('SIGKILL');
  await child.ended;
}

export class Session {
  static async open(t) {
    const session = new Session(await mkdtemp(path.join(tmpdir(), 'brisklane-browser-')));
    t.after(() => session.close());
    return session;
  }

  constructor(home) {
    this.home = home;
    this.cleanups = [() => rm(home, { recursive: true, force: true })];
    this.requests = []; // every URL the browser asked for, pages and sub-resources
    this.webSockets = [];
    this.pageErrors = [];
    this.dialogs = [];
  }

  // Starts a program that serves a page on the device and waits for the
  // page's address, its first line: { child, url, stderrPath, lines, stop },
  // where `lines` collects the lines printed after it, each made a value by `parse`.
  async serve(program, args, parse = (line) => line) {
    const name = path.basename(program);
    const stderrPath = path.join(this.home, `${name}-${(started += 1)}.stderr`);
    const stderr = openSync(stderrPath, 'w');
    const env = { ...process.env, BRISKLANE_HOME: this.home };
    const child = spawn(program, args, { cwd: repoRoot, env, stdio: ['ignore', 'pipe', stderr] });
    closeSync(stderr);
    running.add(child);
    child.ended = new Promise((resolve) => child.once('close', resolve)).finally(() => running.delete(child));
    const served = { child, stderrPath, lines: [], stop: () => stopProcess(child) };
    this.cleanups.push(served.stop);
    const failure = (reason) => new Error(`${name} ${args.join(' ')}: ${reason}\n--- standard error ---\n${readText(stderrPath)}`);
    const firstLine = new Promise((resolve, reject) => {
      // Lines are read to the end, so that the pipe never fills.
      createInterface({ input: child.stdout }).on('line', (line) => {
        if (served.url === undefined) resolve((served.url = line));
        else served.lines.push(parse(line));
      });
      child.on('error', (error) => reject(failure(error.message)));
      child.on('exit', (code, signal) => reject(failure(`ended (code ${code}, signal ${signal}) before printing its page's address`)));
    });
    const line = await withTimeout(firstLine, 15000);
    if (line === undefined) throw failure('printed no page address within 15000 ms');
    if (!pageUrlPattern.test(line)) throw failure(`the first line is not a page address: ${JSON.stringify(line)}`);
    return served;
  }

  startApp(args = browserModeArgs) {
    return this.serve(appPath, args);
  }

  // `serve --http` on the device; its `lines` are the rounds it prints.
  startHost() {
    return this.serve(extensionPath, ['serve', '--http', '--port', '0'], JSON.parse);
  }

  // Runs a program on the device to its end, which must be a success; answers its output.
  async run(program, args) {
    const options = { cwd: repoRoot, env: { ...process.env, BRISKLANE_HOME: this.home }, timeout: 15000 };
    return (await run(program, args, options)).stdout;
  }

  openUrl(url) {
    return this.run(appPath, ['open', url]);
  }

  // The summary on the Today widget's first timeline entry, as the widget extension prints it.
  async todayPayload() {
    const { entries } = JSON.parse(await this.run(extensionPath, ['timeline', '--kind', 'BrisklaneWidget']));
    assert.ok(entries.length > 0, 'the Today timeline has no entry');
    return entries[0].payload;
  }


  // A new tab on `url`, watched for errors, dialogs and web sockets, in
  // Chromium with a fresh profile: one context, whose pages the test opens.
  async openPage(url) {
    if (!this.context) {
      this.context = await chromium.launchPersistentContext(path.join(this.home, 'chromium-profile'), {
        executablePath: '/usr/bin/chromium',
        headless: true,
        args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
          '--disable-background-networking', '--disable-component-update', '--disable-sync'],
        viewport: { width: 420, height: 860 },
        timeout: 30000,
      });
      this.cleanups.push(() => withTimeout(this.context.close(), 10000));
      this.context.on('request', (request) => this.requests.push(request.url()));
    }
    const page = await this.context.newPage();
    page.on('pageerror', (error) => this.pageErrors.push(error.message));
    page.on('websocket', (socket) => this.webSockets.push(socket.url()));
    page.on('dialog', (dialog) => {
      this.dialogs.push(dialog.message());
      dialog.dismiss().catch(() => {});
    });
    await page.goto(url);
    return page;
  }

  async close() {
    const failures = [];
    while (this.cleanups.length > 0) await this.cleanups.pop()().catch((error) => failures.push(error));
    if (failures.length > 0) throw failures[0];
  }
}

export { eventually, lifeCycleLog, roundTrip, sampleReady } from './sample_page.mjs';
