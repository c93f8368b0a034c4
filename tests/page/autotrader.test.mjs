// The AutoTrader's bar-close loop under a controlled clock and snapshot sequence, up to
// the automatic order from the evaluation's trade card.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { buildHud, launch, posted, openChart, openStudio, hudReady, openDrawer, fakeHost, waitFor, withPage } from './lib/harness.mjs';

let browser;
let script;
before(async () => { script = buildHud([]); browser = await launch(); });
after(async () => { await browser.close(); });

const WEDNESDAY_10 = new Date('2026-03-04T10:00:00Z');
const triggersOf = (p) => p.hud.root(function () {
  return [...this.querySelectorAll('#qv-ai-chat-body .qv-msg')].map((m) => m.textContent).filter((t) => t.includes('AUTONOMOUS TRIGGER:'));
});
const tradesOf = async (p) => (await posted(p)).filter((m) => m.startsWith('TRADE:'));
const BUY_REPLY = '**Market Structure:** clean.\n```json:trade_proposal\n{"action":"BUY","symbol":"XAUUSD","confidence":88,"entry_price":2031,"stop_loss":2020,"take_profit":2060,"risk_pct":0.5}\n```';

// The switch and rules are the host's; the storage of the site has no say.
const ON = { autotrader: true };
const KEYS = { openai: 'sk-proj-loop' };

function withLoop(opts, fn) {
  const snap = { Symbol: 'XAUUSD', PeriodStr: 'H1', BarTime: 1000, BarTimeStr: '2026.03.04 10:00', CurrentHourUTC: 10, CurrentSpreadPts: 12, CurrentPrice: 2030 };
  const calls = [];
  const open = () => openChart(browser, script, {
    clock: opts.clock || WEDNESDAY_10,
    chart: { toolbar: 'OANDA:XAUUSD' },
    settings: { ...ON, ...opts.settings },
    secrets: KEYS,
    files: { 'QV_AICopilotData.json': () => ({ body: JSON.stringify(snap) }) },
    providers: { 'https://api.openai.com/': async (req) => {
      calls.push(JSON.parse(req.postData()));
      return { body: { choices: [{ message: { content: opts.reply || 'No setup.' } }] } };
    } },
  });
  return withPage(open, async (p) => {
    // One loop period, then the fetches and the bar claim it started are let finish in
    // real time.
    const tick = async () => {
      await p.clock.runFor(3000);
      await p.page.waitForTimeout(400);
    };
    const triggers = () => triggersOf(p);
    await hudReady(p);
    await openDrawer(p);
    await p.hud.select('#qv-ai-model-select', 'gpt-4o');
    await fn({ p, hud: p.hud, snap, calls, tick, triggers, console: p.consoleLines });
  });
}

