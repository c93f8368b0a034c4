// First file of the HUD. WebView2 runs document scripts in every frame and the host may
// inject twice into one document, so this decides once whether this instance of the
// script is the one that builds anything; every later file checks qvHudActive.

// The host maps the bridge folder to this name (kVirtualDataHost on the host side).
var QV_DATA_HOST = 'quorvale-data.example';

// The chart site's origin; the HUD builds only there and on the studio page.
var QV_CHART_ORIGIN = 'https://www.tradingview.com';

// The host puts a secret of its own here when it builds this document script. It stays in
// this closure: the chart site's scripts share the page, and a message without the secret
// is not the HUD's, so they can neither post an order nor change the host's settings.
var qvPageSecret = '__QV_PAGE_SECRET__';

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
// The host's postMessage, bound now: a page script that later replaces or wraps
// chrome.webview.postMessage never sees (and so never learns the secret of) our messages.
var qvHostPost = null;
try {
  const webview = window.chrome && window.chrome.webview;
  if (webview && typeof webview.postMessage === 'function') qvHostPost = webview.postMessage.bind(webview);
} catch (e) { /* no host: messages go nowhere */ }

function isOwnDocument() {
  try {
    const origin = String(window.location.origin);
    const page = String(window.location.href).split(/[?#]/)[0];
    return origin === QV_CHART_ORIGIN || page === 'https://' + QV_DATA_HOST + '/headless.html';
  } catch (e) {
    return false;
  }
}

(function decideInstance() {
  let top = false;
  try {
    top = window.top === window.self;
  } catch (e) {
    top = false;  // a cross-origin parent throws: we are a frame
  }
  if (!top || !isOwnDocument()) return;  // a frame, or a page of another origin
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
  return typeof qvHostPost === 'function';
}

// Messages are fire-and-forget; outside the WebView2 host there is nobody to tell. The
// only call of the host's postMessage: every message carries the page secret.
function postToHost(message) {
  try {
    if (!hasHostBridge()) return false;
    qvHostPost(qvPageSecret + ':' + String(message));
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
