// A counted reference to an object of the component model: AddRef when a
// reference is taken, Release when it is dropped.
#pragma once

#include <utility>

namespace sonter2 {

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  // Takes a new reference on p.
  explicit ComPtr(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  // Adopts a reference the caller already holds.
  static ComPtr adopt(T* p) {
    ComPtr r;
    r.p_ = p;
    return r;
  }
  ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ComPtr& operator=(ComPtr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  ~ComPtr() { reset(); }

  void reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  // Gives up the reference without releasing it.
  T* detach() { return std::exchange(p_, nullptr); }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  T** put() {
    reset();
    return &p_;
  }

 private:
  T* p_ = nullptr;
};

}  // namespace sonter2
