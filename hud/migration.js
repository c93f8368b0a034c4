// Earlier versions kept the trader's settings and provider keys in the site's storage. They
// move to the host once: "MIGRATE:{"settings":{...},"secrets":{...}}" with what the storage
// holds, and only the host's {"type":"migrated","ok":true} lets the HUD erase them, so
// nothing is lost on the way. The HUD never reads them again otherwise.
//
// What this sends came from storage the site's scripts can write, so it is a proposal for
// the host, never an order: the AutoTrader's switch is not sent (it starts off), and neither
// is the Telegram relay (the host has held it since it was first saved).

var QV_MIGRATED_SETTINGS = [
  ['qv_default_risk_pct', 'risk_pct'], ['qv_constitution_daily_loss', 'max_dd'], ['qv_max_spread_pts', 'max_spread'],
  ['qv_default_rr', 'default_rr'], ['qv_autotrader_threshold', 'confidence_threshold'],
  ['qv_autotrader_daily_cap', 'daily_cap'], ['qv_exec_interval', 'exec_interval'],
  ['qv_sess_asian', 'sess_asian'], ['qv_sess_lon', 'sess_lon'], ['qv_sess_nyam', 'sess_nyam'], ['qv_sess_nypm', 'sess_nypm'],
  ['qv_hour_start', 'hour_start'], ['qv_hour_end', 'hour_end'], ['qv_active_strategy', 'active_strategy'],
  ['qv_byos_name', 'byos_name'], ['qv_byos_entry', 'byos_entry'], ['qv_byos_invalidation', 'byos_invalidation'],
  ['qv_byos_rr', 'byos_rr'], ['qv_byos_cot_policy', 'byos_cot_policy'],
  ['qv_hud_mode', 'hud_mode'], ['qv_hud_risk_val', 'hud_risk_val'], ['qv_hud_lot_val', 'hud_lot_val']
];
var QV_VAULT_KEY = 'qv_byok_vault';
var QV_MIGRATED_SECRETS = ['gemini', 'deepseek', 'openrouter', 'openrouter_model', 'openai', 'claude'];
// Erased with the rest once the host has answered, never sent.
var QV_RETIRED_KEYS = ['qv_autotrader', 'qv_hud_sl', 'qv_hud_tp'];

// What this document read and sent, by storage key; erased on the host's answer.
var qvMigrationRead = null;

function storedRaw(key) {
  try {
    const v = window.localStorage.getItem(key);
    return typeof v === 'string' ? v : null;
  } catch (e) {
    return null;
  }
}

// A stored text as the member's value: "" of an hour field is the cleared field.
function migratedValue(member, raw) {
  if (QV_SETTING_KINDS[member][0] === 'hour' && raw.trim() === '') return null;
  return normaliseSetting(member, raw);
}

function migrateStoredSettings() {
  if (qvMigrationRead) return false;
  const read = Object.create(null);
  const settings = {};
  const secrets = {};
  QV_MIGRATED_SETTINGS.forEach(function (pair) {
    const raw = storedRaw(pair[0]);
    if (raw === null) return;
    read[pair[0]] = raw;
    const v = migratedValue(pair[1], raw);
    if (v !== undefined) settings[pair[1]] = v;
  });
  const vaultRaw = storedRaw(QV_VAULT_KEY);
  if (vaultRaw !== null) {
    read[QV_VAULT_KEY] = vaultRaw;
    let vault = null;
    try { vault = qvJsonParse(vaultRaw); } catch (e) { vault = null; }
    if (vault && typeof vault === 'object' && !Array.isArray(vault)) {
      QV_MIGRATED_SECRETS.forEach(function (k) {
        if (typeof vault[k] === 'string' && vault[k] !== '') secrets[k] = vault[k];
      });
    }
  }
  QV_RETIRED_KEYS.forEach(function (k) {
    const raw = storedRaw(k);
    if (raw !== null) read[k] = raw;
  });
  if (Object.keys(read).length === 0) return false;
  if (!postToHost('MIGRATE:' + qvJsonStringify({ settings: settings, secrets: secrets }))) return false;
  qvMigrationRead = read;
  return true;
}

// A key that changed since it was read (another tab of an earlier version wrote it) stays,
// so its newer value moves at the next load.
function eraseMigratedKeys() {
  if (!qvMigrationRead) return;
  Object.keys(qvMigrationRead).forEach(function (k) {
    try {
      if (window.localStorage.getItem(k) === qvMigrationRead[k]) window.localStorage.removeItem(k);
    } catch (e) { /* storage refused: the next load tries again */ }
  });
  qvMigrationRead = Object.create(null);
}

onHostPush('migrated', function (message) {
  if (message.ok === true) eraseMigratedKeys();
});
