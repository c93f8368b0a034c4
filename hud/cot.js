// The COT row: a badge with the large speculators' positioning for the chart's instrument
// and a card with the figures. Everything shown comes from a bridge file and is set as
// text, never as markup.

// Rules in order; the first whose part occurs in the cleaned symbol names the record.
const COT_RULES = [
  [['NAS', 'NDX', '100', 'USTEC', 'NQ', 'QQQ'], 'NAS100'],
  [['SPX', '500', 'US500', 'ES', 'SPY'], 'SPX500'],
  [['DOW', 'US30', 'DJI', 'YM'], 'SPX500'],
  [['DXY', 'USDX', 'DOLLAR'], 'DXY'],
  [['VIX', 'VOLA'], 'VIX'],
  [['10Y', 'TNX', 'ZN'], 'US10Y'],
  [['XAU', 'GOLD', 'GC'], 'XAUUSD'],
  [['XAG', 'SILVER', 'SI'], 'XAGUSD'],
  [['OIL', 'WTI', 'XTI', 'CL', 'CRUDE', 'BRENT', 'XBR'], 'USOIL'],
  [['GAS', 'NGAS', 'XNG', 'NG'], 'NATGAS'],
  [['BTC', 'BITCOIN', 'XBT'], 'BTCUSD'],
  [['ETH', 'ETHEREUM'], 'ETHUSD']
];
const COT_PAIRS = [
  ['EUR', 'USD', 'EURUSD'], ['GBP', 'USD', 'GBPUSD'], ['USD', 'JPY', 'USDJPY'], ['AUD', 'USD', 'AUDUSD'],
  ['USD', 'CAD', 'USDCAD'], ['USD', 'CHF', 'USDCHF'], ['NZD', 'USD', 'NZDUSD']
];

function resolveCOTSymbol(raw) {
  const s = String(raw === undefined || raw === null ? '' : raw).toUpperCase().trim().replace(/[^A-Z0-9]/g, '');
  if (!s) return '';
  for (let i = 0; i < COT_RULES.length; i++) {
    if (COT_RULES[i][0].some(function (p) { return s.indexOf(p) !== -1; })) return COT_RULES[i][1];
  }
  for (let i = 0; i < COT_PAIRS.length; i++) {
    if (s.indexOf(COT_PAIRS[i][0]) !== -1 && s.indexOf(COT_PAIRS[i][1]) !== -1) return COT_PAIRS[i][2];
  }
  return s;
}

