// The chart's symbol, read from the chart page. The page is not ours and changes without
// notice, so each source is tried under its own guard and a changed layout only means
// "no symbol".

var lastKnownSymbol = '';
// When the chart's symbol last changed in this document (0: not since it loaded).
var lastSymbolChangeAt = 0;

function cleanProbedSymbol(text) {
  let s = String(text).trim();
  const colon = s.indexOf(':');
  if (colon !== -1) s = s.slice(colon + 1);
  // A comma would split the host's one-record CSV files into extra fields.
  return s.trim().toUpperCase().replace(/[\s,]/g, '');
}

function callOrRead(obj, name) {
  if (!obj) return undefined;
  const v = obj[name];
  return typeof v === 'function' ? v.call(obj) : v;
}

function activeChartWidget() {
  const cwc = window._exposed_chartWidgetCollection;
  if (!cwc) return null;
  const acw = cwc.activeChartWidget;
  if (typeof acw === 'function') return acw.call(cwc);
  if (acw && typeof acw.value === 'function') return acw.value();
  return null;
}

function symbolFromChartApi() {
  const chart = activeChartWidget();
  if (!chart) return '';
  if (typeof chart.symbol === 'function') {
    const s = chart.symbol();
    if (typeof s === 'string' && s.length >= 2) return cleanProbedSymbol(s);
  }
  const series = callOrRead(callOrRead(chart, 'model'), 'mainSeries');
  if (!series) return '';
  let s;
  if (typeof series.symbol === 'function') s = series.symbol();
  else if (typeof series.actualSymbol === 'function') s = series.actualSymbol();
  else if (typeof series.symbolInfo === 'function') s = (series.symbolInfo() || {}).name;
  else s = series._symbol;
  return typeof s === 'string' && s.length >= 2 ? cleanProbedSymbol(s) : '';
}

function symbolFromToolbar() {
  const bar = document.getElementById('header-toolbar') || document.querySelector('[class*="toolbar-"]');
  if (!bar) return '';
  const el = bar.querySelector('#header-toolbar-symbol-search') ||
    bar.querySelector('[data-name="symbol-search-items"]') ||
    bar.querySelector('[class*="symbolSearch"]');
  if (!el) return '';
  const word = String(el.innerText || el.textContent || '').trim().split(/\s/)[0];
  return word.length >= 2 && word.length <= 15 ? cleanProbedSymbol(word) : '';
}

var LEGEND_SYMBOLS = [
  [['BITCOIN', 'BTC'], 'BTCUSD'],
  [['ETHEREUM', 'ETH'], 'ETHUSD'],
  [['NASDAQ', 'NDX', 'US100', 'NAS100'], 'NDX'],
  [['DOW', 'US30', 'DJI'], 'US30'],
  [['S&P', 'SPX', 'US500'], 'US500'],
  [['GOLD', 'XAU'], 'XAUUSD'],
  [['SILVER', 'XAG'], 'XAGUSD'],
  [['OIL', 'WTI', 'BRENT', 'CRUDE', 'XTI', 'XBR'], 'USOIL']
];

function symbolFromLegend() {
  const box = document.querySelector('.chart-container') || document.querySelector('[class*="chart-gui-wrapper"]');
  if (!box) return '';
  const el = box.querySelector('[data-name="legend-source-title"]') || box.querySelector('[class*="sourceTitle"]');
  if (!el) return '';
  const text = String(el.textContent || '').trim().toUpperCase();
  if (!text) return '';
  for (let i = 0; i < LEGEND_SYMBOLS.length; i++) {
    const row = LEGEND_SYMBOLS[i];
    if (row[0].some(function (w) { return text.indexOf(w) !== -1; })) return row[1];
  }
  const first = text.split(/[\s\u00B7\u2022\/\u2014\u2013-]+/)[0];
  return first.length >= 2 && first.length <= 12 ? cleanProbedSymbol(first) : '';
}

function getActiveTradingViewSymbol() {
  const sources = [symbolFromChartApi, symbolFromToolbar, symbolFromLegend];
  for (let i = 0; i < sources.length; i++) {
    try {
      const s = sources[i]();
      if (s) return s;
    } catch (e) { /* next source */ }
  }
  return '';
}

// Once per document. The studio page holds no chart: anything it found would be our own
// text, and a "SYNC:" from it would move the chart's host symbol.
function runSymbolSync() {
  try {
    if (isStudioPage) return;
    const sym = getActiveTradingViewSymbol();
    if (!sym || sym === lastKnownSymbol) return;
    if (lastKnownSymbol) lastSymbolChangeAt = Date.now();
    lastKnownSymbol = sym;
    const badge = byId('qv-ai-sym-badge');
    if (badge) badge.textContent = sym;
    postToHost('SYNC:' + sym);
  } catch (e) { /* next tick */ }
}
