// The trade ticket: size normalisation and bounds kept by the host, the trade message, the
// send lock, the closed-market gate, the reward-to-risk pills, the price and distance marks
// and the fates the host reports.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { buildPanelHud, launch, openChart, openStudio, hudReady, posted, withPage, waitFor, waitForTechnicals, technicals } from './lib/harness.mjs';

let browser;
let script;
before(async () => { script = buildPanelHud(); browser = await launch(); });
after(async () => { await browser.close(); });

const WEDNESDAY = new Date('2026-03-04T12:00:00Z');
const SATURDAY = new Date('2026-03-07T10:00:00Z');
const trades = async (page) => (await posted(page)).filter((m) => m.startsWith('TRADE:'));
const fields = (m) => m.slice('TRADE:'.length).split(',');

async function typeSize(hud, text) {
  await hud.fill('#qv-size-input', text);
  await hud.press('#qv-size-input', 'Enter');
  return hud.value('#qv-size-input');
}

const pills = (hud) => hud.root(function () {
  return [...this.querySelectorAll('#qv-presets-container .qv-pill-btn')].map((x) => [x.textContent, x.dataset.val, x.classList.contains('qv-pill-active')]);
});

test('sizing: typed values, minus and plus bounds, pills, mode kept by the host', async () => {
  await withPage(() => openChart(browser, script, { fixedTime: WEDNESDAY }), async ({ page, hud, host }) => {
    await hudReady(page);
    assert.equal(await hud.text('#qv-mode-toggle'), 'LOT: FIX');
    assert.deepEqual(await pills(hud), [['.01', '0.01', false], ['.10', '0.10', true], ['.50', '0.50', false], ['1.0', '1.00', false]]);
    assert.equal(await typeSize(hud, 'abc'), '0.10');
    assert.equal(await typeSize(hud, '0'), '0.10');
    assert.equal(await typeSize(hud, '0.004'), '0.01');
    assert.equal(await typeSize(hud, '1.237 lots'), '1.24');
    await hud.click('#qv-size-dec');
    assert.equal(await hud.value('#qv-size-input'), '1.23');
    await typeSize(hud, '0.01');
    await hud.click('#qv-size-dec');
    assert.equal(await hud.value('#qv-size-input'), '0.01', 'minus stops at 0.01');
    await hud.click('#qv-size-inc');
    assert.equal(await hud.value('#qv-size-input'), '0.02');
    await hud.click('#qv-presets-container [data-val="0.50"]');
    assert.equal(await hud.value('#qv-size-input'), '0.50');
    assert.deepEqual((await pills(hud)).filter((x) => x[2]).map((x) => x[1]), ['0.50']);
    await waitFor(() => host.settings.hud_lot_val === '0.50', 'the lot size kept by the host');

    await hud.click('#qv-mode-toggle');
    assert.equal(await hud.text('#qv-mode-toggle'), 'RISK: %');
    await waitFor(() => host.settings.hud_mode === 'RISK', 'the mode kept by the host');
    assert.equal(await hud.value('#qv-size-input'), '1.0%');
    assert.deepEqual((await pills(hud)).map((x) => x[0]), ['0.5%', '1.0%', '2.0%', '3.0%']);
    assert.equal(await typeSize(hud, '7.5'), '7.5%');
    assert.equal(await typeSize(hud, '25'), '20.0%');
    assert.equal(await typeSize(hud, '0'), '1.0%');
    await typeSize(hud, '19.8');
    await hud.click('#qv-size-inc');
    assert.equal(await hud.value('#qv-size-input'), '20.0%');
    await typeSize(hud, '0.3');
    await hud.click('#qv-size-dec');
    assert.equal(await hud.value('#qv-size-input'), '0.1%');
    await waitFor(() => host.settings.hud_risk_val === '0.1', 'the risk kept by the host');
    assert.deepEqual(await page.evaluate(() => Object.keys(localStorage).filter((k) => /^qv_hud_(mode|risk_val|lot_val)$/.test(k))), [], 'nothing of it in the site\'s storage');
    await page.reload();
    await hudReady(page);
    await hud.waitForRoot(function () { return this.getElementById('qv-mode-toggle').textContent === 'RISK: %'; }, [], 5000, 'the mode after a reload');
    assert.equal(await hud.value('#qv-size-input'), '0.1%');
    assert.ok((await pills(hud))[1][2], 'second pill marked at render');
    // The site's storage has no say in the ticket.
    await page.evaluate(() => { localStorage.setItem('qv_hud_mode', 'LOT'); localStorage.setItem('qv_hud_risk_val', '20'); });
    await page.reload();
    await hudReady(page);
    await hud.waitForRoot(function () { return this.getElementById('qv-mode-toggle').textContent === 'RISK: %'; }, [], 5000, 'the host\'s mode');
    assert.equal(await hud.value('#qv-size-input'), '0.1%');
  });
});

