// The trade ticket: size normalisation and bounds, the trade message, the send lock, the
// closed-market gate and the reward-to-risk pills.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { buildFirstHalf, launch, openChart, openStudio, hudReady, posted, withPage, waitFor, waitForTechnicals, technicals } from './lib/harness.mjs';

let browser;
let script;
before(async () => { script = buildFirstHalf(); browser = await launch(); });
after(async () => { await browser.close(); });

const WEDNESDAY = new Date('2026-03-04T12:00:00Z');
const SATURDAY = new Date('2026-03-07T10:00:00Z');
const trades = async (page) => (await posted(page)).filter((m) => m.startsWith('TRADE:'));
const fields = (m) => m.slice('TRADE:'.length).split(',');

async function typeSize(page, text) {
  await page.fill('#qv-size-input', text);
  await page.press('#qv-size-input', 'Enter');
  await page.locator('#qv-size-input').blur();
  return page.inputValue('#qv-size-input');
}

test('sizing: typed values, minus and plus bounds, pills, mode kept in storage', async () => {
  await withPage(() => openChart(browser, script, { fixedTime: WEDNESDAY }), async (page) => {
    await hudReady(page);
    assert.equal(await page.textContent('#qv-mode-toggle'), 'LOT: FIX');
    assert.deepEqual(await page.$$eval('#qv-presets-container .qv-pill-btn', (b) => b.map((x) => [x.textContent, x.dataset.val, x.classList.contains('qv-pill-active')])),
      [['.01', '0.01', false], ['.10', '0.10', true], ['.50', '0.50', false], ['1.0', '1.00', false]]);
    assert.equal(await typeSize(page, 'abc'), '0.10');
    assert.equal(await typeSize(page, '0'), '0.10');
    assert.equal(await typeSize(page, '0.004'), '0.01');
    assert.equal(await typeSize(page, '1.237 lots'), '1.24');
    await page.click('#qv-size-dec');
    assert.equal(await page.inputValue('#qv-size-input'), '1.23');
    await typeSize(page, '0.01');
    await page.click('#qv-size-dec');
    assert.equal(await page.inputValue('#qv-size-input'), '0.01', 'minus stops at 0.01');
    await page.click('#qv-size-inc');
    assert.equal(await page.inputValue('#qv-size-input'), '0.02');
    await page.click('#qv-presets-container [data-val="0.50"]');
    assert.equal(await page.inputValue('#qv-size-input'), '0.50');
    assert.deepEqual(await page.$$eval('#qv-presets-container .qv-pill-active', (b) => b.map((x) => x.dataset.val)), ['0.50']);
    assert.equal(await page.evaluate(() => localStorage.qv_hud_lot_val), '0.50');

    await page.click('#qv-mode-toggle');
    assert.equal(await page.textContent('#qv-mode-toggle'), 'RISK: %');
    assert.equal(await page.evaluate(() => localStorage.qv_hud_mode), 'RISK');
    assert.equal(await page.inputValue('#qv-size-input'), '1.0%');
    assert.deepEqual(await page.$$eval('#qv-presets-container .qv-pill-btn', (b) => b.map((x) => x.textContent)), ['0.5%', '1.0%', '2.0%', '3.0%']);
    assert.equal(await typeSize(page, '7.5'), '7.5%');
    assert.equal(await typeSize(page, '25'), '20.0%');
    assert.equal(await typeSize(page, '0'), '1.0%');
    await typeSize(page, '19.8');
    await page.click('#qv-size-inc');
    assert.equal(await page.inputValue('#qv-size-input'), '20.0%');
    await typeSize(page, '0.3');
    await page.click('#qv-size-dec');
    assert.equal(await page.inputValue('#qv-size-input'), '0.1%');
    assert.equal(await page.evaluate(() => localStorage.qv_hud_risk_val), '0.1');
    await page.reload();
    await hudReady(page);
    assert.equal(await page.textContent('#qv-mode-toggle'), 'RISK: %', 'mode survives a reload');
    assert.equal(await page.inputValue('#qv-size-input'), '0.1%');
    assert.ok(await page.$eval('#qv-presets-container .qv-pill-btn:nth-child(2)', (b) => b.classList.contains('qv-pill-active')), 'second pill marked at render');
  });
});

