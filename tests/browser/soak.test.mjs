// A bounded soak of the simulated phone: the widget host redrawing and App in
// browser mode, on a fresh device, while the sample page publishes summaries
// one after another as fast as they are answered and a second page asks for
// the status all along. After a warm-up, neither program may keep growing:
// its resident memory stays within a megabyte or two (below) of what it was
// at the end of the warm-up, and it holds no more descriptors at the end than
// then. No call may fail, no page may throw, and neither program may report
// an error.
// SOAK_SECONDS (default 60) makes the run longer.
import assert from 'node:assert/strict';
import { readFile, readdir } from 'node:fs/promises';
import { describe, test } from 'node:test';

import { Session, eventually } from './support.mjs';

const seconds = Number(process.env.SOAK_SECONDS || 60);
const sanitized = Boolean(process.env.SOAK_SANITIZED);
const warmUpSeconds = Math.min(10, seconds / 6);
// How far resident memory may rise after the warm-up. The host draws two
// pictures at once, on two threads, in buffers of one to two megabytes; now
// and then malloc's heap ends up holding one more such buffer than before,
// once, at a random moment (a step of about a megabyte that then stays flat
// for minutes on end), so the host is allowed that step besides the megabyte.
const rssSlackKb = { App: 1024, BrisklaneWidgetExtension: 2048 };

// Resident memory (kB) and open descriptors of a running process.
async function sample(pid) {
  const status = await readFile(`/proc/${pid}/status`, 'utf8');
  const rssKb = Number(/^VmRSS:\s+(\d+) kB$/m.exec(status)[1]);
  return { rssKb, fds: (await readdir(`/proc/${pid}/fd`)).length };
}

// Samples `pid` every second; `baseline` is the sample at the end of the
// warm-up, `maxRssKb` the largest resident memory seen after it.
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
// `endsAt`, each `set` with a different summary: tier, count, items and stamp
// change, but the texts come from a short list, so that every picture the
// widgets draw after the warm-up is of a kind they drew during it. Answers
// the count of calls, the failures (a rejection, or an answer without the
// App Group) and the last call's options and answer.
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
      while (Date.now() < endsAt) {
        const sent = method === 'set' ? { payload: JSON.stringify(summary(calls)) } : {};
        try {
          last = { sent, answer: await window.Capacitor.Plugins.SharedTodayWidget[method](sent) };
          if (last.answer.appGroupOk !== true) failures.push(`answered ${JSON.stringify(last.answer)}`);
        } catch (error) {
          failures.push(error.message);
        }
        calls += 1;
      }
      return { calls, failures, last };
    },
    [method, endsAt],
  );
}

async function lines(file) {
  return (await readFile(file, 'utf8')).split('\n').filter((line) => line !== '');
}

describe('soak', { timeout: (seconds + 120) * 1000 }, () => {
  test(`${seconds} s of publishing and status calls leave both programs no bigger`, async (t) => {
    const session = await Session.open(t);
    const host = await session.startHost();
    const app = await session.startApp();
    const publisher = await session.openPage(app.url);
    const reader = await session.openPage(app.url);
    for (const page of [publisher, reader]) {
      await page.locator('#publish-result:not([data-state="pending"])').waitFor();
    }

    const startedAt = Date.now();
    const endsAt = startedAt + seconds * 1000;
    const programs = { App: app.child.pid, BrisklaneWidgetExtension: host.child.pid };
    const watched = {};
    for (const [name, pid] of Object.entries(programs)) watched[name] = watch(pid, startedAt);
    const [sets, statuses] = await Promise.all([
      callUntil(publisher, 'set', endsAt),
      callUntil(reader, 'status', endsAt),
    ]);
    for (const { timer } of Object.values(watched)) clearInterval(timer);

    assert.deepEqual(sets.failures, [], 'set failed');
    assert.deepEqual(statuses.failures, [], 'status failed');
    assert.equal(statuses.last.answer.hasPayload, true);
    // The host kept up: its latest round shows the last summary published.
    const lastSummary = JSON.parse(sets.last.sent.payload);
    const today = () => host.rounds.at(-1)?.widgets.find((widget) => widget.kind === 'BrisklaneWidget');
    await eventually(() => today()?.entry?.payload?.updatedAt === lastSummary.updatedAt, {
      what: 'the last summary on the Today widget',
    });

    const calls = `${sets.calls} sets (${(sets.calls / seconds).toFixed(1)}/s), ${statuses.calls} status calls`;
    const counts = { App: calls, BrisklaneWidgetExtension: `${calls}, ${host.rounds.length} rounds` };
    for (const [name, pid] of Object.entries(programs)) {
      const { baseline, maxRssKb } = watched[name];
      const end = await sample(pid);
      t.diagnostic(
        `${name}: ${counts[name]}; RSS ${baseline.rssKb} kB after warm-up, max ${maxRssKb} kB after; ` +
          `fds ${baseline.fds} after warm-up, ${end.fds} at the end`,
      );
      // A sanitizer's allocator keeps freed memory aside to catch late uses,
      // so resident memory grows there by design; descriptors still may not.
      if (!sanitized) {
        const limitKb = baseline.rssKb + rssSlackKb[name];
        assert.ok(maxRssKb <= limitKb, `${name} grew from ${baseline.rssKb} kB to ${maxRssKb} kB`);
      }
      assert.ok(end.fds <= baseline.fds, `${name} held ${baseline.fds} descriptors after warm-up, ${end.fds} after`);
    }
    assert.deepEqual(session.pageErrors, []);
    assert.deepEqual(await lines(app.stderrPath), [], "App's standard error");
    assert.deepEqual(await lines(host.stderrPath), [], "the host's standard error");
  });
});
