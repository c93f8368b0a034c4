// One chart's companion: takes orders from the bridge (QV_Intake.mqh), and keeps the files
// the workspace reads (launch and kill requests, the chart's account, positions per
// account, snapshots) and the chart comment that tells whether the workspace is alive.
#ifndef QV_COMPANION_MQH
#define QV_COMPANION_MQH

#include "QV_Clock.mqh"
#include "QV_Files.mqh"
#include "QV_Intake.mqh"
#include "QV_Orders.mqh"
#include "QV_Registry.mqh"
#include "QV_Snapshot.mqh"

// Without QV_Protocol.txt for this long, order-file mode ends (a workspace of the first
// version took over the folder); a read that fails only keeps the mode.
#define QV_PROTOCOL_GONE_MS 10000

class QvCompanion {
 public:
  QvChart m_chart;
  QvIntake m_intake;
  QvRegistry m_reg;
  QvClock m_clock;
  QvGate m_gate;
  string m_login;
  bool m_orderFiles;
  ulong m_protocolMissingSince;
  ulong m_lastSlow;
  ulong m_lastPositionsWrite;
  string m_positionsKey;
  string m_positionsText;
  bool m_sharedPositions;
  long m_configModified;
  long m_lastBarTime;
  ulong m_lastSnapshot;

  QvCompanion() {
    m_login = "";
    m_orderFiles = false;
    m_protocolMissingSince = 0;
    m_lastSlow = 0;
    m_lastPositionsWrite = 0;
    m_positionsKey = "";
    m_positionsText = "";
    m_sharedPositions = false;
    m_configModified = -2;
    m_lastBarTime = 0;
    m_lastSnapshot = 0;
  }

  string Tag() { return QvText::Int(m_chart.hwnd); }

  // A backtest or optimisation reaches the same common folder: it would take live orders,
  // "execute" them on its virtual account and publish virtual positions.
  static bool InTester() {
    return MQLInfoInteger(MQL_TESTER) != 0 || MQLInfoInteger(MQL_OPTIMIZATION) != 0;
  }

  void Init(const QvChart &chart, const QvSettings &set) {
    StartOrders(chart, set);
    WriteLaunch();
    WritePositions(true);
    WriteSnapshots(true);
  }

  // The order side alone (ledger, recovery, registry, positions), without the launch
  // request and snapshots: a harness that launches and snapshots the chart itself runs
  // only this and TimerOrders, so the orders still meet the advisor's own decisions.
  void StartOrders(const QvChart &chart, const QvSettings &set) {
    m_chart = chart;
    m_login = QvText::Int(AccountInfoInteger(ACCOUNT_LOGIN));
    m_intake.Start(chart, set);
    // The clock first: every age below is taken against it.
    m_reg.Register(m_chart.hwnd, m_chart.symbol, m_login, m_clock, m_gate);
    string slot = "";
    string id = "";
    if (QvFiles::Read(QV_BRIDGE + "QV_TradeSignal.csv", QV_MAX_RECORD_BYTES, slot) == QV_READ_OK) {
      int comma = StringFind(slot, ",", 0);
      if (comma > 0) id = QvText::Sub(slot, 0, comma);
    }
    m_intake.m_ledger.Prune(m_clock.Now(), id);
    SlowDuties(true);
  }

  // --- launch, kill --------------------------------------------------------------------

  static string Interval(int period) {
    if (period == PERIOD_M1) return "1";
    if (period == PERIOD_M5) return "5";
    if (period == PERIOD_M15) return "15";
    if (period == PERIOD_M30) return "30";
    if (period == PERIOD_H1) return "60";
    if (period == PERIOD_H4) return "240";
    if (period == PERIOD_D1) return "D";
    if (period == PERIOD_W1) return "W";
    if (period == PERIOD_MN1) return "M";
    return "60";
  }

  bool WriteLaunch() {
    string body = "HWND=" + Tag() + "\nSYMBOL=" + QvText::Token(m_chart.symbol) +
                  "\nINTERVAL=" + Interval(m_chart.period) + "\nTHEME=" +
                  QvText::Token(m_chart.theme) + "\nUSER_ID=" + QvText::Token(m_chart.userId) +
                  "\nMODE=" + QvText::Token(m_chart.mode) + "\nACCOUNT=" + m_login;
    return QvFiles::Write(QV_BRIDGE, "QV_Launch_" + Tag() + ".txt", body, Tag(), m_gate);
  }

  static bool Restarts(int reason) {
    return reason == REASON_CHARTCHANGE || reason == REASON_PARAMETERS ||
           reason == REASON_RECOMPILE || reason == REASON_ACCOUNT || reason == REASON_TEMPLATE;
  }

