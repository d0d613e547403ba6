// The sample web application in Chromium against the real `App` in browser
// mode: the page's plug-in calls reach the shared store the widget reads,
// opened links reach the page's appUrlOpen listeners once each, a link that
// starts `App` waits for the page's first listener, and the page loads
// nothing from elsewhere. Every test runs on a fresh device.
import assert from 'node:assert/strict';
import { mkdtemp, readFile } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { describe, test } from 'node:test';

import { Session, browserModeArgs, readPng, repoRoot } from './support.mjs';

const timeout = 90_000;
const group = 'group.app.brisklane.shared';
const payloadRequired = 'payload (JSON string) is required';

// The page has registered its appUrlOpen listener (the launch URL is asked
// for after it) and has published its first summary.
async function sampleReady(page) {
  await page.locator('#launch-url[data-state="done"]').waitFor();
  await page.locator('#publish-result:not([data-state="pending"])').waitFor();
}

// Calls a registered plug-in in the page: { value } or { error: message }.
function callPlugin(page, plugin, method, options) {
  return page.evaluate(
    async ([plugin, method, options]) => {
      try {
        return { value: await window.Capacitor.Plugins[plugin][method](options) };
      } catch (error) {
        return { error: error.message };
      }
    },
    [plugin, method, options],
  );
}

// One round trip over the bridge: what `App` sent the page before answering
// has arrived, and what the page sent before has been handled.
async function roundTrip(page) {
  const answer = await callPlugin(page, 'SharedTodayWidget', 'status');
  assert.ok(answer.value, `status() failed: ${answer.error}`);
}

// Adds appUrlOpen listeners named `names` that record every call they get.
function addRecordingListeners(page, names) {
  return page.evaluate(async (names) => {
    window.heard ??= {};
    window.handles ??= {};
    for (const name of names) {
      window.heard[name] = [];
      window.handles[name] = await window.Capacitor.Plugins.App.addListener('appUrlOpen', (...args) =>
        window.heard[name].push(args.map((arg) => (arg instanceof Error ? { error: arg.message } : arg))),
      );
    }
  }, names);
}

// The URL each call of listener `name` got (undefined for a call without one).
function heardUrls(page, name) {
  return page.evaluate((name) => window.heard[name].map((args) => args[0]?.url), name);
}

function openedUrls(page) {
  return page.locator('#opened-urls li').allTextContents();
}

async function openUrl(session, url) {
  const run = await session.openUrl(url);
  assert.equal(run.code, 0, `App open ${url} failed:\n${run.stderr}`);
}

async function todayPayload(session) {
  const { entries } = await session.timeline();
  assert.ok(entries.length > 0, 'the Today timeline has no entry');
  return entries[0].payload;
}

async function startWithPage(session) {
  const app = await session.startApp();
  const page = await session.openPage(app.url);
  await sampleReady(page);
  return { app, page };
}

// "YYYY-MM-DDTHH:MM" in local time, as the due field takes it.
function localInputValue(moment) {
  const local = new Date(moment - new Date(moment).getTimezoneOffset() * 60_000);
  return local.toISOString().slice(0, 16);
}

function atMinute(moment) {
  return new Date(localInputValue(moment)).getTime();
}

function todayAt(hours, minutes, days = 0) {
  const moment = new Date();
  moment.setDate(moment.getDate() + days);
  moment.setHours(hours, minutes, 0, 0);
  return moment.getTime();
}

async function addTask(page, { title, project = '', due }) {
  await page.fill('#task-title', title);
  await page.fill('#task-project', project);
  await page.fill('#task-due', localInputValue(due));
  await page.click('#task-add');
  await page.locator('#publish-result[data-state="published"]').waitFor();
}

async function onTask(page, title, action) {
  const row = page.locator('#all-list li', { hasText: title });
  await row.locator(`[data-action="${action}"]`).click();
  await page.locator('#publish-result[data-state="published"]').waitFor();
}

