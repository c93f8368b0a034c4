// Executes one order record against the trade server: the account's and the symbol's
// permissions, sizing, levels, the trader's rules, the filling policy the execution mode
// allows, bounded retries of requotes and busy answers, FIFO closes, and the reason for
// every refusal. OrderSend is not fully synchronous (the position list follows a moment
// later), so every fill is waited for before the order counts as done.
#ifndef QV_EXECUTOR_MQH
#define QV_EXECUTOR_MQH

#include "QV_Orders.mqh"
#include "QV_Rules.mqh"

// How long a fill may take to show in the terminal's positions and history.
#define QV_SETTLE_WAIT_MS 2000
#define QV_SETTLE_STEP_MS 20

struct QvSettings {
  string chartSymbol;
  long magic;
  int deviationPoints;
  int maxRetries;
  int retryDelayMs;
  bool distancesInPoints;
  double maxRiskPct;       // every order; 0: no cap
  double maxSpreadPts;     // every opening order; 0: none
  double maxDailyLossPct;  // 0: max_dd of the configuration
  double maxLots;          // InpMaxLots: every opening order; 0: no cap
  int hourStart;           // AI_TradingHours, -1: every hour
  int hourEnd;
};

class QvExecutor {
 public:
  QvSettings m_set;
  QvConfig m_cfg;
  bool m_cfgUnreadable;  // the configuration file is there but cannot be used
  ulong m_tickets[256];  // OldestFirst's answer

  QvExecutor() {
    m_cfg.loaded = false;
    m_cfg.riskPct = 0;
    m_cfg.maxDd = 0;
    m_cfg.maxSpread = 0;
    m_cfg.hourStart = -1;
    m_cfg.hourEnd = -1;
    m_cfgUnreadable = false;
  }

  static bool Retryable(uint code) {
    return code == TRADE_RETCODE_REQUOTE || code == TRADE_RETCODE_PRICE_CHANGED ||
           code == TRADE_RETCODE_PRICE_OFF || code == TRADE_RETCODE_TOO_MANY_REQUESTS ||
           code == TRADE_RETCODE_CONNECTION;
  }

  static string RetcodeText(uint code) {
    if (code == TRADE_RETCODE_REQUOTE) return "requote";
    if (code == TRADE_RETCODE_REJECT) return "request rejected";
    if (code == TRADE_RETCODE_CANCEL) return "request canceled by the trader";
    if (code == TRADE_RETCODE_ERROR) return "request processing error";
    if (code == TRADE_RETCODE_TIMEOUT) return "request timed out";
    if (code == TRADE_RETCODE_INVALID) return "invalid request";
    if (code == TRADE_RETCODE_INVALID_VOLUME) return "invalid volume";
    if (code == TRADE_RETCODE_INVALID_PRICE) return "invalid price";
    if (code == TRADE_RETCODE_INVALID_STOPS) return "invalid stops";
    if (code == TRADE_RETCODE_TRADE_DISABLED) return "trading disabled";
    if (code == TRADE_RETCODE_MARKET_CLOSED) return "market closed";
    if (code == TRADE_RETCODE_NO_MONEY) return "not enough money";
    if (code == TRADE_RETCODE_PRICE_CHANGED) return "prices changed";
    if (code == TRADE_RETCODE_PRICE_OFF) return "no quotes";
    if (code == TRADE_RETCODE_TOO_MANY_REQUESTS) return "too many requests";
    if (code == TRADE_RETCODE_NO_CHANGES) return "no changes in the request";
    if (code == TRADE_RETCODE_SERVER_DISABLES_AT) return "algo trading disabled by the server";
    if (code == TRADE_RETCODE_CLIENT_DISABLES_AT) return "algo trading disabled in the terminal";
    if (code == TRADE_RETCODE_LOCKED) return "request locked for processing";
    if (code == TRADE_RETCODE_FROZEN) return "order or position frozen";
    if (code == TRADE_RETCODE_INVALID_FILL) return "invalid filling mode";
    if (code == TRADE_RETCODE_CONNECTION) return "no connection to the trade server";
    if (code == TRADE_RETCODE_LIMIT_VOLUME) return "volume limit reached";
    if (code == TRADE_RETCODE_POSITION_CLOSED) return "position already closed";
    if (code == TRADE_RETCODE_INVALID_CLOSE_VOLUME) return "close volume exceeds the position";
    if (code == TRADE_RETCODE_LIMIT_POSITIONS) return "position limit reached";
    if (code == TRADE_RETCODE_LONG_ONLY) return "only buys allowed";
    if (code == TRADE_RETCODE_SHORT_ONLY) return "only sells allowed";
    if (code == TRADE_RETCODE_CLOSE_ONLY) return "only closes allowed";
    if (code == TRADE_RETCODE_FIFO_CLOSE) return "positions must close first in, first out";
    if (code == TRADE_RETCODE_HEDGE_PROHIBITED) return "opposite positions prohibited";
    return "trade server answer";
  }

