// Playwright Test for a web app on the Brisklane simulated phone: `test` with
// the fixtures `device` (a fresh device running the widget host and App on
// your built web folder), `home` (the device page, with its widgets) and
// `app` (App's web view inside it), and `expect` with matchers that read what
// a widget shows. Each test gets a device of its own, stopped and removed
// when the test ends.
import path from 'node:path';

import { expect as baseExpect, test as base } from '@playwright/test';

import { Device } from './device.mjs';
import { widgetMatchers } from './matchers.mjs';
import { checkWebDir, findPrograms, findWebDir } from './programs.mjs';
import { Widget } from './widget.mjs';

export const test = base.extend({
  // Folders given here are taken from the config file's folder.
  // The built web app App serves; default: capacitor.config.json's webDir,
  // the config found from the current folder upwards.
  webDir: [undefined, { option: true }],
  // What the device answers App's request to send notifications. "granted"
  // by default, so that the system's alert does not stand over App in a
  // test of the widgets; "prompt" shows the alert, "denied" refuses.
  notificationPermission: ['granted', { option: true }],
  // The folder holding App and BrisklaneWidgetExtension; default:
  // BRISKLANE_BIN_DIR, else the first folder on PATH with both.
  brisklaneBinDir: [undefined, { option: true }],
  // Where toMatchGolden keeps goldens; default: __goldens__ beside the test file.
  goldenDir: [undefined, { option: true }],

  device: async ({ webDir, brisklaneBinDir, goldenDir, notificationPermission }, use, testInfo) => {
    const fromConfig = (folder) => folder && path.resolve(path.dirname(testInfo.config.configFile ?? '.'), folder);
    const programs = findPrograms(fromConfig(brisklaneBinDir));
    const device = await Device.start({ programs, webDir: checkWebDir(fromConfig(webDir) ?? findWebDir()), notificationPermission });
    device.goldenDir = fromConfig(goldenDir);
    try {
      await use(device);
    } finally {
      if (testInfo.status !== testInfo.expectedStatus) {
        // Stopped first: a program's last words may still be in its pipe.
        await device.stopPrograms();
        for (const { name, text } of device.output()) await testInfo.attach(name, { body: text, contentType: 'text/plain' });
      }
      await device.stop();
    }
  },

  home: async ({ page, device }, use) => {
    await page.goto(device.homeUrl);
    await page.locator('body:not([data-round="0"])').waitFor();
    page.widget = (kind, family) => new Widget(page, device, kind, family);
    page.app = () => appWebView(page, device);
    await use(page);
  },

  app: async ({ home }, use) => {
    await use(await home.app());
  },
});

// The web view of the App that runs now (launched into the front when none
// runs): the frame of its page inside the phone, loaded.
async function appWebView(home, device) {
  let { application } = await device.state();
  // The host looks at App once a second; asking it to bring App to the
  // front tells the page at once.
  if (!application?.processIdentifier || application.state === 'notRunning') {
    await device.bringToFront();
    ({ application } = await device.state());
  }
  const screen = home.locator(`#app-screen[data-process-identifier="${application.processIdentifier}"]`);
  await screen.waitFor({ state: 'attached' });
  const frame = await (await screen.elementHandle()).contentFrame();
  await frame.waitForLoadState('load');
  return frame;
}

export const expect = baseExpect.extend(widgetMatchers);

export { findPrograms, findWebDir };
