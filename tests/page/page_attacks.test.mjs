// The chart site's own scripts against the HUD: each case is a script of the chart page's
// world, shaped like the probes that drove today's HUD from the page (wrapped built-ins and
// prototypes, scripted clicks, forged events and listener calls, a rewritten provider reply,
// storage written, a wrapped fate callback, inputs set), and each asserts that nothing is
// sent, kept or shown for the page, while the trader's real input still trades.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { buildPanelHud, launch, openChart, hudReady, posted, withPage, waitFor, fakeHost, openDrawer } from './lib/harness.mjs';

let browser;
let script;
before(async () => { script = buildPanelHud(); browser = await launch(); });
after(async () => { await browser.close(); });

const WEDNESDAY = new Date('2026-03-04T10:00:00Z');
// What the HUD says by itself while nobody touches it.
const IDLE = /^(HUD_READY|SYNC:|PROBE_CWC: |PROBE_ERR: |PROBE_DOM: )/;
const acting = async (p) => (await posted(p)).filter((m) => !IDLE.test(m));

// Runs first in the chart page, before the HUD builds: wraps what a page can wrap to catch
// the HUD's listeners and calls, as the probes of today's HUD did.
const WRAPPERS = `<script>
window.__seen = { listeners: [], applied: [], events: [] };
(function () {
  const apply = Function.prototype.apply;
  const call = Function.prototype.call;
  const add = EventTarget.prototype.addEventListener;
  Function.prototype.apply = function (self, args) {
    if (args && args[0] && typeof args[0] === 'object' && 'isTrusted' in args[0]) window.__seen.applied.push(this);
    return call.call(apply, this, self, args);
  };
  EventTarget.prototype.addEventListener = function (type, fn, opts) {
    window.__seen.listeners.push([this, type, fn]);
    return call.call(add, this, type, fn, opts);
  };
  for (const type of ['keydown', 'keyup', 'keypress', 'input', 'beforeinput', 'paste', 'copy', 'textInput']) {
    for (const target of [window, document]) {
      for (const capture of [true, false]) {
        call.call(add, target, type, (e) => window.__seen.events.push([type, e.key || e.data || '', e.clipboardData ? e.clipboardData.getData('text') : '']), capture);
      }
    }
  }
})();
</script>`;

// Every way a page script reaches for the HUD's controls: by id, through shadow roots, on the
// host; each clicked in code and each caught listener called with a forged trusted event.
async function clickEverythingInCode(page) {
  return page.evaluate(() => {
    const reached = [];
    const host = document.getElementById('qv-hud-host');
    reached.push(['host.shadowRoot', host ? String(host.shadowRoot) : 'no host']);
    try { host.attachShadow({ mode: 'open' }); reached.push(['attachShadow', 'worked']); } catch (e) { /* closed */ }
    const all = [];
    (function walk(root) {
      for (const el of root.querySelectorAll('*')) {
        all.push(el);
        if (el.shadowRoot) walk(el.shadowRoot);
      }
    })(document);
    for (const el of all) {
      if (/^qv-/.test(el.id) && el.id !== 'qv-hud-host') reached.push(['element', el.id]);
      try { el.click(); } catch (e) { /* not clickable */ }
    }
    const forged = { isTrusted: true, type: 'click', key: 'Enter', button: 0, preventDefault() {}, stopPropagation() {},
      stopImmediatePropagation() {}, composedPath() { return []; } };
    for (const [target, type, fn] of window.__seen.listeners) {
      try { (typeof fn === 'function' ? fn : fn.handleEvent).call(target, { ...forged, type, target, currentTarget: target }); } catch (e) { /* theirs */ }
    }
    for (const fn of window.__seen.applied) {
      try { fn.call(host, { ...forged, target: host }); } catch (e) { /* theirs */ }
    }
    for (const type of ['click', 'mousedown', 'mouseup', 'pointerdown', 'pointerup']) host.dispatchEvent(new MouseEvent(type, { bubbles: true, composed: true }));
    host.dispatchEvent(new KeyboardEvent('keydown', { key: 'Enter', bubbles: true, composed: true }));
    document.dispatchEvent(new CustomEvent('qv-page-data', { detail: JSON.stringify({ q: 'price', c2p: 1, min: 1, max: 2 }) }));
    return { reached, listenersCaught: window.__seen.listeners.filter(([t]) => t === host || t === document || t === window).length, applied: window.__seen.applied.length };
  });
}

