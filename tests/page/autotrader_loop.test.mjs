// The AutoTrader's bar-close loop under a controlled clock and snapshot sequence, up to
// the automatic order from the evaluation's trade card.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { buildHud, launch, posted, openChart, openStudio, hudReady, openDrawer, fakeHost, waitFor } from './lib/harness.mjs';

let browser;
let script;
before(async () => { script = buildHud([]); browser = await launch(); });
after(async () => { await browser.close(); });

const WEDNESDAY_10 = new Date('2026-03-04T10:00:00Z');
const BUY_REPLY = '**Market Structure:** clean.\n```json:trade_proposal\n{"action":"BUY","symbol":"XAUUSD","confidence":88,"entry_price":2031,"stop_loss":2020,"take_profit":2060,"risk_pct":0.5}\n```';

async function withLoop(opts, fn) {
  const snap = { Symbol: 'XAUUSD', PeriodStr: 'H1', BarTime: 1000, BarTimeStr: '2026.03.04 10:00', CurrentHourUTC: 10, CurrentSpreadPts: 12, CurrentPrice: 2030 };
  const calls = [];
  const p = await openChart(browser, script, {
    clock: opts.clock || WEDNESDAY_10,
    chart: { toolbar: 'OANDA:XAUUSD' },
    host: fakeHost(),
    storage: { qv_autotrader: '1', qv_byok_vault: JSON.stringify({ openai: 'sk-proj-loop' }), ...opts.storage },
    files: { 'QV_AICopilotData.json': () => ({ body: JSON.stringify(snap) }) },
    providers: { 'https://api.openai.com/': async (req) => {
      calls.push(JSON.parse(req.postData()));
      return { body: { choices: [{ message: { content: opts.reply || 'No setup.' } }] } };
    } },
  });
  const page = p.page;
  // One loop period, then the fetches and the bar claim it started are let finish in
  // real time.
  const tick = async () => {
    await page.clock.runFor(3000);
    await page.waitForTimeout(400);
  };
  const triggers = async () => page.evaluate(() =>
    [...document.querySelectorAll('#qv-ai-chat-body .qv-msg')].map((m) => m.textContent).filter((t) => t.includes('AUTONOMOUS TRIGGER:')));
  try {
    await hudReady(page);
    await openDrawer(page);
    await page.selectOption('#qv-ai-model-select', 'gpt-4o');
    await fn({ page, snap, calls, tick, triggers, console: p.consoleLines });
    assert.deepEqual(p.errors.map(String), []);
  } finally {
    await p.close();
  }
}

test('first bar never triggers; the next bar triggers once; filters skip with console lines', async () => {
  await withLoop({}, async ({ page, snap, calls, tick, triggers, console }) => {
    await tick();
    assert.equal(await page.textContent('#qv-ai-sym-badge'), 'XAUUSD • MT5: H1');
    assert.deepEqual(await triggers(page), [], 'the first observation only arms the loop');
    await tick();
    assert.deepEqual(await triggers(page), []);
    snap.BarTime = 2000;
    snap.BarTimeStr = '2026.03.04 11:00';
    await tick();
    await tick();
    const t = await triggers(page);
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
    assert.equal((await triggers(page)).length, 1, 'a refused bar is not retried');

    snap.BarTime = 4000;
    snap.CurrentSpreadPts = 0;
    snap.CurrentHourUTC = 6;
    await tick();
    assert.ok(console.includes('[Quorvale AutoTrader] Skipped scan: Outside permitted hours (7:00-18:00 UTC, current: 6:00 UTC)'));
    assert.equal((await triggers(page)).length, 1);

    snap.BarTime = 5000;
    snap.CurrentHourUTC = 13;
    delete snap.CurrentSpreadPts;
    await page.click('#qv-autotrader-toggle');
    await tick();
    assert.equal((await triggers(page)).length, 1, 'off: no trigger');
    await page.click('#qv-autotrader-toggle');
    snap.BarTime = 6000;
    await tick();
    const all = await triggers(page);
    assert.equal(all.length, 2);
    assert.ok(all[1].includes('(NY AM Kill-Zone)'), 'no spread member is no filter');

    snap.MarketClosed = true;
    snap.DayOfWeek = 'Saturday';
    snap.BarTime = 7000;
    await tick();
    assert.equal(await page.textContent('#qv-ai-sym-badge'), 'XAUUSD • MT5: H1⏸ CLOSED (SATURDAY)');
    assert.equal((await triggers(page)).length, 2, 'closed market: silent skip');
  });
});

