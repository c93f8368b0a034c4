#pragma once
// The accounts of the running terminal companions, read from their QV_Chart_<hwnd>.txt
// files, and the account the trader chose for orders that name no chart (see
// bridge/order_account.h for the rules). Any process of the workspace may ask.
#include <cstdint>
#include <string>
#include <vector>

#include "bridge/order_account.h"

// Charts whose file was written in the last 30 seconds.
[[nodiscard]] std::vector<ChartRegistration> LiveChartRegistrations();

// The login of the running companion on this chart (its own file only), or empty.
[[nodiscard]] std::string LiveChartAccount(std::uint64_t hwnd);

// The login of the chart among live, or empty.
[[nodiscard]] std::string AccountOfChart(const std::vector<ChartRegistration>& live,
                                         std::uint64_t hwnd);

// The account for an order that names no chart: the chosen one, else the first that
// registered. With neither recorded yet and charts running, the chart with the smallest
// handle is taken as the first and recorded.
[[nodiscard]] std::string OrderAccount(const std::vector<ChartRegistration>& live);

// The daemon, for each launch request that names its account: the first one is recorded.
void NoteRegisteredAccount(const std::string& account);
