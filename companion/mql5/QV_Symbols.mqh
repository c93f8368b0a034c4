// The terminal's name for a symbol the workspace names without the broker's suffix
// (XAUUSD for XAUUSD.m), found over the terminal's own symbol list, so it does not depend
// on which chart claims the order.
#ifndef QV_SYMBOLS_MQH
#define QV_SYMBOLS_MQH

#include "QV_Text.mqh"

class QvSymbols {
 public:
  string m_asked[16];
  string m_found[16];
  int m_next;

  QvSymbols() { m_next = 0; }

  // The one symbol of the list (selected: Market Watch only) that is the name itself or
  // starts with it; "" when none, "?" plus both names when two do.
  static string Scan(const string wanted, bool selected) {
    string upper = QvText::Upper(wanted);
    string match = "";
    int n = SymbolsTotal(selected);
    for (int i = 0; i < n; i++)
      if (SymbolName(i, selected) == wanted) return wanted;
    for (int i = 0; i < n; i++) {
      string name = SymbolName(i, selected);
      if (!QvText::StartsWith(QvText::Upper(name), upper)) continue;
      if (match != "") return "?" + match + " and " + name;
      match = name;
    }
    return match;
  }

  // found: the terminal's symbol, selected into Market Watch so it has quotes. False with
  // the reason when the terminal has no such symbol or two that fit.
  bool Resolve(const string wanted, string &found, string &reason) {
    for (int i = 0; i < 16; i++) {
      if (m_asked[i] != wanted || m_asked[i] == "") continue;
      found = m_found[i];
      return true;
    }
    string match = Scan(wanted, true);
    if (match == "") match = Scan(wanted, false);
    if (match == "") {
      reason = "symbol " + wanted + " is not quoted in this terminal";
      return false;
    }
    if (QvText::StartsWith(match, "?")) {
      reason = "symbol " + wanted + " is ambiguous in this terminal: " +
               QvText::Sub(match, 1, StringLen(match) - 1);
      return false;
    }
    if (!SymbolSelect(match, true)) {
      reason = "symbol " + match + " cannot be added to Market Watch";
      return false;
    }
    found = match;
    m_asked[m_next] = wanted;
    m_found[m_next] = match;
    m_next = (m_next + 1) % 16;
    return true;
  }
};

#endif
