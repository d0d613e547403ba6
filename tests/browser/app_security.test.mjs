// App's page refuses everyone but the page it handed out: a scripted client
// without the token, with another Host or Origin, or with oversized headers
// and messages is refused; a page that another port serves, in the same
// browser that holds the token's cookie, cannot reach the bridge; and none
// of it reaches the plug-in or disturbs the page that is entitled to it.
import assert from 'node:assert/strict';
import { randomBytes } from 'node:crypto';
import { mkdir, writeFile } from 'node:fs/promises';
import http from 'node:http';
import path from 'node:path';
import { describe, test } from 'node:test';

import { Session } from './support.mjs';

const timeout = 90_000;
const bridgePath = '/_capacitor/bridge';

// One raw request: { status, headers }. An upgrade that the server accepts
// answers 101, which ends the request here as well.
function request(port, { path = '/', method = 'GET', headers = {} } = {}) {
  return new Promise((resolve, reject) => {
    const sent = http.request({ host: '127.0.0.1', port, path, method, headers, setHost: false });
    sent.on('response', (response) => {
      response.resume();
      resolve({ status: response.statusCode, headers: response.headers });
    });
    sent.on('upgrade', (response, socket) => {
      socket.destroy();
      resolve({ status: response.statusCode, headers: response.headers });
    });
    sent.on('error', reject);
    sent.end();
  });
}

function upgradeHeaders(extra) {
  return {
    Connection: 'Upgrade',
    Upgrade: 'websocket',
    'Sec-WebSocket-Version': '13',
    'Sec-WebSocket-Key': randomBytes(16).toString('base64'),
    ...extra,
  };
}

// App serving a page with no script of its own, which publishes nothing:
// whatever reaches the store came through the bridge from elsewhere.
async function startQuietApp(session) {
  const webDir = path.join(session.home, 'www');
  await mkdir(webDir);
  await writeFile(path.join(webDir, 'index.html'), '<!doctype html><html><head></head><body></body></html>');
  return session.startApp(['--web-layer', 'browser', '--port', '0', '--web-dir', webDir]);
}

async function pageWithToken(session) {
  const app = await startQuietApp(session);
  const url = new URL(app.url);
  const port = Number(url.port);
  const token = url.searchParams.get('token');
  const first = await request(port, { path: `/?token=${token}`, headers: { Host: url.host } });
  assert.equal(first.status, 303);
  const cookie = first.headers['set-cookie'][0].split(';')[0];
  return { app, port, host: url.host, origin: url.origin, cookie };
}

async function hasPayload(page) {
  return page.evaluate(
    async () => (await window.Capacitor.nativePromise('SharedTodayWidget', 'status', {})).hasPayload,
  );
}

describe("App's page", { timeout }, () => {
  test('refuses requests without the token, for another host or from another origin', async (t) => {
    const session = await Session.open(t);
    const { app, port, host, origin, cookie } = await pageWithToken(session);
    const otherPort = port === 65535 ? port - 1 : port + 1;
    const refused = {
      'no token': { headers: { Host: host } },
      'a wrong token': { path: '/?token=00000000000000000000000000000000', headers: { Host: host } },
      'a wrong cookie': { headers: { Host: host, Cookie: `${cookie.split('=')[0]}=0123` } },
      'another port as Host': { headers: { Host: `127.0.0.1:${otherPort}`, Cookie: cookie } },
      'localhost as Host': { headers: { Host: `localhost:${port}`, Cookie: cookie } },
      'an upgrade without Origin': { path: bridgePath, headers: upgradeHeaders({ Host: host, Cookie: cookie }) },
      'an upgrade from another port': {
        path: bridgePath,
        headers: upgradeHeaders({ Host: host, Cookie: cookie, Origin: `http://127.0.0.1:${otherPort}` }),
      },
      'an upgrade from localhost': {
        path: bridgePath,
        headers: upgradeHeaders({ Host: host, Cookie: cookie, Origin: `http://localhost:${port}` }),
      },
      'an upgrade from another loopback address': {
        path: bridgePath,
        headers: upgradeHeaders({ Host: host, Cookie: cookie, Origin: `http://127.0.0.2:${port}` }),
      },
      'an upgrade without the token': { path: bridgePath, headers: upgradeHeaders({ Host: host, Origin: origin }) },
    };
    for (const [name, attempt] of Object.entries(refused)) {
      const answer = await request(port, attempt);
      assert.equal(answer.status, 403, name);
      assert.equal(answer.headers['access-control-allow-origin'], undefined, name);
    }
    const huge = await request(port, { headers: { Host: host, Cookie: cookie, 'X-Padding': 'x'.repeat(20 * 1024) } });
    assert.equal(huge.status, 431);

    const page = await session.openPage(app.url);
    const accepted = await request(port, {
      path: bridgePath,
      headers: upgradeHeaders({ Host: host, Cookie: cookie, Origin: origin }),
    });
    assert.equal(accepted.status, 101);
    const served = await request(port, { headers: { Host: host, Cookie: cookie } });
    assert.equal(served.status, 200);
    assert.equal(served.headers['cache-control'], 'no-store');
    assert.match(served.headers['content-security-policy'], /default-src 'self'/);
    assert.equal(await hasPayload(page), false, 'nothing refused reached the plug-in');
  });

  test('is out of reach of a page that another port serves, cookie or not', async (t) => {
    const session = await Session.open(t);
    const app = await startQuietApp(session);
    const page = await session.openPage(app.url); // the browser now holds the token's cookie
    const appOrigin = new URL(app.url).origin;

    // Same site (cookies ignore ports), another origin.
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
    const intruder = await (await session.browser()).newPage();
    await intruder.goto(`http://127.0.0.1:${foreign.address().port}/`);
    assert.equal(await intruder.evaluate(() => window.outcome), 'refused');
    assert.equal(await hasPayload(page), false);
  });

  test('closes a socket that sends more than a megabyte, and only that one', async (t) => {
    const session = await Session.open(t);
    const app = await startQuietApp(session);
    const page = await session.openPage(app.url);
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
