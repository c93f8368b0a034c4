// qv_companion: the terminal companion's own logic, run natively against the paper trade
// server of the shim over a real bridge folder (for example a Wine prefix's
// .../Common/Files/Quorvale), so road tests and the demo see the advisor's decisions.
//
//   qv_companion <bridge folder> [--chart HWND] [--symbol SYM] [--period H1|M15|...]
//                [--mode WORKSTATION|HEADLESS_VPS] [--seconds N] [--requotes N]
//                [--reject RETCODE] [--keep-overlay] [--orders-only] [--quotes DIR]
//                [--login N] [--settle-ms N] [--symbols SYM,SYM,...]
//
// --login N: the paper account's login (5550001), so two runners over one folder are two
// accounts. --settle-ms N: fills show in the position list N ms after OrderSend (0).
// --symbols: more symbols the paper server trades beyond its catalog, each with the contract
// and quote an unknown chart symbol gets, so a test can tell its orders apart by symbol.
//
// --quotes DIR: the paper server's prices follow DIR/<SYMBOL>.txt ("bid ask"), written by
// whoever draws the chart (the simulator, the demo), so the chart, the snapshot and the
// fills all show one price; a symbol without its file keeps the catalog's quote.
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <sys/stat.h>
#include <thread>

// The shim declares the MQL5 built-ins the include files rely on, so it comes first.
#include "mql5_shim.h"
// clang-format off
#include "QV_Companion.mqh"
// clang-format on

namespace {
volatile sig_atomic_t g_stop = 0;
void OnSignal(int) {
  g_stop = 1;
}

void AddCatalog() {
  shim::Symbol fx;  // 5 digits, 100000 units
  shim::AddSymbol("EURUSD", fx);
  shim::SetQuote("EURUSD", 1.08500, 1.08512);
  shim::AddSymbol("GBPUSD", fx);
  shim::SetQuote("GBPUSD", 1.27000, 1.27015);
  shim::Symbol jpy = fx;
  jpy.digits = 3;
  jpy.point = jpy.tickSize = 0.001;
  jpy.tickValue = 0.66667;
  shim::AddSymbol("USDJPY", jpy);
  shim::SetQuote("USDJPY", 150.000, 150.012);
  shim::Symbol gold = fx;
  gold.digits = 2;
  gold.point = gold.tickSize = 0.01;
  gold.tickValue = 1.0;
  gold.contract = 100;
  shim::AddSymbol("XAUUSD", gold);
  shim::SetQuote("XAUUSD", 2341.20, 2341.50);
  shim::Symbol index = fx;
  index.digits = 1;
  index.point = index.tickSize = 0.1;
  index.tickValue = 0.1;
  index.contract = 1;
  index.volMin = index.volStep = 0.1;
  shim::AddSymbol("NAS100", index);
  shim::SetQuote("NAS100", 18250.0, 18251.0);
  shim::AddSymbol("NDX", index);
  shim::SetQuote("NDX", 18250.0, 18251.0);
  shim::Symbol btc = gold;
  btc.contract = 1;
  btc.tickValue = 0.01;
  shim::AddSymbol("BTCUSD", btc);
  shim::SetQuote("BTCUSD", 64000.00, 64025.00);
}

// Last change time (ns) of each quote file read, so an unchanged file is not read again.
std::map<std::string, long long> g_quoteSeen;

// A symbol outside the catalog: a plain 5-digit contract at a fixed quote.
void AddPlainSymbol(const std::string& name) {
  if (name.empty() || shim::S().symbols.count(name) != 0) return;
  shim::AddSymbol(name, shim::Symbol());
  shim::SetQuote(name, 1.10000, 1.10012);
}

void AddSymbolList(const std::string& list) {
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    AddPlainSymbol(list.substr(start, comma - start));
    start = comma + 1;
  }
}

void FollowQuotes(const std::string& dir) {
  for (auto& entry : shim::S().symbols) {
    std::string file = dir + "/" + entry.first + ".txt";
    struct stat st;
    if (stat(file.c_str(), &st) != 0) continue;
    long long changed =
        static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    auto seen = g_quoteSeen.find(entry.first);
    if (seen != g_quoteSeen.end() && seen->second == changed) continue;
    std::ifstream in(file);
    double bid = 0, ask = 0;
    if (!(in >> bid >> ask) || bid <= 0 || ask < bid) {
      std::cerr << "qv_companion: ignored quote file " << file << "\n";
      g_quoteSeen[entry.first] = changed;
      continue;
    }
    g_quoteSeen[entry.first] = changed;
    shim::SetQuote(entry.first, bid, ask);
  }
}

