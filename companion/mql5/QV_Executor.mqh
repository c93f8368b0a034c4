// Executes one order record against the trade server: sizing, levels, the trader's rules,
// bounded retries of requotes and busy answers, and the reason for every refusal.
#ifndef QV_EXECUTOR_MQH
#define QV_EXECUTOR_MQH

#include "QV_Orders.mqh"
#include "QV_Rules.mqh"

struct QvSettings {
  string chartSymbol;
  long magic;
  int deviationPoints;
  int maxRetries;
  int retryDelayMs;
  bool distancesInPoints;
  double maxRiskPct;      // every order; 0: no cap
  double maxSpreadPts;    // every opening order; 0: none
  double maxDailyLossPct; // 0: max_dd of the configuration
  int hourStart;          // AI_TradingHours, -1: every hour
  int hourEnd;
};

struct QvOutcome {
  bool ok;
  ulong ticket;
  double price;
  double volume;
  string reason;
  string symbol;
};

class QvExecutor {
 public:
  QvSettings m_set;
  QvConfig m_cfg;

  QvExecutor() {
    m_cfg.loaded = false;
    m_cfg.riskPct = 0;
    m_cfg.maxDd = 0;
    m_cfg.maxSpread = 0;
    m_cfg.hourStart = -1;
    m_cfg.hourEnd = -1;
  }

  static void Clear(QvOutcome &out) {
    out.ok = false;
    out.ticket = 0;
    out.price = 0;
    out.volume = 0;
    out.reason = "";
    out.symbol = "";
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
    if (code == TRADE_RETCODE_CONNECTION) return "no connection to the trade server";
    if (code == TRADE_RETCODE_LIMIT_VOLUME) return "volume limit reached";
    if (code == TRADE_RETCODE_INVALID_FILL) return "invalid filling mode";
    return "trade server answer";
  }

  static uint FillingFor(long modes) {
    if ((modes & SYMBOL_FILLING_FOK) != 0) return ORDER_FILLING_FOK;
    if ((modes & SYMBOL_FILLING_IOC) != 0) return ORDER_FILLING_IOC;
    return ORDER_FILLING_RETURN;
  }

