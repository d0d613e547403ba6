// Runs of their own, which the kit's tests start and read: a test that
// fails on purpose (what does it leave?) and goldens updated on request.
import { defineConfig } from '@playwright/test';

import kit from '../playwright.config.mjs';

export default defineConfig({ ...kit, testDir: '.', testMatch: '*.case.mjs', workers: 1, reporter: [['json']] });
