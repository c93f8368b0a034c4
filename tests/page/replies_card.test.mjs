// Trade proposal card: cells, live R:R, confirm message, confidence colours, stand-aside
// card and automatic execution at a fixed 85 %.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { buildHud, launch, posted, openChart, hudReady, openDrawer } from './lib/harness.mjs';

let browser;
let script;
before(async () => { script = buildHud(['renderTradeProposalCard']); browser = await launch(); });
after(async () => { await browser.close(); });

const WEDNESDAY = new Date('2026-03-04T10:00:00Z');

async function withCard(opts, fn) {
  const p = await openChart(browser, script, { clock: WEDNESDAY, ...opts });
  try {
    await hudReady(p.page);
    await openDrawer(p.page);
    await fn(p.page);
    assert.deepEqual(p.errors.map(String), []);
  } finally {
    await p.close();
  }
}

const card = (page, proposal) => page.evaluate((pr) => { window.__qvTest.renderTradeProposalCard(pr); }, proposal);
const trades = async (page) => (await posted(page)).filter((m) => m.startsWith('TRADE:'));

test('live R:R and the confirm message', async () => {
  await withCard({}, async (page) => {
    await card(page, { action: 'BUY', symbol: 'XAU,USD', confidence: 72, entry_price: 1995, stop_loss: 1980, take_profit: 2040, risk_pct: 0 });
    const c = '.qv-trade-card';
    assert.equal(await page.textContent(`${c} .qv-card-rr`), '1:2.0', 'the default shows until an edit');
    await page.fill(`${c} .qv-card-entry`, '2000');
    await page.fill(`${c} .qv-card-sl`, '1990');
    await page.fill(`${c} .qv-card-tp`, '2030');
    assert.equal(await page.textContent(`${c} .qv-card-rr`), '1:3.0');
    await page.fill(`${c} .qv-card-entry`, '');
    assert.equal(await page.textContent(`${c} .qv-card-rr`), '1:3.0', 'an incomplete set leaves the last value');
    await page.fill(`${c} .qv-card-entry`, '1990');
    assert.equal(await page.textContent(`${c} .qv-card-rr`), '1:3.0', 'entry equal to stop changes nothing');

    await page.fill(`${c} .qv-card-sl`, '');
    await page.fill(`${c} .qv-card-risk`, '0');
    await page.evaluate((sel) => document.querySelector(sel).click(), `${c} .qv-card-btn-exec`);
    assert.deepEqual(await trades(page), [], 'a page script clicking the card sends no order');
    await page.click(`${c} .qv-card-btn-exec`);
    const t = await trades(page);
    assert.equal(t.length, 1);
    assert.match(t[0], /^TRADE:\d{13},BUY,R:1\.0,XAUUSD,1980,2030$/, 'zero risk sends R:1.0, an empty stop falls back to the proposal');
    assert.equal(await page.isDisabled(`${c} .qv-card-btn-exec`), true);
    assert.match(await page.textContent(`${c} .qv-card-btn-exec`), /DISPATCHED TO MT5 ENGINE/);
    assert.equal(await page.evaluate(() => document.querySelector('.qv-card-btn-exec').classList.contains('qv-card-btn-executed')), true);
    await page.click(`${c} .qv-card-btn-exec`, { force: true });
    assert.equal((await trades(page)).length, 1, 'a card fires once');
  });
});

