// The plug-ins App links, through their real npm packages bundled into a
// small page: reminders scheduled by the page and delivered by the widget
// host at their moment on its clock, a tap on one launching App and reaching
// the page's first listener once, the badge drawn on the icon, and what
// survives App, and the system's alert that asks the person to allow
// App's notifications. The answers' shapes and each refusal are the unit tests'
// (tests/platform/plugins/).
import { copyFile, mkdtemp, rm } from 'node:fs/promises';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

import { expect, test as kitTest } from '../../../testing/src/index.mjs';

const repoRoot = fileURLToPath(new URL('../../../', import.meta.url));
const fixture = path.join(repoRoot, 'tests/browser/fixtures/plugins');

// The page, bundled from the sample's packages (once for each worker).
async function bundledPage() {
  const www = await mkdtemp(path.join(tmpdir(), 'brisklane-plugins-page-'));
  await createRequire(path.join(repoRoot, 'web/package.json'))('esbuild').build({
    entryPoints: [path.join(fixture, 'main.js')],
    bundle: true,
    format: 'esm',
    outfile: path.join(www, 'app.js'),
    nodePaths: [path.join(repoRoot, 'web/node_modules')],
    logLevel: 'warning',
  });
  await copyFile(path.join(fixture, 'index.html'), path.join(www, 'index.html'));
  return www;
}
const test = kitTest.extend({
  pluginsPage: [
    async ({}, use) => {
      const www = await bundledPage();
      await use(www);
      await rm(www, { recursive: true, force: true });
    },
    { scope: 'worker' },
  ],
  webDir: async ({ pluginsPage }, use) => use(pluginsPage),
});

async function pageReady(page) {
  await page.locator('#ready', { hasText: 'ready' }).waitFor();
  return page;
}

// Calls a plug-in through its package: { value } or { error: message }.
function call(page, plugin, method, options) {
  return page.evaluate(
    async ([plugin, method, options]) => {
      try {
        return { value: await window.plugins[plugin][method](options) };
      } catch (error) {
        return { error: error.message };
      }
    },
    [plugin, method, options],
  );
}

// A reminder `minutes` ahead of the page's clock, with `fields` besides.
const schedule = (page, id, minutes, fields = {}) =>
  page.evaluate(
    ([id, minutes, fields]) =>
      window.plugins.LocalNotifications.schedule({
        notifications: [
          { id, title: `Reminder ${id}`, body: 'Due now', schedule: { at: new Date(Date.now() + minutes * 60_000) }, extra: { taskId: `task-${id}` }, ...fields },
        ],
      }),
    [id, minutes, fields],
  );

const heard = (page) => page.evaluate(() => ({ actions: window.actions, received: window.received }));
const lockScreen = (home) => home.locator('#lock-notifications .notification');

test('a reminder comes on the lock screen at its moment, and its tap starts App and reaches the first listener once', async ({ device, home, app }) => {
  await pageReady(app);
  expect((await schedule(app, 41, 30)).notifications).toEqual([{ id: 41 }]);
  await device.terminateApp();
  await home.locator('#pending-notifications li[data-id="41"]').waitFor();
  await expect(lockScreen(home), 'not delivered before its moment').toHaveCount(0);

  await home.click('#advance-clock');
  await expect(lockScreen(home)).toHaveCount(1);
  await expect(lockScreen(home).first()).toHaveAttribute('data-id', '41');
  await expect(home.locator('#pending-notifications li')).toHaveCount(0);
  await home.locator('#banner .notification[data-id="41"]').waitFor();

  await lockScreen(home).first().click();
  const phone = await pageReady(await home.app());
  await expect.poll(async () => (await heard(phone)).actions.length, { message: 'the tap on the first listener' }).toBeGreaterThan(0);
  // A call answered after the event: nothing more was on its way.
  expect((await call(phone, 'LocalNotifications', 'getDeliveredNotifications')).value).toBeTruthy();
  const { actions, received } = await heard(phone);
  expect(actions, 'heard exactly once').toHaveLength(1);
  expect(actions[0]).toMatchObject({ actionId: 'tap', notification: { id: 41, extra: { taskId: 'task-41' } } });
  expect(received).toEqual([]);
  await expect(lockScreen(home), 'the tapped reminder leaves the lock screen').toHaveCount(0);

  // In front, App hears a delivery as it comes (a minute ahead of the page's
  // clock is behind the host's, 30 minutes on), and nothing is tapped.
  await schedule(phone, 42, 1);
  await expect.poll(async () => (await heard(phone)).received.map((notification) => notification.id)).toEqual([42]);
  expect((await heard(phone)).actions).toHaveLength(1);
});

