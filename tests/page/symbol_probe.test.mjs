// The chart-symbol probe and the 800 ms sync: source order (the chart objects through the
// page reader first), clean-up, the legend table, one "SYNC:" per change and nothing when
// no source answers.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { buildPanelHud, launch, openChart, hudReady, posted, withPage, waitFor } from './lib/harness.mjs';

let browser;
let script;
before(async () => { script = buildPanelHud(); browser = await launch(); });
after(async () => { await browser.close(); });

const syncs = async (page) => (await posted(page)).filter((m) => m.startsWith('SYNC:'));
const probe = (p) => p.hud.eval('__qvTest.symbolProbe.getActiveTradingViewSymbol()');

test('toolbar symbol synced once per change, prefix removed, badge follows', async () => {
  await withPage(() => openChart(browser, script, { chart: { api: null, toolbar: 'NASDAQ:NDX' } }), async (p) => {
    await hudReady(p);
    await waitFor(async () => (await syncs(p)).length === 1, 'first sync');
    await p.page.waitForTimeout(1800);
    assert.deepEqual(await syncs(p), ['SYNC:NDX'], 'the same symbol again sends nothing');
    assert.equal(await p.hud.text('#qv-ai-sym-badge'), 'NDX');
    await p.page.evaluate(() => { document.querySelector('#header-toolbar-symbol-search span').textContent = 'oanda:xauusd'; });
    await waitFor(async () => (await syncs(p)).length === 2, 'second sync');
    await p.page.waitForTimeout(900);
    assert.deepEqual(await syncs(p), ['SYNC:NDX', 'SYNC:XAUUSD']);
    // a symbol that comes back after another one is a change again
    await p.page.evaluate(() => { document.querySelector('#header-toolbar-symbol-search span').textContent = 'NASDAQ:NDX'; });
    await waitFor(async () => (await syncs(p)).length === 3, 'third sync');
  });
});

test('chart API first: chart symbol, else the main series; the toolbar is the fallback', async () => {
  const cases = [
    [{ api: { symbol: 'FX:EURUSD' }, toolbar: 'NASDAQ:NDX' }, 'EURUSD'],
    [{ api: { seriesSymbol: 'TVC:DXY' }, toolbar: 'NASDAQ:NDX' }, 'DXY'],
    [{ api: { symbol: 'X' }, toolbar: 'NASDAQ:NDX' }, 'NDX'],  // too short to be a symbol
    [{ api: null, toolbar: 'A_VERY_LONG_SYMBOL_NAME' }, ''],
  ];
  for (const [chart, want] of cases) {
    await withPage(() => openChart(browser, script, { chart }), async (p) => {
      await hudReady(p);
      assert.equal(await probe(p), want, JSON.stringify(chart));
    });
  }
});

test('legend title when neither chart API nor toolbar answers', async () => {
  const cases = [
    ['Gold Spot / U.S. Dollar', 'XAUUSD'],
    ['Bitcoin / TetherUS', 'BTCUSD'],
    ['S&P 500 Index', 'US500'],
    ['Dow Jones Industrial Average', 'US30'],
    ['Euro / U.S. Dollar', 'EURO'],
    ['EURJPY\u00B7FXCM', 'EURJPY'],
    ['Some-Very-Long-Company-Name Inc', 'SOME'],
    ['Extraordinarily / x', ''],  // first word longer than 12 characters
  ];
  for (const [legend, want] of cases) {
    await withPage(() => openChart(browser, script, { chart: { api: null, toolbar: null, legend } }), async (p) => {
      await hudReady(p);
      assert.equal(await probe(p), want, legend);
    });
  }
});

test('no source: nothing is sent; the drawer badge says CURRENT', async () => {
  await withPage(() => openChart(browser, script, { chart: { api: null, toolbar: null, legend: null } }), async (p) => {
    await hudReady(p);
    await p.page.waitForTimeout(1800);
    assert.deepEqual(await syncs(p), []);
    await p.hud.click('#qv-btn-ai-toggle');
    assert.equal(await p.hud.text('#qv-ai-sym-badge'), 'CURRENT');
  });
  // a chart page that throws from its own objects is treated like one without them
  await withPage(() => openChart(browser, script, {
    chart: { toolbar: null, legend: 'Gold Spot', extra: '<script>window._exposed_chartWidgetCollection = { get activeChartWidget() { throw new Error("page changed"); } };</script>' },
  }), async (p) => {
    await hudReady(p);
    assert.equal(await probe(p), 'XAUUSD');
  });
});
