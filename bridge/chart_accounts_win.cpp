#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "bridge/bridge_names.h"
#include "bridge/chart_accounts.h"
#include "bridge/file_replace.h"
#include "bridge/order_files.h"
#include "bridge/text_file.h"
#include "host/debug_log.h"
#include "host/file_time_win.h"
#include "host/process_state.h"
#include "host/win_handles.h"

namespace {

std::wstring ChoicePath() {
  return g_folders.workspaceRoot + L"\\" + kOrderAccountFileName;
}

AccountChoice ReadChoice() {
  const std::wstring path = ChoicePath();
  if (!FileExists(path)) return {};
  return ParseAccountChoice(WideToUtf8(ReadTextFile(path, nullptr, kConfigFileCapBytes)));
}

// Once this process has seen FIRST recorded it stops looking: the daemon asks at every
// launch request, and the file is written once.
std::atomic<bool> g_firstKnown{false};

void RecordFirst(const std::string& account) {
  if (account.empty() || g_firstKnown) return;
  AccountChoice choice = ReadChoice();
  if (!choice.first.empty()) {
    g_firstKnown = true;
    return;
  }
  choice.first = account;
  const WriteStatus status = ReplaceFileWhole(ChoicePath(), AccountChoiceBody(choice));
  if (!status.ok()) {
    LogDebug("Could not record the first account " + account + ": " +
             DescribeWriteError(status.error));
    return;
  }
  g_firstKnown = true;
  LogDebug("Orders that name no chart go to account " + account +
           ", the first that registered (order_account.txt, CHOSEN= to change it)");
}

// Written within the last 30 seconds (a clock a little ahead is forgiven).
bool Fresh(const FILETIME& lastWrite) {
  FILETIME nowTime{};
  ::GetSystemTimeAsFileTime(&nowTime);
  const std::uint64_t now = FileTicks(nowTime);
  const std::uint64_t written = FileTicks(lastWrite);
  constexpr std::uint64_t kTicksPerMs = 10000;
  if (written > now) return written - now <= 5000 * kTicksPerMs;
  return (now - written) / kTicksPerMs <= kChartRegistrationAliveMs;
}

std::optional<ChartRegistration> ReadRegistration(const std::wstring& name, std::uint64_t hwnd) {
  FILETIME written{};
  const std::string text =
      WideToUtf8(ReadTextFile(BridgePath(g_folders.bridge, name), &written, kConfigFileCapBytes));
  if (text.empty() || !Fresh(written)) return std::nullopt;
  return ParseChartRegistration(text, hwnd);
}

}  // namespace

std::vector<ChartRegistration> LiveChartRegistrations() {
  std::vector<ChartRegistration> live;
  WIN32_FIND_DATAW found{};
  const UniqueFind listing(
      ::FindFirstFileW(BridgePath(g_folders.bridge, kChartRegistrationPattern).c_str(), &found));
  if (!listing.valid()) return live;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const std::optional<std::uint64_t> hwnd = ChartRegistrationHandle(found.cFileName);
    if (!hwnd || !Fresh(found.ftLastWriteTime)) continue;
    if (std::optional<ChartRegistration> chart = ReadRegistration(found.cFileName, *hwnd)) {
      live.push_back(*chart);
    }
  } while (::FindNextFileW(listing.get(), &found));
  return live;
}

std::string LiveChartAccount(std::uint64_t hwnd) {
  if (hwnd == 0) return {};
  const std::optional<ChartRegistration> chart =
      ReadRegistration(ChartRegistrationFileName(hwnd), hwnd);
  return chart ? chart->account : std::string();
}

std::string AccountOfChart(const std::vector<ChartRegistration>& live, std::uint64_t hwnd) {
  for (const ChartRegistration& chart : live) {
    if (chart.hwnd == hwnd) return chart.account;
  }
  return {};
}

std::string OrderAccount(const std::vector<ChartRegistration>& live) {
  const AccountChoice choice = ReadChoice();
  const std::string account = OrderAccountFor(choice);
  if (!account.empty() || live.empty()) return account;
  const std::vector<std::string> accounts = AccountsOf(live);
  RecordFirst(accounts.front());
  return accounts.front();
}

void NoteRegisteredAccount(const std::string& account) {
  RecordFirst(account);
}
