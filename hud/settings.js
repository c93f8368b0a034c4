// The trader's settings and secrets, as the host keeps them. Nothing that governs an order
// (sizes, risk, the AutoTrader's switch and rules, playbook) and no key lives in the site's
// storage: the host pushes the whole picture ({"type":"settings",...} and
// {"type":"secrets",...}) after every load and after every change, and the HUD changes them
// only by asking the host ("SETTINGS_SET:<json>", "SECRETS_SET:<json>", the members that
// change). Until the first push the defaults below stand, the AutoTrader off.

var QV_SETTING_KINDS = Object.freeze({
  risk_pct: ['num', 1.0],
  max_dd: ['num', 4.5],
  max_spread: ['int', 35],
  default_rr: ['text', '1:2.0'],
  confidence_threshold: ['int', 85],
  daily_cap: ['int', 3],
  exec_interval: ['text', 'CANDLE_CLOSE_H1'],
  sess_asian: ['bool', true],
  sess_lon: ['bool', true],
  sess_nyam: ['bool', true],
  sess_nypm: ['bool', false],
  hour_start: ['hour', 7],
  hour_end: ['hour', 18],
  active_strategy: ['text', 'core'],
  byos_name: ['text', ''],
  byos_entry: ['text', ''],
  byos_invalidation: ['text', ''],
  byos_rr: ['text', '1:2.0'],
  byos_cot_policy: ['text', 'ADVISORY'],
  autotrader: ['bool', false],
  hud_mode: ['text', 'LOT'],
  hud_risk_val: ['text', '1.0'],
  hud_lot_val: ['text', '0.10'],
  model: ['text', '']
});

// tg_bot is the host's name for the relay's bot (shown, never sent back).
var QV_SECRET_NAMES = ['gemini', 'deepseek', 'openrouter', 'openrouter_model', 'openai', 'claude', 'tg_token', 'tg_chatid', 'tg_userid', 'tg_bot'];

// Longer texts are no setting of ours (the custom playbook's rules are the longest).
var QV_SETTING_TEXT_MAX = 8000;

function settingNumber(value) {
  if (typeof value === 'number') return isFinite(value) ? value : NaN;
  if (typeof value === 'string' && value.trim() !== '' && isFinite(Number(value.trim()))) return Number(value.trim());
  return NaN;
}

// One member as the HUD keeps it, or undefined when the value is not of the member's kind.
function normaliseSetting(name, value) {
  const kind = QV_SETTING_KINDS[name];
  if (!kind) return undefined;
  switch (kind[0]) {
    case 'num': {
      const n = settingNumber(value);
      return isFinite(n) ? n : undefined;
    }
    case 'int': {
      const n = settingNumber(value);
      return isFinite(n) ? Math.trunc(n) : undefined;
    }
    case 'hour': {
      // null is a cleared hour field: the schedule then uses its default.
      if (value === null) return null;
      const n = settingNumber(value);
      return isFinite(n) ? Math.trunc(n) : undefined;
    }
    case 'bool':
      if (value === true || value === 1 || value === '1' || value === 'true') return true;
      if (value === false || value === 0 || value === '0' || value === 'false') return false;
      return undefined;
    default:
      return typeof value === 'string' && value.length <= QV_SETTING_TEXT_MAX ? value : undefined;
  }
}

function defaultSettings() {
  const out = Object.create(null);
  Object.keys(QV_SETTING_KINDS).forEach(function (k) { out[k] = QV_SETTING_KINDS[k][1]; });
  return out;
}

function emptySecrets() {
  const out = Object.create(null);
  QV_SECRET_NAMES.forEach(function (k) { out[k] = ''; });
  return out;
}

var qvSettings = defaultSettings();
var qvSecrets = emptySecrets();
var qvSettingsPushed = false;
var qvSettingsListeners = [];
var qvSecretsListeners = [];
var qvPendingConfirms = [];

function setting(name) {
  return qvSettings[name];
}

// A percentage with the one decimal the vault shows ("1.0", "4.5").
function settingPercentText(name) {
  const n = settingNumber(qvSettings[name]);
  return isFinite(n) ? n.toFixed(1) : String(QV_SETTING_KINDS[name][1].toFixed(1));
}

function secret(name) {
  const v = qvSecrets[name];
  return typeof v === 'string' ? v : '';
}

// listener(previous, current) after every push; previous is null for the first one.
function onSettingsChange(listener) { qvSettingsListeners.push(listener); }
function onSecretsChange(listener) { qvSecretsListeners.push(listener); }

function notify(listeners, previous, current) {
  listeners.forEach(function (fn) {
    try { fn(previous, current); } catch (e) { /* one display must not stop the others */ }
  });
}

// A push is the whole picture: a member it lacks, or carries in a form the HUD cannot read,
// takes its default.
function applySettingsPush(message) {
  const next = defaultSettings();
  Object.keys(QV_SETTING_KINDS).forEach(function (k) {
    if (!Object.prototype.hasOwnProperty.call(message, k)) return;
    const v = normaliseSetting(k, message[k]);
    if (v !== undefined) next[k] = v;
  });
  const previous = qvSettingsPushed ? qvSettings : null;
  qvSettings = next;
  qvSettingsPushed = true;
  settleConfirms('settings', next);
  notify(qvSettingsListeners, previous, next);
}

function applySecretsPush(message) {
  const next = emptySecrets();
  QV_SECRET_NAMES.forEach(function (k) {
    const v = message[k];
    if (typeof v === 'string' && v.length <= QV_SETTING_TEXT_MAX) next[k] = v;
  });
  const previous = qvSecrets;
  qvSecrets = next;
  settleConfirms('secrets', next);
  notify(qvSecretsListeners, previous, next);
}

onHostPush('settings', applySettingsPush);
onHostPush('secrets', applySecretsPush);

// Asks the host to change settings; members: name -> value (normalised as pushed). false
// when nothing could be sent.
function requestSettings(members) {
  return postToHost('SETTINGS_SET:' + qvJsonStringify(members));
}

function requestSecrets(members) {
  return postToHost('SECRETS_SET:' + qvJsonStringify(members));
}

// Resolves once the host's next push of that kind shows what it kept: { ok } when it holds
// every member as sent, { differing: [names] } otherwise, { timedOut } without a push.
function awaitConfirmation(kind, sent, timeoutMs) {
  return new Promise(function (resolve) {
    const entry = { kind: kind, sent: sent, resolve: resolve, timer: null };
    entry.timer = qvSetTimeout(function () {
      const i = qvPendingConfirms.indexOf(entry);
      if (i !== -1) qvPendingConfirms.splice(i, 1);
      resolve({ timedOut: true });
    }, timeoutMs);
    qvPendingConfirms.push(entry);
  });
}

function settleConfirms(kind, current) {
  const due = qvPendingConfirms.filter(function (e) { return e.kind === kind; });
  qvPendingConfirms = qvPendingConfirms.filter(function (e) { return e.kind !== kind; });
  due.forEach(function (e) {
    qvClearTimeout(e.timer);
    const differing = Object.keys(e.sent).filter(function (k) {
      const want = kind === 'settings' ? normaliseSetting(k, e.sent[k]) : e.sent[k];
      return current[k] !== want;
    });
    e.resolve(differing.length ? { differing: differing } : { ok: true });
  });
}
