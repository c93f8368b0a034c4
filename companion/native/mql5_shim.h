// Just the MQL5 built-ins the companion's include files use, for a native build: the
// common folder mapped to a real directory, symbol and account properties, positions and
// a paper trade server. Wherever the companion depends on a behaviour the shim is at least
// as strict as a terminal: fills settle a little after OrderSend returns, netting and
// hedging accounts, FIFO closes, filling policies by execution mode, stops and freeze
// levels, trade permissions, balance and credit deals, local, UTC, server and file clocks
// that all differ, renames that fail while a file is open, a sticky last error, several
// terminals (each with its own account) over one common folder. Behaviour follows the
// MQL5 reference; nothing here is used by the product on Windows.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

typedef std::string string;
typedef unsigned char uchar;
typedef unsigned short ushort;
typedef unsigned int uint;
typedef unsigned long ulong;  // 64-bit here, as glibc already names it
typedef long long datetime;

#define INVALID_HANDLE (-1)
#define CP_UTF8 65001
#define WHOLE_ARRAY (-1)

enum {
  FILE_READ = 1,
  FILE_WRITE = 2,
  FILE_BIN = 4,
  FILE_CSV = 8,
  FILE_TXT = 16,
  FILE_ANSI = 32,
  FILE_UNICODE = 64,
  FILE_SHARE_READ = 128,
  FILE_SHARE_WRITE = 256,
  FILE_REWRITE = 512,
  FILE_COMMON = 4096
};
enum ENUM_FILE_PROPERTY_INTEGER { FILE_EXISTS, FILE_CREATE_DATE, FILE_MODIFY_DATE, FILE_SIZE };

// Runtime error codes (GetLastError) the shim sets.
#define ERR_SUCCESS 0
#define ERR_CANNOT_OPEN_FILE 5004
#define ERR_CANNOT_DELETE_FILE 5006
#define ERR_FILE_NOT_EXIST 5019
#define ERR_FILE_CANNOT_REWRITE 5020
#define ERR_TRADE_SEND_FAILED 4756

enum ENUM_TIMEFRAMES {
  PERIOD_CURRENT = 0,
  PERIOD_M1 = 1,
  PERIOD_M5 = 5,
  PERIOD_M15 = 15,
  PERIOD_M30 = 30,
  PERIOD_H1 = 16385,
  PERIOD_H4 = 16388,
  PERIOD_D1 = 16408,
  PERIOD_W1 = 32769,
  PERIOD_MN1 = 49153
};
enum ENUM_DAY_OF_WEEK { SUNDAY, MONDAY, TUESDAY, WEDNESDAY, THURSDAY, FRIDAY, SATURDAY };

enum ENUM_SYMBOL_INFO_INTEGER {
  SYMBOL_DIGITS,
  SYMBOL_TRADE_STOPS_LEVEL,
  SYMBOL_TRADE_FREEZE_LEVEL,
  SYMBOL_FILLING_MODE,
  SYMBOL_TRADE_MODE,
  SYMBOL_TRADE_EXEMODE,
  SYMBOL_SELECT
};
enum ENUM_SYMBOL_INFO_DOUBLE {
  SYMBOL_BID,
  SYMBOL_ASK,
  SYMBOL_POINT,
  SYMBOL_TRADE_TICK_SIZE,
  SYMBOL_TRADE_TICK_VALUE,
  SYMBOL_VOLUME_MIN,
  SYMBOL_VOLUME_MAX,
  SYMBOL_VOLUME_STEP,
  SYMBOL_TRADE_CONTRACT_SIZE
};
#define SYMBOL_FILLING_FOK 1
#define SYMBOL_FILLING_IOC 2
#define SYMBOL_TRADE_MODE_DISABLED 0
#define SYMBOL_TRADE_MODE_LONGONLY 1
#define SYMBOL_TRADE_MODE_SHORTONLY 2
#define SYMBOL_TRADE_MODE_CLOSEONLY 3
#define SYMBOL_TRADE_MODE_FULL 4
#define SYMBOL_TRADE_EXECUTION_REQUEST 0
#define SYMBOL_TRADE_EXECUTION_INSTANT 1
#define SYMBOL_TRADE_EXECUTION_MARKET 2
#define SYMBOL_TRADE_EXECUTION_EXCHANGE 3

