// The trader's rules over an order, as pure decisions: every function takes what it judges
// and returns a verdict; the ticket, the card and the AutoTrader's loop act on it. A verdict
// that refuses carries one line for the chat.

// The AutoTrader never fires below this confidence, whatever the vault says.
const QV_AUTO_MIN_CONFIDENCE = 85;
// No order of the ticket or a card risks more than this share of the account: ten times a
// usual 1 % trade, far from "all in".
const QV_HARD_RISK_CAP_PCT = 10;
const QV_DAILY_CAP_DEFAULT = 3;

// The host's settings as the rules read them; anything unreadable falls back to the
// vault's own defaults.
function autoTraderSettings() {
  function num(name, fallback) {
    const n = numberValue(settings.get(name));
    return isFinite(n) ? n : fallback;
  }
  let cap = Math.floor(num('daily_cap', QV_DAILY_CAP_DEFAULT));
  if (cap < 0) cap = QV_DAILY_CAP_DEFAULT;
  if (cap > 99) cap = 99;
  return {
    threshold: num('confidence_threshold', QV_AUTO_MIN_CONFIDENCE),
    riskPct: num('risk_pct', 1.0),
    maxSpread: num('max_spread', 35),
    dailyCap: cap
  };
}

function autoOrderId(symbol, bar, action) {
  return 'AT_' + String(symbol).replace(/[^A-Za-z0-9_.\-]/g, '-') + '_' + String(bar) + '_' + action;
}

// Whether a proposal may be sent by the AutoTrader without a click, judged when the card
// appears. p: proposal, ctx: { salvaged, instrument, snapshot, rules }. Returns
// { fire, refusal, risk, capped, confidence }.
function judgeAutoProposal(p, ctx) {
  const s = ctx.rules;
  const out = { fire: false, refusal: '', risk: NaN, capped: false, confidence: NaN };
  function refuse(line) { out.refusal = line; return out; }
  if (!p || typeof p !== 'object') return refuse('AutoTrader: the reply carried no readable proposal; nothing was sent.');
  const action = String(p.action || '');
  if (action !== 'BUY' && action !== 'SELL') return refuse('AutoTrader: only BUY or SELL proposals are sent automatically (got ' + (action || 'none') + ').');
  if (ctx.salvaged) return refuse('AutoTrader: the reply was cut off and its proposal was pieced together; it waits for your click.');
  const need = Math.max(QV_AUTO_MIN_CONFIDENCE, isFinite(s.threshold) ? s.threshold : QV_AUTO_MIN_CONFIDENCE);
  const conf = numberValue(p.confidence);
  if (!isFinite(conf)) return refuse('AutoTrader: the proposal states no numeric confidence; nothing was sent.');
  out.confidence = conf;
  if (conf < need) return refuse('AutoTrader: confidence ' + conf + '% is below the required ' + need + '%; nothing was sent.');
  const sym = typeof p.symbol === 'string' ? p.symbol.trim() : '';
  if (!sym || !sameInstrument(sym, ctx.instrument)) {
    return refuse('AutoTrader: the proposal is for ' + (sym || 'no symbol') + ' but this chart trades ' + (ctx.instrument || 'an unknown instrument') + '; nothing was sent.');
  }
  const levels = judgeLevels(action, p.stop_loss, p.take_profit, ctx.snapshot);
  if (levels) return refuse(levels);
  const risk = cappedRisk(p.risk_pct, s.riskPct);
  if (!risk.ok) return refuse(risk.refusal);
  out.risk = risk.value;
  out.capped = risk.capped;
  out.fire = true;
  return out;
}

