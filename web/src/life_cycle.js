// What the page shows of the application's life: whether it is in front
// (asked with getState at start and after every life-cycle event, so that
// what is shown is what the system answers) and a log of the life-cycle
// events and opened links in the order they arrived. Each log entry carries
// data-event (and data-url or data-is-active) and, once known, data-state:
// the state getState answered right after it.
import { App } from './plugins.js';

const element = (id) => document.getElementById(id);

const stateName = ({ isActive }) => (isActive ? 'active' : 'background');

// Keeps the page's state line and the entry (when there is one) to what
// getState answers now.
async function refreshState(entry) {
  const shown = element('app-state');
  try {
    const state = stateName(await App.getState());
    shown.textContent = state;
    shown.dataset.state = state;
    if (entry) entry.dataset.state = state;
  } catch (error) {
    shown.textContent = error.message;
    shown.dataset.state = 'failed';
  }
}

function logEvent(name, details, text) {
  const entry = document.createElement('li');
  entry.dataset.event = name;
  for (const [key, value] of Object.entries(details)) entry.dataset[key] = String(value);
  entry.textContent = text;
  element('life-cycle-log').append(entry);
  refreshState(entry);
}

// Logs a link the application was opened with.
export function logOpenedUrl(url) {
  logEvent('appUrlOpen', { url }, `appUrlOpen ${url}`);
}

// Listens for the life-cycle events; `onPause` runs when the application
// has gone to the background, the moment to leave the widget up to date.
export async function watchLifeCycle({ onPause }) {
  await App.addListener('appStateChange', ({ isActive }) =>
    logEvent('appStateChange', { isActive }, `appStateChange ${isActive ? 'active' : 'inactive'}`));
  await App.addListener('pause', () => {
    logEvent('pause', {}, 'pause');
    onPause();
  });
  await App.addListener('resume', () => logEvent('resume', {}, 'resume'));
  await refreshState();
}
