// The technical snapshot the HUD, the AI prompt and the AutoTrader read. BarTime is the
// open time of the chart's current bar, so it changes exactly when a new bar opens.
#ifndef QV_SNAPSHOT_MQH
#define QV_SNAPSHOT_MQH

#include "QV_Rules.mqh"
#include "QV_Text.mqh"

class QvSnapshot {
 public:
  static string PeriodName(int period) {
    if (period == PERIOD_M1) return "M1";
    if (period == PERIOD_M5) return "M5";
    if (period == PERIOD_M15) return "M15";
    if (period == PERIOD_M30) return "M30";
    if (period == PERIOD_H1) return "H1";
    if (period == PERIOD_H4) return "H4";
    if (period == PERIOD_D1) return "D1";
    if (period == PERIOD_W1) return "W1";
    if (period == PERIOD_MN1) return "MN1";
    return "H1";
  }

  static string DayName(int dow) {
    if (dow == 0) return "Sunday";
    if (dow == 1) return "Monday";
    if (dow == 2) return "Tuesday";
    if (dow == 3) return "Wednesday";
    if (dow == 4) return "Thursday";
    if (dow == 5) return "Friday";
    return "Saturday";
  }

  static double Highest(const string sym, ENUM_TIMEFRAMES tf, int from, int count) {
    double h = 0;
    for (int i = from; i < from + count; i++) {
      double v = iHigh(sym, tf, i);
      if (v > h) h = v;
    }
    return h;
  }

  static double Lowest(const string sym, ENUM_TIMEFRAMES tf, int from, int count) {
    double l = 0;
    for (int i = from; i < from + count; i++) {
      double v = iLow(sym, tf, i);
      if (v > 0 && (l == 0 || v < l)) l = v;
    }
    return l;
  }

  // Wilder's true range averaged over the last 14 closed bars.
  static double Atr14(const string sym, ENUM_TIMEFRAMES tf) {
    double sum = 0;
    int n = 0;
    for (int i = 1; i <= 14; i++) {
      double h = iHigh(sym, tf, i);
      double l = iLow(sym, tf, i);
      double pc = iClose(sym, tf, i + 1);
      if (h <= 0 || l <= 0) continue;
      double tr = h - l;
      if (pc > 0) tr = MathMax(tr, MathMax(MathAbs(h - pc), MathAbs(l - pc)));
      sum += tr;
      n++;
    }
    return n > 0 ? sum / n : 0;
  }

  // Closed when the symbol cannot be traded or the server time lies outside every
  // trading session of the day.
  static bool MarketClosed(const string sym, string &reason) {
    if (SymbolInfoInteger(sym, SYMBOL_TRADE_MODE) == SYMBOL_TRADE_MODE_DISABLED) {
      reason = "Trading disabled for this symbol";
      return true;
    }
    MqlDateTime t;
    TimeToStruct(TimeCurrent(), t);
    long secs = t.hour * 3600 + t.min * 60 + t.sec;
    datetime from = 0;
    datetime to = 0;
    bool any = false;
    for (uint i = 0; i < 10; i++) {
      if (!SymbolInfoSessionTrade(sym, (ENUM_DAY_OF_WEEK)t.day_of_week, i, from, to)) break;
      any = true;
      long f = (long)from % 86400;
      long e = (long)to - (long)from + f;
      if (secs >= f && secs < e) return false;
    }
    if (!any) {
      reason = t.day_of_week == 0 || t.day_of_week == 6 ? "Weekend - no trading session"
                                                          : "No trading session today";
      return true;
    }
    reason = "Outside the broker's trading session";
    return true;
  }

  static string Field(const string name, double v, int digits) {
    return ",\"" + name + "\":" + QvText::Num(v, digits);
  }

  static string Build(const string sym, int period) {
    ENUM_TIMEFRAMES tf = (ENUM_TIMEFRAMES)period;
    QvSymbolSpec s;
    QvRules::LoadSpec(sym, s);
    int d = s.digits;
    long bar = (long)iTime(sym, tf, 0);
    MqlDateTime utc;
    TimeToStruct(TimeGMT(), utc);
    MqlDateTime server;
    TimeToStruct(TimeCurrent(), server);
    string reason = "";
    bool closed = MarketClosed(sym, reason);
    double atr = Atr14(sym, tf);
    string json = "{\"Symbol\":\"" + QvText::JsonEscape(sym) + "\"";
    json += Field("CurrentPrice", s.bid, d) + Field("Bid", s.bid, d) + Field("Ask", s.ask, d);
    json += ",\"Timeframe\":\"" + PeriodName(period) + "\",\"PeriodStr\":\"" + PeriodName(period) + "\"";
    json += ",\"BarTime\":" + QvText::Int(bar) + ",\"BarTimeStr\":\"" +
            TimeToString((datetime)bar, TIME_DATE | TIME_MINUTES) + "\"";
    json += Field("D1_High", iHigh(sym, PERIOD_D1, 0), d) + Field("D1_Low", iLow(sym, PERIOD_D1, 0), d);
    json += Field("H4_High", iHigh(sym, PERIOD_H4, 0), d) + Field("H4_Low", iLow(sym, PERIOD_H4, 0), d);
    json += Field("Range20_High", Highest(sym, tf, 1, 20), d) +
            Field("Range20_Low", Lowest(sym, tf, 1, 20), d);
    json += Field("ATR_14", atr, d) + Field("ATR_Volatility", atr, d);
    json += Field("SwingHigh_Resistance", Highest(sym, tf, 1, 50), d) +
            Field("SwingLow_Support", Lowest(sym, tf, 1, 50), d);
    json += Field("MTF_Resistance_D1", iHigh(sym, PERIOD_D1, 1), d) +
            Field("MTF_Support_D1", iLow(sym, PERIOD_D1, 1), d);
    json += Field("CurrentSpreadPts", s.point > 0 ? MathRound((s.ask - s.bid) / s.point) : 0, 0);
    json += ",\"CurrentHourUTC\":" + QvText::Int(utc.hour) + ",\"BrokerHour\":" +
            QvText::Int(server.hour);
    json += ",\"DayOfWeek\":\"" + DayName(utc.day_of_week) + "\"";
    json += ",\"MarketClosed\":" + QvText::Bool(closed) + ",\"MarketState\":\"" +
            (closed ? "CLOSED" : "OPEN") + "\",\"MarketCloseReason\":\"" +
            (closed ? QvText::JsonEscape(reason) : "Active Session") + "\"";
    json += ",\"Digits\":" + QvText::Int(d) + Field("Point", s.point, 8) +
            Field("TickSize", s.tickSize, 8) + Field("TickValue", s.tickValue, 5) +
            Field("ContractSize", SymbolInfoDouble(sym, SYMBOL_TRADE_CONTRACT_SIZE), 2) +
            Field("VolumeMin", s.volMin, 2) + Field("VolumeMax", s.volMax, 2) +
            Field("VolumeStep", s.volStep, 2) + ",\"StopsLevelPts\":" + QvText::Int(s.stopsLevel);
    json += Field("PipSize", QvRules::PipSize(s), 8) + ",\"AccountCurrency\":\"" +
            QvText::JsonEscape(AccountInfoString(ACCOUNT_CURRENCY)) + "\"" +
            Field("AccountEquity", AccountInfoDouble(ACCOUNT_EQUITY), 2) + "}";
    return json;
  }
};

#endif
