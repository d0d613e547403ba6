// The simulated phone in Chromium: the widget host's device page beside
// App's page in a tab of its own, real processes on a fresh device. What App's
// page publishes shows on the home screen; a tap's link reaches App's page
// once, whether App was running or the tap started it (then on the device's
// port, in the phone); the host's clock moves past a reload moment; the page
// keeps its settings. Whom the page's server refuses is the loopback server's
// test and its request checks' corpus; App inside the phone is the device test's.
import assert from 'node:assert/strict';
import { readFile, stat } from 'node:fs/promises';
import path from 'node:path';
import { describe, test } from 'node:test';

import { Session, appInFront, callPlugin, launchRecord, openedUrls, roundTrip, sampleReady, tapResults, watchTapResult } from './support.mjs';

const timeout = 120_000;
const todayIds = ['systemSmall', 'systemMedium'].map((family) => `BrisklaneWidget-${family}`);
const quickAddIds = ['accessoryCircular', 'accessoryInline', 'systemSmall'].map((family) => `BrisklaneVoiceWidget-${family}`);

const widget = (home, id) => home.locator(`.widget[data-id="${id}"]`);
// The round whose picture the widget shows, once it has loaded.
const shownVersion = (home, id) => widget(home, id).locator('img').getAttribute('data-version');
const card = (home, id) => home.locator(`#timeline-${id}`);
const field = (home, id, name) => card(home, id).locator(`[data-field="${name}"]`).textContent();

// Sends App home, so that the home screen's widgets can be tapped again.
async function pressHome(home) {
  await home.click('#home-button');
  await home.locator('#app-screen').waitFor({ state: 'hidden' });
}

// Does `action` and waits for the home screen's next round.
async function nextRound(home, action) {
  const before = await home.locator('body').getAttribute('data-round');
  await action();
  await home.locator(`body:not([data-round="${before}"])`).waitFor();
}