enum ENUM_ACCOUNT_INFO_DOUBLE { ACCOUNT_BALANCE, ACCOUNT_EQUITY, ACCOUNT_CREDIT };
enum ENUM_ACCOUNT_INFO_INTEGER {
  ACCOUNT_LOGIN,
  ACCOUNT_MARGIN_MODE,
  ACCOUNT_FIFO_CLOSE,
  ACCOUNT_TRADE_ALLOWED,
  ACCOUNT_TRADE_EXPERT
};
enum ENUM_ACCOUNT_INFO_STRING { ACCOUNT_CURRENCY, ACCOUNT_SERVER };
#define ACCOUNT_MARGIN_MODE_RETAIL_NETTING 0
#define ACCOUNT_MARGIN_MODE_EXCHANGE 1
#define ACCOUNT_MARGIN_MODE_RETAIL_HEDGING 2
enum ENUM_TERMINAL_INFO_INTEGER { TERMINAL_TRADE_ALLOWED };
enum ENUM_MQL_INFO_INTEGER { MQL_TRADE_ALLOWED, MQL_TESTER, MQL_OPTIMIZATION, MQL_VISUAL_MODE };

enum ENUM_POSITION_PROPERTY_INTEGER {
  POSITION_TICKET,
  POSITION_TYPE,
  POSITION_MAGIC,
  POSITION_TIME,
  POSITION_TIME_MSC,
  POSITION_IDENTIFIER
};
enum ENUM_POSITION_PROPERTY_DOUBLE {
  POSITION_VOLUME,
  POSITION_PRICE_OPEN,
  POSITION_PRICE_CURRENT,
  POSITION_SL,
  POSITION_TP,
  POSITION_PROFIT,
  POSITION_SWAP
};
enum ENUM_POSITION_PROPERTY_STRING { POSITION_SYMBOL, POSITION_COMMENT };
enum ENUM_POSITION_TYPE { POSITION_TYPE_BUY, POSITION_TYPE_SELL };

enum ENUM_DEAL_PROPERTY_INTEGER {
  DEAL_ORDER,
  DEAL_TIME,
  DEAL_TYPE,
  DEAL_ENTRY,
  DEAL_MAGIC,
  DEAL_POSITION_ID
};
enum ENUM_DEAL_PROPERTY_DOUBLE {
  DEAL_VOLUME,
  DEAL_PRICE,
  DEAL_PROFIT,
  DEAL_SWAP,
  DEAL_COMMISSION,
  DEAL_FEE
};
enum ENUM_DEAL_PROPERTY_STRING { DEAL_SYMBOL, DEAL_COMMENT };
enum ENUM_DEAL_TYPE {
  DEAL_TYPE_BUY,
  DEAL_TYPE_SELL,
  DEAL_TYPE_BALANCE,
  DEAL_TYPE_CREDIT,
  DEAL_TYPE_CHARGE,
  DEAL_TYPE_CORRECTION,
  DEAL_TYPE_BONUS,
  DEAL_TYPE_COMMISSION
};
enum ENUM_DEAL_ENTRY { DEAL_ENTRY_IN, DEAL_ENTRY_OUT, DEAL_ENTRY_INOUT, DEAL_ENTRY_OUT_BY };
enum ENUM_ORDER_PROPERTY_INTEGER { ORDER_TIME_SETUP, ORDER_TYPE, ORDER_POSITION_ID, ORDER_MAGIC };
enum ENUM_ORDER_PROPERTY_STRING { ORDER_SYMBOL, ORDER_COMMENT };

enum ENUM_TRADE_REQUEST_ACTIONS { TRADE_ACTION_DEAL = 1, TRADE_ACTION_SLTP = 6 };
enum ENUM_ORDER_TYPE { ORDER_TYPE_BUY, ORDER_TYPE_SELL };
enum ENUM_ORDER_TYPE_FILLING { ORDER_FILLING_FOK, ORDER_FILLING_IOC, ORDER_FILLING_RETURN };