  // A market order's filling policy by the symbol's execution mode: Instant and Request
  // execution accept Fill or Kill only; Market execution what the symbol's flags allow;
  // Exchange execution also Return, which every other mode refuses with 10030.
  static uint FillingFor(const QvSymbolSpec &s) {
    bool fok = (s.fillingModes & SYMBOL_FILLING_FOK) != 0;
    bool ioc = (s.fillingModes & SYMBOL_FILLING_IOC) != 0;
    if (s.execution == SYMBOL_TRADE_EXECUTION_REQUEST ||
        s.execution == SYMBOL_TRADE_EXECUTION_INSTANT)
      return ORDER_FILLING_FOK;
    if (fok) return ORDER_FILLING_FOK;
    if (ioc) return ORDER_FILLING_IOC;
    if (s.execution == SYMBOL_TRADE_EXECUTION_EXCHANGE) return ORDER_FILLING_RETURN;
    return ORDER_FILLING_FOK;
  }

  // The other policy the symbol allows, tried once after an "invalid filling mode" answer.
  static uint OtherFilling(const QvSymbolSpec &s, uint used) {
    if (used != ORDER_FILLING_IOC && (s.fillingModes & SYMBOL_FILLING_IOC) != 0)
      return ORDER_FILLING_IOC;
    if (used != ORDER_FILLING_FOK) return ORDER_FILLING_FOK;
    if (s.execution == SYMBOL_TRADE_EXECUTION_EXCHANGE) return ORDER_FILLING_RETURN;
    return used;
  }

  // Sends a request, refreshing the price after a requote; every other answer than a fill
  // or one of the retryable ones ends it with the server's reason.
  bool Send(MqlTradeRequest &req, const QvSymbolSpec &s, bool isDeal, bool isBuy,
            MqlTradeResult &res, string &reason) {
    bool refilled = false;
    for (int attempt = 0; attempt <= m_set.maxRetries; attempt++) {
      if (isDeal)
        req.price = isBuy ? SymbolInfoDouble(req.symbol, SYMBOL_ASK)
                          : SymbolInfoDouble(req.symbol, SYMBOL_BID);
      ZeroMemory(res);
      ResetLastError();
      bool sent = OrderSend(req, res);
      if (res.retcode == TRADE_RETCODE_DONE || res.retcode == TRADE_RETCODE_DONE_PARTIAL ||
          res.retcode == TRADE_RETCODE_PLACED)
        return true;
      if (isDeal && res.retcode == TRADE_RETCODE_INVALID_FILL && !refilled) {
        uint other = OtherFilling(s, (uint)req.type_filling);
        if (other != (uint)req.type_filling) {
          Print("Quorvale: filling mode refused (10030), trying the symbol's other mode");
          req.type_filling = (ENUM_ORDER_TYPE_FILLING)other;
          refilled = true;
          attempt--;
          continue;
        }
      }
      if (Retryable(res.retcode) && attempt < m_set.maxRetries) {
        Print("Quorvale: " + RetcodeText(res.retcode) + " (" + QvText::Int(res.retcode) +
              "), retrying");
        Sleep(m_set.retryDelayMs);
        continue;
      }
      reason = "trade server: " + RetcodeText(res.retcode) + " (" + QvText::Int(res.retcode) + ")";
      if (res.comment != "") reason += ": " + res.comment;
      if (!sent && res.retcode == 0)
        reason = "request not sent (error " + QvText::Int(GetLastError()) + ")";
      return false;
    }
    return false;
  }