test('trade message fields, risk size, PENDING feedback and the 600 ms lock', async () => {
  await withPage(() => openChart(browser, script, { fixedTime: WEDNESDAY }), async (page) => {
    await hudReady(page);
    const dialogs = [];
    page.on('dialog', async (d) => { dialogs.push(d.message()); await d.accept(); });
    // A page script's click (or one injected into the chart site) places nothing.
    await page.evaluate(() => document.getElementById('qv-btn-buy').click());
    assert.deepEqual(await trades(page), [], 'an untrusted click sends no order');
    // The second send is timed inside the page, so a slow test machine cannot stretch the
    // 300 ms between them past the lock.
    await page.click('#qv-btn-buy');
    await page.evaluate(() => new Promise((resolve) => {
      const buy = document.getElementById('qv-btn-buy');
      window.__labelAfterFirst = buy.textContent;
      setTimeout(() => { window.__qvTest.sendTrade('BUY', buy); resolve(); }, 300);
    }));
    assert.equal(await page.evaluate(() => window.__labelAfterFirst), 'PENDING');
    assert.equal(await page.textContent('#qv-order-status'), 'BUY PENDING\u2026', 'no success before the host says so');
    let t = await trades(page);
    assert.equal(t.length, 1, 'two sends 300 ms apart send one message');
    assert.match(t[0], /^TRADE:\d{13},BUY,0\.10,NDX,20,40$/);
    assert.equal(Number(fields(t[0])[0]), WEDNESDAY.getTime());
    await waitFor(async () => (await page.textContent('#qv-btn-buy')) === 'BUY', 'button restored');

    await page.click('#qv-mode-toggle');
    await typeSize(page, '1.5');
    await page.fill('#qv-sl-input', '1.07450');
    await page.fill('#qv-tp-input', 'none');
    await page.click('#qv-btn-sell');
    t = await trades(page);
    assert.deepEqual(fields(t[1]).slice(1), ['SELL', 'R:1.5', 'NDX', '1.0745', '0']);
    assert.deepEqual(dialogs, ['Risk 1.5% is above your vault risk of 1% per trade. Send this order anyway?'], 'confirmed above the vault risk');
    await page.waitForTimeout(650);
    // the card's call: its own size, symbol and levels, no button
    await page.evaluate(() => {
      window.__qvTest.sendTrade('BUY', null, 'R:2.0', 'XAU,USD', '1990.5', 2030);
      window.__qvTest.sendTrade('BUY', null, 'R:2.0', 'XAUUSD', 1, 2);
    });
    t = await trades(page);
    assert.deepEqual(fields(t[2]).slice(1), ['BUY', 'R:2.0', 'XAUUSD', '1990.5', '2030'], 'a comma cannot add a record field');
    assert.equal(t.length, 3, 'the lock holds for the card as well');
  });
  await withPage(() => openChart(browser, script, { fixedTime: WEDNESDAY, chart: { api: null, toolbar: null } }), async (page) => {
    await hudReady(page);
    await page.click('#qv-btn-close');
    assert.deepEqual(fields((await trades(page))[0]).slice(1), ['CLOSE', '0.10', 'CURRENT', '20', '40']);
  });
  await withPage(() => openStudio(browser, script, { fixedTime: WEDNESDAY }), async (page) => {
    await hudReady(page);
    await page.click('#qv-btn-buy');
    assert.deepEqual(fields((await trades(page))[0]).slice(1), ['BUY', '0.10', 'CURRENT', '20', '40']);
  });
});

