// Point-and-click stop and target. The price under the pointer comes from the chart's own
// scale when the page exposes it, else from the price-axis labels, else from an estimate
// around the snapshot's price; the scale path is tried first because the label path walks
// every div and span of the page on each mouse move.

var pickingTarget = null;
var pickingListenersInstalled = false;

function isInsideHud(node) {
  if (!node || typeof node.closest !== 'function') return false;
  return !!node.closest('#qv-hud-panel, #qv-hud-restore-btn, #qv-ai-drawer, #qv-vault-modal');
}

function findMainCanvas() {
  let best = null;
  let bestArea = 0;
  const list = document.getElementsByTagName('canvas');
  for (let i = 0; i < list.length; i++) {
    const r = list[i].getBoundingClientRect();
    if (r.width > 280 && r.height > 180 && r.width * r.height > bestArea) {
      best = list[i];
      bestArea = r.width * r.height;
    }
  }
  return best;
}

function technicalsVolatility(reference) {
  const atr = cachedTechnicals ? Number(cachedTechnicals.ATR_Volatility) : NaN;
  if (isFinite(atr) && atr > 0) return atr;
  return reference > 0 ? reference * 0.015 : 1.0;
}

// Ordered: M15 must be tested before M1, which it contains.
var TIMEFRAME_FACTORS = [[['M15', 'M30'], 20.0], [['M1', 'M5'], 15.0], [['H1'], 28.0], [['H4'], 36.0], [['D1', 'W1'], 45.0]];

function timeframeFactor() {
  const tf = cachedTechnicals && cachedTechnicals.Timeframe ? String(cachedTechnicals.Timeframe).toUpperCase() : '';
  for (let i = 0; i < TIMEFRAME_FACTORS.length; i++) {
    if (TIMEFRAME_FACTORS[i][0].some(function (n) { return tf.indexOf(n) !== -1; })) return TIMEFRAME_FACTORS[i][1];
  }
  return 38.0;
}

function getPriceAxisMarkers() {
  const reference = technicalsPrice();
  const canvas = findMainCanvas();
  if (!canvas) return [];
  const c = canvas.getBoundingClientRect();
  const found = [];
  const nodes = document.querySelectorAll('div, span');
  for (let i = 0; i < nodes.length; i++) {
    const node = nodes[i];
    // Only leaves: a wrapper around several labels would report all of them at its centre.
    if (node.children.length !== 0) continue;
    const r = node.getBoundingClientRect();
    if (!r.width || !r.height) continue;
    if (r.left < c.right - 2 || r.right > c.right + 87 || r.top < c.top - 15 || r.bottom > c.bottom + 15) continue;
    if (isInsideHud(node) || node.closest('[class*="watchlist"], [class*="widgetbar"]')) continue;
    const text = String(node.textContent || '').trim();
    const re = /\b\d{1,6}(?:\.\d{1,5})?\b/g;
    let m;
    while ((m = re.exec(text)) !== null) {
      const price = parseFloat(m[0]);
      if (reference && (price < 0.35 * reference || price > 2.8 * reference)) continue;
      if (price > 0.001) found.push({ y: r.top + r.height / 2, price: price });
    }
  }
  found.sort(function (a, b) { return a.y - b.y; });
  const kept = [];
  found.forEach(function (m) {
    const clash = kept.some(function (k) { return Math.abs(k.y - m.y) <= 5 || Math.abs(k.price - m.price) <= 0.0001; });
    if (!clash) kept.push(m);
  });
  return kept;
}

function priceFromChartScale(localY, canvas, reference) {
  try {
    const cwc = window._exposed_chartWidgetCollection;
    const chart = cwc && cwc.activeChartWidget && typeof cwc.activeChartWidget.value === 'function'
      ? cwc.activeChartWidget.value() : null;
    const scale = callOrRead(callOrRead(callOrRead(chart, 'model'), 'mainSeries'), 'priceScale');
    if (!scale) return null;
    if (typeof scale.coordinateToPrice === 'function') {
      const p = Number(scale.coordinateToPrice(localY));
      // A scale read before the chart has laid out answers far from the market; reject it.
      if (isFinite(p) && p > 0 && (!reference || (p > 0.25 * reference && p < 4 * reference))) return p;
    }
    if (typeof scale.priceRange === 'function' && canvas && canvas.getBoundingClientRect().height > 50) {
      const range = scale.priceRange();
      const max = Number(range.maxValue());
      const min = Number(range.minValue());
      if (isFinite(max) && isFinite(min) && max > min) {
        const ratio = Math.max(0, Math.min(1, localY / canvas.getBoundingClientRect().height));
        const p = max - ratio * (max - min);
        if (p > 0) return p;
      }
    }
  } catch (e) { /* next method */ }
  return null;
}

function priceFromAxisLabels(clientY, volatility) {
  const marks = getPriceAxisMarkers();
  if (marks.length === 0) return null;
  for (let i = 0; i < marks.length; i++) {
    if (Math.abs(marks[i].y - clientY) <= 22) return marks[i].price;
  }
  if (marks.length >= 2) {
    let above = null;
    let below = null;
    marks.forEach(function (m) {
      if (m.y <= clientY) above = m;
      else if (!below) below = m;
    });
    if (above && below && below.y - above.y > 4) {
      return above.price + (clientY - above.y) * (below.price - above.price) / (below.y - above.y);
    }
    const first = marks[0];
    const last = marks[marks.length - 1];
    if (last.y - first.y > 10) {
      return first.price + (clientY - first.y) * (last.price - first.price) / (last.y - first.y);
    }
    return null;
  }
  return marks[0].price - (clientY - marks[0].y) * volatility * 0.05;
}