describe('home screen', () => {
  test('moves its clock, shows what App publishes, delivers each link once, keeps its settings', { timeout }, async (t) => {
    const session = await Session.open(t);
    const host = await session.startHost();

    // The page moves the host's clock past the Today widget's reload moment;
    // which timelines that asks again is the home screen's rounds test.
    const home = await session.openPage(host.url);
    await home.locator('body:not([data-round="0"])').waitFor();
    for (const id of [...todayIds, ...quickAddIds]) await widget(home, id).locator('img[data-version]').waitFor({ state: 'attached' });
    assert.equal(await field(home, quickAddIds[2], 'policy'), 'never (only when asked)');
    assert.match(await field(home, todayIds[0], 'policy'), /^after /);
    await nextRound(home, async () => {
      const moved = await home.evaluate(async () => {
        const body = JSON.stringify({ advanceMinutes: 31 });
        return (await fetch('/api/clock', { method: 'POST', headers: { 'Content-Type': 'application/json' }, body })).status;
      });
      assert.equal(moved, 200);
    });
    assert.equal(await home.locator('#round-reason').textContent(), 'reloadMoment');
    assert.equal(await home.locator('#clock-offset').textContent(), '(+31 min)');
    const entryDate = Date.parse(host.lines.at(-1).widgets[0].entry.date);
    assert.ok(Math.abs(entryDate - (Date.now() + 31 * 60_000)) < 60_000, 'the entry is dated by the moved clock');

    const app = await session.startApp();
    const recorded = launchRecord(session.home);
    assert.equal(recorded.port, Number(new URL(app.url).port));
    const page = await session.openPage(app.url);
    await sampleReady(page);
    // App came up in front: its web view covers the home screen until Home.
    // Both of its pages publish again on pause: the summary below comes after.
    const framed = await appInFront(home);
    await sampleReady(framed);
    await pressHome(home);
    for (const sample of [page, framed]) {
      await sample.locator('#publish-result[data-reason="pause"]:not([data-state="pending"])').waitFor();
    }

    // What App's page publishes redraws the Today widget in both families, with
    // the picture the host wrote that round. Which pictures a summary redraws
    // is the home screen's rounds test.
    const before = Object.fromEntries(await Promise.all(todayIds.map(async (id) => [id, await shownVersion(home, id)])));
    const summary = { tier: 'urgent', count: 2, items: [{ title: 'Renew passport', project: 'Home' }, { title: 'Water plants' }] };
    const answer = await callPlugin(page, 'SharedTodayWidget', 'set', { payload: JSON.stringify(summary) });
    assert.deepEqual(answer, { value: { appGroupOk: true } });
    for (const id of todayIds) {
      await card(home, id).locator('[data-field="summary"]', { hasText: 'Renew passport' }).waitFor();
      await widget(home, id).locator(`img[data-version]:not([data-version="${before[id]}"])`).waitFor({ state: 'attached' });
      assert.equal(await field(home, id, 'pictureVersion'), await shownVersion(home, id));
    }
    assert.equal(await field(home, todayIds[0], 'summary'), 'urgent · 2 due · Renew passport, Water plants');

    await page.evaluate(async () => {
      window.heard = [];
      await window.Capacitor.Plugins.App.addListener('appUrlOpen', (event) => window.heard.push(event.url));
    });
    const expected = [];
    for (const id of [...todayIds, ...quickAddIds]) {
      const url = id.startsWith('BrisklaneWidget-') ? 'brisklane://today' : 'brisklane://voice';
      expected.push(url);
      await widget(home, id).click();
      await home.locator(`#tap-result[data-outcome="delivered"][data-url="${url}"]`).waitFor();
      assert.equal(await home.locator('#tap-result').textContent(), `${url}: delivered`);
      await page.locator('#opened-urls li').nth(expected.length - 1).waitFor();
      await page.keyboard.press('Escape'); // the voice link opens quick add
      await pressHome(home);
    }
    await roundTrip(page);
    assert.deepEqual(await page.evaluate(() => window.heard), expected);
    assert.deepEqual(await openedUrls(page), expected);

    // With no App running, a click starts one on the device's port, and its
    // page in the phone hears the link once.
    await page.close();
    await app.stop();
    session.stopRecordedAppLater();
    await home.locator('#app-screen').waitFor({ state: 'detached' });
    // The line shows each step for as long as it lasts, which may be a moment.
    await watchTapResult(home);
    await widget(home, 'BrisklaneWidget-systemMedium').click();
    await home.locator('#tap-result[data-outcome="delivered"][data-url="brisklane://today"]').waitFor();
    assert.deepEqual(await tapResults(home), [
      ['launched', "brisklane://today: launched and waiting for the page's first listener"],
      ['delivered', 'brisklane://today: delivered'],
    ]);
    const phone = await appInFront(home);
    await sampleReady(phone);
    assert.equal(new URL(phone.url()).port, String(recorded.port));
    assert.notEqual(launchRecord(session.home).processIdentifier, recorded.processIdentifier);
    await roundTrip(phone);
    assert.deepEqual(await openedUrls(phone), ['brisklane://today']);
    const waitingLinks = path.join(session.home, 'run', 'App-waiting-links.json');
    await assert.rejects(stat(waitingLinks), { code: 'ENOENT' }, 'the link no longer waits');

    // The home screen's link opens the same App's page in a tab, where the
    // link, heard already, is the launch URL only.
    const [started] = await Promise.all([session.context.waitForEvent('page'), home.click('#open-app')]);
    await sampleReady(started);
    assert.equal(new URL(started.url()).port, String(recorded.port));
    await roundTrip(started);
    assert.deepEqual(await openedUrls(started), []);
    assert.deepEqual(await callPlugin(started, 'App', 'getLaunchUrl'), { value: { url: 'brisklane://today' } });

    // Outlines show each tap target with its URL; the settings stay in the
    // device folder (a host started on them shows them: Serve's test).
    assert.equal(await home.locator('.tap-target').first().isVisible(), false);
    await home.check('#outlines');
    await widget(home, todayIds[1]).locator('.tap-target').waitFor();
    assert.equal(await widget(home, todayIds[1]).locator('.tap-url').textContent(), 'brisklane://today');
    assert.equal(await widget(home, quickAddIds[0]).locator('.tap-url').textContent(), 'brisklane://voice');
    await nextRound(home, () => home.uncheck('#placements input[data-kind="BrisklaneVoiceWidget"][data-family="accessoryInline"]'));
    await widget(home, quickAddIds[1]).waitFor({ state: 'detached' });
    await nextRound(home, () => home.selectOption('#device-class', '430x932'));
    const box = await widget(home, todayIds[0]).boundingBox();
    assert.deepEqual([box.width, box.height], [170, 170]);
    const saved = JSON.parse(await readFile(path.join(session.home, 'home-screen.json'), 'utf8'));
    assert.equal(saved.deviceClass, '430x932');
    assert.deepEqual(saved.placements.map((p) => `${p.kind}-${p.family}`), [...todayIds, quickAddIds[0], quickAddIds[2]]);
    assert.deepEqual(session.pageErrors, []);
  });
});
