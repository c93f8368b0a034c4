// COT badge and card: symbol resolution, the record's figures, crowded states, narrative
// rewrites, text-only rendering of file content, and the dropdown's open and close rules.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { buildPanelHud, launch, openChart, openStudio, hudReady, withPage, waitFor, waitForTechnicals, technicals } from './lib/harness.mjs';

let browser;
let script;
before(async () => { script = buildPanelHud(); browser = await launch(); });
after(async () => { await browser.close(); });

const RECORDS = [
  { symbol: 'NAS100', name: 'NASDAQ-100 Consolidated', asOfDate: '2026-03-03', cotIndex: 72.6,
    nonCommercial: { net: 152340, changeNet: -4100 }, crowdedTradeAlert: false,
    narrative: 'Speculators added longs, at the 63.2th historical range percentile' },
  { symbol: 'XAUUSD', name: 'GOLD - COMMODITY EXCHANGE', asOfDate: '2026-03-03', cotIndex: 85,
    nonCommercial: { net: 250000, changeNet: 1200 }, crowdedTradeAlert: true,
    narrative: 'Managed money keeps buying, INDICATING  aggressive\naccumulation at the 97.4th historical range percentile.' },
  { symbol: 'USOIL', cotIndex: 0, nonCommercial: { net: -98765, changeNet: 0 }, crowdedTradeAlert: false,
    narrative: 'Funds are indicating aggressive shorting at the 2.1th historical range percentile' },
  { symbol: 'NATGAS', cotIndex: 0, crowdedTradeAlert: true },
  { symbol: 'WS30', name: '<img src=x onerror="window.__pwned=1">', asOfDate: '<b>x</b>', cotIndex: 50,
    nonCommercial: { net: 0, changeNet: 5 }, narrative: '<script>window.__pwned=2</script>' },
];

const card = (p) => p.hud.root(function () {
  const t = (id) => this.getElementById(id).textContent;
  const bar = this.getElementById('qv-modal-bar');
  return {
    badge: t('qv-cot-badge-text'), crowded: this.getElementById('qv-cot-badge').classList.contains('qv-cot-crowded'),
    contract: t('qv-modal-contract'), date: t('qv-modal-date'), net: t('qv-modal-nc-net'), shift: t('qv-modal-nc-shift'),
    index: t('qv-modal-index'), bar: [bar.style.width, getComputedStyle(bar).backgroundColor],
    alert: getComputedStyle(this.getElementById('qv-modal-alert')).display !== 'none' ? t('qv-modal-alert') : null,
    narrative: t('qv-modal-narrative'),
  };
});

async function showing(p, files, symbol) {
  files['QV_AICopilotData.json'] = technicals({ Symbol: symbol });
  await waitForTechnicals(p, symbol);
  await waitFor(async () => {
    const c = await card(p);
    return c.badge !== 'COT: Loading...' && (c.contract.startsWith(symbol) || RECORDS.some((r) => r.symbol === c.contract || r.name === c.contract)) ? c : null;
  }, 'card for ' + symbol, 6000);
  await p.page.waitForTimeout(100);
  return card(p);
}

test('resolveCOTSymbol: the rule table and its first-match order', async () => {
  await withPage(() => openChart(browser, script), async (p) => {
    await hudReady(p);
    const cases = {
      'US100.cash': 'NAS100', 'XAUUSD.m': 'XAUUSD', UK100: 'NAS100', WS30: 'WS30', US30: 'SPX500', 'NASDAQ:NDX': 'NAS100',
      SPX500: 'SPX500', DJI: 'SPX500', DXY: 'DXY', 'vix': 'VIX', US10Y: 'US10Y', 'xag/usd': 'XAGUSD', UKOIL: 'USOIL',
      XNGUSD: 'NATGAS', 'BTC-USD': 'BTCUSD', ETHUSDT: 'ETHUSD', 'eur/usd': 'EURUSD', GBPUSD: 'GBPUSD', USDJPY: 'USDJPY',
      AUDUSD: 'AUDUSD', USDCAD: 'USDCAD', USDCHF: 'USDCHF', NZDUSD: 'NZDUSD', 'EURJPY': 'EURJPY', '': '', '  $$ ': '',
    };
    const got = await p.hud.eval(`Object.fromEntries(${JSON.stringify(Object.keys(cases))}.map((n) => [n, __qvTest.resolveCOTSymbol(n)]))`);
    assert.deepEqual(got, cases);
  });
});

