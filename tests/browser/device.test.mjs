// The phone on the device page, with App inside it: real processes on a fresh
// device that never ran App. A tap launches App into the phone's screen and
// its page's first listener hears the link once; Home and the next tap move
// App through its life cycle, which the sample's page sees in order and
// getState confirms; a new App process gets a new web view. What the host
// does for each step of a link is the host's and open_in_app's tests.
import assert from 'node:assert/strict';
import { test } from 'node:test';

import { Session, appInFront, callPlugin, eventually, launchRecord, lifeCycleLog, openedUrls, roundTrip, sampleReady, tapResults, watchTapResult } from './support.mjs';

const timeout = 120_000;
const todayMedium = 'BrisklaneWidget-systemMedium';
const todaySmall = 'BrisklaneWidget-systemSmall';

const widget = (home, id) => home.locator(`.widget[data-id="${id}"]`);


// The sample has its life-cycle listeners and has shown what getState answered.
const lifeCycleReady = (app) => app.locator('#app-state:is([data-state="active"], [data-state="background"])').waitFor();

// What the device page knows of App: the state and process it was last sent.
const applicationNow = (home) => home.evaluate(async () => (await (await fetch('/api/state')).json()).application);

// Sends App home from the device page by `press` and waits until the phone
// shows the home screen and the sample has seen itself go to the background.
async function goHome(home, app, press, logged) {
  await press();
  await home.locator('#app-screen').waitFor({ state: 'hidden' });
  await widget(home, todaySmall).waitFor();
  return lifeCycleLog(app, logged + 2);
}

