// First file of the HUD. The host runs this script in an isolated world of every document
// of its view ("quorvale_hud": its own globals and built-ins, the document's DOM), so the
// chart site's scripts can neither call these functions nor replace what they use. The UI
// lives under one host element whose closed shadow root is created here, before the page
// ever sees the element: the page's scripts see the host element only.
//
// WebView2 runs document scripts in every frame and the host may register this twice, so
// this decides once, at load, whether this instance is the one that builds anything: every
// later file that acts at load checks qvHudActive. The files are joined in the order of
// hud/ORDER, and each uses only what it or an earlier file defines (cmake/check_hud_order.mjs
// holds the build to that); where an earlier file needs a later one, the later one registers
// with it when it loads.

// The host maps the bridge folder to this name (kVirtualDataHost on the host side).
const QV_DATA_HOST = 'quorvale-data.example';

// The chart site's origin; the HUD builds only there and on the studio page.
const QV_CHART_ORIGIN = 'https://www.tradingview.com';

// This world has built-ins of its own that no page script reaches; the few that the
// security of a message depends on are still taken once, at load, so that nothing the HUD
// itself does later can change what they are.
const qvApply = Reflect.apply;
const qvJsonParse = JSON.parse;
const qvJsonStringify = JSON.stringify;
const qvDefine = Object.defineProperty;
const qvSetTimeout = window.setTimeout.bind(window);
const qvSetInterval = window.setInterval.bind(window);
const qvClearTimeout = window.clearTimeout.bind(window);
const qvFetch = typeof window.fetch === 'function' ? window.fetch.bind(window) : null;

