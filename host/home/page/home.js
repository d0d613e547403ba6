// The device page of the widget host: the simulated phone. The host pushes
// its state over a WebSocket after every round and every change
// ({"type":"state", ...}), each step of a tapped link ({"type":"opened", ...})
// each move of App ({"type":"application", ...}) and each change of the
// device's notifications ({"type":"notifications", ...}); the page only shows
// what it is sent and never polls. Pictures are named by the round that drew
// them, so an address always shows one whole picture.
//
// A click on a widget is a tap at that point, in points from the widget's
// top-left corner (widgets are shown at their size in points). While App is
// in front, its page fills the phone's screen in a frame; sent home, the
// frame is hidden but kept, as the phone keeps the web view of an
// application in the background; a new App process gets a new frame.

const element = (id) => document.getElementById(id);

let latest = null; // the last state received
let clockOffsetMs = 0; // the host's clock minus this page's

async function post(path, body = {}) {
  const response = await fetch(path, {
    method: 'POST',
    headers: { 'Content-Type': 'application/json' },
    body: JSON.stringify(body),
  });
  const answer = await response.json().catch(() => ({}));
  if (!response.ok) throw new Error(answer.error ?? `${response.status} ${response.statusText}`);
  return answer;
}

function timeText(moment) {
  return new Date(moment).toLocaleTimeString([], { hour: '2-digit', minute: '2-digit', second: '2-digit' });
}

// The phone's clock: hours and minutes, on a 24-hour dial.
function shortTime(moment) {
  return new Date(moment).toLocaleTimeString([], { hour: '2-digit', minute: '2-digit', hourCycle: 'h23' });
}

function hostNow() {
  return Date.now() + clockOffsetMs;
}

function tickClock() {
  const now = hostNow();
  element('status-time').textContent = shortTime(now);
  element('lock-clock').textContent = shortTime(now);
  element('host-clock').textContent = timeText(now);
}

// --- The phone ---

function widgetElement(widget) {
  let frame = document.querySelector(`.widget[data-id="${CSS.escape(widget.id)}"]`);
  if (!frame) {
    frame = document.createElement('div');
    frame.className = 'widget';
    frame.dataset.id = widget.id;
    frame.setAttribute('role', 'button');
    frame.tabIndex = 0;
    const picture = document.createElement('img');
    picture.alt = '';
    picture.draggable = false;
    const problem = document.createElement('p');
    problem.className = 'widget-error';
    const target = document.createElement('div');
    target.className = 'tap-target';
    const label = document.createElement('span');
    label.className = 'tap-url';
    target.append(label);
    frame.append(picture, problem, target);
    frame.addEventListener('click', (event) => {
      const bounds = frame.getBoundingClientRect();
      tap(frame.dataset.id, event.clientX - bounds.left, event.clientY - bounds.top);
    });
  }
  return frame;
}

function showWidget(widget, format) {
  const frame = widgetElement(widget);
  frame.dataset.family = widget.family;
  frame.dataset.shape = widget.shape ?? 'roundedRectangle';
  frame.setAttribute('aria-label', `${widget.kind} (${widget.family})`);
  if (widget.size) {
    frame.style.width = `${widget.size.width}px`;
    frame.style.height = `${widget.size.height}px`;
  }
  frame.style.borderRadius = widget.shape === 'circle' ? '50%' : `${widget.cornerRadius ?? 0}px`;

  const picture = frame.querySelector('img');
  if (widget.pictureVersion !== undefined) {
    const version = String(widget.pictureVersion);
    if (picture.dataset.requested !== version) {
      picture.dataset.requested = version;
      picture.addEventListener('load', () => (picture.dataset.version = version), { once: true });
      picture.src = `/pictures/${encodeURIComponent(widget.id)}/${version}.${format}`;
    }
    picture.hidden = false;
  } else {
    picture.hidden = true;
  }
  const problem = frame.querySelector('.widget-error');
  problem.textContent = widget.error ? `Cannot draw: ${widget.error}` : '';
  problem.hidden = !widget.error;
  frame.classList.toggle('broken', Boolean(widget.error));

  const target = frame.querySelector('.tap-target');
  if (widget.tapTarget) {
    const { x, y, width, height, url } = widget.tapTarget;
    Object.assign(target.style, { left: `${x}px`, top: `${y}px`, width: `${width}px`, height: `${height}px` });
    target.querySelector('.tap-url').textContent = url;
    target.hidden = false;
  } else {
    target.hidden = true;
  }
  return frame;
}

