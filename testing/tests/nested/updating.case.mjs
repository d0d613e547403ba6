// Shows the summary SUMMARY on the Today widget and matches it against the
// golden "today" in GOLDEN_DIR, in whatever --update-snapshots mode it runs.
import { expect, test } from '@brisklane/testing';

test.use({ goldenDir: process.env.GOLDEN_DIR });

test('matches the golden', async ({ home, app }) => {
  await app.evaluate((payload) => window.Capacitor.Plugins.SharedTodayWidget.set({ payload }), process.env.SUMMARY);
  const widget = home.widget('BrisklaneWidget', 'systemMedium');
  await expect(widget).toShowRows(JSON.parse(process.env.SUMMARY).items);
  await expect(widget).toMatchGolden('today');
});