  void BaseRequest(MqlTradeRequest &req, const QvSymbolSpec &s, const string id) {
    ZeroMemory(req);
    req.symbol = s.name;
    req.magic = (ulong)m_set.magic;
    req.deviation = (ulong)m_set.deviationPoints;
    req.type_filling = (ENUM_ORDER_TYPE_FILLING)FillingFor(s);
    // The comment ties every deal to its order id: recovery after a crash looks it up.
    req.comment = "Quorvale " + id;
  }

  // Until the deal shows in the terminal's history (and, for gone, the position is off the
  // list): the next order of the same account must see what this one did.
  static bool Settled(ulong deal, ulong gone) {
    for (int waited = 0; waited <= QV_SETTLE_WAIT_MS; waited += QV_SETTLE_STEP_MS) {
      bool dealShown = deal == 0;
      if (!dealShown) {
        datetime now = TimeCurrent();
        if (HistorySelect(now - 86400, now + 86400)) {
          int n = HistoryDealsTotal();
          for (int i = n - 1; i >= 0 && !dealShown; i--)
            if (HistoryDealGetTicket(i) == deal) dealShown = true;
        }
      }
      if (dealShown && (gone == 0 || !PositionSelectByTicket(gone))) return true;
      Sleep(QV_SETTLE_STEP_MS);
    }
    Print("Quorvale: deal " + QvText::Int((long)deal) + " did not show in the terminal within " +
          QvText::Int(QV_SETTLE_WAIT_MS) + " ms");
    return false;
  }

  // Today's start balance: the balance less what today's trades made. Deposits,
  // withdrawals, credit and bonuses are not trading: a withdrawal must not trip the loss
  // cap, nor a deposit hide the day's losses.
  double DayStartBalance() {
    datetime now = TimeCurrent();
    datetime dayStart = now - now % 86400;
    double realized = 0;
    if (HistorySelect(dayStart, now + 60)) {
      int n = HistoryDealsTotal();
      for (int i = 0; i < n; i++) {
        ulong t = HistoryDealGetTicket(i);
        if (t == 0) continue;
        long type = HistoryDealGetInteger(t, DEAL_TYPE);
        if (type != DEAL_TYPE_BUY && type != DEAL_TYPE_SELL) continue;
        realized += HistoryDealGetDouble(t, DEAL_PROFIT) + HistoryDealGetDouble(t, DEAL_SWAP) +
                    HistoryDealGetDouble(t, DEAL_COMMISSION) + HistoryDealGetDouble(t, DEAL_FEE);
      }
    }
    return AccountInfoDouble(ACCOUNT_BALANCE) - realized;
  }

  // What the terminal, the account and the symbol allow, before anything is sent.
  static bool CheckPermissions(const QvSymbolSpec &s, bool opening, bool isBuy, string &reason) {
    if (!TerminalInfoInteger(TERMINAL_TRADE_ALLOWED) || !MQLInfoInteger(MQL_TRADE_ALLOWED)) {
      reason = "algo trading is disabled in the terminal";
      return false;
    }
    if (!AccountInfoInteger(ACCOUNT_TRADE_ALLOWED)) {
      reason = "trading is not allowed on account " + QvText::Int(AccountInfoInteger(ACCOUNT_LOGIN)) +
               " (logged in with the investor password?)";
      return false;
    }
    if (!AccountInfoInteger(ACCOUNT_TRADE_EXPERT)) {
      reason = "the broker does not allow expert advisors to trade on account " +
               QvText::Int(AccountInfoInteger(ACCOUNT_LOGIN));
      return false;
    }
    if (s.tradeMode == SYMBOL_TRADE_MODE_DISABLED) {
      reason = "trading is disabled for " + s.name;
      return false;
    }
    if (!opening) return true;
    if (s.tradeMode == SYMBOL_TRADE_MODE_CLOSEONLY) {
      reason = s.name + " is close-only: no new positions";
      return false;
    }
    if (s.tradeMode == SYMBOL_TRADE_MODE_LONGONLY && !isBuy) {
      reason = s.name + " allows buys only";
      return false;
    }
    if (s.tradeMode == SYMBOL_TRADE_MODE_SHORTONLY && isBuy) {
      reason = s.name + " allows sells only";
      return false;
    }
    return true;
  }

