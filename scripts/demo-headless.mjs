// The demo, checked in headless Chromium (scripts/demo --headless runs it
// once the widget host and App serve their pages):
//   node scripts/demo-headless.mjs HOME_URL APP_URL SCREENSHOT_DIR
// It publishes from the sample application the way a person does (adds a
// task that is due), waits for the home screen to show it, taps the Today
// widget, checks that App's page shows the Today list with that task, and
// saves a screenshot of each page: home-screen.png and sample-app-demo.png.
// Exit code 0 when all of it happened within two minutes.
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

async function run(context) {
  const app = await context.newPage();
  await app.setViewportSize({ width: 420, height: 860 });
  await app.goto(appUrl);
  await app.locator('#launch-url[data-state="done"]').waitFor(wait);
  await app.locator('#publish-result:not([data-state="pending"])').waitFor(wait);
  step("App's page is ready");

  const home = await context.newPage();
  await home.setViewportSize({ width: 1000, height: 940 });
  await home.goto(homeUrl);
  const today = home.locator('.widget[data-id="BrisklaneWidget-systemMedium"]');
  await today.locator('img[data-version]').waitFor({ ...wait, state: 'attached' });
  const before = await today.locator('img').getAttribute('data-version');
  step('the home screen is showing');

  await app.fill('#task-title', 'Renew passport');
  await app.fill('#task-project', 'Home');
  await app.fill('#task-due', localInputValue(Date.now() - 3_600_000));
  await app.click('#task-add');
  await app.locator('#publish-result[data-state="published"]').waitFor(wait);
  await home.locator('#timeline-BrisklaneWidget-systemMedium [data-field="summary"]', { hasText: 'Renew passport' })
    .waitFor(wait);
  await today.locator(`img[data-version]:not([data-version="${before}"])`).waitFor({ ...wait, state: 'attached' });
  step('published from the sample; the Today widget changed on the home screen');

  await app.click('#tab-all'); // so that the link visibly brings the Today list back
  await today.click();
  await home.locator('#tap-result[data-state="delivered"]').waitFor(wait);
  await app.locator('#opened-urls li', { hasText: 'brisklane://today' }).waitFor(wait);
  await app.locator('#today-list .task-title', { hasText: 'Renew passport' }).waitFor(wait);
  if (!(await app.locator('#today').isVisible())) throw new Error("the link did not show App's Today list");
  step("tapped the Today widget; App's page shows the Today list");

  await mkdir(screenshots, { recursive: true });
  await home.locator('#outlines').check();
  await home.screenshot({ path: path.join(screenshots, 'home-screen.png'), fullPage: true });
  await app.screenshot({ path: path.join(screenshots, 'sample-app-demo.png') });
  step(`screenshots in ${screenshots}`);
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