test('Saturday: BUY, SELL and REV refused with the alert; CLOSE, 50% and BE+ sent', async () => {
  const files = { 'QV_AICopilotData.json': technicals({ Symbol: 'NDX', CurrentPrice: 20000 }) };
  await withPage(() => openChart(browser, script, { fixedTime: SATURDAY, files }), async (page) => {
    await hudReady(page);
    const alerts = [];
    page.on('dialog', (d) => { alerts.push(d.message()); d.accept(); });
    for (const id of ['#qv-btn-buy', '#qv-btn-sell', '#qv-btn-rev']) {
      await page.click(id);
      assert.notEqual(await page.textContent(id), 'PENDING', 'restored at once: ' + id);
    }
    assert.deepEqual(alerts, Array(3).fill('\u26A0\uFE0F Market is CLOSED (Saturday Weekend - Interbank Markets Closed). Live orders cannot be routed to broker until markets reopen.'));
    assert.deepEqual(await trades(page), []);
    for (const id of ['#qv-btn-close', '#qv-btn-part', '#qv-btn-be']) {
      await page.click(id);
      await page.waitForTimeout(650);
    }
    assert.deepEqual((await trades(page)).map((m) => fields(m)[1]), ['CLOSE', 'CLOSE_50', 'BE_PLUS']);
    assert.equal(alerts.length, 3);
  });
  // the terminal companion's flag says open: it wins over the client's Saturday
  const open = { 'QV_AICopilotData.json': technicals({ Symbol: 'NDX', MarketClosed: false }) };
  await withPage(() => openChart(browser, script, { fixedTime: SATURDAY, files: open }), async (page) => {
    await hudReady(page);
    await waitForTechnicals(page, 'NDX');
    await page.click('#qv-btn-buy');
    assert.equal((await trades(page)).length, 1);
  });
});

test('R:R pills: distances, stop prices on the market, stored fields', async () => {
  const files = { 'QV_AICopilotData.json': technicals({ Symbol: 'NDX', CurrentPrice: 20000 }) };
  await withPage(() => openChart(browser, script, { fixedTime: WEDNESDAY, files }), async (page) => {
    await hudReady(page);
    await waitForTechnicals(page, 'NDX');
    const pill = async (sl, id) => {
      await page.fill('#qv-sl-input', sl);
      await page.click(id);
      return page.inputValue('#qv-tp-input');
    };
    assert.deepEqual([await pill('20', '#qv-rr-15'), await pill('20', '#qv-rr-20'), await pill('20', '#qv-rr-30')], ['30', '40', '60']);
    assert.equal(await pill('25', '#qv-rr-20'), '50');
    assert.equal(await pill('junk', '#qv-rr-20'), '40', 'an unreadable stop counts as 20');
    assert.deepEqual([await pill('19800', '#qv-rr-15'), await pill('19800', '#qv-rr-20'), await pill('19800', '#qv-rr-30')],
      ['20300.00', '20400.00', '20600.00']);
    assert.equal(await pill('20100', '#qv-rr-20'), '19800.00', 'a stop above the market is a sell');
    assert.equal(await pill('9000', '#qv-rr-20'), '18000', 'beyond 35 % of the market it is a distance');
    assert.deepEqual(await page.evaluate(() => [localStorage.qv_hud_sl, localStorage.qv_hud_tp]), ['9000', '18000']);

    files['QV_AICopilotData.json'] = technicals({ Symbol: 'EURUSD', CurrentPrice: 1.08 });
    await waitForTechnicals(page, 'EURUSD');
    assert.equal(await pill('1.0750', '#qv-rr-20'), '2', 'prices at or below 500 are distances');
  });
});

