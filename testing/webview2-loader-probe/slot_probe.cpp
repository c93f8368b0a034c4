#include <windows.h>

#include "testing/webview2-loader-probe/slot_probe.h"

#include <array>
#include <cstdio>
#include <utility>

#include "webview2/webview2_abi.h"

namespace {

constexpr int kMaxSlots = 80;
int g_calledSlot = -1;

// Each thunk only records which slot was called. They are reached through the interfaces'
// typed methods with more arguments than they declare, which the x64 convention tolerates
// (the caller owns the argument area); x86 __stdcall would unbalance the stack.
template <int N>
HRESULT STDMETHODCALLTYPE SlotThunk(void*) {
  g_calledSlot = N;
  return S_OK;
}

using Thunk = HRESULT(STDMETHODCALLTYPE*)(void*);

template <int... N>
constexpr auto MakeThunks(std::integer_sequence<int, N...>) {
  return std::array<Thunk, sizeof...(N)>{&SlotThunk<N>...};
}

const auto kThunks = MakeThunks(std::make_integer_sequence<int, kMaxSlots>{});

// Laid out as a COM object: a pointer to the table of slot functions.
struct FakeObject {
  const Thunk* vtable = kThunks.data();
};

template <typename I, typename C, typename... Args>
int CalledSlot(I* object, HRESULT (STDMETHODCALLTYPE C::*method)(Args...)) {
  g_calledSlot = -1;
  (object->*method)(Args{}...);
  return g_calledSlot;
}

}  // namespace

int RunSlotProbe() {
#if defined(_WIN64)
  FakeObject fake;
  int checked = 0;
  int mismatched = 0;
  const auto check = [&](const char* interfaceName, const char* method, int expected, int got) {
    ++checked;
    if (expected == got) return;
    ++mismatched;
    std::printf("SLOT %s::%s expected %d got %d\n", interfaceName, method, expected, got);
  };
#define QV_PROBE_METHOD(name, params) \
  check(currentName, #name, CurrentSlot::name, CalledSlot(current, &Current::name));
#define QV_PROBE_INTERFACE(Interface, Base, count, ...)              \
  {                                                                  \
    using Current = Interface;                                       \
    using CurrentSlot = Interface##Slot;                             \
    const char* currentName = #Interface;                            \
    Current* current = reinterpret_cast<Current*>(&fake);            \
    static_assert(Interface##SlotCount <= kMaxSlots, "thunk table"); \
    QV_##Interface##_METHODS(QV_PROBE_METHOD)                        \
  }
  QV_WEBVIEW2_INTERFACES(QV_PROBE_INTERFACE)
#undef QV_PROBE_INTERFACE
#undef QV_PROBE_METHOD
  std::printf("SLOTS checked=%d mismatched=%d\n", checked, mismatched);
  return mismatched;
#else
  std::printf("SLOTS skipped\n");
  return 0;
#endif
}
