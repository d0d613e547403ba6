// The Today widget of the sample app: what the app publishes shows on the
// widget, a tap brings the user to the Today list, and both families look
// as their goldens.
import { expect, test } from '@brisklane/testing';

const today = 'BrisklaneWidget';

// Adds a task through the app's own form, due at midnight today (so due now),
// once the app has published what it had at its start.
async function addTask(app, title, project = '') {
  await app.locator('#publish-result:not([data-state="pending"])').waitFor();
  const midnight = new Date();
  midnight.setHours(0, 0, 0, 0);
  const local = new Date(midnight.getTime() - midnight.getTimezoneOffset() * 60_000).toISOString().slice(0, 16);
  await app.locator('#task-title').fill(title);
  await app.locator('#task-project').fill(project);
  await app.locator('#task-due').fill(local);
  await app.locator('#task-add').click();
}

test('the tasks due show as rows on the widget', async ({ home, app }) => {
  await addTask(app, 'Renew passport', 'Admin');
  await addTask(app, 'Water plants');
  await expect(home.widget(today, 'systemMedium')).toShowRows([
    { title: 'Renew passport', project: 'Admin' },
    { title: 'Water plants' },
  ]);
});

test('a tap with the app not running starts it on the Today list', async ({ device, home }) => {
  await device.terminateApp();
  const tapped = await home.widget(today, 'systemSmall').tap();
  expect(tapped.url).toBe('brisklane://today');
  const app = home.frameLocator('#app-screen');
  await expect(app.locator('#today')).toBeVisible();
  await expect(app.locator('#opened-urls li')).toHaveText(['brisklane://today']);
});

test('both Today families match their goldens', async ({ home, app }) => {
  await addTask(app, 'Renew passport', 'Admin');
  for (const family of ['systemSmall', 'systemMedium']) {
    const widget = home.widget(today, family);
    await expect(widget).toShowRows([{ title: 'Renew passport', project: 'Admin' }]);
    await expect.soft(widget).toMatchGolden(`today-${family}`);
  }
});