test('the phone runs App: launched by a tap, sent home, brought back, ended and launched again', { timeout }, async (t) => {
  const session = await Session.open(t);
  const host = await session.startHost();
  session.stopRecordedAppLater();
  const home = await session.openPage(host.url);
  await widget(home, todayMedium).locator('img[data-version]').waitFor({ state: 'attached' });
  assert.equal(await home.locator('#app-screen').count(), 0, 'no App, no web view');
  let app;
  let processIdentifier;

  await t.test('a tap launches App into the screen and its first listener hears the link once', async () => {
    await watchTapResult(home);
    await widget(home, todayMedium).click();
    await home.locator('#tap-result[data-outcome="delivered"]').waitFor();
    assert.deepEqual(await tapResults(home), [
      ['launched', "brisklane://today: launched and waiting for the page's first listener"],
      ['delivered', 'brisklane://today: delivered'],
    ]);
    app = await appInFront(home);
    await sampleReady(app);
    await lifeCycleReady(app);
    await app.locator('#today:not([hidden])').waitFor();
    await roundTrip(app);
    assert.deepEqual(await openedUrls(app), ['brisklane://today']);
    assert.deepEqual(await lifeCycleLog(app, 1), [{ event: 'appUrlOpen', url: 'brisklane://today', state: 'active' }]);
    assert.deepEqual(await callPlugin(app, 'App', 'getLaunchUrl'), { value: { url: 'brisklane://today' } });

    // The web view is the device's screen, in points, and lies over the home screen.
    const frame = home.locator('#app-screen');
    const screen = await home.locator('#phone').evaluate((phone) => [phone.clientWidth, phone.clientHeight]);
    const box = await frame.boundingBox();
    assert.deepEqual([box.width, box.height], [393, 852]);
    assert.deepEqual(screen, [393, 852]);
    const onTop = await widget(home, todayMedium).evaluate((element) => {
      const bounds = element.getBoundingClientRect();
      return document.elementFromPoint(bounds.x + bounds.width / 2, bounds.y + bounds.height / 2)?.id;
    });
    assert.equal(onTop, 'app-screen');

    processIdentifier = Number(await frame.getAttribute('data-process-identifier'));
    assert.equal(processIdentifier, launchRecord(session.home).processIdentifier);
    const application = await applicationNow(home);
    assert.deepEqual([application.state, application.processIdentifier], ['active', processIdentifier]);
    assert.equal(await frame.getAttribute('src'), application.page);

    // App's page still opens alone in a tab: the same App, the link already heard.
    const [tab] = await Promise.all([session.context.waitForEvent('page'), home.click('#open-app')]);
    await sampleReady(tab);
    await roundTrip(tab);
    assert.equal(new URL(tab.url()).port, String(launchRecord(session.home).port));
    assert.deepEqual(await openedUrls(tab), []);
    await tab.close();
  });

  await t.test('Home pauses App and a tap resumes it, each event once, in order, as getState says', async () => {
    await app.evaluate(() => (window.keptAlive = true));
    const round = await home.locator('body').getAttribute('data-round');
    assert.deepEqual((await goHome(home, app, () => home.click('#home-button'), 1)).slice(1), [
      { event: 'appStateChange', isActive: 'false', state: 'background' },
      { event: 'pause', state: 'background' },
    ]);
    assert.equal(await app.locator('#app-state').getAttribute('data-state'), 'background');
    assert.equal((await applicationNow(home)).state, 'background');
    // Going to the background publishes the summary again, and the widgets are drawn anew.
    await app.locator('#publish-result[data-reason="pause"][data-state="published"]').waitFor({ state: 'attached' });
    await home.locator(`body:not([data-round="${round}"])`).waitFor();

    await watchTapResult(home);
    await widget(home, todaySmall).click();
    await home.locator('#tap-result[data-outcome="delivered"]').waitFor();
    assert.deepEqual(await tapResults(home), [['delivered', 'brisklane://today: delivered']]);
    assert.equal(await appInFront(home), app, 'the web view lived on in the background');
    assert.equal(await app.evaluate(() => window.keptAlive), true);
    assert.deepEqual((await lifeCycleLog(app, 6)).slice(3), [
      { event: 'resume', state: 'active' },
      { event: 'appStateChange', isActive: 'true', state: 'active' },
      { event: 'appUrlOpen', url: 'brisklane://today', state: 'active' },
    ]);
    assert.equal((await applicationNow(home)).processIdentifier, processIdentifier, 'no new App');

    // Escape goes home too, while the device page has the focus (the sample
    // took it for its Today list), and the app's icon brings App back without a link.
    await goHome(home, app, async () => {
      await home.click('#timeline-heading');
      await home.keyboard.press('Escape');
    }, 6);
    await home.getByRole('button', { name: 'Brisklane', exact: true }).click();
    assert.equal(await appInFront(home), app);
    assert.deepEqual((await lifeCycleLog(app, 10)).slice(6).map((entry) => entry.event), ['appStateChange', 'pause', 'resume', 'appStateChange']);
    await roundTrip(app);
    assert.deepEqual(await openedUrls(app), ['brisklane://today', 'brisklane://today']);
    assert.equal(await app.locator('#app-state').getAttribute('data-state'), 'active');
  });

  await t.test('the App plug-in answers what iOS answers and rejects what iOS does not implement', async () => {
    assert.deepEqual(await callPlugin(app, 'App', 'getInfo'), { value: { name: 'Brisklane', id: 'app.brisklane', build: '1', version: '1.0' } });
    assert.deepEqual(await callPlugin(app, 'App', 'getAppLanguage'), { value: { value: 'en' } });
    assert.deepEqual(await callPlugin(app, 'App', 'getState'), { value: { isActive: true } });
    const rejected = await app.evaluate(() => window.Capacitor.Plugins.App.exitApp().then(() => 'resolved', (error) => ({ message: error.message, code: error.code })));
    assert.deepEqual(rejected, { message: 'not implemented', code: 'UNIMPLEMENTED' });
  });

  await t.test('an App that ended leaves no web view; its icon launches a new App into the screen', async () => {
    process.kill(processIdentifier, 'SIGTERM');
    await home.locator('#app-screen').waitFor({ state: 'detached' });
    await home.locator('#phone[data-application="notRunning"]').waitFor({ state: 'attached' });
    await home.getByRole('button', { name: 'Brisklane', exact: true }).click();
    const started = await appInFront(home);
    await sampleReady(started);
    await lifeCycleReady(started);
    const now = await applicationNow(home);
    assert.notEqual(now.processIdentifier, processIdentifier);
    assert.equal(await home.locator('#app-screen').getAttribute('data-process-identifier'), String(now.processIdentifier));
    assert.equal(await started.locator('#launch-url').textContent(), 'none');
    await roundTrip(started);
    assert.equal(await started.locator('#life-cycle-log li').count(), 0, 'a launch is no event of the life cycle');
    await eventually(() => launchRecord(session.home)?.processIdentifier === now.processIdentifier, { what: 'the new App serving its page' });
  });

  assert.deepEqual(session.pageErrors, []);
});