function showPhone(state) {
  const device = state.deviceClasses.find((candidate) => candidate.name === state.deviceClass);
  const phone = element('phone');
  if (device) {
    screenSize = { width: device.width, height: device.height };
    phone.style.width = `${device.width}px`;
    phone.style.height = `${device.height}px`;
  }
  const places = {
    accessoryInline: element('lock-inline'),
    accessoryCircular: element('lock-circular'),
  };
  const shown = new Set();
  for (const widget of state.widgets) {
    const frame = showWidget(widget, state.format);
    const place = places[widget.family] ?? element('home-widgets');
    place.append(frame); // moves it where it belongs, in the placements' order
    shown.add(frame);
  }
  for (const frame of document.querySelectorAll('.widget')) {
    if (!shown.has(frame)) frame.remove();
  }
}

async function tap(id, x, y) {
  const result = element('tap-result');
  result.dataset.state = 'pending';
  delete result.dataset.outcome;
  result.textContent = `Tap at (${x.toFixed(0)}, ${y.toFixed(0)}) on ${id}…`;
  try {
    const { url } = await post('/api/tap', { id, x, y });
    // What became of the link may be pushed before this answer arrives;
    // it is the later news and stays.
    if (result.dataset.state !== 'pending') return;
    result.dataset.state = 'opening';
    result.dataset.url = url;
    result.textContent = `${url}: opening in App…`;
  } catch (error) {
    result.dataset.state = 'nothing';
    result.textContent = error.message;
  }
}

const outcomeTexts = {
  delivered: () => 'delivered',
  launched: () => "launched and waiting for the page's first listener",
  waiting: () => "waiting for the page's first listener",
  failed: (message) => `failed: ${message.detail ?? 'no reason given'}`,
};

function showOpened(message) {
  const result = element('tap-result');
  result.dataset.state = 'opened';
  result.dataset.outcome = message.outcome;
  result.dataset.url = message.url;
  const text = outcomeTexts[message.outcome]?.(message) ?? message.outcome;
  result.textContent = `${message.url}: ${text}`;
}

// --- App on the phone ---

let application = { state: 'notRunning', processIdentifier: 0, page: null };
let screenSize = null; // the device's screen in points, from the state

function showApplication() {
  const phone = element('phone');
  let frame = element('app-screen');
  const { state, processIdentifier, page } = application;
  phone.dataset.application = state;
  if (!page) {
    frame?.remove();
    return;
  }
  if (!frame || frame.dataset.processIdentifier !== String(processIdentifier)) {
    // Another App: its page is a new web view.
    frame?.remove();
    frame = document.createElement('iframe');
    frame.id = 'app-screen';
    frame.className = 'app-screen';
    frame.title = 'Brisklane';
    frame.dataset.processIdentifier = String(processIdentifier);
    frame.src = page;
    phone.append(frame);
  }
  if (screenSize) {
    frame.style.width = `${screenSize.width}px`;
    frame.style.height = `${screenSize.height}px`;
  }
  frame.classList.toggle('in-front', state === 'active' || state === 'inactive');
  showPermissionAlert();
}

function noteApplication(next) {
  application = { state: next.state, processIdentifier: next.processIdentifier, page: next.page ?? null };
  showApplication();
}

// Going home: the screen shows the home screen at once, and the host's
// answer (or its next push) says where App is.
async function goHome() {
  element('app-screen')?.classList.remove('in-front');
  try {
    const { state } = await post('/api/application', { move: 'background' });
    noteApplication({ ...application, state });
  } catch {
    showApplication(); // App was not running, or refused: the state stands
  }
}

