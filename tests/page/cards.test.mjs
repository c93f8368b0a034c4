// Trade proposal card: cells, live R:R, confirm message, confidence colours, stand-aside
// card, and automatic execution only inside the trader's rules.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { buildHud, launch, posted, openChart, hudReady, openDrawer, waitFor, fakeHost, withPage } from './lib/harness.mjs';

let browser;
let script;
before(async () => { script = buildHud(['tradeCards']); browser = await launch(); });
after(async () => { await browser.close(); });

const WEDNESDAY = new Date('2026-03-04T10:00:00Z');

function withCard(opts, fn) {
  return withPage(() => openChart(browser, script, { clock: WEDNESDAY, ...opts }), async (p) => {
    await hudReady(p);
    await openDrawer(p);
    await fn(p);
  });
}

const card = (p, proposal, auto) => p.hud.eval(`void __qvTest.tradeCards.renderTradeProposalCard(${JSON.stringify(proposal)}, ${JSON.stringify(auto || null)})`);
const waitForLines = (p, n) => waitFor(async () => (await p.hud.root(function () {
  return [...this.querySelectorAll('#qv-ai-chat-body .qv-msg-meta')].filter((m) => m.textContent.startsWith('AUTOTRADER RULES')).length;
})) >= n, n + ' rule lines');
const trades = async (p) => (await posted(p)).filter((m) => m.startsWith('TRADE:'));
const fate = (p, f) => p.push({ type: 'fate', ...f });