test('page scripts: wrapped built-ins, scripted clicks and forged events place and change nothing; real clicks still trade', async () => {
  const extra = WRAPPERS;
  await withPage(() => openChart(browser, script, { fixedTime: WEDNESDAY, chart: { extra } }), async (p) => {
    await hudReady(p);
    const r = await clickEverythingInCode(p.page);
    assert.deepEqual(r.reached, [['host.shadowRoot', 'null']], 'nothing of the HUD within the page\'s reach');
    assert.equal(r.applied, 0, 'the page\'s Function.prototype.apply never saw a HUD listener');
    await p.page.waitForTimeout(300);
    assert.deepEqual(await acting(p), [], 'no order, no setting, no secret');
    // The trader's own click still trades, with the ticket's own values.
    await p.hud.click('#qv-btn-sell');
    await waitFor(async () => (await acting(p)).length === 1, 'the real order');
    assert.match((await acting(p))[0], /^TRADE:\d{13},SELL,0\.10,NDX,20,40$/);
  });
});

// Even code holding the HUD's own nodes (as the page would after any leak of a node) cannot
// act through them: every control that acts answers only a trusted click.
test('a script that holds the HUD\'s nodes clicks every control: nothing acts', async () => {
  const host = fakeHost({ settings: { autotrader: false }, secrets: { openai: 'sk-x' } });
  await withPage(() => openChart(browser, script, { host, fixedTime: WEDNESDAY }), async (p) => {
    await hudReady(p);
    await openDrawer(p);
    await p.hud.root(function () {
      // the card's and the vault's controls too
      this.getElementById('qv-btn-settings').click();
      for (const b of this.querySelectorAll('button, [id$="-toggle"], .qv-pill-btn, .qv-level-mark')) {
        if (b.id === 'qv-ai-close-btn' || b.id === 'qv-btn-hide') continue;
        b.click();
      }
      this.getElementById('qv-autotrader-toggle').click();
      this.getElementById('qv-vault-save').click();
      this.getElementById('qv-size-input').dispatchEvent(new Event('change'));
    });
    await p.page.waitForTimeout(300);
    assert.deepEqual(await acting(p), []);
    assert.equal(await p.hud.text('#qv-auto-label'), 'AutoTrader: OFF');
  });
});

test('inputs set by the page: the trader\'s real BUY sends the ticket\'s own size and levels', async () => {
  await withPage(() => openChart(browser, script, { fixedTime: WEDNESDAY }), async (p) => {
    await hudReady(p);
    await p.page.evaluate(() => {
      for (const i of document.querySelectorAll('input, textarea')) i.value = '50.00';
      const byId = (id) => document.getElementById(id);
      for (const id of ['qv-size-input', 'qv-sl-input', 'qv-tp-input']) if (byId(id)) byId(id).value = '50.00';
    });
    await p.hud.click('#qv-btn-buy');
    await waitFor(async () => (await acting(p)).length === 1, 'the order');
    assert.match((await acting(p))[0], /^TRADE:\d{13},BUY,0\.10,NDX,20,40$/);
  });
});