const cotView = (function () {
  let listenersInstalled = false;

  function setText(id, text) {
    const node = byId(id);
    if (node) node.textContent = String(text);
  }

  function signed(n) {
    return (n >= 0 ? '+' : '') + n.toLocaleString();
  }

  function finiteOr(v, fallback) {
    const n = Number(v);
    return v !== null && v !== undefined && v !== '' && isFinite(n) ? n : fallback;
  }

  function rewriteNarrative(text) {
    const num = '([\\d.]+)';
    const tail = '\\s+historical\\s+range\\s+percentile\\.?';
    return String(text)
      .replace(new RegExp('indicating\\s+aggressive\\s+accumulation\\s+at\\s+the\\s+' + num + 'th' + tail, 'gi'), function () {
        return 'confirming speculative buyers are at maximum 3-year record net-longs (100% saturation, peak buyer crowding).';
      })
      .replace(new RegExp('indicating\\s+aggressive\\s+shorting\\s+at\\s+the\\s+' + num + 'th' + tail, 'gi'), function () {
        return 'confirming speculative sellers are at maximum 3-year record net-shorts (0% saturation, peak seller crowding).';
      })
      .replace(new RegExp('at\\s+the\\s+' + num + 'th' + tail, 'gi'), function (m, n) {
        return 'sitting at ' + n + '% of the 3-year historical positioning range.';
      });
  }

  // The COT row's instrument: the snapshot's, else the drawer's symbol badge, else the
  // chart's own symbol.
  async function cotRawSymbol() {
    const snapshotSymbol = await chartData.snapshotSymbol();
    if (snapshotSymbol) return snapshotSymbol;
    const badge = byId('qv-ai-sym-badge');
    if (badge) {
      const first = String(badge.textContent || '').trim().split(/[\s\u2022\u00B7\/-]+/)[0];
      if (first && first !== 'USOIL') return first;
    }
    return symbolProbe.getActiveTradingViewSymbol() || 'NDX';
  }

  function showCotNotApplicable(raw) {
    const badge = byId('qv-cot-badge');
    if (badge) badge.classList.remove('qv-cot-crowded');
    setText('qv-cot-badge-text', 'COT: N/A');
    setText('qv-modal-contract', raw + ' (No COT data)');
    setText('qv-modal-date', 'N/A');
    setText('qv-modal-nc-net', '--');
    setText('qv-modal-nc-shift', 'Weekly: --');
    setText('qv-modal-index', '--');
    const bar = byId('qv-modal-bar');
    if (bar) bar.style.width = '0%';
    const alert = byId('qv-modal-alert');
    if (alert) alert.style.display = 'none';
    setText('qv-modal-narrative', 'CFTC Commitments of Traders data is not applicable or unavailable for ' + raw + '.');
  }

  function showCotRecord(rec) {
    const idx = Math.round(finiteOr(rec.cotIndex, 50));
    const nc = rec.nonCommercial && typeof rec.nonCommercial === 'object' ? rec.nonCommercial : null;
    const net = nc ? finiteOr(nc.net, 0) : 0;
    const shift = nc ? finiteOr(nc.changeNet, 0) : 0;
    const crowded = rec.crowdedTradeAlert === true;
    const badge = byId('qv-cot-badge');
    if (badge) badge.classList.toggle('qv-cot-crowded', crowded);
    if (crowded) {
      setText('qv-cot-badge-text', 'COT: [!] CROWDED (' + idx + '%)');
    } else {
      const tag = idx >= 60 ? '[BULL]' : idx <= 40 ? '[BEAR]' : '[NEUT]';
      const shortNet = (net >= 0 ? '+' : '') + (net / 1000).toFixed(1) + 'K';
      setText('qv-cot-badge-text', 'COT: ' + tag + ' ' + shortNet + ' (' + idx + '%)');
    }
    setText('qv-modal-contract', rec.name ? rec.name : (rec.symbol || ''));
    setText('qv-modal-date', 'As of Tue ' + (rec.asOfDate ? rec.asOfDate : ''));
    setText('qv-modal-nc-net', signed(net));
    setText('qv-modal-nc-shift', 'Weekly: ' + signed(shift));
    setText('qv-modal-index', idx + '%');
    const bar = byId('qv-modal-bar');
    if (bar) {
      bar.style.width = Math.max(0, Math.min(100, idx)) + '%';
      bar.style.background = idx >= 60 ? '#089981' : idx <= 40 ? '#f23645' : '#3875ff';
    }
    const alert = byId('qv-modal-alert');
    if (alert) alert.style.display = crowded ? 'block' : 'none';
    setText('qv-modal-alert-text', idx >= 80
      ? 'Speculative longs are at 3-year record extremes. Extreme buyer crowding \u2014 high long-squeeze reversal risk.'
      : idx <= 20
        ? 'Speculative shorts are at 3-year record extremes. Extreme seller crowding \u2014 high short-squeeze reversal risk.'
        : 'Speculative positioning is at historical extremes. High institutional trap & reversal risk.');
    const narrative = typeof rec.narrative === 'string' && rec.narrative ? rec.narrative : 'CFTC institutional positioning updated.';
    setText('qv-modal-narrative', rewriteNarrative(narrative));
  }

  async function refresh() {
    try {
      const res = await hudFetch(bridgeUrl('QV_COTData.json'), { cache: 'no-store' });
      if (!res || !res.ok) return;
      const data = qvJsonParse(await res.text());
      if (!data || !Array.isArray(data.records)) return;
      const raw = await cotRawSymbol();
      const key = resolveCOTSymbol(raw);
      const upper = String(raw).toUpperCase();
      const valid = data.records.filter(function (r) { return r && typeof r === 'object'; });
      const rec = valid.find(function (r) { return r.symbol === key; }) ||
        valid.find(function (r) { return r.symbol === upper; });
      if (!rec) showCotNotApplicable(raw);
      else showCotRecord(rec);
    } catch (e) {
      try { console.debug('COT local ingestion note:', e); } catch (e2) { /* no console */ }
    }
  }

  // target: the clicked node inside the HUD, or null for a click on the page.
  function hideCotCardUnless(target) {
    const modal = byId('qv-cot-modal');
    if (!modal || modal.style.display === 'none') return;
    if (target && typeof target.closest === 'function' && target.closest('#qv-cot-modal, #qv-cot-badge')) return;
    modal.style.display = 'none';
  }

  function rowHtml() {
    const i = QV_ICONS;
    return '<div class="qv-hud-row qv-cot-row">' +
      '<div id="qv-cot-badge" title="Click to view Institutional CFTC Commitments of Traders data">' + i.barChart +
        '<span id="qv-cot-badge-text">COT: Loading...</span></div>' +
      '<span id="qv-sentiment-text">Smart Money Flow</span>' +
      '<div id="qv-cot-modal">' +
        '<div class="qv-modal-title"><span>' + i.bank + '<span id="qv-modal-contract">CFTC SMART MONEY FLOW</span></span>' +
          '<span id="qv-modal-date">As of Tue</span></div>' +
        '<div class="qv-modal-cards">' +
          '<div class="qv-modal-card"><span class="qv-modal-card-lbl">Smart Money (Non-Comm)</span>' +
            '<span id="qv-modal-nc-net" class="qv-modal-card-val">--</span><span id="qv-modal-nc-shift">Weekly: --</span></div>' +
          '<div class="qv-modal-card"><span class="qv-modal-card-lbl">3-Year COT Index</span>' +
            '<span id="qv-modal-index" class="qv-modal-card-val">50%</span>' +
            '<div class="qv-modal-bar-track"><div id="qv-modal-bar" style="width:50%;background:#3875ff"></div></div></div>' +
        '</div>' +
        '<div id="qv-modal-alert">' + i.alert + ' <b>CROWDED SQUEEZE ALERT:</b> <span id="qv-modal-alert-text">' +
          'Speculative positioning is at 3-year record extremes. High institutional trap &amp; squeeze reversal risk.</span></div>' +
        '<div id="qv-modal-narrative">Live CFTC smart money positioning is currently being ingested from ' +
          escapeHtml(bridgeUrl('QV_COTData.json')) + '.</div>' +
      '</div>' +
    '</div>';
  }

  function wire() {
    const badge = byId('qv-cot-badge');
    if (badge) {
      badge.addEventListener('click', guarded(function (ev) {
        ev.stopPropagation();
        const modal = byId('qv-cot-modal');
        if (modal) modal.style.display = modal.style.display === 'flex' ? 'none' : 'flex';
      }));
    }
    if (listenersInstalled) return;
    listenersInstalled = true;
    // Clicks inside the HUD are seen in its root with their real target; on the page's
    // document they all look like clicks on the host and are left to the root's listener.
    qvRoot.addEventListener('click', guarded(function (ev) { hideCotCardUnless(ev.target); }));
    document.addEventListener('click', guarded(function (ev) {
      if (!isHudHost(ev.target)) hideCotCardUnless(null);
    }));
  }

  // The record follows the snapshot's symbol.
  chartData.onSymbolChange(refresh);

  return Object.freeze({ rowHtml: rowHtml, refresh: refresh, wire: wire });
})();