#define TRADE_RETCODE_REQUOTE 10004
#define TRADE_RETCODE_REJECT 10006
#define TRADE_RETCODE_CANCEL 10007
#define TRADE_RETCODE_PLACED 10008
#define TRADE_RETCODE_DONE 10009
#define TRADE_RETCODE_DONE_PARTIAL 10010
#define TRADE_RETCODE_ERROR 10011
#define TRADE_RETCODE_TIMEOUT 10012
#define TRADE_RETCODE_INVALID 10013
#define TRADE_RETCODE_INVALID_VOLUME 10014
#define TRADE_RETCODE_INVALID_PRICE 10015
#define TRADE_RETCODE_INVALID_STOPS 10016
#define TRADE_RETCODE_TRADE_DISABLED 10017
#define TRADE_RETCODE_MARKET_CLOSED 10018
#define TRADE_RETCODE_NO_MONEY 10019
#define TRADE_RETCODE_PRICE_CHANGED 10020
#define TRADE_RETCODE_PRICE_OFF 10021
#define TRADE_RETCODE_TOO_MANY_REQUESTS 10024
#define TRADE_RETCODE_NO_CHANGES 10025
#define TRADE_RETCODE_SERVER_DISABLES_AT 10026
#define TRADE_RETCODE_CLIENT_DISABLES_AT 10027
#define TRADE_RETCODE_LOCKED 10028
#define TRADE_RETCODE_FROZEN 10029
#define TRADE_RETCODE_INVALID_FILL 10030
#define TRADE_RETCODE_CONNECTION 10031
#define TRADE_RETCODE_LIMIT_VOLUME 10034
#define TRADE_RETCODE_POSITION_CLOSED 10036
#define TRADE_RETCODE_INVALID_CLOSE_VOLUME 10038
#define TRADE_RETCODE_LIMIT_POSITIONS 10040
#define TRADE_RETCODE_LONG_ONLY 10042
#define TRADE_RETCODE_SHORT_ONLY 10043
#define TRADE_RETCODE_CLOSE_ONLY 10044
#define TRADE_RETCODE_FIFO_CLOSE 10045
#define TRADE_RETCODE_HEDGE_PROHIBITED 10046

#define REASON_PROGRAM 0
#define REASON_REMOVE 1
#define REASON_RECOMPILE 2
#define REASON_CHARTCHANGE 3
#define REASON_CHARTCLOSE 4
#define REASON_PARAMETERS 5
#define REASON_ACCOUNT 6
#define REASON_TEMPLATE 7
#define REASON_CLOSE 9

#define INIT_SUCCEEDED 0
#define INIT_FAILED 1

#define CHARTEVENT_KEYDOWN 0
enum ENUM_CHART_PROPERTY_INTEGER { CHART_WINDOW_HANDLE, CHART_BRING_TO_TOP };
#define TIME_DATE 1
#define TIME_MINUTES 2
#define TIME_SECONDS 4

struct MqlTradeRequest {
  ENUM_TRADE_REQUEST_ACTIONS action;
  ulong magic;
  ulong order;
  string symbol;
  double volume;
  double price;
  double sl;
  double tp;
  ulong deviation;
  ENUM_ORDER_TYPE type;
  ENUM_ORDER_TYPE_FILLING type_filling;
  string comment;
  ulong position;
};
struct MqlTradeResult {
  uint retcode;
  ulong deal;
  ulong order;
  double volume;
  double price;
  double bid;
  double ask;
  string comment;
};
struct MqlTradeTransaction {
  ulong deal;
  ulong order;
  string symbol;
};
struct MqlDateTime {
  int year, mon, day, hour, min, sec, day_of_week, day_of_year;
};

// Strings
int StringLen(const string& s);
string StringSubstr(const string& s, int start, int length = -1);
int StringFind(const string& s, const string& what, int start = 0);
ushort StringGetCharacter(const string& s, int pos);
bool StringToUpper(string& s);
int StringReplace(string& s, const string& find, const string& repl);
int StringCompare(const string& a, const string& b, bool caseSensitive = true);
double StringToDouble(const string& s);
long StringToInteger(const string& s);
string DoubleToString(double v, int digits = 8);
string IntegerToString(long v);
string ShortToString(ushort code);  // one UTF-16 code unit (UTF-8 in the shim's strings)
string TimeToString(datetime t, int mode = TIME_DATE | TIME_MINUTES);
void Print(const string& s);
void Comment(const string& s);
int GetLastError();
void ResetLastError();
void Sleep(int ms);

// Math
double MathAbs(double v);
double MathRound(double v);
double MathFloor(double v);
double MathMax(double a, double b);
double MathMin(double a, double b);
double NormalizeDouble(double v, int digits);

// Time
datetime TimeCurrent();
datetime TimeLocal();
datetime TimeGMT();
ulong GetTickCount64();
bool TimeToStruct(datetime t, MqlDateTime& out);

