// Quorvale self-check: a script to run once on a new terminal (drag it onto any chart). It
// tries on this very terminal what the companion relies on and that the MQL5 reference
// leaves open, and says PASS or FAIL per line in the Experts log:
//   - the clock of a fresh common file, beside local time, UTC and server time, and that
//     it moves on with the time (every age the companion measures is one file date against
//     another);
//   - the claim: a rename without FILE_REWRITE wins once and fails once the name is taken;
//     run the script on two terminals at the same time to race them over 50 names;
//   - text with letters outside ASCII written and read back through the companion's own
//     file routines, as UTF-8.
// The README ("The terminal companion", self-check) says what to do on a FAIL.
#property copyright "Quorvale"
#property version "1.00"

#include "QV_Clock.mqh"
#include "QV_Files.mqh"

#define QV_CHECK_RACE 50

int g_checkFailed = 0;

void CheckLine(bool pass, const string what) {
  if (!pass) g_checkFailed++;
  string verdict = pass ? "PASS " : "FAIL ";
  Print("Quorvale self-check: " + verdict + what);
}

string CheckTime(datetime t) { return TimeToString(t, TIME_DATE | TIME_MINUTES | TIME_SECONDS); }

// Which of the terminal's clocks the file date follows, to within two seconds.
string ClockName(long fileDate) {
  if (MathAbs((double)(fileDate - (long)TimeLocal())) <= 2) return "local time";
  if (MathAbs((double)(fileDate - (long)TimeGMT())) <= 2) return "UTC";
  if (MathAbs((double)(fileDate - (long)TimeCurrent())) <= 2) return "server time";
  return "none of the three";
}

void CheckClock(const string tag, QvGate &gate) {
  string name = "SelfCheck_clock_" + tag + ".txt";
  QvClock clock;
  bool written = QvFiles::Write(QV_OWN, name, "first", tag, gate) && clock.Sync(QV_OWN + name);
  long first = clock.m_fileNow;
  Print("Quorvale self-check: file clock " + CheckTime((datetime)first) + ", local time " +
        CheckTime(TimeLocal()) + ", UTC " + CheckTime(TimeGMT()) + ", server time " +
        CheckTime(TimeCurrent()) + ": the file clock runs on " + ClockName(first));
  ulong start = GetTickCount64();
  Sleep(2500);
  bool again = written && QvFiles::Write(QV_OWN, name, "second", tag, gate);
  long second = QvFiles::Modified(QV_OWN + name);
  double waited = (double)(GetTickCount64() - start) / 1000.0;
  double moved = (double)(second - first);
  CheckLine(again && MathAbs(moved - waited) <= 1.5,
            "a file written " + QvText::Num(waited, 1) + " s later is dated " +
                QvText::Num(moved, 0) + " s later (ages of orders and charts are measured so)");
  QvFiles::Delete(QV_OWN + name);
}

void CheckClaim(const string tag) {
  string src = QV_OWN + "SelfCheck_claim_" + tag + ".src";
  string won = QV_OWN + "SelfCheck_claim_" + tag + ".won";
  bool first = QvFiles::CreateExclusive(QV_OWN, "SelfCheck_claim_" + tag + ".src", "1", tag) &&
               QvFiles::Claim(src, won);
  bool remade = QvFiles::CreateExclusive(QV_OWN, "SelfCheck_claim_" + tag + ".src", "2", tag);
  bool second = remade && QvFiles::Claim(src, won);
  CheckLine(first && remade && !second,
            "a rename without FILE_REWRITE wins once and fails while the name is taken");
  QvFiles::Delete(src);
  QvFiles::Delete(won);
  // Racing another terminal that runs this script now: each name is won once at most.
  int wins = 0;
  for (int i = 0; i < QV_CHECK_RACE; i++) {
    string base = "SelfCheck_race_" + QvText::Int(i);
    if (!QvFiles::Exists(QV_OWN + base + ".won"))
      QvFiles::CreateExclusive(QV_OWN, base + ".src", tag, tag);
    if (QvFiles::Claim(QV_OWN + base + ".src", QV_OWN + base + ".won")) {
      wins++;
      QvFiles::CreateExclusive(QV_OWN, base + ".by_" + tag, tag, tag);
    }
  }
  Sleep(1500);
  int doubles = 0;
  for (int i = 0; i < QV_CHECK_RACE; i++) {
    string name = "";
    int winners = 0;
    long h = FileFindFirst(QV_OWN + "SelfCheck_race_" + QvText::Int(i) + ".by_*", name, FILE_COMMON);
    if (h == INVALID_HANDLE) continue;
    do {
      winners++;
    } while (FileFindNext(h, name));
    FileFindClose(h);
    if (winners > 1) doubles++;
  }
  CheckLine(doubles == 0, "claims raced over " + QvText::Int(QV_CHECK_RACE) + " names: " +
                              QvText::Int(wins) + " won here, " + QvText::Int(doubles) +
                              " won twice");
  for (int i = 0; i < QV_CHECK_RACE; i++) {
    string base = QV_OWN + "SelfCheck_race_" + QvText::Int(i);
    QvFiles::Delete(base + ".by_" + tag);
    QvFiles::Delete(base + ".won");
    QvFiles::Delete(base + ".src");
  }
}

void CheckText(const string tag, QvGate &gate) {
  // Built from code points, so the check does not depend on how this file was saved:
  // A, A with diaeresis, euro sign, two CJK ideographs, a Cyrillic letter.
  string text = "A" + ShortToString(0x00C4) + ShortToString(0x20AC) + ShortToString(0x65E5) +
                ShortToString(0x672C) + ShortToString(0x0416) + " ok";
  long utf8Bytes = 1 + 2 + 3 + 3 + 3 + 2 + 3;
  string name = "SelfCheck_text_" + tag + ".txt";
  string back = "";
  bool written = QvFiles::Write(QV_OWN, name, text, tag, gate);
  bool read = QvFiles::Read(QV_OWN + name, 4096, back) == QV_READ_OK;
  long size = QvFiles::Size(QV_OWN + name);
  CheckLine(written && read && back == text && size == utf8Bytes,
            "non-ASCII text comes back as written, stored as UTF-8 (" + QvText::Int(size) +
                " bytes, " + QvText::Int(utf8Bytes) + " expected)");
  QvFiles::Delete(QV_OWN + name);
}

void OnStart() {
  g_checkFailed = 0;
  string tag = QvText::Int(AccountInfoInteger(ACCOUNT_LOGIN)) + "_" +
               QvText::Int((long)(GetTickCount64() % 1000000));
  QvGate gate;
  Print("Quorvale self-check on account " + QvText::Int(AccountInfoInteger(ACCOUNT_LOGIN)) +
        " (" + AccountInfoString(ACCOUNT_SERVER) + ")");
  CheckClock(tag, gate);
  CheckClaim(tag);
  CheckText(tag, gate);
  Print(g_checkFailed == 0 ? "Quorvale self-check: all passed"
                           : "Quorvale self-check: " + QvText::Int(g_checkFailed) +
                                 " failed; see the README, self-check");
}
