// Questions to the chart page reader (hud/page_reader), a document script of the page's own
// world: it reads the chart objects this world cannot see and answers through the DOM,
// within the dispatch of the question. Its answers are the page's word: only an answer to
// a question this HUD is asking at that moment counts, every value is checked for its form,
// and nothing is ever done because an answer arrived.

const QV_READER_ANSWER_MAX = 16384;

function readChartPage(request) {
  let answer = null;
  const listener = function (ev) {
    const d = ev ? ev.detail : null;
    if (typeof d === 'string' && d.length <= QV_READER_ANSWER_MAX) answer = d;
  };
  try {
    document.addEventListener('qv-page-data', listener, true);
    document.dispatchEvent(new CustomEvent('qv-page-read', { detail: qvJsonStringify(request) }));
  } catch (e) {
    answer = null;
  } finally {
    try { document.removeEventListener('qv-page-data', listener, true); } catch (e) { /* gone with the document */ }
  }
  if (answer === null) return null;
  try {
    const v = qvJsonParse(answer);
    return v && typeof v === 'object' && !Array.isArray(v) && v.q === request.q ? v : null;
  } catch (e) {
    return null;
  }
}

// The chart's symbol as the chart objects name it ("OANDA:XAUUSD"), or ''.
function pageChartSymbol() {
  const a = readChartPage({ q: 'symbol' });
  return a && typeof a.symbol === 'string' && a.symbol.length <= 64 ? a.symbol : '';
}

function finiteOrNull(v) {
  return typeof v === 'number' && isFinite(v) ? v : null;
}

// The price scale at canvas y: { c2p, min, max }, each a finite number or null.
function pageScaleAt(localY) {
  const a = readChartPage({ q: 'price', y: localY });
  if (!a) return null;
  return { c2p: finiteOrNull(a.c2p), min: finiteOrNull(a.min), max: finiteOrNull(a.max) };
}

// The diagnostics line for the host's log: one line of printable text under a bound.
function pageProbeText() {
  const a = readChartPage({ q: 'probe' });
  const text = a && typeof a.text === 'string' ? a.text : '';
  if (!/^PROBE_(CWC|ERR): /.test(text)) return 'PROBE_ERR: the chart page did not answer';
  return text.replace(/[\u0000-\u001f\u007f]/g, '?').slice(0, 4000);
}