async function openFromIcon() {
  try {
    const { state } = await post('/api/application', { move: 'foreground' });
    if (application.page) noteApplication({ ...application, state });
  } catch (error) {
    const result = element('tap-result');
    result.dataset.state = 'nothing';
    result.textContent = `Brisklane: ${error.message}`;
  }
}

// --- Notifications ---

// The delivered notifications on the lock screen, newest first, and a banner
// for each one delivered while the page watches; a tap on either opens it
// in App as the phone does. On the lock screen a notification shows the
// actions of its registered type beneath it: a button each, or a text field
// and its button for an action that takes text. The badge is drawn on the
// app's icon; the pending notifications are listed with their moments
// beside the timelines.
let notificationsSeen = null; // the ids delivered when the page last looked
let bannerTimer = 0;

function notificationItem(notification, { withActions = false } = {}) {
  const item = document.createElement('li');
  item.className = 'notification';
  item.dataset.id = String(notification.id);
  item.setAttribute('role', 'button');
  item.tabIndex = 0;
  const title = document.createElement('strong');
  title.textContent = notification.title;
  const body = document.createElement('span');
  body.textContent = notification.body;
  const moment = document.createElement('time');
  moment.textContent = shortTime(notification.deliveredAt);
  item.append(title, moment, body);
  item.addEventListener('click', () => answerNotification(notification.id));
  if (withActions && notification.actions.length > 0) item.append(actionBar(notification));
  return item;
}

function actionBar(notification) {
  const bar = document.createElement('div');
  bar.className = 'notification-actions';
  bar.addEventListener('click', (event) => event.stopPropagation()); // not a tap on the notification
  for (const action of notification.actions) {
    const button = document.createElement('button');
    button.textContent = action.input ? action.inputButtonTitle || 'Send' : action.title;
    button.classList.toggle('destructive', action.destructive);
    if (!action.input) {
      button.type = 'button';
      button.addEventListener('click', () => answerNotification(notification.id, action));
      bar.append(button);
      continue;
    }
    const form = document.createElement('form');
    const field = document.createElement('input');
    field.placeholder = action.inputPlaceholder;
    field.setAttribute('aria-label', action.title);
    form.append(field, button);
    form.addEventListener('submit', (event) => {
      event.preventDefault();
      answerNotification(notification.id, action, field.value);
    });
    bar.append(form);
  }
  return bar;
}

// A tap on the notification `id`, or on its `action` (with the text typed).
async function answerNotification(id, action, inputValue) {
  element('banner').hidden = true;
  const result = element('tap-result');
  result.dataset.state = 'opened';
  const what = action ? `Notification ${id}, ${action.title}` : `Notification ${id}`;
  try {
    const body = { id };
    if (action) body.actionId = action.id;
    if (inputValue !== undefined) body.inputValue = inputValue;
    const { outcome } = await post('/api/notification', body);
    result.dataset.outcome = outcome;
    result.textContent = `${what}: ${outcomeTexts[outcome]?.({}) ?? outcome}`;
  } catch (error) {
    result.dataset.outcome = 'failed';
    result.textContent = `${what}: failed: ${error.message}`;
  }
}

function showNotifications(center) {
  if (!center) return;
  const delivered = [...center.delivered].reverse();
  element('lock-notifications').replaceChildren(
    ...delivered.map((notification) => notificationItem(notification, { withActions: true })),
  );
  const fresh = notificationsSeen ? delivered.filter((n) => !notificationsSeen.has(`${n.id}@${n.deliveredAt}`)) : [];
  notificationsSeen = new Set(delivered.map((n) => `${n.id}@${n.deliveredAt}`));
  const banner = element('banner');
  if (fresh.length > 0 && application.state !== 'active') {
    banner.replaceChildren(notificationItem(fresh[0]));
    banner.hidden = false;
    // The phone takes a banner away after a few seconds; the list keeps it.
    clearTimeout(bannerTimer);
    bannerTimer = setTimeout(() => (banner.hidden = true), 6000);
  }
  const badge = element('app-badge');
  badge.textContent = String(center.badge);
  badge.hidden = center.badge === 0;
  element('badge-count').textContent = String(center.badge);
  element('notification-permission').value = center.permission;
  permissionAlert = center.permissionAlert;
  showPermissionAlert();
  element('pending-notifications').replaceChildren(
    ...center.pending.map((notification) => {
      const item = document.createElement('li');
      item.dataset.id = String(notification.id);
      item.textContent = `${timeText(notification.moment)} · ${notification.title}`;
      return item;
    }),
  );
}

