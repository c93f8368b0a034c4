// Quorvale Workspace terminal companion: wires the terminal's events to the logic in the
// QV_*.mqh files of this folder.
#property copyright "Quorvale"
#property version "1.10"

#include "QV_Companion.mqh"

enum QvMode { WORKSTATION = 0, HEADLESS_VPS = 1 };
enum QvDistanceUnit { PIPS = 0, POINTS = 1 };

input QvMode InpMode = WORKSTATION;                // Mode (HEADLESS_VPS: AI Copilot Studio)
input string InpTheme = "dark";                    // Chart page theme
input string InpUserId = "MQL5_MARKET_EDITION";    // Workspace user id
input string InpJournalUrl = "";                   // Visual journal URL (empty: workspace default)
input string AI_TradingHours = "";                 // Trading hours UTC, e.g. 7-18 (empty: all)
input double InpMaxRiskPct = 5.0;                  // Maximum risk per order in % (0: no cap)
input double InpMaxLots = 5.0;                     // Largest order in lots (0: no cap)
input double InpMaxSpreadPts = 0;                  // Maximum spread in points (0: no limit)
input double InpMaxDailyLossPct = 0;               // Daily loss cap in % (0: max_dd of the workspace)
input QvDistanceUnit InpDistanceUnit = PIPS;       // Unit of typed stop/target distances
input long InpMagic = 770077;                      // Magic number of the companion's orders
input int InpDeviationPts = 20;                    // Allowed slippage in points
input int InpRetries = 3;                          // Retries of requotes and busy answers
input int InpTimerMs = 20;                         // Bridge watch period in ms

QvCompanion g_companion;

int OnInit() {
  if (QvCompanion::InTester()) {
    Print("Quorvale: the companion does not run in the Strategy Tester: it would take the live "
          "workspace's orders on a virtual account");
    return INIT_FAILED;
  }
  QvChart chart;
  chart.hwnd = ChartGetInteger(0, CHART_WINDOW_HANDLE);
  chart.symbol = _Symbol;
  chart.period = (int)_Period;
  chart.theme = InpTheme;
  chart.userId = InpUserId;
  chart.mode = InpMode == HEADLESS_VPS ? "HEADLESS_VPS" : "WORKSTATION";
  chart.journalUrl = InpJournalUrl;
  QvSettings set;
  set.chartSymbol = _Symbol;
  set.magic = InpMagic;
  set.deviationPoints = InpDeviationPts;
  set.maxRetries = InpRetries;
  set.retryDelayMs = 100;
  set.distancesInPoints = InpDistanceUnit == POINTS;
  set.maxRiskPct = InpMaxRiskPct;
  set.maxLots = InpMaxLots;
  set.maxSpreadPts = InpMaxSpreadPts;
  set.maxDailyLossPct = InpMaxDailyLossPct;
  if (!QvRules::ParseHours(AI_TradingHours, set.hourStart, set.hourEnd)) {
    Print("Quorvale: AI_TradingHours '" + AI_TradingHours + "' is not like 7-18; every hour allowed");
    set.hourStart = -1;
    set.hourEnd = -1;
  }
  g_companion.Init(chart, set);
  if (!EventSetMillisecondTimer(InpTimerMs)) {
    Print("Quorvale: the millisecond timer could not be set");
    return INIT_FAILED;
  }
  return INIT_SUCCEEDED;
}

void OnDeinit(const int reason) {
  EventKillTimer();
  g_companion.Deinit(reason);
  Comment("");
}

void OnTimer() { g_companion.Timer(); }

void OnTradeTransaction(const MqlTradeTransaction &trans, const MqlTradeRequest &request,
                        const MqlTradeResult &result) {
  g_companion.TradeTransaction();
}

void OnChartEvent(const int id, const long &lparam, const double &dparam, const string &sparam) {
  g_companion.ChartEvent(id, lparam);
}