test("a reminder's actions reach App with the text typed, and bring it to the front only when the action says so (launching it into the background when it does not run)", async ({ device, home, app }) => {
  await pageReady(app);
  const actions = [
    { id: 'done', title: 'Done', destructive: true },
    { id: 'reply', title: 'Reply', input: true, inputButtonTitle: 'Send', inputPlaceholder: 'When?' },
    { id: 'open', title: 'Open', foreground: true },
  ];
  expect((await call(app, 'LocalNotifications', 'registerActionTypes', { types: [{ id: 'reminder', actions }] })).error).toBeUndefined();
  for (const id of [51, 52, 53, 54]) await schedule(app, id, 30, { actionTypeId: 'reminder' });
  await device.home();
  await home.click('#advance-clock');
  const reminder = (id) => home.locator(`#lock-notifications .notification[data-id="${id}"]`);
  const performed = async () => (await heard(app)).actions;

  await reminder(51).getByRole('button', { name: 'Done' }).click();
  await expect.poll(performed).toMatchObject([{ actionId: 'done', notification: { id: 51 } }]);
  expect((await device.state()).application.state, 'Done leaves App in the background').toBe('background');
  await expect(reminder(51), 'an answered reminder leaves the lock screen').toHaveCount(0);

  await reminder(52).getByRole('textbox', { name: 'Reply' }).fill('at six');
  await reminder(52).getByRole('button', { name: 'Send' }).click();
  await expect.poll(async () => (await performed()).length).toBe(2);
  expect((await performed())[1]).toMatchObject({ actionId: 'reply', inputValue: 'at six', notification: { id: 52 } });

  await reminder(53).getByRole('button', { name: 'Open' }).click();
  await expect(home.locator('#app-screen.in-front')).toBeVisible();
  await expect.poll(async () => (await performed()).map(({ actionId }) => actionId)).toEqual(['done', 'reply', 'open']);

  // With App ended, Done launches it into the background: its page loads
  // unseen and its first listener hears the action.
  await device.terminateApp();
  await reminder(54).getByRole('button', { name: 'Done' }).click();
  const screen = home.locator('#app-screen');
  await expect(screen).toBeAttached();
  await expect.poll(async () => (await device.state()).application.state).toBe('background');
  await expect(screen).not.toHaveClass(/in-front/);
  const unseen = await pageReady(await (await screen.elementHandle()).contentFrame());
  await expect.poll(async () => (await heard(unseen)).actions).toMatchObject([{ actionId: 'done', notification: { id: 54 } }]);
});

test('pending reminders and the badge belong to the device: they survive App killed, and the icon shows the count', async ({ device, home, app }) => {
  await pageReady(app);
  const badge = home.locator('#app-badge');
  await call(app, 'Badge', 'set', { count: 3 });
  await expect(badge).toHaveText('3');
  await call(app, 'Badge', 'increase');
  await expect(badge).toHaveText('4');
  await call(app, 'Badge', 'clear');
  await expect(badge).toBeHidden();
  await call(app, 'Badge', 'set', { count: 2 });
  await schedule(app, 7, 90);
  await schedule(app, 8, 60);
  const pending = (await call(app, 'LocalNotifications', 'getPending')).value;
  expect(pending.notifications.map(({ id }) => id)).toEqual([8, 7]);

  device.app.child.kill('SIGKILL');
  await device.terminateApp(); // until the device page has seen it end
  const started = await pageReady(await home.app());
  expect((await call(started, 'LocalNotifications', 'getPending')).value).toEqual(pending);
  expect((await call(started, 'Badge', 'get')).value).toEqual({ count: 2 });
  await device.home();
  await expect(badge).toHaveText('2');
});

