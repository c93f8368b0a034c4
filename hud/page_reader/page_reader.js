// The chart page reader. The chart site keeps its chart objects (the chart-widget
// collection, its model, the price scale) in its own world, which the HUD's isolated world
// cannot see, so this small document script runs in the page's world and answers the HUD's
// questions about them through the DOM: the HUD dispatches "qv-page-read" on the document
// with a JSON text ({"q":"symbol"}, {"q":"price","y":<canvas y>}, {"q":"probe"}) and this
// answers at once with "qv-page-data" and a JSON text of plain values.
//
// Everything here is the page's to change, and the HUD takes the answers as data from the
// page (checked, and never a reason to act): this script holds nothing and can do nothing
// that the page's own scripts could not.

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

function chartSymbol() {
  const chart = activeChartWidget();
  if (!chart) return '';
  if (typeof chart.symbol === 'function') {
    const s = chart.symbol();
    if (typeof s === 'string' && s.length >= 2) return s;
  }
  const series = callOrRead(callOrRead(chart, 'model'), 'mainSeries');
  if (!series) return '';
  let s;
  if (typeof series.symbol === 'function') s = series.symbol();
  else if (typeof series.actualSymbol === 'function') s = series.actualSymbol();
  else if (typeof series.symbolInfo === 'function') s = (series.symbolInfo() || {}).name;
  else s = series._symbol;
  return typeof s === 'string' && s.length >= 2 ? s : '';
}

function mainPriceScale() {
  const cwc = window._exposed_chartWidgetCollection;
  const chart = cwc && cwc.activeChartWidget && typeof cwc.activeChartWidget.value === 'function'
    ? cwc.activeChartWidget.value() : null;
  return callOrRead(callOrRead(callOrRead(chart, 'model'), 'mainSeries'), 'priceScale');
}

function finiteOrNull(v) {
  const n = Number(v);
  return v !== null && v !== undefined && isFinite(n) ? n : null;
}

// The scale's price at the canvas y and its visible range; null for what it cannot say.
function scaleAt(y) {
  const out = { c2p: null, min: null, max: null };
  const scale = mainPriceScale();
  if (!scale) return out;
  try {
    if (typeof scale.coordinateToPrice === 'function') out.c2p = finiteOrNull(scale.coordinateToPrice(y));
  } catch (e) { /* the scale is not ready */ }
  try {
    if (typeof scale.priceRange === 'function') {
      const range = scale.priceRange();
      out.max = finiteOrNull(range.maxValue());
      out.min = finiteOrNull(range.minValue());
    }
  } catch (e) { /* no range */ }
  return out;
}

// The diagnostics line the HUD sends for the host's log, as it always read.
function probeText() {
  try {
    const cwc = window._exposed_chartWidgetCollection;
    let msg = 'PROBE_CWC: exists=' + !!cwc;
    const chart = activeChartWidget();
    const model = callOrRead(chart, 'model');
    if (model) {
      const scale = callOrRead(callOrRead(model, 'mainSeries'), 'priceScale');
      if (scale) {
        const range = typeof scale.priceRange === 'function' ? scale.priceRange() : null;
        const max = range ? range.maxValue() : undefined;
        const min = range ? range.minValue() : undefined;
        const c2p = function (y) { return typeof scale.coordinateToPrice === 'function' ? scale.coordinateToPrice(y) : 'na'; };
        const p2c = function (v) { return typeof scale.priceToCoordinate === 'function' ? scale.priceToCoordinate(v) : 'na'; };
        msg += ', pr=[' + min + ',' + max + ']';
        msg += ', psH=' + (typeof scale.height === 'function' ? scale.height() : 'na');
        msg += ', c2p(0)=' + c2p(0) + ', c2p(100)=' + c2p(100);
        msg += ', p2c(pMax)=' + p2c(max) + ', p2c(pMin)=' + p2c(min) + ', p2c(91.25)=' + p2c(91.25);
      }
      const proto = Object.getPrototypeOf(model);
      msg += ', mProto=' + (proto ? Object.getOwnPropertyNames(proto).slice(0, 35).join('|') : '');
      const tools = callOrRead(model, 'lineTools');
      if (tools && typeof tools.length === 'number') {
        msg += ', ltCount=' + tools.length;
        for (let i = 0; i < tools.length; i++) {
          const t = tools[i] || {};
          const name = typeof t.toolname === 'string' ? t.toolname : String(callOrRead(t, 'name') || '');
          let pts = '';
          try { pts = JSON.stringify(callOrRead(t, 'points') || null); } catch (e) { pts = 'null'; }
          msg += ' [LT:' + name + ' pts=' + pts + ']';
        }
      }
    }
    return msg;
  } catch (e) {
    return 'PROBE_ERR: ' + (e && e.message ? e.message : String(e));
  }
}

function answer(q) {
  if (q.q === 'symbol') {
    let symbol = '';
    try { symbol = chartSymbol(); } catch (e) { symbol = ''; }
    return { q: 'symbol', symbol: symbol };
  }
  if (q.q === 'price') {
    let at = { c2p: null, min: null, max: null };
    try { at = scaleAt(Number(q.y)); } catch (e) { /* no chart */ }
    return { q: 'price', c2p: at.c2p, min: at.min, max: at.max };
  }
  if (q.q === 'probe') return { q: 'probe', text: probeText() };
  return null;
}

document.addEventListener('qv-page-read', function (ev) {
  let q = null;
  try { q = JSON.parse(String(ev.detail)); } catch (e) { q = null; }
  if (!q || typeof q !== 'object') return;
  const out = answer(q);
  if (!out) return;
  document.dispatchEvent(new CustomEvent('qv-page-data', { detail: JSON.stringify(out) }));
}, true);
