// The scripts the overlay host runs in the page, executed against a minimal page model.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import vm from 'node:vm';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const dump = (kind, input = '') =>
  execFileSync(path.join(root, 'build/native/tools/page_script_dump'), [kind], { input }).toString('utf8');

// href: the document the script runs in; frame: a child frame rather than the top document.
function page(storage = {}, { href = 'https://www.tradingview.com/chart/?symbol=XAUUSD', frame = false } = {}) {
  const badge = { textContent: 'PnL: --', style: { color: '' } };
  const logs = [];
  const store = { ...storage };
  const window = {
    listeners: [],
    addEventListener(type, fn, capture) { this.listeners.push({ type, fn, capture }); },
  };
  window.top = frame ? {} : window;
  const context = {
    window,
    document: { getElementById: (id) => (id === 'qv-pnl-badge' ? badge : null) },
    console: { log: (...a) => logs.push(a.join(' ')) },
    localStorage: {
      getItem: (k) => (k in store ? store[k] : null),
      setItem: (k, v) => { store[k] = String(v); },
    },
    JSON, Math, Number, Object,
    location: { href, origin: new URL(href).origin },
  };
  vm.createContext(context);
  return { context, badge, logs, store, window };
}

test('positions push: totals, count, colours and market meta', () => {
  const cases = [
    { file: '[{"ticket":"0","symbol":"XAUUSD","spread":12}]', text: 'PnL: +$0.00', color: '#e0e3eb' },
    { file: '[{"ticket":"11","profit":-10.5},{"ticket":"12","profit":-2}]', text: 'PnL: -$12.50 (2)', color: '#f23645' },
    { file: '[{"ticket":"1","profit":3.456},{"ticket":"","profit":100},{"profit":5}]', text: 'PnL: +$3.46 (1)', color: '#089981' },
    { file: '[{"ticket":"7"}]', text: 'PnL: +$0.00 (1)', color: '#e0e3eb' },
  ];
  for (const c of cases) {
    const p = page();
    vm.runInContext(dump('positions', c.file), p.context);
    assert.equal(p.badge.textContent, c.text, c.file);
    assert.equal(p.badge.style.color, c.color, c.file);
    assert.deepEqual(p.window.__qv_market_meta, JSON.parse(c.file)[0]);
  }
});

test('positions push: a hostile or broken file cannot run code and leaves the badge', () => {
  for (const file of ['[]); globalThis.pwned = 1; ([', '[{"ticket":"1"', 'not json', '</script><b>']) {
    const p = page();
    vm.runInContext(dump('positions', file), p.context);
    assert.equal(p.context.pwned, undefined, file);
    assert.equal(p.badge.textContent, 'PnL: --', file);
    assert.ok(p.logs.some((l) => l.startsWith('Quorvale HUD pnl error')), file);
  }
  const empty = page();
  vm.runInContext(dump('positions', '[]'), empty.context);
  assert.equal(empty.badge.textContent, 'PnL: +$0.00');
  assert.equal(empty.window.__qv_market_meta, undefined);
});

test('key seeding fills only missing keys and never overwrites', () => {
  const p = page({ qv_byok_vault: JSON.stringify({ gemini: 'mine', openai: 'o' }) });
  vm.runInContext(dump('seed', '{"gemini":"file","claude":"c","deepseek":""}'), p.context);
  assert.deepEqual(JSON.parse(p.store.qv_byok_vault), { gemini: 'mine', openai: 'o', claude: 'c' });

  const fresh = page();
  vm.runInContext(dump('seed', '{"gemini":"g"}'), fresh.context);
  assert.deepEqual(JSON.parse(fresh.store.qv_byok_vault), { gemini: 'g' });

  const untouched = page({ qv_byok_vault: '{"gemini":"mine"}' });
  vm.runInContext(dump('seed', '{"gemini":"other"}'), untouched.context);
  assert.equal(untouched.store.qv_byok_vault, '{"gemini":"mine"}', 'nothing changed, nothing written');

  const hostile = page();
  vm.runInContext(dump('seed', '0 || (globalThis.pwned = 1)'), hostile.context);
  assert.equal(hostile.context.pwned, undefined);
  assert.equal(hostile.store.qv_byok_vault, undefined);

  // The trader's keys never reach a widget frame or another site's page.
  for (const where of [{ frame: true }, { href: 'https://widgets.example/chart/' }]) {
    const foreign = page({}, where);
    vm.runInContext(dump('seed', '{"gemini":"g"}'), foreign.context);
    assert.equal(foreign.store.qv_byok_vault, undefined, JSON.stringify(where));
  }
});

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

test('the evaluation call is guarded and passes the request text', () => {
  const p = page();
  vm.runInContext(dump('evaluation'), p.context);  // no function: nothing happens
  let got;
  p.window.triggerEvaluationNow = (t) => { got = t; };
  vm.runInContext(dump('evaluation'), p.context);
  assert.equal(got, 'Immediate on-demand user analysis: Evaluate active chart structure and formulate setup.');
});
