// Just the MQL5 built-ins the companion's include files use, for a native build: the
// common folder mapped to a real directory, symbol and account properties, positions and
// a paper trade server that can requote, reject and fill. Behaviour follows the MQL5
// reference; nothing here is used by the product on Windows.
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
  SYMBOL_FILLING_MODE,
  SYMBOL_TRADE_MODE
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
#define SYMBOL_TRADE_MODE_FULL 4

enum ENUM_ACCOUNT_INFO_DOUBLE { ACCOUNT_BALANCE, ACCOUNT_EQUITY };
enum ENUM_ACCOUNT_INFO_INTEGER { ACCOUNT_LOGIN };
enum ENUM_ACCOUNT_INFO_STRING { ACCOUNT_CURRENCY };
enum ENUM_TERMINAL_INFO_INTEGER { TERMINAL_TRADE_ALLOWED };
enum ENUM_MQL_INFO_INTEGER { MQL_TRADE_ALLOWED };

enum ENUM_POSITION_PROPERTY_INTEGER { POSITION_TYPE, POSITION_MAGIC, POSITION_TIME };
enum ENUM_POSITION_PROPERTY_DOUBLE {
  POSITION_VOLUME,
  POSITION_PRICE_OPEN,
  POSITION_PRICE_CURRENT,
  POSITION_SL,
  POSITION_TP,
  POSITION_PROFIT,
  POSITION_SWAP
};
enum ENUM_POSITION_PROPERTY_STRING { POSITION_SYMBOL };
enum ENUM_POSITION_TYPE { POSITION_TYPE_BUY, POSITION_TYPE_SELL };
enum ENUM_DEAL_PROPERTY_DOUBLE { DEAL_PROFIT, DEAL_SWAP, DEAL_COMMISSION };

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
#define TRADE_RETCODE_INVALID_FILL 10030
#define TRADE_RETCODE_CONNECTION 10031
#define TRADE_RETCODE_LIMIT_VOLUME 10034

#define REASON_PROGRAM 0
#define REASON_REMOVE 1
#define REASON_RECOMPILE 2
#define REASON_CHARTCHANGE 3
#define REASON_CHARTCLOSE 4
#define REASON_PARAMETERS 5
#define REASON_ACCOUNT 6
#define REASON_TEMPLATE 7
#define REASON_CLOSE 9

#define CHARTEVENT_KEYDOWN 0
enum ENUM_CHART_PROPERTY_INTEGER { CHART_WINDOW_HANDLE, CHART_BRING_TO_TOP };
#define TIME_DATE 1
#define TIME_MINUTES 2

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
double StringToDouble(const string& s);
long StringToInteger(const string& s);
string DoubleToString(double v, int digits = 8);
string IntegerToString(long v);
string TimeToString(datetime t, int mode = TIME_DATE | TIME_MINUTES);
void Print(const string& s);
void Comment(const string& s);
int GetLastError();
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
void ZeroMemory(MqlTradeRequest& r);
void ZeroMemory(MqlTradeResult& r);
bool OrderSend(const MqlTradeRequest& req, MqlTradeResult& res);
datetime iTime(const string& sym, ENUM_TIMEFRAMES tf, int shift);
double iHigh(const string& sym, ENUM_TIMEFRAMES tf, int shift);
double iLow(const string& sym, ENUM_TIMEFRAMES tf, int shift);
double iClose(const string& sym, ENUM_TIMEFRAMES tf, int shift);
long ChartGetInteger(long chart, ENUM_CHART_PROPERTY_INTEGER prop);

// ---- control of the simulated terminal (native only) --------------------------------
namespace shim {

struct Symbol {
  int digits = 5;
  double point = 0.00001, tickSize = 0.00001, tickValue = 1.0;
  double volMin = 0.01, volMax = 100, volStep = 0.01, contract = 100000;
  long stopsLevel = 0, filling = SYMBOL_FILLING_FOK, tradeMode = SYMBOL_TRADE_MODE_FULL;
  double bid = 0, ask = 0;
};

struct Position {
  ulong ticket;
  string symbol;
  bool buy;
  double volume, open, sl, tp;
  long magic;
  datetime time;
};

struct Deal {
  ulong ticket;
  datetime time;
  double profit;
};

struct State {
  string commonDir;  // the real directory behind FILE_COMMON
  std::map<string, Symbol> symbols;
  std::vector<Position> positions;
  std::vector<Deal> deals;
  double balance = 10000;
  long login = 5550001;
  bool tradeAllowed = true;
  datetime fakeTime = 0;     // 0: the real clock
  ulong fakeTick = 0;        // 0: the real tick count
  std::vector<uint> script;  // retcodes answered before the normal fill, in order
  int sends = 0;
  std::vector<string> log;
  string comment;
  ulong nextTicket = 1000;
  int selected = -1;
  bool sessionsAlwaysOpen = true;
  bool echo = false;
};

State& S();
void Reset(const string& commonDir);
void AddSymbol(const string& name, const Symbol& symbol);
void SetQuote(const string& name, double bid, double ask);
double Floating(const Position& p);
double Equity();
bool LogContains(const string& text);

}  // namespace shim