test('the updater answers for the built-in bundle, a plug-in App does not link still rejects, and bad input is refused', async ({ device, app }) => {
  await pageReady(app);
  const ready = (await call(app, 'CapacitorUpdater', 'notifyAppReady')).value;
  expect(ready.bundle).toMatchObject({ id: 'builtin', status: 'success' });
  expect(await call(app, 'CapacitorUpdater', 'download', { url: 'https://example.com/next.zip', version: '2.0.0' })).toEqual({
    error: 'the simulated phone runs the built-in bundle only: bundles are not downloaded, switched or reloaded',
  });
  expect((await call(app, 'Preferences', 'get', { key: 'theme' })).error).toMatch(/not implemented on ios/);

  const refusals = [
    ['LocalNotifications', 'schedule', { notifications: [{ title: 't', body: 'b' }] }, 'Notification is missing an identifier.'],
    ['LocalNotifications', 'schedule', { notifications: [{ id: 2 ** 32, title: 't', body: 'b' }] }, /whole number from -2147483648 to 2147483647/],
    ['LocalNotifications', 'schedule', { notifications: [{ id: 1, title: 't', body: 'b', schedule: { at: '2020-01-01T00:00:00.000Z' } }] }, /schedule\.at lies in the past/],
    ['LocalNotifications', 'schedule', { notifications: 'soon' }, 'Must provide a notifications array as the notifications option.'],
    ['LocalNotifications', 'schedule', 'soon', /"options" must be an object/],
    ['Badge', 'set', { count: -1 }, 'count must be a whole number, 0 or more.'],
    ['Badge', 'set', { count: '3' }, 'count must be a whole number, 0 or more.'],
  ];
  for (const [plugin, method, options, message] of refusals) {
    const { error } = await call(app, plugin, method, options);
    if (message instanceof RegExp) expect(error, `${plugin}.${method}`).toMatch(message);
    else expect(error, `${plugin}.${method}`).toBe(message);
  }
  // Still answering.
  expect((await call(app, 'LocalNotifications', 'getPending')).value).toEqual({ notifications: [] });
  expect(device.app.child.exitCode).toBeNull();
});

test.describe('on a phone never asked', () => {
  test.use({ notificationPermission: 'prompt' });

  test("App's request waits for the person's answer in the system's alert, which stands over App and goes with it", async ({ device, home, app }) => {
    await pageReady(app);
    const alert = home.getByRole('alertdialog');
    const asked = call(app, 'LocalNotifications', 'requestPermissions');
    const badged = call(app, 'Badge', 'set', { count: 2 });
    await expect(alert).toBeVisible();
    await expect(alert).toContainText('“Brisklane” Would Like to Send You Notifications');
    await device.home();
    await expect(alert, 'gone home, the alert goes with App').toBeHidden();
    await device.bringToFront();
    await expect(alert).toBeVisible();

    await alert.getByRole('button', { name: 'Don’t Allow' }).click();
    expect(await asked).toEqual({ value: { display: 'denied' } });
    expect((await badged).error, 'the badge waited for the answer, then changed').toBeUndefined();
    await expect(alert).toBeHidden();
    await expect(home.locator('#notification-permission')).toHaveValue('denied');
    expect(await call(app, 'LocalNotifications', 'requestPermissions'), 'asked already: no alert').toEqual({ value: { display: 'denied' } });
    expect((await call(app, 'Badge', 'get')).value).toEqual({ count: 2 });

    // Set back to "prompt", as the phone's settings can: App asks again, and
    // ends while its alert stands: the alert goes with it.
    await device.setNotificationPermission('prompt');
    call(app, 'LocalNotifications', 'requestPermissions').catch(() => {});
    await expect(alert).toBeVisible();
    device.app.child.kill('SIGKILL');
    await device.terminateApp();
    await expect(alert).toBeHidden();
    const started = await pageReady(await home.app());
    const again = call(started, 'LocalNotifications', 'requestPermissions');
    await expect(alert).toBeVisible();
    expect(await device.setNotificationPermission('granted'), 'App was waiting').toBe(true);
    expect(await again).toEqual({ value: { display: 'granted' } });
    await expect(alert).toBeHidden();
  });
});