  // Called from OnDeinit: the overlay ends when the advisor leaves the chart or the chart
  // closes; a symbol or timeframe change keeps it (the next start sends a new launch).
  bool Deinit(int reason) {
    QvFiles::Delete(QV_OWN + QvRegistry::OwnName(m_chart.hwnd));
    if (Restarts(reason)) return true;
    QvFiles::Delete(QV_BRIDGE + QvRegistry::PublicName(m_chart.hwnd));
    return QvFiles::Write(QV_BRIDGE, "QV_Kill_" + Tag() + ".txt", "KILL", Tag(), m_gate);
  }

  // --- modes and settings ------------------------------------------------------------

  // ORDER_FILES=1 latches: a read that fails (a virus scanner holding the file, say) must
  // not send this chart back to QV_TradeSignal.csv, where it would run a record the order
  // file already ran. Only ORDER_FILES=0 or a file gone for several seconds ends the mode.
  void ReadProtocol() {
    string text = "";
    string v = "";
    int status = QvFiles::Read(QV_BRIDGE + "QV_Protocol.txt", 4096, text);
    bool files = m_orderFiles;
    if (status == QV_READ_OK) {
      m_protocolMissingSince = 0;
      if (QvText::KeyValue(text, "ORDER_FILES", v)) files = v == "1";
    } else if (status == QV_READ_MISSING) {
      ulong now = GetTickCount64();
      if (m_protocolMissingSince == 0) m_protocolMissingSince = now;
      if (now - m_protocolMissingSince >= QV_PROTOCOL_GONE_MS || !m_orderFiles) files = false;
    }
    if (files != m_orderFiles)
      Print(files ? "Quorvale: order files in use" : "Quorvale: reading QV_TradeSignal.csv");
    m_orderFiles = files;
  }

  // A configuration that cannot be read keeps the last good one: an empty text would turn
  // the risk caps off. One that is too big, or not a whole JSON object, counts as unreadable
  // (the AutoTrader's orders are refused until it is fixed).
  void ReadConfig() {
    string path = QV_BRIDGE + "QV_AIConfig.json";
    long modified = QvFiles::Modified(path);
    if (modified == m_configModified) return;
    string text = "";
    int status = QvFiles::Read(path, 65536, text);
    if (status == QV_READ_FAILED) return;  // read again next second
    m_configModified = modified;
    string t = QvText::Trim(text);
    bool whole = status == QV_READ_MISSING ||
                 (QvText::StartsWith(t, "{") && QvText::EndsWith(t, "}"));
    if (status == QV_READ_TOO_BIG || !whole) {
      m_intake.Ignore("QV_AIConfig.json@" + QvText::Int(modified),
                      status == QV_READ_TOO_BIG ? "larger than 64 KiB; the last settings stay"
                                                : "not a whole JSON object; the last settings stay");
      m_intake.m_exec.m_cfgUnreadable = true;
      return;
    }
    m_intake.m_exec.m_cfgUnreadable = false;
    QvRules::ParseConfig(text, m_intake.m_exec.m_cfg);
  }

  // --- positions, heartbeats -----------------------------------------------------------

  static string PositionsJson(string &key) {
    string json = "[";
    key = "";
    int n = 0;
    for (int i = 0; i < PositionsTotal(); i++) {
      ulong t = PositionGetTicket(i);
      if (t == 0) continue;
      string sym = PositionGetString(POSITION_SYMBOL);
      int digits = (int)SymbolInfoInteger(sym, SYMBOL_DIGITS);
      bool buy = PositionGetInteger(POSITION_TYPE) == POSITION_TYPE_BUY;
      double vol = PositionGetDouble(POSITION_VOLUME);
      string sl = QvText::Num(PositionGetDouble(POSITION_SL), digits);
      string tp = QvText::Num(PositionGetDouble(POSITION_TP), digits);
      key += QvText::Int((long)t) + ":" + QvText::Num(vol, 2) + ":" + sl + ":" + tp + ";";
      if (n > 0) json += ",";
      json += "{\"ticket\":\"" + QvText::Int((long)t) + "\",\"symbol\":\"" +
              QvText::JsonEscape(sym) + "\",\"type\":\"" + (buy ? "BUY" : "SELL") +
              "\",\"volume\":" + QvText::Num(vol, 2) + ",\"open_price\":" +
              QvText::Num(PositionGetDouble(POSITION_PRICE_OPEN), digits) +
              ",\"current_price\":" +
              QvText::Num(PositionGetDouble(POSITION_PRICE_CURRENT), digits) + ",\"sl\":" + sl +
              ",\"tp\":" + tp + ",\"profit\":" + QvText::Num(PositionGetDouble(POSITION_PROFIT), 2) +
              ",\"swap\":" + QvText::Num(PositionGetDouble(POSITION_SWAP), 2) +
              ",\"magic\":" + QvText::Int(PositionGetInteger(POSITION_MAGIC)) +
              ",\"open_time\":" + QvText::Int(PositionGetInteger(POSITION_TIME)) + "}";
      n++;
    }
    return json + "]";
  }

