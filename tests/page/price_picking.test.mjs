// Picking a stop or target on the chart: the price sources in order, the guide line and
// badge, the capture-phase click and the message it sends.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { buildPanelHud, launch, openChart, openStudio, hudReady, posted, withPage, waitForTechnicals, waitForMessage, technicals } from './lib/harness.mjs';

let browser;
let script;
before(async () => { script = buildPanelHud(); browser = await launch(); });
after(async () => { await browser.close(); });

const gold = () => ({ 'QV_AICopilotData.json': technicals() });  // XAUUSD at 2000, ATR 4, H1
const priceAt = (p, y) => p.hud.eval(`__qvTest.pricePicking.extractPriceFromAxis(${y})`);
const markers = (p) => p.hud.eval('__qvTest.pricePicking.getPriceAxisMarkers()');
// label positions come from text layout, which may sit half a pixel off the box centre
const near = (a, b, tol = 1e-6) => Math.abs(a - b) < tol;

async function opened(chart, files = gold(), opts = {}) {
  const p = await openChart(browser, script, { chart, files, ...opts });
  await hudReady(p);
  await waitForTechnicals(p, files['QV_AICopilotData.json'].Symbol);
  return p;
}

test('chart scale first, its price range past 4 x the market, then the axis labels', async () => {
  // local y 200 is page y 238 (the canvas starts at 38)
  await withPage(() => opened({ api: { c2p: '(y) => 2100 - y / 5' } }), async (p) => {
    assert.ok(near(await priceAt(p, 238), 2060));
  });
  await withPage(() => opened({ api: { c2p: '() => 9000', range: [1900, 2100] } }), async (p) => {
    assert.ok(near(await priceAt(p, 238), 2100 - (200 / 700) * 200));
  });
  await withPage(() => opened({ api: { c2p: '() => 9000' } }), async (p) => {
    assert.ok(near(await priceAt(p, 238), 2040, 0.1), 'interpolated between the 2045 and 2035 labels');
  });
  await withPage(() => opened({ api: { c2p: '() => { throw new Error("not ready"); }' } }), async (p) => {
    assert.ok(near(await priceAt(p, 190), 2045), 'a label within 22 px gives its price');
  });
});

test('axis labels: strip, leaves only, widget bar skipped; one label; extrapolation', async () => {
  await withPage(() => opened({ api: null }), async (p) => {
    const marks = await markers(p);
    assert.deepEqual(marks.map((m) => [Math.round(m.y), m.price]), [[88, 2055], [188, 2045], [288, 2035], [388, 2025], [488, 2015], [588, 2005], [688, 1995]],
      'the 1999.99 of the widget bar is not a label');
    assert.ok(near(await priceAt(p, 750), 2060 - (750 - 38) / 10, 0.1), 'below the last label: along the first-to-last line');
  });
  await withPage(() => opened({ api: null, labels: [[388, '2025.00']] }), async (p) => {
    assert.ok(near(await priceAt(p, 500), 2025 - 112 * 4 * 0.05, 0.2));
  });
  // labels outside 0.35 x .. 2.8 x of the market are ignored
  await withPage(() => opened({ api: null, labels: [[188, '500.00'], [288, '9000.00']] }), async (p) => {
    assert.deepEqual(await markers(p), []);
  });
});

test('estimate around the market price with the timeframe factor', async () => {
  // page y 38 is the canvas top: one half-height above the middle
  for (const [tf, factor] of [['M15', 20], ['M30', 20], ['M5', 15], ['H1', 28], ['H4', 36], ['D1', 45], ['MN', 38], ['', 38]]) {
    const files = { 'QV_AICopilotData.json': technicals({ Timeframe: tf }) };
    await withPage(() => opened({ api: null, labels: [] }, files), async (p) => {
      assert.ok(near(await priceAt(p, 38), 2000 + 4 * factor / 2), tf);
    });
  }
  const bare = { 'QV_AICopilotData.json': technicals({ ATR_Volatility: undefined, Timeframe: 'M15' }) };
  await withPage(() => opened({ api: null, labels: [], canvas: false }, bare), async (p) => {
    // no canvas: the window's middle (400) and half height; volatility 1.5 % of 2000
    assert.ok(near(await priceAt(p, 0), 2000 + 30 * 20 / 2));
  });
  await withPage(() => opened({ api: null, labels: [], canvas: false }, { 'QV_AICopilotData.json': { Symbol: 'X' } }), async (p) => {
    assert.equal(await priceAt(p, 100), null, 'nothing to go on');
  });
});

