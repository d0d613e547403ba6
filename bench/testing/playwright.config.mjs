// The test kit's start-up, timed: each test twenty times, one at a time, in
// Debian's Chromium, with the reporter that prints the medians and appends
// them to the benchmarks' table. Run by scripts/run-benchmarks from web/,
// where the kit finds the sample as it finds a user's web app.
import { tmpdir } from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

import { defineConfig } from '../../testing/node_modules/@playwright/test/index.mjs';

const repoRoot = fileURLToPath(new URL('../../', import.meta.url));

export default defineConfig({
  testDir: '.',
  testMatch: '*.bench.mjs',
  outputDir: path.join(tmpdir(), 'brisklane-kit-bench-results'),
  workers: 1,
  repeatEach: 20,
  timeout: 60_000,
  reporter: [['./start_up_reporter.mjs']],
  use: {
    brisklaneBinDir: process.env.BRISKLANE_BIN_DIR ?? path.join(repoRoot, 'build/default'),
    launchOptions: { executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium' },
  },
});
