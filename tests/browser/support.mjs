// Helpers for the browser tests, which drive the real `App` in browser mode
// with Debian's Chromium (through playwright-core; no browser is downloaded).
// Each test opens a `Session`: a fresh simulated device (a temporary
// BRISKLANE_HOME), and everything the test starts in it — `App` processes,
// Chromium with a fresh profile — is stopped when the test ends, newest
// first, SIGTERM then SIGKILL, so that no test leaves a process behind.
// `App` is started as a device runs it: its first line on standard output is
// the page URL (`http://127.0.0.1:PORT/?token=HEX`); its standard error goes
// to a file in the device folder and is quoted when it does not start.
// Programs come from build/default unless BRISKLANE_APP or
// BRISKLANE_EXTENSION name others; the sample web application must have been
// built (`npm run build` in web/). Run with `node --test tests/browser/`.
import { spawn } from 'node:child_process';
import { closeSync, openSync, readFileSync } from 'node:fs';
import { mkdtemp, readFile, rm } from 'node:fs/promises';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

export const repoRoot = fileURLToPath(new URL('../../', import.meta.url));
export const appPath = path.resolve(repoRoot, process.env.BRISKLANE_APP ?? 'build/default/App');
export const extensionPath = path.resolve(
  repoRoot,
  process.env.BRISKLANE_EXTENSION ?? 'build/default/BrisklaneWidgetExtension',
);
export const webDir = path.join(repoRoot, 'web/www');
export const chromiumPath = '/usr/bin/chromium';
export const chromiumArgs = [
  '--headless',
  '--no-sandbox',
  '--disable-gpu',
  '--disable-quic',
  '--no-first-run',
  '--disable-background-networking',
  '--disable-component-update',
  '--disable-sync',
];
export const browserModeArgs = ['--web-layer', 'browser', '--port', '0', '--web-dir', webDir];
export const pageUrlPattern = /^http:\/\/127\.0\.0\.1:\d+\/\?token=[0-9a-fA-F]+$/;

// playwright-core is installed with the sample web application.
const { chromium } = createRequire(path.join(repoRoot, 'web/package.json'))('playwright-core');

export async function makeDeviceFolder() {
  return mkdtemp(path.join(tmpdir(), 'brisklane-browser-'));
}

// Children still running when this process ends (a test timed out, the run
// was interrupted) are killed with it.
const running = new Set();
process.on('exit', () => {
  for (const child of running) child.kill('SIGKILL');
});

// Spawns `program`; `child.ended` resolves with { code, signal } when it has
// exited, or with { error } when it could not be started.
function spawnProgram(program, args, options) {
  const child = spawn(program, args, { cwd: repoRoot, ...options });
  running.add(child);
  child.ended = new Promise((resolve) => {
    child.once('exit', (code, signal) => resolve({ code, signal }));
    child.once('error', (error) => {
      if (child.pid === undefined) resolve({ code: null, signal: null, error });
    });
  }).finally(() => running.delete(child));
  return child;
}

function deviceEnv(home, env = {}) {
  return { ...process.env, BRISKLANE_HOME: home, ...env };
}

function hasExited(child) {
  return child.pid === undefined || child.exitCode !== null || child.signalCode !== null;
}

function withTimeout(promise, milliseconds) {
  let timer;
  const timeout = new Promise((resolve) => {
    timer = setTimeout(() => resolve(undefined), milliseconds);
  });
  return Promise.race([promise, timeout]).finally(() => clearTimeout(timer));
}

function readText(file) {
  try {
    return readFileSync(file, 'utf8');
  } catch {
    return '';
  }
}

// SIGTERM, then SIGKILL when the process is still there after `graceMs`.
export async function stopProcess(child, { graceMs = 5000 } = {}) {
  if (hasExited(child)) return child.ended;
  child.kill('SIGTERM');
  const ended = await withTimeout(child.ended, graceMs);
  if (ended) return ended;
  child.kill('SIGKILL');
  return child.ended;
}

