// The device's programs as child processes: started on the device folder,
// their first line (the page's address) awaited, their output kept for the
// report, and stopped with SIGTERM, then SIGKILL.
import { execFile, spawn } from 'node:child_process';
import path from 'node:path';
import { createInterface } from 'node:readline';
import { setTimeout as delay } from 'node:timers/promises';

const startTimeoutMs = 15_000;
const stopGraceMs = 5_000;
const keptOutput = 256 * 1024; // the end of each stream, in characters

// Children still running when the worker ends (a timeout, an interrupt) end with it.
const running = new Set();
process.on('exit', () => running.forEach((child) => child.kill('SIGKILL')));

// The last `keptOutput` characters written to a stream.
class Tail {
  text = '';
  add(chunk) {
    this.text = (this.text + chunk).slice(-keptOutput);
  }
}

export class RunningProgram {
  // Starts `file args` with BRISKLANE_HOME = `home` and waits for its first
  // line; `onLine` sees every later line.
  static async start(file, args, { home, onLine = () => {} }) {
    const program = new RunningProgram(file, args, home);
    await program.#firstLine(onLine);
    return program;
  }

  constructor(file, args, home) {
    this.name = path.basename(file);
    this.commandLine = [this.name, ...args].join(' ');
    this.stdout = new Tail();
    this.stderr = new Tail();
    this.child = spawn(file, args, { cwd: home, env: { ...process.env, BRISKLANE_HOME: home }, stdio: ['ignore', 'pipe', 'pipe'] });
    running.add(this.child);
    this.ended = new Promise((resolve) => this.child.once('close', (code, signal) => resolve({ code, signal })));
    this.ended.then(() => running.delete(this.child));
    this.child.stderr.setEncoding('utf8').on('data', (chunk) => this.stderr.add(chunk));
  }

  #failure(reason) {
    const stderr = this.stderr.text.trim();
    return new Error(`${this.commandLine}: ${reason}${stderr ? `\n--- its standard error ---\n${stderr}` : ''}`);
  }

  async #firstLine(onLine) {
    const lines = createInterface({ input: this.child.stdout });
    const first = new Promise((resolve, reject) => {
      lines.on('line', (line) => {
        this.stdout.add(`${line}\n`);
        if (this.url === undefined) resolve((this.url = line));
        else onLine(line);
      });
      this.child.once('error', (error) => reject(this.#failure(error.message)));
      this.ended.then(({ code, signal }) => reject(this.#failure(`ended (${signal ?? `exit code ${code}`}) before printing its page's address`)));
    });
    const timeout = delay(startTimeoutMs, 'timeout', { ref: false });
    if ((await Promise.race([first, timeout])) === 'timeout') {
      await this.stop();
      throw this.#failure(`printed no page address within ${startTimeoutMs} ms`);
    }
    if (!/^http:\/\/[^/]+\/\?token=[0-9a-f]+$/.test(this.url)) {
      await this.stop();
      throw this.#failure(`its first line is not a page address: ${JSON.stringify(this.url)}`);
    }
  }

  get isRunning() {
    return this.child.exitCode === null && this.child.signalCode === null;
  }

  async stop() {
    if (this.child.pid === undefined || !this.isRunning) return this.ended;
    this.child.kill('SIGTERM');
    const timeout = delay(stopGraceMs, 'timeout', { ref: false });
    if ((await Promise.race([this.ended, timeout])) === 'timeout') this.child.kill('SIGKILL');
    return this.ended;
  }
}

// Runs a program on the device to its end: { code, stdout, stderr }, whatever
// the exit code; throws only when it cannot run.
export function runProgram(file, args, { home, timeoutMs = 30_000 }) {
  return new Promise((resolve, reject) => {
    const options = { env: { ...process.env, BRISKLANE_HOME: home }, timeout: timeoutMs, maxBuffer: 16 * 1024 * 1024 };
    execFile(file, args, options, (error, stdout, stderr) => {
      if (error && typeof error.code !== 'number') {
        const why = error.killed ? `did not end within ${timeoutMs} ms` : error.message;
        reject(new Error(`${[path.basename(file), ...args].join(' ')}: ${why}\n${stderr}`));
      } else {
        resolve({ code: error ? error.code : 0, stdout, stderr });
      }
    });
  });
}