describe('SharedTodayWidget from the page', { timeout }, () => {
  test('set stores the summary that the Today widget shows', async (t) => {
    const session = await Session.open(t);
    const { page } = await startWithPage(session);
    const summary = {
      tier: 'urgent',
      count: 7,
      items: [{ title: 'Café ☕ with Ana', project: 'Home' }, { title: 'Ship the release' }],
      updatedAt: '2024-05-20T10:13:20.250Z',
    };

    const answer = await callPlugin(page, 'SharedTodayWidget', 'set', { payload: JSON.stringify(summary) });

    assert.deepEqual(answer, { value: { appGroupOk: true } });
    assert.deepEqual(await todayPayload(session), summary);
    assert.deepEqual(session.pageErrors, []);
  });

  test('set without a text payload rejects and leaves the store alone', async (t) => {
    const session = await Session.open(t);
    const { page } = await startWithPage(session);
    const summary = { count: 1, items: [{ title: 'Kept' }] };
    await callPlugin(page, 'SharedTodayWidget', 'set', { payload: JSON.stringify(summary) });

    for (const options of [{}, { payload: 3 }, { payload: null }, { payload: { count: 0, items: [] } }]) {
      const answer = await callPlugin(page, 'SharedTodayWidget', 'set', options);
      assert.deepEqual(answer, { error: payloadRequired }, `set(${JSON.stringify(options)})`);
    }
    assert.deepEqual(await todayPayload(session), summary);
  });

  test('status reports the App Group, the payload and the diagnosis', async (t) => {
    const session = await Session.open(t);
    const { page } = await startWithPage(session);

    const { value: status } = await callPlugin(page, 'SharedTodayWidget', 'status');

    assert.deepEqual(Object.keys(status).sort(), ['appGroupOk', 'diag', 'group', 'hasPayload']);
    assert.equal(status.appGroupOk, true);
    assert.equal(status.hasPayload, true, 'the page publishes its summary when it starts');
    assert.match(status.diag, /^loaded @\d+$/);
    assert.equal(status.group, group);
    // The page's own panel shows the same answer.
    await page.click('#status-refresh');
    await page.locator('#status-diag', { hasText: /^loaded @\d+$/ }).waitFor();
    assert.equal(await page.locator('#status-group').textContent(), group);
    assert.equal(await page.locator('#status-hasPayload').textContent(), 'true');
  });
});

describe("the page's diagnostics", { timeout }, () => {
  test("console output and uncaught errors reach App's standard error, one line each", async (t) => {
    const session = await Session.open(t);
    const { app, page } = await startWithPage(session);

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
    assert.ok(
      lines.some((line) => /^App: js\.error: .*thrown by the page \(.*:\d+:\d+\)$/.test(line)),
      lines.join('\n'),
    );
    // The console's forwarded calls are never answered, so nothing reaches the
    // page's console about them.
    assert.deepEqual(session.pageErrors, ['thrown by the page']);
  });
});

describe('opened links', { timeout }, () => {
  test('reach every listener once, and no removed one', async (t) => {
    const session = await Session.open(t);
    const { page } = await startWithPage(session);
    await page.click('#tab-all');
    await addRecordingListeners(page, ['first', 'second']);

    await openUrl(session, 'brisklane://today');
    await page.locator('#opened-urls li').first().waitFor();
    await roundTrip(page);

    assert.deepEqual(await heardUrls(page, 'first'), ['brisklane://today']);
    assert.deepEqual(await heardUrls(page, 'second'), ['brisklane://today']);
    assert.deepEqual(await openedUrls(page), ['brisklane://today']);
    assert.ok(await page.locator('#today').isVisible(), 'the link shows the Today list');
    assert.equal(await page.evaluate(() => document.activeElement?.id), 'today');

    await page.evaluate(() => window.handles.first.remove());
    await roundTrip(page);
    // An answer to the removal would reach the removed listener itself.
    assert.deepEqual(await heardUrls(page, 'first'), ['brisklane://today']);

    const foreign = 'https://example.com/x?y=1';
    await openUrl(session, foreign);
    await page.locator('#opened-urls li').nth(1).waitFor();
    await roundTrip(page);

    assert.deepEqual(await heardUrls(page, 'first'), ['brisklane://today']);
    assert.deepEqual(await heardUrls(page, 'second'), ['brisklane://today', foreign]);
    assert.deepEqual(await openedUrls(page), ['brisklane://today', foreign]);
    assert.deepEqual(session.pageErrors, []);
  });

  test('a link that starts App waits for the first listener, once', async (t) => {
    const session = await Session.open(t);
    const app = await session.startApp([...browserModeArgs, 'open', 'brisklane://voice']);
    const page = await session.openPage(app.url);
    await sampleReady(page);

    await page.locator('#quick-add[open]').waitFor();
    await addRecordingListeners(page, ['later']);
    await roundTrip(page);
    assert.deepEqual(await openedUrls(page), ['brisklane://voice']);
    assert.deepEqual(await heardUrls(page, 'later'), [], 'a later listener hears the held link again');
    assert.deepEqual(await callPlugin(page, 'App', 'getLaunchUrl'), { value: { url: 'brisklane://voice' } });
    assert.equal(await page.locator('#launch-url').textContent(), 'brisklane://voice');

    await page.reload();
    await sampleReady(page);
    await roundTrip(page);
    assert.deepEqual(await openedUrls(page), [], 'the reloaded page hears the starting link again');
    assert.equal(await page.locator('#quick-add').getAttribute('open'), null);

    await openUrl(session, 'brisklane://today');
    await page.locator('#opened-urls li').first().waitFor();
    await roundTrip(page);
    assert.deepEqual(await openedUrls(page), ['brisklane://today']);
    assert.deepEqual(session.pageErrors, []);
  });
});