test('first bar never triggers; the next bar triggers once; filters skip with console lines', async () => {
  await withLoop({}, async ({ hud, snap, calls, tick, triggers, console }) => {
    await tick();
    assert.equal(await hud.text('#qv-ai-sym-badge'), 'XAUUSD • MT5: H1');
    assert.deepEqual(await triggers(), [], 'the first observation only arms the loop');
    await tick();
    assert.deepEqual(await triggers(), []);
    snap.BarTime = 2000;
    snap.BarTimeStr = '2026.03.04 11:00';
    await tick();
    await tick();
    const t = await triggers();
    assert.equal(t.length, 1, 'one trigger per bar');
    assert.ok(t[0].includes('🤖 AUTONOMOUS TRIGGER: H1 Candle Close [2026.03.04 11:00] (London Session). Playbook: core. Dispatched to OpenAI GPT-4o (Vision)...'));
    assert.equal(calls.length, 1);
    assert.equal(calls[0].messages[1].content[0].text,
      'Autonomous H1 Candle Close [2026.03.04 11:00] evaluation: Scan price action and evaluate if a valid setup exists with >=85% confidence.');
    assert.ok(calls[0].messages[0].content.includes('*** STRICT MANDATE - ACTIVE ASSET ANCHOR ***'), 'forced setup variant');

    snap.BarTime = 3000;
    snap.CurrentSpreadPts = 36;
    await tick();
    assert.ok(console.includes('[Quorvale AutoTrader] Pre-LLM Filter: Spread (36 pts) exceeds max limit (35 pts). Stand aside.'));
    await tick();
    assert.equal((await triggers()).length, 1, 'a refused bar is not retried');

    snap.BarTime = 4000;
    snap.CurrentSpreadPts = 0;
    snap.CurrentHourUTC = 6;
    await tick();
    assert.ok(console.includes('[Quorvale AutoTrader] Skipped scan: Outside permitted hours (7:00-18:00 UTC, current: 6:00 UTC)'));
    assert.equal((await triggers()).length, 1);

    snap.BarTime = 5000;
    snap.CurrentHourUTC = 13;
    delete snap.CurrentSpreadPts;
    await hud.click('#qv-autotrader-toggle');
    await tick();
    assert.equal(await hud.text('#qv-auto-label'), 'AutoTrader: OFF', 'switched off by the host');
    assert.equal((await triggers()).length, 1, 'off: no trigger');
    await hud.click('#qv-autotrader-toggle');
    await waitFor(async () => (await hud.text('#qv-auto-label')) !== 'AutoTrader: OFF', 'on again');
    snap.BarTime = 6000;
    await tick();
    const all = await triggers();
    assert.equal(all.length, 2);
    assert.ok(all[1].includes('(NY AM Kill-Zone)'), 'no spread member is no filter');

    snap.MarketClosed = true;
    snap.DayOfWeek = 'Saturday';
    snap.BarTime = 7000;
    await tick();
    assert.equal(await hud.text('#qv-ai-sym-badge'), 'XAUUSD • MT5: H1⏸ CLOSED (SATURDAY)');
    assert.equal((await triggers()).length, 2, 'closed market: silent skip');
  });
});

test('5-minute pulse: first pulse five minutes after the first snapshot', async () => {
  await withLoop({ settings: { exec_interval: 'TIMER_5MIN' } }, async ({ p, tick, triggers }) => {
    await tick();  // first snapshot, pulse clock starts
    for (let i = 0; i < 98; i++) await p.clock.runFor(3000);
    await p.page.waitForTimeout(200);
    assert.equal((await triggers()).length, 0, '4:54 after the first snapshot');
    await tick();
    await tick();
    await tick();
    const t = await triggers();
    assert.equal(t.length, 1);
    assert.ok(t[0].includes('AUTONOMOUS TRIGGER: 5-Minute Intrabar Interval (London Session)'));
  });
});

test('manual-only interval never triggers', async () => {
  await withLoop({ settings: { exec_interval: 'MANUAL_ONLY' } }, async ({ snap, tick, triggers }) => {
    await tick();
    snap.BarTime = 2000;
    await tick();
    assert.equal((await triggers()).length, 0);
  });
});

test('an evaluated BUY at 88 % places the order by itself', async () => {
  await withLoop({ reply: BUY_REPLY }, async ({ p, hud, snap, tick }) => {
    await tick();
    snap.BarTime = 2000;
    await tick();
    await hud.waitFor('.qv-card-btn-exec');
    await p.clock.runFor(900);
    await waitFor(async () => (await tradesOf(p)).length > 0, 'the automatic order');
    const trades = await tradesOf(p);
    assert.equal(trades.length, 1);
    assert.equal(trades[0], 'TRADE:AT_XAUUSD_2000_BUY,BUY,R:0.5,XAUUSD,P:2020,P:2060');
  });
});

// Two loops would evaluate, and with a card at 85 % trade, every bar twice.
test('the host element taken out and put back: still one loop, one trigger per bar', async () => {
  await withLoop({}, async ({ p, snap, calls, tick, triggers }) => {
    await tick();
    snap.BarTime = 2000;
    await tick();
    assert.equal((await triggers()).length, 1);
    await p.page.evaluate(() => document.getElementById('qv-hud-host').remove());
    await p.clock.runFor(1000);
    await waitFor(() => p.page.evaluate(() => !!document.getElementById('qv-hud-host')), 'the host back');
    snap.BarTime = 3000;
    await tick();
    await tick();
    assert.equal((await triggers()).length, 2);
    assert.equal(calls.length, 2, 'one evaluation per bar');
  });
});

