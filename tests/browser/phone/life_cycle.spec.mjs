// App in the phone on the test kit: with App not running, a tap launches it
// on the device's port into the phone's screen and its page's first listener
// hears the link once; Home and the next tap move App through its life
// cycle, which the sample's page sees in order and getState confirms; an App
// that ends leaves no web view, and its icon launches a new one. What the
// host does for each step of a link is the host's and open_in_app's tests.
import { existsSync, readFileSync } from 'node:fs';
import path from 'node:path';

import { expect, test } from '../../../testing/src/index.mjs';
import { callPlugin, lifeCycleLog, openedUrls, roundTrip, sampleReady } from '../sample_page.mjs';

const todayMedium = 'BrisklaneWidget-systemMedium';
const todaySmall = 'BrisklaneWidget-systemSmall';

const launchRecord = (device) => JSON.parse(readFileSync(path.join(device.folder, 'run', 'App-launch.json'), 'utf8'));

// The sample has its life-cycle listeners and has shown what getState answered.
const lifeCycleReady = (app) => app.locator('#app-state:is([data-state="active"], [data-state="background"])').waitFor();

// Every text the tap result line shows while `tap` runs, with its outcome,
// in order: what a person watching the line would have read.
async function watchedTap(home, tap) {
  await home.evaluate(() => {
    const line = document.getElementById('tap-result');
    window.tapResults = [];
    new MutationObserver(() => {
      const shown = [line.dataset.outcome, line.textContent];
      if (line.dataset.outcome && JSON.stringify(window.tapResults.at(-1)) !== JSON.stringify(shown)) window.tapResults.push(shown);
    }).observe(line, { attributes: true, childList: true, characterData: true, subtree: true });
  });
  await tap();
  await home.locator('#tap-result[data-outcome="delivered"]').waitFor();
  return home.evaluate(() => window.tapResults);
}

// Sends App home by `press` and waits until the phone shows the home screen
// and the sample has seen itself go to the background.
async function goHome(home, app, press, logged) {
  await press();
  await home.locator('#app-screen').waitFor({ state: 'hidden' });
  return lifeCycleLog(app, logged + 2);
}

