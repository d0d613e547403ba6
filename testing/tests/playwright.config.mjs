// The kit's own tests: the sample web app (web/www, found from web/, where
// they run) on this build's programs, in Debian's Chromium.
import { tmpdir } from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

import { defineConfig } from '@playwright/test';

const repoRoot = fileURLToPath(new URL('../../', import.meta.url));

export default defineConfig({
  testDir: '.',
  outputDir: process.env.KIT_RESULTS_DIR ?? path.join(tmpdir(), 'brisklane-kit-results'),
  fullyParallel: true,
  workers: 2,
  timeout: 60_000,
  reporter: [['list']],
  use: {
    brisklaneBinDir: process.env.BRISKLANE_BIN_DIR ?? path.join(repoRoot, 'build/default'),
    launchOptions: { executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium' },
  },
});