test('trade message fields, risk size, PENDING feedback and the 600 ms lock', async () => {
  await withPage(() => openChart(browser, script, { fixedTime: WEDNESDAY }), async ({ page, hud }) => {
    await hudReady(page);
    const dialogs = [];
    page.on('dialog', async (d) => { dialogs.push(d.message()); await d.accept(); });
    // A click made by script, even by code that holds the button, places nothing.
    await hud.root(function () { this.getElementById('qv-btn-buy').click(); });
    assert.deepEqual(await trades(page), [], 'an untrusted click sends no order');
    // The second send is timed inside the page, so a slow test machine cannot stretch the
    // 300 ms between them past the lock.
    await hud.click('#qv-btn-buy');
    const labelAfterFirst = await hud.root(async function () {
      const buy = this.getElementById('qv-btn-buy');
      const label = buy.textContent;
      await new Promise((resolve) => setTimeout(resolve, 300));
      __qvTest.ticket.sendTrade('BUY', buy);
      return label;
    });
    assert.equal(labelAfterFirst, 'PENDING');
    assert.equal(await hud.text('#qv-order-status'), 'BUY PENDING\u2026', 'no success before the host says so');
    let t = await trades(page);
    assert.equal(t.length, 1, 'two sends 300 ms apart send one message');
    assert.match(t[0], /^TRADE:\d{13},BUY,0\.10,NDX,20,40$/);
    assert.equal(Number(fields(t[0])[0]), WEDNESDAY.getTime());
    await waitFor(async () => (await hud.text('#qv-btn-buy')) === 'BUY', 'button restored');

    await hud.click('#qv-mode-toggle');
    await typeSize(hud, '1.5');
    await hud.fill('#qv-sl-input', '1.07450');
    await hud.fill('#qv-tp-input', 'none');
    await hud.click('#qv-btn-sell');
    t = await trades(page);
    assert.deepEqual(fields(t[1]).slice(1), ['SELL', 'R:1.5', 'NDX', '1.0745', '0']);
    assert.deepEqual(dialogs, ['Risk 1.5% is above your vault risk of 1% per trade. Send this order anyway?'], 'confirmed above the vault risk');
    await page.waitForTimeout(650);
    // the card's call: its own size, symbol and price levels, no button
    await hud.eval(`__qvTest.ticket.sendTrade('BUY', null, 'R:2.0', 'XAU,USD', '1990.5', 2030);
      __qvTest.ticket.sendTrade('BUY', null, 'R:2.0', 'XAUUSD', 1, 2);`);
    t = await trades(page);
    assert.deepEqual(fields(t[2]).slice(1), ['BUY', 'R:2.0', 'XAUUSD', 'P:1990.5', 'P:2030'], 'a comma cannot add a record field; a card\'s levels are prices');
    assert.equal(t.length, 3, 'the lock holds for the card as well');
  });
  await withPage(() => openChart(browser, script, { fixedTime: WEDNESDAY, chart: { api: null, toolbar: null } }), async ({ page, hud }) => {
    await hudReady(page);
    await hud.click('#qv-btn-close');
    assert.deepEqual(fields((await trades(page))[0]).slice(1), ['CLOSE', '0.10', 'CURRENT', '20', '40']);
  });
  await withPage(() => openStudio(browser, script, { fixedTime: WEDNESDAY }), async ({ page, hud }) => {
    await hudReady(page);
    await hud.click('#qv-btn-buy');
    assert.deepEqual(fields((await trades(page))[0]).slice(1), ['BUY', '0.10', 'CURRENT', '20', '40']);
  });
});

