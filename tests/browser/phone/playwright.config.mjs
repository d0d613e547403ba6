// The simulated phone's own tests, on the test kit: the sample web app
// (web/www) on this build's programs, in Debian's Chromium. Run by ctest
// with the kit's Playwright (testing/node_modules), as browser.phone.
import { tmpdir } from 'node:os';
import path from 'node:path';

export default {
  testDir: '.',
  outputDir: process.env.PHONE_RESULTS_DIR ?? path.join(tmpdir(), 'brisklane-phone-results'),
  fullyParallel: true,
  workers: 2,
  timeout: 90_000,
  reporter: [['list']],
  use: {
    webDir: '../../../web/www',
    brisklaneBinDir: process.env.BRISKLANE_BIN_DIR ?? '../../../build/default',
    launchOptions: { executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium' },
    // The device page shows the phone at its size in points beside its panel.
    viewport: { width: 420, height: 860 },
  },
};
