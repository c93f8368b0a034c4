// The order record and the ledger of executed ids. The ledger is one marker file per id
// in the companion's own folder, created by a rename that fails when the name exists:
// of all charts and terminals on one common folder exactly one creates it, and the marker
// outlives restarts, so an id is executed once.
#ifndef QV_ORDERS_MQH
#define QV_ORDERS_MQH

#include "QV_Files.mqh"
#include "QV_Text.mqh"

#define QV_MAX_RECORD_BYTES 1024

struct QvOrder {
  string id;
  string action;
  string size;
  string symbol;
  string sl;
  string tp;
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

  // id,action,size,symbol,sl,tp. A trailing line end is tolerated; anything else that is
  // not exactly six fields of printable text is refused with the reason.
  static bool Parse(const string raw, QvOrder &o, string &reason) {
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

  static bool IsOpening(const string action) {
    return action == "BUY" || action == "SELL" || action == "REVERSE";
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
  // marker cannot be written, which must also stop the execution).
  bool TryMark(const string id, const string note) {
    if (IsDone(id)) return false;
    bool won = QvFiles::CreateExclusive(QV_OWN, MarkerName(id), note, m_tag);
    Remember(id);
    return won;
  }

  void Prune(long now, const string keepId) {
    string name = "";
    long h = FileFindFirst(QV_OWN + "Done_*.txt", name, FILE_COMMON);
    if (h == INVALID_HANDLE) return;
    int removed = 0;
    do {
      if (name == MarkerName(keepId)) continue;
      long modified = QvFiles::Modified(QV_OWN + name);
      if (modified > 0 && now - modified > 7 * 86400) {
        if (QvFiles::Delete(QV_OWN + name)) removed++;
      }
    } while (FileFindNext(h, name));
    FileFindClose(h);
    if (removed > 0) Print("Quorvale: removed " + QvText::Int(removed) + " old order markers");
  }
};

#endif
