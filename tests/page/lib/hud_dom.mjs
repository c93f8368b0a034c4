// The HUD lives in an isolated world under a closed shadow root, where neither the page
// nor Playwright's selectors reach. Tests reach it the way DevTools does, over a CDP session
// of the page: the DOM domain pierces closed roots, Input sends real (trusted) mouse and
// keyboard events, and Runtime evaluates in the HUD world's own context. Works for pages
// Playwright launched and for pages of a browser it attached to over CDP (Wine, demo).
//
//   const hud = await attachHud(page);          // or new HudDom(page, cdp) + start()
//   await hud.click('#qv-btn-buy');              // a real click at the element's centre
//   await hud.fill('#qv-size-input', '0.50');    // focus, select all, type
//   await hud.text('#qv-order-status');          // textContent
//   await hud.eval('__qvTest.ticket.sendTrade("BUY")'); // in the HUD world, awaited, by value
//   await hud.root(function (id) { return this.getElementById(id).className; }, 'qv-x');

export const HUD_WORLD = 'quorvale_hud';
export const HUD_BINDING = '__qvHost';
export const HUD_HOST_SELECTOR = '#qv-hud-host';

const STALE_NODE = /Could not find node|No node with given id|Node with given id does not belong|Cannot find context/i;

export class HudDom {
  constructor(page, cdp) {
    this.page = page;
    this.cdp = cdp;
    this.contexts = new Map();
    this.mainFrameId = null;
    this.cache = null;  // { rootId, shadowId } of the current document
  }

  // Enables the domains and starts following the HUD world's contexts. Runtime.enable also
  // reports the contexts that exist already, so attaching to a loaded page works.
  async start() {
    this.cdp.on('Runtime.executionContextCreated', (e) => { this.contexts.set(e.context.id, e.context); });
    this.cdp.on('Runtime.executionContextDestroyed', (e) => { this.contexts.delete(e.executionContextId); });
    this.cdp.on('Runtime.executionContextsCleared', () => { this.contexts.clear(); });
    this.cdp.on('DOM.documentUpdated', () => { this.cache = null; });
    this.cdp.on('Page.frameNavigated', (e) => { if (!e.frame.parentId) this.mainFrameId = e.frame.id; });
    await this.cdp.send('Page.enable');
    const { frameTree } = await this.cdp.send('Page.getFrameTree');
    this.mainFrameId = frameTree.frame.id;
    await this.cdp.send('DOM.enable');
    await this.cdp.send('Runtime.enable');
    return this;
  }

  // The id of the HUD world's context in the main frame, or 0 while there is none.
  contextId() {
    let best = 0;
    for (const c of this.contexts.values()) {
      if (c.name === HUD_WORLD && c.auxData && c.auxData.frameId === this.mainFrameId && c.id > best) best = c.id;
    }
    return best;
  }

  isHudContext(id) {
    const c = this.contexts.get(id);
    return !!c && c.name === HUD_WORLD && c.auxData && c.auxData.frameId === this.mainFrameId && id === this.contextId();
  }

  async waitForContext(timeout = 5000) {
    return poll(() => this.contextId(), timeout, 'the HUD world');
  }

  // Evaluates an expression (text) in the HUD world; promises are awaited, the value comes
  // back by value. A throw in the page is thrown here with its text.
  async eval(expression) {
    const contextId = await this.waitForContext();
    const r = await this.cdp.send('Runtime.evaluate', { expression, contextId, returnByValue: true, awaitPromise: true });
    if (r.exceptionDetails) throw new Error('HUD world: ' + describeException(r.exceptionDetails));
    return r.result.value;
  }

  // Node ids of the document and of the HUD's closed root; null while the HUD has none.
  async ids() {
    if (this.cache) return this.cache;
    const { root } = await this.cdp.send('DOM.getDocument', { depth: -1, pierce: true });
    const host = findNode(root, (n) => n.nodeName === 'DIV' && attr(n, 'id') === HUD_HOST_SELECTOR.slice(1) &&
      (n.shadowRoots || []).some((s) => s.shadowRootType === 'closed'));
    if (!host) return null;
    this.cache = { rootId: root.nodeId, hostId: host.nodeId, shadowId: host.shadowRoots.find((s) => s.shadowRootType === 'closed').nodeId };
    return this.cache;
  }

