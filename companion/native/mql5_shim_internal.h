// What the shim's own files share: the tick count, the terminal's delayed view of the
// server's state, and the open-file table.
#pragma once

#include <vector>

#include "mql5_shim.h"

namespace shim {

ulong Tick();
// Applies the fills whose time has come; every read of positions, history or the balance
// goes through the Shown* views, which show the server's state as of the last settled fill.
void Settle();
const std::vector<Position>& ShownPositions();
double ShownBalance();
const std::vector<Deal>& ShownDeals();
const std::vector<HistoryOrder>& ShownOrders();
Symbol* Find(const string& sym);
void ResetFiles();

}  // namespace shim
