// The plug-ins App links, through their real npm packages bundled into a
// small page: reminders scheduled by the page and delivered by the widget
// host at their moment on its clock, a tap on one launching App and reaching
// the page's first listener once, the badge drawn on the icon, and what
// survives App. Each test runs on a fresh device; the answers' shapes and
// each refusal are the unit tests' (tests/platform/plugins/).
import assert from 'node:assert/strict';
import { copyFile, mkdtemp, rm, writeFile } from 'node:fs/promises';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { after, test } from 'node:test';

import { Session, appInFront, eventually, repoRoot } from './support.mjs';

const timeout = 120_000;
const fixture = path.join(repoRoot, 'tests/browser/fixtures/plugins');

// The page, bundled once for the whole file from the sample's packages.
const www = await mkdtemp(path.join(tmpdir(), 'brisklane-plugins-page-'));
after(() => rm(www, { recursive: true, force: true }));
await createRequire(path.join(repoRoot, 'web/package.json'))('esbuild').build({
  entryPoints: [path.join(fixture, 'main.js')],
  bundle: true,
  format: 'esm',
  outfile: path.join(www, 'app.js'),
  nodePaths: [path.join(repoRoot, 'web/node_modules')],
  logLevel: 'warning',
});
await copyFile(path.join(fixture, 'index.html'), path.join(www, 'index.html'));
const appArgs = ['--web-layer', 'browser', '--port', '0', '--web-dir', www];

// The user has allowed App's notifications: a setting of the device.
const allowNotifications = (session) =>
  writeFile(path.join(session.home, 'notification-center.json'), '{"permission":"granted"}', { mode: 0o600 });

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

// A reminder `minutes` ahead of the page's clock.
const schedule = (page, id, minutes) =>
  page.evaluate(
    ([id, minutes]) =>
      window.plugins.LocalNotifications.schedule({
        notifications: [
          { id, title: `Reminder ${id}`, body: 'Due now', schedule: { at: new Date(Date.now() + minutes * 60_000) }, extra: { taskId: `task-${id}` } },
        ],
      }),
    [id, minutes],
  );

const heard = (page) => page.evaluate(() => ({ actions: window.actions, received: window.received }));
const lockScreen = (home) => home.locator('#lock-notifications .notification');

test('a reminder comes on the lock screen at its moment, and its tap starts App and reaches the first listener once', { timeout }, async (t) => {
  const session = await Session.open(t);
  await allowNotifications(session);
  const app = await session.startApp(appArgs);
  const page = await pageReady(await session.openPage(app.url));
  assert.deepEqual((await schedule(page, 41, 30)).notifications, [{ id: 41 }]);
  await app.stop();

  const host = await session.startHost();
  session.stopRecordedAppLater();
  const home = await session.openPage(host.url);
  await home.locator('#pending-notifications li[data-id="41"]').waitFor();
  assert.equal(await lockScreen(home).count(), 0, 'not delivered before its moment');

  await home.click('#advance-clock');
  await lockScreen(home).first().waitFor();
  assert.deepEqual(await lockScreen(home).evaluateAll((items) => items.map((item) => item.dataset.id)), ['41']);
  assert.equal(await home.locator('#pending-notifications li').count(), 0);
  await home.locator('#banner .notification[data-id="41"]').waitFor();

  await lockScreen(home).first().click();
  const phone = await pageReady(await appInFront(home));
  await eventually(async () => (await heard(phone)).actions.length > 0, { what: 'the tap on the first listener' });
  // A call answered after the event: nothing more was on its way.
  assert.ok((await call(phone, 'LocalNotifications', 'getDeliveredNotifications')).value);
  const { actions, received } = await heard(phone);
  assert.equal(actions.length, 1, 'heard exactly once');
  assert.equal(actions[0].actionId, 'tap');
  assert.equal(actions[0].notification.id, 41);
  assert.deepEqual(actions[0].notification.extra, { taskId: 'task-41' });
  assert.deepEqual(received, []);
  await eventually(async () => (await lockScreen(home).count()) === 0, { what: 'the tapped reminder leaving the lock screen' });

  // In front, App hears a delivery as it comes, and nothing is tapped.
  await schedule(phone, 42, 1);
  await eventually(async () => (await heard(phone)).received.length > 0, { what: 'localNotificationReceived' });
  const now = await heard(phone);
  assert.deepEqual(now.received.map((notification) => notification.id), [42]);
  assert.equal(now.actions.length, 1);
});

test('pending reminders and the badge belong to the device: they survive App killed, and the icon shows the count', { timeout }, async (t) => {
  const session = await Session.open(t);
  await allowNotifications(session);
  const host = await session.startHost();
  const home = await session.openPage(host.url);
  let app = await session.startApp(appArgs);
  let page = await pageReady(await session.openPage(app.url));
  const badge = home.locator('#app-badge');

  await call(page, 'Badge', 'set', { count: 3 });
  await badge.filter({ hasText: /^3$/ }).waitFor();
  await call(page, 'Badge', 'increase');
  await badge.filter({ hasText: /^4$/ }).waitFor();
  await call(page, 'Badge', 'clear');
  await badge.waitFor({ state: 'hidden' });
  await call(page, 'Badge', 'set', { count: 2 });
  await schedule(page, 7, 90);
  await schedule(page, 8, 60);
  const pending = (await call(page, 'LocalNotifications', 'getPending')).value;
  assert.deepEqual(pending.notifications.map(({ id }) => id), [8, 7]);

  app.child.kill('SIGKILL');
  await app.child.ended;
  app = await session.startApp(appArgs);
  page = await pageReady(await session.openPage(app.url));
  assert.deepEqual((await call(page, 'LocalNotifications', 'getPending')).value, pending);
  assert.deepEqual((await call(page, 'Badge', 'get')).value, { count: 2 });
  await badge.filter({ hasText: /^2$/ }).waitFor();
});

test('the updater answers for the built-in bundle, a plug-in App does not link still rejects, and bad input is refused', { timeout }, async (t) => {
  const session = await Session.open(t);
  const app = await session.startApp(appArgs);
  const page = await pageReady(await session.openPage(app.url));

  const ready = (await call(page, 'CapacitorUpdater', 'notifyAppReady')).value;
  assert.equal(ready.bundle.id, 'builtin');
  assert.equal(ready.bundle.status, 'success');
  assert.deepEqual(await call(page, 'CapacitorUpdater', 'download', { url: 'https://example.com/next.zip', version: '2.0.0' }), {
    error: 'the simulated phone runs the built-in bundle only: bundles are not downloaded, switched or reloaded',
  });
  assert.match((await call(page, 'Preferences', 'get', { key: 'theme' })).error, /not implemented on ios/);

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
    const { error } = await call(page, plugin, method, options);
    if (message instanceof RegExp) assert.match(error ?? '', message, `${plugin}.${method}`);
    else assert.equal(error, message, `${plugin}.${method}`);
  }
  // Still answering.
  assert.deepEqual((await call(page, 'LocalNotifications', 'getPending')).value, { notifications: [] });
  assert.equal(app.child.exitCode, null);
});
