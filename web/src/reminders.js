// A reminder for each open task whose moment lies ahead, on the phone's
// lock screen at that moment, and the number of tasks due today on the
// app's icon. Reminders are the device's, not the page's: after every change
// the pending ones are made to match the list (scheduled again, or
// cancelled for tasks done or gone). A reminder's id is the task's, folded
// into the 31 bits a notification id takes; its extra names the task. Each
// reminder offers the action "Done", which completes its task without
// bringing the application to the front.
import { Badge, LocalNotifications } from './plugins.js';
import { dueTasks } from './summary.js';

export function reminderId(taskId) {
  let hash = 0;
  for (const character of taskId) hash = (Math.imul(hash, 31) + character.codePointAt(0)) | 0;
  return hash & 0x7fffffff;
}

const reminderType = 'task-reminder';

export function reminderOf(task) {
  return {
    id: reminderId(task.id),
    actionTypeId: reminderType,
    title: task.title,
    body: task.project ? `Due now · ${task.project}` : 'Due now',
    schedule: { at: new Date(task.due) },
    extra: { taskId: task.id },
  };
}

// Answers what it did, for the page to show: "3 reminders, badge 2".
export async function syncReminders(tasks, now) {
  const ahead = tasks.filter((task) => !task.done && task.due > now);
  const wanted = new Set(ahead.map((task) => reminderId(task.id)));
  const { notifications: pending } = await LocalNotifications.getPending();
  const stale = pending.filter((notification) => !wanted.has(notification.id));
  if (stale.length > 0) await LocalNotifications.cancel({ notifications: stale.map(({ id }) => ({ id })) });
  if (ahead.length > 0) await LocalNotifications.schedule({ notifications: ahead.map(reminderOf) });
  const count = dueTasks(tasks, now).length;
  await Badge.set({ count });
  return `${ahead.length} reminder${ahead.length === 1 ? '' : 's'}, badge ${count}`;
}

// Calls `show(taskId)` for each reminder the user taps, the one that
// started the application among them, and `complete(taskId)` for each one
// answered with "Done".
export async function listenForReminders({ show, complete }) {
  await LocalNotifications.registerActionTypes({
    types: [{ id: reminderType, actions: [{ id: 'done', title: 'Done' }] }],
  });
  await LocalNotifications.addListener('localNotificationActionPerformed', (action) => {
    const taskId = action?.notification?.extra?.taskId;
    if (typeof taskId !== 'string') return;
    if (action.actionId === 'done') complete(taskId);
    else show(taskId);
  });
}
