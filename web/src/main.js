// The page: a small task list whose Today summary is published to the widget
// after every change and again whenever the application goes to the
// background, the widget's status, the application's state and life-cycle
// log, and the links the system opens the application with
// ("brisklane://today" shows the Today list, "brisklane://voice" opens quick
// add). Links arrive only through the appUrlOpen listener, also the one that
// started the application, so each is acted on once; the launch URL is
// shown, never routed. Each change also brings the task's reminders and the
// icon's count up to date (reminders.js); a tapped reminder shows its task.
import { App, CapacitorUpdater, LocalNotifications, SharedTodayWidget, onThePhone } from './plugins.js';
import { listenForReminders, syncReminders } from './reminders.js';
import { logOpenedUrl, watchLifeCycle } from './life_cycle.js';
import { loadTasks, newTask, saveTasks } from './tasks.js';
import { composeSummary, dueTasks, endOfDay, sameTimeOnDay } from './summary.js';

const element = (id) => document.getElementById(id);

let tasks = loadTasks();
let publishing = 0; // the latest publication; older answers are not shown

// Texts of a due moment: "Today 14:00", "Tomorrow 09:00", "Mon 3 Jun 09:00".
function describeDue(due, now) {
  const time = new Intl.DateTimeFormat(undefined, { hour: '2-digit', minute: '2-digit' });
  const date = new Intl.DateTimeFormat(undefined, { weekday: 'short', day: 'numeric', month: 'short' });
  const dayStart = (moment) => new Date(moment).setHours(0, 0, 0, 0);
  const days = Math.round((dayStart(due) - dayStart(now)) / 86_400_000);
  const day = days === 0 ? 'Today' : days === 1 ? 'Tomorrow' : date.format(due);
  return `${day} ${time.format(due)}`;
}

// "YYYY-MM-DDTHH:MM" in local time, as a datetime-local input holds it.
function localInputValue(moment) {
  const local = new Date(moment - new Date(moment).getTimezoneOffset() * 60_000);
  return local.toISOString().slice(0, 16);
}

function taskRow(task, now) {
  const row = document.createElement('li');
  row.className = 'task';
  row.dataset.taskId = task.id;
  row.dataset.testid = 'task';
  row.classList.toggle('done', task.done);
  row.classList.toggle('overdue', !task.done && task.due < now);

  const done = document.createElement('input');
  done.type = 'checkbox';
  done.checked = task.done;
  done.dataset.action = 'complete';
  done.setAttribute('aria-label', `Complete ${task.title}`);

  const text = document.createElement('div');
  text.className = 'task-text';
  const title = document.createElement('span');
  title.className = 'task-title';
  title.textContent = task.title;
  const meta = document.createElement('span');
  meta.className = 'task-meta';
  meta.textContent = [describeDue(task.due, now), task.project].filter(Boolean).join(' · ');
  text.append(title, meta);

  const actions = document.createElement('div');
  actions.className = 'task-actions';
  for (const [action, label] of [['today', 'Today'], ['tomorrow', 'Tomorrow']]) {
    const button = document.createElement('button');
    button.type = 'button';
    button.dataset.action = action;
    button.textContent = label;
    actions.append(button);
  }
  row.append(done, text, actions);
  return row;
}

function render() {
  const now = Date.now();
  const due = dueTasks(tasks, now);
  element('today-list').replaceChildren(...due.map((task) => taskRow(task, now)));
  element('today-empty').hidden = due.length > 0;
  element('today-count').textContent = String(due.length);
  const all = [...tasks].sort((left, right) => Number(left.done) - Number(right.done) || left.due - right.due);
  element('all-list').replaceChildren(...all.map((task) => taskRow(task, now)));
  element('all-empty').hidden = tasks.length > 0;
}

// `reason` says what the publication answers: "start", "change" or "pause".
async function publish(reason) {
  const summary = composeSummary(tasks, Date.now());
  const attempt = ++publishing;
  const result = element('publish-result');
  const show = (state, text) => {
    if (attempt !== publishing) return;
    result.dataset.state = state;
    result.dataset.reason = reason;
    result.textContent = text;
  };
  show('pending', 'Publishing…');
  try {
    const { appGroupOk } = await SharedTodayWidget.set({ payload: JSON.stringify(summary) });
    show(appGroupOk ? 'published' : 'unavailable',
      appGroupOk
        ? `Published ${summary.count} due (${summary.tier}) · appGroupOk: true`
        : 'The App Group cannot be reached · appGroupOk: false');
  } catch (error) {
    show('failed', error.message);
  }
  await refreshStatus();
  await refreshReminders();
}

async function refreshReminders() {
  const result = element('reminder-result');
  if (!onThePhone) {
    result.textContent = 'Reminders need the phone';
    result.dataset.state = 'unavailable';
    return;
  }
  try {
    result.textContent = await syncReminders(tasks, Date.now());
    result.dataset.state = 'done';
  } catch (error) {
    result.textContent = error.message;
    result.dataset.state = 'failed';
  }
}