test('live R:R and the confirm message', async () => {
  await withCard({}, async (p) => {
    await card(p, { action: 'BUY', symbol: 'XAU,USD', confidence: 72, entry_price: 1995, stop_loss: 1980, take_profit: 2040, risk_pct: 0 });
    const c = '.qv-trade-card';
    assert.equal(await p.hud.text(`${c} .qv-card-rr`), '1:2.0', 'the default shows until an edit');
    await p.hud.fill(`${c} .qv-card-entry`, '2000');
    await p.hud.fill(`${c} .qv-card-sl`, '1990');
    await p.hud.fill(`${c} .qv-card-tp`, '2030');
    assert.equal(await p.hud.text(`${c} .qv-card-rr`), '1:3.0');
    await p.hud.fill(`${c} .qv-card-entry`, '');
    assert.equal(await p.hud.text(`${c} .qv-card-rr`), '1:3.0', 'an incomplete set leaves the last value');
    await p.hud.fill(`${c} .qv-card-entry`, '1990');
    assert.equal(await p.hud.text(`${c} .qv-card-rr`), '1:3.0', 'entry equal to stop changes nothing');

    await p.hud.fill(`${c} .qv-card-sl`, '');
    await p.hud.fill(`${c} .qv-card-risk`, '0');
    await p.hud.root(function (sel) { this.querySelector(sel).click(); }, `${c} .qv-card-btn-exec`);
    assert.deepEqual(await trades(p), [], 'a script clicking the card sends no order');
    await p.hud.click(`${c} .qv-card-btn-exec`);
    const t = await trades(p);
    assert.equal(t.length, 1);
    assert.match(t[0], /^TRADE:\d{13},BUY,R:1\.0,XAUUSD,P:1980,P:2030$/, 'zero risk sends R:1.0, an empty stop falls back to the proposal, levels are prices');
    assert.equal(await p.hud.disabled(`${c} .qv-card-btn-exec`), true);
    const label = () => p.hud.text(`${c} .qv-card-btn-exec`);
    assert.equal(await label(), 'PENDING\u2026', 'nothing claimed before the host reports');
    const client = t[0].slice('TRADE:'.length).split(',')[0];
    await fate(p, { client: client, id: '1765000000001', status: 'sent' });
    assert.equal(await label(), 'SENT TO TERMINAL');
    await fate(p, { client: client, id: '1765000000001', status: 'executed', ticket: '100007' });
    assert.match(await label(), /EXECUTED #100007$/);
    assert.equal(await p.hud.call('.qv-card-btn-exec', function () { return this.classList.contains('qv-card-btn-executed'); }), true);
    await p.hud.click(`${c} .qv-card-btn-exec`);
    assert.equal((await trades(p)).length, 1, 'a card fires once');

    // A rejection shows its reason on the card; a write the host could not make is not
    // sent, and that card may be confirmed again.
    await p.page.waitForTimeout(650);
    await card(p, { action: 'SELL', symbol: 'XAUUSD', confidence: 70, stop_loss: 2040, take_profit: 2000 });
    await p.hud.click('.qv-trade-card >> nth=1 >> .qv-card-btn-exec');
    const second = (await trades(p))[1].slice('TRADE:'.length).split(',')[0];
    await fate(p, { client: second, id: '1765000000002', status: 'rejected', reason: 'Market closed by broker' });
    assert.equal(await p.hud.text('.qv-trade-card >> nth=1 >> .qv-card-btn-exec'), 'REJECTED: Market closed by broker');
    await p.page.waitForTimeout(650);
    await card(p, { action: 'BUY', symbol: 'XAUUSD', confidence: 70 });
    await p.hud.click('.qv-trade-card >> nth=2 >> .qv-card-btn-exec');
    const third = (await trades(p))[2].slice('TRADE:'.length).split(',')[0];
    await fate(p, { client: third, id: '', status: 'not_sent', reason: 'Windows error 5 (access denied)' });
    assert.equal(await p.hud.text('.qv-trade-card >> nth=2 >> .qv-card-btn-exec'), 'NOT SENT: Windows error 5 (access denied)');
    assert.equal(await p.hud.disabled('.qv-trade-card >> nth=2 >> .qv-card-btn-exec'), false);
  });
});

test('cells, colours and the stand-aside card', async () => {
  await withCard({ settings: { risk_pct: 1.5 } }, async (p) => {
    for (const [conf, colour] of [[80, 'rgb(0, 230, 118)'], [79, 'rgb(255, 215, 0)'], [65, 'rgb(255, 215, 0)'], [64, 'rgb(255, 82, 82)']]) {
      await card(p, { action: 'SELL', symbol: 'EURUSD', confidence: conf });
    }
    const r = await p.hud.root(function () { return [...this.querySelectorAll('.qv-trade-card')].map((c) => ({
      badge: c.querySelector('.qv-card-badge').textContent,
      colour: getComputedStyle(c.querySelector('.qv-card-badge')).color,
      dir: c.querySelector('.qv-card-dir-sell') ? 'sell' : 'buy',
      risk: c.querySelector('.qv-card-risk').value,
      lots: c.querySelector('.qv-card-lots').value,
      placeholders: [...c.querySelectorAll('.qv-card-entry,.qv-card-sl,.qv-card-tp')].map((i) => i.placeholder),
      title: c.closest('.qv-msg').querySelector('.qv-msg-meta').textContent.split(' • ')[0],
    })); });
    assert.deepEqual(r.map((x) => x.badge), ['80% CONFIDENCE', '79% CONFIDENCE', '65% CONFIDENCE', '64% CONFIDENCE']);
    assert.deepEqual(r.map((x) => x.colour), ['rgb(0, 230, 118)', 'rgb(255, 215, 0)', 'rgb(255, 215, 0)', 'rgb(255, 82, 82)']);
    assert.deepEqual(r[0], { ...r[0], dir: 'sell', risk: '1.5', lots: '0.10', placeholders: ['Market', 'SL', 'TP'], title: 'PROPOSED SETUP' });

    await card(p, { action: 'NO_TRADE', symbol: 'XAUUSD', confluence: ['Range <b>mid</b>'] });
    await card(p, { action: 'STAND_ASIDE', reasoning: 'Nothing & nobody' });
    const s = await p.hud.root(function () { return [...this.querySelectorAll('.qv-card-stand-aside')].map((c) => ({
      text: c.textContent.replace(/\s+/g, ' '),
      buttons: c.querySelectorAll('button').length,
      bold: c.querySelectorAll('li b').length,
      title: c.closest('.qv-msg').querySelector('.qv-msg-meta').textContent.split(' • ')[0],
      colour: getComputedStyle(c.querySelector('.qv-card-badge')).color,
    })); });
    assert.equal(s.length, 2);
    assert.ok(s[0].text.includes('STAND ASIDE • XAUUSD'));
    assert.ok(s[0].text.includes('50% • NO EDGE'));
    assert.ok(s[0].text.includes('Market RegimeMID-RANGE CHOP'));
    assert.ok(s[0].text.includes('Watch Resistance4200.00 – 4208.75'));
    assert.ok(s[0].text.includes('Watch Support4150.00 – 4160.00'));
    assert.ok(s[0].text.includes('Range <b>mid</b>'), 'confluence strings are text');
    assert.equal(s[0].bold, 0);
    assert.ok(s[0].text.includes('CAPITAL PRESERVATION: Zero asymmetric edge detected. Orders held until range boundary is engaged.'));
    assert.equal(s[0].buttons, 0);
    assert.equal(s[0].title, 'CAPITAL PRESERVATION SENTINEL');
    assert.equal(s[0].colour, 'rgb(255, 171, 0)');
    assert.ok(s[1].text.includes('STAND ASIDE • ASSET'));
    assert.ok(s[1].text.includes('Nothing & nobody'));
  });
});

// The AutoTrader's card: every rule with the proposal that breaks it, each refusal one chat
// line and no order; a proposal inside the rules goes out once with its deterministic id.
const XAU_CHART = { toolbar: 'OANDA:XAUUSD' };
const SNAP = { Symbol: 'XAUUSD', CurrentPrice: 2000, CurrentSpreadPts: 10, CurrentHourUTC: 10, BarTime: 2000 };
const AUTO = { auto: true, instrument: 'XAUUSD', bar: '2000' };
const GOOD = { action: 'BUY', symbol: 'XAUUSD', confidence: 90, stop_loss: 1990, take_profit: 2030, risk_pct: 0.5 };
const ruleLines = (p) => p.hud.root(function () {
  return [...this.querySelectorAll('#qv-ai-chat-body .qv-msg')]
    .filter((m) => m.querySelector('.qv-msg-meta').textContent.startsWith('AUTOTRADER RULES'))
    .map((m) => m.querySelector('.qv-msg-text').textContent.trim());
});

async function withAutoCard(opts, fn) {
  const snap = { ...SNAP, ...(opts.snap || {}) };
  await withCard({ chart: XAU_CHART, host: opts.host || fakeHost({ settings: { autotrader: true, ...(opts.settings || {}) } }),
    files: { 'QV_AICopilotData.json': () => ({ body: JSON.stringify(snap) }) } }, (p) => fn(p, snap));
}

test('automatic execution: every rule refuses with one chat line and sends nothing', async () => {
  const cases = [
    [{ confidence: undefined }, 'AutoTrader: the proposal states no numeric confidence; nothing was sent.'],
    [{ confidence: 'high' }, 'AutoTrader: the proposal states no numeric confidence; nothing was sent.'],
    [{ confidence: 84 }, 'AutoTrader: confidence 84% is below the required 85%; nothing was sent.'],
    [{ symbol: 'EURUSD' }, 'AutoTrader: the proposal is for EURUSD but this chart trades XAUUSD; nothing was sent.'],
    [{ symbol: undefined }, 'AutoTrader: the proposal is for no symbol but this chart trades XAUUSD; nothing was sent.'],
    [{ stop_loss: undefined }, 'AutoTrader: the proposal has no stop loss; nothing was sent.'],
    [{ stop_loss: 0 }, 'AutoTrader: the proposal has no stop loss; nothing was sent.'],
    [{ stop_loss: 2005 }, 'AutoTrader: stop loss 2005 is on the wrong side of the price 2000 for a BUY; nothing was sent.'],
    [{ action: 'SELL', stop_loss: 1995, take_profit: 1950 }, 'AutoTrader: stop loss 1995 is on the wrong side of the price 2000 for a SELL; nothing was sent.'],
    [{ take_profit: 1980 }, 'AutoTrader: take profit 1980 is on the wrong side of the price 2000 for a BUY; nothing was sent.'],
  ];
  await withAutoCard({}, async (p) => {
    for (const [change, line] of cases) {
      const before = (await ruleLines(p)).length;
      await card(p, { ...GOOD, ...change }, AUTO);
      await p.clock.runFor(900);
      await waitForLines(p, before + 1);
      const lines = await ruleLines(p);
      assert.equal(lines.length, before + 1, JSON.stringify(change) + ': one line');
      assert.equal(lines[before], line);
    }
    assert.equal((await trades(p)).length, 0);
    assert.equal(await p.hud.count('.qv-card-btn-exec:disabled'), 0, 'every refused card waits for a click');
  });
  // The vault's stricter choice holds; its looser one does not lower 85.
  await withAutoCard({ settings: { confidence_threshold: 90 } }, async (p) => {
    await card(p, { ...GOOD, confidence: 89 }, AUTO);
    await p.clock.runFor(900);
    await waitForLines(p, 1);
    assert.deepEqual(await ruleLines(p), ['AutoTrader: confidence 89% is below the required 90%; nothing was sent.']);
  });
  await withAutoCard({ settings: { confidence_threshold: 80 } }, async (p) => {
    await card(p, { ...GOOD, confidence: '84.5' }, AUTO);
    await p.clock.runFor(900);
    await waitForLines(p, 1);
    assert.deepEqual(await ruleLines(p), ['AutoTrader: confidence 84.5% is below the required 85%; nothing was sent.']);
    assert.equal((await trades(p)).length, 0);
  });
});

test('automatic execution: spread and hours are judged at the moment of sending', async () => {
  await withAutoCard({}, async (p, snap) => {
    await card(p, GOOD, AUTO);
    snap.CurrentSpreadPts = 50;  // widened between the trigger and the send
    await p.clock.runFor(900);
    await waitForLines(p, 1);
    snap.CurrentSpreadPts = 10;
    snap.CurrentHourUTC = 20;
    await card(p, GOOD, AUTO);
    await p.clock.runFor(900);
    await waitForLines(p, 2);
    snap.CurrentHourUTC = 10;
    snap.Symbol = 'EURUSD';
    await card(p, GOOD, AUTO);
    await p.clock.runFor(900);
    await waitForLines(p, 3);
    assert.deepEqual(await ruleLines(p), [
      'AutoTrader: spread 50 pts is above the allowed 35 pts at sending; nothing was sent.',
      'AutoTrader: Outside permitted hours (7:00-18:00 UTC, current: 20:00 UTC) at sending; nothing was sent.',
      'AutoTrader: the chart snapshot no longer describes XAUUSD; nothing was sent.']);
    assert.equal((await trades(p)).length, 0);
  });
});

test('automatic execution: inside the rules once with its id, risk capped and said; never without the AutoTrader context', async () => {
  await withAutoCard({ settings: { risk_pct: 1 } }, async (p) => {
    await card(p, { ...GOOD, risk_pct: 5, take_profit: undefined }, AUTO);
    await p.clock.runFor(700);
    assert.equal((await trades(p)).length, 0, 'not before 800 ms');
    await p.clock.runFor(200);
    await waitFor(async () => (await trades(p)).length === 1, 'the automatic order');
    const t = await trades(p);
    assert.equal(t[0], 'TRADE:AT_XAUUSD_2000_BUY,BUY,R:1.0,XAUUSD,P:1990,0', 'capped to the vault risk, no target is none');
    assert.equal(await p.hud.value('.qv-card-risk'), '1.0');
    assert.equal(await p.hud.text('.qv-card-risk-note'), 'Risk capped to 1.0% (vault limit; the proposal asked 5%).');
    const chat = await p.hud.text('#qv-ai-chat-body');
    assert.ok(chat.includes('AUTONOMOUS AUTOTRADER EXECUTION: High confidence threshold met (90% >= 85%). Order auto-dispatched to MT5 Constitution Sentinel. Risk capped to 1.0%.'));
    await p.hud.root(function () { this.querySelector('.qv-card-btn-exec').click(); });
    assert.equal((await trades(p)).length, 1, 'a card fires once');

    // A card of a question the trader asked, or of an on-demand request, waits for the
    // click even with the AutoTrader on and a perfect proposal.
    await card(p, GOOD);
    await p.clock.runFor(2000);
    assert.equal((await trades(p)).length, 1);
  });
  await withAutoCard({ settings: { autotrader: false } }, async (p) => {
    await card(p, GOOD, AUTO);
    await p.clock.runFor(900);
    await waitForLines(p, 1);
    assert.deepEqual(await ruleLines(p), ['AutoTrader: switched off before sending; the card waits for your click.']);
    assert.equal((await trades(p)).length, 0, 'off means off');
  });
});

test('a truncated reply\'s card waits for the click', async () => {
  const cut = 'Setup found.\n```json\n{"action":"BUY","symbol":"XAUUSD","confidence":92,"stop_loss":1990,"take_profit":2030';
  const mangled = 'Setup.\n{"action": "BUY", "symbol": "XAUUSD", "confidence": 95, "stop_loss": 1990, "take_profit": 20';
  await withAutoCard({}, async (p) => {
    for (const reply of [cut, mangled]) {
      await p.hud.eval(`void __qvTest.tradeCards.processAIResponse(${JSON.stringify(reply)}, null, ${JSON.stringify(AUTO)})`);
    }
    await p.clock.runFor(900);
    await waitForLines(p, 2);
    assert.equal(await p.hud.count('.qv-trade-card'), 2, 'both still make a card');
    assert.deepEqual(await ruleLines(p), [
      'AutoTrader: the reply was cut off and its proposal was pieced together; it waits for your click.',
      'AutoTrader: the reply was cut off and its proposal was pieced together; it waits for your click.']);
    assert.equal((await trades(p)).length, 0);
  });
});

// The cap counts the orders of every page of the log-on: two pages (two processes in
// real life, each with its own storage) share it through the host's claims.
test('daily cap: across pages the AutoTrader stands aside on an instrument after the cap, with a chat line', async () => {
  const host = fakeHost();
  host.settings.autotrader = true;
  host.settings.daily_cap = 2;
  await withAutoCard({ host }, async (a) => {
    await withAutoCard({ host }, async (b) => {
      for (const [p, bar] of [[a, '2000'], [b, '3000'], [a, '4000']]) {
        await card(p, GOOD, { ...AUTO, bar });
        await p.clock.runFor(900);
        await p.page.waitForTimeout(300);
      }
      await waitForLines(a, 1);
      const t = [...await trades(a), ...await trades(b)];
      assert.deepEqual(t.map((m) => m.split(',')[0]), ['TRADE:AT_XAUUSD_2000_BUY', 'TRADE:AT_XAUUSD_3000_BUY']);
      const cap = 'AutoTrader: the daily cap of 2 automatic orders on XAUUSD is reached; standing aside until tomorrow (UTC).';
      assert.deepEqual(await ruleLines(b), [cap], 'said when the order that reaches it goes out');
      assert.deepEqual(await ruleLines(a), [cap], 'and when the next card is held');
      await a.clock.setSystemTime(new Date('2026-03-05T10:00:00Z'));
      await card(a, GOOD, { ...AUTO, bar: '90000' });
      await a.clock.runFor(900);
      await waitFor(async () => (await trades(a)).length === 2, 'the next day counts afresh');
    });
  });
});

test('a closed market refuses the card order', async () => {
  await withCard({ clock: new Date('2026-03-07T10:00:00Z') }, async (p) => {
    const dialogs = [];
    p.page.on('dialog', async (d) => { dialogs.push(d.message()); await d.dismiss(); });
    await card(p, { action: 'BUY', symbol: 'XAUUSD', confidence: 70 });
    await p.hud.click('.qv-card-btn-exec');
    assert.equal((await trades(p)).length, 0);
    assert.equal(dialogs.length, 1);
    assert.match(dialogs[0], /^⚠️ Market is CLOSED \(/);
  });
});