test('cells, colours and the stand-aside card', async () => {
  await withCard({ storage: { qv_default_risk_pct: '1.5' } }, async (page) => {
    for (const [conf, colour] of [[80, 'rgb(0, 230, 118)'], [79, 'rgb(255, 215, 0)'], [65, 'rgb(255, 215, 0)'], [64, 'rgb(255, 82, 82)']]) {
      await card(page, { action: 'SELL', symbol: 'EURUSD', confidence: conf });
    }
    const r = await page.evaluate(() => [...document.querySelectorAll('.qv-trade-card')].map((c) => ({
      badge: c.querySelector('.qv-card-badge').textContent,
      colour: getComputedStyle(c.querySelector('.qv-card-badge')).color,
      dir: c.querySelector('.qv-card-dir-sell') ? 'sell' : 'buy',
      risk: c.querySelector('.qv-card-risk').value,
      lots: c.querySelector('.qv-card-lots').value,
      placeholders: [...c.querySelectorAll('.qv-card-entry,.qv-card-sl,.qv-card-tp')].map((i) => i.placeholder),
      title: c.closest('.qv-msg').querySelector('.qv-msg-meta').textContent.split(' • ')[0],
    })));
    assert.deepEqual(r.map((x) => x.badge), ['80% CONFIDENCE', '79% CONFIDENCE', '65% CONFIDENCE', '64% CONFIDENCE']);
    assert.deepEqual(r.map((x) => x.colour), ['rgb(0, 230, 118)', 'rgb(255, 215, 0)', 'rgb(255, 215, 0)', 'rgb(255, 82, 82)']);
    assert.deepEqual(r[0], { ...r[0], dir: 'sell', risk: '1.5', lots: '0.10', placeholders: ['Market', 'SL', 'TP'], title: 'PROPOSED SETUP' });

    await card(page, { action: 'NO_TRADE', symbol: 'XAUUSD', confluence: ['Range <b>mid</b>'] });
    await card(page, { action: 'STAND_ASIDE', reasoning: 'Nothing & nobody' });
    const s = await page.evaluate(() => [...document.querySelectorAll('.qv-card-stand-aside')].map((c) => ({
      text: c.textContent.replace(/\s+/g, ' '),
      buttons: c.querySelectorAll('button').length,
      bold: c.querySelectorAll('li b').length,
      title: c.closest('.qv-msg').querySelector('.qv-msg-meta').textContent.split(' • ')[0],
      colour: getComputedStyle(c.querySelector('.qv-card-badge')).color,
    })));
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

test('automatic execution at 85, not at 84, not when off, never for stand-aside', async () => {
  await withCard({ storage: { qv_autotrader: '1' } }, async (page) => {
    await card(page, { action: 'BUY', symbol: 'XAUUSD', confidence: 84, stop_loss: 1990, take_profit: 2030 });
    await card(page, { action: 'STAND_ASIDE', symbol: 'XAUUSD', confidence: 95 });
    await page.clock.runFor(1000);
    assert.equal((await trades(page)).length, 0);
    await card(page, { action: 'SELL', symbol: 'XAUUSD', confidence: 85, stop_loss: 2040, take_profit: 2000, risk_pct: 0.5 });
    await page.clock.runFor(700);
    assert.equal((await trades(page)).length, 0, 'not before 800 ms');
    await page.clock.runFor(200);
    const t = await trades(page);
    assert.equal(t.length, 1);
    assert.match(t[0], /^TRADE:\d+,SELL,R:0\.5,XAUUSD,2040,2000$/);
    const chat = await page.textContent('#qv-ai-chat-body');
    assert.ok(chat.includes('AUTONOMOUS AUTOTRADER EXECUTION: High confidence threshold met (85% >= 85%). Order auto-dispatched to MT5 Constitution Sentinel.'));
  });
  await withCard({ storage: { qv_autotrader: '0', qv_autotrader_threshold: '80' } }, async (page) => {
    await card(page, { action: 'BUY', symbol: 'XAUUSD', confidence: 99 });
    await page.clock.runFor(2000);
    assert.equal((await trades(page)).length, 0, 'off means off, whatever the stored threshold');
  });
});

test('a closed market refuses the card order', async () => {
  await withCard({ clock: new Date('2026-03-07T10:00:00Z') }, async (page) => {
    const dialogs = [];
    page.on('dialog', async (d) => { dialogs.push(d.message()); await d.dismiss(); });
    await card(page, { action: 'BUY', symbol: 'XAUUSD', confidence: 70 });
    await page.click('.qv-card-btn-exec');
    assert.equal((await trades(page)).length, 0);
    assert.equal(dialogs.length, 1);
    assert.match(dialogs[0], /^⚠️ Market is CLOSED \(/);
  });
});
