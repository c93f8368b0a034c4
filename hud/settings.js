// The trader's settings and secrets, as the host keeps them. Nothing that governs an order
// (sizes, risk, the AutoTrader's switch and rules, playbook) and no key lives in the site's
// storage: the host pushes the whole picture ({"type":"settings",...} and
// {"type":"secrets",...}) after every load and after every change, and the HUD changes them
// only by asking the host ("SETTINGS_SET:<json>", "SECRETS_SET:<json>", the members that
// change). Until the first push the defaults below stand, the AutoTrader off.

const QV_SETTING_KINDS = Object.freeze({
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

// Longer texts are no setting of ours (the custom playbook's rules are the longest).
const QV_SETTING_TEXT_MAX = 8000;

// One member as the HUD keeps it, or undefined when the value is not of the member's kind.
function normaliseSetting(name, value) {
  const kind = QV_SETTING_KINDS[name];
  if (!kind) return undefined;
  switch (kind[0]) {
    case 'num': {
      const n = numberValue(value);
      return isFinite(n) ? n : undefined;
    }
    case 'int': {
      const n = numberValue(value);
      return isFinite(n) ? Math.trunc(n) : undefined;
    }
    case 'hour': {
      // null is a cleared hour field: the schedule then uses its default.
      if (value === null) return null;
      const n = numberValue(value);
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

const settings = (function () {
  // tg_bot is the host's name for the relay's bot (shown, never sent back).
  const SECRET_NAMES = ['gemini', 'deepseek', 'openrouter', 'openrouter_model', 'openai', 'claude', 'tg_token', 'tg_chatid', 'tg_userid', 'tg_bot'];

  function defaults() {
    const out = Object.create(null);
    Object.keys(QV_SETTING_KINDS).forEach(function (k) { out[k] = QV_SETTING_KINDS[k][1]; });
    return out;
  }

  function emptySecrets() {
    const out = Object.create(null);
    SECRET_NAMES.forEach(function (k) { out[k] = ''; });
    return out;
  }

  let current = defaults();
  let secrets = emptySecrets();
  let pushed = false;
  const settingsListeners = [];
  const secretsListeners = [];
  let pendingConfirms = [];

  function notify(listeners, previous, next) {
    listeners.forEach(function (fn) {
      try { fn(previous, next); } catch (e) { /* one display must not stop the others */ }
    });
  }

  function settleConfirms(kind, next) {
    const due = pendingConfirms.filter(function (e) { return e.kind === kind; });
    pendingConfirms = pendingConfirms.filter(function (e) { return e.kind !== kind; });
    due.forEach(function (e) {
      qvClearTimeout(e.timer);
      const differing = Object.keys(e.sent).filter(function (k) {
        const want = kind === 'settings' ? normaliseSetting(k, e.sent[k]) : e.sent[k];
        return next[k] !== want;
      });
      e.resolve(differing.length ? { differing: differing } : { ok: true });
    });
  }

  // A push is the whole picture: a member it lacks, or carries in a form the HUD cannot
  // read, takes its default.
  channel.onPush('settings', function (message) {
    const next = defaults();
    Object.keys(QV_SETTING_KINDS).forEach(function (k) {
      if (!Object.prototype.hasOwnProperty.call(message, k)) return;
      const v = normaliseSetting(k, message[k]);
      if (v !== undefined) next[k] = v;
    });
    const previous = pushed ? current : null;
    current = next;
    pushed = true;
    settleConfirms('settings', next);
    notify(settingsListeners, previous, next);
  });

  channel.onPush('secrets', function (message) {
    const next = emptySecrets();
    SECRET_NAMES.forEach(function (k) {
      const v = message[k];
      if (typeof v === 'string' && v.length <= QV_SETTING_TEXT_MAX) next[k] = v;
    });
    const previous = secrets;
    secrets = next;
    settleConfirms('secrets', next);
    notify(secretsListeners, previous, next);
  });

  return Object.freeze({
    get: function (name) { return current[name]; },
    // A percentage with the one decimal the vault shows ("1.0", "4.5").
    percentText: function (name) {
      const n = numberValue(current[name]);
      return isFinite(n) ? n.toFixed(1) : String(QV_SETTING_KINDS[name][1].toFixed(1));
    },
    secret: function (name) {
      const v = secrets[name];
      return typeof v === 'string' ? v : '';
    },
    // True once the host's first settings push has arrived.
    pushed: function () { return pushed; },
    // listener(previous, current) after every push; previous is null for the first one.
    onChange: function (listener) { settingsListeners.push(listener); },
    onSecretsChange: function (listener) { secretsListeners.push(listener); },
    // Asks the host to change settings; members: name -> value (normalised as pushed).
    // false when nothing could be sent.
    request: function (members) { return channel.post('SETTINGS_SET:' + qvJsonStringify(members)); },
    requestSecrets: function (members) { return channel.post('SECRETS_SET:' + qvJsonStringify(members)); },
    // Resolves once the host's next push of that kind shows what it kept: { ok } when it
    // holds every member as sent, { differing: [names] } otherwise, { timedOut } without a
    // push.
    awaitConfirmation: function (kind, sent, timeoutMs) {
      return new Promise(function (resolve) {
        const entry = { kind: kind, sent: sent, resolve: resolve, timer: null };
        entry.timer = qvSetTimeout(function () {
          const i = pendingConfirms.indexOf(entry);
          if (i !== -1) pendingConfirms.splice(i, 1);
          resolve({ timedOut: true });
        }, timeoutMs);
        pendingConfirms.push(entry);
      });
    }
  });
})();
