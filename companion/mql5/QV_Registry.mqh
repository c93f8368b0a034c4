// Which charts run a companion, and on which account. Each chart rewrites its line in the
// companion's own folder every second (QuorvaleCompanion\Chart_<hwnd>.txt: its symbol and
// login), which is also the file the advisor's clock is read from; a chart seen in the last
// 10 seconds counts as running. For the workspace each chart also keeps
// QV_Chart_<hwnd>.txt in the bridge folder, so the host knows the chart's account.
#ifndef QV_REGISTRY_MQH
#define QV_REGISTRY_MQH

#include "QV_Clock.mqh"
#include "QV_Files.mqh"

#define QV_CHART_ALIVE 10
#define QV_MAX_CHARTS 64
// How often the bridge folder's chart file is rewritten (the workspace counts it as alive
// for 30 seconds).
#define QV_CHART_FILE_PERIOD_MS 10000

class QvRegistry {
 public:
  long m_hwnd[QV_MAX_CHARTS];
  string m_symbol[QV_MAX_CHARTS];
  string m_account[QV_MAX_CHARTS];
  int m_count;
  ulong m_lastPublic;

  QvRegistry() {
    m_count = 0;
    m_lastPublic = 0;
  }

  static string OwnName(long hwnd) { return "Chart_" + QvText::Int(hwnd) + ".txt"; }
  static string PublicName(long hwnd) { return "QV_Chart_" + QvText::Int(hwnd) + ".txt"; }

  // Writes this chart's line, then takes the clock from it: the one file date that is
  // known to be "now".
  bool Register(long hwnd, const string symbol, const string account, QvClock &clock,
                QvGate &gate) {
    string tag = QvText::Int(hwnd);
    bool ok = QvFiles::Write(QV_OWN, OwnName(hwnd), "SYMBOL=" + symbol + "\nACCOUNT=" + account, tag,
                             gate);
    if (ok) clock.Sync(QV_OWN + OwnName(hwnd));
    ulong now = GetTickCount64();
    if (m_lastPublic == 0 || now - m_lastPublic >= QV_CHART_FILE_PERIOD_MS) {
      string body = "HWND=" + tag + "\nACCOUNT=" + account + "\nSERVER=" +
                    QvText::Token(AccountInfoString(ACCOUNT_SERVER)) +
                    "\nSYMBOL=" + QvText::Token(symbol) + "\nPROTOCOL=3";
      if (QvFiles::Write(QV_BRIDGE, PublicName(hwnd), body, tag, gate)) m_lastPublic = now;
    }
    Scan(clock);
    return ok;
  }

  void Forget(long hwnd) {
    QvFiles::Delete(QV_OWN + OwnName(hwnd));
    QvFiles::Delete(QV_BRIDGE + PublicName(hwnd));
  }

  void Scan(QvClock &clock) {
    m_count = 0;
    string name = "";
    long h = FileFindFirst(QV_OWN + "Chart_*.txt", name, FILE_COMMON);
    if (h == INVALID_HANDLE) return;
    do {
      long other = StringToInteger(QvText::Sub(name, 6, StringLen(name) - 10));
      if (other <= 0 || m_count >= QV_MAX_CHARTS) continue;
      long age = clock.Age(QV_OWN + name);
      if (age < 0 || age > QV_CHART_ALIVE) continue;
      string text = "";
      string sym = "";
      string account = "";
      if (QvFiles::Read(QV_OWN + name, 256, text) != QV_READ_OK) continue;
      QvText::KeyValue(text, "SYMBOL", sym);
      QvText::KeyValue(text, "ACCOUNT", account);
      m_hwnd[m_count] = other;
      m_symbol[m_count] = sym;
      m_account[m_count] = account;
      m_count++;
    } while (FileFindNext(h, name));
    FileFindClose(h);
  }

  bool IsLive(long hwnd) {
    for (int i = 0; i < m_count; i++)
      if (m_hwnd[i] == hwnd) return true;
    return false;
  }

  string AccountOf(long hwnd) {
    for (int i = 0; i < m_count; i++)
      if (m_hwnd[i] == hwnd) return m_account[i];
    return "";
  }

  // The running chart with the smallest handle, among the charts of account ("" for all).
  long Primary(const string account) {
    long best = 0;
    for (int i = 0; i < m_count; i++) {
      if (account != "" && m_account[i] != account) continue;
      if (best == 0 || m_hwnd[i] < best) best = m_hwnd[i];
    }
    return best;
  }

  // A running chart of the account that shows symbol, or 0.
  long ChartShowing(const string symbol, const string account) {
    for (int i = 0; i < m_count; i++)
      if (m_symbol[i] == symbol && (account == "" || m_account[i] == account)) return m_hwnd[i];
    return 0;
  }

  bool AccountRuns(const string account) {
    for (int i = 0; i < m_count; i++)
      if (m_account[i] == account) return true;
    return false;
  }
};

#endif
