// App's web view behaves as the phone's: no policy of App's own on the
// pages (their own still applies, and what it refuses reaches App's standard
// error), a client-side route survives a reload, and with a development
// server App serves its pages at App's own origin, bridge and live reload
// included. Whom the server refuses and what it forwards, the loopback
// server's own tests check.
import assert from 'node:assert/strict';
import { cp, mkdir, readFile, symlink, writeFile } from 'node:fs/promises';
import { createServer as createHttpServer } from 'node:http';
import { createRequire } from 'node:module';
import path from 'node:path';
import { describe, test } from 'node:test';

import { Session, eventually, repoRoot, sampleReady } from './support.mjs';

const timeout = 120_000;
const fixtures = path.join(repoRoot, 'tests/browser/fixtures');
const webModules = path.join(repoRoot, 'web/node_modules');
const appArgs = (...more) => ['--web-layer', 'browser', '--port', '0', '--no-control-socket', ...more];

// A server of the page's own, on another loopback port, that any origin may call.
async function otherServer(t) {
  const server = createHttpServer((request, response) => {
    response.writeHead(200, { 'Content-Type': 'text/plain', 'Access-Control-Allow-Origin': '*' });
    response.end('hello from the application server');
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  t.after(() => new Promise((resolve) => server.close(resolve)));
  return `http://127.0.0.1:${server.address().port}`;
}

async function freePort() {
  const server = createHttpServer();
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  const { port } = server.address();
  await new Promise((resolve) => server.close(resolve));
  return port;
}

// Vite on a copy of the fixture project, whose packages are the sample's.
async function viteServer(t, session) {
  const root = path.join(session.home, 'vite-app');
  await cp(path.join(fixtures, 'vite-app'), root, { recursive: true });
  await symlink(webModules, path.join(root, 'node_modules'));
  const { createServer } = await import(createRequire(path.join(repoRoot, 'web/package.json')).resolve('vite'));
  const port = await freePort();
  const server = await createServer({
    root,
    configFile: false,
    cacheDir: path.join(root, '.vite-cache'),
    logLevel: 'warn',
    server: { host: '127.0.0.1', port, strictPort: true, fs: { allow: [root, webModules] } },
  });
  await server.listen();
  t.after(() => server.close());
  return { root, url: `http://127.0.0.1:${port}` };
}

const stderrLines = async (app) => (await readFile(app.stderrPath, 'utf8')).split('\n');

describe("App's web view", () => {
  test("puts no policy of its own on the page, and reports the page's own refusals", { timeout }, async (t) => {
    const session = await Session.open(t);
    const server = await otherServer(t);
    const app = await session.startApp(appArgs('--web-dir', path.join(fixtures, 'web-view')));
    const page = await session.openPage(`${app.url}&server=${encodeURIComponent(server)}`);
    await page.locator('#fetched', { hasText: 'hello from the application server' }).waitFor();
    assert.equal(await page.locator('#fetched').evaluate((element) => getComputedStyle(element).color), 'rgb(0, 128, 0)');
    assert.equal(await page.locator('#styled').evaluate((element) => getComputedStyle(element).fontWeight), '700');
    assert.equal(await page.locator('#dot').evaluate((image) => image.complete && image.naturalWidth), 1);
    assert.deepEqual(await page.evaluate(() => window.violations), []);

    // Only the device's home-screen page may frame App's pages; it is read
    // from the device at every page.
    // Read through the browser, which alone resolves the page's name below localhost.
    const response = await page.goto(new URL('/', app.url).href);
    assert.equal(response.headers()['content-security-policy'], "frame-ancestors 'self'");
    assert.equal(response.headers()['x-frame-options'], undefined);
    await mkdir(path.join(session.home, 'run'), { recursive: true });
    await writeFile(path.join(session.home, 'run', 'home-screen-page.json'), '{"origin":"http://127.0.0.1:8200"}\n');
    const framed = await page.goto(new URL('/', app.url).href);
    assert.equal(framed.headers()['content-security-policy'], "frame-ancestors 'self' http://127.0.0.1:8200");

    await page.goto(new URL('/own-policy.html', app.url).href);
    const line = await eventually(async () => (await stderrLines(app)).find((text) => text.includes('Content-Security-Policy refused')), {
      what: "the page's refused image on App's standard error",
    });
    assert.match(line, /^App: console\.error: Content-Security-Policy refused data \(img-src\)/);
    assert.ok((await stderrLines(app)).some((text) => text.startsWith("App: serving Capacitor's native bridge from ")));
  });

  test('reloads a client-side route into the application', { timeout }, async (t) => {
    const session = await Session.open(t);
    const app = await session.startApp(appArgs());
    const page = await session.openPage(app.url);
    await sampleReady(page);
    await page.evaluate(() => history.pushState({}, '', '/today'));
    await page.reload();
    await sampleReady(page);
    assert.equal(new URL(page.url()).pathname, '/today');
    assert.equal(await page.evaluate(() => window.Capacitor.isNativePlatform()), true);
    assert.equal((await page.goto(new URL('/assets/missing.js', app.url).href)).status(), 404);
  });

  test("serves a development server's pages as native, live reload included", { timeout }, async (t) => {
    const session = await Session.open(t);
    const vite = await viteServer(t, session);
    const app = await session.startApp(appArgs('--web-dir', vite.root, '--server-url', `${vite.url}/`));
    const page = await session.openPage(app.url);
    await page.locator('#set[data-state="done"]').waitFor();
    assert.equal(await page.locator('#native').textContent(), 'true');
    assert.equal(await page.locator('#set').textContent(), '{"appGroupOk":true}');
    assert.deepEqual((await session.todayPayload()).items, [{ title: 'From the dev server' }]);
    assert.equal(await page.locator('#message').textContent(), 'first version');

    await writeFile(path.join(vite.root, 'src', 'message.js'), "export const message = 'second version';\n");
    await page.locator('#message', { hasText: 'second version' }).waitFor();
    await page.locator('#set[data-state="done"]').waitFor();
    assert.equal(await page.locator('#native').textContent(), 'true', 'the reloaded page is native too');

    const { origin } = new URL(app.url);
    assert.deepEqual(session.requests.filter((url) => new URL(url).origin !== origin), []);
    assert.ok(session.webSockets.some((url) => url.startsWith(`${origin.replace('http', 'ws')}/?token=`)), session.webSockets.join('\n'));
    const lines = await stderrLines(app);
    assert.ok(lines.includes(`App: following the development server at ${vite.url} (--server-url)`), lines.join('\n'));
    assert.deepEqual(session.pageErrors, []);
  });
});