  // The trader's rules for an order that opens a position. AutoTrader orders (AT_ ids)
  // also obey the page's own settings: its risk, spread limit and hours.
  bool CheckOpeningRules(const QvOrder &o, const QvSymbolSpec &s, bool isBuy, double riskPct,
                         double lots, string &reason) {
    if (!CheckPermissions(s, true, isBuy, reason)) return false;
    bool automatic = QvText::StartsWith(o.id, "AT_");
    if (m_set.maxLots > 0 && lots > m_set.maxLots + 1e-9) {
      reason = QvText::Short(lots) + " lots is above the largest order of " +
               QvText::Short(m_set.maxLots) + " lots (InpMaxLots)";
      return false;
    }
    if (m_cfgUnreadable && (automatic || (m_set.maxDailyLossPct <= 0 && m_cfg.maxDd > 0))) {
      reason = "the workspace's risk settings (QV_AIConfig.json) cannot be read";
      return false;
    }
    MqlDateTime utc;
    TimeToStruct(TimeGMT(), utc);
    if (!QvRules::HourAllowed(m_set.hourStart, m_set.hourEnd, utc.hour)) {
      reason = "outside the trading hours " + QvText::Int(m_set.hourStart) + "-" +
               QvText::Int(m_set.hourEnd) + " UTC (now " + QvText::Int(utc.hour) + ":00)";
      return false;
    }
    if (automatic && !QvRules::HourAllowed(m_cfg.hourStart, m_cfg.hourEnd, utc.hour)) {
      reason = "outside the AutoTrader hours " + QvText::Int(m_cfg.hourStart) + "-" +
               QvText::Int(m_cfg.hourEnd) + " UTC (now " + QvText::Int(utc.hour) + ":00)";
      return false;
    }
    double spread = MathRound((s.ask - s.bid) / s.point);
    double maxSpread = m_set.maxSpreadPts;
    if (automatic && m_cfg.maxSpread > 0 && (maxSpread <= 0 || m_cfg.maxSpread < maxSpread))
      maxSpread = m_cfg.maxSpread;
    if (maxSpread > 0 && spread > maxSpread) {
      reason = "spread " + QvText::Num(spread, 0) + " points above the maximum " +
               QvText::Num(maxSpread, 0);
      return false;
    }
    if (riskPct > 0) {
      if (m_set.maxRiskPct > 0 && riskPct > m_set.maxRiskPct + 1e-9) {
        reason = "risk " + QvText::Num(riskPct, 1) + "% above the maximum " +
                 QvText::Num(m_set.maxRiskPct, 1) + "%";
        return false;
      }
      if (automatic && m_cfg.riskPct > 0 && riskPct > m_cfg.riskPct + 1e-9) {
        reason = "AutoTrader risk " + QvText::Num(riskPct, 1) + "% above the configured " +
                 QvText::Num(m_cfg.riskPct, 1) + "%";
        return false;
      }
    }
    double cap = m_set.maxDailyLossPct > 0 ? m_set.maxDailyLossPct : m_cfg.maxDd;
    if (cap > 0) {
      double start = DayStartBalance();
      // Equity includes the broker's credit, which is no money of the trader's to lose.
      double equity = AccountInfoDouble(ACCOUNT_EQUITY) - AccountInfoDouble(ACCOUNT_CREDIT);
      if (start > 0) {
        double lossPct = (start - equity) / start * 100.0;
        if (lossPct >= cap - 1e-9) {
          reason = "daily loss cap reached: down " + QvText::Num(lossPct, 2) + "% today, cap " +
                   QvText::Num(cap, 2) + "%";
          return false;
        }
      }
    }
    return true;
  }

