// Native stand-ins for the MQL5 built-ins the companion uses (see mql5_shim.h).
#include "mql5_shim.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <stdio.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <sys/stat.h>

namespace shim {
State& S() {
  static State state;
  return state;
}
void Reset(const string& commonDir) {
  S() = State();
  S().commonDir = commonDir;
}
void AddSymbol(const string& name, const Symbol& symbol) {
  S().symbols[name] = symbol;
}
void SetQuote(const string& name, double bid, double ask) {
  S().symbols[name].bid = bid;
  S().symbols[name].ask = ask;
}
double Floating(const Position& p) {
  auto it = S().symbols.find(p.symbol);
  if (it == S().symbols.end()) return 0;
  const Symbol& s = it->second;
  double close = p.buy ? s.bid : s.ask;
  double move = (close - p.open) * (p.buy ? 1 : -1);
  return move / s.tickSize * s.tickValue * p.volume;
}
double Equity() {
  double e = S().balance;
  for (const Position& p : S().positions) e += Floating(p);
  return e;
}
bool LogContains(const string& text) {
  for (const string& l : S().log)
    if (l.find(text) != string::npos) return true;
  return false;
}
}  // namespace shim

using shim::S;

// ---- strings ------------------------------------------------------------------------
int StringLen(const string& s) {
  return static_cast<int>(s.size());
}
string StringSubstr(const string& s, int start, int length) {
  if (start < 0 || start >= static_cast<int>(s.size())) return "";
  return length < 0 ? s.substr(start) : s.substr(start, length);
}
int StringFind(const string& s, const string& what, int start) {
  if (start < 0) start = 0;
  size_t p = s.find(what, start);
  return p == string::npos ? -1 : static_cast<int>(p);
}
ushort StringGetCharacter(const string& s, int pos) {
  if (pos < 0 || pos >= static_cast<int>(s.size())) return 0;
  return static_cast<unsigned char>(s[pos]);
}
bool StringToUpper(string& s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return true;
}
int StringReplace(string& s, const string& find, const string& repl) {
  if (find.empty()) return 0;
  int n = 0;
  for (size_t p = s.find(find); p != string::npos; p = s.find(find, p + repl.size())) {
    s.replace(p, find.size(), repl);
    n++;
  }
  return n;
}
double StringToDouble(const string& s) {
  return std::atof(s.c_str());
}
long StringToInteger(const string& s) {
  return std::atol(s.c_str());
}
string DoubleToString(double v, int digits) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", digits, v);
  return buf;
}
string IntegerToString(long v) {
  return std::to_string(v);
}
string TimeToString(datetime t, int) {
  time_t tt = static_cast<time_t>(t);
  struct tm tmv;
  gmtime_r(&tt, &tmv);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y.%m.%d %H:%M", &tmv);
  return buf;
}
void Print(const string& s) {
  S().log.push_back(s);
  if (S().echo) std::cout << s << std::endl;
}
void Comment(const string& s) {
  S().comment = s;
}
int GetLastError() {
  return 0;
}
void Sleep(int) {}

// ---- math ---------------------------------------------------------------------------
double MathAbs(double v) {
  return std::fabs(v);
}
double MathRound(double v) {
  return std::round(v);
}
double MathFloor(double v) {
  return std::floor(v);
}
double MathMax(double a, double b) {
  return std::max(a, b);
}
double MathMin(double a, double b) {
  return std::min(a, b);
}
double NormalizeDouble(double v, int digits) {
  double f = std::pow(10.0, digits);
  return std::round(v * f) / f;
}

// ---- time ---------------------------------------------------------------------------
datetime TimeCurrent() {
  return S().fakeTime != 0 ? S().fakeTime : std::time(nullptr);
}
datetime TimeGMT() {
  return TimeCurrent();
}
// File ages compare with the file system's clock, which a test does not move.
datetime TimeLocal() {
  return std::time(nullptr);
}
ulong GetTickCount64() {
  if (S().fakeTick != 0) return S().fakeTick;
  using namespace std::chrono;
  return static_cast<ulong>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}