int PeriodOf(const std::string& p) {
  if (p == "M1") return PERIOD_M1;
  if (p == "M5") return PERIOD_M5;
  if (p == "M15") return PERIOD_M15;
  if (p == "M30") return PERIOD_M30;
  if (p == "H4") return PERIOD_H4;
  if (p == "D1") return PERIOD_D1;
  return PERIOD_H1;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strncmp(argv[1], "--", 2) == 0) {
    std::cerr
        << "usage: qv_companion <bridge folder> [--chart HWND] [--symbol SYM] "
           "[--period H1] [--mode WORKSTATION|HEADLESS_VPS] [--seconds N] "
           "[--requotes N] [--reject RETCODE] [--keep-overlay] [--orders-only] [--quotes DIR] "
           "[--login N] [--settle-ms N] [--symbols SYM,SYM,...]\n";
    return 2;
  }
  std::string bridge = argv[1];
  while (bridge.size() > 1 && bridge.back() == '/') bridge.pop_back();
  size_t slash = bridge.rfind('/');
  if (slash == std::string::npos || bridge.substr(slash + 1) != "Quorvale") {
    std::cerr << "qv_companion: the bridge folder must be a path ending in /Quorvale\n";
    return 2;
  }
  shim::Reset(bridge.substr(0, slash));
  shim::S().echo = true;
  shim::S().realSleep = true;
  AddCatalog();

  QvChart chart;
  chart.hwnd = 424242;
  chart.symbol = "XAUUSD";
  chart.period = PERIOD_H1;
  chart.theme = "dark";
  chart.userId = "MQL5_MARKET_EDITION";
  chart.mode = "WORKSTATION";
  chart.journalUrl = "";
  double seconds = 0;
  bool keepOverlay = false;
  bool ordersOnly = false;
  std::string quotes;
  for (int i = 2; i < argc; i++) {
    std::string a = argv[i];
    std::string v = i + 1 < argc ? argv[i + 1] : "";
    if (a == "--keep-overlay") {
      keepOverlay = true;
      continue;
    }
    if (a == "--orders-only") {
      ordersOnly = true;
      continue;
    }
    if (v.empty()) {
      std::cerr << "qv_companion: " << a << " needs a value\n";
      return 2;
    }
    i++;
    if (a == "--chart")
      chart.hwnd = std::atol(v.c_str());
    else if (a == "--symbol")
      chart.symbol = v;
    else if (a == "--period")
      chart.period = PeriodOf(v);
    else if (a == "--mode")
      chart.mode = v;
    else if (a == "--quotes")
      quotes = v;
    else if (a == "--login")
      shim::S().login = std::atol(v.c_str());
    else if (a == "--symbols")
      AddSymbolList(v);
    else if (a == "--settle-ms")
      shim::S().settleMs = static_cast<ulong>(std::atol(v.c_str()));
    else if (a == "--seconds")
      seconds = std::atof(v.c_str());
    else if (a == "--requotes")
      for (int n = std::atoi(v.c_str()); n > 0; n--)
        shim::S().script.push_back(TRADE_RETCODE_REQUOTE);
    else if (a == "--reject")
      shim::S().script.push_back(static_cast<uint>(std::atoi(v.c_str())));
    else {
      std::cerr << "qv_companion: unknown option " << a << "\n";
      return 2;
    }
  }
  AddPlainSymbol(chart.symbol);
  signal(SIGINT, OnSignal);
  signal(SIGTERM, OnSignal);

  QvSettings set;
  set.chartSymbol = chart.symbol;
  set.magic = 770077;
  set.deviationPoints = 20;
  set.maxRetries = 3;
  set.retryDelayMs = 100;
  set.distancesInPoints = false;
  set.maxRiskPct = 5.0;
  set.maxLots = 5.0;
  set.maxSpreadPts = 0;
  set.maxDailyLossPct = 0;
  set.hourStart = -1;
  set.hourEnd = -1;
  if (!quotes.empty()) FollowQuotes(quotes);
  QvCompanion companion;
  if (ordersOnly) {
    companion.StartOrders(chart, set);
    companion.WritePositions(true);
  } else {
    companion.Init(chart, set);
  }
  std::cout << "qv_companion: chart " << chart.hwnd << " " << chart.symbol << " on " << bridge
            << " for account " << shim::S().login << std::endl;
  auto start = std::chrono::steady_clock::now();
  auto lastQuotes = start;
  while (!g_stop) {
    if (!quotes.empty() &&
        std::chrono::steady_clock::now() - lastQuotes >= std::chrono::milliseconds(100)) {
      lastQuotes = std::chrono::steady_clock::now();
      FollowQuotes(quotes);
    }
    if (ordersOnly)
      companion.TimerOrders();
    else
      companion.Timer();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (seconds > 0 && elapsed >= seconds) break;
  }
  // Whoever launched the overlay also ends it: an orders-only run sends no kill request.
  companion.Deinit(keepOverlay || ordersOnly ? REASON_CHARTCHANGE : REASON_REMOVE);
  // No companion runs on the chart any more, overlay kept or not: the workspace must not
  // route the chart's orders to this account or keep the slot for it.
  companion.m_reg.Forget(chart.hwnd);
  std::cout << "qv_companion: stopped" << std::endl;
  return 0;
}