describe('sample application', { timeout }, () => {
  test('publishes the Today summary after every change', async (t) => {
    const session = await Session.open(t);
    const { page } = await startWithPage(session);
    const first = await todayPayload(session);
    assert.deepEqual(first, { tier: 'calm', count: 0, items: [], updatedAt: first.updatedAt });

    const late = atMinute(Date.now() - 3_600_000);
    const evening = todayAt(23, 59);
    await addTask(page, { title: 'Renew passport', project: 'Home', due: late });
    await addTask(page, { title: 'Water plants', due: evening });
    await addTask(page, { title: 'Book dentist', project: 'Health', due: todayAt(12, 0, 1) });

    let payload = await todayPayload(session);
    assert.ok(Math.abs(Date.parse(payload.updatedAt) - Date.now()) < 60_000, 'updatedAt is the time of composing');
    assert.deepEqual({ ...payload, updatedAt: undefined }, {
      tier: 'urgent',
      count: 2,
      items: [{ title: 'Renew passport', project: 'Home' }, { title: 'Water plants' }],
      updatedAt: undefined,
    });
    assert.match(await page.locator('#publish-result').textContent(), /appGroupOk: true/);

    await page.click('#tab-all');
    await onTask(page, 'Renew passport', 'complete');
    payload = await todayPayload(session);
    assert.deepEqual([payload.tier, payload.count, payload.items], [
      Date.now() > evening ? 'urgent' : 'important', 1, [{ title: 'Water plants' }],
    ]);

    await onTask(page, 'Water plants', 'tomorrow');
    payload = await todayPayload(session);
    assert.deepEqual([payload.tier, payload.count, payload.items], ['calm', 0, []]);

    await onTask(page, 'Water plants', 'today');
    assert.equal((await todayPayload(session)).count, 1);
    assert.deepEqual(session.pageErrors, []);
  });

  test('the voice link opens quick add, whose task is due today', async (t) => {
    const session = await Session.open(t);
    const { page } = await startWithPage(session);

    await openUrl(session, 'brisklane://voice');
    await page.locator('#quick-add[open]').waitFor();
    await page.fill('#quick-add-title', 'Call the plumber');
    await page.press('#quick-add-title', 'Enter');
    await page.locator('#quick-add:not([open])').waitFor({ state: 'attached' });
    await page.locator('#publish-result[data-state="published"]').waitFor();

    const payload = await todayPayload(session);
    assert.deepEqual([payload.count, payload.items], [1, [{ title: 'Call the plumber' }]]);
    assert.deepEqual(await page.locator('#today-list .task-title').allTextContents(), ['Call the plumber']);

    // Escape leaves without adding, also after an earlier add.
    await openUrl(session, 'brisklane://voice');
    await page.locator('#quick-add[open]').waitFor();
    await page.fill('#quick-add-title', 'Not this one');
    await page.press('#quick-add-title', 'Escape');
    await page.locator('#quick-add:not([open])').waitFor({ state: 'attached' });
    await roundTrip(page);
    assert.equal((await todayPayload(session)).count, 1);
    assert.equal(await page.locator('#today-list .task').count(), 1);
  });

  test('loads everything from its own origin and asks nothing by dialog', async (t) => {
    const session = await Session.open(t);
    const { app, page } = await startWithPage(session);
    await addTask(page, { title: 'Pay rent', due: Date.now() + 3_600_000 });
    await page.reload();
    await sampleReady(page);

    const origin = new URL(app.url);
    assert.ok(session.requests.length > 0);
    assert.deepEqual(session.requests.filter((url) => new URL(url).origin !== origin.origin), []);
    assert.deepEqual(session.webSockets.filter((url) => new URL(url).host !== origin.host), []);
    assert.deepEqual(session.dialogs, []);
    assert.deepEqual(session.pageErrors, []);
  });

  test('screenshot', async (t) => {
    const session = await Session.open(t);
    const { page } = await startWithPage(session);
    await addTask(page, { title: 'Renew passport', project: 'Home', due: atMinute(Date.now() - 3_600_000) });
    await addTask(page, { title: 'Send the quarterly report', project: 'Work', due: todayAt(23, 30) });
    await addTask(page, { title: 'Water plants', due: todayAt(23, 59) });
    await addTask(page, { title: 'Book dentist', project: 'Health', due: todayAt(9, 30, 1) });
    await page.click('#status-refresh');
    await page.locator('#status-diag', { hasText: /^loaded @/ }).waitFor();

    const folder = process.env.BRISKLANE_SCREENSHOTS === '1'
      ? path.join(repoRoot, 'docs')
      : await mkdtemp(path.join(tmpdir(), 'brisklane-screenshot-'));
    const file = path.join(folder, 'sample-app.png');
    await page.screenshot({ path: file, fullPage: true });
    t.diagnostic(`screenshot: ${file}`);
    const { bytes, isPng } = await readPng(file);
    assert.ok(isPng && bytes.length > 1000, `${file} is not a picture`);
  });
});
