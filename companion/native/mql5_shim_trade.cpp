// The shim's trade server. It checks a request as a real server does (permissions, the
// symbol's trade mode, the filling policy its execution mode allows, volumes, stops and
// freeze levels, FIFO closes) and fills it on a netting or a hedging account. The fill
// reaches the terminal's position list and history only settleMs after OrderSend
// returned, as on a real terminal where OrderSend is not fully synchronous.
#include <cmath>

#include "mql5_shim.h"
#include "mql5_shim_internal.h"

using shim::S;

namespace {

bool Refuse(MqlTradeResult& res, uint code) {
  res.retcode = code;
  S().lastError = ERR_TRADE_SEND_FAILED;
  return false;
}

// For market orders: Fill or Kill in Instant and Request execution; in Market execution
// what the symbol's flags allow; in Exchange execution also Return.
bool FillingAllowed(const shim::Symbol& s, ENUM_ORDER_TYPE_FILLING f) {
  bool fok = (s.filling & SYMBOL_FILLING_FOK) != 0;
  bool ioc = (s.filling & SYMBOL_FILLING_IOC) != 0;
  switch (s.exemode) {
    case SYMBOL_TRADE_EXECUTION_REQUEST:
    case SYMBOL_TRADE_EXECUTION_INSTANT:
      return f == ORDER_FILLING_FOK;
    case SYMBOL_TRADE_EXECUTION_MARKET:
      return (f == ORDER_FILLING_FOK && fok) || (f == ORDER_FILLING_IOC && ioc);
    default:
      return f == ORDER_FILLING_RETURN || (f == ORDER_FILLING_FOK && fok) ||
             (f == ORDER_FILLING_IOC && ioc);
  }
}

// A buy closes at the bid, a sell at the ask; distances are compared in whole points.
double Gap(const shim::Symbol& s, bool buy, double level, bool isStop) {
  double ref = buy ? s.bid : s.ask;
  return (buy == isStop) ? ref - level : level - ref;
}

bool StopsValid(const shim::Symbol& s, bool buy, double sl, double tp) {
  double minDist = s.stopsLevel * s.point - s.point / 2;
  if (sl > 0 && (Gap(s, buy, sl, true) <= 0 || Gap(s, buy, sl, true) < minDist)) return false;
  if (tp > 0 && (Gap(s, buy, tp, false) <= 0 || Gap(s, buy, tp, false) < minDist)) return false;
  return true;
}

// Within the freeze level a position can neither be modified nor closed.
bool Frozen(const shim::Symbol& s, const shim::Position& p) {
  if (s.freezeLevel <= 0) return false;
  double freeze = s.freezeLevel * s.point + s.point / 2;
  if (p.sl > 0 && Gap(s, p.buy, p.sl, true) <= freeze) return true;
  if (p.tp > 0 && Gap(s, p.buy, p.tp, false) <= freeze) return true;
  return false;
}

double ProfitOf(const shim::Symbol& s, const shim::Position& p, double volume, double close) {
  double move = (close - p.open) * (p.buy ? 1 : -1);
  return move / s.tickSize * s.tickValue * volume;
}

long NextMsc() {
  static long last = 0;
  long now = static_cast<long>(TimeCurrent()) * 1000;
  last = now > last ? now : last + 1;
  return last;
}

struct Fill {
  ulong order;
  double price;
  string comment;
  long magic;
};

void Record(const shim::Symbol& s, const string& symbol, bool buy, double volume,
            ENUM_DEAL_ENTRY entry, ulong positionId, double profit, const Fill& fill,
            MqlTradeResult& res) {
  shim::Deal d;
  d.ticket = S().nextTicket++;
  d.time = TimeCurrent();
  d.type = buy ? DEAL_TYPE_BUY : DEAL_TYPE_SELL;
  d.entry = entry;
  d.order = fill.order;
  d.positionId = positionId;
  d.symbol = symbol;
  d.volume = volume;
  d.price = fill.price;
  d.profit = profit;
  d.commission = -s.commissionPerLot * volume;
  d.fee = -s.feePerDeal;
  d.magic = fill.magic;
  d.comment = fill.comment;
  S().deals.push_back(d);
  S().balance += profit + d.commission + d.fee;
  if (res.deal == 0) res.deal = d.ticket;
}

// A deal on a netting account: one position per symbol, grown, reduced or reversed.
uint NettingDeal(const shim::Symbol& s, const MqlTradeRequest& req, const Fill& fill,
                 MqlTradeResult& res) {
  bool buy = req.type == ORDER_TYPE_BUY;
  std::vector<shim::Position>& ps = S().positions;
  size_t i = 0;
  while (i < ps.size() && ps[i].symbol != req.symbol) i++;
  if (req.position != 0 && (i == ps.size() || ps[i].ticket != req.position))
    return TRADE_RETCODE_POSITION_CLOSED;
  if (i == ps.size()) {
    shim::Position p{fill.order, req.symbol, buy,           req.volume, fill.price,  req.sl,
                     req.tp,     fill.magic, TimeCurrent(), NextMsc(),  fill.comment};
    ps.push_back(p);
    Record(s, req.symbol, buy, req.volume, DEAL_ENTRY_IN, p.ticket, 0, fill, res);
    return TRADE_RETCODE_DONE;
  }
  shim::Position& p = ps[i];
  if (req.position != 0 && (p.buy == buy || req.volume > p.volume + 1e-9))
    return req.volume > p.volume + 1e-9 ? TRADE_RETCODE_INVALID_CLOSE_VOLUME
                                        : TRADE_RETCODE_INVALID;
  if (p.buy == buy) {
    p.open = (p.open * p.volume + fill.price * req.volume) / (p.volume + req.volume);
    p.volume = NormalizeDouble(p.volume + req.volume, 8);
    if (req.sl > 0) p.sl = req.sl;
    if (req.tp > 0) p.tp = req.tp;
    Record(s, req.symbol, buy, req.volume, DEAL_ENTRY_IN, p.ticket, 0, fill, res);
    return TRADE_RETCODE_DONE;
  }
  double closing = std::fmin(req.volume, p.volume);
  double profit = ProfitOf(s, p, closing, fill.price);
  double rest = NormalizeDouble(req.volume - p.volume, 8);
  ulong id = p.ticket;
  if (rest > 1e-9) {
    p.buy = buy;
    p.volume = rest;
    p.open = fill.price;
    p.sl = req.sl;
    p.tp = req.tp;
    Record(s, req.symbol, buy, req.volume, DEAL_ENTRY_INOUT, id, profit, fill, res);
  } else {
    p.volume = NormalizeDouble(p.volume - closing, 8);
    if (p.volume < 1e-9) ps.erase(ps.begin() + static_cast<long>(i));
    Record(s, req.symbol, buy, closing, DEAL_ENTRY_OUT, id, profit, fill, res);
  }
  return TRADE_RETCODE_DONE;
}

// A deal on a hedging account: a new position, or (with req.position) a close of that one.
uint HedgingDeal(const shim::Symbol& s, const MqlTradeRequest& req, const Fill& fill,
                 MqlTradeResult& res) {
  bool buy = req.type == ORDER_TYPE_BUY;
  std::vector<shim::Position>& ps = S().positions;
  if (req.position == 0) {
    shim::Position p{fill.order, req.symbol, buy,           req.volume, fill.price,  req.sl,
                     req.tp,     fill.magic, TimeCurrent(), NextMsc(),  fill.comment};
    ps.push_back(p);
    Record(s, req.symbol, buy, req.volume, DEAL_ENTRY_IN, p.ticket, 0, fill, res);
    return TRADE_RETCODE_DONE;
  }
  for (size_t i = 0; i < ps.size(); i++) {
    shim::Position& p = ps[i];
    if (p.ticket != req.position) continue;
    if (p.buy == buy) return TRADE_RETCODE_INVALID;
    if (req.volume > p.volume + 1e-9) return TRADE_RETCODE_INVALID_CLOSE_VOLUME;
    if (AccountInfoInteger(ACCOUNT_FIFO_CLOSE) != 0) {
      for (const shim::Position& other : ps)
        if (other.symbol == p.symbol && other.ticket != p.ticket &&
            (other.timeMsc < p.timeMsc || (other.timeMsc == p.timeMsc && other.ticket < p.ticket)))
          return TRADE_RETCODE_FIFO_CLOSE;
    }
    double profit = ProfitOf(s, p, req.volume, fill.price);
    ulong id = p.ticket;
    p.volume = NormalizeDouble(p.volume - req.volume, 8);
    if (p.volume < 1e-9) ps.erase(ps.begin() + static_cast<long>(i));
    Record(s, req.symbol, buy, req.volume, DEAL_ENTRY_OUT, id, profit, fill, res);
    return TRADE_RETCODE_DONE;
  }
  return TRADE_RETCODE_POSITION_CLOSED;
}

// Whether a deal would open or grow a position (what close-only and long-only forbid).
bool Opens(const MqlTradeRequest& req) {
  if (req.position != 0) return false;
  if (S().marginMode == ACCOUNT_MARGIN_MODE_RETAIL_HEDGING) return true;
  for (const shim::Position& p : S().positions)
    if (p.symbol == req.symbol)
      return p.buy == (req.type == ORDER_TYPE_BUY) || req.volume > p.volume + 1e-9;
  return true;
}

uint Modify(const shim::Symbol& s, const MqlTradeRequest& req) {
  for (shim::Position& p : S().positions) {
    if (p.ticket != req.position) continue;
    if (Frozen(s, p)) return TRADE_RETCODE_FROZEN;
    if (!StopsValid(s, p.buy, req.sl, req.tp)) return TRADE_RETCODE_INVALID_STOPS;
    if (std::fabs(req.sl - p.sl) < s.point / 2 && std::fabs(req.tp - p.tp) < s.point / 2)
      return TRADE_RETCODE_NO_CHANGES;
    p.sl = req.sl;
    p.tp = req.tp;
    return TRADE_RETCODE_DONE;
  }
  return TRADE_RETCODE_POSITION_CLOSED;
}

}  // namespace

