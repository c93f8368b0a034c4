// The panel's place and look, kept in the site's storage. The site's scripts can write
// these keys too, so each value is read as no more than a layout wish: a place is kept
// inside the view, a width within the drawer's bounds, a flag only collapses or hides the
// panel behind its restore button. Everything that governs an order is the host's (see
// settings.js). Values are strings; a page that blocks storage only means nothing survives
// a reload, so every access is guarded.

var QV_KEYS = Object.freeze({
  hudX: 'qv_hud_x',
  hudY: 'qv_hud_y',
  hudCollapsed: 'qv_hud_collapsed',
  hudHidden: 'qv_hud_hidden',
  aiWidth: 'qv_ai_width',
  studioLeftW: 'qv_studio_left_w'
});

function storeGet(key, fallback) {
  try {
    const v = window.localStorage.getItem(key);
    return v === null || v === undefined ? fallback : v;
  } catch (e) {
    return fallback;
  }
}

function storeSet(key, value) {
  try {
    window.localStorage.setItem(key, String(value));
  } catch (e) { /* storage refused */ }
}

// A stored coordinate, or null when absent or not a plain number (so a damaged value
// never lands in a style).
function storedNumber(key) {
  const raw = storeGet(key, null);
  if (raw === null || String(raw).trim() === '') return null;
  const n = Number(raw);
  return isFinite(n) ? n : null;
}

// Stored widths end up in inline styles; only the forms this script writes are accepted.
function storedPixelLength(key, fallback) {
  const raw = storeGet(key, null);
  return raw !== null && /^\d+(\.\d+)?px$/.test(raw) ? raw : fallback;
}

function storedDrawerWidth() {
  const raw = storeGet(QV_KEYS.aiWidth, null);
  if (raw === '50vw' || raw === '85vw') return raw;
  return raw !== null && /^\d+(\.\d+)?px$/.test(raw) ? raw : null;
}
