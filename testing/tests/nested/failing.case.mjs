// Fails once its device runs, after saying which device that is.
import { expect, test } from '@brisklane/testing';

test('fails on a running device', async ({ device }) => {
  console.log(JSON.stringify({ folder: device.folder, processes: [device.host.child.pid, device.app.child.pid] }));
  expect('the widget host').toBe('stopped');
});