// The task a tapped reminder names, in the list of all tasks.
function showTask(taskId) {
  const task = tasks.find((candidate) => candidate.id === taskId);
  const shown = element('reminder-task');
  shown.textContent = task ? task.title : 'a task that is gone';
  shown.dataset.taskId = taskId;
  const view = showView('all-tasks');
  const row = view.querySelector(`[data-task-id="${CSS.escape(taskId)}"]`);
  for (const marked of document.querySelectorAll('.task.reminded')) marked.classList.remove('reminded');
  row?.classList.add('reminded');
  (row ?? view).scrollIntoView({ block: 'center' });
}

// A task whose reminder was answered "Done".
function completeTask(taskId) {
  const task = tasks.find((candidate) => candidate.id === taskId);
  if (task && !task.done) change(() => { task.done = true; });
}

async function refreshStatus() {
  const failure = element('status-error');
  try {
    const status = await SharedTodayWidget.status();
    for (const key of ['appGroupOk', 'hasPayload', 'diag', 'group']) {
      element(`status-${key}`).textContent = String(status[key]);
    }
    failure.hidden = true;
  } catch (error) {
    failure.textContent = error.message;
    failure.hidden = false;
  }
}

function change(update) {
  update();
  saveTasks(tasks);
  render();
  publish('change');
}

function showView(name) {
  for (const tab of document.querySelectorAll('[role="tab"]')) {
    const selected = tab.dataset.view === name;
    tab.setAttribute('aria-selected', String(selected));
    element(tab.dataset.view).hidden = !selected;
  }
  return element(name);
}

function openQuickAdd() {
  const dialog = element('quick-add');
  if (!dialog.open) {
    dialog.returnValue = ''; // Escape keeps the last value
    dialog.showModal();
  }
  element('quick-add-title').focus();
}

function onUrlOpen(event) {
  if (typeof event?.url !== 'string') return;
  logOpenedUrl(event.url);
  const entry = document.createElement('li');
  entry.textContent = event.url;
  element('opened-urls').append(entry);
  const target = /^brisklane:\/\/([^/?#]*)/i.exec(event.url)?.[1].toLowerCase();
  if (target === 'today') showView('today').focus();
  else if (target === 'voice') openQuickAdd();
}

function wireEvents() {
  for (const tab of document.querySelectorAll('[role="tab"]')) {
    tab.addEventListener('click', () => showView(tab.dataset.view));
  }
  for (const list of [element('today-list'), element('all-list')]) {
    list.addEventListener('click', (event) => {
      const action = event.target.dataset?.action;
      const id = event.target.closest('[data-task-id]')?.dataset.taskId;
      const task = tasks.find((candidate) => candidate.id === id);
      if (!task || !action) return;
      const now = Date.now();
      if (action === 'complete') change(() => { task.done = event.target.checked; });
      else if (action === 'today') change(() => { task.due = sameTimeOnDay(task.due, now, 0); });
      else if (action === 'tomorrow') change(() => { task.due = sameTimeOnDay(task.due, now, 1); });
    });
  }
  element('add-form').addEventListener('submit', (event) => {
    event.preventDefault();
    const form = event.target;
    const title = form.elements.title.value.trim();
    const due = new Date(form.elements.due.value).getTime();
    if (!title || !Number.isFinite(due)) return;
    change(() => tasks.push(newTask({ title, project: form.elements.project.value.trim(), due })));
    form.reset();
    form.elements.due.value = localInputValue(nextHour());
  });
  element('open-quick-add').addEventListener('click', openQuickAdd);
  element('quick-add-cancel').addEventListener('click', () => element('quick-add').close('cancel'));
  element('quick-add').addEventListener('close', () => {
    const dialog = element('quick-add');
    const input = element('quick-add-title');
    const title = input.value.trim();
    input.value = '';
    if (dialog.returnValue !== 'add' || !title) return;
    change(() => tasks.push(newTask({ title, due: endOfDay(Date.now()) })));
  });
  element('status-refresh').addEventListener('click', refreshStatus);
  // Another page of the application (App's page in a tab beside the one in
  // the phone) changed the list: show it, so that this page never publishes
  // a list older than the one stored.
  window.addEventListener('storage', (event) => {
    if (event.storageArea !== window.localStorage) return;
    tasks = loadTasks();
    render();
  });
}

function nextHour() {
  const moment = new Date();
  moment.setHours(moment.getHours() + 1, 0, 0, 0);
  return moment.getTime();
}

async function listenForLinks() {
  const launch = element('launch-url');
  try {
    await App.addListener('appUrlOpen', onUrlOpen);
    const answer = await App.getLaunchUrl();
    launch.textContent = answer?.url || 'none';
    launch.dataset.state = 'done';
  } catch (error) {
    launch.textContent = error.message;
    launch.dataset.state = 'failed';
  }
}

element('add-form').elements.due.value = localInputValue(nextHour());
wireEvents();
render();
watchLifeCycle({ onPause: () => publish('pause') }).catch((error) => {
  element('app-state').textContent = error.message;
  element('app-state').dataset.state = 'failed';
});
listenForLinks();
if (onThePhone) {
  listenForReminders({ show: showTask, complete: completeTask }).catch(() => {});
  // The application runs the bundle it was built with: it says so at once.
  CapacitorUpdater.notifyAppReady().catch(() => {});
  // On a phone never asked, the system's alert stands until the person
  // answers it; the widgets need no answer, the reminders wait for it.
  LocalNotifications.requestPermissions().catch(() => {});
}
publish('start');
