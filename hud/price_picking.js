// Point-and-click stop and target. The price under the pointer comes from the chart's own
// scale when the page exposes it, else from the price-axis labels, else from an estimate
// around the snapshot's price; the scale path is tried first because the label path walks
// every div and span of the page on each mouse move.

// Ordered: M15 must be tested before M1, which it contains.
const TIMEFRAME_FACTORS = [[['M15', 'M30'], 20.0], [['M1', 'M5'], 15.0], [['H1'], 28.0], [['H4'], 36.0], [['D1', 'W1'], 45.0]];

const pricePicking = (function () {
  // 'SL' or 'TP' while the trader points at the chart for it, else null.
  let pickingTarget = null;
  let listenersInstalled = false;

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
    const snapshot = chartData.latest();
    const atr = snapshot ? Number(snapshot.ATR_Volatility) : NaN;
    if (isFinite(atr) && atr > 0) return atr;
    return reference > 0 ? reference * 0.015 : 1.0;
  }

  function timeframeFactor() {
    const snapshot = chartData.latest();
    const tf = snapshot && snapshot.Timeframe ? String(snapshot.Timeframe).toUpperCase() : '';
    for (let i = 0; i < TIMEFRAME_FACTORS.length; i++) {
      if (TIMEFRAME_FACTORS[i][0].some(function (n) { return tf.indexOf(n) !== -1; })) return TIMEFRAME_FACTORS[i][1];
    }
    return 38.0;
  }

  function getPriceAxisMarkers() {
    const reference = chartData.price();
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
      if (isHudHost(node) || node.closest('[class*="watchlist"], [class*="widgetbar"]')) continue;
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

  // The chart's own price scale, read by the page reader: its price at the pointer, else its
  // visible range spread over the canvas. Both are the page's word, so an answer far from the
  // market is dropped for the next method.
  function priceFromChartScale(localY, canvas, reference) {
    const scale = pageScaleAt(localY);
    if (!scale) return null;
    const p = scale.c2p;
    // A scale read before the chart has laid out answers far from the market; reject it.
    if (p !== null && p > 0 && (!reference || (p > 0.25 * reference && p < 4 * reference))) return p;
    if (scale.min !== null && scale.max !== null && scale.max > scale.min && canvas && canvas.getBoundingClientRect().height > 50) {
      const ratio = Math.max(0, Math.min(1, localY / canvas.getBoundingClientRect().height));
      const price = scale.max - ratio * (scale.max - scale.min);
      if (price > 0) return price;
    }
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
    const reference = chartData.price();
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
    const reference = chartData.price() || p;
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

  // Only the trader's own click sets a level: a click a script dispatched on the chart passes
  // by as if picking were off.
  function onPickingClick(ev) {
    if (!pickingTarget || isHudHost(ev.target) || ev.isTrusted !== true) return;
    ev.preventDefault();
    ev.stopPropagation();
    if (typeof ev.stopImmediatePropagation === 'function') ev.stopImmediatePropagation();
    const target = pickingTarget;
    const p = extractPriceFromAxis(ev.clientY);
    if (p !== null) {
      const text = formatTicketPrice(p, chartData.price());
      const input = byId(target === 'SL' ? 'qv-sl-input' : 'qv-tp-input');
      if (input) {
        input.value = text;
        input.style.boxShadow = '0 0 12px ' + (target === 'SL' ? '#ff5252' : '#00e676');
        qvSetTimeout(guarded(function () { input.style.boxShadow = ''; }), 600);
      }
      ticket.setLevelMark(target, 'price');
      channel.post('PICK_SET: target=' + target + ' price=' + text);
    }
    cancelPicking();
  }

  // Capture phase on the window, installed while the document starts: the first listener of
  // all, so none of the chart page's sees the click that sets a price.
  if (qvHudActive) window.addEventListener('click', guarded(onPickingClick), true);

  // Escape ends picking while a field of the HUD has the focus too (the input guard keeps the
  // key from the document's listener below).
  inputGuard.onFieldEvent(function (ev) {
    if (ev.type === 'keydown' && ev.key === 'Escape' && pickingTarget) cancelPicking();
  });

  function installListeners() {
    if (listenersInstalled) return;
    listenersInstalled = true;
    document.addEventListener('mousemove', guarded(onPickingMove), true);
    document.addEventListener('keydown', guarded(function (ev) {
      if (ev.key === 'Escape' && pickingTarget) cancelPicking();
    }), true);
  }

  // Diagnostics for the host's log: what the chart objects answer and which labels exist.
  function runTVProbe() {
    channel.post(pageProbeText());
    try {
      const hits = [];
      const nodes = document.querySelectorAll('body *');
      for (let i = 0; i < nodes.length && hits.length < 8; i++) {
        const n = nodes[i];
        if (n.children.length !== 0 || isHudHost(n)) continue;
        const text = String(n.textContent || '').trim();
        if (!/101\.|76\.|Target|Stop/.test(text)) continue;
        const r = n.getBoundingClientRect();
        hits.push({ tag: n.tagName, txt: text.slice(0, 30), x: Math.round(r.left), y: Math.round(r.top) });
      }
      channel.post('PROBE_DOM: ' + qvJsonStringify(hits));
    } catch (e) { /* diagnostics only */ }
  }

  // The stop and target buttons of the ticket start and end picking.
  function wire() {
    ['SL', 'TP'].forEach(function (t) {
      const node = byId(t === 'SL' ? 'qv-pick-sl' : 'qv-pick-tp');
      if (!node) return;
      node.addEventListener('click', guarded(function (ev) {
        ev.preventDefault();
        ev.stopPropagation();
        setPickingMode(t);
      }));
    });
  }

  return Object.freeze({
    wire: wire,
    installListeners: installListeners,
    runTVProbe: runTVProbe,
    extractPriceFromAxis: extractPriceFromAxis,
    getPriceAxisMarkers: getPriceAxisMarkers
  });
})();
