// Native stand-ins for the MQL5 built-ins the companion uses (see mql5_shim.h): strings,
// math, clocks, symbols, the account, positions and history as the terminal shows them.
// Files live in mql5_shim_files.cpp, the trade server in mql5_shim_trade.cpp.
#include "mql5_shim.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <deque>
#include <iostream>
#include <thread>

#include "mql5_shim_internal.h"

namespace shim {
namespace {
std::deque<State>& Terminals() {
  static std::deque<State> terminals(1);
  return terminals;
}
int g_current = 0;
}  // namespace

Machine& M() {
  static Machine machine;
  return machine;
}
State& S() {
  return Terminals()[static_cast<size_t>(g_current)];
}
void Reset(const string& commonDir) {
  Terminals().clear();
  Terminals().emplace_back();
  g_current = 0;
  M() = Machine();
  M().commonDir = commonDir;
  ResetFiles();
}
int AddTerminal() {
  Terminals().emplace_back();
  return static_cast<int>(Terminals().size() - 1);
}
void Use(int terminal) {
  if (terminal >= 0 && terminal < static_cast<int>(Terminals().size())) g_current = terminal;
}
int Current() {
  return g_current;
}
void AddSymbol(const string& name, const Symbol& symbol) {
  S().symbols[name] = symbol;
}
void SetQuote(const string& name, double bid, double ask) {
  S().symbols[name].bid = bid;
  S().symbols[name].ask = ask;
}
ulong Tick() {
  ulong base = M().fakeTick;
  if (base == 0) {
    using namespace std::chrono;
    base = static_cast<ulong>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
  }
  return base + M().slept;
}
void Advance(ulong ms) {
  M().slept += ms;
}
void Settle() {
  State& s = S();
  ulong now = Tick();
  while (!s.settling.empty() && s.settling.front().dueTick <= now)
    s.settling.erase(s.settling.begin());
}
void SettleAll() {
  S().settling.clear();
}
const std::vector<Position>& ShownPositions() {
  Settle();
  return S().settling.empty() ? S().positions : S().settling.front().positions;
}
double ShownBalance() {
  Settle();
  return S().settling.empty() ? S().balance : S().settling.front().balance;
}
const std::vector<Deal>& ShownDeals() {
  Settle();
  return S().settling.empty() ? S().deals : S().settling.front().deals;
}
const std::vector<HistoryOrder>& ShownOrders() {
  Settle();
  return S().settling.empty() ? S().orders : S().settling.front().orders;
}
void Deposit(double amount, const string& comment) {
  Deal d;
  d.ticket = S().nextTicket++;
  d.time = TimeCurrent();
  d.type = DEAL_TYPE_BALANCE;
  d.entry = DEAL_ENTRY_IN;
  d.profit = amount;
  d.comment = comment;
  S().deals.push_back(d);
  S().balance += amount;
}
void AddCredit(double amount) {
  Deal d;
  d.ticket = S().nextTicket++;
  d.time = TimeCurrent();
  d.type = DEAL_TYPE_CREDIT;
  d.entry = DEAL_ENTRY_IN;
  d.profit = amount;
  S().deals.push_back(d);
  S().credit += amount;
}
void AddClosedDeal(double profit, double commission, double fee, double swap) {
  Deal d;
  d.ticket = S().nextTicket++;
  d.time = TimeCurrent();
  d.type = DEAL_TYPE_SELL;
  d.entry = DEAL_ENTRY_OUT;
  d.profit = profit;
  d.commission = commission;
  d.fee = fee;
  d.swap = swap;
  S().deals.push_back(d);
  S().balance += profit + commission + fee + swap;
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
  double e = ShownBalance() + S().credit;
  for (const Position& p : ShownPositions()) e += Floating(p);
  return e;
}
bool LogContains(const string& text) {
  return LogCount(text) > 0;
}
int LogCount(const string& text) {
  int n = 0;
  for (const string& l : S().log) n += l.find(text) != string::npos;
  return n;
}
Symbol* Find(const string& sym) {
  auto it = S().symbols.find(sym);
  return it == S().symbols.end() ? nullptr : &it->second;
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
int StringCompare(const string& a, const string& b, bool caseSensitive) {
  string x = a;
  string y = b;
  if (!caseSensitive) {
    StringToUpper(x);
    StringToUpper(y);
  }
  return x < y ? -1 : (x > y ? 1 : 0);
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
string ShortToString(ushort c) {
  string out;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}
string TimeToString(datetime t, int mode) {
  time_t tt = static_cast<time_t>(t);
  struct tm tmv;
  gmtime_r(&tt, &tmv);
  char buf[32];
  std::strftime(buf, sizeof buf, (mode & TIME_SECONDS) ? "%Y.%m.%d %H:%M:%S" : "%Y.%m.%d %H:%M",
                &tmv);
  return buf;
}
void Print(const string& s) {
  S().log.push_back(s);
  if (S().echo) std::cout << s << std::endl;
}
void Comment(const string& s) {
  S().comment = s;
}
// Sticky, as in the terminal: a success does not clear it, only ResetLastError does.
int GetLastError() {
  return S().lastError;
}
void ResetLastError() {
  S().lastError = 0;
}
void Sleep(int ms) {
  if (ms <= 0) return;
  if (S().realSleep)
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  else
    shim::M().slept += static_cast<ulong>(ms);
}

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

// ---- time: UTC, the PC's local time and the server's time all differ ------------------
datetime TimeGMT() {
  return shim::M().fakeUtc != 0 ? shim::M().fakeUtc : std::time(nullptr);
}
datetime TimeLocal() {
  return TimeGMT() + shim::M().localOffset;
}
datetime TimeCurrent() {
  return TimeGMT() + S().serverOffset;
}
ulong GetTickCount64() {
  return shim::Tick();
}
bool TimeToStruct(datetime t, MqlDateTime& out) {
  time_t tt = static_cast<time_t>(t);
  struct tm tmv;
  gmtime_r(&tt, &tmv);
  out = {tmv.tm_year + 1900, tmv.tm_mon + 1, tmv.tm_mday, tmv.tm_hour,
         tmv.tm_min,         tmv.tm_sec,     tmv.tm_wday, tmv.tm_yday};
  return true;
}

// ---- symbols --------------------------------------------------------------------------
long SymbolInfoInteger(const string& sym, ENUM_SYMBOL_INFO_INTEGER prop) {
  shim::Symbol* s = shim::Find(sym);
  if (!s) return 0;
  switch (prop) {
    case SYMBOL_DIGITS:
      return s->digits;
    case SYMBOL_TRADE_STOPS_LEVEL:
      return s->stopsLevel;
    case SYMBOL_TRADE_FREEZE_LEVEL:
      return s->freezeLevel;
    case SYMBOL_FILLING_MODE:
      return s->filling;
    case SYMBOL_TRADE_MODE:
      return s->tradeMode;
    case SYMBOL_TRADE_EXEMODE:
      return s->exemode;
    case SYMBOL_SELECT:
      return s->marketWatch ? 1 : 0;
  }
  return 0;
}
double SymbolInfoDouble(const string& sym, ENUM_SYMBOL_INFO_DOUBLE prop) {
  shim::Symbol* s = shim::Find(sym);
  if (!s) return 0;
  switch (prop) {
    // A symbol outside Market Watch gets no quotes until it is selected.
    case SYMBOL_BID:
      return s->marketWatch ? s->bid : 0;
    case SYMBOL_ASK:
      return s->marketWatch ? s->ask : 0;
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
bool SymbolSelect(const string& sym, bool select) {
  shim::Symbol* s = shim::Find(sym);
  if (!s) return false;
  s->marketWatch = select;
  return true;
}
int SymbolsTotal(bool selected) {
  int n = 0;
  for (const auto& entry : S().symbols) n += !selected || entry.second.marketWatch;
  return n;
}
string SymbolName(int pos, bool selected) {
  int i = 0;
  for (const auto& entry : S().symbols) {
    if (selected && !entry.second.marketWatch) continue;
    if (i++ == pos) return entry.first;
  }
  return "";
}
bool SymbolInfoSessionTrade(const string& sym, ENUM_DAY_OF_WEEK, uint index, datetime& from,
                            datetime& to) {
  if (!shim::Find(sym) || !S().sessionsAlwaysOpen || index > 0) return false;
  from = 0;
  to = 86400;
  return true;
}

// ---- account, terminal, program ---------------------------------------------------------
double AccountInfoDouble(ENUM_ACCOUNT_INFO_DOUBLE prop) {
  if (prop == ACCOUNT_BALANCE) return shim::ShownBalance();
  if (prop == ACCOUNT_CREDIT) return S().credit;
  return shim::Equity();
}
long AccountInfoInteger(ENUM_ACCOUNT_INFO_INTEGER prop) {
  switch (prop) {
    case ACCOUNT_LOGIN:
      return S().login;
    case ACCOUNT_MARGIN_MODE:
      return S().marginMode;
    // Only hedging accounts can require FIFO closes; elsewhere the property is false.
    case ACCOUNT_FIFO_CLOSE:
      return S().fifoClose && S().marginMode == ACCOUNT_MARGIN_MODE_RETAIL_HEDGING ? 1 : 0;
    case ACCOUNT_TRADE_ALLOWED:
      return S().accountTradeAllowed ? 1 : 0;
    case ACCOUNT_TRADE_EXPERT:
      return S().accountTradeExpert ? 1 : 0;
  }
  return 0;
}
string AccountInfoString(ENUM_ACCOUNT_INFO_STRING prop) {
  return prop == ACCOUNT_SERVER ? S().server : "USD";
}
long TerminalInfoInteger(ENUM_TERMINAL_INFO_INTEGER) {
  return S().tradeAllowed ? 1 : 0;
}
long MQLInfoInteger(ENUM_MQL_INFO_INTEGER prop) {
  switch (prop) {
    case MQL_TRADE_ALLOWED:
      return S().mqlTradeAllowed ? 1 : 0;
    case MQL_TESTER:
      return S().tester || S().optimization ? 1 : 0;
    case MQL_OPTIMIZATION:
      return S().optimization ? 1 : 0;
    case MQL_VISUAL_MODE:
      return 0;
  }
  return 0;
}

// ---- positions: the terminal's copy, which follows the server a little later ------------
int PositionsTotal() {
  return static_cast<int>(shim::ShownPositions().size());
}
ulong PositionGetTicket(int index) {
  const std::vector<shim::Position>& shown = shim::ShownPositions();
  if (index < 0 || index >= static_cast<int>(shown.size())) return 0;
  S().selected = shown[static_cast<size_t>(index)];
  S().hasSelected = true;
  return S().selected.ticket;
}
bool PositionSelectByTicket(ulong ticket) {
  for (const shim::Position& p : shim::ShownPositions())
    if (p.ticket == ticket) {
      S().selected = p;
      S().hasSelected = true;
      return true;
    }
  return false;
}
string PositionGetString(ENUM_POSITION_PROPERTY_STRING prop) {
  if (!S().hasSelected) return "";
  return prop == POSITION_COMMENT ? S().selected.comment : S().selected.symbol;
}
double PositionGetDouble(ENUM_POSITION_PROPERTY_DOUBLE prop) {
  if (!S().hasSelected) return 0;
  const shim::Position& p = S().selected;
  shim::Symbol* s = shim::Find(p.symbol);
  switch (prop) {
    case POSITION_VOLUME:
      return p.volume;
    case POSITION_PRICE_OPEN:
      return p.open;
    case POSITION_PRICE_CURRENT:
      return s ? (p.buy ? s->bid : s->ask) : 0;
    case POSITION_SL:
      return p.sl;
    case POSITION_TP:
      return p.tp;
    case POSITION_PROFIT:
      return shim::Floating(p);
    case POSITION_SWAP:
      return 0;
  }
  return 0;
}
long PositionGetInteger(ENUM_POSITION_PROPERTY_INTEGER prop) {
  if (!S().hasSelected) return 0;
  const shim::Position& p = S().selected;
  switch (prop) {
    case POSITION_TICKET:
    case POSITION_IDENTIFIER:
      return static_cast<long>(p.ticket);
    case POSITION_TYPE:
      return p.buy ? POSITION_TYPE_BUY : POSITION_TYPE_SELL;
    case POSITION_MAGIC:
      return p.magic;
    case POSITION_TIME:
      return p.time;
    case POSITION_TIME_MSC:
      return p.timeMsc != 0 ? p.timeMsc : p.time * 1000;
  }
  return 0;
}

// ---- history: HistorySelect copies the deals and orders of a period ---------------------
bool HistorySelect(datetime from, datetime to) {
  S().historyDeals.clear();
  S().historyOrders.clear();
  for (const shim::Deal& d : shim::ShownDeals())
    if (d.time >= from && d.time <= to) S().historyDeals.push_back(d);
  for (const shim::HistoryOrder& o : shim::ShownOrders())
    if (o.time >= from && o.time <= to) S().historyOrders.push_back(o);
  return true;
}
int HistoryDealsTotal() {
  return static_cast<int>(S().historyDeals.size());
}
ulong HistoryDealGetTicket(int index) {
  const std::vector<shim::Deal>& d = S().historyDeals;
  return index >= 0 && index < static_cast<int>(d.size()) ? d[static_cast<size_t>(index)].ticket
                                                          : 0;
}
static const shim::Deal* SelectedDeal(ulong ticket) {
  for (const shim::Deal& d : S().historyDeals)
    if (d.ticket == ticket) return &d;
  return nullptr;
}
double HistoryDealGetDouble(ulong ticket, ENUM_DEAL_PROPERTY_DOUBLE prop) {
  const shim::Deal* d = SelectedDeal(ticket);
  if (!d) return 0;
  switch (prop) {
    case DEAL_VOLUME:
      return d->volume;
    case DEAL_PRICE:
      return d->price;
    case DEAL_PROFIT:
      return d->profit;
    case DEAL_SWAP:
      return d->swap;
    case DEAL_COMMISSION:
      return d->commission;
    case DEAL_FEE:
      return d->fee;
  }
  return 0;
}
long HistoryDealGetInteger(ulong ticket, ENUM_DEAL_PROPERTY_INTEGER prop) {
  const shim::Deal* d = SelectedDeal(ticket);
  if (!d) return 0;
  switch (prop) {
    case DEAL_ORDER:
      return static_cast<long>(d->order);
    case DEAL_TIME:
      return d->time;
    case DEAL_TYPE:
      return d->type;
    case DEAL_ENTRY:
      return d->entry;
    case DEAL_MAGIC:
      return d->magic;
    case DEAL_POSITION_ID:
      return static_cast<long>(d->positionId);
  }
  return 0;
}
string HistoryDealGetString(ulong ticket, ENUM_DEAL_PROPERTY_STRING prop) {
  const shim::Deal* d = SelectedDeal(ticket);
  if (!d) return "";
  return prop == DEAL_COMMENT ? d->comment : d->symbol;
}
int HistoryOrdersTotal() {
  return static_cast<int>(S().historyOrders.size());
}
ulong HistoryOrderGetTicket(int index) {
  const std::vector<shim::HistoryOrder>& o = S().historyOrders;
  return index >= 0 && index < static_cast<int>(o.size()) ? o[static_cast<size_t>(index)].ticket
                                                          : 0;
}
static const shim::HistoryOrder* SelectedOrder(ulong ticket) {
  for (const shim::HistoryOrder& o : S().historyOrders)
    if (o.ticket == ticket) return &o;
  return nullptr;
}
long HistoryOrderGetInteger(ulong ticket, ENUM_ORDER_PROPERTY_INTEGER prop) {
  const shim::HistoryOrder* o = SelectedOrder(ticket);
  if (!o) return 0;
  switch (prop) {
    case ORDER_TIME_SETUP:
      return o->time;
    case ORDER_TYPE:
      return o->type;
    case ORDER_POSITION_ID:
      return static_cast<long>(o->positionId);
    case ORDER_MAGIC:
      return o->magic;
  }
  return 0;
}
string HistoryOrderGetString(ulong ticket, ENUM_ORDER_PROPERTY_STRING prop) {
  const shim::HistoryOrder* o = SelectedOrder(ticket);
  if (!o) return "";
  return prop == ORDER_COMMENT ? o->comment : o->symbol;
}
void ZeroMemory(MqlTradeRequest& r) {
  r = MqlTradeRequest();
}
void ZeroMemory(MqlTradeResult& r) {
  r = MqlTradeResult();
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
  if (!shim::Find(sym)) return 0;
  long secs = PeriodSecondsOf(tf);
  datetime now = TimeCurrent();
  return now - now % secs - shift * secs;
}
static double BarClose(const string& sym, ENUM_TIMEFRAMES tf, int shift) {
  shim::Symbol* s = shim::Find(sym);
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
long ChartGetInteger(long, ENUM_CHART_PROPERTY_INTEGER prop) {
  if (prop == CHART_WINDOW_HANDLE) return S().chartHandle;
  return S().chartOnTop ? 1 : 0;
}
bool EventSetMillisecondTimer(int) {
  return !S().timerFails;
}
void EventKillTimer() {}