  // An opening order fully checked, not yet sent: what Open sends.
  bool PrepareOpen(const QvOrder &o, const string symbol, bool isBuy, double fixedLots,
                   QvSymbolSpec &s, double &sl, double &tp, double &lots, string &reason) {
    if (!QvRules::LoadSpec(symbol, s)) {
      reason = "symbol " + symbol + " is not quoted in this terminal";
      return false;
    }
    if (!QvRules::ResolveLevel(s, o.sl, o.slKind, isBuy, true, m_set.distancesInPoints, sl, reason))
      return false;
    if (!QvRules::ResolveLevel(s, o.tp, o.tpKind, isBuy, false, m_set.distancesInPoints, tp,
                               reason))
      return false;
    if (!QvRules::CheckStops(s, isBuy, sl, tp, reason)) return false;
    double riskPct = 0;
    lots = fixedLots;
    string size = QvText::Trim(o.size);
    if (lots <= 0) {
      if (QvText::StartsWith(QvText::Upper(size), "R:")) {
        if (!QvText::ParseNumber(QvText::Sub(size, 2, StringLen(size) - 2), riskPct) ||
            riskPct <= 0) {
          reason = "risk size '" + size + "' is not a positive percentage";
          return false;
        }
        double entry = isBuy ? s.ask : s.bid;
        if (!QvRules::RiskLots(s, AccountInfoDouble(ACCOUNT_EQUITY), riskPct, entry, sl, lots,
                               reason))
          return false;
      } else {
        double v = 0;
        if (!QvText::ParseNumber(size, v) || v <= 0) {
          reason = "size '" + size + "' is not a positive lot size";
          return false;
        }
        if (!QvRules::FixedLots(s, v, lots, reason)) return false;
      }
    }
    return CheckOpeningRules(o, s, isBuy, riskPct, lots, reason);
  }

  bool SendOpen(const QvOrder &o, const QvSymbolSpec &s, bool isBuy, double sl, double tp,
                double lots, QvOutcome &out) {
    MqlTradeRequest req;
    MqlTradeResult res;
    BaseRequest(req, s, o.id);
    req.action = TRADE_ACTION_DEAL;
    req.type = isBuy ? ORDER_TYPE_BUY : ORDER_TYPE_SELL;
    req.volume = lots;
    req.sl = sl;
    req.tp = tp;
    if (!Send(req, s, true, isBuy, res, out.reason)) return false;
    out.ok = true;
    out.status = QV_EXECUTED;
    out.ticket = res.order != 0 ? res.order : res.deal;
    out.price = res.price;
    out.volume = res.volume > 0 ? res.volume : lots;
    out.symbol = s.name;
    Settled(res.deal, 0);
    return true;
  }

  bool Open(const QvOrder &o, const string symbol, bool isBuy, QvOutcome &out) {
    QvSymbolSpec s;
    double sl = 0;
    double tp = 0;
    double lots = 0;
    if (!PrepareOpen(o, symbol, isBuy, 0, s, sl, tp, lots, out.reason)) return false;
    return SendOpen(o, s, isBuy, sl, tp, lots, out);
  }

  // Within the freeze level the broker neither modifies nor closes a position.
  static bool CheckFreeze(const QvSymbolSpec &s, bool isBuy, double sl, double tp,
                          string &reason) {
    if (s.freezeLevel <= 0) return true;
    double freeze = s.freezeLevel * s.point + s.point / 2;
    double ref = isBuy ? s.bid : s.ask;
    bool slFrozen = sl > 0 && (isBuy ? ref - sl : sl - ref) <= freeze;
    bool tpFrozen = tp > 0 && (isBuy ? tp - ref : ref - tp) <= freeze;
    if (!slFrozen && !tpFrozen) return true;
    string which = slFrozen ? "stop loss" : "take profit";
    reason = "the " + which + " lies within the freeze level of " + QvText::Int(s.freezeLevel) +
             " points of the " + (isBuy ? "bid" : "ask") + "; the broker allows no change now";
    return false;
  }

  bool ClosePosition(const string id, ulong ticket, double volume, QvOutcome &out) {
    if (!PositionSelectByTicket(ticket)) {
      out.reason = "position " + QvText::Int((long)ticket) + " is gone";
      return false;
    }
    QvSymbolSpec s;
    string symbol = PositionGetString(POSITION_SYMBOL);
    if (!QvRules::LoadSpec(symbol, s)) {
      out.reason = "symbol " + symbol + " is not quoted in this terminal";
      return false;
    }
    bool wasBuy = PositionGetInteger(POSITION_TYPE) == POSITION_TYPE_BUY;
    double whole = PositionGetDouble(POSITION_VOLUME);
    if (!CheckPermissions(s, false, !wasBuy, out.reason)) return false;
    if (!CheckFreeze(s, wasBuy, PositionGetDouble(POSITION_SL), PositionGetDouble(POSITION_TP),
                     out.reason))
      return false;
    MqlTradeRequest req;
    MqlTradeResult res;
    BaseRequest(req, s, id);
    req.action = TRADE_ACTION_DEAL;
    req.position = ticket;
    req.type = wasBuy ? ORDER_TYPE_SELL : ORDER_TYPE_BUY;
    req.volume = volume;
    if (!Send(req, s, true, !wasBuy, res, out.reason)) return false;
    out.ok = true;
    out.status = QV_EXECUTED;
    if (out.ticket == 0) out.ticket = ticket;
    out.price = res.price;
    out.volume += volume;
    out.symbol = symbol;
    Settled(res.deal, volume >= whole - 1e-9 ? ticket : 0);
    return true;
  }

