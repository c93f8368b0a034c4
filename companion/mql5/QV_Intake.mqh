// Takes orders from the bridge exactly once, for the right account, in the order they were
// sent. An order file names the account (login) that must execute it and the chart it came
// from: only that account's companions claim it, the chart's own first. Orders of one
// account run in the outbox's sequence, one at a time across all its charts and terminals
// (an executor lock per account). A taken order left without a result by a crash is
// answered from the marker or the history, every second, never run again.
#ifndef QV_INTAKE_MQH
#define QV_INTAKE_MQH

#include "QV_Clock.mqh"
#include "QV_Executor.mqh"
#include "QV_Files.mqh"
#include "QV_Orders.mqh"
#include "QV_Registry.mqh"
#include "QV_Symbols.mqh"

#define QV_ORDER_MAX_AGE 60
// Seconds the chart an order came from has it alone, while that chart's companion runs.
#define QV_OWN_CHART_GRACE 2
// Seconds an order waits for a terminal that knows its symbol before it is refused.
#define QV_SYMBOL_GRACE 5
// A taken order whose executor is gone is answered after this many seconds; one taken by
// a companion that wrote no owner into its marker, after the longer time.
#define QV_OWNER_GONE 15
#define QV_UNOWNED_GONE 120
// An executor lock is a crashed executor's when it is this old and its chart no longer
// runs, or (whatever the chart does) when it is older than QV_LOCK_STALE. An executor does
// not rewrite its registry line while it executes, so the first bound is generous.
#define QV_LOCK_ORPHANED 30
#define QV_LOCK_STALE 60
#define QV_MAX_ORDERS 64

struct QvChart {
  long hwnd;
  string symbol;
  int period;
  string theme;
  string userId;
  string mode;
  string journalUrl;
};

struct QvEntry {
  string id;
  string path;
  bool taken;
  int status;  // QV_READ_*
  bool parsed;
  string why;
  QvOrder o;
  bool done;
};

class QvIntake {
 public:
  QvChart m_chart;
  string m_login;
  QvExecutor m_exec;
  QvLedger m_ledger;
  QvSymbols m_symbols;
  QvGate m_gate;
  QvEntry m_list[QV_MAX_ORDERS];
  int m_count;
  string m_ignored[16];
  int m_ignoredNext;
  long m_executed;
  string m_lastNote;
  long m_signalModified;
  long m_signalSize;
  string m_signalSeenId;
  bool m_toldNoClock;

  QvIntake() {
    m_login = "";
    m_count = 0;
    m_ignoredNext = 0;
    m_executed = 0;
    m_lastNote = "";
    m_signalModified = -2;
    m_signalSize = -2;
    m_signalSeenId = "";
    m_toldNoClock = false;
  }

  string Tag() { return QvText::Int(m_chart.hwnd); }