test('App launched by a tap, sent home, brought back, ended and launched again', async ({ device, home }) => {
  const pageErrors = [];
  home.on('pageerror', (error) => pageErrors.push(error.message));
  const installed = launchRecord(device);
  await device.terminateApp();
  await home.locator('#app-screen').waitFor({ state: 'detached' });
  let app;
  let processIdentifier;

  await test.step('a tap launches App into the screen and its first listener hears the link once', async () => {
    expect(await watchedTap(home, () => home.widget(todayMedium).tap())).toEqual([
      ['launched', "brisklane://today: launched and waiting for the page's first listener"],
      ['delivered', 'brisklane://today: delivered'],
    ]);
    app = await home.app();
    await sampleReady(app);
    await lifeCycleReady(app);
    await expect(app.locator('#today')).toBeVisible();
    await roundTrip(app);
    expect(await openedUrls(app)).toEqual(['brisklane://today']);
    expect(await lifeCycleLog(app, 1)).toEqual([{ event: 'appUrlOpen', url: 'brisklane://today', state: 'active' }]);
    expect(await callPlugin(app, 'App', 'getLaunchUrl')).toEqual({ value: { url: 'brisklane://today' } });
    expect(existsSync(path.join(device.folder, 'run', 'App-waiting-links.json')), 'the link no longer waits').toBe(false);

    // The web view is the device's screen, in points, and lies over the home screen.
    const frame = home.locator('#app-screen');
    expect(await home.locator('#phone').evaluate((phone) => [phone.clientWidth, phone.clientHeight])).toEqual([393, 852]);
    const box = await frame.boundingBox();
    expect([box.width, box.height]).toEqual([393, 852]);
    const onTop = await home.locator(`.widget[data-id="${todayMedium}"]`).evaluate((element) => {
      const bounds = element.getBoundingClientRect();
      return document.elementFromPoint(bounds.x + bounds.width / 2, bounds.y + bounds.height / 2)?.id;
    });
    expect(onTop).toBe('app-screen');

    // A new process, on the port of the App installed before.
    const launched = launchRecord(device);
    processIdentifier = Number(await frame.getAttribute('data-process-identifier'));
    expect(processIdentifier).toBe(launched.processIdentifier);
    expect(processIdentifier).not.toBe(installed.processIdentifier);
    expect(new URL(app.url()).port).toBe(String(installed.port));
    const { application } = await device.state();
    expect([application.state, application.processIdentifier]).toEqual(['active', processIdentifier]);
    expect(await frame.getAttribute('src')).toBe(application.page);

    // App's page still opens alone in a tab: the same App, the link already heard.
    const [tab] = await Promise.all([home.context().waitForEvent('page'), home.click('#open-app')]);
    await sampleReady(tab);
    await roundTrip(tab);
    expect(new URL(tab.url()).port).toBe(String(installed.port));
    expect(await openedUrls(tab)).toEqual([]);
    await tab.close();
  });

  await test.step('Home pauses App and a tap resumes it, each event once, in order, as getState says', async () => {
    await app.evaluate(() => (window.keptAlive = true));
    const round = await home.locator('body').getAttribute('data-round');
    expect((await goHome(home, app, () => home.click('#home-button'), 1)).slice(1)).toEqual([
      { event: 'appStateChange', isActive: 'false', state: 'background' },
      { event: 'pause', state: 'background' },
    ]);
    await expect(app.locator('#app-state')).toHaveAttribute('data-state', 'background');
    expect((await device.state()).application.state).toBe('background');
    // Going to the background publishes the summary again, and the widgets are drawn anew.
    await app.locator('#publish-result[data-reason="pause"][data-state="published"]').waitFor({ state: 'attached' });
    await home.locator(`body:not([data-round="${round}"])`).waitFor();

    expect(await watchedTap(home, () => home.widget(todaySmall).tap())).toEqual([['delivered', 'brisklane://today: delivered']]);
    expect(await home.app(), 'the web view lived on in the background').toBe(app);
    expect(await app.evaluate(() => window.keptAlive)).toBe(true);
    expect((await lifeCycleLog(app, 6)).slice(3)).toEqual([
      { event: 'resume', state: 'active' },
      { event: 'appStateChange', isActive: 'true', state: 'active' },
      { event: 'appUrlOpen', url: 'brisklane://today', state: 'active' },
    ]);
    expect((await device.state()).application.processIdentifier, 'no new App').toBe(processIdentifier);

    // Escape goes home too, while the device page has the focus (the sample
    // took it for its Today list), and the app's icon brings App back without a link.
    await goHome(home, app, async () => {
      await home.click('#timeline-heading');
      await home.keyboard.press('Escape');
    }, 6);
    await home.getByRole('button', { name: 'Brisklane', exact: true }).click();
    await expect(home.locator('#app-screen.in-front')).toBeVisible();
    expect((await lifeCycleLog(app, 10)).slice(6).map((entry) => entry.event)).toEqual(['appStateChange', 'pause', 'resume', 'appStateChange']);
    await roundTrip(app);
    expect(await openedUrls(app)).toEqual(['brisklane://today', 'brisklane://today']);
    await expect(app.locator('#app-state')).toHaveAttribute('data-state', 'active');
  });

  await test.step('the App plug-in answers what iOS answers and rejects what iOS does not implement', async () => {
    expect(await callPlugin(app, 'App', 'getInfo')).toEqual({ value: { name: 'Brisklane', id: 'app.brisklane', build: '1', version: '1.0' } });
    expect(await callPlugin(app, 'App', 'getAppLanguage')).toEqual({ value: { value: 'en' } });
    expect(await callPlugin(app, 'App', 'getState')).toEqual({ value: { isActive: true } });
    const rejected = await app.evaluate(() => window.Capacitor.Plugins.App.exitApp().then(() => 'resolved', (error) => ({ message: error.message, code: error.code })));
    expect(rejected).toEqual({ message: 'not implemented', code: 'UNIMPLEMENTED' });
  });

  await test.step('an App that ended leaves no web view; its icon launches a new App into the screen', async () => {
    process.kill(processIdentifier, 'SIGTERM');
    await home.locator('#app-screen').waitFor({ state: 'detached' });
    await home.locator('#phone[data-application="notRunning"]').waitFor({ state: 'attached' });
    await home.getByRole('button', { name: 'Brisklane', exact: true }).click();
    await home.locator('#app-screen.in-front').waitFor();
    const started = await home.app();
    await sampleReady(started);
    await lifeCycleReady(started);
    const { application } = await device.state();
    expect(application.processIdentifier).not.toBe(processIdentifier);
    await expect(started.locator('#launch-url')).toHaveText('none');
    await roundTrip(started);
    await expect(started.locator('#life-cycle-log li'), 'a launch is no event of the life cycle').toHaveCount(0);
    await expect.poll(() => launchRecord(device).processIdentifier, { message: 'the new App serving its page' }).toBe(application.processIdentifier);
  });

  expect(pageErrors).toEqual([]);
});