function extractPriceFromAxis(clientY) {
  const reference = technicalsPrice();
  const volatility = technicalsVolatility(reference);
  const canvas = findMainCanvas();
  const rect = canvas ? canvas.getBoundingClientRect() : null;
  const localY = clientY - (rect ? rect.top : 38);
  const candidates = [
    function () { return priceFromChartScale(localY, canvas, reference); },
    function () { return priceFromAxisLabels(clientY, volatility); },
    function () {
      if (!reference) return null;
      const mid = rect ? rect.top + rect.height / 2 : window.innerHeight / 2;
      const half = rect ? rect.height / 2 : window.innerHeight / 2;
      return reference - ((clientY - mid) / half) * volatility * timeframeFactor() / 2;
    }
  ];
  for (let i = 0; i < candidates.length; i++) {
    try {
      const p = candidates[i]();
      if (p !== null && p !== undefined && isFinite(p)) return p;
    } catch (e) { /* next method */ }
  }
  return null;
}

function setGuideBadge(p) {
  const badge = byId('qv-crosshair-badge');
  if (!badge) return;
  badge.textContent = '';
  if (p === null) {
    badge.textContent = '\u25CE Click chart to set ' + pickingTarget;
    return;
  }
  const reference = technicalsPrice() || p;
  const dist = Math.abs(p - reference);
  const distText = reference > 100 ? Math.round(dist * 10) + ' pts' : (dist * 10000).toFixed(0) + ' pips';
  badge.appendChild(document.createTextNode('\u25CE '));
  badge.appendChild(el('b', { text: pickingTarget }));
  badge.appendChild(document.createTextNode(': ' + formatTicketPrice(p, reference) + ' (' + distText + ') \u2022 Click to Set'));
}

function setPickingMode(type) {
  if (pickingTarget === type) {
    cancelPicking();
    return;
  }
  pickingTarget = type;
  const sl = byId('qv-sl-wrap');
  const tp = byId('qv-tp-wrap');
  if (sl) sl.classList.toggle('qv-picking-sl', type === 'SL');
  if (tp) tp.classList.toggle('qv-picking-tp', type === 'TP');
  const colour = type === 'SL' ? '#f23645' : '#3875ff';
  const guide = byId('qv-crosshair-guide');
  if (guide) {
    guide.style.borderTopColor = colour;
    guide.style.display = 'block';
  }
  const badge = byId('qv-crosshair-badge');
  if (badge) {
    badge.style.background = type === 'SL' ? 'rgba(242,54,69,0.95)' : 'rgba(56,117,255,0.95)';
    badge.textContent = '\u25CE Click chart to set ' + type;
  }
}

function cancelPicking() {
  pickingTarget = null;
  const guide = byId('qv-crosshair-guide');
  if (guide) guide.style.display = 'none';
  const sl = byId('qv-sl-wrap');
  const tp = byId('qv-tp-wrap');
  if (sl) sl.classList.remove('qv-picking-sl');
  if (tp) tp.classList.remove('qv-picking-tp');
}

function onPickingMove(ev) {
  if (!pickingTarget) return;
  const guide = byId('qv-crosshair-guide');
  if (guide) guide.style.top = ev.clientY + 'px';
  setGuideBadge(extractPriceFromAxis(ev.clientY));
}

function onPickingClick(ev) {
  if (!pickingTarget || isInsideHud(ev.target)) return;
  ev.preventDefault();
  ev.stopPropagation();
  if (typeof ev.stopImmediatePropagation === 'function') ev.stopImmediatePropagation();
  const target = pickingTarget;
  const p = extractPriceFromAxis(ev.clientY);
  if (p !== null) {
    const text = formatTicketPrice(p, technicalsPrice());
    const input = byId(target === 'SL' ? 'qv-sl-input' : 'qv-tp-input');
    if (input) {
      input.value = text;
      input.style.boxShadow = '0 0 12px ' + (target === 'SL' ? '#ff5252' : '#00e676');
      qvSetTimeout(guarded(function () { input.style.boxShadow = ''; }), 600);
    }
    storeSet(target === 'SL' ? QV_KEYS.sl : QV_KEYS.tp, text);
    postToHost('PICK_SET: target=' + target + ' price=' + text);
  }
  cancelPicking();
}

function installPickingListeners() {
  if (pickingListenersInstalled) return;
  pickingListenersInstalled = true;
  // Capture phase on the window: the chart page must not see the click that sets a price.
  window.addEventListener('click', guarded(onPickingClick), true);
  document.addEventListener('mousemove', guarded(onPickingMove), true);
  document.addEventListener('keydown', guarded(function (ev) {
    if (ev.key === 'Escape' && pickingTarget) cancelPicking();
  }), true);
}

// Diagnostics for the host's log: what the chart objects answer and which labels exist.
function runTVProbe() {
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
    postToHost(msg);
  } catch (e) {
    postToHost('PROBE_ERR: ' + (e && e.message ? e.message : String(e)));
  }
  try {
    const hits = [];
    const nodes = document.querySelectorAll('body *');
    for (let i = 0; i < nodes.length && hits.length < 8; i++) {
      const n = nodes[i];
      if (n.children.length !== 0 || isInsideHud(n)) continue;
      const text = String(n.textContent || '').trim();
      if (!/101\.|76\.|Target|Stop/.test(text)) continue;
      const r = n.getBoundingClientRect();
      hits.push({ tag: n.tagName, txt: text.slice(0, 30), x: Math.round(r.left), y: Math.round(r.top) });
    }
    postToHost('PROBE_DOM: ' + JSON.stringify(hits));
  } catch (e) { /* diagnostics only */ }
}