// The system's alert asking to allow App's notifications: shown over App
// while App waits for the answer; App's request is answered with the
// button the person presses. The setting beside the timelines sets the
// answer directly, as the phone's settings do.
let permissionAlert = false;

function showPermissionAlert() {
  const inFront = application.state === 'active' || application.state === 'inactive';
  element('permission-alert').hidden = !(permissionAlert && inFront);
}

async function setNotificationPermission(permission) {
  element('permission-alert').hidden = true;
  try {
    await post('/api/notification-permission', { permission });
  } catch (error) {
    const result = element('tap-result');
    result.dataset.state = 'nothing';
    result.textContent = `Notifications: ${error.message}`;
  }
}

// --- The timelines ---

function describeSummary(widget) {
  const payload = widget.entry?.payload;
  if (payload) {
    const titles = payload.items.map((item) => item.title).join(', ');
    return `${payload.tier ?? 'no tier'} · ${payload.count} due${titles ? ` · ${titles}` : ''}`;
  }
  if (widget.missingSummary) return `No summary: the widget shows “${widget.missingSummary.shown}”. Doctor: ${widget.missingSummary.verdict}`;
  return null;
}

function describePolicy(policy) {
  if (!policy) return '—';
  return policy.kind === 'after' ? `after ${timeText(policy.date)}` : 'never (only when asked)';
}

function row(list, field, name, value) {
  const term = document.createElement('dt');
  term.textContent = name;
  const detail = document.createElement('dd');
  detail.dataset.field = field;
  detail.textContent = value;
  list.append(term, detail);
}

function showTimelines(state) {
  const names = new Map(state.catalog.map((widget) => [widget.kind, widget.displayName]));
  const cards = state.widgets.map((widget) => {
    const card = document.createElement('li');
    card.className = 'timeline';
    card.id = `timeline-${widget.id}`;
    card.dataset.id = widget.id;
    const heading = document.createElement('h3');
    heading.textContent = `${names.get(widget.kind) ?? widget.kind} · ${widget.family}`;
    const list = document.createElement('dl');
    if (widget.entry) {
      row(list, 'entryDate', 'Entry', `${timeText(widget.entry.date)} (${widget.entryIndex + 1} of ${widget.entryCount})`);
    }
    const summary = describeSummary(widget);
    if (summary !== null) row(list, 'summary', 'Summary', summary);
    row(list, 'policy', 'Policy', describePolicy(widget.policy));
    row(list, 'nextReload', 'Next reload', widget.nextReload ? timeText(widget.nextReload) : '—');
    if (widget.timelineRound !== undefined) row(list, 'timelineRound', 'Asked in round', String(widget.timelineRound));
    if (widget.pictureVersion !== undefined) row(list, 'pictureVersion', 'Drawn in round', String(widget.pictureVersion));
    if (widget.error) row(list, 'error', 'Problem', widget.error);
    card.append(heading, list);
    return card;
  });
  element('timelines').replaceChildren(...cards);
}

// --- Settings ---

let editingSettings = false;

function currentSettings() {
  const placements = [...document.querySelectorAll('#placements input:checked')].map((box) => ({
    kind: box.dataset.kind,
    family: box.dataset.family,
  }));
  return {
    placements,
    deviceClass: element('device-class').value,
    systemVersion: element('system-version').value.trim(),
  };
}