// Files (FILE_COMMON only)
bool FileIsExist(const string& name, int flags = 0);
long FileGetInteger(const string& name, ENUM_FILE_PROPERTY_INTEGER prop, bool common = false);
int FileOpen(const string& name, int flags, int delimiter = '\t', uint codepage = 0);
string FileReadString(int h, int length = -1);
uint FileWriteString(int h, const string& text, int length = -1);
void FileClose(int h);
bool FileMove(const string& from, int commonFlag, const string& to, int modeFlags);
bool FileDelete(const string& name, int flags = 0);
long FileFindFirst(const string& filter, string& name, int flags = 0);
bool FileFindNext(long h, string& name);
void FileFindClose(long h);

// Market, account, positions, trading
long SymbolInfoInteger(const string& sym, ENUM_SYMBOL_INFO_INTEGER prop);
double SymbolInfoDouble(const string& sym, ENUM_SYMBOL_INFO_DOUBLE prop);
bool SymbolSelect(const string& sym, bool select);
int SymbolsTotal(bool selected);
string SymbolName(int pos, bool selected);
bool SymbolInfoSessionTrade(const string& sym, ENUM_DAY_OF_WEEK day, uint index, datetime& from,
                            datetime& to);
double AccountInfoDouble(ENUM_ACCOUNT_INFO_DOUBLE prop);
long AccountInfoInteger(ENUM_ACCOUNT_INFO_INTEGER prop);
string AccountInfoString(ENUM_ACCOUNT_INFO_STRING prop);
long TerminalInfoInteger(ENUM_TERMINAL_INFO_INTEGER prop);
long MQLInfoInteger(ENUM_MQL_INFO_INTEGER prop);
int PositionsTotal();
ulong PositionGetTicket(int index);
bool PositionSelectByTicket(ulong ticket);
string PositionGetString(ENUM_POSITION_PROPERTY_STRING prop);
double PositionGetDouble(ENUM_POSITION_PROPERTY_DOUBLE prop);
long PositionGetInteger(ENUM_POSITION_PROPERTY_INTEGER prop);
bool HistorySelect(datetime from, datetime to);
int HistoryDealsTotal();
ulong HistoryDealGetTicket(int index);
double HistoryDealGetDouble(ulong ticket, ENUM_DEAL_PROPERTY_DOUBLE prop);
long HistoryDealGetInteger(ulong ticket, ENUM_DEAL_PROPERTY_INTEGER prop);
string HistoryDealGetString(ulong ticket, ENUM_DEAL_PROPERTY_STRING prop);
int HistoryOrdersTotal();
ulong HistoryOrderGetTicket(int index);
long HistoryOrderGetInteger(ulong ticket, ENUM_ORDER_PROPERTY_INTEGER prop);
string HistoryOrderGetString(ulong ticket, ENUM_ORDER_PROPERTY_STRING prop);
void ZeroMemory(MqlTradeRequest& r);
void ZeroMemory(MqlTradeResult& r);
bool OrderSend(const MqlTradeRequest& req, MqlTradeResult& res);
datetime iTime(const string& sym, ENUM_TIMEFRAMES tf, int shift);
double iHigh(const string& sym, ENUM_TIMEFRAMES tf, int shift);
double iLow(const string& sym, ENUM_TIMEFRAMES tf, int shift);
double iClose(const string& sym, ENUM_TIMEFRAMES tf, int shift);
long ChartGetInteger(long chart, ENUM_CHART_PROPERTY_INTEGER prop);
bool EventSetMillisecondTimer(int ms);
void EventKillTimer();