// A stop present and on the losing side of the current price, a target on the winning
// side or none. Returns a refusal line or ''.
function judgeLevels(action, stop, target, snap) {
  const price = snap ? numberValue(snap.CurrentPrice) : NaN;
  if (!isFinite(price) || price <= 0) return 'AutoTrader: no current price in the snapshot to check the stop against; nothing was sent.';
  const sl = numberValue(stop);
  if (!isFinite(sl) || sl <= 0) return 'AutoTrader: the proposal has no stop loss; nothing was sent.';
  const buy = action === 'BUY';
  if (buy ? sl >= price : sl <= price) {
    return 'AutoTrader: stop loss ' + sl + ' is on the wrong side of the price ' + price + ' for a ' + action + '; nothing was sent.';
  }
  const tp = numberValue(target);
  if (isFinite(tp) && tp !== 0 && (tp < 0 || (buy ? tp <= price : tp >= price))) {
    return 'AutoTrader: take profit ' + tp + ' is on the wrong side of the price ' + price + ' for a ' + action + '; nothing was sent.';
  }
  return '';
}

// The proposal's risk, or the vault's when it names none, never above the vault's.
function cappedRisk(proposed, vaultRisk) {
  if (!isFinite(vaultRisk) || vaultRisk <= 0) return { ok: false, refusal: 'AutoTrader: the vault holds no usable risk percentage; nothing was sent.' };
  const limit = Math.min(vaultRisk, QV_HARD_RISK_CAP_PCT);
  const r = numberValue(proposed);
  if (!isFinite(r) || r <= 0) return { ok: true, value: limit, capped: false };
  return r > limit ? { ok: true, value: limit, capped: true } : { ok: true, value: r, capped: false };
}

// Checked again at the moment of sending, from a fresh snapshot: the spread, the session
// and the market may have changed since the bar closed. Returns a refusal line or ''.
function judgeSendingMoment(snap, instrument, rules) {
  if (!snap || !sameInstrument(snap.Symbol, instrument)) return 'AutoTrader: the chart snapshot no longer describes ' + instrument + '; nothing was sent.';
  const market = getMarketStatusInfo(snap, instrument);
  if (market && market.isClosed) return 'AutoTrader: the market is closed (' + market.reason + '); nothing was sent.';
  const spread = numberValue(snap.CurrentSpreadPts);
  if (isFinite(spread) && isFinite(rules.maxSpread) && spread > rules.maxSpread) {
    return 'AutoTrader: spread ' + spread + ' pts is above the allowed ' + rules.maxSpread + ' pts at sending; nothing was sent.';
  }
  let hour = numberValue(snap.CurrentHourUTC);
  if (!isFinite(hour)) hour = new Date().getUTCHours();
  const verdict = isWithinPermittedSchedule(hour);
  if (!verdict || !verdict.allowed) return 'AutoTrader: ' + (verdict ? verdict.reason : 'outside the schedule') + ' at sending; nothing was sent.';
  return '';
}

function utcDay(nowMs) {
  return new Date(nowMs).toISOString().slice(0, 10);
}

// The automatic orders of an instrument's UTC day are numbered slots 1..cap, each claimed
// like a bar (the claim name "<instrument>.day", the bar "<yyyymmdd><nn>"), so the cap
// holds across every page and process, not only within one page's storage.
function dailySlotName(instrument) {
  return instrumentKey(instrument).replace(/[^A-Za-z0-9_.\-]/g, '-') + '.day';
}

function dailySlotBar(nowMs, slot) {
  return utcDay(nowMs).replace(/-/g, '') + ('0' + slot).slice(-2);
}

function dailyCapLine(instrument, rules) {
  return 'AutoTrader: the daily cap of ' + rules.dailyCap + ' automatic orders on ' + instrument +
    ' is reached; standing aside until tomorrow (UTC).';
}

// A risk percentage the trader sends by hand (ticket or clicked card). Returns
// { refusal } above the hard cap, { confirm } above the vault's risk, {} otherwise.
function judgeManualRisk(riskPct, vaultRisk) {
  if (!isFinite(riskPct)) return {};
  if (riskPct > QV_HARD_RISK_CAP_PCT) {
    return { refusal: 'Order refused: risk ' + riskPct + '% is above the hard cap of ' + QV_HARD_RISK_CAP_PCT + '% per trade.' };
  }
  if (isFinite(vaultRisk) && vaultRisk > 0 && riskPct > vaultRisk) {
    return { confirm: 'Risk ' + riskPct + '% is above your vault risk of ' + vaultRisk + '% per trade. Send this order anyway?' };
  }
  return {};
}