function showSettings(state) {
  // What a person is changing is not overwritten under their hands.
  if (editingSettings || element('settings').contains(document.activeElement)) return;
  const select = element('device-class');
  select.replaceChildren(...state.deviceClasses.map((device) => new Option(device.name, device.name)));
  select.value = state.settings.deviceClass;
  element('system-version').value = state.settings.systemVersion;
  const placed = new Set(state.settings.placements.map((p) => `${p.kind}-${p.family}`));
  const boxes = [];
  for (const widget of state.catalog) {
    for (const family of widget.families) {
      const label = document.createElement('label');
      const box = document.createElement('input');
      box.type = 'checkbox';
      box.dataset.kind = widget.kind;
      box.dataset.family = family;
      box.checked = placed.has(`${widget.kind}-${family}`);
      label.append(box, ` ${widget.displayName} · ${family}`);
      boxes.push(label);
    }
  }
  const legend = element('placements').querySelector('legend');
  element('placements').replaceChildren(legend, ...boxes);
}

async function saveSettings() {
  const result = element('settings-result');
  editingSettings = true;
  try {
    const settings = currentSettings();
    // Placements the page does not offer (kept in the file) stay placed.
    const offered = new Set(latest.catalog.flatMap((w) => w.families.map((f) => `${w.kind}-${f}`)));
    for (const placement of latest.settings.placements) {
      if (!offered.has(`${placement.kind}-${placement.family}`)) settings.placements.push(placement);
    }
    await post('/api/settings', settings);
    result.textContent = 'Saved.';
  } catch (error) {
    result.textContent = error.message;
  } finally {
    editingSettings = false;
  }
}

// --- State ---

function render(state) {
  latest = state;
  clockOffsetMs = state.clock.offsetSeconds * 1000;
  tickClock();
  const minutes = Math.round(state.clock.offsetSeconds / 60);
  element('clock-offset').textContent = minutes === 0 ? '' : `(${minutes > 0 ? '+' : ''}${minutes} min)`;
  element('round-number').textContent = String(state.round);
  element('round-reason').textContent = state.reason;
  element('next-moment').textContent = state.nextMoment ? timeText(state.nextMoment) : 'only when asked';
  element('open-app').classList.toggle('unavailable', !state.applicationPage);
  showPhone(state);
  noteApplication(state.application);
  showTimelines(state);
  showSettings(state);
  showNotifications(state.notificationCenter);
  document.body.dataset.round = String(state.round);
}

function connect() {
  const socket = new WebSocket(`ws://${location.host}/socket`);
  socket.addEventListener('open', () => (element('connection').hidden = true));
  socket.addEventListener('message', (event) => {
    const message = JSON.parse(event.data);
    if (message.type === 'state') render(message);
    else if (message.type === 'opened') showOpened(message);
    else if (message.type === 'application') noteApplication(message);
    else if (message.type === 'notifications') showNotifications(message.notificationCenter);
  });
  socket.addEventListener('close', () => {
    element('connection').hidden = false;
    setTimeout(connect, 2000);
  });
}

element('home-button').addEventListener('click', goHome);
for (const button of document.querySelectorAll('#permission-alert button')) {
  button.addEventListener('click', () => setNotificationPermission(button.dataset.permission));
}
element('notification-permission').addEventListener('change', (event) =>
  setNotificationPermission(event.currentTarget.value),
);
element('app-icon').addEventListener('click', openFromIcon);
document.addEventListener('keydown', (event) => {
  if (event.key === 'Escape' && !event.defaultPrevented) goHome();
});
element('reload-all').addEventListener('click', () => post('/api/reload').catch(() => {}));
element('advance-clock').addEventListener('click', (event) =>
  post('/api/clock', { advanceMinutes: Number(event.currentTarget.dataset.minutes) }).catch(() => {}),
);
element('reset-clock').addEventListener('click', () => post('/api/clock', { reset: true }).catch(() => {}));
element('outlines').addEventListener('change', (event) =>
  document.body.classList.toggle('outlined', event.currentTarget.checked),
);
element('settings').addEventListener('change', () => saveSettings());
element('settings').addEventListener('submit', (event) => event.preventDefault());
setInterval(tickClock, 1000);
connect();
