// The order record, the lines the workspace adds after it in an order file, an order's
// outcome, and the ledger of executed ids. The ledger is one marker file per id in the
// companion's own folder, created by a rename that fails when the name exists: of all
// charts and terminals on one common folder exactly one creates it, and the marker outlives
// restarts, so an id is executed once. The marker also names the chart that executes the
// order and, once known, its outcome, so an order cut off by a crash is answered truthfully.
#ifndef QV_ORDERS_MQH
#define QV_ORDERS_MQH

#include "QV_Files.mqh"
#include "QV_Text.mqh"

#define QV_MAX_RECORD_BYTES 1024

#define QV_REJECTED 0
#define QV_EXECUTED 1
#define QV_UNKNOWN 2

struct QvOrder {
  string id;
  string action;
  string size;
  string symbol;
  string sl;
  string tp;
  // Added lines of an order file (empty or 0 in a bare record):
  string account;  // ACCOUNT: the login that must execute it
  long chart;      // CHART: the chart it was sent from, which gets it first
  long seq;        // SEQ: the outbox's sequence; one account executes in this order
  string slKind;   // SL_KIND, TP_KIND: PRICE or DISTANCE as the trader gave it
  string tpKind;
};

struct QvOutcome {
  int status;  // QV_EXECUTED, QV_REJECTED or QV_UNKNOWN
  bool ok;     // executed
  ulong ticket;
  double price;
  double volume;
  string reason;
  string symbol;
};

class QvOrders {
 public:
  static bool IsIdChar(int c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           c == '_' || c == '-' || c == '.';
  }

  static bool ValidId(const string id) {
    int n = StringLen(id);
    if (n < 1 || n > 64) return false;
    for (int i = 0; i < n; i++)
      if (!IsIdChar(StringGetCharacter(id, i))) return false;
    return true;
  }

  static bool KnownAction(const string a) {
    return a == "BUY" || a == "SELL" || a == "CLOSE" || a == "CLOSE_50" || a == "BE_PLUS" ||
           a == "REVERSE";
  }

  static bool Digits(const string s) {
    int n = StringLen(s);
    if (n < 1 || n > 20) return false;
    for (int i = 0; i < n; i++) {
      int c = StringGetCharacter(s, i);
      if (c < '0' || c > '9') return false;
    }
    return true;
  }

  static void Clear(QvOrder &o) {
    o.id = "";
    o.action = "";
    o.size = "";
    o.symbol = "";
    o.sl = "";
    o.tp = "";
    o.account = "";
    o.chart = 0;
    o.seq = 0;
    o.slKind = "";
    o.tpKind = "";
  }

  // id,action,size,symbol,sl,tp. A trailing line end is tolerated; anything else that is
  // not exactly six fields of printable text is refused with the reason.
  static bool Parse(const string raw, QvOrder &o, string &reason) {
    Clear(o);
    string text = QvText::Trim(raw);
    int n = StringLen(text);
    if (n == 0) {
      reason = "empty order record";
      return false;
    }
    for (int i = 0; i < n; i++) {
      int c = StringGetCharacter(text, i);
      if (c < 32 || c == 127) {
        reason = "order record holds a control character";
        return false;
      }
    }
    string f0 = "";
    string f1 = "";
    string f2 = "";
    string f3 = "";
    string f4 = "";
    string f5 = "";
    int field = 0;
    int start = 0;
    for (int i = 0; i <= n; i++) {
      if (i < n && StringGetCharacter(text, i) != ',') continue;
      string v = QvText::Trim(QvText::Sub(text, start, i - start));
      if (field == 0) f0 = v;
      if (field == 1) f1 = v;
      if (field == 2) f2 = v;
      if (field == 3) f3 = v;
      if (field == 4) f4 = v;
      if (field == 5) f5 = v;
      field++;
      start = i + 1;
    }
    if (field != 6) {
      reason = "order record has " + QvText::Int(field) + " fields, not 6";
      return false;
    }
    if (!ValidId(f0)) {
      reason = "order id '" + f0 + "' is not valid";
      return false;
    }
    if (!KnownAction(f1)) {
      reason = "unknown action '" + f1 + "'";
      return false;
    }
    if (f3 == "") {
      reason = "order record names no symbol";
      return false;
    }
    o.id = f0;
    o.action = f1;
    o.size = f2;
    o.symbol = f3;
    o.sl = f4;
    o.tp = f5;
    return true;
  }

