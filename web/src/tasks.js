// The task list, kept in the page's localStorage under one key. Every change
// writes the whole list back; what cannot be read as a list starts an empty one.

const storageKey = 'brisklane.tasks';

function isTask(value) {
  return (
    value !== null &&
    typeof value === 'object' &&
    typeof value.id === 'string' &&
    typeof value.title === 'string' &&
    typeof value.project === 'string' &&
    Number.isFinite(value.due) &&
    typeof value.done === 'boolean'
  );
}

export function loadTasks(storage = window.localStorage) {
  try {
    const stored = JSON.parse(storage.getItem(storageKey) ?? '[]');
    return Array.isArray(stored) ? stored.filter(isTask) : [];
  } catch {
    return [];
  }
}

export function saveTasks(tasks, storage = window.localStorage) {
  storage.setItem(storageKey, JSON.stringify(tasks));
}

export function newTask({ title, project = '', due }) {
  const id = `${Date.now().toString(36)}-${Math.random().toString(36).slice(2, 8)}`;
  return { id, title, project, due, done: false };
}
