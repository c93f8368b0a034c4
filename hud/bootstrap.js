// First file of the HUD. WebView2 runs document scripts in every frame and the host may
// inject twice into one document, so this decides once whether this instance of the
// script is the one that builds anything; every later file checks qvHudActive.

// The host maps the bridge folder to this name (kVirtualDataHost on the host side).
var QV_DATA_HOST = 'quorvale-data.example';

var qvHudActive = false;
var isStudioPage = false;

// Built-ins captured before the page can wrap or replace them.
var qvFetch = null;
var qvSetTimeout = window.setTimeout.bind(window);
var qvSetInterval = window.setInterval.bind(window);
var qvClearInterval = window.clearInterval.bind(window);
var qvClearTimeout = window.clearTimeout.bind(window);
try {
  if (typeof window.fetch === 'function') qvFetch = window.fetch.bind(window);
} catch (e) { /* no fetch: every bridge read reports nothing */ }

(function decideInstance() {
  let top = false;
  try {
    top = window.top === window.self;
  } catch (e) {
    top = false;  // a cross-origin parent throws: we are a frame
  }
  if (!top) return;
  try {
    if (window.__quorvale_hud_installed || document.getElementById('qv-hud-panel')) return;
    window.__quorvale_hud_installed = true;
    qvHudActive = true;
  } catch (e) { /* leave inactive */ }
})();

function detectStudioPage() {
  try {
    isStudioPage = String(window.location.href).indexOf('headless.html') !== -1 ||
      window.location.hostname === QV_DATA_HOST;
  } catch (e) {
    isStudioPage = false;
  }
  return isStudioPage;
}

function hasHostBridge() {
  try {
    return !!(window.chrome && window.chrome.webview && typeof window.chrome.webview.postMessage === 'function');
  } catch (e) {
    return false;
  }
}

// Messages are fire-and-forget; outside the WebView2 host there is nobody to tell.
function postToHost(message) {
  try {
    if (!hasHostBridge()) return false;
    window.chrome.webview.postMessage(String(message));
    return true;
  } catch (e) {
    return false;
  }
}

function bridgeUrl(file) {
  return 'https://' + QV_DATA_HOST + '/' + file;
}

// Fetch through the built-in captured at load, so a page that wraps fetch never sees our
// requests (provider calls carry the trader's keys).
function hudFetch(url, init) {
  const f = qvFetch || window.fetch.bind(window);
  return f(url, init);
}

// One bridge file as parsed JSON, or null for any failure (missing, HTTP error, bad JSON).
async function fetchBridgeJson(file) {
  try {
    const res = await hudFetch(bridgeUrl(file), { cache: 'no-store' });
    if (!res || !res.ok) return null;
    return await res.json();
  } catch (e) {
    return null;
  }
}

function escapeHtml(text) {
  return String(text === undefined || text === null ? '' : text)
    .replace(/&/g, '&amp;')
    .replace(/</g, '&lt;')
    .replace(/>/g, '&gt;')
    .replace(/"/g, '&quot;')
    .replace(/'/g, '&#39;');
}

function byId(id) {
  try {
    return document.getElementById(id);
  } catch (e) {
    return null;
  }
}

// Wraps a timer or event callback so nothing escapes into the page's error handlers.
function guarded(fn) {
  return function () {
    try {
      const r = fn.apply(this, arguments);
      if (r && typeof r.then === 'function') r.then(null, function () { /* swallowed */ });
      return r;
    } catch (e) {
      return undefined;
    }
  };
}
