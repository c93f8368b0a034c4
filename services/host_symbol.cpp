#include "services/host_symbol.h"

#include <mutex>
#include <optional>

#include "host/process_state.h"

namespace {
std::mutex g_symbolLock;
std::optional<std::wstring> g_symbol;
}  // namespace

std::wstring CurrentHostSymbol() {
  std::lock_guard<std::mutex> hold(g_symbolLock);
  return g_symbol ? *g_symbol : g_launch.symbol;
}

void SetHostSymbol(const std::wstring& symbol) {
  std::lock_guard<std::mutex> hold(g_symbolLock);
  g_symbol = symbol;
}
