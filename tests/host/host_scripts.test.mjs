// The scripts the overlay host runs in the page, executed against a minimal page model.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import vm from 'node:vm';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const dump = (kind) =>
  execFileSync(path.join(root, 'build/native/testing/page_script_dump'), [kind]).toString('utf8');

// href: the document the script runs in; frame: a child frame rather than the top document.
function page({ href = 'https://www.tradingview.com/chart/?symbol=XAUUSD', frame = false } = {}) {
  const window = {
    listeners: [],
    addEventListener(type, fn, capture) { this.listeners.push({ type, fn, capture }); },
  };
  window.top = frame ? {} : window;
  const context = { window, Object, location: { href, origin: new URL(href).origin } };
  vm.createContext(context);
  return { context, window };
}

test('the neutraliser keeps onbeforeunload null and swallows the event', () => {
  const p = page();
  vm.runInContext(dump('neutraliser'), p.context);
  p.window.onbeforeunload = () => 'leave?';
  assert.equal(p.window.onbeforeunload, null);
  const listener = p.window.listeners.find((l) => l.type === 'beforeunload');
  assert.equal(listener.capture, true);
  let stopped = false;
  listener.fn({ stopImmediatePropagation: () => { stopped = true; } });
  assert.ok(stopped);
});