bool OrderSend(const MqlTradeRequest& req, MqlTradeResult& res) {
  shim::State& st = S();
  st.sends++;
  st.requests.push_back(req);
  res = MqlTradeResult();
  if (!st.script.empty()) {
    res.retcode = st.script.front();
    st.script.erase(st.script.begin());
    res.comment = "scripted answer";
    S().lastError = ERR_TRADE_SEND_FAILED;
    return false;
  }
  if (!st.tradeAllowed || !st.mqlTradeAllowed) return Refuse(res, TRADE_RETCODE_CLIENT_DISABLES_AT);
  if (!st.accountTradeExpert) return Refuse(res, TRADE_RETCODE_SERVER_DISABLES_AT);
  if (!st.accountTradeAllowed) return Refuse(res, TRADE_RETCODE_TRADE_DISABLED);
  shim::Symbol* s = shim::Find(req.symbol);
  if (!s) return Refuse(res, TRADE_RETCODE_INVALID);
  res.bid = s->bid;
  res.ask = s->ask;
  if (s->tradeMode == SYMBOL_TRADE_MODE_DISABLED) return Refuse(res, TRADE_RETCODE_TRADE_DISABLED);
  shim::Settlement before{shim::Tick() + st.settleMs, st.positions, st.balance, st.deals,
                          st.orders};
  uint code = TRADE_RETCODE_DONE;
  if (req.action == TRADE_ACTION_SLTP) {
    code = Modify(*s, req);
  } else {
    bool buy = req.type == ORDER_TYPE_BUY;
    double steps = req.volume / s->volStep;
    if (!FillingAllowed(*s, req.type_filling)) return Refuse(res, TRADE_RETCODE_INVALID_FILL);
    if (req.volume < s->volMin - 1e-9 || req.volume > s->volMax + 1e-9 ||
        std::fabs(steps - std::round(steps)) > 1e-6)
      return Refuse(res, TRADE_RETCODE_INVALID_VOLUME);
    if (Opens(req)) {
      if (s->tradeMode == SYMBOL_TRADE_MODE_CLOSEONLY) return Refuse(res, TRADE_RETCODE_CLOSE_ONLY);
      if (s->tradeMode == SYMBOL_TRADE_MODE_LONGONLY && !buy)
        return Refuse(res, TRADE_RETCODE_LONG_ONLY);
      if (s->tradeMode == SYMBOL_TRADE_MODE_SHORTONLY && buy)
        return Refuse(res, TRADE_RETCODE_SHORT_ONLY);
      if (!StopsValid(*s, buy, req.sl, req.tp)) return Refuse(res, TRADE_RETCODE_INVALID_STOPS);
    }
    for (const shim::Position& p : st.positions)
      if (p.symbol == req.symbol &&
          (req.position == p.ticket ||
           (req.position == 0 && st.marginMode != ACCOUNT_MARGIN_MODE_RETAIL_HEDGING &&
            p.buy != buy)))
        if (Frozen(*s, p)) return Refuse(res, TRADE_RETCODE_FROZEN);
    Fill fill{st.nextTicket++, buy ? s->ask : s->bid, req.comment.substr(0, st.commentLimit),
              static_cast<long>(req.magic)};
    code = st.marginMode == ACCOUNT_MARGIN_MODE_RETAIL_HEDGING ? HedgingDeal(*s, req, fill, res)
                                                               : NettingDeal(*s, req, fill, res);
    if (code == TRADE_RETCODE_DONE) {
      shim::HistoryOrder o;
      o.ticket = fill.order;
      o.time = TimeCurrent();
      o.type = req.type;
      o.positionId = req.position != 0 ? req.position : fill.order;
      o.symbol = req.symbol;
      o.magic = fill.magic;
      o.comment = fill.comment;
      st.orders.push_back(o);
      res.order = fill.order;
      res.volume = req.volume;
      res.price = fill.price;
    }
  }
  if (code != TRADE_RETCODE_DONE) return Refuse(res, code);
  res.retcode = TRADE_RETCODE_DONE;
  st.settling.push_back(before);
  return true;
}
