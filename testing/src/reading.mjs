// What a widget shows, read from its layout report as a person reads the
// picture: texts line by line from the top, each line from the left; the
// Today widget's rows ("row N" regions: a bullet, then the title and, after
// a middle dot, the project) and its message. A text belongs to a line when
// its middle lies within the line's height, so a small text beside a large
// one, on one baseline, is read on the large one's line.

const middle = (frame) => frame.y + frame.height / 2;

// The report's texts in reading order.
export function inReadingOrder(texts) {
  const lines = [];
  for (const text of [...texts].sort((a, b) => middle(a.frame) - middle(b.frame))) {
    const line = lines.at(-1);
    if (line && middle(text.frame) <= line.bottom) {
      line.texts.push(text);
      line.bottom = Math.max(line.bottom, text.frame.y + text.frame.height);
    } else {
      lines.push({ texts: [text], bottom: text.frame.y + text.frame.height });
    }
  }
  return lines.flatMap((line) => line.texts.sort((a, b) => a.frame.x - b.frame.x));
}

const rowNumber = (region) => /^row (\d+)$/.exec(region ?? '')?.[1];
const projectSeparator = '  \u00b7  ';
const isBullet = (text) => text === '\u2022';

// A row's texts as { title, project }: one text "TITLE  ·  PROJECT", or the
// title and the project apart.
function rowOf(texts) {
  const [first, second] = texts.filter((text) => !isBullet(text));
  if (second !== undefined || first === undefined) return { title: first, project: second };
  const separator = first.lastIndexOf(projectSeparator);
  if (separator === -1) return { title: first, project: undefined };
  return { title: first.slice(0, separator), project: first.slice(separator + projectSeparator.length) };
}

// The rows the widget shows, in order: [{ title, project }], `project`
// undefined when the row shows none.
export function rowsOf(report) {
  const rows = new Map();
  for (const text of report.texts) {
    const number = rowNumber(text.region);
    if (number === undefined) continue;
    if (!rows.has(number)) rows.set(number, []);
    rows.get(number).push(text.text);
  }
  return [...rows.entries()].sort(([a], [b]) => Number(a) - Number(b)).map(([, texts]) => rowOf(texts));
}

// Every text as a person would name it: each text whole, and a row's title
// and project each on its own.
export function namedTexts(report) {
  const parts = rowsOf(report).flatMap(({ title, project }) => [title, project]);
  return [...report.texts.map((text) => text.text), ...parts].filter((text) => text !== undefined);
}

// The message line's text, or undefined when the widget shows none.
export function messageOf(report) {
  const texts = report.texts.filter((text) => text.region === 'message');
  return texts.length === 0 ? undefined : inReadingOrder(texts).map((text) => text.text).join(' ');
}

const quoted = (text) => `'${text}'`;

// One line a region, in reading order, with a cut text marked: what a
// failure message shows of the widget.
export function describe(report) {
  if (report.texts.length === 0) return '  (no text)';
  const regions = new Map();
  for (const text of inReadingOrder(report.texts)) {
    const region = text.region ?? '(no region)';
    if (!regions.has(region)) regions.set(region, []);
    regions.get(region).push(`${quoted(text.text)}${text.cut ? ' (cut)' : ''}`);
  }
  return [...regions].map(([region, shown]) => `  ${region}: ${shown.join(' / ')}`).join('\n');
}

export const describeRow = (row) => (row.project === undefined ? quoted(row.title) : `${quoted(row.title)} / ${quoted(row.project)}`);
