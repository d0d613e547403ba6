// A placed widget on the device page: what it shows (its entry, its layout
// report, its picture) read from the host as of now, and taps on it made
// through the page, where a person's finger goes.
import { PageError } from './page_client.mjs';
import { inReadingOrder, messageOf, rowsOf } from './reading.mjs';

// A mistake in the test, not a widget that has yet to show something:
// matchers report it at once instead of waiting.
export class UsageError extends Error {}

export class Widget {
  // `kind` and `family`, or one id "KIND-FAMILY".
  constructor(home, device, kind, family) {
    if (typeof kind !== 'string' || kind === '') throw new UsageError(`widget(kind, family) takes a widget kind, not ${JSON.stringify(kind)}`);
    const dash = kind.lastIndexOf('-');
    if (family === undefined && dash > 0) [kind, family] = [kind.slice(0, dash), kind.slice(dash + 1)];
    if (typeof family !== 'string' || family === '') {
      throw new UsageError(`widget(${JSON.stringify(kind)}, family) takes a family such as "systemMedium"`);
    }
    this.home = home; // the device page
    this.device = device;
    this.kind = kind;
    this.family = family;
    this.id = `${kind}-${family}`;
  }

  toString() {
    return `widget ${this.id}`;
  }

  // The widget as the last round left it, from /api/state.
  async state() {
    const state = await this.device.state();
    const widget = state.widgets.find((candidate) => candidate.id === this.id);
    if (!widget) {
      const placed = state.widgets.map((candidate) => candidate.id).join(', ') || 'none';
      throw new UsageError(`${this.id} is not placed on the home screen (placed: ${placed}); device.settings({ placements }) places widgets`);
    }
    return { ...widget, format: state.format, round: state.round };
  }

  // The current entry: { date, payload, ... } as the host reports it.
  async entry() {
    const widget = await this.state();
    if (widget.error) throw new Error(`${this.id} cannot be drawn: ${widget.error}`);
    return widget.entry;
  }

  // The layout report of what the widget shows now.
  async layout() {
    try {
      return await this.device.page.get('/api/layout', { widget: this.id });
    } catch (error) {
      // A host without layout reports takes /api/ reads for actions (405).
      if (!(error instanceof PageError) || ![404, 405].includes(error.status)) throw error;
      await this.state(); // says so when the widget is not placed
      throw new UsageError(`the widget host serves no layout report for ${this.id} (${error.message}): is it a build with /api/layout?`);
    }
  }

  // The texts the widget shows, in reading order.
  async texts() {
    return inReadingOrder((await this.layout()).texts).map((text) => text.text);
  }

  // The Today widget's rows: [{ title, project }].
  async rows() {
    return rowsOf(await this.layout());
  }

  // The Today widget's message line, or undefined.
  async message() {
    return messageOf(await this.layout());
  }

  // Where a tap opens what: [{ frame: { x, y, width, height }, url }], in points.
  async tapTargets() {
    return (await this.layout()).tapTargets;
  }

  // The bytes of the widget's current picture (PNG, at 3x).
  async picture() {
    const widget = await this.state();
    if (widget.pictureVersion === undefined) throw new Error(`${this.id} has no picture: ${widget.error ?? 'it has not been drawn yet'}`);
    return this.device.page.bytes(`/pictures/${encodeURIComponent(this.id)}/${widget.pictureVersion}.${widget.format}`);
  }

  // Taps the widget on the device page at ({ x, y }) points from its top-left
  // corner (default: its middle), and answers what became of the link:
  // { url, outcome, message }, `outcome` one of "delivered", "launched",
  // "waiting", "failed", or "nothing" when no link is there.
  async tap({ x, y } = {}) {
    if ((x === undefined) !== (y === undefined) || [x, y].some((v) => v !== undefined && !Number.isFinite(v))) {
      throw new UsageError(`tap({ x, y }) takes both coordinates in points, or neither, not ${JSON.stringify({ x, y })}`);
    }
    // A page that has not yet heard App go home or end gets two seconds.
    const covering = this.home.locator('#app-screen.in-front');
    if (await covering.isVisible()) {
      await covering.waitFor({ state: 'hidden', timeout: 2000 }).catch(() => {
        throw new UsageError(`cannot tap ${this.id}: App is in front and covers the home screen; call device.home() first`);
      });
    }
    const frame = this.home.locator(`.widget[data-id="${this.id}"]`);
    await frame.click(x === undefined ? {} : { position: { x, y } });
    // The line under the phone says what became of the link.
    const result = this.home.locator('#tap-result[data-state="opened"], #tap-result[data-state="nothing"]');
    await result.waitFor();
    const { state, outcome, url, message } = await result.evaluate((line) => ({ ...line.dataset, message: line.textContent }));
    return state === 'nothing' ? { url: undefined, outcome: 'nothing', message } : { url, outcome, message };
  }
}