// Pages on one shared host, one snapshot object and one provider. kinds: 'chart' or
// 'studio'; chart pages may carry { handle } for their own snapshot file.
async function withPages(kinds, opts, fn) {
  const host = opts.host || fakeHost({ settings: ON, secrets: KEYS });
  const snap = { Symbol: 'XAUUSD', PeriodStr: 'H1', BarTime: 1000, BarTimeStr: '2026.03.04 10:00', CurrentHourUTC: 10, CurrentSpreadPts: 12, CurrentPrice: 2030, ...opts.snap };
  const files = { 'QV_AICopilotData.json': () => ({ body: JSON.stringify(snap) }), ...opts.files };
  const calls = [];
  const pages = [];
  // Each page runs inside the one before it, so every page is closed and checked for errors.
  const openAt = async (i) => {
    if (i === kinds.length) {
      const tick = async () => {
        for (const p of pages) await p.clock.runFor(3000);
        await pages[0].page.waitForTimeout(400);
      };
      await fn({ pages, consoles: pages.map((p) => p.consoleLines), snap, calls, host, tick });
      return;
    }
    const k = kinds[i];
    const o = {
      clock: WEDNESDAY_10, host, files, chartHandle: k.handle,
      chart: { toolbar: k.toolbar || 'OANDA:XAUUSD' },
      providers: { 'https://api.openai.com/': async (req) => {
        calls.push(JSON.parse(req.postData()));
        return { body: { choices: [{ message: { content: opts.reply || 'No setup.' } }] } };
      } },
    };
    await withPage(() => (k.kind === 'studio' ? openStudio : openChart)(browser, script, o), async (p) => {
      pages.push(p);
      await hudReady(p);
      if (k.kind !== 'studio') await openDrawer(p);
      await p.hud.select('#qv-ai-model-select', 'gpt-4o');
      await openAt(i + 1);
    });
  };
  await openAt(0);
}

test('two chart pages and the studio on one snapshot: one AI request and one order per bar', async () => {
  const kinds = [{ kind: 'chart' }, { kind: 'chart' }, { kind: 'studio' }];
  await withPages(kinds, { reply: BUY_REPLY }, async ({ pages, snap, calls, host, tick }) => {
    await tick();
    for (const bar of [2000, 3000]) {
      snap.BarTime = bar;
      await tick();
      await tick();
      await waitFor(async () => calls.length >= (bar === 2000 ? 1 : 2), 'the evaluation of bar ' + bar);
      // The card's 800 ms, on whichever page holds it.
      for (const p of pages) await p.clock.runFor(900);
      await waitFor(async () => (await Promise.all(pages.map(tradesOf))).flat().length >= (bar === 2000 ? 1 : 2), 'the order of bar ' + bar);
    }
    await tick();
    await tick();
    assert.equal(calls.length, 2, 'one AI request per bar across three pages');
    const trades = (await Promise.all(pages.map(tradesOf))).flat();
    assert.deepEqual(trades.sort(), ['TRADE:AT_XAUUSD_2000_BUY,BUY,R:0.5,XAUUSD,P:2020,P:2060', 'TRADE:AT_XAUUSD_3000_BUY,BUY,R:0.5,XAUUSD,P:2020,P:2060']);
    const triggers = (await Promise.all(pages.map(triggersOf))).flat();
    assert.equal(triggers.length, 2, 'only the page that won the bar announces it');
    const claims = host.messages.filter((m) => m.startsWith('AT_CLAIM:XAUUSD,2000,'));
    assert.equal(claims.length, 3, 'every page asked for bar 2000');
    assert.equal(new Set(claims.map((m) => m.split(',')[2])).size, 3, 'each page under its own token');
  });
});

test('BarTime "abc" is no bar: 30 s of ticks trigger nothing', async () => {
  await withLoop({ reply: BUY_REPLY }, async ({ p, snap, calls, tick, triggers, console }) => {
    await tick();
    snap.BarTime = 'abc';
    for (let i = 0; i < 10; i++) await tick();
    assert.deepEqual(await triggers(), []);
    assert.equal(calls.length, 0);
    assert.equal((await posted(p)).filter((m) => m.startsWith('AT_CLAIM:')).length, 0);
    assert.equal(console.filter((l) => l.includes('BarTime is not a number')).length, 1, 'said once, not every tick');
    snap.BarTime = 2000;
    await tick();
    await tick();
    assert.equal((await triggers()).length, 1, 'a readable bar after it is a new bar');
  });
});

