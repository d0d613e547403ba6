// A bounded soak (SOAK_SECONDS, default 60) of the widget host and App on a
// fresh device: one sample page publishes as fast as it is answered, another
// asks for the status. After a warm-up neither program may grow (resident
// memory within the slack below, no more descriptors at the end); no call may
// fail, no page throw, and neither program report an error.
import assert from 'node:assert/strict';
import { readFile, readdir } from 'node:fs/promises';
import { describe, test } from 'node:test';

import { Session, sampleReady } from './support.mjs';

const seconds = Number(process.env.SOAK_SECONDS || 60);
const sanitized = Boolean(process.env.SOAK_SANITIZED);
const warmUpSeconds = Math.min(10, seconds / 6);
// The host draws two pictures at once in buffers of one to two megabytes, and
// malloc's heap may once, at a random moment, keep one more such buffer for
// good; the host is allowed that step besides the megabyte.
const rssSlackKb = { App: 1024, BrisklaneWidgetExtension: 2048 };

// Resident memory (kB) and open descriptors of a running process.
async function sample(pid) {
  const status = await readFile(`/proc/${pid}/status`, 'utf8');
  return { rssKb: Number(/^VmRSS:\s+(\d+) kB$/m.exec(status)[1]), fds: (await readdir(`/proc/${pid}/fd`)).length };
}

// Samples `pid` every second: `baseline` at the end of the warm-up, `maxRssKb` the most after it.
function watch(pid, startedAt) {
  const watched = { baseline: undefined, maxRssKb: 0 };
  watched.timer = setInterval(async () => {
    const now = await sample(pid);
    if (watched.baseline) watched.maxRssKb = Math.max(watched.maxRssKb, now.rssKb);
    else if (Date.now() - startedAt >= warmUpSeconds * 1000) watched.baseline = now;
  }, 1000);
  return watched;
}

// Calls SharedTodayWidget[method] in `page` one call after another until
// `endsAt`, each `set` with another summary whose texts come from a short
// list, so that every picture drawn after the warm-up is of a kind drawn
// during it. Answers { calls, failures, last answer }.
function callUntil(page, method, endsAt) {
  return page.evaluate(
    async ([method, endsAt]) => {
      const titles = ['Water plants', 'Renew passport before the summer holidays', 'Call Sam', 'Pay rent', 'Ship it'];
      const summary = (i) => {
        const item = (k) => ({ title: titles[(i + k) % titles.length], ...(k % 2 ? { project: 'Home' } : {}) });
        const items = Array.from({ length: i % 6 }, (_, k) => item(k));
        const tier = ['calm', 'important', 'urgent'][i % 3];
        return { tier, count: items.length + (i % 4), items, updatedAt: new Date().toISOString() };
      };
      const failures = [];
      let calls = 0;
      let last;
      for (; Date.now() < endsAt; calls += 1) {
        const sent = method === 'set' ? { payload: JSON.stringify(summary(calls)) } : {};
        try {
          last = await window.Capacitor.Plugins.SharedTodayWidget[method](sent);
          if (last.appGroupOk !== true) failures.push(`answered ${JSON.stringify(last)}`);
        } catch (error) {
          failures.push(error.message);
        }
      }
      return { calls, failures, last };
    },
    [method, endsAt],
  );
}

describe('soak', { timeout: (seconds + 120) * 1000 }, () => {
  test(`${seconds} s of publishing and status calls leave both programs no bigger`, async (t) => {
    const session = await Session.open(t);
    const host = await session.startHost();
    const app = await session.startApp();
    const publisher = await session.openPage(app.url);
    const reader = await session.openPage(app.url);
    for (const page of [publisher, reader]) await sampleReady(page);

    const startedAt = Date.now();
    const programs = { App: app, BrisklaneWidgetExtension: host };
    const watched = {};
    for (const [name, { child }] of Object.entries(programs)) watched[name] = watch(child.pid, startedAt);
    const [sets, statuses] = await Promise.all(
      [[publisher, 'set'], [reader, 'status']].map(([page, method]) => callUntil(page, method, startedAt + seconds * 1000)),
    );
    for (const { timer } of Object.values(watched)) clearInterval(timer);
    assert.deepEqual(sets.failures, [], 'set failed');
    assert.deepEqual(statuses.failures, [], 'status failed');
    assert.equal(statuses.last.hasPayload, true);

    const calls = `${sets.calls} sets (${(sets.calls / seconds).toFixed(1)}/s), ${statuses.calls} status calls`;
    for (const [name, { child, stderrPath }] of Object.entries(programs)) {
      const { baseline, maxRssKb } = watched[name];
      const end = await sample(child.pid);
      t.diagnostic(`${name}: ${calls}; RSS ${baseline.rssKb} kB after warm-up, max ${maxRssKb} kB after; ` +
        `fds ${baseline.fds} after warm-up, ${end.fds} at the end`);
      // A sanitizer's allocator keeps freed memory aside to catch late uses,
      // so resident memory grows there by design; descriptors still may not.
      if (!sanitized) {
        assert.ok(maxRssKb <= baseline.rssKb + rssSlackKb[name], `${name} grew from ${baseline.rssKb} kB to ${maxRssKb} kB`);
      }
      assert.ok(end.fds <= baseline.fds, `${name} held ${baseline.fds} descriptors after warm-up, ${end.fds} after`);
      assert.deepEqual((await readFile(stderrPath, 'utf8')).split('\n').filter(Boolean), [], `${name}'s standard error`);
    }
    assert.deepEqual(session.pageErrors, []);
  });
});
