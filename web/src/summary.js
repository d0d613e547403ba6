// The Today summary that the widget shows, composed from the task list, and
// the few calendar helpers the list needs. Pure functions of the tasks and a
// moment, so that the rules are easy to check.
//
// A task is { id, title, project, due, done }: `due` in milliseconds since
// 1970, `project` possibly empty. The widget's decoder is strict: "tier" and
// "updatedAt" are text, "count" a whole number, each item has a text "title"
// and, only when there is one, a text "project".

export const maximumItems = 5;

export function endOfDay(moment) {
  const end = new Date(moment);
  end.setHours(23, 59, 59, 999);
  return end.getTime();
}

// The same time of day, `days` calendar days after `moment`'s day.
export function sameTimeOnDay(due, moment, days = 0) {
  const moved = new Date(due);
  const day = new Date(moment);
  moved.setFullYear(day.getFullYear(), day.getMonth(), day.getDate() + days);
  return moved.getTime();
}

// Open tasks due by the end of `now`'s day, earliest first.
export function dueTasks(tasks, now) {
  const end = endOfDay(now);
  return tasks
    .filter((task) => !task.done && task.due <= end)
    .sort((left, right) => left.due - right.due);
}

// "urgent" when a due task is already late, "important" when something is due
// today, "calm" otherwise.
export function tierOf(due, now) {
  if (due.some((task) => task.due < now)) return 'urgent';
  if (due.length > 0) return 'important';
  return 'calm';
}

export function composeSummary(tasks, now) {
  const due = dueTasks(tasks, now);
  return {
    tier: tierOf(due, now),
    count: due.length,
    items: due.slice(0, maximumItems).map(({ title, project }) =>
      project ? { title, project } : { title },
    ),
    // When the summary was composed; the widget carries it without reading it.
    updatedAt: new Date(now).toISOString(),
  };
}