  // Runs op with fresh node ids once more when the DOM agent forgot the cached ones (a
  // navigation, or the host taken out of the document and put back).
  async withIds(op) {
    for (let attempt = 0; ; attempt++) {
      const ids = await this.ids();
      try {
        return await op(ids);
      } catch (e) {
        if (attempt > 0 || !STALE_NODE.test(String(e && e.message))) throw e;
        this.cache = null;
      }
    }
  }

  // Every match in the root. As in Playwright, ' >> ' chains parts, each searched inside the
  // matches of the one before, and 'nth=<i>' keeps one of them ('.qv-card >> nth=1 >> button').
  async nodes(selector) {
    return this.withIds(async (ids) => {
      if (!ids) return [];
      let scope = [ids.shadowId];
      for (const part of String(selector).split(/\s+>>\s+/)) {
        const nth = /^nth=(-?\d+)$/.exec(part);
        if (nth) {
          const i = Number(nth[1]);
          const one = scope[i < 0 ? scope.length + i : i];
          scope = one ? [one] : [];
          continue;
        }
        const next = [];
        for (const nodeId of scope) {
          const { nodeIds } = await this.cdp.send('DOM.querySelectorAll', { nodeId, selector: part });
          next.push(...nodeIds);
        }
        scope = next;
      }
      return scope;
    });
  }

  async node(selector) {
    const list = await this.nodes(selector);
    return list.length ? list[0] : 0;
  }

  async exists(selector) { return (await this.node(selector)) !== 0; }
  async count(selector) { return (await this.nodes(selector)).length; }

  // Calls fn (a function, its source is sent) with this = the object of nodeId in the HUD
  // world, so reads go through the HUD world's own built-ins, never the page's.
  async callOn(nodeId, fn, args) {
    const contextId = await this.waitForContext();
    const { object } = await this.cdp.send('DOM.resolveNode', { nodeId, executionContextId: contextId });
    try {
      const r = await this.cdp.send('Runtime.callFunctionOn', {
        objectId: object.objectId, functionDeclaration: String(fn),
        arguments: (args || []).map((value) => ({ value })), returnByValue: true, awaitPromise: true,
      });
      if (r.exceptionDetails) throw new Error('HUD world: ' + describeException(r.exceptionDetails));
      return r.result.value;
    } finally {
      await this.cdp.send('Runtime.releaseObject', { objectId: object.objectId }).catch(() => {});
    }
  }

  // fn runs with this = the HUD's shadow root (querySelector, getElementById work on it).
  async root(fn, ...args) {
    return this.withIds(async (ids) => {
      if (!ids) throw new Error('the HUD has no root in this document');
      return this.callOn(ids.shadowId, fn, args);
    });
  }

  // fn runs with this = the first element that matches selector; throws when none does.
  async call(selector, fn, ...args) {
    return this.withIds(async () => {
      const id = await this.node(selector);
      if (!id) throw new Error('no HUD element matches ' + selector);
      return this.callOn(id, fn, args);
    });
  }

  async text(selector) { return this.call(selector, function () { return this.textContent; }); }
  async value(selector) { return this.call(selector, function () { return this.value; }); }
  async attr(selector, name) { return this.call(selector, function (n) { return this.getAttribute(n); }, name); }
  async disabled(selector) { return this.call(selector, function () { return !!this.disabled; }); }
  async classes(selector) { return this.call(selector, function () { return [...this.classList]; }); }
  async box(selector) {
    return this.call(selector, function () {
      const r = this.getBoundingClientRect();
      return { left: r.left, top: r.top, width: r.width, height: r.height, right: r.right, bottom: r.bottom };
    });
  }

  // Rendered with a size and not hidden by visibility (the way Playwright means visible).
  async visible(selector) {
    if (!(await this.exists(selector))) return false;
    return this.call(selector, function () {
      const r = this.getBoundingClientRect();
      return r.width > 0 && r.height > 0 && getComputedStyle(this).visibility !== 'hidden';
    });
  }

  // state: 'attached' (default), 'detached', 'visible' or 'hidden'.
  async waitFor(selector, { state = 'attached', timeout = 5000 } = {}) {
    return poll(async () => {
      if (state === 'attached') return this.exists(selector);
      if (state === 'detached') return !(await this.exists(selector));
      const shown = await this.visible(selector);
      return state === 'visible' ? shown : !shown;
    }, timeout, `${selector} ${state}`);
  }

