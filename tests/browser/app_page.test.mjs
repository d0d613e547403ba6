// The sample web application in Chromium against the real `App` in browser
// mode, on a fresh device: the page's plug-in calls reach the shared store
// the widget reads, opened links reach the page, and the page loads nothing
// from elsewhere. Which listeners hear a link, and when, the bridge's own
// tests check; whom App's server refuses, the loopback server's and its
// request checks' corpus.
import assert from 'node:assert/strict';
import { mkdtemp, readFile } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { describe, test } from 'node:test';

import { Session, lifeCycleLog, repoRoot, roundTrip, sampleReady } from './support.mjs';

const timeout = 90_000;

// "YYYY-MM-DDTHH:MM" in local time, as the due field takes it.
function localInputValue(moment) {
  const local = new Date(moment - new Date(moment).getTimezoneOffset() * 60_000);
  return local.toISOString().slice(0, 16);
}

function todayAt(hours, minutes) {
  const moment = new Date();
  moment.setHours(hours, minutes, 0, 0);
  return moment.getTime();
}

async function published(page, action) {
  await action();
  await page.locator('#publish-result[data-state="published"]').waitFor();
}

function addTask(page, { title, project = '', due }) {
  return published(page, async () => {
    await page.fill('#task-title', title);
    await page.fill('#task-project', project);
    await page.fill('#task-due', localInputValue(due));
    await page.click('#task-add');
  });
}

function onTask(page, title, action) {
  return published(page, () => page.locator('#all-list li', { hasText: title }).locator(`[data-action="${action}"]`).click());
}

async function quickAdd(page, session, title, key) {
  await session.openUrl('brisklane://voice');
  await page.locator('#quick-add[open]').waitFor();
  await page.fill('#quick-add-title', title);
  await page.press('#quick-add-title', key);
  await page.locator('#quick-add:not([open])').waitFor({ state: 'attached' });
}

describe('the sample page', () => {
  test('publishes after every change, follows links, tells App its diagnostics, loads nothing from elsewhere', { timeout }, async (t) => {
    const session = await Session.open(t);
    const app = await session.startApp();
    const page = await session.openPage(app.url);
    await sampleReady(page);

    // The page's panel shows the status answer (its every field: App's process test).
    await page.click('#status-refresh');
    await page.locator('#status-diag', { hasText: /^loaded @\d+$/ }).waitFor();
    assert.equal(await page.locator('#status-hasPayload').textContent(), 'true');

    // The Today link shows the Today list; the voice link opens quick add,
    // whose task is due today. Escape leaves without adding, also after an add.
    await page.click('#tab-all');
    await session.openUrl('brisklane://today');
    await page.locator('#opened-urls li').first().waitFor();
    assert.ok(await page.locator('#today').isVisible(), 'the link shows the Today list');
    assert.equal(await page.evaluate(() => document.activeElement?.id), 'today');
    await quickAdd(page, session, 'Call the plumber', 'Enter');
    await page.locator('#publish-result[data-state="published"]').waitFor();
    const added = await session.todayPayload();
    assert.deepEqual([added.count, added.items], [1, [{ title: 'Call the plumber' }]]);
    assert.deepEqual(await page.locator('#today-list .task-title').allTextContents(), ['Call the plumber']);
    await quickAdd(page, session, 'Not this one', 'Escape');
    await roundTrip(page);
    assert.equal((await session.todayPayload()).count, 1);
    assert.equal(await page.locator('#today-list .task').count(), 1);

    await addTask(page, { title: 'Renew passport', project: 'Home', due: Date.now() - 3_600_000 });
    await addTask(page, { title: 'Water plants', due: todayAt(23, 59) });
    const payload = await session.todayPayload();
    assert.ok(Math.abs(Date.parse(payload.updatedAt) - Date.now()) < 60_000, 'updatedAt is the time of composing');
    assert.deepEqual({ ...payload, updatedAt: undefined }, {
      tier: 'urgent',
      count: 3,
      items: [
        { title: 'Renew passport', project: 'Home' },
        { title: 'Water plants' },
        { title: 'Call the plumber' },
      ],
      updatedAt: undefined,
    });
    assert.match(await page.locator('#publish-result').textContent(), /appGroupOk: true/);

    const folder = process.env.BRISKLANE_SCREENSHOTS === '1'
      ? path.join(repoRoot, 'docs')
      : await mkdtemp(path.join(tmpdir(), 'brisklane-screenshot-'));
    const file = path.join(folder, 'sample-app.png');
    await page.screenshot({ path: file, fullPage: true });
    t.diagnostic(`screenshot: ${file}`);

    await page.click('#tab-all');
    const changes = [['Renew passport', 'complete', 2], ['Water plants', 'tomorrow', 1], ['Water plants', 'today', 2]];
    for (const [title, action, count] of changes) {
      await onTask(page, title, action);
      assert.equal((await session.todayPayload()).count, count, `${action} ${title}`);
    }

    // Console output and uncaught errors reach App's standard error, one line each.
    await page.evaluate(() => {
      console.warn('first line\nsecond line');
      setTimeout(() => {
        throw new Error('thrown by the page');
      });
    });
    await page.waitForTimeout(100);
    await roundTrip(page);
    const lines = (await readFile(app.stderrPath, 'utf8')).split('\n');
    assert.ok(lines.includes('App: console.warn: first line\\nsecond line'), lines.join('\n'));
    assert.ok(lines.some((line) => /^App: js\.error: .*thrown by the page \(.*:\d+:\d+\)$/.test(line)), lines.join('\n'));
    // The console's forwarded calls are never answered, so nothing reaches the
    // page's console about them.
    assert.deepEqual(session.pageErrors, ['thrown by the page']);

    const { origin, host } = new URL(app.url);
    assert.ok(session.requests.length > 0);
    assert.deepEqual(session.requests.filter((url) => new URL(url).origin !== origin), []);
    assert.deepEqual(session.webSockets.filter((url) => new URL(url).host !== host), []);
    assert.deepEqual(session.dialogs, []);
  });
  test('a page opened alone sends App home when its tab is hidden, and back when it is shown', { timeout }, async (t) => {
    const session = await Session.open(t);
    const app = await session.startApp();
    const page = await session.openPage(app.url);
    await sampleReady(page);
    // Headless Chromium keeps every tab visible, so the tab's hiding is
    // played in the page as the browser tells it: `document.hidden`, then
    // the event.
    const setHidden = (hidden) => page.evaluate((value) => {
      Object.defineProperty(document, 'hidden', { configurable: true, get: () => value });
      document.dispatchEvent(new Event('visibilitychange'));
    }, hidden);
    await setHidden(true);
    await page.locator('#app-state[data-state="background"]').waitFor();
    await setHidden(false);
    await page.locator('#app-state[data-state="active"]').waitFor();
    assert.deepEqual((await lifeCycleLog(page, 4)).map(({ event, isActive, state }) => [event, isActive, state]), [
      ['appStateChange', 'false', 'background'],
      ['pause', undefined, 'background'],
      ['resume', undefined, 'active'],
      ['appStateChange', 'true', 'active'],
    ]);
  });
});