  // One added line KEY=VALUE; unknown keys are left for later versions.
  static bool ParseAddition(const string line, QvOrder &o, string &reason) {
    int eq = StringFind(line, "=", 0);
    string key = eq > 0 ? QvText::Sub(line, 0, eq) : "";
    string v = eq > 0 ? QvText::Trim(QvText::Sub(line, eq + 1, StringLen(line) - eq - 1)) : "";
    bool ok = true;
    if (key == "ACCOUNT") {
      ok = Digits(v);
      o.account = v;
    } else if (key == "CHART") {
      ok = Digits(v);
      o.chart = StringToInteger(v);
    } else if (key == "SEQ") {
      ok = Digits(v);
      o.seq = StringToInteger(v);
    } else if (key == "SL_KIND" || key == "TP_KIND") {
      ok = v == "PRICE" || v == "DISTANCE";
      if (key == "SL_KIND") o.slKind = v;
      if (key == "TP_KIND") o.tpKind = v;
    } else if (eq <= 0) {
      ok = false;
    }
    if (!ok) reason = "order file line '" + QvText::Sub(line, 0, 60) + "' is not valid";
    return ok;
  }

  // An order file: the record on its first line, then the workspace's added lines, which
  // count only when END=1 closes them (a file cut short must not lose its ACCOUNT line).
  static bool ParseFile(const string text, QvOrder &o, string &reason) {
    int end = StringFind(text, "\n", 0);
    if (end < 0) return Parse(text, o, reason);
    if (!Parse(QvText::Sub(text, 0, end), o, reason)) return false;
    int pos = end + 1;
    int n = StringLen(text);
    bool any = false;
    bool ended = false;
    while (pos < n) {
      int stop = StringFind(text, "\n", pos);
      if (stop < 0) stop = n;
      string line = QvText::Trim(QvText::Sub(text, pos, stop - pos));
      for (int i = 0; i < StringLen(line); i++) {
        int c = StringGetCharacter(line, i);
        if (c < 32 || c == 127) {
          reason = "order file holds a control character";
          return false;
        }
      }
      pos = stop + 1;
      if (line == "") continue;
      if (ended) {
        reason = "order file has lines after its END=1";
        return false;
      }
      any = true;
      if (line == "END=1") {
        ended = true;
        continue;
      }
      if (!ParseAddition(line, o, reason)) return false;
    }
    if (any && !ended) {
      reason = "order file is cut short (no END=1 after its added lines)";
      return false;
    }
    return true;
  }

  static bool IsOpening(const string action) {
    return action == "BUY" || action == "SELL" || action == "REVERSE";
  }

  static void ClearOutcome(QvOutcome &out) {
    out.status = QV_REJECTED;
    out.ok = false;
    out.ticket = 0;
    out.price = 0;
    out.volume = 0;
    out.reason = "";
    out.symbol = "";
  }

  static string StatusName(int status) {
    if (status == QV_EXECUTED) return "EXECUTED";
    if (status == QV_UNKNOWN) return "UNKNOWN";
    return "REJECTED";
  }

  // STATUS and what goes with it, as lines of the result file (without ID and END).
  static string OutcomeLines(const QvOutcome &out) {
    int status = out.ok ? QV_EXECUTED : out.status;
    string body = "STATUS=" + StatusName(status);
    if (status == QV_EXECUTED) {
      body += "\nTICKET=" + QvText::Int((long)out.ticket);
      if (out.price > 0) body += "\nPRICE=" + QvText::Num(out.price, 8);
      if (out.volume > 0) body += "\nVOLUME=" + QvText::Num(out.volume, 2);
      return body;
    }
    string reason = out.reason;
    StringReplace(reason, "\n", " ");
    StringReplace(reason, "\r", " ");
    return body + "\nREASON=" + QvText::Sub(reason, 0, 200);
  }