test('each page uses its own chart\'s snapshot and never evaluates another instrument\'s', async () => {
  const own = { Symbol: 'XAUUSD', PeriodStr: 'H1', BarTime: 1000, CurrentHourUTC: 10, CurrentSpreadPts: 12, CurrentPrice: 2030 };
  const files = { 'QV_AICopilotData_777.json': () => ({ body: JSON.stringify(own) }) };
  const kinds = [{ kind: 'chart', handle: 777 }, { kind: 'chart', toolbar: 'FX:GBPUSD' }];
  await withPages(kinds, { files, snap: { Symbol: 'EURUSD', CurrentPrice: 1.08 } }, async ({ pages, snap, calls, host, tick, consoles }) => {
    await tick();
    own.BarTime = 2000;
    snap.BarTime = 2000;
    await tick();
    await tick();
    await waitFor(async () => calls.length === 1, 'the gold chart\'s evaluation');
    assert.equal(host.messages.filter((m) => m.startsWith('AT_CLAIM:')).length, 1, 'the GBPUSD page never claims a EURUSD bar');
    assert.ok(host.messages.some((m) => m.startsWith('AT_CLAIM:XAUUSD,2000,')));
    const system = calls[0].messages[0].content;
    assert.ok(system.includes('XAUUSD') && !system.includes('EURUSD'), 'the prompt holds the own chart\'s snapshot only');
    assert.equal(await pages[0].hud.text('#qv-ai-sym-badge'), 'XAUUSD • MT5: H1');
    assert.ok(consoles[1].includes('[Quorvale AutoTrader] Snapshot symbol EURUSD is not this chart\'s instrument (GBPUSD); no evaluation.'));
    assert.deepEqual(await triggersOf(pages[1]), []);
  });
});

test('no claim answer from the host: the bar is skipped with a chat line', async () => {
  // A host that answers everything but bar claims.
  const silent = fakeHost({ settings: ON, secrets: KEYS });
  const answer = silent.post;
  silent.post = (m, page) => (m.startsWith('AT_CLAIM:') ? silent.messages.push(m) : answer(m, page));
  await withPages([{ kind: 'chart' }], { host: silent, reply: BUY_REPLY }, async ({ pages, snap, calls, tick }) => {
    await tick();
    snap.BarTime = 2000;
    for (let i = 0; i < 4; i++) await tick();
    await waitFor(async () => (await pages[0].hud.text('#qv-ai-chat-body')).includes('AutoTrader: the workspace did not confirm this bar for XAUUSD; the bar is skipped so that no second page trades it.'), 'the skip line');
    assert.equal(calls.length, 0);
  });
});

test('the host\'s evaluation request runs one evaluation whose card waits for the click', async () => {
  await withLoop({ reply: BUY_REPLY }, async ({ p, hud, calls, tick }) => {
    await tick();
    assert.equal(await p.page.evaluate(() => typeof window.triggerEvaluationNow), 'undefined', 'nothing on the page\'s window');
    await p.push({ type: 'evaluate' });
    await hud.waitFor('.qv-card-btn-exec');
    assert.equal(calls.length, 1);
    assert.equal(calls[0].messages[1].content[0].text, 'Immediate on-demand user analysis: Evaluate active chart structure and formulate setup.');
    await tick();
    await p.clock.runFor(5000);
    await p.page.waitForTimeout(300);
    assert.equal((await tradesOf(p)).length, 0, 'an on-demand card never trades by itself');
    assert.ok((await hud.text('#qv-ai-chat-body')).includes('ON-DEMAND EVALUATION: requested by the terminal. The card waits for your click.'));
    await hud.click('.qv-card-btn-exec');
    const t = await tradesOf(p);
    assert.match(t[0], /^TRADE:\d+,BUY,R:0\.5,XAUUSD,P:2020,P:2060$/, 'the click sends it with an ordinary id');
  });
});