test('picking: guide and badge, capture-phase click, PICK_SET and a price mark, Escape and toggling', async () => {
  const extra = '<script>window.__pageClicks = 0; document.addEventListener("click", () => { window.__pageClicks++; });</script>';
  await withPage(() => opened({ api: { c2p: '(y) => 2100 - y / 5' }, extra }, gold(), { fixedTime: new Date('2026-03-04T12:00:00Z') }), async ({ page, hud }) => {
    await hud.click('#qv-pick-sl');
    assert.equal(await hud.visible('#qv-crosshair-guide'), true);
    assert.ok((await hud.attr('#qv-sl-wrap', 'class')).includes('qv-picking-sl'));
    await page.mouse.move(500, 238);
    assert.equal(await hud.text('#qv-crosshair-badge'), '\u25CE SL: 2060.00 (600 pts) \u2022 Click to Set');
    assert.equal(await hud.call('#qv-crosshair-guide', function () { return this.style.top; }), '238px');
    // a click on the panel leaves picking on
    await hud.click('#qv-btn-min');
    await hud.click('#qv-btn-min');
    assert.equal(await hud.visible('#qv-crosshair-guide'), true);
    // a click the page's script makes on the chart sets nothing
    await page.evaluate(() => document.elementFromPoint(500, 238).dispatchEvent(new MouseEvent('click', { bubbles: true, clientX: 500, clientY: 238 })));
    assert.equal(await hud.value('#qv-sl-input'), '20');
    assert.equal(await hud.visible('#qv-crosshair-guide'), true, 'still picking');
    const clicksBefore = await page.evaluate(() => window.__pageClicks);
    await page.mouse.click(500, 238);
    assert.equal(await page.evaluate(() => window.__pageClicks), clicksBefore, 'the chart page never saw the click');
    assert.equal(await hud.value('#qv-sl-input'), '2060.00');
    assert.equal(await hud.text('#qv-sl-mark'), 'price', 'a picked level is a price');
    assert.deepEqual((await posted(page)).filter((m) => m.startsWith('PICK_SET')), ['PICK_SET: target=SL price=2060.00']);
    assert.equal(await hud.visible('#qv-crosshair-guide'), false);
    assert.ok(!(await hud.attr('#qv-sl-wrap', 'class')).includes('qv-picking-sl'));
    await hud.click('#qv-btn-buy');
    assert.deepEqual((await posted(page)).filter((m) => m.startsWith('TRADE:')).map((m) => m.split(',').slice(4)), [['P:2060', '40']]);

    // switching the target, then Escape; the same button twice cancels
    await hud.click('#qv-pick-sl');
    await hud.click('#qv-pick-tp');
    assert.deepEqual([await hud.attr('#qv-sl-wrap', 'class'), await hud.attr('#qv-tp-wrap', 'class')],
      ['qv-field-wrap', 'qv-field-wrap qv-picking-tp']);
    await page.keyboard.press('Escape');
    assert.equal(await hud.visible('#qv-crosshair-guide'), false);
    await hud.click('#qv-pick-tp');
    await hud.click('#qv-pick-tp');
    assert.equal(await hud.visible('#qv-crosshair-guide'), false);
    const after = await page.evaluate(() => window.__pageClicks);
    await page.mouse.click(600, 300);
    assert.equal(await page.evaluate(() => window.__pageClicks), after + 1, 'clicks reach the page again when idle');
    assert.equal(await hud.value('#qv-tp-input'), '40');
  });
  // no price anywhere: the badge invites a click, and the click cancels without a change
  await withPage(() => opened({ api: null, labels: [], canvas: false }, { 'QV_AICopilotData.json': { Symbol: 'X' } }), async ({ page, hud }) => {
    await hud.click('#qv-pick-tp');
    await page.mouse.move(600, 300);
    assert.equal(await hud.text('#qv-crosshair-badge'), '\u25CE Click chart to set TP');
    await page.mouse.click(600, 300);
    assert.equal(await hud.value('#qv-tp-input'), '40');
    assert.deepEqual((await posted(page)).filter((m) => m.startsWith('PICK_SET')), []);
    assert.equal(await hud.visible('#qv-crosshair-guide'), false);
  });
});

test('studio page: picking shows no guide and ends with Escape', async () => {
  await withPage(() => openStudio(browser, script, {}), async ({ page, hud }) => {
    await hudReady(page);
    await hud.click('#qv-pick-sl');
    assert.ok((await hud.attr('#qv-sl-wrap', 'class')).includes('qv-picking-sl'));
    await page.keyboard.press('Escape');
    assert.ok(!(await hud.attr('#qv-sl-wrap', 'class')).includes('qv-picking-sl'));
  });
});

test('diagnostics probe 3.5 s after a build', async () => {
  const extra = '<div style="position:absolute;left:20px;top:760px"><span>Target 101.5</span></div>';
  await withPage(() => opened({ api: { c2p: '(y) => 2100 - y / 5', range: [1900, 2100] }, extra }), async (p) => {
    await waitForMessage(p, (m) => m.startsWith('PROBE_DOM: '), 'the diagnostics');
    const msgs = await posted(p);
    const cwc = msgs.find((m) => m.startsWith('PROBE_CWC: '));
    assert.match(cwc, /^PROBE_CWC: exists=true, pr=\[1900,2100\], psH=700, c2p\(0\)=2100, c2p\(100\)=2080, p2c\(pMax\)=2100, p2c\(pMin\)=1900, p2c\(91\.25\)=91\.25, mProto=/);
    const dom = JSON.parse(msgs.find((m) => m.startsWith('PROBE_DOM: ')).slice('PROBE_DOM: '.length));
    assert.deepEqual(dom, [{ tag: 'SPAN', txt: 'Target 101.5', x: 20, y: 760 }]);
  });
});