test('5-minute pulse: first pulse five minutes after the first snapshot', async () => {
  await withLoop({ storage: { qv_exec_interval: 'TIMER_5MIN' } }, async ({ page, tick, triggers }) => {
    await tick();  // first snapshot, pulse clock starts
    for (let i = 0; i < 98; i++) await page.clock.runFor(3000);
    await page.waitForTimeout(200);
    assert.equal((await triggers(page)).length, 0, '4:54 after the first snapshot');
    await tick();
    await tick();
    await tick();
    const t = await triggers(page);
    assert.equal(t.length, 1);
    assert.ok(t[0].includes('AUTONOMOUS TRIGGER: 5-Minute Intrabar Interval (London Session)'));
  });
});

test('manual-only interval never triggers', async () => {
  await withLoop({ storage: { qv_exec_interval: 'MANUAL_ONLY' } }, async ({ snap, tick, triggers, page }) => {
    await tick();
    snap.BarTime = 2000;
    await tick();
    assert.equal((await triggers(page)).length, 0);
  });
});

test('an evaluated BUY at 88 % places the order by itself', async () => {
  await withLoop({ reply: BUY_REPLY }, async ({ page, snap, tick }) => {
    await tick();
    snap.BarTime = 2000;
    await tick();
    await page.waitForSelector('.qv-card-btn-exec');
    await page.clock.runFor(900);
    await waitFor(async () => (await posted(page)).some((m) => m.startsWith('TRADE:')), 'the automatic order');
    const trades = (await posted(page)).filter((m) => m.startsWith('TRADE:'));
    assert.equal(trades.length, 1);
    assert.equal(trades[0], 'TRADE:AT_XAUUSD_2000_BUY,BUY,R:0.5,XAUUSD,2020,2060');
  });
});

// Two loops would evaluate, and with a card at 85 % trade, every bar twice.
test('a rebuild replaces the loop: it starts waiting again and then triggers once per bar', async () => {
  await withLoop({}, async ({ page, snap, calls, tick, triggers }) => {
    await tick();
    snap.BarTime = 2000;
    await tick();
    assert.equal((await triggers(page)).length, 1);
    await page.evaluate(() => document.getElementById('qv-hud-panel').remove());
    await page.clock.runFor(1000);
    await page.waitForSelector('#qv-ai-drawer[data-qv-copilot-wired="1"]', { state: 'attached' });
    assert.deepEqual(await triggers(page), [], 'the new drawer starts with an empty chat');
    // The model choice is not stored: the new drawer starts on its first option again.
    await page.evaluate(() => { document.getElementById('qv-ai-model-select').value = 'gpt-4o'; });
    snap.BarTime = 3000;
    await tick();
    assert.deepEqual(await triggers(page), [], 'the new loop only arms on its first snapshot');
    snap.BarTime = 4000;
    await tick();
    await tick();
    assert.equal((await triggers(page)).length, 1);
    assert.equal(calls.length, 2, 'one evaluation per bar across the rebuild');
  });
});

const triggersOf = (page) => page.evaluate(() =>
  [...document.querySelectorAll('#qv-ai-chat-body .qv-msg')].map((m) => m.textContent).filter((t) => t.includes('AUTONOMOUS TRIGGER:')));
const tradesOf = async (page) => (await posted(page)).filter((m) => m.startsWith('TRADE:'));

// Pages on one shared host, one snapshot object and one provider. kinds: 'chart' or
// 'studio'; chart pages may carry { handle } for their own snapshot file.
async function withPages(kinds, opts, fn) {
  const host = opts.host || fakeHost();
  const snap = { Symbol: 'XAUUSD', PeriodStr: 'H1', BarTime: 1000, BarTimeStr: '2026.03.04 10:00', CurrentHourUTC: 10, CurrentSpreadPts: 12, CurrentPrice: 2030, ...opts.snap };
  const files = { 'QV_AICopilotData.json': () => ({ body: JSON.stringify(snap) }), ...opts.files };
  const calls = [];
  const pages = [];
  try {
    for (const k of kinds) {
      const o = {
        clock: WEDNESDAY_10, host, files, chartHandle: k.handle,
        chart: { toolbar: k.toolbar || 'OANDA:XAUUSD' },
        storage: { qv_autotrader: '1', qv_byok_vault: JSON.stringify({ openai: 'sk-proj-loop' }), ...opts.storage },
        providers: { 'https://api.openai.com/': async (req) => {
          calls.push(JSON.parse(req.postData()));
          return { body: { choices: [{ message: { content: opts.reply || 'No setup.' } }] } };
        } },
      };
      const p = await (k.kind === 'studio' ? openStudio : openChart)(browser, script, o);
      pages.push(p);
      await hudReady(p.page);
      if (k.kind !== 'studio') await openDrawer(p.page);
      await p.page.selectOption('#qv-ai-model-select', 'gpt-4o');
    }
    const all = pages.map((p) => p.page);
    const tick = async () => {
      for (const page of all) await page.clock.runFor(3000);
      await all[0].waitForTimeout(400);
    };
    await fn({ pages: all, consoles: pages.map((p) => p.consoleLines), snap, calls, host, tick });
    for (const p of pages) assert.deepEqual(p.errors.map(String), []);
  } finally {
    for (const p of pages) await p.close();
  }
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
      for (const page of pages) await page.clock.runFor(900);
      await waitFor(async () => (await Promise.all(pages.map(tradesOf))).flat().length >= (bar === 2000 ? 1 : 2), 'the order of bar ' + bar);
    }
    await tick();
    await tick();
    assert.equal(calls.length, 2, 'one AI request per bar across three pages');
    const trades = (await Promise.all(pages.map(tradesOf))).flat();
    assert.deepEqual(trades.sort(), ['TRADE:AT_XAUUSD_2000_BUY,BUY,R:0.5,XAUUSD,2020,2060', 'TRADE:AT_XAUUSD_3000_BUY,BUY,R:0.5,XAUUSD,2020,2060']);
    const triggers = (await Promise.all(pages.map(triggersOf))).flat();
    assert.equal(triggers.length, 2, 'only the page that won the bar announces it');
    const claims = host.messages.filter((m) => m.startsWith('AT_CLAIM:XAUUSD,2000,'));
    assert.equal(claims.length, 3, 'every page asked for bar 2000');
    assert.equal(new Set(claims.map((m) => m.split(',')[2])).size, 3, 'each page under its own token');
  });
});