test('Saturday: BUY, SELL and REV refused with the alert; CLOSE, 50% and BE+ sent', async () => {
  const files = { 'QV_AICopilotData.json': technicals({ Symbol: 'NDX', CurrentPrice: 20000 }) };
  await withPage(() => openChart(browser, script, { fixedTime: SATURDAY, files }), async ({ page, hud }) => {
    await hudReady(page);
    const alerts = [];
    page.on('dialog', (d) => { alerts.push(d.message()); d.accept(); });
    for (const id of ['#qv-btn-buy', '#qv-btn-sell', '#qv-btn-rev']) {
      await hud.click(id);
      assert.notEqual(await hud.text(id), 'PENDING', 'restored at once: ' + id);
    }
    assert.deepEqual(alerts, Array(3).fill('\u26A0\uFE0F Market is CLOSED (Saturday Weekend - Interbank Markets Closed). Live orders cannot be routed to broker until markets reopen.'));
    assert.deepEqual(await trades(page), []);
    for (const id of ['#qv-btn-close', '#qv-btn-part', '#qv-btn-be']) {
      await hud.click(id);
      await page.waitForTimeout(650);
    }
    assert.deepEqual((await trades(page)).map((m) => fields(m)[1]), ['CLOSE', 'CLOSE_50', 'BE_PLUS']);
    assert.equal(alerts.length, 3);
  });
  // the terminal companion's flag says open: it wins over the client's Saturday
  const open = { 'QV_AICopilotData.json': technicals({ Symbol: 'NDX', MarketClosed: false }) };
  await withPage(() => openChart(browser, script, { fixedTime: SATURDAY, files: open }), async ({ page, hud }) => {
    await hudReady(page);
    await waitForTechnicals(page, 'NDX');
    await hud.click('#qv-btn-buy');
    assert.equal((await trades(page)).length, 1);
  });
});

