// A run of its own for a test that fails on purpose, which the kit's tests
// start to see what a failed test leaves: its report, and no device.
import { defineConfig } from '@playwright/test';

import kit from '../playwright.config.mjs';

export default defineConfig({ ...kit, testDir: '.', testMatch: '*.case.mjs', workers: 1, reporter: [['json']] });
