// From a test's start to its first assertion: with the kit's fixtures (a
// fresh device, the widget host and App started, the device page open, a
// widget read), and the floor, a bare Playwright test with a page of its own
// making its first assertion. Each test notes the moment of its first
// assertion; the reporter measures it from the test's start.
import { expect, test } from '../../testing/src/index.mjs';

const noteFirstAssertion = (testInfo) =>
  testInfo.annotations.push({ type: 'firstAssertionAt', description: String(Date.now()) });

test('floor: a bare page to its first assertion', async ({ page }, testInfo) => {
  await page.setContent('<p>ready</p>');
  await expect(page.locator('p')).toHaveText('ready');
  noteFirstAssertion(testInfo);
});

test('device fixture to the first assertion on a widget', async ({ home }, testInfo) => {
  await expect(home.widget('BrisklaneVoiceWidget', 'systemSmall')).toShowText('Quick add');
  noteFirstAssertion(testInfo);
});
