#pragma once
// One owner per handle kind: a move-only wrapper whose reset and move assignment release
// the old value first. Traits give the invalid value and the release call, so the same
// template serves file handles, plain handles, registry keys, modules and internet handles.
#include <utility>

template <typename Traits>
class UniqueResource {
 public:
  using Handle = typename Traits::Handle;

  UniqueResource() noexcept = default;
  explicit UniqueResource(Handle value) noexcept : value_(value) {}
  ~UniqueResource() { reset(); }

  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;

  UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  [[nodiscard]] Handle get() const noexcept { return value_; }
  [[nodiscard]] bool valid() const noexcept { return value_ != Traits::Invalid(); }
  explicit operator bool() const noexcept { return valid(); }

  // Releases the current value before handing out the slot, so an out-parameter call
  // can never overwrite a live handle.
  [[nodiscard]] Handle* put() noexcept {
    reset();
    return &value_;
  }

  void reset(Handle value = Traits::Invalid()) noexcept {
    Handle old = value_;
    value_ = value;
    if (old != Traits::Invalid() && old != value) Traits::Close(old);
  }

  [[nodiscard]] Handle release() noexcept {
    Handle old = value_;
    value_ = Traits::Invalid();
    return old;
  }

 private:
  Handle value_ = Traits::Invalid();
};