test('record figures, tags, bar colours, crowded texts and narrative rewrites follow the symbol', async () => {
  const files = { 'QV_COTData.json': { records: RECORDS } };
  await withPage(() => openChart(browser, script, { files }), async (p) => {
    await hudReady(p);
    let c = await showing(p, files, 'NDX');
    assert.deepEqual(c, {
      badge: 'COT: [BULL] +152.3K (73%)', crowded: false, contract: 'NASDAQ-100 Consolidated', date: 'As of Tue 2026-03-03',
      net: '+152,340', shift: 'Weekly: -4,100', index: '73%', bar: ['73%', 'rgb(8, 153, 129)'], alert: null,
      narrative: 'Speculators added longs, sitting at 63.2% of the 3-year historical positioning range.',
    });

    c = await showing(p, files, 'XAUUSD');
    assert.equal(c.badge, 'COT: [!] CROWDED (85%)');
    assert.equal(c.crowded, true);
    assert.equal(await p.hud.call('#qv-cot-badge', function () { return getComputedStyle(this).animationName; }), 'qv-cot-pulse');
    assert.equal(c.alert, ' CROWDED SQUEEZE ALERT: Speculative longs are at 3-year record extremes. Extreme buyer crowding \u2014 high long-squeeze reversal risk.');
    assert.equal(c.narrative, 'Managed money keeps buying, confirming speculative buyers are at maximum 3-year record net-longs (100% saturation, peak buyer crowding).');

    c = await showing(p, files, 'WTI');
    assert.deepEqual([c.badge, c.crowded, c.contract, c.index, c.bar[0], c.bar[1], c.net, c.shift, c.date],
      ['COT: [BEAR] -98.8K (0%)', false, 'USOIL', '0%', '0%', 'rgb(242, 54, 69)', '-98,765', 'Weekly: +0', 'As of Tue ']);
    assert.equal(c.narrative, 'Funds are confirming speculative sellers are at maximum 3-year record net-shorts (0% saturation, peak seller crowding).');

    c = await showing(p, files, 'NGAS');
    assert.deepEqual([c.badge, c.net, c.shift, c.narrative], ['COT: [!] CROWDED (0%)', '+0', 'Weekly: +0', 'CFTC institutional positioning updated.']);
    assert.match(c.alert, /Speculative shorts are at 3-year record extremes\. Extreme seller crowding — high short-squeeze reversal risk\.$/);

    // file text is shown as text, never parsed as markup
    await p.page.evaluate(() => { window.__pwned = 0; });
    c = await showing(p, files, 'WS30');
    assert.equal(c.contract, '<img src=x onerror="window.__pwned=1">');
    assert.equal(c.date, 'As of Tue <b>x</b>');
    assert.equal(c.narrative, '<script>window.__pwned=2</script>');
    assert.equal(c.badge, 'COT: [NEUT] +0.0K (50%)');
    assert.equal(await p.hud.count('#qv-cot-modal img:not(.qv-logo-img), #qv-cot-modal script, #qv-cot-modal b:not(:first-of-type)'), 0);
    // markup in the root would run its handlers in the page's world
    assert.equal(await p.page.evaluate(() => window.__pwned), 0);

    c = await showing(p, files, 'EURJPY');
    c.bar = c.bar[0];  // an empty bar keeps whatever colour it had
    assert.deepEqual(c, {
      badge: 'COT: N/A', crowded: false, contract: 'EURJPY (No COT data)', date: 'N/A', net: '--', shift: 'Weekly: --', index: '--',
      bar: '0%', alert: null,
      narrative: 'CFTC Commitments of Traders data is not applicable or unavailable for EURJPY.',
    });
  });
});

test('missing or malformed file leaves Loading; without a snapshot the badge symbol decides', async () => {
  await withPage(() => openChart(browser, script, { files: { 'QV_COTData.json': () => ({ status: 200, body: '{"records": [' }) } }), async (p) => {
    await hudReady(p);
    await p.page.waitForTimeout(3500);
    assert.equal(await p.hud.text('#qv-cot-badge-text'), 'COT: Loading...');
    assert.equal(await p.hud.text('#qv-modal-narrative'), 'Live CFTC smart money positioning is currently being ingested from https://quorvale-data.example/QV_COTData.json.');
    assert.ok(p.consoleLines.some((l) => l.startsWith('COT local ingestion note:')));
  });
  await withPage(() => openChart(browser, script, { files: { 'QV_COTData.json': { records: 'none' } } }), async (p) => {
    await hudReady(p);
    await p.page.waitForTimeout(3500);
    assert.equal(await p.hud.text('#qv-cot-badge-text'), 'COT: Loading...');
  });
  // no snapshot: the drawer badge's first part ("NDX" of its initial text)
  await withPage(() => openChart(browser, script, { files: { 'QV_COTData.json': { records: RECORDS } } }), async (p) => {
    await hudReady(p);
    await waitFor(async () => (await p.hud.text('#qv-cot-badge-text')) === 'COT: [BULL] +152.3K (73%)', 'NAS100 record');
  });
});

test('dropdown: badge toggles, clicks outside close it, on the studio page too', async () => {
  await withPage(() => openChart(browser, script), async ({ page, hud }) => {
    await hudReady(page);
    const shown = () => hud.visible('#qv-cot-modal');
    await hud.click('#qv-cot-badge');
    assert.equal(await shown(), true);
    await hud.click('#qv-modal-narrative');
    assert.equal(await shown(), true, 'a click inside the card keeps it');
    await hud.click('#qv-cot-badge');
    assert.equal(await shown(), false);
    await hud.click('#qv-cot-badge');
    await page.mouse.click(700, 500);
    assert.equal(await shown(), false, 'a click on the chart closes it');
    await hud.click('#qv-cot-badge');
    await hud.click('.qv-hud-title');
    assert.equal(await shown(), false, 'a click elsewhere in the HUD closes it');
  });
  await withPage(() => openStudio(browser, script), async ({ page, hud }) => {
    await hudReady(page);
    assert.equal(await hud.visible('#qv-cot-modal'), true, 'starts shown in the studio column');
    await hud.click('#qv-ai-chat-body');
    assert.equal(await hud.visible('#qv-cot-modal'), false);
  });
});