test('the AutoTrader: a scripted toggle, storage writes and a rewritten provider reply trade nothing', async () => {
  const snap = { Symbol: 'XAUUSD', PeriodStr: 'H1', BarTime: 1000, CurrentHourUTC: 10, CurrentSpreadPts: 12, CurrentPrice: 2030 };
  const BUY_99 = '```json\n{"action":"BUY","symbol":"XAUUSD","confidence":99,"stop_loss":2029,"take_profit":2100,"risk_pct":10}\n```';
  // The page's wrappers of Response.json, Response.text and JSON.parse turn every reply into a 99 % BUY.
  const extra = `<script>
    const rewrite = (j) => { if (j && j.choices) j.choices[0].message.content = ${JSON.stringify(BUY_99)}; return j; };
    const json = Response.prototype.json, text = Response.prototype.text, parse = JSON.parse;
    Response.prototype.json = async function () { return rewrite(await json.call(this)); };
    Response.prototype.text = async function () { const t = await text.call(this); try { return JSON.stringify(rewrite(parse(t))); } catch (e) { return t; } };
    JSON.parse = function (t, r) { return rewrite(parse(t, r)); };
  </script>`;
  for (const on of [false, true]) {
    const host = fakeHost({ settings: { autotrader: on, risk_pct: 1 }, secrets: { openai: 'sk-x' } });
    await withPage(() => openChart(browser, script, {
      host, clock: WEDNESDAY, chart: { toolbar: 'OANDA:XAUUSD', extra },
      files: { 'QV_AICopilotData.json': () => ({ body: JSON.stringify(snap) }) },
      providers: { 'https://api.openai.com/': async () => ({ body: { choices: [{ message: { content: '```json\n{"action":"STAND_ASIDE","symbol":"XAUUSD","confidence":40}\n```' } }] } }) },
    }), async (p) => {
      await hudReady(p);
      await openDrawer(p);
      await p.hud.select('#qv-ai-model-select', 'gpt-4o');
      await p.page.evaluate(() => {
        for (const [k, v] of Object.entries({ qv_autotrader: '1', qv_default_risk_pct: '10', qv_autotrader_threshold: '80',
          qv_hud_mode: 'RISK', qv_hud_risk_val: '20', qv_byok_vault: JSON.stringify({ openai: 'sk-attacker', tg_token: '999:ATTACKERBOT', tg_chatid: '424242' }) })) {
          localStorage.setItem(k, v);
        }
        const t = document.getElementById('qv-autotrader-toggle');
        if (t) t.click();
        document.getElementById('qv-hud-host').click();
      });
      for (let i = 0; i < 2; i++) { await p.clock.runFor(3000); await p.page.waitForTimeout(300); }
      snap.BarTime += 1000;
      for (let i = 0; i < 3; i++) { await p.clock.runFor(3000); await p.page.waitForTimeout(400); }
      await p.clock.runFor(1000);
      await p.page.waitForTimeout(500);
      assert.deepEqual((await acting(p)).filter((m) => !m.startsWith('AT_CLAIM:')), [], `AutoTrader ${on ? 'on' : 'off'}: no order, setting or secret`);
      assert.equal(await p.hud.text('#qv-auto-label'), on ? 'AutoTrader: ON (>=85% Conf)' : 'AutoTrader: OFF');
      if (on) {
        assert.equal(await p.hud.count('.qv-card-stand-aside'), 1, 'the provider\'s true reply');
        assert.equal(await p.hud.count('.qv-card-btn-exec'), 0);
      }
      assert.equal(await p.hud.text('#qv-mode-toggle'), 'LOT: FIX', 'the storage has no say in the ticket');
    });
  }
});

test('secrets: the site finds no key or token in storage, the DOM or the keystrokes, as the trader types them', async () => {
  const secrets = { gemini: 'AIzaSECRET-gemini', claude: 'sk-ant-SECRET', tg_token: '123456:SECRET-TOKEN', tg_chatid: '987654321' };
  await withPage(() => openChart(browser, script, { secrets, chart: { extra: WRAPPERS } }), async (p) => {
    await hudReady(p);
    await openDrawer(p);
    await p.hud.click('#qv-vault-open-btn');
    await p.hud.fill('#qv-key-openai', 'sk-proj-TYPED');
    await p.hud.press('#qv-key-deepseek', 'x');
    await p.page.keyboard.type('sk-typed-by-keys');
    await p.hud.focus('#qv-key-openrouter');
    await p.cdp.send('Input.dispatchKeyEvent', { type: 'keyDown', key: 'v', code: 'KeyV', windowsVirtualKeyCode: 86, commands: ['paste'] });
    await p.hud.click('#qv-vault-save');
    await waitFor(() => p.host.secrets.openai === 'sk-proj-TYPED', 'the typed key kept by the host');
    const found = await p.page.evaluate(() => {
      const host = document.getElementById('qv-hud-host');
      return JSON.stringify({
        local: { ...localStorage }, session: { ...sessionStorage }, cookie: document.cookie,
        html: document.documentElement.outerHTML, host: host ? [...host.attributes].map((a) => a.value) : [],
        events: window.__seen.events, windowNames: Object.getOwnPropertyNames(window).filter((n) => /qv|quorvale/i.test(n)),
      });
    });
    for (const s of [...Object.values(secrets), 'sk-proj-TYPED', 'sk-typed-by-keys']) {
      assert.ok(!found.includes(s), 'the page found ' + s);
    }
    assert.deepEqual(JSON.parse(found).events, [], 'no key event, no input, no paste reached the page');
    // A key pressed on a button of the HUD is no text of it: the chart's shortcuts still work.
    await p.hud.click('#qv-btn-min');
    await p.page.keyboard.press('ArrowLeft');
    assert.ok((await p.page.evaluate(() => window.__seen.events)).some(([type, key]) => type === 'keydown' && key === 'ArrowLeft'));
    assert.deepEqual(JSON.parse(found).windowNames, [], 'nothing of the HUD on the page\'s window');
  });
});

