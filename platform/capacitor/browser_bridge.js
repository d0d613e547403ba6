// What the phone's web view gives a page before any script of its own runs,
// in a desktop browser: the globals the native bridge expects, and the
// message handler it posts to (`window.webkit.messageHandlers.bridge`), here
// carried by one WebSocket per page to the application. Everything the
// application sends back goes to `window.Capacitor.fromNative`, as the phone
// evaluates it in the page.
(() => {
  'use strict';

  const origin = window.location.origin;
  window.Capacitor = { DEBUG: true, isLoggingEnabled: true, Plugins: {} };
  window.WEBVIEW_SERVER_URL = origin;

  // Messages posted before the socket opens wait for it; once it has closed
  // the application is gone, as a page's native side never comes back.
  const waiting = [];
  const socket = new WebSocket(`${origin.replace(/^http/, 'ws')}/_capacitor/bridge`);
  socket.addEventListener('open', () => {
    for (const text of waiting.splice(0)) socket.send(text);
  });
  socket.addEventListener('message', (event) => {
    let result;
    try {
      result = JSON.parse(event.data);
    } catch {
      return;
    }
    window.Capacitor.fromNative(result);
  });

  const bridge = {
    postMessage(message) {
      const text = JSON.stringify(message);
      if (socket.readyState === WebSocket.OPEN) {
        socket.send(text);
      } else if (socket.readyState === WebSocket.CONNECTING) {
        waiting.push(text);
      }
    },
  };
  Object.defineProperty(window, 'webkit', {
    value: Object.freeze({ messageHandlers: Object.freeze({ bridge }) }),
  });

  // What the page's own policy refuses is an error of the page, like any
  // other: the console, which the native bridge forwards to the application,
  // tells the developer, as the phone's web inspector would.
  document.addEventListener('securitypolicyviolation', (event) => {
    const where = event.sourceFile ? ` at ${event.sourceFile}:${event.lineNumber}:${event.columnNumber}` : '';
    console.error(`Content-Security-Policy refused ${event.blockedURI || 'inline'} (${event.effectiveDirective})${where}`);
  });

  // A page opened alone in a tab stands for the application itself: hiding
  // the tab sends it home and showing it brings it back. In the device
  // page's phone, the phone's home button and taps do that instead.
  // A tab that closes is hidden too, on its way out, and then hides its
  // page: said a task later, a closing page has said nothing.
  if (window.top === window) {
    let leaving = false;
    window.addEventListener('pagehide', () => {
      leaving = true;
    });
    window.addEventListener('pageshow', () => {
      leaving = false;
    });
    document.addEventListener('visibilitychange', () => {
      const message = JSON.stringify({ type: 'pageVisibility', hidden: document.hidden });
      setTimeout(() => {
        if (!leaving && socket.readyState === WebSocket.OPEN) socket.send(message);
      }, 0);
    });
  }

  // The runtime asks the native side synchronously, through `prompt`, whether
  // it patches cookies and HTTP. The phone answers "false" without a dialog.
  const disabledFeatures = new Set(['CapacitorCookies.isEnabled', 'CapacitorHttp']);
  const prompt = window.prompt.bind(window);
  window.prompt = (text, ...rest) => {
    try {
      const probe = JSON.parse(text);
      if (probe !== null && disabledFeatures.has(probe.type)) return 'false';
    } catch {
      // Not a probe: a prompt of the page's own.
    }
    return prompt(text, ...rest);
  };
})();
