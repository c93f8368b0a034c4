// Which chart this page belongs to, which snapshot describes it, and the last good one. The
// terminal companion writes one snapshot per chart (QV_AICopilotData_<chart handle>.json)
// beside the shared one; with several charts the shared file describes whichever chart wrote
// last, so a page that knows its chart reads its own file and only falls back to the shared
// one. The ticket, the picking estimate, the COT row and the copilot share the last good
// record; a failed read keeps it.

// Terminal and chart pages name one instrument differently (US100 / NASDAQ:NDX, GOLD /
// OANDA:XAUUSD, EURUSD.a / FX:EURUSD); each group is one instrument.
const QV_INSTRUMENT_GROUPS = [
  ['XAUUSD', 'GOLD', 'XAU'],
  ['XAGUSD', 'SILVER', 'XAG'],
  ['NDX', 'US100', 'NAS100', 'USTEC', 'NQ100'],
  ['DJI', 'US30', 'WS30', 'DOW', 'DJ30'],
  ['SPX', 'US500', 'SP500', 'SPX500'],
  ['USOIL', 'XTIUSD', 'WTI', 'CL', 'CRUDE', 'WTIUSD'],
  ['UKOIL', 'XBRUSD', 'BRENT', 'BRN', 'BRENTUSD'],
  ['USNGAS', 'XNGUSD', 'NGAS', 'NATGAS'],
  ['BTCUSD', 'BTC', 'BITCOIN', 'BTCUSDT'],
  ['ETHUSD', 'ETH', 'ETHEREUM', 'ETHUSDT']
];

// Upper case, without an exchange prefix and without a broker suffix after a point,
// an underscore or a hash ("EURUSD.a", "XAUUSD_i", "US100#").
function instrumentKey(symbol) {
  let s = String(symbol === undefined || symbol === null ? '' : symbol).trim().toUpperCase();
  const colon = s.lastIndexOf(':');
  if (colon !== -1) s = s.slice(colon + 1);
  s = s.split(/[._#]/)[0].replace(/[^A-Z0-9]/g, '');
  for (let i = 0; i < QV_INSTRUMENT_GROUPS.length; i++) {
    if (QV_INSTRUMENT_GROUPS[i].indexOf(s) !== -1) return QV_INSTRUMENT_GROUPS[i][0];
  }
  return s;
}

function sameInstrument(a, b) {
  const ka = instrumentKey(a);
  return ka !== '' && ka === instrumentKey(b);
}

// Ticket fields carry two decimals on instruments priced above 20, four otherwise.
function formatTicketPrice(p, reference) {
  return Number(p).toFixed(reference > 20 ? 2 : 4);
}

const chartData = (function () {
  // The host tells the HUD its chart's window handle by a push ({"type":"chart","hwnd":"<decimal>"})
  // after every load; until it arrives, and in the studio, which has no chart, the HUD reads
  // the shared files.
  let chartHwnd = '';
  // The last good snapshot, or null before the first.
  let latest = null;
  const symbolListeners = [];

  channel.onPush('chart', function (message) {
    const h = message.hwnd;
    const text = typeof h === 'number' && isFinite(h) ? String(h) : h;
    chartHwnd = typeof text === 'string' && /^[1-9][0-9]{0,19}$/.test(text) ? text : '';
  });

  // The chart's handle in decimal; '' in the studio and until the host has said it.
  function handle() {
    return isStudioPage ? '' : chartHwnd;
  }

  // This chart's snapshot, else the shared one; null when neither reads.
  async function fetchSnapshot() {
    const h = handle();
    if (h) {
      const rec = await fetchBridgeJson('QV_AICopilotData_' + h + '.json');
      if (rec && typeof rec === 'object' && !Array.isArray(rec)) return rec;
    }
    const shared = await fetchBridgeJson('QV_AICopilotData.json');
    return shared && typeof shared === 'object' && !Array.isArray(shared) ? shared : null;
  }

  // Reads the snapshot again; a new symbol is told to those who follow it.
  async function refresh() {
    try {
      const rec = await fetchSnapshot();
      if (!rec || typeof rec !== 'object' || Array.isArray(rec)) return;
      const before = latest && latest.Symbol;
      latest = rec;
      if (rec.Symbol === before) return;
      symbolListeners.forEach(function (fn) {
        try { fn(); } catch (e) { /* one view must not stop another */ }
      });
    } catch (e) { /* keep the previous record */ }
  }

  // The last good record's symbol, else the shared file's (which then is the last good
  // record); '' when neither names one.
  async function snapshotSymbol() {
    if (latest && latest.Symbol) return String(latest.Symbol);
    const shared = await fetchBridgeJson('QV_AICopilotData.json');
    if (shared && typeof shared === 'object' && shared.Symbol) {
      latest = shared;
      return String(shared.Symbol);
    }
    return '';
  }

  return Object.freeze({
    handle: handle,
    fetchSnapshot: fetchSnapshot,
    refresh: refresh,
    snapshotSymbol: snapshotSymbol,
    latest: function () { return latest; },
    // Current price from the last good snapshot as a positive number, or 0 when unknown.
    price: function () {
      const n = latest ? Number(latest.CurrentPrice) : NaN;
      return isFinite(n) && n > 0 ? n : 0;
    },
    // fn() after a read whose symbol differs from the record before it.
    onSymbolChange: function (fn) { symbolListeners.push(fn); },
    // The instrument this page trades: the chart's own symbol on a chart page. The studio
    // has no chart and follows the snapshot it reads, so there the snapshot's symbol is its
    // own.
    pageInstrument: function (snap) {
      if (isStudioPage) return snap && snap.Symbol ? String(snap.Symbol) : '';
      return symbolProbe.getActiveTradingViewSymbol();
    }
  });
})();
