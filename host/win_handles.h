#pragma once
// RAII owners for the Win32 handle kinds the host holds, plus a minimal COM pointer.
#include <windows.h>

#include <objbase.h>
#include <wininet.h>

#include "host/unique_resource.h"

struct FileHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) noexcept { ::CloseHandle(h); }
};
struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { ::CloseHandle(h); }
};
struct RegKeyTraits {
  using Handle = HKEY;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { ::RegCloseKey(h); }
};
struct ModuleTraits {
  using Handle = HMODULE;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { ::FreeLibrary(h); }
};
struct InternetTraits {
  using Handle = HINTERNET;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { ::InternetCloseHandle(h); }
};
struct LocalFreeTraits {
  using Handle = HLOCAL;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { ::LocalFree(h); }
};
// FindFirstFileW's listing: closed with FindClose, not CloseHandle.
struct FindTraits {
  using Handle = HANDLE;
  static Handle Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) noexcept { ::FindClose(h); }
};
// FindFirstChangeNotificationW fails with INVALID_HANDLE_VALUE, not null, and its handle is
// released by its own call, not CloseHandle.
struct ChangeNotificationTraits {
  using Handle = HANDLE;
  static Handle Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) noexcept { ::FindCloseChangeNotification(h); }
};
struct CoTaskMemTraits {
  using Handle = void*;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { ::CoTaskMemFree(h); }
};

using UniqueFile = UniqueResource<FileHandleTraits>;
using UniqueHandle = UniqueResource<KernelHandleTraits>;
using UniqueRegKey = UniqueResource<RegKeyTraits>;
using UniqueModule = UniqueResource<ModuleTraits>;
using UniqueInternet = UniqueResource<InternetTraits>;
using UniqueLocal = UniqueResource<LocalFreeTraits>;
using UniqueCoTaskMem = UniqueResource<CoTaskMemTraits>;
using UniqueFind = UniqueResource<FindTraits>;
using UniqueChangeNotification = UniqueResource<ChangeNotificationTraits>;

// COM pointer: every out-parameter lands in one; put() releases the old reference first.
template <typename T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ComPtr(std::nullptr_t) noexcept {}
  ~ComPtr() { reset(); }
  ComPtr(const ComPtr& other) noexcept : ptr_(other.ptr_) {
    if (ptr_) ptr_->AddRef();
  }
  ComPtr(ComPtr&& other) noexcept : ptr_(other.ptr_) { other.ptr_ = nullptr; }
  ComPtr& operator=(const ComPtr& other) noexcept {
    if (this != &other) {
      if (other.ptr_) other.ptr_->AddRef();
      reset();
      ptr_ = other.ptr_;
    }
    return *this;
  }
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      reset();
      ptr_ = other.ptr_;
      other.ptr_ = nullptr;
    }
    return *this;
  }
  // Takes over the caller's reference (a freshly created object, say) without adding one.
  static ComPtr Attach(T* raw) noexcept {
    ComPtr p;
    p.ptr_ = raw;
    return p;
  }
  // Takes a reference of its own.
  static ComPtr FromRaw(T* raw) noexcept {
    ComPtr p;
    p.ptr_ = raw;
    if (raw) raw->AddRef();
    return p;
  }
  [[nodiscard]] T* get() const noexcept { return ptr_; }
  T* operator->() const noexcept { return ptr_; }
  explicit operator bool() const noexcept { return ptr_ != nullptr; }
  [[nodiscard]] T** put() noexcept {
    reset();
    return &ptr_;
  }
  void reset() noexcept {
    if (T* old = ptr_) {
      ptr_ = nullptr;
      old->Release();
    }
  }
  template <typename U>
  [[nodiscard]] HRESULT As(const IID& iid, ComPtr<U>* out) const noexcept {
    if (!ptr_) return E_POINTER;
    return ptr_->QueryInterface(iid, reinterpret_cast<void**>(out->put()));
  }

 private:
  T* ptr_ = nullptr;
};
