// What the host tells the HUD. The host's only way in is __qvHostPush(message), called by
// Runtime.evaluate in this world's context with an object literal its JSON writer built:
// {"type":"fate",...}, {"type":"positions","text":...}, {"type":"settings",...},
// {"type":"secrets",...}, {"type":"status",...}, {"type":"migrated"}, {"type":"evaluate"},
// {"type":"chart","hwnd":...}. The name exists only in this world and cannot be replaced.
// Unknown types are ignored, so a newer host can add some.

var QV_PUSH_HANDLERS = Object.create(null);

function onHostPush(type, handler) {
  QV_PUSH_HANDLERS[type] = handler;
}

function receiveHostPush(message) {
  if (!message || typeof message !== 'object' || typeof message.type !== 'string') return false;
  const handler = QV_PUSH_HANDLERS[message.type];
  if (typeof handler !== 'function') return false;
  try {
    handler(message);
  } catch (e) {
    return false;
  }
  return true;
}

(function installHostPush() {
  if (!qvHudActive) return;
  try {
    qvDefine(globalThis, '__qvHostPush', { value: receiveHostPush, writable: false, configurable: false, enumerable: false });
  } catch (e) { /* already defined by an earlier copy: that one receives */ }
})();

// The HUD announces its document once it is built: the host then pushes what must not be
// lost across a load (settings, secrets, the chart's handle, the positions, fates still
// open). Pushes made before the badge or the ticket existed never reached them; this one
// announcement brings them all again.
function announceHudReady() {
  postToHost('HUD_READY');
}