  // Tickets of the symbol's positions ("" for every symbol), oldest first: a FIFO account
  // refuses any other order of closes.
  int OldestFirst(const string symbol) {
    int n = 0;
    long times[256];
    for (int i = 0; i < PositionsTotal() && n < 256; i++) {
      ulong t = PositionGetTicket(i);
      if (t == 0) continue;
      if (symbol != "" && PositionGetString(POSITION_SYMBOL) != symbol) continue;
      long msc = PositionGetInteger(POSITION_TIME_MSC);
      int at = n;
      while (at > 0 && (times[at - 1] > msc || (times[at - 1] == msc && m_tickets[at - 1] > t))) {
        times[at] = times[at - 1];
        m_tickets[at] = m_tickets[at - 1];
        at--;
      }
      times[at] = msc;
      m_tickets[at] = t;
      n++;
    }
    return n;
  }

  static int CountPositions(const string symbol) {
    int count = 0;
    for (int i = 0; i < PositionsTotal(); i++) {
      ulong t = PositionGetTicket(i);
      if (t == 0) continue;
      if (symbol == "" || PositionGetString(POSITION_SYMBOL) == symbol) count++;
    }
    return count;
  }

  bool CloseAll(const string id, const string symbol, QvOutcome &out) {
    int n = OldestFirst(symbol);
    int closed = 0;
    string failure = "";
    for (int i = 0; i < n; i++) {
      if (!PositionSelectByTicket(m_tickets[i])) continue;
      double vol = PositionGetDouble(POSITION_VOLUME);
      QvOutcome one;
      QvOrders::ClearOutcome(one);
      if (ClosePosition(id, m_tickets[i], vol, one)) {
        closed++;
        if (out.ticket == 0) out.ticket = m_tickets[i];
        out.volume += vol;
        out.price = one.price;
      } else {
        failure = one.reason;
      }
    }
    out.symbol = symbol;
    if (closed == 0) {
      out.reason = failure != "" ? failure
                                 : (symbol == "" ? "no open position"
                                                 : "no open position on " + symbol);
      return false;
    }
    if (failure != "") Print("Quorvale: a position did not close: " + failure);
    out.ok = true;
    out.status = QV_EXECUTED;
    return true;
  }

  // Half of each position, down to the volume step; a half below the minimum volume, or a
  // rest below it, is refused for that position. On a FIFO account only the oldest position
  // may shrink, so half of the symbol's whole volume is closed from the oldest on.
  bool CloseHalf(const string id, const string symbol, QvOutcome &out) {
    QvSymbolSpec s;
    if (!QvRules::LoadSpec(symbol, s)) {
      out.reason = "symbol " + symbol + " is not quoted in this terminal";
      return false;
    }
    int n = OldestFirst(symbol);
    int vd = QvRules::VolumeDigits(s);
    bool fifo = AccountInfoInteger(ACCOUNT_FIFO_CLOSE) != 0;
    double left = 0;
    if (fifo) {
      for (int i = 0; i < n; i++)
        if (PositionSelectByTicket(m_tickets[i])) left += PositionGetDouble(POSITION_VOLUME);
      left = QvRules::FloorLots(s, left / 2.0);
    }
    int done = 0;
    string failure = "";
    for (int i = 0; i < n; i++) {
      if (!PositionSelectByTicket(m_tickets[i])) continue;
      double vol = PositionGetDouble(POSITION_VOLUME);
      double part = fifo ? MathMin(vol, left) : QvRules::FloorLots(s, vol / 2.0);
      if (fifo && part < 1e-9) break;
      double rest = vol - part;
      if (part < s.volMin - 1e-9 || (rest > 1e-9 && rest < s.volMin - 1e-9)) {
        failure = QvText::Num(vol, vd) + " lots cannot be halved with a minimum of " +
                  QvText::Num(s.volMin, vd);
        if (fifo) break;
        continue;
      }
      QvOutcome one;
      QvOrders::ClearOutcome(one);
      if (ClosePosition(id, m_tickets[i], part, one)) {
        done++;
        left -= part;
        if (out.ticket == 0) out.ticket = m_tickets[i];
        out.volume += part;
        out.price = one.price;
      } else {
        failure = one.reason;
        if (fifo) break;
      }
    }
    out.symbol = symbol;
    if (done == 0) {
      out.reason = failure != "" ? failure : "no open position on " + symbol;
      return false;
    }
    out.ok = true;
    out.status = QV_EXECUTED;
    return true;
  }

