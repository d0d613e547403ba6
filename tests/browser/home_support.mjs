// Helpers for the home-screen tests: the widget host serving its page on the
// test's device, and the App a tap starts when none runs. Both are stopped
// with the test's session (support.mjs), the App by the process identifier
// it recorded in the device's launch record, and only when that process is
// still this build's App.
import { spawn } from 'node:child_process';
import { closeSync, openSync, readFileSync, readlinkSync } from 'node:fs';
import path from 'node:path';

import { appPath, extensionPath, repoRoot, stopProcess } from './support.mjs';

export const homePageUrlPattern = /^http:\/\/127\.0\.0\.1:\d+\/\?token=[0-9a-f]{32}$/;

function readText(file) {
  try {
    return readFileSync(file, 'utf8');
  } catch {
    return '';
  }
}

// Starts `serve --http` on the session's device and waits for the page's
// address, its first line. Returns { child, url, rounds, stop }: `rounds`
// collects the JSON lines it prints after it.
export async function startHost(session, args = [], { timeoutMs = 15000 } = {}) {
  const stderrPath = path.join(session.home, `host-${Date.now()}.stderr`);
  const stderr = openSync(stderrPath, 'w');
  let child;
  try {
    child = spawn(extensionPath, ['serve', '--http', '--port', '0', ...args], {
      cwd: repoRoot,
      env: { ...process.env, BRISKLANE_HOME: session.home },
      stdio: ['ignore', 'pipe', stderr],
    });
  } finally {
    closeSync(stderr);
  }
  child.ended = new Promise((resolve) => child.once('exit', (code, signal) => resolve({ code, signal })));
  const host = { child, rounds: [], stderrPath, stop: () => stopProcess(child) };
  session.cleanups.push(() => host.stop());

  let buffered = '';
  const firstLine = new Promise((resolve, reject) => {
    child.stdout.setEncoding('utf8');
    child.stdout.on('data', (chunk) => {
      buffered += chunk;
      let end;
      while ((end = buffered.indexOf('\n')) >= 0) {
        const line = buffered.slice(0, end);
        buffered = buffered.slice(end + 1);
        if (host.url === undefined) {
          host.url = line;
          resolve(line);
        } else {
          host.rounds.push(JSON.parse(line));
        }
      }
    });
    child.on('exit', (code, signal) =>
      reject(new Error(`serve ended (code ${code}, signal ${signal})\n${readText(stderrPath)}`)),
    );
  });
  let timer;
  const line = await Promise.race([
    firstLine,
    new Promise((_, reject) => {
      timer = setTimeout(() => reject(new Error(`serve printed no address within ${timeoutMs} ms`)), timeoutMs);
    }),
  ]).finally(() => clearTimeout(timer));
  if (!homePageUrlPattern.test(line)) throw new Error(`serve's first line is not the page's address: ${line}`);
  return host;
}

// The device's launch record, or undefined.
export function launchRecord(home) {
  const text = readText(path.join(home, 'run', 'App-launch.json'));
  return text ? JSON.parse(text) : undefined;
}

function isThisApp(pid) {
  try {
    return readlinkSync(`/proc/${pid}/exe`) === path.resolve(appPath);
  } catch {
    return false;
  }
}

// Stops, when the test ends, the App that the device's launch record names,
// if it is still running: the one a tap started apart from the test.
export function stopRecordedAppLater(session) {
  session.cleanups.push(async () => {
    const pid = launchRecord(session.home)?.processIdentifier;
    if (!pid || !isThisApp(pid)) return;
    process.kill(pid, 'SIGTERM');
    for (let waited = 0; waited < 5000 && isThisApp(pid); waited += 50) {
      await new Promise((resolve) => setTimeout(resolve, 50));
    }
    if (isThisApp(pid)) process.kill(pid, 'SIGKILL');
  });
}

// Waits until `check()` answers something truthy, and answers it.
export async function eventually(check, { timeoutMs = 10000, what = 'the condition' } = {}) {
  const deadline = Date.now() + timeoutMs;
  for (;;) {
    const value = await check();
    if (value) return value;
    if (Date.now() > deadline) throw new Error(`${what} did not happen within ${timeoutMs} ms`);
    await new Promise((resolve) => setTimeout(resolve, 25));
  }
}
