// App's page refuses everyone but the page it handed out: a scripted client
// without the token, with another Host or Origin, or with oversized headers
// and messages is refused; a page that another port serves, in the same
// browser that holds the token's cookie, cannot reach the bridge; and none
// of it reaches the plug-in or disturbs the page that is entitled to it.
import assert from 'node:assert/strict';
import { mkdir, writeFile } from 'node:fs/promises';
import http from 'node:http';
import path from 'node:path';
import { describe, test } from 'node:test';

import { Session, request, tokenCookie, upgradeHeaders } from './support.mjs';

const timeout = 90_000;
const bridgePath = '/_capacitor/bridge';

async function hasPayload(page) {
  return page.evaluate(
    async () => (await window.Capacitor.nativePromise('SharedTodayWidget', 'status', {})).hasPayload,
  );
}

// A page of another origin on the same site (cookies ignore ports) that
// tries to open App's bridge and send a summary through it.
async function foreignServer(t, appOrigin) {
  const foreign = http.createServer((_, response) => {
    response.setHeader('Content-Type', 'text/html');
    response.end(`<!doctype html><script>
      window.outcome = new Promise((resolve) => {
        const socket = new WebSocket('${appOrigin.replace('http', 'ws')}${bridgePath}');
        socket.onopen = () => {
          socket.send(JSON.stringify({type: 'message', callbackId: '1', pluginId: 'SharedTodayWidget',
                                      methodName: 'set', options: {payload: '{"count":1}'}}));
          resolve('opened');
        };
        socket.onerror = () => resolve('refused');
      });
    </script>`);
  });
  await new Promise((resolve) => foreign.listen(0, '127.0.0.1', resolve));
  t.after(() => foreign.close());
  return `http://127.0.0.1:${foreign.address().port}/`;
}

describe("App's page", () => {
  test('refuses strangers, foreign pages and an oversized message, and only those', { timeout }, async (t) => {
    const session = await Session.open(t);
    // A page with no script of its own, which publishes nothing: whatever
    // reaches the store came through the bridge from elsewhere.
    const webDir = path.join(session.home, 'www');
    await mkdir(webDir);
    await writeFile(path.join(webDir, 'index.html'), '<!doctype html><html><head></head><body></body></html>');
    const app = await session.startApp(['--web-layer', 'browser', '--port', '0', '--web-dir', webDir]);
    const { port, host, origin, cookie, otherPort } = await tokenCookie(app.url);
    const upgrade = (headers) => ({ path: bridgePath, headers: upgradeHeaders({ Host: host, ...headers }) });
    const refused = {
      'no token': { headers: { Host: host } },
      'a wrong cookie': { headers: { Host: host, Cookie: `${cookie.split('=')[0]}=0123` } },
      'localhost as Host': { headers: { Host: `localhost:${port}`, Cookie: cookie } },
      'an upgrade without Origin': upgrade({ Cookie: cookie }),
      'an upgrade from another port': upgrade({ Cookie: cookie, Origin: `http://127.0.0.1:${otherPort}` }),
      'an upgrade without the token': upgrade({ Origin: origin }),
    };
    for (const [name, attempt] of Object.entries(refused)) {
      const answer = await request(port, attempt);
      assert.equal(answer.status, 403, name);
      assert.equal(answer.headers['access-control-allow-origin'], undefined, name);
    }

    const page = await session.openPage(app.url); // the browser now holds the token's cookie
    assert.equal((await request(port, upgrade({ Cookie: cookie, Origin: origin }))).status, 101);
    const served = await request(port, { headers: { Host: host, Cookie: cookie } });
    assert.equal(served.status, 200);
    assert.equal(served.headers['cache-control'], 'no-store');
    assert.match(served.headers['content-security-policy'], /default-src 'self'/);
    assert.equal(await hasPayload(page), false, 'nothing refused reached the plug-in');

    const intruder = await (await session.browser()).newPage();
    await intruder.goto(await foreignServer(t, origin));
    assert.equal(await intruder.evaluate(() => window.outcome), 'refused');
    assert.equal(await hasPayload(page), false, 'the foreign page reached the plug-in');

    // A socket that sends more than a megabyte is closed, and only that one.
    const code = await page.evaluate(
      (path) =>
        new Promise((resolve) => {
          const socket = new WebSocket(`${location.origin.replace('http', 'ws')}${path}`);
          socket.onopen = () => socket.send('x'.repeat(2 * 1024 * 1024));
          socket.onclose = (event) => resolve(event.code);
        }),
      bridgePath,
    );
    assert.notEqual(code, 1000);
    const answer = await page.evaluate(() =>
      window.Capacitor.nativePromise('SharedTodayWidget', 'set', { payload: '{"count":0,"items":[]}' }),
    );
    assert.deepEqual(answer, { appGroupOk: true });
  });
});
