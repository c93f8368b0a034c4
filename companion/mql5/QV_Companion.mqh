// One chart's companion: takes orders from the bridge exactly once, and keeps the files the
// workspace reads (launch and kill requests, positions, snapshots, capture requests) and
// the chart comment that tells whether the workspace is alive.
#ifndef QV_COMPANION_MQH
#define QV_COMPANION_MQH

#include "QV_Executor.mqh"
#include "QV_Files.mqh"
#include "QV_Orders.mqh"
#include "QV_Snapshot.mqh"

#define QV_ORDER_MAX_AGE 60

struct QvChart {
  long hwnd;
  string symbol;
  int period;
  string theme;
  string userId;
  string mode;
  string journalUrl;
};

class QvCompanion {
 public:
  QvChart m_chart;
  QvExecutor m_exec;
  QvLedger m_ledger;
  bool m_orderFiles;
  ulong m_lastSlow;
  ulong m_lastPositionsWrite;
  string m_positionsKey;
  string m_positionsText;
  long m_signalModified;
  long m_signalSize;
  string m_signalSeenId;
  long m_configModified;
  long m_lastBarTime;
  ulong m_lastSnapshot;
  string m_ignored[16];
  int m_ignoredNext;
  long m_executed;
  string m_lastNote;
  bool m_primary;

  QvCompanion() {
    m_orderFiles = false;
    m_lastSlow = 0;
    m_lastPositionsWrite = 0;
    m_positionsKey = "";
    m_positionsText = "";
    m_signalModified = -2;
    m_signalSize = -2;
    m_signalSeenId = "";
    m_configModified = -2;
    m_lastBarTime = 0;
    m_lastSnapshot = 0;
    m_ignoredNext = 0;
    m_executed = 0;
    m_lastNote = "";
    m_primary = true;
  }