test('BarTime "abc" is no bar: 30 s of ticks trigger nothing', async () => {
  await withLoop({ reply: BUY_REPLY }, async ({ page, snap, calls, tick, triggers, console }) => {
    await tick();
    snap.BarTime = 'abc';
    for (let i = 0; i < 10; i++) await tick();
    assert.deepEqual(await triggers(page), []);
    assert.equal(calls.length, 0);
    assert.equal((await posted(page)).filter((m) => m.startsWith('AT_CLAIM:')).length, 0);
    assert.equal(console.filter((l) => l.includes('BarTime is not a number')).length, 1, 'said once, not every tick');
    snap.BarTime = 2000;
    await tick();
    await tick();
    assert.equal((await triggers(page)).length, 1, 'a readable bar after it is a new bar');
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
    assert.equal(await pages[0].textContent('#qv-ai-sym-badge'), 'XAUUSD • MT5: H1');
    assert.ok(consoles[1].includes('[Quorvale AutoTrader] Snapshot symbol EURUSD is not this chart\'s instrument (GBPUSD); no evaluation.'));
    assert.deepEqual(await triggersOf(pages[1]), []);
  });
});

test('no claim answer from the host: the bar is skipped with a chat line', async () => {
  const silent = { messages: [], post(m) { this.messages.push(m); } };
  await withPages([{ kind: 'chart' }], { host: silent, reply: BUY_REPLY }, async ({ pages, snap, calls, tick }) => {
    await tick();
    snap.BarTime = 2000;
    for (let i = 0; i < 4; i++) await tick();
    await waitFor(async () => (await pages[0].textContent('#qv-ai-chat-body')).includes('AutoTrader: the workspace did not confirm this bar for XAUUSD; the bar is skipped so that no second page trades it.'), 'the skip line');
    assert.equal(calls.length, 0);
  });
});

test('triggerEvaluationNow runs one evaluation whose card waits for the click', async () => {
  await withLoop({ reply: BUY_REPLY }, async ({ page, calls, tick }) => {
    await tick();
    assert.equal(await page.evaluate(() => typeof window.triggerEvaluationNow), 'function');
    await page.evaluate(() => window.triggerEvaluationNow('Immediate on-demand user analysis: Evaluate active chart structure and formulate setup.'));
    await page.waitForSelector('.qv-card-btn-exec');
    assert.equal(calls.length, 1);
    assert.equal(calls[0].messages[1].content[0].text, 'Immediate on-demand user analysis: Evaluate active chart structure and formulate setup.');
    await tick();
    await page.clock.runFor(5000);
    await page.waitForTimeout(300);
    assert.equal((await posted(page)).filter((m) => m.startsWith('TRADE:')).length, 0, 'an on-demand card never trades by itself');
    assert.ok((await page.textContent('#qv-ai-chat-body')).includes('ON-DEMAND EVALUATION: requested by the terminal. The card waits for your click.'));
    await page.click('.qv-card-btn-exec');
    const t = (await posted(page)).filter((m) => m.startsWith('TRADE:'));
    assert.match(t[0], /^TRADE:\d+,BUY,R:0\.5,XAUUSD,2020,2060$/, 'the click sends it with an ordinary id');
  });
});
