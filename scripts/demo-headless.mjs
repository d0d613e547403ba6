// The demo, checked in headless Chromium (scripts/demo --headless runs it
// once the widget host and App serve their pages):
//   node scripts/demo-headless.mjs HOME_URL APP_URL SCREENSHOT_DIR
// App, started by the demo, comes up in front: the device page shows its
// page (APP_URL's) inside the phone, and the system's alert asking to allow
// App's notifications over it, which the demo saves as permission.png and
// answers. The demo adds a task that is due there,
// the way a person does, goes home, waits for the home screen to show the
// task, taps the Today widget, checks that the phone shows App in front with
// the Today list and that task, and saves a screenshot of the device page:
// device.png. Then it adds a task due in twenty minutes, goes home, moves
// the host's clock 30 minutes on, waits for the task's reminder on the lock
// screen and the count of due tasks on the app's icon, saves the phone as
// reminder.png, and taps the reminder: App comes to the front showing that
// task. Exit code 0 when all of it happened within two minutes.
import { mkdir } from 'node:fs/promises';
import { createRequire } from 'node:module';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const repoRoot = fileURLToPath(new URL('../', import.meta.url));
const { chromium } = createRequire(path.join(repoRoot, 'web/package.json'))('playwright-core');

const [homeUrl, appUrl, screenshots] = process.argv.slice(2);
if (!homeUrl || !appUrl || !screenshots) {
  console.error('usage: node scripts/demo-headless.mjs HOME_URL APP_URL SCREENSHOT_DIR');
  process.exit(2);
}
const step = (text) => console.log(`demo: ${text}`);
const wait = { timeout: 20_000 };

// "YYYY-MM-DDTHH:MM" in local time, as the sample's due field takes it.
function localInputValue(moment) {
  return new Date(moment - new Date(moment).getTimezoneOffset() * 60_000).toISOString().slice(0, 16);
}

// App's page in the phone, once App is in front.
async function appInFront(home) {
  const screen = home.locator('#app-screen.in-front');
  await screen.waitFor(wait);
  return (await screen.elementHandle()).contentFrame();
}

async function run(context) {
  const home = await context.newPage();
  await home.setViewportSize({ width: 1000, height: 1000 });
  await home.goto(homeUrl);
  const today = home.locator('.widget[data-id="BrisklaneWidget-systemMedium"]');
  await today.locator('img[data-version]').waitFor({ ...wait, state: 'attached' });
  const app = await appInFront(home);
  if (new URL(app.url()).origin !== new URL(appUrl).origin) throw new Error(`the phone shows ${app.url()}, not App's page`);
  await app.locator('#launch-url[data-state="done"]').waitFor(wait);
  await app.locator('#publish-result:not([data-state="pending"])').waitFor(wait);
  step("the phone shows App's page");

  // At its start App asks to send notifications: on a fresh phone the
  // system's alert stands over App until it is answered.
  const alert = home.getByRole('alertdialog');
  await alert.waitFor(wait);
  await mkdir(screenshots, { recursive: true });
  await home.locator('#phone').screenshot({ path: path.join(screenshots, 'permission.png') });
  await alert.getByRole('button', { name: 'Allow', exact: true }).click();
  await alert.waitFor({ ...wait, state: 'hidden' });
  step("allowed App's notifications in the system's alert");

  const before = await today.locator('img').getAttribute('data-version');
  await app.fill('#task-title', 'Renew passport');
  await app.fill('#task-project', 'Home');
  await app.fill('#task-due', localInputValue(Date.now() - 3_600_000));
  await app.click('#task-add');
  await app.locator('#publish-result[data-state="published"]').waitFor(wait);
  await app.click('#tab-all'); // so that the link visibly brings the Today list back
  await home.click('#home-button');
  await home.locator('#app-screen').waitFor({ ...wait, state: 'hidden' });
  await home.locator('#timeline-BrisklaneWidget-systemMedium [data-field="summary"]', { hasText: 'Renew passport' })
    .waitFor(wait);
  await today.locator(`img[data-version]:not([data-version="${before}"])`).waitFor({ ...wait, state: 'attached' });
  step('added a task in the phone and went home; the Today widget shows it');

  await today.click();
  await home.locator('#tap-result[data-outcome="delivered"]').waitFor(wait);
  if ((await appInFront(home)) !== app) throw new Error('App came back with another page');
  await app.locator('#opened-urls li', { hasText: 'brisklane://today' }).waitFor(wait);
  await app.locator('#today-list .task-title', { hasText: 'Renew passport' }).waitFor(wait);
  if (!(await app.locator('#today').isVisible())) throw new Error("the link did not show App's Today list");
  step('tapped the Today widget; the phone shows App in front with its Today list');

  await home.screenshot({ path: path.join(screenshots, 'device.png'), fullPage: true });
  step(`screenshot in ${screenshots}`);

  await app.fill('#task-title', 'Call the plumber');
  await app.fill('#task-project', '');
  await app.fill('#task-due', localInputValue(Date.now() + 20 * 60_000));
  await app.click('#task-add');
  // Both tasks are due today, unless the new one falls after midnight.
  const result = app.locator('#reminder-result', { hasText: /^1 reminder, badge [12]$/ });
  await result.waitFor(wait);
  const due = (await result.textContent()).at(-1);
  await home.click('#home-button');
  await home.locator('#app-screen').waitFor({ ...wait, state: 'hidden' });
  await home.locator('#app-badge', { hasText: new RegExp(`^${due}$`) }).waitFor(wait);
  await home.click('#advance-clock');
  const reminder = home.locator('#lock-notifications .notification', { hasText: 'Call the plumber' });
  await reminder.waitFor(wait);
  await home.locator('#banner .notification').waitFor(wait);
  await home.locator('#phone').screenshot({ path: path.join(screenshots, 'reminder.png') });
  step(`the reminder came on the lock screen at its moment; the badge shows ${due} due`);

  await reminder.getByText('Call the plumber').click(); // the reminder itself, not its "Done"
  if ((await appInFront(home)) !== app) throw new Error('App came back with another page');
  await app.locator('#reminder-task', { hasText: 'Call the plumber' }).waitFor(wait);
  await app.locator('#all-tasks .task.reminded .task-title', { hasText: 'Call the plumber' }).waitFor(wait);
  step('tapped the reminder; the phone shows App in front with that task');
}

const context = await chromium.launchPersistentContext('', {
  executablePath: '/usr/bin/chromium',
  headless: true,
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking'],
  timeout: 30_000,
});
const deadline = setTimeout(() => {
  console.error('demo: did not finish within two minutes');
  process.exit(1);
}, 120_000);
try {
  await run(context);
  step('all done');
} catch (error) {
  console.error(`demo: ${error.message}`);
  process.exitCode = 1;
} finally {
  clearTimeout(deadline);
  await context.close();
}