test('R:R pills and the price or distance rule the companion applies: read, marked, refused when it fits both', async () => {
  // Gold: a pip of 0.10, so a number near the market is a price and a small one a distance.
  const gold = { Symbol: 'XAUUSD', CurrentPrice: 2000, Bid: 2000, Ask: 2000.5, Digits: 2, PipSize: 0.1 };
  const files = { 'QV_AICopilotData.json': technicals(gold) };
  await withPage(() => openChart(browser, script, { fixedTime: WEDNESDAY, files }), async ({ page, hud }) => {
    await hudReady(page);
    await waitForTechnicals(page, 'XAUUSD');
    const pill = async (sl, id) => {
      await hud.fill('#qv-sl-input', sl);
      await hud.click(id);
      return hud.value('#qv-tp-input');
    };
    const marks = () => hud.root(function () { return [this.getElementById('qv-sl-mark').textContent, this.getElementById('qv-tp-mark').textContent]; });
    assert.deepEqual([await pill('20', '#qv-rr-15'), await pill('20', '#qv-rr-20'), await pill('20', '#qv-rr-30')], ['30', '40', '60']);
    assert.equal(await pill('25', '#qv-rr-20'), '50');
    assert.equal(await pill('junk', '#qv-rr-20'), '40', 'an unreadable stop counts as 20');
    assert.deepEqual([await pill('1990', '#qv-rr-15'), await pill('1990', '#qv-rr-20'), await pill('1990', '#qv-rr-30')],
      ['2015.00', '2020.00', '2030.00']);
    assert.equal(await pill('2010', '#qv-rr-20'), '1980.00', 'a stop above the market is a sell');
    assert.deepEqual(await marks(), ['auto', 'auto'], 'unmarked: read by the rule');

    // Unmarked levels go out as the rule read them, so the companion never guesses.
    await hud.fill('#qv-sl-input', '1990');
    await hud.fill('#qv-tp-input', '40');
    await hud.click('#qv-btn-buy');
    assert.deepEqual(fields((await trades(page))[0]).slice(4), ['P:1990', 'D:40']);
    // A price on the wrong side of the market is refused with its reason, before the host.
    await page.waitForTimeout(650);
    await hud.fill('#qv-sl-input', '2010');
    await hud.click('#qv-btn-buy');
    assert.equal((await trades(page)).length, 1, 'nothing sent');
    assert.match(await hud.text('#qv-order-status'), /^BUY NOT SENT: stop loss 2010\.00 is not below the bid 2000\.00$/);

    // The trader marks the stop: a price is measured from the market, a distance never is.
    await hud.click('#qv-sl-mark');
    assert.deepEqual(await marks(), ['price', 'auto']);
    assert.equal(await pill('900', '#qv-rr-20'), '4200.00', 'a marked price even where it would read as neither');
    assert.deepEqual(await marks(), ['price', 'price'], 'the target takes the stop\'s mark');
    await hud.click('#qv-sl-mark');
    assert.equal(await pill('1990', '#qv-rr-20'), '3980', 'a marked distance even where it would read as a price');
    assert.deepEqual(await marks(), ['dist', 'dist']);
    await page.waitForTimeout(650);
    await hud.click('#qv-btn-sell');
    assert.deepEqual(fields((await trades(page))[1]).slice(4), ['D:1990', 'D:3980']);
    await hud.click('#qv-tp-mark');
    await hud.fill('#qv-tp-input', '0');
    await page.waitForTimeout(650);
    await hud.click('#qv-btn-sell');
    assert.deepEqual(fields((await trades(page))[2]).slice(4), ['D:1990', '0'], 'none is never marked');
    await hud.click('#qv-sl-mark');
    assert.deepEqual(await marks(), ['auto', 'auto'], 'the mark goes round: auto, price, dist');

    // An index quoted in points: 19800 is near the market and, as 19800 points, within reach:
    // it fits both readings, so the ticket says so and sends nothing until it is marked.
    files['QV_AICopilotData.json'] = technicals({ Symbol: 'NDX', CurrentPrice: 20000, Bid: 20000, Ask: 20001, Digits: 2, PipSize: 0.01 });
    await waitForTechnicals(page, 'NDX');
    await hud.fill('#qv-tp-input', '7');
    assert.equal(await pill('19800', '#qv-rr-20'), '7', 'an ambiguous stop leaves the target');
    assert.match(await hud.text('#qv-order-status'), /could be a price or a distance/);
    await page.waitForTimeout(650);
    await hud.click('#qv-btn-buy');
    assert.equal((await trades(page)).length, 3, 'an ambiguous level is not sent');
    await hud.click('#qv-sl-mark');
    assert.equal(await pill('19800', '#qv-rr-20'), '20400.00', 'marked, it is a price');

    files['QV_AICopilotData.json'] = technicals({ Symbol: 'EURUSD', CurrentPrice: 1.08, Bid: 1.08, Ask: 1.0801, Digits: 5, PipSize: 0.0001 });
    await waitForTechnicals(page, 'EURUSD');
    await hud.click('#qv-sl-mark');
    await hud.click('#qv-sl-mark');
    assert.equal(await pill('1.0750', '#qv-rr-20'), '1.09000', 'four decimals near the market: a price, in the symbol\'s digits');
    files['QV_AICopilotData.json'] = { Symbol: 'EURUSD' };
    await waitFor(async () => (await hud.eval('(function () { const t = __qvTech(); return t && !t.CurrentPrice; })()')), 'no price');
    await hud.click('#qv-sl-mark');
    await hud.fill('#qv-tp-input', '7');
    assert.equal(await pill('1.0750', '#qv-rr-20'), '7', 'a marked price without a market price leaves the target');
  });
});

