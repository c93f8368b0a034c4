// Page-tier harness for every HUD page test: the HUD joined as the build joins it and
// injected as the host injects it (see hud_page.mjs, which this extends), a chart page
// of our own at the chart page's address offering what the script probes, the host's
// studio document at the virtual data host, bridge files and provider replies by routing,
// the host's part played by fakeHost. Tests reach the HUD through p.hud (hud_dom.mjs).
import { execFileSync } from 'node:child_process';
import assert from 'node:assert/strict';
import { existsSync, mkdtempSync, readFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, dirname } from 'node:path';
import { fileURLToPath } from 'node:url';
import { buildHud, launch, openPage, posted, fakeHost, pageRecord, DATA_HOST, PROVIDER_ORIGINS } from './hud_page.mjs';

export { buildHud, launch, openPage, posted, fakeHost, pageRecord, DATA_HOST, PROVIDER_ORIGINS };

const repo = join(dirname(fileURLToPath(import.meta.url)), '..', '..', '..');

export const CHART_ORIGIN = 'https://www.tradingview.com/';
export const CHART_URL = CHART_ORIGIN + 'chart/?symbol=NASDAQ:NDX&interval=60&theme=dark';

// Functions and objects whose answers the tests check directly, plus a live view of the
// snapshot.
export const EXPOSE = ['getMarketStatusInfo', 'isWithinPermittedSchedule', 'resolveCOTSymbol', 'pricePicking', 'symbolProbe', 'ticket'];
export const EXPOSE_EXTRA = 'window.__qvTech = function () { return chartData.latest(); };';

export function buildPanelHud() {
  return buildHud(EXPOSE, EXPOSE_EXTRA);
}

// The studio document exactly as the host writes it, from the host's own builder: the native
// build's page_script_dump, else one compiled here; only without either a copy of its shape.
// (The compile here once lacked a source it needs and every run fell back to the copy
// unnoticed, so the build's program comes first.)
let studioCache;
export function studioHtml() {
  if (studioCache) return studioCache;
  try {
    let exe = join(repo, 'build', 'native', 'testing', 'page_script_dump');
    if (!existsSync(exe)) {
      exe = join(mkdtempSync(join(tmpdir(), 'qv-psd-')), 'page-script-dump');
      execFileSync('g++', ['-std=c++17', '-I', repo, '-o', exe,
        join(repo, 'testing', 'page-script-dump', 'page_script_dump.cpp'), join(repo, 'overlay', 'page_scripts.cpp'),
        join(repo, 'host', 'string_literal.cpp')], { stdio: 'pipe' });
    }
    studioCache = execFileSync(exe, ['studio'], { input: '' }).toString('utf8');
  } catch {
    studioCache = readFileSync(join(repo, 'tests', 'page', 'fixtures', 'studio.html'), 'utf8');
  }
  return studioCache;
}

// Axis labels (centre y in page pixels, text) for a chart whose main canvas spans
// y 38..738 and whose axis reads 2060 at the top, falling 0.1 per pixel.
export const AXIS_LABELS = [88, 188, 288, 388, 488, 588, 688].map((y) => [y, (2060 - (y - 38) / 10).toFixed(2)]);

