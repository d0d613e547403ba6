// What the browser tests read of the sample web app's page, in a tab or in
// the phone's web view alike: whether it is ready, its plug-in calls, its
// life-cycle log. Plain Playwright, for Node's test runner and Playwright
// Test alike.
import { setTimeout as delay } from 'node:timers/promises';

// App's sample page has registered its appUrlOpen listener (the launch URL
// is asked for after it) and has published its first summary.
export async function sampleReady(page) {
  await page.locator('#launch-url[data-state="done"]').waitFor();
  await page.locator('#publish-result:not([data-state="pending"])').waitFor();
}

// Calls a registered plug-in in the page: { value } or { error: message }.
export function callPlugin(page, plugin, method, options) {
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
export async function roundTrip(page) {
  const answer = await callPlugin(page, 'SharedTodayWidget', 'status');
  if (!answer.value) throw new Error(`status() failed: ${answer.error}`);
}

export function openedUrls(page) {
  return page.locator('#opened-urls li').allTextContents();
}

// Waits until `check()` answers something truthy, and answers it.
export async function eventually(check, { timeoutMs = 10000, what = 'the condition' } = {}) {
  const deadline = Date.now() + timeoutMs;
  for (;;) {
    const value = await check();
    if (value) return value;
    if (Date.now() > deadline) throw new Error(`${what} did not happen within ${timeoutMs} ms`);
    await delay(25);
  }
}

// The sample's life-cycle log once `count` entries are in it, each with the
// state getState answered after it: [{ event, url?, isActive?, state }].
export async function lifeCycleLog(page, count) {
  const entries = page.locator('#life-cycle-log li');
  await entries.nth(count - 1).waitFor({ state: 'attached' });
  const unanswered = page.locator('#life-cycle-log li:not([data-state])');
  await eventually(async () => (await unanswered.count()) === 0, { what: "getState's answers to the log" });
  return entries.evaluateAll((items) => items.map((item) => ({ ...item.dataset })));
}