test('the fate the host reports: sent to terminal, executed with the ticket, rejected with the reason', async () => {
  await withPage(() => openChart(browser, script, { fixedTime: WEDNESDAY }), async (page) => {
    await hudReady(page);
    const fate = (f) => page.evaluate((x) => window.qvOrderFate(x), f);
    const status = () => page.textContent('#qv-order-status');
    await page.click('#qv-btn-buy');
    const first = fields((await trades(page))[0])[0];
    assert.equal(await status(), 'BUY PENDING\u2026');
    await fate({ client: 'someone-else', id: '1', status: 'executed', ticket: '9' });
    assert.equal(await status(), 'BUY PENDING\u2026', 'another page order is not this one');
    await fate({ client: first, id: '1765000000001', status: 'sent' });
    assert.equal(await status(), 'BUY SENT TO TERMINAL');
    await fate({ client: first, id: '1765000000001', status: 'executed', ticket: '100001' });
    assert.equal(await status(), 'BUY EXECUTED #100001');
    await fate({ client: first, id: '1765000000001', status: 'rejected', reason: 'late' });
    assert.equal(await status(), 'BUY EXECUTED #100001', 'a settled order takes no second fate');

    await page.waitForTimeout(650);
    await page.click('#qv-btn-sell');
    const second = fields((await trades(page))[1])[0];
    assert.notEqual(second, first);
    await fate({ client: second, id: '1765000000002', status: 'sent' });
    await fate({ client: second, id: '1765000000002', status: 'rejected', reason: 'Not enough money' });
    assert.equal(await status(), 'SELL REJECTED: Not enough money');
    await page.waitForTimeout(650);
    await page.click('#qv-btn-close');
    const third = fields((await trades(page))[2])[0];
    await fate({ client: third, id: '', status: 'not_sent', reason: 'Windows error 32 (sharing violation)' });
    assert.equal(await status(), 'CLOSE NOT SENT: Windows error 32 (sharing violation)');
  });
  // Outside the workspace nothing can be sent, and the ticket says so.
  await withPage(() => openChart(browser, script, { fixedTime: WEDNESDAY, noHost: true }), async (page) => {
    await hudReady(page);
    await page.click('#qv-btn-buy');
    assert.equal(await page.textContent('#qv-order-status'), 'BUY NOT SENT: no connection to the workspace');
  });
});

// A risk above the hard cap never leaves the page; above the vault's own risk only with
// the trader's yes; the card is bounded like the ticket.
test('risk caps: the hard cap refuses, the vault risk asks, declining sends nothing', async () => {
  await withPage(() => openChart(browser, script, { fixedTime: WEDNESDAY, storage: { qv_default_risk_pct: '2.0', qv_hud_mode: 'RISK' } }), async (page) => {
    await hudReady(page);
    const dialogs = [];
    let answer = false;
    page.on('dialog', async (d) => { dialogs.push([d.type(), d.message()]); if (answer) await d.accept(); else await d.dismiss(); });
    const chat = () => page.evaluate(() => document.getElementById('qv-ai-chat-body').textContent);

    await typeSize(page, '12');
    await page.click('#qv-btn-buy');
    assert.equal((await trades(page)).length, 0, '12 % is above the hard cap');
    assert.deepEqual(dialogs, [['alert', 'Order refused: risk 12% is above the hard cap of 10% per trade.']]);
    assert.ok((await chat()).includes('Order refused: risk 12% is above the hard cap of 10% per trade.'));

    await page.evaluate(() => window.__qvTest.sendTrade('BUY', null, 'R:25.0', 'XAUUSD', 1990, 2030));
    assert.equal((await trades(page)).length, 0, 'the card\'s R:25.0 is refused too');
    assert.ok((await chat()).includes('Order refused: risk 25% is above the hard cap of 10% per trade.'));

    await typeSize(page, '3');
    await page.click('#qv-btn-sell');
    assert.equal((await trades(page)).length, 0, 'declined');
    assert.deepEqual(dialogs[1], ['confirm', 'Risk 3% is above your vault risk of 2% per trade. Send this order anyway?']);
    assert.ok((await chat()).includes('Order not sent: 3% risk above the vault risk was not confirmed.'));

    await typeSize(page, '2');
    await page.click('#qv-btn-sell');
    assert.equal(dialogs.length, 2, 'at the vault risk nobody is asked');
    answer = true;
    await page.waitForTimeout(650);
    await typeSize(page, '10');
    await page.click('#qv-btn-buy');
    const t = await trades(page);
    assert.deepEqual(t.map((m) => fields(m).slice(1, 3)), [['SELL', 'R:2.0'], ['BUY', 'R:10.0']], 'the hard cap itself is allowed when confirmed');
    await page.waitForTimeout(650);
    await page.click('#qv-btn-close');
    assert.equal((await trades(page)).length, 3, 'closing orders carry no risk check');
  });
});
