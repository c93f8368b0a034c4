// The numbers of an order: the symbol's contract, pips, stop and target levels, lot sizes,
// and the trader's rules (risk, daily loss, spread, hours). No trading here, only decisions
// and the reason for every refusal.
#ifndef QV_RULES_MQH
#define QV_RULES_MQH

#include "QV_Levels.mqh"
#include "QV_Text.mqh"

struct QvSymbolSpec {
  string name;
  int digits;
  double point;
  double tickSize;
  double tickValue;
  double volMin;
  double volMax;
  double volStep;
  long stopsLevel;   // points
  long freezeLevel;  // points
  double bid;
  double ask;
  long fillingModes;
  long execution;  // SYMBOL_TRADE_EXEMODE
  long tradeMode;  // SYMBOL_TRADE_MODE
};

struct QvConfig {
  bool loaded;
  double riskPct;    // risk_pct: 0 when absent
  double maxDd;      // max_dd: daily loss cap in percent, 0 when absent
  double maxSpread;  // max_spread: points, 0 when absent
  int hourStart;     // hour_start, -1 when absent
  int hourEnd;       // hour_end, -1 when absent
};

class QvRules {
 public:
  static bool LoadSpec(const string symbol, QvSymbolSpec &s) {
    s.name = symbol;
    s.digits = (int)SymbolInfoInteger(symbol, SYMBOL_DIGITS);
    s.point = SymbolInfoDouble(symbol, SYMBOL_POINT);
    s.tickSize = SymbolInfoDouble(symbol, SYMBOL_TRADE_TICK_SIZE);
    s.tickValue = SymbolInfoDouble(symbol, SYMBOL_TRADE_TICK_VALUE);
    s.volMin = SymbolInfoDouble(symbol, SYMBOL_VOLUME_MIN);
    s.volMax = SymbolInfoDouble(symbol, SYMBOL_VOLUME_MAX);
    s.volStep = SymbolInfoDouble(symbol, SYMBOL_VOLUME_STEP);
    s.stopsLevel = SymbolInfoInteger(symbol, SYMBOL_TRADE_STOPS_LEVEL);
    s.freezeLevel = SymbolInfoInteger(symbol, SYMBOL_TRADE_FREEZE_LEVEL);
    s.bid = SymbolInfoDouble(symbol, SYMBOL_BID);
    s.ask = SymbolInfoDouble(symbol, SYMBOL_ASK);
    s.fillingModes = SymbolInfoInteger(symbol, SYMBOL_FILLING_MODE);
    s.execution = SymbolInfoInteger(symbol, SYMBOL_TRADE_EXEMODE);
    s.tradeMode = SymbolInfoInteger(symbol, SYMBOL_TRADE_MODE);
    if (s.tickSize <= 0) s.tickSize = s.point;
    return s.point > 0 && s.bid > 0 && s.ask > 0 && s.volStep > 0 && s.volMin > 0;
  }

  // One pip: ten points on symbols quoted with 3 or 5 digits (a fractional pip) and on
  // gold quoted with 2 digits (a pip of ten cents); one point everywhere else.
  static double PipSize(const QvSymbolSpec &s) {
    if (s.digits == 3 || s.digits == 5) return s.point * 10;
    string u = QvText::Upper(s.name);
    if (s.digits == 2 && (StringFind(u, "XAU", 0) >= 0 || StringFind(u, "GOLD", 0) >= 0))
      return s.point * 10;
    return s.point;
  }

  static double NormalizePrice(const QvSymbolSpec &s, double price) {
    double ts = s.tickSize > 0 ? s.tickSize : s.point;
    return NormalizeDouble(MathRound(price / ts) * ts, s.digits);
  }

  // Turns the typed stop (isStop) or target into a price for a buy or a sell, by the one
  // price-or-distance rule (QV_Levels.mqh). Empty or 0: none (price 0). kind: the mark the
  // workspace sent ("PRICE", "DISTANCE", "" for none). inPoints: distances are points.
  static bool ResolveLevel(const QvSymbolSpec &s, const string text, const string kind, bool isBuy,
                           bool isStop, bool inPoints, double &price, string &reason) {
    double raw = 0;
    double unit = inPoints ? s.point : PipSize(s);
    if (!QvLevels::Read(text, kind, isBuy, isStop, s.bid, s.ask, s.digits, unit, inPoints,
                        inPoints ? "points" : "pips", raw, reason))
      return false;
    price = raw > 0 ? NormalizePrice(s, raw) : 0;
    return true;
  }