  // Polls fn over the root (as root()) until it returns something truthy.
  async waitForRoot(fn, args = [], timeout = 5000, what = 'a HUD condition') {
    return poll(() => this.root(fn, ...args).catch(() => false), timeout, what);
  }

  // The centre of the element in viewport pixels, after scrolling it into view.
  async centre(selector) {
    const id = await this.waitFor(selector, { state: 'visible' }).then(() => this.node(selector));
    await this.cdp.send('DOM.scrollIntoViewIfNeeded', { nodeId: id }).catch(() => {});
    const { quads } = await this.cdp.send('DOM.getContentQuads', { nodeId: id });
    if (!quads || !quads.length) throw new Error(selector + ' has no box to click');
    const q = quads[0];
    return { x: (q[0] + q[2] + q[4] + q[6]) / 4, y: (q[1] + q[3] + q[5] + q[7]) / 4 };
  }

  // A real mouse click: moved, pressed and released at the element's centre (or at
  // offset {x, y} from its top left corner).
  async click(selector, { button = 'left', clickCount = 1, offset } = {}) {
    return this.withIds(async () => {
      let { x, y } = await this.centre(selector);
      if (offset) {
        const b = await this.box(selector);
        x = b.left + offset.x;
        y = b.top + offset.y;
      }
      await this.mouse('mouseMoved', x, y, 'none', 0);
      await this.mouse('mousePressed', x, y, button, clickCount);
      await this.mouse('mouseReleased', x, y, button, clickCount);
    });
  }

  async mouse(type, x, y, button = 'none', clickCount = 0) {
    const buttons = type === 'mousePressed' && button === 'left' ? 1 : 0;
    await this.cdp.send('Input.dispatchMouseEvent', { type, x, y, button, buttons, clickCount });
  }

  async focus(selector) {
    await this.waitFor(selector);
    await this.withIds(async () => this.cdp.send('DOM.focus', { nodeId: await this.node(selector) }));
  }

  // Focus, select everything, then type the text as one insertion (an empty text deletes
  // what was there), the way a trader replaces a field's content.
  async fill(selector, text) {
    await this.focus(selector);
    await this.cdp.send('Input.dispatchKeyEvent', { type: 'rawKeyDown', key: 'a', code: 'KeyA', windowsVirtualKeyCode: 65, commands: ['selectAll'] });
    await this.cdp.send('Input.dispatchKeyEvent', { type: 'keyUp', key: 'a', code: 'KeyA', windowsVirtualKeyCode: 65 });
    if (text === '') {
      await this.key('Delete');
    } else {
      await this.cdp.send('Input.insertText', { text: String(text) });
    }
  }

  // A key press on the focused element (Playwright's key names: 'Enter', 'Escape',
  // 'Shift+Enter', ...); with a selector the element is focused first.
  async press(selector, key) {
    if (selector) await this.focus(selector);
    await this.page.keyboard.press(key);
  }

  async key(name) { await this.page.keyboard.press(name); }

  // Chooses an option of a select as Playwright's selectOption does: the value set and
  // input and change dispatched (events a page cannot send into the closed root).
  async select(selector, value) {
    return this.call(selector, function (v) {
      if (![...this.options].some((o) => o.value === v)) throw new Error('no option ' + v);
      this.value = v;
      this.dispatchEvent(new Event('input', { bubbles: true }));
      this.dispatchEvent(new Event('change', { bubbles: true }));
      return this.value;
    }, value);
  }
}

// A HudDom over a fresh CDP session of the page.
export async function attachHud(page) {
  const cdp = await page.context().newCDPSession(page);
  return new HudDom(page, cdp).start();
}

function attr(node, name) {
  const a = node.attributes || [];
  for (let i = 0; i + 1 < a.length; i += 2) if (a[i] === name) return a[i + 1];
  return undefined;
}

function findNode(n, pred) {
  if (pred(n)) return n;
  const kids = [...(n.children || []), ...(n.shadowRoots || [])];
  for (const k of kids) {
    const r = findNode(k, pred);
    if (r) return r;
  }
  return null;
}

function describeException(d) {
  return d.exception && d.exception.description ? d.exception.description : d.text;
}

async function poll(fn, timeout, what) {
  const end = Date.now() + timeout;
  for (;;) {
    const v = await fn();
    if (v) return v;
    if (Date.now() > end) throw new Error('timed out waiting for ' + what);
    await new Promise((r) => setTimeout(r, 25));
  }
}