  // QV_OpenPositions_<login>.json holds this account's positions; every chart of the account
  // writes the same. The shared QV_OpenPositions.json, for readers of earlier versions, is
  // written only by the running chart with the smallest handle, so with two accounts it does
  // not flip between them. At once when a position opened, closed or changed its volume or
  // levels; a change of profit alone at most once a second.
  void WritePositions(bool force) {
    string key = "";
    string json = PositionsJson(key);
    ulong now = GetTickCount64();
    long primary = m_reg.Primary("");
    bool shared = primary == 0 || primary == m_chart.hwnd;
    bool structural = key != m_positionsKey || (shared && !m_sharedPositions);
    if (!force && !structural && (json == m_positionsText || now - m_lastPositionsWrite < 1000))
      return;
    bool ok = QvFiles::Write(QV_BRIDGE, "QV_OpenPositions_" + m_login + ".json", json, Tag(), m_gate);
    if (shared) ok = QvFiles::Write(QV_BRIDGE, "QV_OpenPositions.json", json, Tag(), m_gate) && ok;
    if (ok) {
      m_positionsKey = key;
      m_positionsText = json;
      m_lastPositionsWrite = now;
      m_sharedPositions = shared;
    }
  }

  // A heartbeat counts as alive when its tick count is at most maxAgeMs old.
  static bool HeartbeatAlive(const string name, ulong maxAgeMs) {
    string text = "";
    string v = "";
    if (QvFiles::Read(QV_BRIDGE + name, 256, text) != QV_READ_OK) return false;
    if (!QvText::KeyValue(text, "ACTIVE", v)) return false;
    double tick = 0;
    if (!QvText::ParseNumber(v, tick)) return false;
    double now = (double)GetTickCount64();
    return tick <= now + 1000 && now - tick <= (double)maxAgeMs;
  }

  string StatusText() {
    bool daemon = HeartbeatAlive("QV_Active_999999999.txt", 35000);
    bool overlay = HeartbeatAlive("QV_Active_" + Tag() + ".txt", 12000);
    string d = daemon ? "daemon running" : "daemon NOT running";
    string s = "Quorvale Workspace: " + d + " | overlay " + (overlay ? "alive" : "not running") +
               " | " + (m_orderFiles ? "order files" : "trade signal file") + " | account " +
               m_login + " | executed " + QvText::Int(m_intake.m_executed);
    if (m_intake.m_lastNote != "") s += "\nlast order: " + m_intake.m_lastNote;
    return s;
  }

  // --- the timer ---------------------------------------------------------------------

  void SlowDuties(bool force) {
    ulong now = GetTickCount64();
    if (!force && now - m_lastSlow < 1000) return;
    m_lastSlow = now;
    m_reg.Register(m_chart.hwnd, m_chart.symbol, m_login, m_clock, m_gate);
    ReadProtocol();
    ReadConfig();
    m_intake.Recover(m_reg, m_clock);
    Comment(StatusText());
  }

  void WriteSnapshots(bool force) {
    long bar = (long)iTime(m_chart.symbol, (ENUM_TIMEFRAMES)m_chart.period, 0);
    ulong now = GetTickCount64();
    bool newBar = bar != m_lastBarTime;
    if (!force && !newBar && now - m_lastSnapshot < 1000) return;
    string json = QvSnapshot::Build(m_chart.symbol, m_chart.period);
    bool shared = m_reg.Primary("") == m_chart.hwnd || ChartGetInteger(0, CHART_BRING_TO_TOP) != 0;
    bool ok = QvFiles::Write(QV_BRIDGE, "QV_AICopilotData_" + Tag() + ".json", json, Tag(), m_gate);
    if (shared) ok = QvFiles::Write(QV_BRIDGE, "QV_AICopilotData.json", json, Tag(), m_gate) && ok;
    if (ok) {
      m_lastBarTime = bar;
      m_lastSnapshot = now;
    }
  }

  void Timer() {
    TimerOrders();
    WriteSnapshots(false);
  }

  void TimerOrders() {
    SlowDuties(false);
    if (m_orderFiles)
      m_intake.PollOrderFiles(m_reg, m_clock);
    else
      m_intake.PollTradeSignal(m_reg, m_clock);
    WritePositions(false);
  }

  void TradeTransaction() { WritePositions(false); }

  // A key press of Q on the chart asks again for its overlay (in HEADLESS_VPS mode this
  // raises the studio and starts an evaluation). lparam is a virtual-key code: 'Q' (0x51)
  // is the key whatever the case; 'q' (0x71) would be F2.
  void ChartEvent(int id, long lparam) {
    if (id == CHARTEVENT_KEYDOWN && lparam == 'Q') WriteLaunch();
  }
};

#endif
