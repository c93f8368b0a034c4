// The site's storage. Only the panel's place and look are still kept there; everything that
// governs an order is the host's (see settings.js). The site's scripts can write these keys
// too, so each value is read as no more than a layout wish: a place is kept inside the
// view, a width within the drawer's bounds, a flag only collapses or hides the panel behind
// its restore button. Values are strings; a page that blocks storage only means nothing
// survives a reload, so every access is guarded.

// Every key of the site's storage the HUD touches, in one table. Earlier versions kept the
// trader's settings and provider keys there too: those keys are read once, moved to the
// host and erased on its answer (migration.js), never written again.
const QV_KEYS = Object.freeze({
  layout: Object.freeze({
    hudX: 'qv_hud_x',
    hudY: 'qv_hud_y',
    hudCollapsed: 'qv_hud_collapsed',
    hudHidden: 'qv_hud_hidden',
    aiWidth: 'qv_ai_width',
    studioLeftW: 'qv_studio_left_w'
  }),
  // An earlier version's setting by the settings member it moves to the host as.
  earlierSettings: Object.freeze({
    risk_pct: 'qv_default_risk_pct',
    max_dd: 'qv_constitution_daily_loss',
    max_spread: 'qv_max_spread_pts',
    default_rr: 'qv_default_rr',
    confidence_threshold: 'qv_autotrader_threshold',
    daily_cap: 'qv_autotrader_daily_cap',
    exec_interval: 'qv_exec_interval',
    sess_asian: 'qv_sess_asian',
    sess_lon: 'qv_sess_lon',
    sess_nyam: 'qv_sess_nyam',
    sess_nypm: 'qv_sess_nypm',
    hour_start: 'qv_hour_start',
    hour_end: 'qv_hour_end',
    active_strategy: 'qv_active_strategy',
    byos_name: 'qv_byos_name',
    byos_entry: 'qv_byos_entry',
    byos_invalidation: 'qv_byos_invalidation',
    byos_rr: 'qv_byos_rr',
    byos_cot_policy: 'qv_byos_cot_policy',
    hud_mode: 'qv_hud_mode',
    hud_risk_val: 'qv_hud_risk_val',
    hud_lot_val: 'qv_hud_lot_val'
  }),
  // An earlier version's provider keys, one JSON object.
  earlierVault: 'qv_byok_vault',
  // An earlier version's keys that are erased with the rest, never sent: the AutoTrader's
  // switch starts off, and a stop or target is no setting.
  retired: Object.freeze(['qv_autotrader', 'qv_hud_sl', 'qv_hud_tp'])
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

function storeRemove(key) {
  try {
    window.localStorage.removeItem(key);
  } catch (e) { /* storage refused: the next load tries again */ }
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
  const raw = storeGet(QV_KEYS.layout.aiWidth, null);
  if (raw === '50vw' || raw === '85vw') return raw;
  return raw !== null && /^\d+(\.\d+)?px$/.test(raw) ? raw : null;
}
