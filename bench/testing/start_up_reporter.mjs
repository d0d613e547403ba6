// Prints each test's median time from its start to its first assertion, and
// the kit's beside the floor's; with BRISKLANE_BENCH_FIGURES set, appends
// both to the benchmarks' table (scripts/run-benchmarks).
import { appendFileSync } from 'node:fs';

const median = (values) => {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.floor(sorted.length / 2)];
};

export default class StartUpReporter {
  times = new Map(); // test title → milliseconds of each run
  failures = [];

  onTestEnd(test, result) {
    const noted = result.annotations.find((annotation) => annotation.type === 'firstAssertionAt');
    if (result.status !== 'passed' || !noted) {
      this.failures.push(`${test.title}: ${result.error?.message ?? result.status}`);
      return;
    }
    const runs = this.times.get(test.title) ?? [];
    runs.push(Number(noted.description) - result.startTime.getTime());
    this.times.set(test.title, runs);
  }

  onEnd() {
    for (const failure of this.failures) console.error(`failed: ${failure}`);
    const [floorTitle, floor] = [...this.times].find(([title]) => title.startsWith('floor')) ?? [];
    for (const [title, runs] of this.times) {
      const ratio = floor && title !== floorTitle ? ` (${(median(runs) / median(floor)).toFixed(2)}x the floor)` : '';
      console.log(`${title}: p50 ${median(runs)} ms over ${runs.length} runs${ratio}`);
      if (process.env.BRISKLANE_BENCH_FIGURES && floor && title !== floorTitle) {
        appendFileSync(
          process.env.BRISKLANE_BENCH_FIGURES,
          `kit: ${title}, p50\t${median(runs).toFixed(4)}\t${floorTitle}\t${median(floor).toFixed(4)}\n`,
        );
      }
    }
    return { status: this.failures.length ? 'failed' : 'passed' };
  }
}