// chart: api (null for none) { symbol, seriesSymbol, c2p (function source), range [min,max] },
// toolbar text or null, legend text or null, canvas (bool), labels [[y, text]], extra body.
export function chartHtml(chart = {}) {
  const c = { api: {}, toolbar: 'NASDAQ:NDX', legend: null, canvas: true, labels: AXIS_LABELS, extra: '', ...chart };
  const api = c.api === null ? 'null' : `(function () {
      const cfg = ${JSON.stringify({ symbol: c.api.symbol ?? null, seriesSymbol: c.api.seriesSymbol ?? null, range: c.api.range ?? null })};
      const c2p = ${c.api.c2p || 'null'};
      const scale = {};
      if (c2p) scale.coordinateToPrice = c2p;
      if (cfg.range) scale.priceRange = () => ({ minValue: () => cfg.range[0], maxValue: () => cfg.range[1] });
      scale.priceToCoordinate = (p) => p;
      scale.height = () => 700;
      const series = { priceScale: () => scale };
      if (cfg.seriesSymbol) series.symbol = () => cfg.seriesSymbol;
      const chartObj = { model: () => ({ mainSeries: () => series }) };
      if (cfg.symbol) chartObj.symbol = () => cfg.symbol;
      return { activeChartWidget: { value: () => chartObj } };
    })()`;
  const labels = c.labels.map(([y, t]) =>
    `<div class="price-axis-label" style="position:absolute;left:1104px;top:${y - 8}px;height:16px;line-height:16px;width:60px;font-size:11px;color:#b2b5be"><span>${t}</span></div>`).join('');
  return `<!doctype html><html><head><meta charset="utf-8"><title>chart</title>
<style>body{margin:0;background:#131722;color:#d1d4dc;font-family:sans-serif;overflow:hidden}
#header-toolbar{position:absolute;left:0;top:0;right:0;height:38px;background:#1e222d;display:flex;align-items:center;padding-left:12px}
</style></head><body>
${c.toolbar === null ? '' : `<div id="header-toolbar"><div id="header-toolbar-symbol-search"><span>${c.toolbar}</span> <span>\u25BE</span></div></div>`}
<div class="chart-container" style="position:absolute;left:0;top:38px;width:1180px;height:762px">
${c.legend === null ? '' : `<div style="position:absolute;left:12px;top:8px"><div data-name="legend-source-title">${c.legend}</div></div>`}
</div>
${c.canvas ? '<canvas id="main-canvas" width="1100" height="700" style="position:absolute;left:0;top:38px;width:1100px;height:700px"></canvas><canvas width="120" height="60" style="position:absolute;left:1190px;top:740px"></canvas>' : ''}
<div class="price-axis" style="position:absolute;left:1100px;top:38px;width:80px;height:700px">${''}</div>
${labels}
<div class="widgetbar-pages" style="position:absolute;left:1110px;top:400px;width:60px;height:14px"><span>1999.99</span></div>
<script>
window._exposed_chartWidgetCollection = ${api};
(function draw() {
  const cv = document.getElementById('main-canvas');
  if (!cv) return;
  const g = cv.getContext('2d');
  g.fillStyle = '#131722'; g.fillRect(0, 0, 1100, 700);
  g.strokeStyle = 'rgba(255,255,255,0.05)';
  for (let y = 50; y < 700; y += 100) { g.beginPath(); g.moveTo(0, y); g.lineTo(1100, y); g.stroke(); }
  let p = 360;
  for (let i = 0; i < 90; i++) {
    const o = p, cl = p + Math.sin(i * 0.7) * 18 + Math.cos(i * 0.31) * 9;
    const hi = Math.min(o, cl) - 8 - (i % 5) * 2, lo = Math.max(o, cl) + 8 + (i % 3) * 3;
    const up = cl < o;
    g.strokeStyle = g.fillStyle = up ? '#089981' : '#f23645';
    const x = 20 + i * 12;
    g.beginPath(); g.moveTo(x + 4, hi); g.lineTo(x + 4, lo); g.stroke();
    g.fillRect(x, Math.min(o, cl), 8, Math.max(2, Math.abs(cl - o)));
    p = cl;
  }
})();
</script>
${c.extra}
</body></html>`;
}

const FRAME_HTML = '<!doctype html><html><head></head><body><p>frame</p></body></html>';

export function technicals(over = {}) {
  return { Symbol: 'XAUUSD', CurrentPrice: 2000, ATR_Volatility: 4, Timeframe: 'H1', ...over };
}

