#include <string>

#include "host/debug_log.h"
#include "overlay/window_dpi.h"

namespace {

// Windows 10 1607 and later; looked up so the program still starts where they are absent.
template <typename F>
F User32(const char* name) {
  const HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
  return user32 ? reinterpret_cast<F>(reinterpret_cast<void (*)()>(::GetProcAddress(user32, name)))
                : nullptr;
}

using SetThreadContextFn = DPI_AWARENESS_CONTEXT(WINAPI*)(DPI_AWARENESS_CONTEXT);
using WindowContextFn = DPI_AWARENESS_CONTEXT(WINAPI*)(HWND);
using AwarenessFn = DPI_AWARENESS(WINAPI*)(DPI_AWARENESS_CONTEXT);
using SetProcessContextFn = BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT);

}  // namespace

void AdoptChartDpiAwareness(HWND chart) {
  const auto windowContext = User32<WindowContextFn>("GetWindowDpiAwarenessContext");
  const auto setThread = User32<SetThreadContextFn>("SetThreadDpiAwarenessContext");
  if (!windowContext || !setThread) return;
  const DPI_AWARENESS_CONTEXT context = windowContext(chart);
  if (!context) {
    LogDebug("Could not read the chart window's DPI awareness (error " +
             std::to_string(::GetLastError()) + ").");
    return;
  }
  if (!setThread(context)) {
    LogDebug("Could not take the chart window's DPI awareness (error " +
             std::to_string(::GetLastError()) + ").");
    return;
  }
  const auto awareness = User32<AwarenessFn>("GetAwarenessFromDpiAwarenessContext");
  if (awareness) {
    LogDebug("Overlay takes the chart window's DPI awareness " +
             std::to_string(static_cast<int>(awareness(context))) + ".");
  }
}

void BecomePerMonitorDpiAware() {
  const auto setProcess = User32<SetProcessContextFn>("SetProcessDpiAwarenessContext");
  if (setProcess && setProcess(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2)) return;
  // Refused where v2 is unknown (Windows before 1703, Wine) or the awareness was set
  // already: the window thread can still have it. Where that is refused too the studio keeps
  // the process's awareness, as it always had; it has no other window to match.
  const auto setThread = User32<SetThreadContextFn>("SetThreadDpiAwarenessContext");
  if (setThread && !setThread(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2)) {
    LogDebug("The studio window keeps the process's DPI awareness.");
  }
}
