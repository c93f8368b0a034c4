#pragma once
// IUnknown for the runtime's COM classes, written once.
#include <windows.h>

#include <atomic>

#include "testing/webview2-runtime/call_log_win.h"
#include "webview2/webview2_abi.h"

// The IID of each declared interface, found from its type so a class lists only types.
template <typename I>
struct ComInterfaceId;
#define QV_COM_INTERFACE_ID(Interface, ...)              \
  template <>                                            \
  struct ComInterfaceId<Interface> {                     \
    static constexpr const IID& value = IID_##Interface; \
  };
QV_WEBVIEW2_INTERFACES(QV_COM_INTERFACE_ID)
#undef QV_COM_INTERFACE_ID

// Self derives from this, which derives from Base (an interface, or a class of stubs over one)
// and answers QueryInterface for IUnknown and each of Interfaces, all bases of Base. Self is
// created with one reference and deleted by the last Release; it keeps its destructor
// private and befriends this class, so nothing else can end it.
template <typename Self, typename Base, typename... Interfaces>
class ComObject : public Base {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) noexcept override {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown)) {
      *object = static_cast<IUnknown*>(this);
    } else if (!(Offer<Interfaces>(riid, object) || ...)) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() noexcept override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() noexcept override {
    // One atomic step: testing and decrementing separately could free the object twice.
    const ULONG left = --refs_;
    if (left == 0) delete static_cast<Self*>(this);
    return left;
  }

 protected:
  ComObject() = default;
  ~ComObject() = default;

 private:
  template <typename I>
  bool Offer(REFIID riid, void** object) {
    if (!IsEqualIID(riid, ComInterfaceId<I>::value)) return false;
    *object = static_cast<I*>(this);
    return true;
  }

  std::atomic<ULONG> refs_{1};
};

// A stub method for a class of stubs: the call is recorded and refused, so a host that uses
// something the runtime lacks shows up in the call record.
#define QV_COM_NOT_IMPLEMENTED(name, params)                \
  HRESULT STDMETHODCALLTYPE name params noexcept override { \
    RecordCall(#name);                                      \
    return E_NOTIMPL;                                       \
  }
