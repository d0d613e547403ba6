// The sample web application in Chromium against the real `App` in browser
// mode, on a fresh device: the page's plug-in calls reach the shared store
// the widget reads, opened links reach the page, and the page loads nothing
// from elsewhere. Which listeners hear a link, and when, the bridge's own
// tests check. App's page refuses everyone but the page it handed out.
import assert from 'node:assert/strict';
import { mkdtemp, readFile } from 'node:fs/promises';
import http from 'node:http';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { describe, test } from 'node:test';

import { Session, callPlugin, openedUrls, repoRoot, request, roundTrip, sampleReady, tokenCookie } from './support.mjs';

const timeout = 90_000;
const bridgePath = '/_capacitor/bridge';

// "YYYY-MM-DDTHH:MM" in local time, as the due field takes it.
function localInputValue(moment) {
  const local = new Date(moment - new Date(moment).getTimezoneOffset() * 60_000);
  return local.toISOString().slice(0, 16);
}

function todayAt(hours, minutes, days = 0) {
  const moment = new Date();
  moment.setDate(moment.getDate() + days);
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
  test('publishes after every change, follows links, tells App its diagnostics, loads and lets in nothing from elsewhere', { timeout }, async (t) => {
    const session = await Session.open(t);
    const app = await session.startApp();
    const page = await session.openPage(app.url);
    await sampleReady(page);
    const first = await session.todayPayload();
    assert.deepEqual(first, { tier: 'calm', count: 0, items: [], updatedAt: first.updatedAt });

    // The page's panel shows the status answer (its every field: App's process test).
    await page.click('#status-refresh');
    await page.locator('#status-diag', { hasText: /^loaded @\d+$/ }).waitFor();
    assert.equal(await page.locator('#status-group').textContent(), 'group.app.brisklane.shared');
    assert.equal(await page.locator('#status-hasPayload').textContent(), 'true');

    // The Today link shows the Today list; the voice link opens quick add,
    // whose task is due today. Escape leaves without adding, also after an add.
    await page.click('#tab-all');
    await session.openUrl('brisklane://today');
    await page.locator('#opened-urls li').first().waitFor();
    await roundTrip(page);
    assert.deepEqual(await openedUrls(page), ['brisklane://today']);
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
    await addTask(page, { title: 'Send the quarterly report', project: 'Work', due: todayAt(23, 30) });
    await addTask(page, { title: 'Water plants', due: todayAt(23, 59) });
    await addTask(page, { title: 'Book dentist', project: 'Health', due: todayAt(9, 30, 1) });
    const payload = await session.todayPayload();
    assert.ok(Math.abs(Date.parse(payload.updatedAt) - Date.now()) < 60_000, 'updatedAt is the time of composing');
    assert.deepEqual({ ...payload, updatedAt: undefined }, {
      tier: 'urgent',
      count: 4,
      items: [
        { title: 'Renew passport', project: 'Home' },
        { title: 'Send the quarterly report', project: 'Work' },
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
    const changes = [['Renew passport', 'complete', 3], ['Water plants', 'tomorrow', 2], ['Water plants', 'today', 3]];
    for (const [title, action, count] of changes) {
      await onTask(page, title, action);
      assert.equal((await session.todayPayload()).count, count, `${action} ${title}`);
    }

    const summary = {
      tier: 'urgent',
      count: 7,
      items: [{ title: 'Café ☕ with Ana', project: 'Home' }, { title: 'Ship the release' }],
      updatedAt: '2024-05-20T10:13:20.250Z',
    };
    const answer = await callPlugin(page, 'SharedTodayWidget', 'set', { payload: JSON.stringify(summary) });
    assert.deepEqual(answer, { value: { appGroupOk: true } });
    assert.deepEqual(await session.todayPayload(), summary);
    assert.deepEqual(session.pageErrors, []);

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

    const { port, host, origin, cookie, otherPort } = await tokenCookie(app.url);
    assert.ok(session.requests.length > 0);
    assert.deepEqual(session.requests.filter((url) => new URL(url).origin !== origin), []);
    assert.deepEqual(session.webSockets.filter((url) => new URL(url).host !== host), []);
    assert.deepEqual(session.dialogs, []);

    // App refuses strangers and only them; the kinds it refuses are judged on the
    // request checks' corpus. None of it may reach the store.
    const upgrade = (headers) => ({ path: bridgePath, upgrade: true, headers: { Host: host, ...headers } });
    const refused = {
      'no token': { headers: { Host: host } },
      'a wrong cookie': { headers: { Host: host, Cookie: `${cookie.split('=')[0]}=0123` } },
      'localhost as Host': { headers: { Host: `localhost:${port}`, Cookie: cookie } },
      'an upgrade without Origin': upgrade({ Cookie: cookie }),
      'an upgrade from another port': upgrade({ Cookie: cookie, Origin: `http://127.0.0.1:${otherPort}` }),
      'an upgrade without the token': upgrade({ Origin: origin }),
    };
    for (const [name, attempt] of Object.entries(refused)) assert.equal((await request(port, attempt)).status, 403, name);
    assert.equal((await request(port, upgrade({ Cookie: cookie, Origin: origin }))).status, 101);
    assert.equal((await request(port, { headers: { Host: host, Cookie: cookie } })).status, 200);

    // A page of another origin on the same site, in the browser that holds the
    // token's cookie (cookies ignore ports), cannot open the bridge.
    const foreign = http.createServer((_, response) => response.end('<!doctype html>'));
    await new Promise((resolve) => foreign.listen(0, '127.0.0.1', resolve));
    t.after(() => foreign.close());
    const intruder = await (await session.browser()).newPage();
    await intruder.goto(`http://127.0.0.1:${foreign.address().port}/`);
    const options = { payload: '{"count":1}' };
    const set = { type: 'message', callbackId: '1', pluginId: 'SharedTodayWidget', methodName: 'set', options };
    const outcome = await intruder.evaluate(
      ([url, message]) =>
        new Promise((resolve) => {
          const socket = new WebSocket(url);
          socket.onopen = () => {
            socket.send(message);
            resolve('opened');
          };
          socket.onerror = () => resolve('refused');
        }),
      [`${origin.replace('http', 'ws')}${bridgePath}`, JSON.stringify(set)],
    );
    assert.equal(outcome, 'refused');
    await roundTrip(page);
    assert.deepEqual(await session.todayPayload(), summary, 'nothing refused reached the store');
  });
});