test('fates: a wrapped callback or a page-made push never shows a fate the host did not report', async () => {
  await withPage(() => openChart(browser, script, { fixedTime: WEDNESDAY }), async (p) => {
    await hudReady(p);
    await p.page.evaluate(() => {
      const fake = (f) => ({ ...f, status: 'executed', ticket: '777' });
      const real = window.qvOrderFate;
      window.qvOrderFate = (f) => (real ? real(fake(f)) : undefined);
      window.__qvHostPush = (m) => m;
    });
    await p.hud.click('#qv-btn-buy');
    await waitFor(async () => (await acting(p)).length === 1, 'the order');
    const client = (await acting(p))[0].slice('TRADE:'.length).split(',')[0];
    await p.page.evaluate((c) => {
      const fate = { type: 'fate', client: c, status: 'executed', ticket: '777' };
      if (typeof window.__qvHostPush === 'function') window.__qvHostPush(fate);
      window.postMessage(fate, '*');
      document.dispatchEvent(new CustomEvent('qv-page-data', { detail: JSON.stringify(fate) }));
    }, client);
    assert.equal(await p.hud.text('#qv-order-status'), 'BUY PENDING\u2026');
    await p.push({ type: 'fate', client, id: '1765000000001', status: 'rejected', reason: 'not enough money' });
    assert.equal(await p.hud.text('#qv-order-status'), 'BUY REJECTED: not enough money');
  });
});

test('the page reader\'s word is data only: a lying page moves no field and sends nothing by itself', async () => {
  // The page answers the reader's questions itself, with a symbol that is not one, a price
  // far from the market for every pointer position, and answers nobody asked for.
  const extra = `<script>
    document.addEventListener('qv-page-read', (e) => {
      e.stopImmediatePropagation();
      const q = JSON.parse(e.detail);
      const answer = q.q === 'symbol' ? { q: 'symbol', symbol: 'EVIL, BUY\\n' + 'X'.repeat(80) } : q.q === 'price' ? { q: 'price', c2p: 1e9, min: 5, max: 1 } : { q: 'probe', text: 'TRADE:1,BUY,50,XAUUSD,0,0' };
      document.dispatchEvent(new CustomEvent('qv-page-data', { detail: JSON.stringify(answer) }));
    }, true);
    setInterval(() => document.dispatchEvent(new CustomEvent('qv-page-data', { detail: JSON.stringify({ q: 'symbol', symbol: 'XAUUSD' }) })), 50);
  </script>`;
  const files = { 'QV_AICopilotData.json': { Symbol: 'NDX', CurrentPrice: 2000, ATR_Volatility: 4, Timeframe: 'H1' } };
  await withPage(() => openChart(browser, script, { fixedTime: WEDNESDAY, files, chart: { extra, toolbar: null, labels: [] } }), async (p) => {
    await hudReady(p);
    await waitFor(async () => (await posted(p)).some((m) => m.startsWith('PROBE_')), 'the diagnostics', 6000);
    assert.deepEqual(await acting(p), [], 'no order, and no symbol of 80 letters or with a comma synced');
    assert.ok((await posted(p)).some((m) => m === 'PROBE_ERR: the chart page did not answer'), 'an answer that is no diagnostics line is not sent as one');
    await waitFor(async () => (await p.hud.eval('__qvTech() && __qvTech().CurrentPrice')) === 2000, 'the snapshot');
    await p.hud.click('#qv-pick-sl');
    await p.page.mouse.move(500, 300);
    await p.page.mouse.click(500, 300);
    const picked = Number(await p.hud.value('#qv-sl-input'));
    assert.ok(Math.abs(picked - 2000) < 100, `the HUD's own estimate near the market (${picked}), never the page's billion`);
  });
});
