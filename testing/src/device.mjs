// One simulated phone for one test: a fresh device folder, the widget host
// serving its device page, and App serving the web app in browser mode.
// Everything a test does to the device goes where a person's actions go:
// the device page's actions, App's control socket, the doctor.
import { existsSync, readFileSync, readlinkSync, realpathSync } from 'node:fs';
import { mkdtemp, rm, writeFile } from 'node:fs/promises';
import net from 'node:net';
import { tmpdir } from 'node:os';
import path from 'node:path';

import { PageClient } from './page_client.mjs';
import { RunningProgram, runProgram } from './process.mjs';

const largestClockMoveMinutes = 60 * 24 * 366;

// "KIND-FAMILY", or { kind, family }, as a placement.
function placement(value) {
  if (typeof value === 'string') {
    const dash = value.lastIndexOf('-');
    if (dash > 0) return { kind: value.slice(0, dash), family: value.slice(dash + 1) };
  } else if (typeof value?.kind === 'string' && typeof value?.family === 'string') {
    return { kind: value.kind, family: value.family };
  }
  throw new Error(`a placement is "KIND-FAMILY" or { kind, family }, not ${JSON.stringify(value)}`);
}

function readText(file) {
  return existsSync(file) ? readFileSync(file, 'utf8') : '';
}

// One request to App's control socket: one JSON line out, one back.
function askApp(socketPath, request) {
  return new Promise((resolve, reject) => {
    let answer = '';
    const socket = net.createConnection(socketPath);
    socket.setEncoding('utf8');
    socket.on('connect', () => socket.end(`${JSON.stringify(request)}\n`));
    socket.on('data', (chunk) => (answer += chunk));
    socket.on('error', (error) => reject(new Error(`App is not running on this device (${socketPath}: ${error.code ?? error.message})`)));
    socket.on('close', () => {
      try {
        resolve(JSON.parse(answer));
      } catch {
        reject(new Error(`App answered ${JSON.stringify(answer)} to ${JSON.stringify(request)}`));
      }
    });
  });
}

// `permission` when it is one the device knows; else throws, naming `what`.
function notificationPermission(permission, what) {
  const known = ['granted', 'denied', 'prompt'];
  if (!known.includes(permission)) throw new Error(`${what} is one of ${known.join(', ')}, not ${JSON.stringify(permission)}`);
  return permission;
}

export class Device {
  // Starts both programs on a fresh folder. `programs`: { app, host } paths;
  // `notificationPermission`: what the device answers App's request to send
  // notifications, or "prompt" for the system's alert on the device page.
  static async start({ programs, webDir, notificationPermission: permission = 'prompt' }) {
    notificationPermission(permission, 'notificationPermission');
    const device = new Device(await mkdtemp(path.join(tmpdir(), 'brisklane-device-')), programs);
    try {
      if (permission !== 'prompt') {
        // The device's setting, in its notification centre, before App asks.
        const record = JSON.stringify({ permission });
        await writeFile(path.join(device.folder, 'notification-center.json'), record, { mode: 0o600 });
      }
      // Both may start at once: the device's page label is created once,
      // and App reads the device page's origin at every answer.
      const [host, app] = await Promise.allSettled([
        RunningProgram.start(programs.host, ['serve', '--http', '--port', '0'], { home: device.folder }),
        RunningProgram.start(programs.app, ['--web-layer', 'browser', '--port', '0', '--web-dir', webDir], { home: device.folder }),
      ]);
      device.host = host.value;
      device.app = app.value;
      const failed = [host, app].find((started) => started.status === 'rejected');
      if (failed) throw failed.reason;
    } catch (error) {
      await device.stop();
      throw error;
    }
    device.page = new PageClient(device.host.url);
    return device;
  }

  constructor(folder, programs) {
    this.folder = folder; // BRISKLANE_HOME of both programs
    this.programs = programs;
    this.clock = {
      // Moves the host's clock on (or back, with negative minutes); a reload
      // moment that passes makes a round before this returns.
      advance: ({ minutes } = {}) => {
        if (!Number.isInteger(minutes) || Math.abs(minutes) > largestClockMoveMinutes) {
          throw new Error(`clock.advance({ minutes }) takes whole minutes within a year, not ${JSON.stringify(minutes)}`);
        }
        return this.page.post('/api/clock', { advanceMinutes: minutes }).then(() => undefined);
      },
      reset: () => this.page.post('/api/clock', { reset: true }).then(() => undefined),
    };
  }

  // The device page's address, token included.
  get homeUrl() {
    return this.host.url;
  }

  // App's page address as App printed it (the page inside the device page
  // is the same page).
  get appUrl() {
    return this.app.url;
  }

  // What the device page shows: the last round, the clock, the settings, App.
  state() {
    return this.page.get('/api/state');
  }

