#pragma once
// Which account an order goes to, decided without touching the OS. Every chart that runs a
// current terminal companion keeps QV_Chart_<hwnd>.txt in the bridge folder (its login
// among other lines, rewritten every 10 s); a chart's own orders go to that account. Orders
// that name no chart (Telegram, and so its CURRENT orders) go to the account the trader
// chose, else to the first account that registered, both kept in order_account.txt in the
// shared workspace data folder.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bridge/bridge_names.h"

inline constexpr wchar_t kOrderAccountFileName[] = L"order_account.txt";
// A chart file older than this belongs to a companion that stopped without removing it.
inline constexpr std::uint64_t kChartRegistrationAliveMs = 30000;

struct ChartRegistration {
  std::uint64_t hwnd = 0;
  std::string account;  // the login, decimal
  std::string symbol;
};

// QV_Chart_<hwnd>.txt: KEY=VALUE lines with HWND and ACCOUNT (both decimal) at least;
// nullopt for anything else, and when HWND is not the handle in the name.
[[nodiscard]] std::optional<ChartRegistration> ParseChartRegistration(std::string_view text,
                                                                      std::uint64_t nameHwnd);
// The handle of QV_Chart_<hwnd>.txt, or nullopt for another name.
[[nodiscard]] std::optional<std::uint64_t> ChartRegistrationHandle(const std::wstring& name);

// A decimal login: 1 to 20 digits.
[[nodiscard]] bool IsAccountLogin(std::string_view text);

// order_account.txt: CHOSEN=<login> (the trader's choice, by hand or by Telegram /account)
// and FIRST=<login> (the first account a companion registered, written once).
struct AccountChoice {
  std::string chosen;
  std::string first;
};
[[nodiscard]] AccountChoice ParseAccountChoice(std::string_view text);
[[nodiscard]] std::string AccountChoiceBody(const AccountChoice& choice);

// The account for an order that names no chart: the chosen one, else the first; empty when
// neither is known.
[[nodiscard]] std::string OrderAccountFor(const AccountChoice& choice);

// The ACCOUNT= value of a launch request, when it is a login.
[[nodiscard]] std::string LaunchRequestAccount(std::string_view text);

// The distinct accounts of the charts, in order of their handles.
[[nodiscard]] std::vector<std::string> AccountsOf(std::vector<ChartRegistration> charts);
