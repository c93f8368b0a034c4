// A simulated terminal for the companion's tests: a fresh common folder, four symbols with
// different digits, tick values and volume steps, and helpers to drop bridge files. The
// terminal is as strict as a real one: its local time, UTC, server time and file clock all
// differ, fills show in the position list only a moment after OrderSend, and the tick
// count moves only when a test (or the advisor's Sleep) moves it.
#pragma once

#include <stdlib.h>
#include <utime.h>

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/stat.h>

// The shim declares the MQL5 built-ins the include files rely on, so it comes first.
#include "mql5_shim.h"
// clang-format off
#include "QV_Companion.mqh"
// clang-format on

class CompanionTest : public ::testing::Test {
 protected:
  std::string root;

  void SetUp() override {
    char tmpl[] = "/tmp/qv_companion_XXXXXX";
    root = mkdtemp(tmpl);
    shim::Reset(root);
    mkdir((root + "/Quorvale").c_str(), 0755);
    Strict();
    Catalog();
  }

  // Four symbols with different digits, tick values and volume steps, in the terminal now
  // in use.
  static void Catalog() {
    shim::Symbol eur;  // 5 digits, tick 0.00001 worth 1.00 per lot
    shim::AddSymbol("EURUSD", eur);
    shim::SetQuote("EURUSD", 1.08500, 1.08510);
    shim::Symbol jpy = eur;
    jpy.digits = 3;
    jpy.point = jpy.tickSize = 0.001;
    jpy.tickValue = 0.66667;
    shim::AddSymbol("USDJPY", jpy);
    shim::SetQuote("USDJPY", 150.000, 150.010);
    shim::Symbol gold = eur;
    gold.digits = 2;
    gold.point = gold.tickSize = 0.01;
    gold.tickValue = 1.0;
    gold.contract = 100;
    shim::AddSymbol("XAUUSD", gold);
    shim::SetQuote("XAUUSD", 2341.20, 2341.50);
    shim::Symbol us500 = eur;  // quoted in hundredths, traded in quarter points
    us500.digits = 2;
    us500.point = 0.01;
    us500.tickSize = 0.25;
    us500.tickValue = 12.5;
    us500.volMin = 0.1;
    us500.volStep = 0.1;
    us500.volMax = 50;
    shim::AddSymbol("US500", us500);
    shim::SetQuote("US500", 5000.00, 5000.50);
  }

  // Another terminal on the same common folder, logged in to its own account; now in use.
  static int Terminal(long login) {
    int t = shim::AddTerminal();
    shim::Use(t);
    shim::S().login = login;
    Strict();
    Catalog();
    return t;
  }

  void TearDown() override { std::system(("rm -rf '" + root + "'").c_str()); }

  // The clocks of a PC at UTC+2 on a broker at UTC+3, a file clock on none of them, and
  // fills that settle 40 ms after OrderSend returns; for the terminal now in use.
  static void Strict() {
    shim::M().localOffset = 2 * 3600;
    shim::M().fileOffset = -5 * 3600;
    shim::M().fakeTick = 5000000;
    shim::S().serverOffset = 3 * 3600;
    shim::S().settleMs = 40;
  }

  static QvSettings Settings(const std::string& chartSymbol) {
    QvSettings s;
    s.chartSymbol = chartSymbol;
    s.magic = 1;
    s.deviationPoints = 10;
    s.maxRetries = 3;
    s.retryDelayMs = 0;
    s.distancesInPoints = false;
    s.maxRiskPct = 5;
    s.maxLots = 10;
    s.maxSpreadPts = 0;
    s.maxDailyLossPct = 0;
    s.hourStart = -1;
    s.hourEnd = -1;
    return s;
  }

  static QvChart Chart(long hwnd, const std::string& symbol) {
    QvChart c;
    c.hwnd = hwnd;
    c.symbol = symbol;
    c.period = PERIOD_H1;
    c.theme = "dark";
    c.userId = "trader7";
    c.mode = "WORKSTATION";
    c.journalUrl = "";
    return c;
  }

  std::string Path(const std::string& name) const { return root + "/Quorvale/" + name; }

  void Put(const std::string& name, const std::string& text, long ageSeconds = 0) {
    std::string tmp = Path("tmp_put");
    std::ofstream(tmp, std::ios::binary) << text;
    // Dated on the shim's file clock, which the advisor's Sleep and Advance move on.
    struct utimbuf t;
    t.actime = t.modtime = time(nullptr) + static_cast<time_t>(shim::M().slept / 1000) - ageSeconds;
    utime(tmp.c_str(), &t);
    rename(tmp.c_str(), Path(name).c_str());
  }

  std::string Get(const std::string& name) const {
    std::ifstream in(Path(name), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }

  bool Has(const std::string& name) const {
    struct stat st;
    return stat(Path(name).c_str(), &st) == 0;
  }

  std::string Result(const std::string& id, const std::string& key) const {
    string v;
    if (!QvText::KeyValue(Get("QV_TradeResult_" + id + ".txt"), key, v)) return "<none>";
    return v;
  }

  void UseOrderFiles() { Put("QV_Protocol.txt", "ORDER_FILES=1"); }
};
