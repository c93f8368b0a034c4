#include "bridge/order_account.h"

#include <algorithm>

#include "bridge/key_value.h"
#include "bridge/order_files.h"
#include "host/ascii_text.h"

namespace {

// The value of KEY in KEY=VALUE lines; the later line wins, and a missing one is empty.
std::string ValueOf(std::string_view text, std::string_view key) {
  return std::string(LastValueOf(text, key).value_or(std::string_view()));
}

bool ParseHandle(std::string_view text, std::uint64_t* value) {
  return ParseDecimal(text, value) && *value != 0;
}

}  // namespace

bool IsAccountLogin(std::string_view text) {
  return !text.empty() && text.size() <= 20 &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<ChartRegistration> ParseChartRegistration(std::string_view text,
                                                        std::uint64_t nameHwnd) {
  ChartRegistration chart;
  if (!ParseHandle(ValueOf(text, "HWND"), &chart.hwnd) || chart.hwnd != nameHwnd) {
    return std::nullopt;
  }
  chart.account = ValueOf(text, "ACCOUNT");
  if (!IsAccountLogin(chart.account)) return std::nullopt;
  chart.symbol = ValueOf(text, "SYMBOL");
  return chart;
}

std::optional<std::uint64_t> ChartRegistrationHandle(const std::wstring& name) {
  constexpr std::wstring_view kPrefix = L"QV_Chart_";
  constexpr std::wstring_view kSuffix = L".txt";
  if (name.size() <= kPrefix.size() + kSuffix.size()) return std::nullopt;
  if (name.compare(0, kPrefix.size(), kPrefix) != 0) return std::nullopt;
  if (name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0) {
    return std::nullopt;
  }
  std::string digits;
  for (wchar_t c : name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size())) {
    if (c < L'0' || c > L'9') return std::nullopt;
    digits.push_back(static_cast<char>(c));
  }
  // Handles are written without leading zeros; another spelling is another file.
  if (digits.size() > 1 && digits[0] == '0') return std::nullopt;
  std::uint64_t hwnd = 0;
  if (!ParseHandle(digits, &hwnd)) return std::nullopt;
  return hwnd;
}

AccountChoice ParseAccountChoice(std::string_view text) {
  AccountChoice choice;
  choice.chosen = ValueOf(text, "CHOSEN");
  choice.first = ValueOf(text, "FIRST");
  if (!IsAccountLogin(choice.chosen)) choice.chosen.clear();
  if (!IsAccountLogin(choice.first)) choice.first.clear();
  return choice;
}

std::string AccountChoiceBody(const AccountChoice& choice) {
  std::string body;
  if (!choice.chosen.empty()) body += "CHOSEN=" + choice.chosen + "\n";
  if (!choice.first.empty()) body += "FIRST=" + choice.first + "\n";
  return body;
}

std::string OrderAccountFor(const AccountChoice& choice) {
  return !choice.chosen.empty() ? choice.chosen : choice.first;
}

std::string LaunchRequestAccount(std::string_view text) {
  const std::string account = ValueOf(text, "ACCOUNT");
  return IsAccountLogin(account) ? account : std::string();
}

std::vector<std::string> AccountsOf(std::vector<ChartRegistration> charts) {
  std::sort(charts.begin(), charts.end(),
            [](const ChartRegistration& a, const ChartRegistration& b) { return a.hwnd < b.hwnd; });
  std::vector<std::string> accounts;
  for (const ChartRegistration& c : charts) {
    if (std::find(accounts.begin(), accounts.end(), c.account) == accounts.end()) {
      accounts.push_back(c.account);
    }
  }
  return accounts;
}
