// The device page's home screen on the test kit: its clock moves past a
// reload moment, what App publishes redraws both Today families, each
// widget's link reaches the running App's page once, and the page keeps its
// settings in the device folder. Which timelines a round asks again is the
// home screen's rounds test; whom the page's server refuses, the loopback
// server's.
import { readFile } from 'node:fs/promises';
import path from 'node:path';

import { expect, test } from '../../../testing/src/index.mjs';
import { callPlugin, openedUrls, roundTrip, sampleReady } from '../sample_page.mjs';

const todayIds = ['systemSmall', 'systemMedium'].map((family) => `BrisklaneWidget-${family}`);
const quickAddIds = ['accessoryCircular', 'accessoryInline', 'systemSmall'].map((family) => `BrisklaneVoiceWidget-${family}`);

const placed = (home, id) => home.locator(`.widget[data-id="${id}"]`);
// The round whose picture the widget shows, once it has loaded.
const shownVersion = (home, id) => placed(home, id).locator('img').getAttribute('data-version');
const field = (home, id, name) => home.locator(`#timeline-${id} [data-field="${name}"]`);

// Does `action` and waits for the home screen's next round.
async function nextRound(home, action) {
  const before = await home.locator('body').getAttribute('data-round');
  await action();
  await home.locator(`body:not([data-round="${before}"])`).waitFor();
}

// Sends App home with the phone's Home button.
async function pressHome(home) {
  await home.click('#home-button');
  await home.locator('#app-screen').waitFor({ state: 'hidden' });
}

test("its clock button moves past the Today widget's reload moment, and the entry is dated by it", async ({ device, home }) => {
  for (const id of [...todayIds, ...quickAddIds]) await placed(home, id).locator('img[data-version]').waitFor({ state: 'attached' });
  await expect(field(home, quickAddIds[2], 'policy')).toHaveText('never (only when asked)');
  await expect(field(home, todayIds[0], 'policy')).toHaveText(/^after /);
  await nextRound(home, () => home.click('#advance-clock'));
  await expect(home.locator('#round-reason')).toHaveText('reloadMoment');
  await expect(home.locator('#clock-offset')).toHaveText('(+30 min)');
  const { date } = await home.widget(todayIds[0]).entry();
  expect(Math.abs(Date.parse(date) - (Date.now() + 30 * 60_000))).toBeLessThan(60_000);
  await device.clock.reset();
  await expect(home.locator('#clock-offset')).toBeEmpty();
});

test('what App publishes redraws both Today families, each with the picture of its round', async ({ home, app }) => {
  await sampleReady(app);
  // Going home publishes again; the summary below comes after it.
  await pressHome(home);
  await app.locator('#publish-result[data-reason="pause"]:not([data-state="pending"])').waitFor({ state: 'attached' });
  const before = Object.fromEntries(await Promise.all(todayIds.map(async (id) => [id, await shownVersion(home, id)])));
  const summary = { tier: 'urgent', count: 2, items: [{ title: 'Renew passport', project: 'Home' }, { title: 'Water plants' }] };
  expect(await callPlugin(app, 'SharedTodayWidget', 'set', { payload: JSON.stringify(summary) })).toEqual({ value: { appGroupOk: true } });
  for (const id of todayIds) {
    await expect(home.widget(id)).toShowRows([{ title: 'Renew passport', project: 'Home' }, { title: 'Water plants' }]);
    await placed(home, id).locator(`img[data-version]:not([data-version="${before[id]}"])`).waitFor({ state: 'attached' });
    await expect(field(home, id, 'pictureVersion')).toHaveText(await shownVersion(home, id));
    await expect(field(home, id, 'summary')).toHaveText('urgent · 2 due · Renew passport, Water plants');
  }
});

test("each widget's link reaches the running App's page once", async ({ home, app }) => {
  await sampleReady(app);
  await app.evaluate(async () => {
    window.heard = [];
    await window.Capacitor.Plugins.App.addListener('appUrlOpen', (event) => window.heard.push(event.url));
  });
  const expected = [];
  for (const id of [...todayIds, ...quickAddIds]) {
    const url = id.startsWith('BrisklaneWidget-') ? 'brisklane://today' : 'brisklane://voice';
    expected.push(url);
    await pressHome(home);
    expect(await home.widget(id).tap()).toEqual({ url, outcome: 'delivered', message: `${url}: delivered` });
    await app.locator('#opened-urls li').nth(expected.length - 1).waitFor();
    if (url === 'brisklane://voice') await app.locator('#quick-add-title').press('Escape');
  }
  await roundTrip(app);
  expect(await app.evaluate(() => window.heard)).toEqual(expected);
  expect(await openedUrls(app)).toEqual(expected);
});

test('outlines show each tap target; placements and the device class stay in the device folder', async ({ device, home }) => {
  await expect(home.locator('.tap-target').first()).toBeHidden();
  await home.check('#outlines');
  await expect(placed(home, todayIds[1]).locator('.tap-url')).toHaveText('brisklane://today');
  await expect(placed(home, quickAddIds[0]).locator('.tap-url')).toHaveText('brisklane://voice');
  await nextRound(home, () => home.uncheck('#placements input[data-kind="BrisklaneVoiceWidget"][data-family="accessoryInline"]'));
  await placed(home, quickAddIds[1]).waitFor({ state: 'detached' });
  await nextRound(home, () => home.selectOption('#device-class', '430x932'));
  const box = await placed(home, todayIds[0]).boundingBox();
  expect([box.width, box.height]).toEqual([170, 170]);
  const saved = JSON.parse(await readFile(path.join(device.folder, 'home-screen.json'), 'utf8'));
  expect(saved.deviceClass).toBe('430x932');
  expect(saved.placements.map((p) => `${p.kind}-${p.family}`)).toEqual([...todayIds, quickAddIds[0], quickAddIds[2]]);
});