bool TimeToStruct(datetime t, MqlDateTime& out) {
  time_t tt = static_cast<time_t>(t);
  struct tm tmv;
  gmtime_r(&tt, &tmv);
  out = {tmv.tm_year + 1900, tmv.tm_mon + 1, tmv.tm_mday, tmv.tm_hour,
         tmv.tm_min,         tmv.tm_sec,     tmv.tm_wday, tmv.tm_yday};
  return true;
}

// ---- files --------------------------------------------------------------------------
static string Real(const string& name) {
  string p = name;
  std::replace(p.begin(), p.end(), '\\', '/');
  return S().commonDir + "/" + p;
}
static void MakeParent(const string& path) {
  for (size_t p = path.find('/', 1); p != string::npos; p = path.find('/', p + 1))
    mkdir(path.substr(0, p).c_str(), 0755);
}
namespace {
struct OpenFile {
  FILE* f = nullptr;
};
std::vector<OpenFile>& Files() {
  static std::vector<OpenFile> files;
  return files;
}
std::vector<std::vector<string>>& Finds() {
  static std::vector<std::vector<string>> finds;
  return finds;
}
}  // namespace

bool FileIsExist(const string& name, int) {
  struct stat st;
  return stat(Real(name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
long FileGetInteger(const string& name, ENUM_FILE_PROPERTY_INTEGER prop, bool) {
  struct stat st;
  if (stat(Real(name).c_str(), &st) != 0) return -1;
  if (prop == FILE_SIZE) return static_cast<long>(st.st_size);
  if (prop == FILE_MODIFY_DATE) return static_cast<long>(st.st_mtime);
  if (prop == FILE_CREATE_DATE) return static_cast<long>(st.st_ctime);
  return 1;
}
int FileOpen(const string& name, int flags, int, uint) {
  string path = Real(name);
  if (flags & FILE_WRITE) MakeParent(path);
  FILE* f = std::fopen(path.c_str(), (flags & FILE_WRITE) ? "wb" : "rb");
  if (!f) return INVALID_HANDLE;
  Files().push_back(OpenFile{f});
  return static_cast<int>(Files().size() - 1);
}
string FileReadString(int h, int length) {
  if (h < 0 || h >= static_cast<int>(Files().size()) || !Files()[h].f) return "";
  string out(length > 0 ? length : 0, '\0');
  size_t n = std::fread(&out[0], 1, out.size(), Files()[h].f);
  out.resize(n);
  if (out.compare(0, 3, "\xEF\xBB\xBF") == 0) out.erase(0, 3);
  return out;
}
uint FileWriteString(int h, const string& text, int) {
  if (h < 0 || h >= static_cast<int>(Files().size()) || !Files()[h].f) return 0;
  return static_cast<uint>(std::fwrite(text.data(), 1, text.size(), Files()[h].f));
}
void FileClose(int h) {
  if (h < 0 || h >= static_cast<int>(Files().size()) || !Files()[h].f) return;
  std::fclose(Files()[h].f);
  Files()[h].f = nullptr;
}
bool FileMove(const string& from, int, const string& to, int modeFlags) {
  string src = Real(from);
  string dst = Real(to);
  MakeParent(dst);
  if (modeFlags & FILE_REWRITE) return std::rename(src.c_str(), dst.c_str()) == 0;
  // Without FILE_REWRITE the move fails when the target exists, atomically: a hard link
  // cannot be created over an existing name.
  if (link(src.c_str(), dst.c_str()) != 0) return false;
  return unlink(src.c_str()) == 0;
}
bool FileDelete(const string& name, int) {
  return unlink(Real(name).c_str()) == 0;
}
long FileFindFirst(const string& filter, string& name, int) {
  string path = Real(filter);
  size_t slash = path.rfind('/');
  string dir = path.substr(0, slash);
  string pattern = path.substr(slash + 1);
  std::vector<string> names;
  if (auto* dp = opendir(dir.c_str())) {
    while (auto* e = readdir(dp))
      if (fnmatch(pattern.c_str(), e->d_name, 0) == 0) names.push_back(e->d_name);
    closedir(dp);
  }
  std::sort(names.begin(), names.end());
  if (names.empty()) return INVALID_HANDLE;
  name = names.front();
  names.erase(names.begin());
  Finds().push_back(names);
  return static_cast<long>(Finds().size() - 1);
}
bool FileFindNext(long h, string& name) {
  if (h < 0 || h >= static_cast<long>(Finds().size()) || Finds()[h].empty()) return false;
  name = Finds()[h].front();
  Finds()[h].erase(Finds()[h].begin());
  return true;
}
void FileFindClose(long h) {
  if (h >= 0 && h < static_cast<long>(Finds().size())) Finds()[h].clear();
}

// ---- market, account, positions -------------------------------------------------------
static shim::Symbol* Find(const string& sym) {
  auto it = S().symbols.find(sym);
  return it == S().symbols.end() ? nullptr : &it->second;
}
long SymbolInfoInteger(const string& sym, ENUM_SYMBOL_INFO_INTEGER prop) {
  shim::Symbol* s = Find(sym);
  if (!s) return 0;
  switch (prop) {
    case SYMBOL_DIGITS:
      return s->digits;
    case SYMBOL_TRADE_STOPS_LEVEL:
      return s->stopsLevel;
    case SYMBOL_FILLING_MODE:
      return s->filling;
    case SYMBOL_TRADE_MODE:
      return s->tradeMode;
  }
  return 0;
}
double SymbolInfoDouble(const string& sym, ENUM_SYMBOL_INFO_DOUBLE prop) {
  shim::Symbol* s = Find(sym);
  if (!s) return 0;
  switch (prop) {
    case SYMBOL_BID:
      return s->bid;
    case SYMBOL_ASK:
      return s->ask;
    case SYMBOL_POINT:
      return s->point;
    case SYMBOL_TRADE_TICK_SIZE:
      return s->tickSize;
    case SYMBOL_TRADE_TICK_VALUE:
      return s->tickValue;
    case SYMBOL_VOLUME_MIN:
      return s->volMin;
    case SYMBOL_VOLUME_MAX:
      return s->volMax;
    case SYMBOL_VOLUME_STEP:
      return s->volStep;
    case SYMBOL_TRADE_CONTRACT_SIZE:
      return s->contract;
  }
  return 0;
}
bool SymbolSelect(const string& sym, bool) {
  return Find(sym) != nullptr;
}
bool SymbolInfoSessionTrade(const string& sym, ENUM_DAY_OF_WEEK, uint index, datetime& from,
                            datetime& to) {
  if (!Find(sym) || !S().sessionsAlwaysOpen || index > 0) return false;
  from = 0;
  to = 86400;
  return true;
}
double AccountInfoDouble(ENUM_ACCOUNT_INFO_DOUBLE prop) {
  return prop == ACCOUNT_BALANCE ? S().balance : shim::Equity();
}
long AccountInfoInteger(ENUM_ACCOUNT_INFO_INTEGER) {
  return S().login;
}
string AccountInfoString(ENUM_ACCOUNT_INFO_STRING) {
  return "USD";
}
long TerminalInfoInteger(ENUM_TERMINAL_INFO_INTEGER) {
  return S().tradeAllowed ? 1 : 0;
}
long MQLInfoInteger(ENUM_MQL_INFO_INTEGER) {
  return 1;
}
int PositionsTotal() {
  return static_cast<int>(S().positions.size());
}
ulong PositionGetTicket(int index) {
  if (index < 0 || index >= PositionsTotal()) return 0;
  S().selected = index;
  return S().positions[index].ticket;
}
bool PositionSelectByTicket(ulong ticket) {
  for (size_t i = 0; i < S().positions.size(); i++)
    if (S().positions[i].ticket == ticket) {
      S().selected = static_cast<int>(i);
      return true;
    }
  return false;
}
static const shim::Position* Selected() {
  int i = S().selected;
  return i >= 0 && i < PositionsTotal() ? &S().positions[i] : nullptr;
}
string PositionGetString(ENUM_POSITION_PROPERTY_STRING) {
  const shim::Position* p = Selected();
  return p ? p->symbol : "";
}
double PositionGetDouble(ENUM_POSITION_PROPERTY_DOUBLE prop) {
  const shim::Position* p = Selected();
  if (!p) return 0;
  shim::Symbol* s = Find(p->symbol);
  switch (prop) {
    case POSITION_VOLUME:
      return p->volume;
    case POSITION_PRICE_OPEN:
      return p->open;
    case POSITION_PRICE_CURRENT:
      return s ? (p->buy ? s->bid : s->ask) : 0;
    case POSITION_SL:
      return p->sl;
    case POSITION_TP:
      return p->tp;
    case POSITION_PROFIT:
      return shim::Floating(*p);
    case POSITION_SWAP:
      return 0;
  }
  return 0;
}
long PositionGetInteger(ENUM_POSITION_PROPERTY_INTEGER prop) {
  const shim::Position* p = Selected();
  if (!p) return 0;
  if (prop == POSITION_TYPE) return p->buy ? POSITION_TYPE_BUY : POSITION_TYPE_SELL;
  if (prop == POSITION_MAGIC) return p->magic;
  return p->time;
}
static datetime g_historyFrom = 0, g_historyTo = 0;
bool HistorySelect(datetime from, datetime to) {
  g_historyFrom = from;
  g_historyTo = to;
  return true;
}
static std::vector<shim::Deal> SelectedDeals() {
  std::vector<shim::Deal> out;
  for (const shim::Deal& d : S().deals)
    if (d.time >= g_historyFrom && d.time <= g_historyTo) out.push_back(d);
  return out;
}
int HistoryDealsTotal() {
  return static_cast<int>(SelectedDeals().size());
}
ulong HistoryDealGetTicket(int index) {
  std::vector<shim::Deal> d = SelectedDeals();
  return index >= 0 && index < static_cast<int>(d.size()) ? d[index].ticket : 0;
}
double HistoryDealGetDouble(ulong ticket, ENUM_DEAL_PROPERTY_DOUBLE prop) {
  for (const shim::Deal& d : S().deals)
    if (d.ticket == ticket) return prop == DEAL_PROFIT ? d.profit : 0;
  return 0;
}
void ZeroMemory(MqlTradeRequest& r) {
  r = MqlTradeRequest();
}
void ZeroMemory(MqlTradeResult& r) {
  r = MqlTradeResult();
}

// The server's own checks, as a real server makes them: stops against the closing side of
// the quote and the stops level, volumes against the symbol's limits.
static bool StopsValid(const shim::Symbol& s, bool buy, double sl, double tp) {
  double minDist = s.stopsLevel * s.point - s.point / 2;
  double ref = buy ? s.bid : s.ask;
  if (sl > 0 && (buy ? ref - sl < minDist || sl >= ref : sl - ref < minDist || sl <= ref))
    return false;
  if (tp > 0 && (buy ? tp - ref < minDist || tp <= ref : ref - tp < minDist || tp >= ref))
    return false;
  return true;
}
bool OrderSend(const MqlTradeRequest& req, MqlTradeResult& res) {
  S().sends++;
  res = MqlTradeResult();
  shim::Symbol* s = Find(req.symbol);
  if (!S().script.empty()) {
    res.retcode = S().script.front();
    S().script.erase(S().script.begin());
    res.comment = "scripted answer";
    return false;
  }
  if (!s) {
    res.retcode = TRADE_RETCODE_INVALID;
    return false;
  }
  res.bid = s->bid;
  res.ask = s->ask;
  if (req.action == TRADE_ACTION_SLTP) {
    for (shim::Position& p : S().positions)
      if (p.ticket == req.position) {
        if (!StopsValid(*s, p.buy, req.sl, req.tp)) {
          res.retcode = TRADE_RETCODE_INVALID_STOPS;
          return false;
        }
        p.sl = req.sl;
        p.tp = req.tp;
        res.retcode = TRADE_RETCODE_DONE;
        return true;
      }
    res.retcode = TRADE_RETCODE_INVALID;
    return false;
  }
  double steps = req.volume / s->volStep;
  if (req.volume < s->volMin - 1e-9 || req.volume > s->volMax + 1e-9 ||
      std::fabs(steps - std::round(steps)) > 1e-6) {
    res.retcode = TRADE_RETCODE_INVALID_VOLUME;
    return false;
  }
  bool buy = req.type == ORDER_TYPE_BUY;
  double price = buy ? s->ask : s->bid;
  if (req.position != 0) {
    for (size_t i = 0; i < S().positions.size(); i++) {
      shim::Position& p = S().positions[i];
      if (p.ticket != req.position) continue;
      if (req.volume > p.volume + 1e-9 || p.buy == buy) {
        res.retcode = TRADE_RETCODE_INVALID;
        return false;
      }
      shim::Position part = p;
      part.volume = req.volume;
      double profit = shim::Floating(part);
      S().balance += profit;
      res.deal = S().nextTicket++;
      S().deals.push_back({res.deal, TimeCurrent(), profit});
      p.volume = NormalizeDouble(p.volume - req.volume, 8);
      if (p.volume < 1e-9) S().positions.erase(S().positions.begin() + i);
      res.retcode = TRADE_RETCODE_DONE;
      res.order = S().nextTicket++;
      res.volume = req.volume;
      res.price = price;
      return true;
    }
    res.retcode = TRADE_RETCODE_INVALID;
    return false;
  }
  if (!StopsValid(*s, buy, req.sl, req.tp)) {
    res.retcode = TRADE_RETCODE_INVALID_STOPS;
    return false;
  }
  shim::Position p{S().nextTicket++,
                   req.symbol,
                   buy,
                   req.volume,
                   price,
                   req.sl,
                   req.tp,
                   static_cast<long>(req.magic),
                   TimeCurrent()};
  S().positions.push_back(p);
  res.retcode = TRADE_RETCODE_DONE;
  res.order = p.ticket;
  res.deal = S().nextTicket++;
  res.volume = req.volume;
  res.price = price;
  return true;
}

// ---- bars: a deterministic series around the current quote ----------------------------
static long PeriodSecondsOf(ENUM_TIMEFRAMES tf) {
  switch (tf) {
    case PERIOD_M1:
      return 60;
    case PERIOD_M5:
      return 300;
    case PERIOD_M15:
      return 900;
    case PERIOD_M30:
      return 1800;
    case PERIOD_H4:
      return 14400;
    case PERIOD_D1:
      return 86400;
    case PERIOD_W1:
      return 604800;
    case PERIOD_MN1:
      return 2592000;
    default:
      return 3600;
  }
}
datetime iTime(const string& sym, ENUM_TIMEFRAMES tf, int shift) {
  if (!Find(sym)) return 0;
  long secs = PeriodSecondsOf(tf);
  datetime now = TimeCurrent();
  return now - now % secs - shift * secs;
}
static double BarClose(const string& sym, ENUM_TIMEFRAMES tf, int shift) {
  shim::Symbol* s = Find(sym);
  if (!s) return 0;
  long index = iTime(sym, tf, shift) / PeriodSecondsOf(tf);
  return shift == 0 ? s->bid : s->bid * (1.0 + 0.002 * std::sin(static_cast<double>(index)));
}
double iClose(const string& sym, ENUM_TIMEFRAMES tf, int shift) {
  return BarClose(sym, tf, shift);
}
double iHigh(const string& sym, ENUM_TIMEFRAMES tf, int shift) {
  return BarClose(sym, tf, shift) * 1.001;
}
double iLow(const string& sym, ENUM_TIMEFRAMES tf, int shift) {
  return BarClose(sym, tf, shift) * 0.999;
}
long ChartGetInteger(long, ENUM_CHART_PROPERTY_INTEGER) {
  return 0;
}
