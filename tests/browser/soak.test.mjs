// A bounded soak (SOAK_SECONDS, default 60) of the widget host and App on a
// fresh device: one sample page publishes as fast as it is answered, another
// asks for the status, first for a warm-up, then for the soak. Neither program
// may grow: its peak resident memory during the soak stays within the slack
// below of its peak during the warm-up, and once each has settled after the
// soak it holds no more descriptors than once it had settled after the
// warm-up. No call may fail, no page throw, and neither program report an
// error.
import assert from 'node:assert/strict';
import { readFile, readdir } from 'node:fs/promises';
import { setTimeout as delay } from 'node:timers/promises';
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

// The most resident memory each of `pids` held while `work` ran, sampled
// twice a second. Answers [what `work` answered, the peaks in kB].
async function peakRssWhile(pids, work) {
  const peaks = pids.map(() => 0);
  const timer = setInterval(async () => {
    const samples = await Promise.all(pids.map(sample));
    samples.forEach(({ rssKb }, i) => { peaks[i] = Math.max(peaks[i], rssKb); });
  }, 500);
  try {
    return [await work(), peaks];
  } finally {
    clearInterval(timer);
  }
}

// The descriptors `pid` holds once it has stopped opening and closing them,
// that is once their number has not changed for a second. While a round runs
// the host holds the store and the pictures it writes open; a round begun for
// the last summary ends well within that.
async function settledDescriptors(pid) {
  let last = -1;
  for (let unchanged = 0, polls = 0; unchanged < 10 && polls < 300; polls += 1) {
    const { fds } = await sample(pid);
    unchanged = fds === last ? unchanged + 1 : 0;
    last = fds;
    await delay(100);
  }
  return last;
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

describe('soak', { timeout: (seconds + warmUpSeconds + 120) * 1000 }, () => {
  test(`${seconds} s of publishing and status calls leave both programs no bigger`, async (t) => {
    const session = await Session.open(t);
    const host = await session.startHost();
    const app = await session.startApp();
    const publisher = await session.openPage(app.url);
    const reader = await session.openPage(app.url);
    for (const page of [publisher, reader]) await sampleReady(page);

    const programs = { App: app, BrisklaneWidgetExtension: host };
    const pids = Object.values(programs).map(({ child }) => child.pid);
    // Publishes and asks for `duration` seconds, then waits for both programs
    // to settle.
    const run = async (duration) => {
      const endsAt = Date.now() + duration * 1000;
      const [[sets, statuses], peaks] = await peakRssWhile(pids, () =>
        Promise.all([[publisher, 'set'], [reader, 'status']].map(([page, method]) => callUntil(page, method, endsAt))));
      assert.deepEqual(sets.failures, [], 'set failed');
      assert.deepEqual(statuses.failures, [], 'status failed');
      return { sets, statuses, peaks, fds: await Promise.all(pids.map(settledDescriptors)) };
    };
    const warmUp = await run(warmUpSeconds);
    const soak = await run(seconds);
    assert.equal(soak.statuses.last.hasPayload, true);

    const calls = `${soak.sets.calls} sets (${(soak.sets.calls / seconds).toFixed(1)}/s), ${soak.statuses.calls} status calls`;
    for (const [i, [name, { stderrPath }]] of Object.entries(programs).entries()) {
      const [before, after] = [warmUp, soak].map(({ peaks, fds }) => ({ rssKb: peaks[i], fds: fds[i] }));
      t.diagnostic(`${name}: ${calls}; peak RSS ${before.rssKb} kB in the warm-up, ${after.rssKb} kB in the soak; ` +
        `fds ${before.fds} after the warm-up, ${after.fds} after the soak`);
      // A sanitizer's allocator keeps freed memory aside to catch late uses,
      // so resident memory grows there by design; descriptors still may not.
      if (!sanitized) {
        assert.ok(after.rssKb <= before.rssKb + rssSlackKb[name], `${name} grew from ${before.rssKb} kB to ${after.rssKb} kB`);
      }
      assert.ok(after.fds <= before.fds, `${name} held ${before.fds} descriptors after the warm-up, ${after.fds} after the soak`);
      // App names the native bridge it serves once, at start; nothing else may come.
      const lines = (await readFile(stderrPath, 'utf8')).split('\n').filter(Boolean);
      assert.deepEqual(lines.filter((line) => !line.startsWith("App: serving Capacitor's native bridge from ")), [], `${name}'s standard error`);
    }
    assert.deepEqual(session.pageErrors, []);
  });
});
