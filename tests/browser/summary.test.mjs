// The sample web application's Today summary and task storage, without a
// browser: what is due, the tier, the first items, and the stamp's format.
import assert from 'node:assert/strict';
import { describe, test } from 'node:test';

import { composeSummary, sameTimeOnDay } from '../../web/src/summary.js';
import { loadTasks } from '../../web/src/tasks.js';

const now = new Date(2024, 4, 20, 15, 0).getTime(); // 20 May 2024, 15:00 local time
const at = (day, hours, minutes = 0) => new Date(2024, 4, day, hours, minutes).getTime();
let counter = 0;
const task = (title, due, { project = '', done = false } = {}) => ({
  id: String(++counter), title, project, due, done,
});

describe('composeSummary', () => {
  test('tier: urgent when a due task is late, important when one is due today, else calm; count is what is due', () => {
    const cases = [
      [[], 'calm', 0],
      [[task('Later', at(20, 18))], 'important', 1],
      [[task('Late', at(20, 14, 59)), task('Later', at(20, 18))], 'urgent', 2],
      [[task('Last week', at(13, 9))], 'urgent', 1],
      [[task('Tomorrow', at(21, 0))], 'calm', 0],
      [[task('Done late', at(20, 9), { done: true })], 'calm', 0],
      [[task('Overdue', at(19, 9)), task('Today', at(20, 23, 59)), task('Midnight', at(21, 0))], 'urgent', 2],
    ];
    for (const [tasks, tier, count] of cases) {
      const summary = composeSummary(tasks, now);
      assert.deepEqual([summary.tier, summary.count], [tier, count], tasks.map((t) => t.title).join(', '));
    }
  });

  test('lists the first five due tasks by due time, with a project only when there is one; count keeps the rest', () => {
    const tasks = [7, 3, 5, 1, 6, 2, 4].map((hour) => task(`Task ${hour}`, at(20, hour), { project: hour === 2 ? 'Home' : '' }));
    const summary = composeSummary(tasks, now);
    assert.equal(summary.count, 7);
    const items = [{ title: 'Task 1' }, { title: 'Task 2', project: 'Home' }, { title: 'Task 3' }, { title: 'Task 4' }, { title: 'Task 5' }];
    assert.deepEqual(summary.items, items);
  });
});

describe('calendar helpers', () => {
  test('sameTimeOnDay keeps the time of day across a month end', () => {
    const due = new Date(2024, 0, 31, 9, 30).getTime();
    assert.equal(sameTimeOnDay(due, due, 1), new Date(2024, 1, 1, 9, 30).getTime());
    assert.equal(sameTimeOnDay(due, now, 0), at(20, 9, 30));
  });
});

describe('loadTasks', () => {
  test('keeps the tasks of a stored list, and starts empty on a missing or unreadable one', () => {
    const good = task('Good', at(20, 9));
    const cases = [
      [null, []],
      ['{not json', []],
      ['{"title":"not a list"}', []],
      [JSON.stringify([good, { ...good, due: 'soon' }, null, { ...good, done: 'no' }]), [good]],
    ];
    for (const [text, tasks] of cases) assert.deepEqual(loadTasks({ getItem: () => text }), tasks, String(text));
  });
});