function isOwnDocument() {
  try {
    const origin = String(window.location.origin);
    const page = String(window.location.href).split(/[?#]/)[0];
    return origin === QV_CHART_ORIGIN || page === 'https://' + QV_DATA_HOST + '/headless.html';
  } catch (e) {
    return false;
  }
}

// { host, root } for the instance that builds the HUD, null for any other.
function decideInstance() {
  let top = false;
  try {
    top = window.top === window.self;
  } catch (e) {
    top = false;  // a cross-origin parent throws: we are a frame
  }
  if (!top || !isOwnDocument()) return null;  // a frame, or a page of another origin
  // The flag lives in this world: a page can neither set it (to keep the HUD out) nor see it.
  if (globalThis.__qvHudInstalled === true) return null;
  try {
    qvDefine(globalThis, '__qvHudInstalled', { value: true, writable: false, configurable: false, enumerable: false });
    // A div: a custom element name would let the page's own element definition run its
    // constructor on our host first.
    const host = document.createElement('div');
    host.id = 'qv-hud-host';
    return { host: host, root: host.attachShadow({ mode: 'closed' }) };
  } catch (e) {
    return null;  // leave inactive
  }
}

// Read while the document starts, before any script of the page runs: a page that rewrites
// its address later (history.replaceState) cannot make a chart page look like the studio.
function isStudioDocument() {
  try {
    return String(window.location.href).indexOf('headless.html') !== -1 || window.location.hostname === QV_DATA_HOST;
  } catch (e) {
    return false;
  }
}

const qvInstance = decideInstance();
const qvHudActive = qvInstance !== null;
// The host element and its closed root; the whole UI is built inside the root.
const qvHost = qvHudActive ? qvInstance.host : null;
const qvRoot = qvHudActive ? qvInstance.root : null;
const isStudioPage = qvHudActive && isStudioDocument();

function bridgeUrl(file) {
  return 'https://' + QV_DATA_HOST + '/' + file;
}

// Fetch of this world: the page's wrappers of fetch or of Response never see a request or
// its answer (provider calls carry the trader's keys).
function hudFetch(url, init) {
  if (!qvFetch) return Promise.reject(new Error('no fetch'));
  return qvFetch(url, init);
}

// One bridge file as parsed JSON, or null for any failure (missing, HTTP error, bad JSON).
async function fetchBridgeJson(file) {
  try {
    const res = await hudFetch(bridgeUrl(file), { cache: 'no-store' });
    if (!res || !res.ok) return null;
    return qvJsonParse(await res.text());
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

// A number, or a text that is only a number, as a number; NaN for anything else (settings,
// snapshot fields and proposals all arrive in either form).
function numberValue(value) {
  if (typeof value === 'number') return isFinite(value) ? value : NaN;
  if (typeof value === 'string' && value.trim() !== '' && isFinite(Number(value.trim()))) return Number(value.trim());
  return NaN;
}

// Elements of the HUD are looked up in its own root, never in the page's document, where
// the page could plant an element of the same id.
function byId(id) {
  try {
    return qvRoot ? qvRoot.getElementById(id) : null;
  } catch (e) {
    return null;
  }
}

// A new element; props: text, html (markup this script wrote), className, or attributes.
function el(tag, props) {
  const node = document.createElement(tag);
  if (props) {
    Object.keys(props).forEach(function (k) {
      if (k === 'text') node.textContent = props[k];
      else if (k === 'html') node.innerHTML = props[k];
      else if (k === 'className') node.className = props[k];
      else node.setAttribute(k, props[k]);
    });
  }
  return node;
}

// True for a node of the page that stands for the HUD: events from inside the closed root
// reach the page's document with the host element as their target.
function isHudHost(node) {
  return !!node && node === qvHost;
}

// Wraps a timer or event callback so nothing escapes into the page's error handlers.
function guarded(fn) {
  return function () {
    try {
      const r = qvApply(fn, this, arguments);
      if (r && typeof r.then === 'function') r.then(null, function () { /* swallowed */ });
      return r;
    } catch (e) {
      return undefined;
    }
  };
}

// A control that acts (sends a message, starts an evaluation, changes a setting) answers
// only the trader's real input: a click the browser made from a real mouse or key, never
// one dispatched by a script. isTrusted is the browser's own answer for the event.
function onTrustedClick(node, fn) {
  if (!node) return;
  node.addEventListener('click', guarded(function (ev) {
    if (!ev || ev.isTrusted !== true) return undefined;
    ev.preventDefault();
    return fn(node, ev);
  }));
}

// Keys, text input and the clipboard inside the closed root still reach the page's window
// and document (with the host as target): its scripts would read a key as the trader types
// or pastes it into a field of the HUD, and the chart site's shortcuts would take the
// keystrokes as their own. This world's listener on the window is the first one there
// (document scripts run before the page's), so while a field of the HUD has the focus it
// ends those events for everyone else; the HUD's own handling of them is done by the
// handlers the files owning the fields register here (inputGuard.onFieldEvent). With the
// focus on a button of the HUD the keys go on to the page as before: they carry nothing of
// the HUD, and the chart's shortcuts keep working.
const inputGuard = (function () {
  const GUARDED_EVENTS = ['keydown', 'keyup', 'keypress', 'beforeinput', 'input', 'textInput',
    'compositionstart', 'compositionupdate', 'compositionend', 'paste', 'copy', 'cut'];
  const handlers = [];

  function isEditableField(node) {
    if (!node) return false;
    const tag = String(node.tagName || '');
    return tag === 'INPUT' || tag === 'TEXTAREA' || tag === 'SELECT' || node.isContentEditable === true;
  }

  if (qvHudActive) {
    const guard = guarded(function (ev) {
      if (!isHudHost(ev.target)) return;
      const field = qvRoot.activeElement;
      if (!isEditableField(field)) return;
      ev.stopImmediatePropagation();
      handlers.forEach(function (handler) {
        try { handler(ev, field); } catch (e) { /* one field's handling must not stop another's */ }
      });
    });
    GUARDED_EVENTS.forEach(function (type) {
      try { window.addEventListener(type, guard, true); } catch (e) { /* the event type is unknown here */ }
    });
  }

  return Object.freeze({
    // handler(ev, field) for every guarded event while a field of the HUD has the focus.
    onFieldEvent: function (handler) { handlers.push(handler); }
  });
})();
