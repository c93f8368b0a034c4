// Which chart this page belongs to and which snapshot describes it. The terminal companion
// writes one snapshot per chart (QV_AICopilotData_<chart handle>.json) beside the shared
// one; with several charts the shared file describes whichever chart wrote last, so a page
// that knows its chart reads its own file and only falls back to the shared one.

// The host tells the HUD its chart's window handle by a push ({"type":"chart","hwnd":"<decimal>"})
// after every load; until it arrives, and in the studio, which has no chart, the HUD reads
// the shared files.
var qvChartHwnd = '';

function qvChartHandle() {
  return qvChartHwnd;
}

onHostPush('chart', function (message) {
  const h = message.hwnd;
  const text = typeof h === 'number' && isFinite(h) ? String(h) : h;
  qvChartHwnd = typeof text === 'string' && /^[1-9][0-9]{0,19}$/.test(text) ? text : '';
});

function chartSnapshotFile() {
  const h = isStudioPage ? '' : qvChartHandle();
  return h ? 'QV_AICopilotData_' + h + '.json' : '';
}

// This chart's snapshot, else the shared one; null when neither reads.
async function fetchChartSnapshot() {
  const own = chartSnapshotFile();
  if (own) {
    const rec = await fetchBridgeJson(own);
    if (rec && typeof rec === 'object' && !Array.isArray(rec)) return rec;
  }
  const shared = await fetchBridgeJson('QV_AICopilotData.json');
  return shared && typeof shared === 'object' && !Array.isArray(shared) ? shared : null;
}

// Terminal and chart pages name one instrument differently (US100 / NASDAQ:NDX, GOLD /
// OANDA:XAUUSD, EURUSD.a / FX:EURUSD); each group is one instrument.
var QV_INSTRUMENT_GROUPS = [
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

// The instrument this page trades: the chart's own symbol on a chart page. The studio has
// no chart and follows the snapshot it reads, so there the snapshot's symbol is its own.
function pageInstrument(snap) {
  if (isStudioPage) return snap && snap.Symbol ? String(snap.Symbol) : '';
  let sym = '';
  try { sym = getActiveTradingViewSymbol(); } catch (e) { sym = ''; }
  return sym;
}

// The snapshot when it describes this page's instrument, else null: a page never prompts
// or trades from another chart's numbers.
function snapshotForPage(snap) {
  if (!snap || !snap.Symbol) return null;
  return sameInstrument(snap.Symbol, pageInstrument(snap)) ? snap : null;
}
