// The HUD's channel to the host, both ways.
//
// Out: the host's binding __qvHost, which exists only in contexts of this world (the page's
// world has no such name); it is taken at load, so the HUD's messages have one way out.
// Messages are fire-and-forget strings; outside the workspace there is nobody to tell.
//
// In: the host's only way in is __qvHostPush(message), called by Runtime.evaluate in this
// world's context with an object literal its JSON writer built: {"type":"fate",...},
// {"type":"positions","text":...}, {"type":"settings",...}, {"type":"secrets",...},
// {"type":"status",...}, {"type":"relay",...}, {"type":"migrated"}, {"type":"evaluate"},
// {"type":"chart","hwnd":...}. The name exists only in this world and cannot be replaced.
// Each type has one handler, registered by the file that owns what the push carries.
// Unknown types are ignored, so a newer host can add some.

const channel = (function () {
  const binding = typeof globalThis.__qvHost === 'function' ? globalThis.__qvHost : null;
  const handlers = Object.create(null);

  function post(message) {
    try {
      if (typeof binding !== 'function') return false;
      qvApply(binding, globalThis, [String(message)]);
      return true;
    } catch (e) {
      return false;
    }
  }

  function receive(message) {
    if (!message || typeof message !== 'object' || typeof message.type !== 'string') return false;
    const handler = handlers[message.type];
    if (typeof handler !== 'function') return false;
    try {
      handler(message);
    } catch (e) {
      return false;
    }
    return true;
  }

  if (qvHudActive) {
    try {
      qvDefine(globalThis, '__qvHostPush', { value: receive, writable: false, configurable: false, enumerable: false });
    } catch (e) { /* already defined by an earlier copy: that one receives */ }
  }

  return Object.freeze({
    // true when the message reached the host's binding.
    post: post,
    onPush: function (type, handler) { handlers[type] = handler; },
    // The HUD announces its document once it is built: the host then pushes what must not
    // be lost across a load (settings, secrets, the chart's handle, the positions, fates
    // still open). Pushes made before the badge or the ticket existed never reached them;
    // this one announcement brings them all again.
    announceReady: function () { return post('HUD_READY'); }
  });
})();