  // Broker-side rules for a position's stop and target: a buy closes at the bid, so its
  // stop lies below and its target above the bid by at least the stops level; a sell
  // closes at the ask. Checked here so an invalid level never reaches the server.
  static bool CheckStops(const QvSymbolSpec &s, bool isBuy, double sl, double tp, string &reason) {
    // Half a point of slack: prices are doubles, the broker counts whole points.
    double minDist = s.stopsLevel * s.point - s.point / 2;
    double ref = isBuy ? s.bid : s.ask;
    string refName = isBuy ? "bid" : "ask";
    string gap = s.stopsLevel > 0 ? " by the minimum stop distance of " +
                                        QvText::Int(s.stopsLevel) + " points"
                                  : "";
    if (sl > 0) {
      bool ok = isBuy ? (ref - sl >= minDist && sl < ref) : (sl - ref >= minDist && sl > ref);
      if (!ok) {
        reason = "stop loss " + QvText::Num(sl, s.digits) + " is not " +
                 (isBuy ? "below" : "above") + " the " + refName + " " +
                 QvText::Num(ref, s.digits) + gap;
        return false;
      }
    }
    if (tp > 0) {
      bool ok = isBuy ? (tp - ref >= minDist && tp > ref) : (ref - tp >= minDist && tp < ref);
      if (!ok) {
        reason = "take profit " + QvText::Num(tp, s.digits) + " is not " +
                 (isBuy ? "above" : "below") + " the " + refName + " " +
                 QvText::Num(ref, s.digits) + gap;
        return false;
      }
    }
    return true;
  }

  static int VolumeDigits(const QvSymbolSpec &s) {
    int d = 0;
    double step = s.volStep;
    while (d < 8 && MathAbs(step - MathRound(step)) > 1e-9) {
      step *= 10;
      d++;
    }
    return d;
  }

  // Fixed lots: to the nearest volume step. Below the symbol's minimum or above its maximum
  // the order is refused: raising 0.001 to a minimum of 0.01 would risk ten times what the
  // trader asked for, and a clamp down would trade what nobody asked for.
  static bool FixedLots(const QvSymbolSpec &s, double asked, double &lots, string &reason) {
    int vd = VolumeDigits(s);
    lots = NormalizeDouble(MathRound(asked / s.volStep) * s.volStep, vd);
    if (lots < s.volMin - 1e-9) {
      reason = QvText::Short(asked) + " lots is below the minimum volume " +
               QvText::Num(s.volMin, vd) + " of " + s.name;
      return false;
    }
    if (lots > s.volMax + 1e-9) {
      reason = QvText::Short(asked) + " lots is above the maximum volume " +
               QvText::Num(s.volMax, vd) + " of " + s.name;
      return false;
    }
    return true;
  }

  // Volume down to a whole number of steps (never above what was asked).
  static double FloorLots(const QvSymbolSpec &s, double lots) {
    double v = MathFloor(lots / s.volStep + 1e-7) * s.volStep;
    return NormalizeDouble(v, VolumeDigits(s));
  }

  // Risk sizing: the money at risk over the loss of one lot between entry and stop,
  // rounded down to the step so the risk never exceeds what was asked.
  static bool RiskLots(const QvSymbolSpec &s, double equity, double pct, double entry, double sl,
                       double &lots, string &reason) {
    lots = 0;
    if (sl <= 0) {
      reason = "a risk size needs a stop loss";
      return false;
    }
    double dist = MathAbs(entry - sl);
    if (dist <= 0 || s.tickValue <= 0 || s.tickSize <= 0) {
      reason = "stop loss distance or tick value unknown";
      return false;
    }
    double lossPerLot = dist / s.tickSize * s.tickValue;
    double money = equity * pct / 100.0;
    double raw = money / lossPerLot;
    lots = FloorLots(s, raw);
    if (lots < s.volMin - 1e-9) {
      reason = "risk " + QvText::Num(pct, 1) + "% (" + QvText::Num(money, 2) +
               ") is below the minimum volume " + QvText::Num(s.volMin, VolumeDigits(s)) +
               ", which would risk " + QvText::Num(lossPerLot * s.volMin, 2);
      lots = 0;
      return false;
    }
    if (lots > s.volMax) lots = s.volMax;
    return true;
  }

  static void ParseConfig(const string json, QvConfig &c) {
    c.loaded = StringLen(QvText::Trim(json)) > 0;
    double v = 0;
    c.riskPct = QvText::JsonNumber(json, "risk_pct", v) ? v : 0;
    c.maxDd = QvText::JsonNumber(json, "max_dd", v) ? v : 0;
    c.maxSpread = QvText::JsonNumber(json, "max_spread", v) ? v : 0;
    c.hourStart = QvText::JsonNumber(json, "hour_start", v) ? (int)v : -1;
    c.hourEnd = QvText::JsonNumber(json, "hour_end", v) ? (int)v : -1;
  }

  // Hours as the page counts them: both ends included, a start after the end wraps past
  // midnight.
  static bool HourAllowed(int start, int end, int hour) {
    if (start < 0 || end < 0 || start > 23 || end > 23) return true;
    if (start <= end) return hour >= start && hour <= end;
    return hour >= start || hour <= end;
  }

  // AI_TradingHours as "7-18" (UTC hours, both included); empty allows every hour. A text
  // that is no such window is ignored with a line in the log by the caller.
  static bool ParseHours(const string text, int &start, int &end) {
    start = -1;
    end = -1;
    string t = QvText::Trim(text);
    if (t == "") return true;
    int dash = StringFind(t, "-", 0);
    if (dash <= 0) return false;
    double a = 0;
    double b = 0;
    if (!QvText::ParseNumber(QvText::Sub(t, 0, dash), a) ||
        !QvText::ParseNumber(QvText::Sub(t, dash + 1, StringLen(t) - dash - 1), b))
      return false;
    if (a < 0 || a > 23 || b < 0 || b > 23) return false;
    start = (int)a;
    end = (int)b;
    return true;
  }
};

#endif
