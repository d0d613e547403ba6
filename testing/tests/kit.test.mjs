// The kit on the sample web app: each fixture drives the real programs, and
// each matcher waits for the host's rounds and explains a failure with what
// the widget shows. Tasks are added through the sample's own form, as its
// user adds them.
import { execFile } from 'node:child_process';
import { existsSync } from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { promisify } from 'node:util';

import { expect, test } from '@brisklane/testing';

const today = 'BrisklaneWidget';
const quickAdd = 'BrisklaneVoiceWidget';

// The sample is up: its appUrlOpen listener is there and it has published.
async function sampleReady(app) {
  await app.locator('#launch-url[data-state="done"]').waitFor();
  await app.locator('#publish-result:not([data-state="pending"])').waitFor();
}

// Adds a task due at midnight today (so late, and due) through the sample's form.
async function addTask(app, title, project = '') {
  const midnight = new Date();
  midnight.setHours(0, 0, 0, 0);
  const local = new Date(midnight.getTime() - midnight.getTimezoneOffset() * 60_000).toISOString().slice(0, 16);
  await app.locator('#task-title').fill(title);
  await app.locator('#task-project').fill(project);
  await app.locator('#task-due').fill(local);
  await app.locator('#task-add').click();
}

// Publishes a summary of the app's own making, as a broken app might.
async function publish(app, summary) {
  await app.evaluate((payload) => window.Capacitor.Plugins.SharedTodayWidget.set({ payload }), JSON.stringify(summary));
}

// PNG width and height from its header.
const pngSize = (bytes) => ({ width: bytes.readUInt32BE(16), height: bytes.readUInt32BE(20) });

// Whether process `pid` is still there.
function isAlive(pid) {
  try {
    process.kill(pid, 0);
    return true;
  } catch {
    return false;
  }
}

// Runs the tests of nested/ that match `args` in a Playwright run of their
// own: { code, stdout, stderr }, stdout being the JSON report.
async function runNested(testInfo, args, env = {}) {
  const cli = createRequire(import.meta.url).resolve('@playwright/test/cli');
  const config = fileURLToPath(new URL('nested/playwright.config.mjs', import.meta.url));
  const options = { env: { ...process.env, KIT_RESULTS_DIR: testInfo.outputPath('results'), ...env } };
  const run = promisify(execFile)(process.execPath, [cli, 'test', '-c', config, ...args], options);
  return run.then((ended) => ({ code: 0, ...ended }), (failed) => failed);
}

test.describe('fixtures', () => {
  test('a task added in App shows on the widget, and a tap opens its link in App', async ({ device, home, app }) => {
    await sampleReady(app);
    const widget = home.widget(today, 'systemMedium');
    await addTask(app, 'Renew passport', 'Home');
    await expect.poll(async () => (await widget.entry()).payload?.items).toEqual([{ title: 'Renew passport', project: 'Home' }]);
    expect(pngSize(await widget.picture())).toEqual({ width: 338 * 3, height: 158 * 3 });

    await expect(home.locator('#app-screen')).toBeVisible();
    expect(await device.home()).toBe('background');
    await expect(home.locator('#app-screen')).toBeHidden();
    expect(await widget.tap()).toEqual({ url: 'brisklane://today', outcome: 'delivered', message: 'brisklane://today: delivered' });
    await expect(app.locator('#opened-urls li')).toHaveText(['brisklane://today']);
    await expect(home.locator('#app-screen')).toBeVisible();

    // A link from elsewhere brings a backgrounded App to the front first.
    await device.home();
    await device.open('brisklane://voice');
    await expect(app.locator('#opened-urls li')).toHaveText(['brisklane://today', 'brisklane://voice']);
    await expect(home.locator('#app-screen')).toBeVisible();
    const events = await app.locator('#life-cycle-log li').evaluateAll((items) => items.map((item) => item.dataset.event));
    expect(events.slice(-3)).toEqual(['resume', 'appStateChange', 'appUrlOpen']);
  });

  test('the clock, the settings and the doctor act on the device', async ({ device, home }) => {
    const small = home.widget(today, 'systemSmall');
    const dated = async () => Date.parse((await small.entry()).date);
    const before = await dated();
    await device.clock.advance({ minutes: 31 }); // past the Today widget's reload moment
    expect(await dated()).toBeGreaterThanOrEqual(before + 31 * 60_000);
    expect((await device.state()).clock.offsetSeconds).toBe(31 * 60);
    await device.clock.reset();
    expect((await device.state()).clock.offsetSeconds).toBe(0);

    await device.settings({ deviceClass: '430x932', placements: [`${today}-systemSmall`, { kind: quickAdd, family: 'accessoryCircular' }] });
    expect(pngSize(await small.picture())).toEqual({ width: 170 * 3, height: 170 * 3 });
    await expect(home.locator('.widget')).toHaveCount(2);
    await expect(home.widget(today, 'systemMedium').entry()).rejects.toThrow(
      `${today}-systemMedium is not placed on the home screen (placed: ${today}-systemSmall, ${quickAdd}-accessoryCircular)`,
    );

    const doctor = await device.doctor();
    expect(doctor.healthy).toBe(true);
    expect(doctor.findings.find((finding) => finding.subject === 'widget host')?.verdict).toBe('ok');
  });
});