  void Start(const QvChart &chart, const QvSettings &set) {
    m_chart = chart;
    m_exec.m_set = set;
    m_login = QvText::Int(AccountInfoInteger(ACCOUNT_LOGIN));
    m_ledger.SetTag(Tag());
  }

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
    // The workspace takes a result as whole only with the last line END=1.
    string body = "ID=" + id + "\n" + QvOrders::OutcomeLines(out) + "\nEND=1";
    bool ok = QvFiles::Write(QV_BRIDGE, "QV_TradeResult_" + id + ".txt", body, Tag(), m_gate);
    if (!ok) Print("Quorvale: the result of order " + id + " could not be written");
    return ok;
  }

  static void Refuse(QvOutcome &out, const string reason) {
    QvOrders::ClearOutcome(out);
    out.reason = reason;
  }

  string MarkNote(const QvOrder &o) {
    return "OWNER=" + Tag() + "\nACTION=" + o.action + "\nSYMBOL=" + o.symbol;
  }

  // Marks, executes, records the outcome in the marker, reports. The marker is taken before
  // anything is sent, so a crash after it never leads to a second execution.
  void Run(const QvOrder &o, const string symbol, QvRegistry &reg, QvOutcome &out) {
    QvOrders::ClearOutcome(out);
    string note = MarkNote(o);
    if (!m_ledger.TryMark(o.id, note)) {
      out.reason = QvFiles::Exists(QV_OWN + QvLedger::MarkerName(o.id))
                       ? "order " + o.id + " was already executed"
                       : "the marker of order " + o.id + " cannot be written; not executed";
      return;
    }
    m_exec.Execute(o, symbol, out);
    if (!m_ledger.Finish(o.id, note, out, m_gate))
      Print("Quorvale: the outcome of order " + o.id + " could not be kept in its marker");
    m_executed++;
    m_lastNote = o.action + " " + o.symbol + ": " + (out.ok ? "executed" : out.reason);
    Print("Quorvale: order " + o.id + " " + o.action + " " + o.size + " " + o.symbol + " -> " +
          (out.ok ? "EXECUTED ticket " + QvText::Int((long)out.ticket) : "REJECTED " + out.reason));
    if (out.ok && QvOrders::IsOpening(o.action)) WriteCapture(o.action, out, reg);
  }

  // The chart that shows a symbol on this account, for the capture request; this chart
  // when none does.
  string ChartFor(const string symbol, QvRegistry &reg) {
    if (symbol == m_chart.symbol) return Tag();
    long other = reg.ChartShowing(symbol, m_login);
    return other != 0 ? QvText::Int(other) : Tag();
  }

  bool WriteCapture(const string action, const QvOutcome &out, QvRegistry &reg) {
    string chart = ChartFor(out.symbol, reg);
    string body = "TICKET=" + QvText::Int((long)out.ticket) + "\nSYMBOL=" +
                  QvText::Token(out.symbol) + "\nACTION=" + QvText::Token(action) + "\nUSER_ID=" +
                  QvText::Token(m_chart.userId) + "\nACCOUNT_NUM=" + m_login + "\nHWND=" + chart;
    if (m_chart.journalUrl != "") body += "\nFIREBASE_URL=" + QvText::Token(m_chart.journalUrl);
    return QvFiles::Write(QV_BRIDGE,
                          "QV_Capture_Request_" + chart + "_" + QvText::Int((long)out.ticket) +
                              ".txt",
                          body, Tag(), m_gate);
  }

  // --- the executor lock of this chart's account -------------------------------------

  string LockName() { return "Lock_" + m_login + ".txt"; }

  bool Lock(QvRegistry &reg, QvClock &clock) {
    if (QvFiles::CreateExclusive(QV_OWN, LockName(), "OWNER=" + Tag(), Tag())) return true;
    string text = "";
    string owner = "";
    if (QvFiles::Read(QV_OWN + LockName(), 256, text) == QV_READ_OK)
      QvText::KeyValue(text, "OWNER", owner);
    long age = clock.Age(QV_OWN + LockName());
    bool ownerRuns = owner != "" && owner != Tag() && reg.IsLive(StringToInteger(owner));
    // Left by an executor that crashed (or by this chart before a restart: it holds the
    // lock only inside one call).
    if (owner == Tag() || age > QV_LOCK_STALE || (age > QV_LOCK_ORPHANED && !ownerRuns)) {
      Print("Quorvale: removed the executor lock of account " + m_login + " left by chart " +
            owner);
      QvFiles::Delete(QV_OWN + LockName());
      return QvFiles::CreateExclusive(QV_OWN, LockName(), "OWNER=" + Tag(), Tag());
    }
    return false;
  }

  void Unlock() { QvFiles::Delete(QV_OWN + LockName()); }

  // --- order files -------------------------------------------------------------------

  void Add(const string folder, const string name, bool taken, int prefix) {
    if (m_count >= QV_MAX_ORDERS) return;
    QvEntry e;
    e.id = QvText::Sub(name, prefix, StringLen(name) - prefix - 4);
    e.path = folder + name;
    e.taken = taken;
    e.done = false;
    e.why = "";
    e.parsed = false;
    QvOrders::Clear(e.o);
    if (!QvOrders::ValidId(e.id)) {
      if (!taken) Ignore(name, "not a valid order id");
      return;
    }
    string text = "";
    e.status = QvFiles::Read(e.path, QV_MAX_RECORD_BYTES, text);
    if (e.status == QV_READ_OK) e.parsed = QvOrders::ParseFile(text, e.o, e.why);
    if (e.status == QV_READ_TOO_BIG) e.why = "order file larger than 1024 bytes";
    if (e.status == QV_READ_MISSING || e.status == QV_READ_FAILED) return;
    // Sorted by sequence, then by name: an account's orders run in the order sent.
    int at = m_count;
    while (at > 0 && Before(e, m_list[at - 1])) {
      m_list[at] = m_list[at - 1];
      at--;
    }
    m_list[at] = e;
    m_count++;
  }

  static bool Before(const QvEntry &a, const QvEntry &b) {
    if (a.o.seq != b.o.seq) return a.o.seq < b.o.seq;
    return StringCompare(a.id, b.id) < 0;
  }

  void List() {
    m_count = 0;
    string name = "";
    long h = FileFindFirst(QV_BRIDGE + "QV_Order_*.csv", name, FILE_COMMON);
    if (h != INVALID_HANDLE) {
      do {
        Add(QV_BRIDGE, name, false, 9);
      } while (FileFindNext(h, name));
      FileFindClose(h);
    }
    h = FileFindFirst(QV_BRIDGE + "QV_OrderTaken_*.csv", name, FILE_COMMON);
    if (h != INVALID_HANDLE) {
      do {
        Add(QV_BRIDGE, name, true, 14);
      } while (FileFindNext(h, name));
      FileFindClose(h);
    }
  }

  // An order of the same account sent before this one that has no result yet.
  bool EarlierPending(int index) {
    QvOrder o = m_list[index].o;
    if (o.seq <= 0 || o.account == "") return false;
    for (int i = 0; i < m_count; i++) {
      if (i == index || m_list[i].done || !m_list[i].parsed) continue;
      if (m_list[i].o.account == o.account && m_list[i].o.seq > 0 && m_list[i].o.seq < o.seq)
        return true;
    }
    return false;
  }

  // The chart a CURRENT order belongs to: the chart it names when that chart runs, else the
  // account's chart with the smallest handle.
  long CurrentChart(const QvOrder &o, QvRegistry &reg) {
    if (o.chart != 0 && reg.IsLive(o.chart) && (o.account == "" || reg.AccountOf(o.chart) == o.account))
      return o.chart;
    return reg.Primary(o.account);
  }

  // 1: claim and run it; 0: leave it for now; -1: claim and refuse with reason.
  int Decide(int index, QvRegistry &reg, QvClock &clock, string &symbol, string &reason) {
    QvEntry e = m_list[index];
    long age = clock.Age(e.path);
    if (age > QV_ORDER_MAX_AGE) {
      reason = "expired";
      if (e.parsed && e.o.account != "" && !reg.AccountRuns(e.o.account))
        reason = "expired: no companion of account " + e.o.account + " took it";
      return -1;
    }
    if (!e.parsed) {
      reason = "malformed order record: " + e.why;
      return -1;
    }
    if (e.o.id != e.id) {
      reason = "the record's id " + e.o.id + " differs from its file name";
      return -1;
    }
    if (e.o.account != "" && e.o.account != m_login) return 0;
    if (e.o.symbol == "CURRENT") {
      if (CurrentChart(e.o, reg) != m_chart.hwnd) return 0;
      symbol = m_chart.symbol;
    } else if (e.o.action == "CLOSE" && e.o.symbol == "ALL") {
      symbol = "";
    } else if (!m_symbols.Resolve(e.o.symbol, symbol, reason)) {
      // Another terminal of the account may know the symbol.
      return age >= QV_SYMBOL_GRACE ? -1 : 0;
    }
    if (e.o.chart != 0 && e.o.chart != m_chart.hwnd && reg.IsLive(e.o.chart) &&
        age < QV_OWN_CHART_GRACE)
      return 0;
    if (EarlierPending(index)) return 0;
    return 1;
  }

  void Take(int index, int verdict, const string symbol, const string reason, QvRegistry &reg) {
    QvEntry e = m_list[index];
    string taken = QV_BRIDGE + "QV_OrderTaken_" + e.id + ".csv";
    if (!QvFiles::Claim(e.path, taken)) return;
    m_list[index].done = true;
    QvOutcome out;
    if (verdict < 0) {
      Refuse(out, reason);
    } else {
      Run(e.o, symbol, reg, out);
      if (!out.ok && out.reason == "order " + e.id + " was already executed" &&
          QvFiles::Exists(QV_BRIDGE + "QV_TradeResult_" + e.id + ".txt")) {
        QvFiles::Delete(taken);  // the first result still waits for its reader
        return;
      }
    }
    if (!out.ok) Print("Quorvale: order " + e.id + " rejected: " + out.reason);
    WriteResult(e.id, out);
    QvFiles::Delete(taken);
  }

  void PollOrderFiles(QvRegistry &reg, QvClock &clock) {
    if (!clock.Known()) {
      if (!m_toldNoClock)
        Print("Quorvale: no order is taken while this chart's registry file cannot be written");
      m_toldNoClock = true;
      return;
    }
    List();
    for (int i = 0; i < m_count; i++) {
      if (m_list[i].taken || m_list[i].done) continue;
      string symbol = "";
      string reason = "";
      int verdict = Decide(i, reg, clock, symbol, reason);
      if (verdict == 0) continue;
      if (!Lock(reg, clock)) continue;
      Take(i, verdict, symbol, reason, reg);
      Unlock();
    }
  }

  // --- orders cut off by a crash -----------------------------------------------------

  // A taken order without a result whose executor no longer runs: answered from its
  // marker (the outcome it recorded), else from the history (the fill its comment names),
  // else UNKNOWN; never REJECTED for a fill, never run again. This chart executes inside
  // one call, so an order its marker says it owns is its previous life's.
  void Recover(QvRegistry &reg, QvClock &clock) {
    if (!clock.Known()) return;
    List();
    for (int i = 0; i < m_count; i++) {
      if (!m_list[i].taken) continue;
      QvEntry e = m_list[i];
      if (QvFiles::Exists(QV_BRIDGE + "QV_TradeResult_" + e.id + ".txt")) {
        QvFiles::Delete(e.path);  // answered; its executor stopped before tidying up
        continue;
      }
      if (e.parsed && e.o.account != "" && e.o.account != m_login) continue;
      string marker = QvLedger::Marker(e.id);
      string owner = "";
      QvText::KeyValue(marker, "OWNER", owner);
      long age = clock.Age(e.path);
      long markerAge = clock.Age(QV_OWN + QvLedger::MarkerName(e.id));
      bool mine = owner == Tag();
      if (!mine) {
        if (owner != "" && reg.IsLive(StringToInteger(owner))) continue;
        if (owner != "" && markerAge >= 0 && markerAge < QV_OWNER_GONE) continue;
        if (owner == "" && (age < 0 || age < QV_UNOWNED_GONE)) continue;
      }
      if (!Lock(reg, clock)) continue;
      QvOutcome out;
      RecoveredOutcome(e, marker, out);
      if (marker == "" && !m_ledger.TryMark(e.id, "OWNER=" + Tag() + "\nRECOVERED=1")) {
        Unlock();
        continue;  // marked meanwhile: someone runs it after all
      }
      m_ledger.Finish(e.id, marker != "" ? marker : "OWNER=" + Tag() + "\nRECOVERED=1", out, m_gate);
      Print("Quorvale: order " + e.id + " was cut off; answered " +
            QvOrders::StatusName(out.ok ? QV_EXECUTED : out.status) +
            (out.ok ? " ticket " + QvText::Int((long)out.ticket) : ": " + out.reason));
      WriteResult(e.id, out);
      QvFiles::Delete(e.path);
      Unlock();
    }
  }

  void RecoveredOutcome(const QvEntry &e, const string marker, QvOutcome &out) {
    QvOrders::ClearOutcome(out);
    if (marker == "") {
      out.reason = "the terminal stopped before executing this order";
      return;
    }
    if (QvOrders::ReadOutcome(marker, out)) return;
    if (e.parsed && (e.o.action == "BUY" || e.o.action == "SELL")) {
      ulong ticket = QvExecutor::FindFill(e.id);
      if (ticket != 0) {
        out.ok = true;
        out.status = QV_EXECUTED;
        out.ticket = ticket;
        return;
      }
    }
    out.status = QV_UNKNOWN;
    out.reason = "the terminal stopped while executing this order; check your positions";
  }

  // --- the slot of an older workspace ------------------------------------------------

  // QV_TradeSignal.csv is never deleted, so a record is read only when the file changed
  // (or within two seconds of its last change, the resolution of its time), a record older
  // than a minute at first sight is history, not an order, and no result is written (an
  // older workspace reads none).
  void PollTradeSignal(QvRegistry &reg, QvClock &clock) {
    if (!clock.Known()) return;
    string path = QV_BRIDGE + "QV_TradeSignal.csv";
    long size = QvFiles::Size(path);
    if (size < 0) return;
    long modified = QvFiles::Modified(path);
    long age = clock.Now() - modified;
    if (size == m_signalSize && modified == m_signalModified && age > 2) return;
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
    if (o.symbol == "CURRENT" && reg.Primary("") != m_chart.hwnd) return;
    if (age > QV_ORDER_MAX_AGE) {
      m_signalSeenId = o.id;
      Print("Quorvale: order " + o.id + " in QV_TradeSignal.csv is older than a minute; not executed");
      return;
    }
    m_signalSeenId = o.id;
    string symbol = m_chart.symbol;
    string reason = "";
    QvOutcome out;
    if (o.symbol == "ALL") {
      symbol = "";
    } else if (o.symbol != "CURRENT" && !m_symbols.Resolve(o.symbol, symbol, reason)) {
      Print("Quorvale: order " + o.id + " in QV_TradeSignal.csv not executed: " + reason);
      return;
    }
    Run(o, symbol, reg, out);
  }
};

#endif
