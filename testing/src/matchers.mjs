// Matchers on a widget. Each reads what the widget shows from its layout
// report, again and again until the host's rounds show what is expected or
// the expect timeout passes, as Playwright's own matchers wait for a page;
// a failure says what the widget shows instead.
import { setTimeout as delay } from 'node:timers/promises';

import { matchGolden } from './golden.mjs';
import { describe, describeRow, messageOf, namedTexts, rowsOf } from './reading.mjs';
import { UsageError, Widget } from './widget.mjs';

const pollIntervals = [100, 250, 500, 1000];

function checkWidget(matcherName, widget) {
  if (!(widget instanceof Widget)) {
    throw new UsageError(`expect(widget).${matcherName}(): expected a widget from home.widget(kind, family), got ${String(widget)}`);
  }
}

function checkText(matcherName, expected) {
  if (typeof expected !== 'string' && !(expected instanceof RegExp)) {
    throw new UsageError(`expect(widget).${matcherName}(text): text must be a string or a RegExp, not ${JSON.stringify(expected)}`);
  }
}

const showsText = (expected, text) => (expected instanceof RegExp ? expected.test(text) : text === expected);

// Runs `check(report)` on fresh layout reports until its verdict is the one
// wanted ({ pass } differing from `isNot`) or `timeout` ms pass; answers the
// last verdict with the report it was made on. A usage error ends it at once;
// other errors (a picture being replaced) are tried again.
export async function poll(read, check, { isNot, timeout }) {
  const deadline = Date.now() + timeout;
  for (let attempt = 0; ; attempt += 1) {
    let verdict;
    try {
      const report = await read();
      verdict = { ...check(report), report };
    } catch (error) {
      if (error instanceof UsageError) throw error;
      verdict = { pass: false, error };
    }
    if (verdict.pass !== isNot && !verdict.error) return verdict;
    const left = deadline - Date.now();
    if (left <= 0) return { ...verdict, timedOut: true };
    await delay(Math.min(pollIntervals[Math.min(attempt, pollIntervals.length - 1)], left));
  }
}

// The matcher's result, its message in the form of Playwright's own.
function result(state, matcherName, widget, expected, verdict, timeout) {
  const message = () => {
    const hint = state.utils.matcherHint(matcherName, 'widget', state.utils.printExpected(expected), { isNot: state.isNot, promise: state.promise });
    const lines = [hint, '', `Widget: ${widget.id}`];
    if (verdict.error) lines.push(`Error: ${verdict.error.message}`);
    else if (state.isNot) lines.push(`Expected: not ${verdict.expectation}`, 'but it does');
    else lines.push(verdict.difference);
    if (verdict.report) lines.push('', 'The widget shows:', describe(verdict.report));
    if (verdict.timedOut) lines.push('', `Timeout: ${timeout}ms`);
    return lines.join('\n');
  };
  return { pass: verdict.error ? state.isNot : verdict.pass, message, name: matcherName, expected };
}

async function waitForWidget(state, matcherName, widget, expected, check, options) {
  checkWidget(matcherName, widget);
  const timeout = options?.timeout ?? state.timeout;
  const verdict = await poll(() => widget.layout(), check, { isNot: state.isNot, timeout });
  return result(state, matcherName, widget, expected, verdict, timeout);
}

function textCheck(expected) {
  return (report) => {
    const pass = namedTexts(report).some((text) => showsText(expected, text));
    return { pass, expectation: `to show ${printable(expected)}`, difference: `it shows no text ${printable(expected)}` };
  };
}

const printable = (expected) => (expected instanceof RegExp ? `matching ${expected}` : `'${expected}'`);

const isRow = (row) => typeof row?.title === 'string' && (row.project === undefined || row.project === null || typeof row.project === 'string');

function checkRows(expected) {
  if (!Array.isArray(expected) || !expected.every(isRow)) {
    throw new UsageError('expect(widget).toShowRows(rows): rows must be an array of { title: string, project?: string | null }');
  }
}

// `project` left out is not checked; null means the row shows none.
const rowMatches = (expected, row) =>
  expected.title === row.title && (!('project' in expected) || (expected.project ?? undefined) === row.project);

// The expected row as the message gives it: only what is checked.
const describeExpectedRow = (row) => describeRow('project' in row ? { title: row.title, project: row.project ?? undefined } : { title: row.title });

function rowsCheck(expected) {
  return (report) => {
    const rows = rowsOf(report);
    const expectation = `to show the rows ${expected.map(describeExpectedRow).join(', ') || '(none)'}`;
    const wrong = expected.findIndex((row, index) => index >= rows.length || !rowMatches(row, rows[index]));
    if (wrong === -1 && rows.length === expected.length) return { pass: true, expectation };
    if (wrong === -1 || wrong >= rows.length) {
      const shown = rows.length === 1 ? '1 row' : `${rows.length} rows`;
      return { pass: false, expectation, difference: `it shows ${shown}, expected ${expected.length}` };
    }
    const difference = `row ${wrong + 1} shows ${describeRow(rows[wrong])}, expected ${describeExpectedRow(expected[wrong])}`;
    return { pass: false, expectation, difference };
  };
}

function messageCheck(expected) {
  return (report) => {
    const message = messageOf(report);
    const expectation = `to show the message ${printable(expected)}`;
    if (message === undefined) return { pass: false, expectation, difference: `it shows no message, expected ${printable(expected)}` };
    return { pass: showsText(expected, message), expectation, difference: `its message is '${message}', expected ${printable(expected)}` };
  };
}

export const widgetMatchers = {
  // Some text of the widget, or a row's title or project, is `text` (a
  // RegExp: matches it).
  async toShowText(widget, text, options) {
    checkText('toShowText', text);
    return waitForWidget(this, 'toShowText', widget, text, textCheck(text), options);
  },

  // The Today widget's rows are exactly these, in order.
  async toShowRows(widget, rows, options) {
    checkRows(rows);
    return waitForWidget(this, 'toShowRows', widget, rows, rowsCheck(rows), options);
  },

  // The Today widget's message line reads `text`.
  async toShowMessage(widget, text, options) {
    checkText('toShowMessage', text);
    return waitForWidget(this, 'toShowMessage', widget, text, messageCheck(text), options);
  },

  // The widget's picture and layout are those of the golden `name`.
  async toMatchGolden(widget, name, options) {
    checkWidget('toMatchGolden', widget);
    if (this.isNot) throw new UsageError('expect(widget).not.toMatchGolden() is not supported: say what the widget should show instead');
    return matchGolden(this, widget, name, { timeout: options?.timeout ?? this.timeout, strictPixels: options?.strictPixels });
  },
};
