// window.chrome.webview for Chromium, installed by the WebView2 runtime for Wine as its
// first document script. The runtime's binding carries the message JSON; the runtime itself
// knows which document called it (only the top-level document's calls are delivered, with
// that document's URL as the source). Messages from the host arrive through __dispatch.
// WebView2 offers the object in the top document only.
(() => {
  const binding = globalThis.__qvWebView2Post;
  if (window !== window.top || typeof binding !== 'function') return;
  if (window.chrome && window.chrome.webview) return;
  const stringify = JSON.stringify;
  const parse = JSON.parse;
  const listeners = [];
  const webview = {
    postMessage(message) {
      const json = stringify(message);
      binding(json === undefined ? 'null' : json);
    },
    addEventListener(type, listener) {
      if (type === 'message' && typeof listener === 'function' && !listeners.includes(listener)) {
        listeners.push(listener);
      }
    },
    removeEventListener(type, listener) {
      const i = listeners.indexOf(listener);
      if (type === 'message' && i >= 0) listeners.splice(i, 1);
    },
  };
  Object.defineProperty(webview, '__dispatch', {
    value(json) {
      const event = new MessageEvent('message', { data: parse(json) });
      for (const listener of listeners.slice()) {
        try {
          listener.call(webview, event);
        } catch (err) {
          setTimeout(() => { throw err; });
        }
      }
    },
  });
  if (!window.chrome) window.chrome = {};
  window.chrome.webview = webview;
})();
