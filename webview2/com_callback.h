#pragma once
// Wraps a callable into a heap COM object implementing one WebView2 handler interface, in
// place of WRL's Callback (mingw has no WRL).
#include <windows.h>

#include <atomic>
#include <new>
#include <type_traits>
#include <utility>

#include "host/win_handles.h"

namespace com_callback_detail {

template <typename... Args>
struct ArgList {};

// Only ever used in decltype: recovers Invoke's parameter list from its member pointer.
template <typename C, typename... Args>
ArgList<Args...> InvokeArgs(HRESULT (STDMETHODCALLTYPE C::*)(Args...));

template <typename I, typename F, typename List>
class Callback;

template <typename I, typename F, typename... Args>
class Callback<I, F, ArgList<Args...>> final : public I {
 public:
  Callback(const IID& iid, F fn) : iid_(iid), fn_(std::move(fn)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) noexcept override {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, iid_)) {
      *object = static_cast<I*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() noexcept override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() noexcept override {
    // One atomic step: testing and decrementing separately could free the object twice.
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  // An exception must not unwind into the runtime's frames.
  HRESULT STDMETHODCALLTYPE Invoke(Args... args) noexcept override {
    try {
      return fn_(args...);
    } catch (...) {
      return E_UNEXPECTED;
    }
  }

 private:
  ~Callback() = default;

  const IID iid_;
  F fn_;
  std::atomic<ULONG> refs_{1};
};

}  // namespace com_callback_detail

// A new handler object holding one reference, owned by the returned pointer; null only when
// memory runs out. fn receives Invoke's arguments unchanged and returns Invoke's HRESULT.
// Pointer and string arguments are borrowed for the call only: copy or AddRef what outlives it.
template <typename I, typename F>
[[nodiscard]] ComPtr<I> MakeComCallback(const IID& iid, F&& fn) {
  using Args = decltype(com_callback_detail::InvokeArgs(&I::Invoke));
  using Object = com_callback_detail::Callback<I, std::decay_t<F>, Args>;
  return ComPtr<I>::Attach(new (std::nothrow) Object(iid, std::forward<F>(fn)));
}