// The options every page passes on to openPage.
const PAGE_OPTIONS = ['files', 'providers', 'storage', 'fixedTime', 'clock', 'viewport', 'host', 'noHost',
  'settings', 'secrets', 'positions', 'reader'];

function pageOptions(opts) {
  const out = {};
  for (const k of PAGE_OPTIONS) if (opts[k] !== undefined) out[k] = opts[k];
  return out;
}

// Opens the chart page. opts: chart (chartHtml options), frame (adds a same-origin iframe),
// injectTwice, chartHandle (pushed by the host as the page's chart), and openPage's options.
export async function openChart(browser, script, opts = {}) {
  const chart = { ...(opts.chart || {}) };
  if (opts.frame) chart.extra = (chart.extra || '') + `<iframe id="child" src="${CHART_ORIGIN}frame.html" style="position:absolute;left:0;top:760px;width:200px;height:30px"></iframe>`;
  const html = chartHtml(chart);
  return openPage(browser, {
    ...pageOptions(opts),
    script,
    extraScripts: opts.injectTwice ? [script] : [],
    url: CHART_URL,
    pageOrigins: [CHART_ORIGIN],
    html: (url) => (url.includes('/frame.html') ? FRAME_HTML : html),
    files: opts.files || {},
    chartHandle: opts.chartHandle,
  });
}

export async function openStudio(browser, script, opts = {}) {
  const files = opts.files || {};
  files['headless.html'] = () => ({ status: 200, contentType: 'text/html; charset=utf-8', body: studioHtml() });
  return openPage(browser, { ...pageOptions(opts), script, url: `https://${DATA_HOST}/headless.html`, files });
}

// The HUD is built and the host has answered its announcement (settings, secrets, chart).
export async function hudReady(pageOrRecord, timeout = 10000) {
  const p = pageRecord(pageOrRecord);
  let timer;
  await Promise.race([p.ready, new Promise((_, reject) => { timer = setTimeout(() => reject(new Error('the HUD did not announce itself')), timeout); })])
    .finally(() => clearTimeout(timer));
  await p.hud.waitFor('#qv-ai-drawer');
}

// The chart page's drawer waits off-screen until the panel's AI button slides it in.
export async function openDrawer(pageOrRecord) {
  const { hud } = pageRecord(pageOrRecord);
  await hud.click('#qv-btn-ai-toggle');
  await hud.waitForRoot(function () {
    const r = this.getElementById('qv-ai-drawer').getBoundingClientRect();
    return Math.round(r.right) <= window.innerWidth;
  }, [], 5000, 'the drawer slid in');
}

// An element's place and width in the page, in CSS pixels.
export function box(hud, selector) {
  return hud.box(selector).then((r) => ({ left: r.left, top: r.top, width: r.width }));
}

export async function waitFor(fn, what, timeout = 5000) {
  const end = Date.now() + timeout;
  for (;;) {
    const v = await fn();
    if (v) return v;
    if (Date.now() > end) throw new Error('timed out waiting for ' + what);
    await new Promise((r) => setTimeout(r, 50));
  }
}

export async function waitForMessage(pageOrRecord, pred, what) {
  return waitFor(async () => (await posted(pageOrRecord)).find(pred), what || 'a host message');
}

export async function waitForTechnicals(pageOrRecord, symbol) {
  const { hud } = pageRecord(pageOrRecord);
  await waitFor(async () => (await hud.eval('(function () { const t = __qvTech(); return t && t.Symbol; })()')) === symbol,
    'the snapshot of ' + symbol);
}

// The one way every page test runs: a fresh page from open(), fn(p) with the page's record
// (p.page, p.hud, p.host, p.posted(), p.push(...)), then no page error thrown, neither by
// the HUD's world nor by the page's.
export async function withPage(open, fn) {
  const p = await open();
  try {
    await fn(p);
    assert.deepEqual(p.errors.map(String), [], 'no page errors');
  } finally {
    await p.close();
  }
}
