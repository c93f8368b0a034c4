// The chart's symbol, read from the chart page. The page is not ours and changes without
// notice, so each source is tried under its own guard and a changed layout only means
// "no symbol". What it says is data: it names the instrument of the trader's next click.

const symbolProbe = (function () {
  let lastKnownSymbol = '';
  // When the chart's symbol last changed in this document (0: not since it loaded).
  let lastSymbolChangeAt = 0;

  function cleanProbedSymbol(text) {
    let s = String(text).trim();
    const colon = s.indexOf(':');
    if (colon !== -1) s = s.slice(colon + 1);
    // A comma would split the host's one-record CSV files into extra fields.
    return s.trim().toUpperCase().replace(/[\s,]/g, '');
  }

  // The chart objects' own symbol, asked of the page reader; its text is the page's word
  // and goes through the same clean-up as the toolbar's.
  function symbolFromChartApi() {
    const s = pageChartSymbol();
    return s.length >= 2 ? cleanProbedSymbol(s) : '';
  }

  function symbolFromToolbar() {
    const bar = document.getElementById('header-toolbar') || document.querySelector('[class*="toolbar-"]');
    if (!bar) return '';
    const search = bar.querySelector('#header-toolbar-symbol-search') ||
      bar.querySelector('[data-name="symbol-search-items"]') ||
      bar.querySelector('[class*="symbolSearch"]');
    if (!search) return '';
    const word = String(search.innerText || search.textContent || '').trim().split(/\s/)[0];
    return word.length >= 2 && word.length <= 15 ? cleanProbedSymbol(word) : '';
  }

  const LEGEND_SYMBOLS = [
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
    const title = box.querySelector('[data-name="legend-source-title"]') || box.querySelector('[class*="sourceTitle"]');
    if (!title) return '';
    const text = String(title.textContent || '').trim().toUpperCase();
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
      channel.post('SYNC:' + sym);
    } catch (e) { /* next tick */ }
  }

  return Object.freeze({
    getActiveTradingViewSymbol: getActiveTradingViewSymbol,
    runSymbolSync: runSymbolSync,
    lastChangeAt: function () { return lastSymbolChangeAt; }
  });
})();