  // Opens `url` in App as a tap on a widget does: App comes to the front
  // first (its page hears resume and appStateChange), then gets the link
  // (appUrlOpen). Answers when App has taken it.
  async open(url, { sourceApplication, openInPlace } = {}) {
    if (typeof url !== 'string' || url === '') throw new Error(`open(url) takes a non-empty URL string, not ${JSON.stringify(url)}`);
    const socket = path.join(this.folder, 'run', 'App.sock');
    const { applicationState } = await askApp(socket, { query: 'applicationState' });
    // Through the host, so that the device page shows App in front at once.
    if (applicationState === 'background') await this.bringToFront();
    const options = {};
    if (sourceApplication !== undefined) options.UIApplicationOpenURLOptionsSourceApplicationKey = sourceApplication;
    if (openInPlace !== undefined) options.UIApplicationOpenURLOptionsOpenInPlaceKey = openInPlace;
    const answer = await askApp(socket, { openURL: url, options });
    if (!answer.accepted) throw new Error(`App did not take ${url}: ${answer.error ?? 'no reason given'}`);
  }

  // Sends App to the background, as the Home button does; answers its state.
  async home() {
    return (await this.page.post('/api/application', { move: 'background' })).state;
  }

  // Brings App to the front, as its icon does (launching it when it does
  // not run); answers its state.
  async bringToFront() {
    return (await this.page.post('/api/application', { move: 'foreground' })).state;
  }

  // Ends App, as swiping it away in the app switcher does: the next tap or
  // bringToFront() launches it cold.
  async terminateApp() {
    await this.app?.stop();
    await this.#stopLaunchedApp();
    // The host looks at App once a second; until it has seen App end, the
    // device page still shows App in front.
    for (let waited = 0; (await this.state()).application?.state !== 'notRunning'; waited += 50) {
      if (waited > 5000) throw new Error('the device page still shows App running 5 s after it ended');
      await new Promise((resolve) => setTimeout(resolve, 50));
    }
  }

  // Changes the home screen; what is not given stays. The host draws the new
  // home screen before this returns.
  async settings({ deviceClass, systemVersion, placements } = {}) {
    const { settings } = await this.state();
    const changed = { ...settings };
    if (deviceClass !== undefined) changed.deviceClass = deviceClass;
    if (systemVersion !== undefined) changed.systemVersion = String(systemVersion);
    if (placements !== undefined) {
      if (!Array.isArray(placements)) throw new Error('settings({ placements }) takes an array of "KIND-FAMILY" or { kind, family }');
      changed.placements = placements.map(placement);
    }
    await this.page.post('/api/settings', changed);
    return changed;
  }

  // Sets the device's answer to App's request to send notifications, as the
  // phone's settings do; "granted" or "denied" answers the alert App waits
  // on, as the person's button does. Answers whether App was waiting.
  async setNotificationPermission(permission) {
    notificationPermission(permission, 'setNotificationPermission(permission)');
    return (await this.page.post('/api/notification-permission', { permission })).answeredAlert;
  }

  // The doctor's findings on this device: { healthy, verdict, findings }.
  async doctor() {
    const { code, stdout, stderr } = await runProgram(this.programs.host, ['doctor', '--json', '--app', this.programs.app], { home: this.folder });
    try {
      return JSON.parse(stdout);
    } catch {
      throw new Error(`doctor --json ended with exit code ${code} and no JSON:\n${stdout}${stderr}`);
    }
  }

  // What each program printed, for the report: [{ name, text }].
  output() {
    const run = path.join(this.folder, 'run');
    return [
      { name: 'widget host stdout', text: this.host?.stdout.text },
      { name: 'widget host stderr', text: this.host?.stderr.text },
      { name: 'App stdout', text: this.app?.stdout.text },
      { name: 'App stderr', text: this.app?.stderr.text },
      // An App the host launched (after a tap found none running).
      { name: 'launched App stdout', text: readText(path.join(run, 'App.stdout')) },
      { name: 'launched App stderr', text: readText(path.join(run, 'App.stderr')) },
    ].filter(({ text }) => text);
  }

  // Stops App, any App the host launched, and the host; once they have
  // ended, all they printed is in output().
  async stopPrograms() {
    await this.app?.stop();
    await this.#stopLaunchedApp();
    await this.host?.stop();
  }

  // Stops the programs and removes the folder.
  async stop() {
    await this.stopPrograms();
    await rm(this.folder, { recursive: true, force: true });
  }

  // The App that the launch record names, when it is still this device's
  // program and not the one started here.
  async #stopLaunchedApp() {
    let pid;
    try {
      pid = JSON.parse(readText(path.join(this.folder, 'run', 'App-launch.json')) || '{}').processIdentifier;
    } catch {
      return;
    }
    if (!pid || pid === this.app?.child.pid || !this.#isOurApp(pid)) return;
    process.kill(pid, 'SIGTERM');
    for (let waited = 0; waited < 5000 && this.#isOurApp(pid); waited += 50) await new Promise((resolve) => setTimeout(resolve, 50));
    if (this.#isOurApp(pid)) process.kill(pid, 'SIGKILL');
  }

  #isOurApp(pid) {
    try {
      return readlinkSync(`/proc/${pid}/exe`) === realpathSync(this.programs.app);
    } catch {
      return false;
    }
  }
}