// ---- control of the simulated terminals (native only) -------------------------------
namespace shim {

struct Symbol {
  int digits = 5;
  double point = 0.00001, tickSize = 0.00001, tickValue = 1.0;
  double volMin = 0.01, volMax = 100, volStep = 0.01, contract = 100000;
  long stopsLevel = 0, freezeLevel = 0;
  long filling = SYMBOL_FILLING_FOK, tradeMode = SYMBOL_TRADE_MODE_FULL;
  long exemode = SYMBOL_TRADE_EXECUTION_MARKET;
  bool marketWatch = true;      // only Market Watch symbols have quotes
  double commissionPerLot = 0;  // charged on every deal, as DEAL_COMMISSION
  double feePerDeal = 0;        // charged on every deal, as DEAL_FEE
  double bid = 0, ask = 0;
};

struct Position {
  ulong ticket;
  string symbol;
  bool buy;
  double volume, open, sl, tp;
  long magic;
  datetime time;
  long timeMsc = 0;
  string comment;
};

struct Deal {
  ulong ticket = 0;
  datetime time = 0;  // server time
  double profit = 0;
  ENUM_DEAL_TYPE type = DEAL_TYPE_BUY;
  ENUM_DEAL_ENTRY entry = DEAL_ENTRY_OUT;
  ulong order = 0, positionId = 0;
  string symbol;
  double volume = 0, price = 0, swap = 0, commission = 0, fee = 0;
  long magic = 0;
  string comment;
};

struct HistoryOrder {
  ulong ticket = 0;
  datetime time = 0;
  ENUM_ORDER_TYPE type = ORDER_TYPE_BUY;
  ulong positionId = 0;
  string symbol;
  long magic = 0;
  string comment;
};

// A fill the server has done but the terminal does not show yet.
struct Settlement {
  ulong dueTick = 0;
  std::vector<Position> positions;  // the position list once settled
  double balance = 0;
  std::vector<Deal> deals;
  std::vector<HistoryOrder> orders;
};

// One terminal: its account on its trade server, its chart and its advisor's runtime.
struct State {
  std::map<string, Symbol> symbols;
  std::vector<Position> positions;
  std::vector<Deal> deals;
  std::vector<HistoryOrder> orders;
  std::vector<Settlement> settling;
  double balance = 10000;
  double credit = 0;
  long login = 5550001;
  string server = "Paper-Server";
  long marginMode = ACCOUNT_MARGIN_MODE_RETAIL_HEDGING;
  bool fifoClose = false;
  bool tradeAllowed = true;         // the terminal's Algo Trading button
  bool mqlTradeAllowed = true;      // the advisor's own "Allow Algo Trading"
  bool accountTradeAllowed = true;  // false when logged in with the investor password
  bool accountTradeExpert = true;   // the broker's permission for advisors
  bool tester = false, optimization = false;
  long serverOffset = 0;  // server time = UTC + this
  ulong settleMs = 0;     // how long after OrderSend a fill shows in positions and history
  size_t commentLimit = 31;
  std::vector<uint> script;  // retcodes answered before the normal fill, in order
  int sends = 0;
  std::vector<MqlTradeRequest> requests;  // every request OrderSend received
  std::vector<string> log;
  string comment;
  ulong nextTicket = 1000;
  bool hasSelected = false;
  Position selected{};             // PositionSelect* copies the position, as the terminal does
  std::vector<Deal> historyDeals;  // HistorySelect's copy
  std::vector<HistoryOrder> historyOrders;
  bool sessionsAlwaysOpen = true;
  bool echo = false;
  bool realSleep = false;  // Sleep waits for real (a live runner), else only moves the tick
  int lastError = 0;
  bool timerFails = false;
  long chartHandle = 0;
  string chartSymbol;
  ENUM_TIMEFRAMES chartPeriod = PERIOD_H1;
  bool chartOnTop = false;
};

// What the terminals of one machine share: the common folder, the clocks, open files.
struct Machine {
  string commonDir;               // the real directory behind FILE_COMMON
  datetime fakeUtc = 0;           // 0: the real clock
  long localOffset = 0;           // local time = UTC + this
  long fileOffset = 0;            // FILE_MODIFY_DATE = the file system's UTC time + this
  ulong fakeTick = 0;             // 0: the real tick count
  ulong slept = 0;                // ms that Sleep moved the tick count on
  bool fileClockStopped = false;  // every file date the same (a broken file clock)
};

Machine& M();
State& S();  // the terminal now in use
void Reset(const string& commonDir);
int AddTerminal();  // another terminal over the same common folder, with its own account
void Use(int terminal);
int Current();
void AddSymbol(const string& name, const Symbol& symbol);
void SetQuote(const string& name, double bid, double ask);
void Advance(ulong ms);  // moves the tick count on: fills settle
void SettleAll();
void Deposit(double amount, const string& comment = "deposit");  // a balance deal
void AddCredit(double amount);                                   // a credit deal
void AddClosedDeal(double profit, double commission = 0, double fee = 0, double swap = 0);
// Keeps a common file open as another program would (without delete sharing): moves and
// deletes of it fail until Release.
void HoldOpen(const string& name);
void Release(const string& name);
double Floating(const Position& p);
double Equity();
bool LogContains(const string& text);
int LogCount(const string& text);

}  // namespace shim