// Starts `App` with `args` on the device in `home` and waits for the page URL,
// its first line on standard output. Returns { child, url, stderrPath, stop }.
export async function startApp(home, args = browserModeArgs, { env, timeoutMs = 15000 } = {}) {
  const stderrPath = path.join(home, `App-${Date.now()}-${process.hrtime.bigint() % 1000n}.stderr`);
  const stderr = openSync(stderrPath, 'w');
  let child;
  try {
    child = spawnProgram(appPath, args, { env: deviceEnv(home, env), stdio: ['ignore', 'pipe', stderr] });
  } finally {
    closeSync(stderr);
  }
  const app = { child, stderrPath, output: '', stop: (options) => stopProcess(child, options) };
  const failure = (reason) =>
    new Error(`App ${args.join(' ')}: ${reason}\n--- standard error ---\n${readText(stderrPath)}`);

  const firstLine = new Promise((resolve, reject) => {
    child.stdout.setEncoding('utf8');
    // Keep reading after the first line, so that the pipe never fills.
    child.stdout.on('data', (chunk) => {
      app.output += chunk;
      const end = app.output.indexOf('\n');
      if (end >= 0) resolve(app.output.slice(0, end));
    });
    child.on('error', (error) => reject(failure(error.message)));
    child.on('exit', (code, signal) =>
      reject(failure(`ended (code ${code}, signal ${signal}) before printing the page URL`)),
    );
  });
  let line;
  try {
    line = await withTimeout(firstLine, timeoutMs);
    if (line === undefined) throw failure(`printed no page URL within ${timeoutMs} ms`);
    if (!pageUrlPattern.test(line)) throw failure(`the first line is not a page URL: ${JSON.stringify(line)}`);
  } catch (error) {
    await stopProcess(child);
    throw error;
  }
  app.url = line;
  return app;
}

// Runs `App args` (e.g. `open URL`) on the device to its end.
// Returns { code, signal, stdout, stderr }.
export async function runApp(home, args, { env, timeoutMs = 15000 } = {}) {
  const child = spawnProgram(appPath, args, { env: deviceEnv(home, env), stdio: ['ignore', 'pipe', 'pipe'] });
  let stdout = '';
  let stderr = '';
  child.stdout.setEncoding('utf8').on('data', (chunk) => (stdout += chunk));
  child.stderr.setEncoding('utf8').on('data', (chunk) => (stderr += chunk));
  const ended = await withTimeout(child.ended, timeoutMs);
  if (!ended) {
    await stopProcess(child);
    throw new Error(`App ${args.join(' ')} did not end within ${timeoutMs} ms\n${stderr}`);
  }
  if (ended.error) throw new Error(`App ${args.join(' ')}: ${ended.error.message}`);
  return { code: ended.code, signal: ended.signal, stdout, stderr };
}

// The Today widget's timeline on the device, as the widget extension prints it.
export async function timeline(home, kind = 'BrisklaneWidget') {
  const child = spawnProgram(extensionPath, ['timeline', '--kind', kind], {
    env: deviceEnv(home),
    stdio: ['ignore', 'pipe', 'pipe'],
  });
  let stdout = '';
  let stderr = '';
  child.stdout.setEncoding('utf8').on('data', (chunk) => (stdout += chunk));
  child.stderr.setEncoding('utf8').on('data', (chunk) => (stderr += chunk));
  const ended = (await withTimeout(child.ended, 15000)) ?? (await stopProcess(child));
  if (ended.error) throw new Error(`${extensionPath}: ${ended.error.message}`);
  if (ended.code !== 0) throw new Error(`timeline ended with code ${ended.code}\n${stderr}`);
  return JSON.parse(stdout);
}

// Chromium with a fresh profile in `profileDir`; one context, whose pages
// the test opens with `context.newPage()`.
export async function launchChromium(profileDir) {
  return chromium.launchPersistentContext(profileDir, {
    executablePath: chromiumPath,
    headless: true,
    args: chromiumArgs,
    viewport: { width: 420, height: 860 },
    timeout: 30000,
  });
}

export async function closeChromium(context) {
  await withTimeout(context.close(), 10000);
}

// One test's device and what runs on it. Resources are released newest
// first when the test ends.
export class Session {
  static async open(t) {
    const session = new Session(await makeDeviceFolder());
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

  async startApp(args = browserModeArgs, options) {
    const app = await startApp(this.home, args, options);
    this.cleanups.push(() => app.stop());
    return app;
  }

  runApp(args, options) {
    return runApp(this.home, args, options);
  }

  openUrl(url) {
    return this.runApp(['open', url]);
  }

  timeline() {
    return timeline(this.home);
  }

  async browser() {
    if (!this.context) {
      this.context = await launchChromium(path.join(this.home, 'chromium-profile'));
      this.cleanups.push(() => closeChromium(this.context));
      this.context.on('request', (request) => this.requests.push(request.url()));
    }
    return this.context;
  }

  // A new tab on `url`, watched for errors, dialogs and web sockets.
  async openPage(url) {
    const page = await (await this.browser()).newPage();
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
    while (this.cleanups.length > 0) {
      try {
        await this.cleanups.pop()();
      } catch (error) {
        failures.push(error);
      }
    }
    if (failures.length > 0) throw failures[0];
  }
}

export async function readPng(file) {
  const bytes = await readFile(file);
  return { bytes, isPng: bytes.subarray(0, 8).equals(Buffer.from([137, 80, 78, 71, 13, 10, 26, 10])) };
}