  // The outcome written by OutcomeLines, read back (from a marker); false without STATUS.
  static bool ReadOutcome(const string text, QvOutcome &out) {
    ClearOutcome(out);
    string v = "";
    if (!QvText::KeyValue(text, "STATUS", v)) return false;
    if (v == "EXECUTED") {
      string t = "";
      if (!QvText::KeyValue(text, "TICKET", t) || !Digits(t)) return false;
      out.ok = true;
      out.status = QV_EXECUTED;
      out.ticket = (ulong)StringToInteger(t);
      double n = 0;
      if (QvText::KeyValue(text, "PRICE", t) && QvText::ParseNumber(t, n)) out.price = n;
      if (QvText::KeyValue(text, "VOLUME", t) && QvText::ParseNumber(t, n)) out.volume = n;
      return true;
    }
    if (v != "REJECTED" && v != "UNKNOWN") return false;
    out.status = v == "UNKNOWN" ? QV_UNKNOWN : QV_REJECTED;
    QvText::KeyValue(text, "REASON", out.reason);
    return true;
  }
};

// Executed ids. Markers older than a week are removed at start, except the id held by the
// never-deleted QV_TradeSignal.csv slot, which must stay known for as long as it lies there.
class QvLedger {
 public:
  string m_recent[64];
  int m_next;
  string m_tag;

  QvLedger() {
    m_next = 0;
    m_tag = "0";
  }

  void SetTag(const string tag) { m_tag = tag; }

  static string MarkerName(const string id) { return "Done_" + id + ".txt"; }

  bool Remembered(const string id) {
    for (int i = 0; i < 64; i++)
      if (m_recent[i] == id) return true;
    return false;
  }

  void Remember(const string id) {
    m_recent[m_next] = id;
    m_next = (m_next + 1) % 64;
  }

  bool IsDone(const string id) {
    if (Remembered(id)) return true;
    if (!QvFiles::Exists(QV_OWN + MarkerName(id))) return false;
    Remember(id);
    return true;
  }

  // True when this instance now owns the id; false when it was taken before (or the
  // marker cannot be written, which must also stop the execution). note: KEY=VALUE lines.
  bool TryMark(const string id, const string note) {
    if (IsDone(id)) return false;
    bool won = QvFiles::CreateExclusive(QV_OWN, MarkerName(id), note, m_tag);
    Remember(id);
    return won;
  }

  // The marker's text; empty when it is missing or unreadable.
  static string Marker(const string id) {
    string text = "";
    if (QvFiles::Read(QV_OWN + MarkerName(id), 4096, text) != QV_READ_OK) return "";
    return text;
  }

  // Records the outcome in the marker, so a crash before the result is written leaves the
  // truth behind (the ticket of a fill above all). The marker keeps existing throughout: it
  // is replaced by a rename over it.
  bool Finish(const string id, const string note, const QvOutcome &out, QvGate &gate) {
    return QvFiles::Write(QV_OWN, MarkerName(id), note + "\n" + QvOrders::OutcomeLines(out), m_tag,
                          gate);
  }

  // now: the file clock.
  void Prune(long now, const string keepId) {
    string name = "";
    long h = FileFindFirst(QV_OWN + "Done_*.txt", name, FILE_COMMON);
    if (h == INVALID_HANDLE) return;
    int removed = 0;
    do {
      if (name == MarkerName(keepId)) continue;
      long modified = QvFiles::Modified(QV_OWN + name);
      if (modified > 0 && now > 0 && now - modified > 7 * 86400) {
        if (QvFiles::Delete(QV_OWN + name)) removed++;
      }
    } while (FileFindNext(h, name));
    FileFindClose(h);
    if (removed > 0) Print("Quorvale: removed " + QvText::Int(removed) + " old order markers");
  }
};

#endif