test('the fate the host reports: sent to terminal, executed with the ticket, rejected with the reason, unknown', async () => {
  await withPage(() => openChart(browser, script, { fixedTime: WEDNESDAY }), async ({ page, hud, push }) => {
    await hudReady(page);
    const fate = (f) => push({ type: 'fate', ...f });
    const status = () => hud.text('#qv-order-status');
    const colour = () => hud.call('#qv-order-status', function () { return getComputedStyle(this).color; });
    await hud.click('#qv-btn-buy');
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
    await hud.click('#qv-btn-sell');
    const second = fields((await trades(page))[1])[0];
    assert.notEqual(second, first);
    await fate({ client: second, id: '1765000000002', status: 'sent' });
    await fate({ client: second, id: '1765000000002', status: 'rejected', reason: 'Not enough money' });
    assert.equal(await status(), 'SELL REJECTED: Not enough money');
    await page.waitForTimeout(650);
    await hud.click('#qv-btn-close');
    const third = fields((await trades(page))[2])[0];
    await fate({ client: third, id: '', status: 'not_sent', reason: 'Windows error 32 (sharing violation)' });
    assert.equal(await status(), 'CLOSE NOT SENT: Windows error 32 (sharing violation)');

    // A crash between sending and the result: the companion cannot say, the trader must look;
    // a later report still settles it.
    await page.waitForTimeout(650);
    await hud.click('#qv-btn-buy');
    const fourth = fields((await trades(page))[3])[0];
    await fate({ client: fourth, id: '1765000000004', status: 'unknown' });
    assert.equal(await status(), 'BUY unknown: check your positions');
    assert.equal(await colour(), 'rgb(255, 171, 0)');
    await fate({ client: fourth, id: '1765000000004', status: 'executed', ticket: '100004' });
    assert.equal(await status(), 'BUY EXECUTED #100004');
  });
  // Outside the workspace nothing can be sent, and the ticket says so.
  await withPage(() => openChart(browser, script, { fixedTime: WEDNESDAY, noHost: true }), async ({ page, hud }) => {
    await hud.waitFor('#qv-btn-buy');
    await hud.click('#qv-btn-buy');
    assert.equal(await hud.text('#qv-order-status'), 'BUY NOT SENT: no connection to the workspace');
  });
});

// A risk above the hard cap never leaves the page; above the vault's own risk only with
// the trader's yes; the card is bounded like the ticket.
test('risk caps: the hard cap refuses, the vault risk asks, declining sends nothing', async () => {
  await withPage(() => openChart(browser, script, { fixedTime: WEDNESDAY, settings: { risk_pct: 2, hud_mode: 'RISK' } }), async ({ page, hud }) => {
    await hudReady(page);
    const dialogs = [];
    let answer = false;
    page.on('dialog', async (d) => { dialogs.push([d.type(), d.message()]); if (answer) await d.accept(); else await d.dismiss(); });
    const chat = () => hud.text('#qv-ai-chat-body');

    await typeSize(hud, '12');
    await hud.click('#qv-btn-buy');
    assert.equal((await trades(page)).length, 0, '12 % is above the hard cap');
    assert.deepEqual(dialogs, [['alert', 'Order refused: risk 12% is above the hard cap of 10% per trade.']]);
    assert.ok((await chat()).includes('Order refused: risk 12% is above the hard cap of 10% per trade.'));

    await hud.eval(`__qvTest.ticket.sendTrade('BUY', null, 'R:25.0', 'XAUUSD', 1990, 2030)`);
    assert.equal((await trades(page)).length, 0, 'the card\'s R:25.0 is refused too');
    assert.ok((await chat()).includes('Order refused: risk 25% is above the hard cap of 10% per trade.'));

    await typeSize(hud, '3');
    await hud.click('#qv-btn-sell');
    assert.equal((await trades(page)).length, 0, 'declined');
    assert.deepEqual(dialogs[1], ['confirm', 'Risk 3% is above your vault risk of 2% per trade. Send this order anyway?']);
    assert.ok((await chat()).includes('Order not sent: 3% risk above the vault risk was not confirmed.'));

    await typeSize(hud, '2');
    await hud.click('#qv-btn-sell');
    assert.equal(dialogs.length, 2, 'at the vault risk nobody is asked');
    answer = true;
    await page.waitForTimeout(650);
    await typeSize(hud, '10');
    await hud.click('#qv-btn-buy');
    const t = await trades(page);
    assert.deepEqual(t.map((m) => fields(m).slice(1, 3)), [['SELL', 'R:2.0'], ['BUY', 'R:10.0']], 'the hard cap itself is allowed when confirmed');
    await page.waitForTimeout(650);
    await hud.click('#qv-btn-close');
    assert.equal((await trades(page)).length, 3, 'closing orders carry no risk check');
  });
});