  // Stop to entry plus 2 pips on the profit side, only where that improves the stop and
  // the broker accepts it at the current price.
  bool BreakEvenPlus(const string id, const string symbol, QvOutcome &out) {
    int done = 0;
    string failure = "";
    QvSymbolSpec s;
    if (!QvRules::LoadSpec(symbol, s)) {
      out.reason = "symbol " + symbol + " is not quoted in this terminal";
      return false;
    }
    if (!CheckPermissions(s, false, true, out.reason)) return false;
    int n = OldestFirst(symbol);
    for (int i = 0; i < n; i++) {
      ulong t = m_tickets[i];
      if (!PositionSelectByTicket(t)) continue;
      bool isBuy = PositionGetInteger(POSITION_TYPE) == POSITION_TYPE_BUY;
      double open = PositionGetDouble(POSITION_PRICE_OPEN);
      double sl = PositionGetDouble(POSITION_SL);
      double tp = PositionGetDouble(POSITION_TP);
      double pip = QvRules::PipSize(s);
      double target = QvRules::NormalizePrice(s, isBuy ? open + 2 * pip : open - 2 * pip);
      bool improves = sl <= 0 || (isBuy ? target > sl + s.point / 2 : target < sl - s.point / 2);
      if (!improves) {
        failure = "the stop " + QvText::Num(sl, s.digits) + " is already at or beyond " +
                  QvText::Num(target, s.digits);
        continue;
      }
      string why = "";
      if (!CheckFreeze(s, isBuy, sl, tp, why)) {
        failure = why;
        continue;
      }
      if (!QvRules::CheckStops(s, isBuy, target, 0, why)) {
        failure = "price has not moved far enough: " + why;
        continue;
      }
      MqlTradeRequest req;
      MqlTradeResult res;
      BaseRequest(req, s, id);
      req.action = TRADE_ACTION_SLTP;
      req.position = t;
      req.sl = target;
      req.tp = tp;
      if (Send(req, s, false, isBuy, res, why)) {
        done++;
        if (out.ticket == 0) out.ticket = t;
        out.price = target;
      } else {
        failure = why;
      }
    }
    out.symbol = symbol;
    if (done == 0) {
      out.reason = failure != "" ? failure : "no open position on " + symbol;
      return false;
    }
    out.ok = true;
    out.status = QV_EXECUTED;
    return true;
  }

