// Page storage. Values are strings; a page that blocks storage (or a full quota) only
// means nothing survives a reload, so every access is guarded.

var QV_KEYS = Object.freeze({
  hudX: 'qv_hud_x',
  hudY: 'qv_hud_y',
  hudCollapsed: 'qv_hud_collapsed',
  hudHidden: 'qv_hud_hidden',
  aiWidth: 'qv_ai_width',
  studioLeftW: 'qv_studio_left_w',
  hudMode: 'qv_hud_mode',
  riskVal: 'qv_hud_risk_val',
  lotVal: 'qv_hud_lot_val',
  sl: 'qv_hud_sl',
  tp: 'qv_hud_tp',
  vault: 'qv_byok_vault',
  autotrader: 'qv_autotrader'
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

// The provider-key vault: one JSON object. Anything unreadable counts as an empty vault.
function readKeyVault() {
  try {
    const raw = window.localStorage.getItem(QV_KEYS.vault);
    const v = raw ? JSON.parse(raw) : null;
    return v && typeof v === 'object' && !Array.isArray(v) ? v : {};
  } catch (e) {
    return {};
  }
}

function writeKeyVault(vault) {
  storeSet(QV_KEYS.vault, JSON.stringify(vault));
}

// The last QV_AIConfig.json this page read. The host writes a VAULT_CFG body unchanged
// into that file, so every body carries the members this page does not own as it found
// them, instead of erasing what another page or program saved there.
var qvAIConfigFile = null;

function rememberAIConfigFile(file) {
  if (file && typeof file === 'object' && !Array.isArray(file)) qvAIConfigFile = file;
}

function mergedAIConfig(owned) {
  const out = {};
  const base = qvAIConfigFile || {};
  Object.keys(base).forEach(function (k) { out[k] = base[k]; });
  Object.keys(owned).forEach(function (k) { out[k] = owned[k]; });
  return out;
}

// Start-up key push: only when some provider key is stored, so the host's configuration
// file is not overwritten with empty keys by every page load. It fills what the stored
// file lacks and keeps everything else the file holds: a page that starts knows less
// than the file about every setting saved elsewhere since.
async function pushStoredKeysToHost() {
  try {
    const v = readKeyVault();
    const names = ['gemini', 'deepseek', 'openrouter', 'openai', 'claude'];
    if (!names.some(function (n) { return typeof v[n] === 'string' && v[n] !== ''; }) || !hasHostBridge()) return;
    const file = await fetchBridgeJson('QV_AIConfig.json');
    rememberAIConfigFile(file);
    const cfg = mergedAIConfig({});
    names.forEach(function (n) {
      const s = typeof v[n] === 'string' ? v[n] : '';
      if (typeof cfg[n] !== 'string' || cfg[n] === '') cfg[n] = s;
    });
    if (!Object.prototype.hasOwnProperty.call(cfg, 'autotrader')) {
      cfg.autotrader = storeGet(QV_KEYS.autotrader, '0') === '1' ? 1 : 0;
    }
    postToHost('VAULT_CFG:' + JSON.stringify(cfg));
  } catch (e) { /* unreadable vault: nothing is sent */ }
}
