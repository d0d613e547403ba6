// The widget tests of a Capacitor app: the kit finds the built web folder
// through capacitor.config.json and the two programs through
// BRISKLANE_BIN_DIR (or PATH). Chromium is the system's.
import { defineConfig } from '@playwright/test';

export default defineConfig({
  testDir: 'tests',
  fullyParallel: true,
  workers: 2,
  reporter: process.env.CI ? [['list'], ['html', { open: 'never' }]] : [['list']],
  use: {
    launchOptions: { executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium' },
  },
});
