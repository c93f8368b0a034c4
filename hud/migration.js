// Earlier versions kept the trader's settings and provider keys in the site's storage. They
// move to the host once: "MIGRATE:{"settings":{...},"secrets":{...}}" with what the storage
// holds, and only the host's {"type":"migrated","ok":true} lets the HUD erase them, so
// nothing is lost on the way. The HUD never reads them again otherwise.
//
// What this sends came from storage the site's scripts can write, so it is a proposal for
// the host, never an order: the AutoTrader's switch is not sent (it starts off), and neither
// is the Telegram relay (the host has held it since it was first saved).

const migration = (function () {
  const MOVED_SECRETS = ['gemini', 'deepseek', 'openrouter', 'openrouter_model', 'openai', 'claude'];
  // What this document read and sent, by storage key; erased on the host's answer.
  let read = null;

  // A stored text as the member's value: "" of an hour field is the cleared field.
  function movedValue(member, raw) {
    if (QV_SETTING_KINDS[member][0] === 'hour' && raw.trim() === '') return null;
    return normaliseSetting(member, raw);
  }

  // true when there was something to move and the host was told.
  function sendStoredSettings() {
    if (read) return false;
    const found = Object.create(null);
    const settingsFound = {};
    const secrets = {};
    Object.keys(QV_KEYS.earlierSettings).forEach(function (member) {
      const key = QV_KEYS.earlierSettings[member];
      const raw = storeGet(key, null);
      if (raw === null) return;
      found[key] = raw;
      const v = movedValue(member, raw);
      if (v !== undefined) settingsFound[member] = v;
    });
    const vaultRaw = storeGet(QV_KEYS.earlierVault, null);
    if (vaultRaw !== null) {
      found[QV_KEYS.earlierVault] = vaultRaw;
      let vault = null;
      try { vault = qvJsonParse(vaultRaw); } catch (e) { vault = null; }
      if (vault && typeof vault === 'object' && !Array.isArray(vault)) {
        MOVED_SECRETS.forEach(function (k) {
          if (typeof vault[k] === 'string' && vault[k] !== '') secrets[k] = vault[k];
        });
      }
    }
    QV_KEYS.retired.forEach(function (k) {
      const raw = storeGet(k, null);
      if (raw !== null) found[k] = raw;
    });
    if (Object.keys(found).length === 0) return false;
    if (!channel.post('MIGRATE:' + qvJsonStringify({ settings: settingsFound, secrets: secrets }))) return false;
    read = found;
    return true;
  }

  // A key that changed since it was read (another tab of an earlier version wrote it) stays,
  // so its newer value moves at the next load.
  channel.onPush('migrated', function (message) {
    if (message.ok !== true || !read) return;
    Object.keys(read).forEach(function (k) {
      if (storeGet(k, null) === read[k]) storeRemove(k);
    });
    read = Object.create(null);
  });

  return Object.freeze({ sendStoredSettings: sendStoredSettings });
})();