  string Tag() { return QvText::Int(m_chart.hwnd); }

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
    m_exec.m_set = set;
    m_ledger.SetTag(Tag());
    string slot = "";
    string id = "";
    if (QvFiles::Read(QV_BRIDGE + "QV_TradeSignal.csv", QV_MAX_RECORD_BYTES, slot) == QV_READ_OK) {
      int comma = StringFind(slot, ",", 0);
      if (comma > 0) id = QvText::Sub(slot, 0, comma);
    }
    m_ledger.Prune(TimeLocal(), id);
    RecoverInterrupted();
    SlowDuties(true);
  }

  // --- launch, kill, chart registry --------------------------------------------------

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
                  "\nMODE=" + QvText::Token(m_chart.mode);
    return QvFiles::Write(QV_BRIDGE, "QV_Launch_" + Tag() + ".txt", body, Tag());
  }

  // Called from OnDeinit: the overlay ends when the advisor leaves the chart or the chart
  // closes; a symbol or timeframe change keeps it (the next start sends a new launch).
  bool Deinit(int reason) {
    QvFiles::Delete(QV_OWN + "Chart_" + Tag() + ".txt");
    if (reason == REASON_CHARTCHANGE || reason == REASON_PARAMETERS ||
        reason == REASON_RECOMPILE || reason == REASON_ACCOUNT || reason == REASON_TEMPLATE)
      return true;
    return QvFiles::Write(QV_BRIDGE, "QV_Kill_" + Tag() + ".txt", "KILL", Tag());
  }

  // Every chart registers itself with its symbol; the chart with the smallest handle among
  // those seen in the last 10 seconds executes the records that say CURRENT.
  void Register() {
    QvFiles::Write(QV_OWN, "Chart_" + Tag() + ".txt", "SYMBOL=" + m_chart.symbol, Tag());
    m_primary = true;
    string name = "";
    long h = FileFindFirst(QV_OWN + "Chart_*.txt", name, FILE_COMMON);
    if (h == INVALID_HANDLE) return;
    long now = TimeLocal();
    do {
      string digits = QvText::Sub(name, 6, StringLen(name) - 10);
      long other = StringToInteger(digits);
      if (other <= 0 || other == m_chart.hwnd) continue;
      long modified = QvFiles::Modified(QV_OWN + name);
      if (modified > 0 && now - modified <= 10 && other < m_chart.hwnd) m_primary = false;
    } while (FileFindNext(h, name));
    FileFindClose(h);
  }

  // The chart that shows a symbol, for the capture request; this chart when none does.
  string ChartFor(const string symbol) {
    if (symbol == m_chart.symbol) return Tag();
    string name = "";
    string found = Tag();
    long h = FileFindFirst(QV_OWN + "Chart_*.txt", name, FILE_COMMON);
    if (h == INVALID_HANDLE) return found;
    do {
      string text = "";
      string sym = "";
      if (QvFiles::Read(QV_OWN + name, 256, text) == QV_READ_OK &&
          QvText::KeyValue(text, "SYMBOL", sym) && sym == symbol) {
        found = QvText::Sub(name, 6, StringLen(name) - 10);
        break;
      }
    } while (FileFindNext(h, name));
    FileFindClose(h);
    return found;
  }

  // --- orders ------------------------------------------------------------------------

  bool WasIgnored(const string key) {
    for (int i = 0; i < 16; i++)
      if (m_ignored[i] == key) return true;
    return false;
  }

  void Ignore(const string key, const string why) {
    if (WasIgnored(key)) return;
    m_ignored[m_ignoredNext] = key;
    m_ignoredNext = (m_ignoredNext + 1) % 16;
    Print("Quorvale: ignored " + key + ": " + why);
  }

  bool WriteResult(const string id, const QvOutcome &out) {
    string body = "ID=" + id + "\nSTATUS=" + (out.ok ? "EXECUTED" : "REJECTED");
    if (out.ok) {
      body += "\nTICKET=" + QvText::Int((long)out.ticket);
      if (out.price > 0) body += "\nPRICE=" + QvText::Num(out.price, 8);
      if (out.volume > 0) body += "\nVOLUME=" + QvText::Num(out.volume, 2);
    } else {
      string reason = out.reason;
      StringReplace(reason, "\n", " ");
      StringReplace(reason, "\r", " ");
      body += "\nREASON=" + QvText::Sub(reason, 0, 200);
    }
    // The workspace takes a result as whole only with this last line.
    body += "\nEND=1";
    bool ok = QvFiles::Write(QV_BRIDGE, "QV_TradeResult_" + id + ".txt", body, Tag());
    if (!ok) Print("Quorvale: the result of order " + id + " could not be written");
    return ok;
  }

  static void Refuse(QvOutcome &out, const string reason) {
    QvExecutor::Clear(out);
    out.reason = reason;
  }

  // Marks, executes, reports. Returns the outcome; the marker is taken before anything is
  // sent so a crash after it never leads to a second execution.
  void Run(const QvOrder &o, QvOutcome &out) {
    QvExecutor::Clear(out);
    if (!m_ledger.TryMark(o.id, o.action + "," + o.symbol)) {
      out.reason = "order " + o.id + " was already executed";
      return;
    }
    m_exec.Execute(o, out);
    m_executed++;
    m_lastNote = o.action + " " + o.symbol + ": " + (out.ok ? "executed" : out.reason);
    Print("Quorvale: order " + o.id + " " + o.action + " " + o.size + " " + o.symbol + " -> " +
          (out.ok ? "EXECUTED ticket " + QvText::Int((long)out.ticket) : "REJECTED " + out.reason));
    if (out.ok && QvOrders::IsOpening(o.action)) WriteCapture(o.action, out);
  }

  void TakeOrderFile(const string name) {
    string id = QvText::Sub(name, 9, StringLen(name) - 13);
    string path = QV_BRIDGE + name;
    if (!QvOrders::ValidId(id)) {
      Ignore(name, "not a valid order id");
      return;
    }
    QvOutcome out;
    QvOrder o;
    string text = "";
    string why = "";
    int status = QvFiles::Read(path, QV_MAX_RECORD_BYTES, text);
    if (status == QV_READ_MISSING) return;  // another chart took it
    bool parsed = status == QV_READ_OK && QvOrders::Parse(text, o, why);
    if (status == QV_READ_TOO_BIG) why = "order file larger than 1024 bytes";
    if (status == QV_READ_FAILED) return;  // still being replaced; read again next pass
    if (parsed && o.symbol == "CURRENT" && !m_primary) return;
    string taken = QV_BRIDGE + "QV_OrderTaken_" + id + ".csv";
    long modified = QvFiles::Modified(path);
    if (!QvFiles::Claim(path, taken)) return;
    if (modified > 0 && TimeLocal() - modified > QV_ORDER_MAX_AGE) {
      Refuse(out, "expired");
    } else if (!parsed) {
      Refuse(out, "malformed order record: " + why);
    } else if (o.id != id) {
      Refuse(out, "the record's id " + o.id + " differs from its file name");
    } else {
      Run(o, out);
      if (!out.ok && out.reason == "order " + o.id + " was already executed" &&
          QvFiles::Exists(QV_BRIDGE + "QV_TradeResult_" + id + ".txt")) {
        QvFiles::Delete(taken);  // the first result still waits for its reader
        return;
      }
    }
    if (!out.ok) Print("Quorvale: order " + id + " rejected: " + out.reason);
    WriteResult(id, out);
    QvFiles::Delete(taken);
  }

  void PollOrderFiles() {
    string name = "";
    long h = FileFindFirst(QV_BRIDGE + "QV_Order_*.csv", name, FILE_COMMON);
    if (h == INVALID_HANDLE) return;
    do {
      TakeOrderFile(name);
    } while (FileFindNext(h, name));
    FileFindClose(h);
  }

  // A taken order left behind by a terminal that stopped mid-way: its fate is unknown
  // when its id was marked, and it never ran when not; either way it is reported, never
  // run again.
  void RecoverInterrupted() {
    string name = "";
    long h = FileFindFirst(QV_BRIDGE + "QV_OrderTaken_*.csv", name, FILE_COMMON);
    if (h == INVALID_HANDLE) return;
    long now = TimeLocal();
    do {
      string path = QV_BRIDGE + name;
      long modified = QvFiles::Modified(path);
      if (modified <= 0 || now - modified < 120) continue;
      string id = QvText::Sub(name, 14, StringLen(name) - 18);
      if (!QvOrders::ValidId(id)) continue;
      QvOutcome out;
      Refuse(out, m_ledger.IsDone(id)
                      ? "the terminal stopped while executing this order; check the positions"
                      : "the terminal stopped before executing this order");
      m_ledger.TryMark(id, "interrupted");
      if (!QvFiles::Exists(QV_BRIDGE + "QV_TradeResult_" + id + ".txt")) WriteResult(id, out);
      QvFiles::Delete(path);
    } while (FileFindNext(h, name));
    FileFindClose(h);
  }

  // The one-slot file of an older workspace. It is never deleted, so a record is read
  // only when the file changed (or within the second of its last change, the resolution
  // of its time), a record older than a minute at first sight is history, not an order,
  // and no result is written (an older workspace reads none).
  void PollTradeSignal() {
    string path = QV_BRIDGE + "QV_TradeSignal.csv";
    long size = QvFiles::Size(path);
    if (size < 0) return;
    long modified = QvFiles::Modified(path);
    long now = TimeLocal();
    if (size == m_signalSize && modified == m_signalModified && now - modified > 2) return;
    m_signalSize = size;
    m_signalModified = modified;
    string text = "";
    int status = QvFiles::Read(path, QV_MAX_RECORD_BYTES, text);
    if (status == QV_READ_TOO_BIG) {
      Ignore("QV_TradeSignal.csv@" + QvText::Int(modified), "larger than 1024 bytes");
      return;
    }
    if (status != QV_READ_OK) return;
    QvOrder o;
    string why = "";
    if (!QvOrders::Parse(text, o, why)) {
      if (QvText::Trim(text) != "") Ignore("QV_TradeSignal.csv:" + QvText::Sub(text, 0, 80), why);
      return;
    }
    if (o.id == m_signalSeenId || m_ledger.IsDone(o.id)) return;
    if (o.symbol == "CURRENT" && !m_primary) return;
    if (now - modified > QV_ORDER_MAX_AGE) {
      m_signalSeenId = o.id;
      Print("Quorvale: order " + o.id + " in QV_TradeSignal.csv is older than a minute; not executed");
      return;
    }
    m_signalSeenId = o.id;
    QvOutcome out;
    Run(o, out);
  }

  void ReadProtocol() {
    string text = "";
    string v = "";
    bool files = QvFiles::Read(QV_BRIDGE + "QV_Protocol.txt", 4096, text) == QV_READ_OK &&
                 QvText::KeyValue(text, "ORDER_FILES", v) && v == "1";
    if (files != m_orderFiles)
      Print(files ? "Quorvale: order files in use" : "Quorvale: reading QV_TradeSignal.csv");
    m_orderFiles = files;
  }

  void ReadConfig() {
    string path = QV_BRIDGE + "QV_AIConfig.json";
    long modified = QvFiles::Modified(path);
    if (modified == m_configModified) return;
    m_configModified = modified;
    string text = "";
    int status = QvFiles::Read(path, 65536, text);
    if (status == QV_READ_TOO_BIG) Ignore("QV_AIConfig.json", "larger than 64 KiB");
    if (status != QV_READ_OK) text = "";
    QvRules::ParseConfig(text, m_exec.m_cfg);
  }

  // --- positions, captures, heartbeats -----------------------------------------------

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

  // At once when a position opened, closed or changed its volume or levels; a change of
  // profit alone at most once a second.
  void WritePositions(bool force) {
    string key = "";
    string json = PositionsJson(key);
    ulong now = GetTickCount64();
    bool structural = key != m_positionsKey;
    if (!force && !structural && (json == m_positionsText || now - m_lastPositionsWrite < 1000))
      return;
    if (QvFiles::Write(QV_BRIDGE, "QV_OpenPositions.json", json, Tag())) {
      m_positionsKey = key;
      m_positionsText = json;
      m_lastPositionsWrite = now;
    }
  }

  bool WriteCapture(const string action, const QvOutcome &out) {
    string chart = ChartFor(out.symbol);
    string body = "TICKET=" + QvText::Int((long)out.ticket) + "\nSYMBOL=" +
                  QvText::Token(out.symbol) + "\nACTION=" + QvText::Token(action) + "\nUSER_ID=" +
                  QvText::Token(m_chart.userId) + "\nACCOUNT_NUM=" +
                  QvText::Int(AccountInfoInteger(ACCOUNT_LOGIN)) + "\nHWND=" + chart;
    if (m_chart.journalUrl != "") body += "\nFIREBASE_URL=" + QvText::Token(m_chart.journalUrl);
    return QvFiles::Write(QV_BRIDGE,
                          "QV_Capture_Request_" + chart + "_" + QvText::Int((long)out.ticket) +
                              ".txt",
                          body, Tag());
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
    string s = "Quorvale Workspace: " + d + " | overlay " + (overlay ? "alive" : "not running") + " | " +
               (m_orderFiles ? "order files" : "trade signal file") + " | executed " +
               QvText::Int(m_executed);
    if (m_lastNote != "") s += "\nlast order: " + m_lastNote;
    return s;
  }

  // --- the timer ---------------------------------------------------------------------

  void SlowDuties(bool force) {
    ulong now = GetTickCount64();
    if (!force && now - m_lastSlow < 1000) return;
    m_lastSlow = now;
    ReadProtocol();
    ReadConfig();
    Register();
    Comment(StatusText());
  }

  void WriteSnapshots(bool force) {
    long bar = (long)iTime(m_chart.symbol, (ENUM_TIMEFRAMES)m_chart.period, 0);
    ulong now = GetTickCount64();
    bool newBar = bar != m_lastBarTime;
    if (!force && !newBar && now - m_lastSnapshot < 1000) return;
    string json = QvSnapshot::Build(m_chart.symbol, m_chart.period);
    bool shared = m_primary || ChartGetInteger(0, CHART_BRING_TO_TOP) != 0;
    bool ok = QvFiles::Write(QV_BRIDGE, "QV_AICopilotData_" + Tag() + ".json", json, Tag());
    if (shared) ok = QvFiles::Write(QV_BRIDGE, "QV_AICopilotData.json", json, Tag()) && ok;
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
      PollOrderFiles();
    else
      PollTradeSignal();
    WritePositions(false);
  }

  void TradeTransaction() { WritePositions(false); }

  // A key press of Q on the chart asks again for its overlay (in HEADLESS_VPS mode this
  // raises the studio and starts an evaluation).
  void ChartEvent(int id, long lparam) {
    if (id == CHARTEVENT_KEYDOWN && (lparam == 'Q' || lparam == 'q')) WriteLaunch();
  }
};

#endif