test.describe('a failed test', () => {
  test("is reported with the programs' output, and its device is stopped and removed", async ({}, testInfo) => {
    const run = await runNested(testInfo, ['failing.case']);
    expect(run.code, run.stderr).toBe(1);
    const [result] = JSON.parse(run.stdout).suites[0].specs[0].tests[0].results;
    expect(result.status).toBe('failed');
    expect(result.attachments.map((attachment) => attachment.name)).toEqual(expect.arrayContaining(['widget host stdout', 'App stdout', 'App stderr']));
    const appStdout = result.attachments.find((attachment) => attachment.name === 'App stdout');
    expect(Buffer.from(appStdout.body, 'base64').toString()).toMatch(/^http:\/\/app\.[0-9a-f]+\.localhost:\d+\/\?token=/);
    const { folder, processes } = JSON.parse(result.stdout[0].text);
    expect(existsSync(folder)).toBe(false);
    expect(processes.filter(isAlive)).toEqual([]);
  });
});

test.describe('matchers', () => {
  test('wait for the widget to show the rows, texts and message', async ({ home, app }) => {
    await sampleReady(app);
    const widget = home.widget(today, 'systemMedium');
    const shown = expect(widget).toShowRows([{ title: 'Water plants' }, { title: 'Renew passport', project: 'Home' }]);
    await addTask(app, 'Water plants');
    await addTask(app, 'Renew passport', 'Home');
    await shown;
    await expect(widget).toShowText('Renew passport');
    await expect(widget).not.toShowText('Renew passports');
    expect(await widget.texts()).toEqual(['URGENT', '2', '\u2022', 'Water plants', '\u2022', 'Renew passport  \u00b7  Home']);
    expect((await widget.tapTargets()).map((target) => target.url)).toEqual(['brisklane://today']);

    await publish(app, { tier: 'urgent', count: 2.5, items: [] });
    await expect(widget).toShowMessage('Linked ✓ — reopen app');
  });

  test('say what the widget shows instead', async ({ home, app }) => {
    await sampleReady(app);
    const widget = home.widget(today, 'systemMedium');
    await addTask(app, 'Renew passport', 'Home');
    await expect(widget).toShowRows([{ title: 'Renew passport', project: 'Home' }]);

    const started = Date.now();
    const error = await expect(widget).toShowRows([{ title: 'Renew passports' }], { timeout: 600 }).catch((thrown) => thrown);
    expect(Date.now() - started).toBeGreaterThanOrEqual(600);
    expect(error.message).toContain("row 1 shows 'Renew passport' / 'Home', expected 'Renew passports'");
    expect(error.message).toContain('Timeout: 600ms');
    const rowCount = await expect(widget).toShowRows([], { timeout: 0 }).catch((thrown) => thrown);
    expect(rowCount.message).toContain('it shows 1 row, expected 0');
    const message = await expect(widget).toShowMessage('Nothing due', { timeout: 0 }).catch((thrown) => thrown);
    expect(message.message).toContain("it shows no message, expected 'Nothing due'");
    await expect(expect(home.widget(quickAdd, 'systemMedium')).toShowText('x')).rejects.toThrow(`${quickAdd}-systemMedium is not placed`);
  });
});

test.describe('goldens', () => {
  // A folder of this test's own, so that the first run writes the golden.
  test.use({ goldenDir: async ({}, use, testInfo) => use(testInfo.outputPath('goldens')) });

  test('are written when missing, then compared, and a difference fails with its report', async ({ home, app, goldenDir }) => {
    await sampleReady(app);
    const widget = home.widget(today, 'systemMedium');
    await addTask(app, 'Renew passport', 'Home');
    await expect(widget).toShowRows([{ title: 'Renew passport', project: 'Home' }]);

    await expect(expect(widget).toMatchGolden('today')).rejects.toThrow('it has been written from what the widget shows now');
    expect(existsSync(path.join(goldenDir, 'today.png')) && existsSync(path.join(goldenDir, 'today.json'))).toBe(true);
    await expect(widget).toMatchGolden('today');

    await addTask(app, 'Water plants');
    const error = await expect(widget).toMatchGolden('today', { timeout: 300 }).catch((thrown) => thrown);
    expect(error.message).toContain('It differs from the golden');
    expect(error.message).toContain("row 2 is new (it shows '\u2022', 'Water plants')");
    expect(test.info().attachments.map((attachment) => attachment.name)).toContain('today-actual.png');

    // --update-snapshots rewrites a golden that differs, and the test passes.
    const summary = JSON.stringify((await widget.entry()).payload);
    const run = await runNested(test.info(), ['updating.case', '--update-snapshots'], { GOLDEN_DIR: goldenDir, SUMMARY: summary });
    expect(run.code, run.stdout).toBe(0);
    await expect(widget).toMatchGolden('today');
  });
});