  // Sends a request, refreshing the price after a requote; every other answer than a fill
  // or one of the retryable ones ends it with the server's reason.
  bool Send(MqlTradeRequest &req, bool isDeal, bool isBuy, MqlTradeResult &res, string &reason) {
    for (int attempt = 0; attempt <= m_set.maxRetries; attempt++) {
      if (isDeal)
        req.price = isBuy ? SymbolInfoDouble(req.symbol, SYMBOL_ASK)
                          : SymbolInfoDouble(req.symbol, SYMBOL_BID);
      ZeroMemory(res);
      bool sent = OrderSend(req, res);
      if (res.retcode == TRADE_RETCODE_DONE || res.retcode == TRADE_RETCODE_DONE_PARTIAL ||
          res.retcode == TRADE_RETCODE_PLACED)
        return true;
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

  static void BaseRequest(MqlTradeRequest &req, const QvSymbolSpec &s, long magic, int deviation) {
    ZeroMemory(req);
    req.symbol = s.name;
    req.magic = (ulong)magic;
    req.deviation = (ulong)deviation;
    req.type_filling = (ENUM_ORDER_TYPE_FILLING)FillingFor(s.fillingModes);
  }

  // Symbol as named in the record: CURRENT is the chart's; a name the broker quotes with a
  // suffix (EURUSD as EURUSD.m on the chart) is taken as the chart's symbol.
  string ResolveSymbol(const string symbol) {
    if (symbol == "CURRENT") return m_set.chartSymbol;
    if (SymbolInfoDouble(symbol, SYMBOL_BID) > 0) return symbol;
    if (QvText::StartsWith(QvText::Upper(m_set.chartSymbol), QvText::Upper(symbol)))
      return m_set.chartSymbol;
    SymbolSelect(symbol, true);
    return symbol;
  }

  // Today's start balance: the balance less what closed deals of this server day made.
  double DayStartBalance() {
    datetime now = TimeCurrent();
    datetime dayStart = now - now % 86400;
    double realized = 0;
    if (HistorySelect(dayStart, now + 60)) {
      int n = HistoryDealsTotal();
      for (int i = 0; i < n; i++) {
        ulong t = HistoryDealGetTicket(i);
        if (t == 0) continue;
        realized += HistoryDealGetDouble(t, DEAL_PROFIT) + HistoryDealGetDouble(t, DEAL_SWAP) +
                    HistoryDealGetDouble(t, DEAL_COMMISSION);
      }
    }
    return AccountInfoDouble(ACCOUNT_BALANCE) - realized;
  }

  // The trader's rules for an order that opens a position. AutoTrader orders (AT_ ids)
  // also obey the page's own settings: its risk, spread limit and hours.
  bool CheckOpeningRules(const QvOrder &o, const QvSymbolSpec &s, double riskPct,
                         string &reason) {
    if (!TerminalInfoInteger(TERMINAL_TRADE_ALLOWED) || !MQLInfoInteger(MQL_TRADE_ALLOWED)) {
      reason = "algo trading is disabled in the terminal";
      return false;
    }
    bool automatic = QvText::StartsWith(o.id, "AT_");
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
      double equity = AccountInfoDouble(ACCOUNT_EQUITY);
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

  bool Open(const QvOrder &o, const string symbol, bool isBuy, double fixedLots,
            QvOutcome &out) {
    QvSymbolSpec s;
    if (!QvRules::LoadSpec(symbol, s)) {
      out.reason = "symbol " + symbol + " is not quoted in this terminal";
      return false;
    }
    double sl = 0;
    double tp = 0;
    if (!QvRules::ResolveLevel(s, o.sl, isBuy, true, m_set.distancesInPoints, sl, out.reason))
      return false;
    if (!QvRules::ResolveLevel(s, o.tp, isBuy, false, m_set.distancesInPoints, tp, out.reason))
      return false;
    if (!QvRules::CheckStops(s, isBuy, sl, tp, out.reason)) return false;
    double riskPct = 0;
    double lots = fixedLots;
    string size = QvText::Trim(o.size);
    if (lots <= 0) {
      if (QvText::StartsWith(QvText::Upper(size), "R:")) {
        if (!QvText::ParseNumber(QvText::Sub(size, 2, StringLen(size) - 2), riskPct) ||
            riskPct <= 0) {
          out.reason = "risk size '" + size + "' is not a positive percentage";
          return false;
        }
      } else {
        double v = 0;
        if (!QvText::ParseNumber(size, v) || v <= 0) {
          out.reason = "size '" + size + "' is not a positive lot size";
          return false;
        }
        lots = QvRules::RoundLots(s, v);
      }
    }
    if (!CheckOpeningRules(o, s, riskPct, out.reason)) return false;
    if (riskPct > 0) {
      double entry = isBuy ? s.ask : s.bid;
      if (!QvRules::RiskLots(s, AccountInfoDouble(ACCOUNT_EQUITY), riskPct, entry, sl, lots,
                             out.reason))
        return false;
    }
    MqlTradeRequest req;
    MqlTradeResult res;
    BaseRequest(req, s, m_set.magic, m_set.deviationPoints);
    req.action = TRADE_ACTION_DEAL;
    req.type = isBuy ? ORDER_TYPE_BUY : ORDER_TYPE_SELL;
    req.volume = lots;
    req.sl = sl;
    req.tp = tp;
    req.comment = "Quorvale " + o.id;
    if (!Send(req, true, isBuy, res, out.reason)) return false;
    out.ok = true;
    out.ticket = res.order != 0 ? res.order : res.deal;
    out.price = res.price;
    out.volume = res.volume > 0 ? res.volume : lots;
    out.symbol = symbol;
    return true;
  }

  bool ClosePosition(ulong ticket, double volume, QvOutcome &out) {
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
    MqlTradeRequest req;
    MqlTradeResult res;
    BaseRequest(req, s, m_set.magic, m_set.deviationPoints);
    req.action = TRADE_ACTION_DEAL;
    req.position = ticket;
    req.type = wasBuy ? ORDER_TYPE_SELL : ORDER_TYPE_BUY;
    req.volume = volume;
    if (!Send(req, true, !wasBuy, res, out.reason)) return false;
    out.ok = true;
    if (out.ticket == 0) out.ticket = ticket;
    out.price = res.price;
    out.volume += volume;
    out.symbol = symbol;
    return true;
  }

  // Positions of a symbol ("" for every symbol), newest last, into the caller's loop.
  static int CountPositions(const string symbol) {
    int count = 0;
    for (int i = PositionsTotal() - 1; i >= 0; i--) {
      ulong t = PositionGetTicket(i);
      if (t == 0) continue;
      if (symbol == "" || PositionGetString(POSITION_SYMBOL) == symbol) count++;
    }
    return count;
  }

  bool CloseAll(const string symbol, QvOutcome &out) {
    int closed = 0;
    string failure = "";
    for (int i = PositionsTotal() - 1; i >= 0; i--) {
      ulong t = PositionGetTicket(i);
      if (t == 0) continue;
      if (symbol != "" && PositionGetString(POSITION_SYMBOL) != symbol) continue;
      double vol = PositionGetDouble(POSITION_VOLUME);
      QvOutcome one;
      Clear(one);
      if (ClosePosition(t, vol, one)) {
        closed++;
        if (out.ticket == 0) out.ticket = t;
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
    return true;
  }

  // Half of each position, down to the volume step; a half below the minimum volume, or a
  // rest below it, is refused for that position.
  bool CloseHalf(const string symbol, QvOutcome &out) {
    int done = 0;
    string failure = "";
    for (int i = PositionsTotal() - 1; i >= 0; i--) {
      ulong t = PositionGetTicket(i);
      if (t == 0 || PositionGetString(POSITION_SYMBOL) != symbol) continue;
      QvSymbolSpec s;
      if (!QvRules::LoadSpec(symbol, s)) continue;
      double vol = PositionGetDouble(POSITION_VOLUME);
      double half = QvRules::FloorLots(s, vol / 2.0);
      double rest = vol - half;
      int vd = QvRules::VolumeDigits(s);
      if (half < s.volMin - 1e-9 || rest < s.volMin - 1e-9) {
        failure = QvText::Num(vol, vd) + " lots cannot be halved with a minimum of " +
                  QvText::Num(s.volMin, vd);
        continue;
      }
      QvOutcome one;
      Clear(one);
      if (ClosePosition(t, half, one)) {
        done++;
        if (out.ticket == 0) out.ticket = t;
        out.volume += half;
        out.price = one.price;
      } else {
        failure = one.reason;
      }
    }
    out.symbol = symbol;
    if (done == 0) {
      out.reason = failure != "" ? failure : "no open position on " + symbol;
      return false;
    }
    out.ok = true;
    return true;
  }

  // Stop to entry plus 2 pips on the profit side, only where that improves the stop and
  // the broker accepts it at the current price.
  bool BreakEvenPlus(const string symbol, QvOutcome &out) {
    int done = 0;
    string failure = "";
    QvSymbolSpec s;
    if (!QvRules::LoadSpec(symbol, s)) {
      out.reason = "symbol " + symbol + " is not quoted in this terminal";
      return false;
    }
    for (int i = PositionsTotal() - 1; i >= 0; i--) {
      ulong t = PositionGetTicket(i);
      if (t == 0 || PositionGetString(POSITION_SYMBOL) != symbol) continue;
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
      if (!QvRules::CheckStops(s, isBuy, target, 0, why)) {
        failure = "price has not moved far enough: " + why;
        continue;
      }
      MqlTradeRequest req;
      MqlTradeResult res;
      BaseRequest(req, s, m_set.magic, m_set.deviationPoints);
      req.action = TRADE_ACTION_SLTP;
      req.position = t;
      req.sl = target;
      req.tp = tp;
      if (Send(req, false, isBuy, res, why)) {
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
    return true;
  }

  // Closes the symbol's positions and opens their net volume the other way, with the
  // record's stop and target taken from the new entry.
  bool Reverse(const QvOrder &o, const string symbol, QvOutcome &out) {
    double net = 0;
    for (int i = PositionsTotal() - 1; i >= 0; i--) {
      ulong t = PositionGetTicket(i);
      if (t == 0 || PositionGetString(POSITION_SYMBOL) != symbol) continue;
      double v = PositionGetDouble(POSITION_VOLUME);
      net += PositionGetInteger(POSITION_TYPE) == POSITION_TYPE_BUY ? v : -v;
    }
    if (CountPositions(symbol) == 0) {
      out.reason = "no position on " + symbol + " to reverse";
      return false;
    }
    if (MathAbs(net) < 1e-9) {
      out.reason = "positions on " + symbol + " are flat; nothing to reverse";
      return false;
    }
    QvOutcome closed;
    Clear(closed);
    if (!CloseAll(symbol, closed)) {
      out.reason = closed.reason;
      return false;
    }
    if (CountPositions(symbol) > 0) {
      out.reason = "not every position on " + symbol + " closed; not reversing";
      return false;
    }
    return Open(o, symbol, net < 0, MathAbs(net), out);
  }

  bool Execute(const QvOrder &o, QvOutcome &out) {
    Clear(out);
    if (o.action == "CLOSE" && o.symbol == "ALL") return CloseAll("", out);
    string symbol = ResolveSymbol(o.symbol);
    out.symbol = symbol;
    if (o.action == "BUY") return Open(o, symbol, true, 0, out);
    if (o.action == "SELL") return Open(o, symbol, false, 0, out);
    if (o.action == "CLOSE") return CloseAll(symbol, out);
    if (o.action == "CLOSE_50") return CloseHalf(symbol, out);
    if (o.action == "BE_PLUS") return BreakEvenPlus(symbol, out);
    if (o.action == "REVERSE") return Reverse(o, symbol, out);
    out.reason = "unknown action '" + o.action + "'";
    return false;
  }
};

#endif