  // Closes the symbol's positions and opens their net volume the other way, with the
  // record's stop and target taken from the new entry. Everything that could refuse the
  // new position is checked before anything closes, so a refusal never leaves the trader
  // flat; the closes are waited for before the new position is sent.
  bool Reverse(const QvOrder &o, const string symbol, QvOutcome &out) {
    double net = 0;
    for (int i = 0; i < PositionsTotal(); i++) {
      ulong t = PositionGetTicket(i);
      if (t == 0 || PositionGetString(POSITION_SYMBOL) != symbol) continue;
      double v = PositionGetDouble(POSITION_VOLUME);
      net += PositionGetInteger(POSITION_TYPE) == POSITION_TYPE_BUY ? v : -v;
    }
    if (CountPositions(symbol) == 0) {
      out.reason = "no position on " + symbol + " to reverse";
      return false;
    }
    QvSymbolSpec s;
    if (!QvRules::LoadSpec(symbol, s)) {
      out.reason = "symbol " + symbol + " is not quoted in this terminal";
      return false;
    }
    double lots = QvRules::FloorLots(s, MathAbs(net));
    if (lots < s.volMin - 1e-9) {
      out.reason = "positions on " + symbol + " are flat; nothing to reverse";
      return false;
    }
    if (lots > s.volMax + 1e-9) {
      out.reason = "the net " + QvText::Short(lots) + " lots on " + symbol +
                   " are more than one order of at most " + QvText::Short(s.volMax) +
                   " lots; not reversing";
      return false;
    }
    bool isBuy = net < 0;
    double sl = 0;
    double tp = 0;
    if (!PrepareOpen(o, symbol, isBuy, lots, s, sl, tp, lots, out.reason)) {
      out.reason = "not reversing: " + out.reason;
      return false;
    }
    QvOutcome closed;
    QvOrders::ClearOutcome(closed);
    if (!CloseAll(o.id, symbol, closed)) {
      out.reason = closed.reason;
      return false;
    }
    if (CountPositions(symbol) > 0) {
      out.reason = "not every position on " + symbol + " closed; not reversing";
      return false;
    }
    // Prices moved while closing: the levels are taken again from the new entry.
    if (!PrepareOpen(o, symbol, isBuy, lots, s, sl, tp, lots, out.reason)) {
      out.reason = "closed, but the reverse position was refused: " + out.reason;
      return false;
    }
    return SendOpen(o, s, isBuy, sl, tp, lots, out);
  }

  // symbol: the terminal's name for the record's symbol ("" with CLOSE ALL).
  bool Execute(const QvOrder &o, const string symbol, QvOutcome &out) {
    QvOrders::ClearOutcome(out);
    out.symbol = symbol;
    if (o.action == "CLOSE" && o.symbol == "ALL") return CloseAll(o.id, "", out);
    if (o.action == "BUY") return Open(o, symbol, true, out);
    if (o.action == "SELL") return Open(o, symbol, false, out);
    if (o.action == "CLOSE") return CloseAll(o.id, symbol, out);
    if (o.action == "CLOSE_50") return CloseHalf(o.id, symbol, out);
    if (o.action == "BE_PLUS") return BreakEvenPlus(o.id, symbol, out);
    if (o.action == "REVERSE") return Reverse(o, symbol, out);
    out.reason = "unknown action '" + o.action + "'";
    return false;
  }

  // The position an order opened, found by its comment after a crash cut the advisor off
  // between OrderSend and the result: in the open positions, the history's orders and its
  // deals. A broker may shorten comments; a shortened one counts when it matches the start
  // and nothing else matches differently. 0 when not found (or not unambiguously).
  static ulong FindFill(const string id) {
    string want = "Quorvale " + id;
    ulong found = 0;
    bool clash = false;
    for (int i = 0; i < PositionsTotal(); i++) {
      ulong t = PositionGetTicket(i);
      if (t != 0 && CommentMatches(PositionGetString(POSITION_COMMENT), want))
        Note((ulong)PositionGetInteger(POSITION_IDENTIFIER), found, clash);
    }
    datetime now = TimeCurrent();
    if (HistorySelect(now - 3 * 86400, now + 86400)) {
      for (int i = 0; i < HistoryOrdersTotal(); i++) {
        ulong t = HistoryOrderGetTicket(i);
        if (t != 0 && CommentMatches(HistoryOrderGetString(t, ORDER_COMMENT), want))
          Note((ulong)HistoryOrderGetInteger(t, ORDER_POSITION_ID), found, clash);
      }
      for (int i = 0; i < HistoryDealsTotal(); i++) {
        ulong t = HistoryDealGetTicket(i);
        if (t != 0 && HistoryDealGetInteger(t, DEAL_ENTRY) == DEAL_ENTRY_IN &&
            CommentMatches(HistoryDealGetString(t, DEAL_COMMENT), want))
          Note((ulong)HistoryDealGetInteger(t, DEAL_POSITION_ID), found, clash);
      }
    }
    return clash ? 0 : found;
  }

  static bool CommentMatches(const string comment, const string want) {
    if (comment == want) return true;
    return StringLen(comment) >= 24 && QvText::StartsWith(want, comment);
  }

  static void Note(ulong ticket, ulong &found, bool &clash) {
    if (ticket == 0) return;
    if (found != 0 && found != ticket) clash = true;
    found = ticket;
  }
};

#endif
