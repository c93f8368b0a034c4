// Price or distance: how a typed stop or target reads, the one rule the terminal companion
// applies too (companion/mql5/QV_Levels.mqh; both are tested against
// tests/unit/level_reading_cases.tsv). The ticket marks what the trader gave: a level picked
// on the chart or read here as a price goes out as "P:<price>", a distance as
// "D:<distance>", so the companion never has to guess; an unmarked number is read by the same
// rule there. A number that fits both readings is refused with its reason: the trader says
// which it is.

// An unmarked number within this share of the market looks like a price.
const QV_PRICE_BAND = 0.10;
// An unmarked number that, as a distance, stays within this share of the market could be one.
const QV_DISTANCE_BAND = 0.05;

function levelDecimals(text) {
  const dot = text.indexOf('.');
  return dot < 0 ? 0 : text.length - dot - 1;
}

// text: the number as typed; kind: 'PRICE', 'DISTANCE' or '' (unmarked). m: { buy, stop, bid,
// ask, digits, unit (the price of one pip or point), whole (distances in whole points),
// unitName }. A buy closes at the bid, a sell at the ask; a distance counts from the entry
// (the ask for a buy, the bid for a sell). Returns { ok, price (0 for none), reading
// ('none', 'price' or 'distance'), reason }.
function readLevel(text, kind, m) {
  const t = String(text === undefined || text === null ? '' : text).trim();
  const what = m.stop ? 'stop loss' : 'take profit';
  const none = { ok: true, price: 0, reading: 'none', reason: '' };
  const refuse = function (reason) { return { ok: false, price: 0, reading: 'none', reason: reason }; };
  if (t === '' || t === '0') return none;
  if (!/^[+-]?[0-9]*\.?[0-9]*$/.test(t) || !/[0-9]/.test(t) || t.length > 32) return refuse(what + " '" + t + "' is not a number");
  const v = Number(t);
  if (!isFinite(v) || v < 0) return refuse(what + " '" + t + "' is not a number");
  if (v === 0) return none;
  const ref = m.buy ? m.bid : m.ask;
  const entry = m.buy ? m.ask : m.bid;
  const below = (m.buy && m.stop) || (!m.buy && !m.stop);
  const distance = v * m.unit;
  const fromDistance = below ? entry - distance : entry + distance;
  if (kind === 'PRICE') return { ok: true, price: v, reading: 'price', reason: '' };
  if (kind === 'DISTANCE') {
    if (fromDistance <= 0) return refuse(what + ' distance ' + t + ' ' + m.unitName + ' reaches below zero');
    return { ok: true, price: fromDistance, reading: 'distance', reason: '' };
  }
  if (kind) return refuse(what + " is marked '" + kind + "', neither a price nor a distance");
  const priceLike = ref > 0 && Math.abs(v - ref) <= QV_PRICE_BAND * ref;
  const distanceLike = levelDecimals(t) <= (m.whole ? 0 : 1) && distance <= QV_DISTANCE_BAND * ref && fromDistance > 0;
  if (priceLike && distanceLike) {
    return refuse(what + ' ' + t + ' could be a price or a distance of ' + t + ' ' + m.unitName + '; the order does not say which');
  }
  if (priceLike) {
    const rightSide = below ? v < ref : v > ref;
    if (!rightSide) return refuse(what + ' ' + v.toFixed(m.digits) + ' is not ' + (below ? 'below' : 'above') + ' the ' + (m.buy ? 'bid ' : 'ask ') + ref.toFixed(m.digits));
    return { ok: true, price: v, reading: 'price', reason: '' };
  }
  if (distanceLike) return { ok: true, price: fromDistance, reading: 'distance', reason: '' };
  return refuse(what + ' ' + t + ' is neither a price near the market nor a distance in ' + m.unitName + ' within ' + (QV_DISTANCE_BAND * 100).toFixed(0) + '% of it');
}

// The wire form of a level the rule has read: "P:<price>" or "D:<distance>" as typed, the bare
// number when there is none. Only a reading that succeeded is marked.
function markedLevel(text, reading) {
  const t = String(text === undefined || text === null ? '' : text).trim();
  if (reading === 'price') return 'P:' + t;
  if (reading === 'distance') return 'D:' + t;
  return t;
}
