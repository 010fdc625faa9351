// KXT_Handle<T>: a counted pointer to a ReferredObject (or null).
//
// Made from a new object it takes over the creator's first reference without
// adding one; copies add a reference, destruction and reset give one back.
// Giving a reference back may delete the object and so complete output; that
// failure is raised to the caller (the handle is null by then).
#pragma once

#include <cstddef>
#include <type_traits>

template <class T>
class KXT_Handle {
 public:
  KXT_Handle() = default;
  KXT_Handle(std::nullptr_t) {}
  // Takes over the reference of a new object (no AddRef).
  explicit KXT_Handle(T* adopted) : p_(adopted) {}
  KXT_Handle(const KXT_Handle& other) : p_(other.p_) {
    if (p_ != nullptr) p_->AddRef();
  }
  template <class U, class = std::enable_if_t<std::is_convertible<U*, T*>::value>>
  KXT_Handle(const KXT_Handle<U>& other) : p_(other.get()) {
    if (p_ != nullptr) p_->AddRef();
  }
  KXT_Handle(KXT_Handle&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
  template <class U, class = std::enable_if_t<std::is_convertible<U*, T*>::value>>
  KXT_Handle(KXT_Handle<U>&& other) noexcept : p_(other.Detach()) {}
  ~KXT_Handle() noexcept(false) { reset(); }

  // The new object gains its reference before the old one loses its own, so
  // assigning a handle to itself changes nothing.  The handle holds the new
  // object even when releasing the old one raises.
  KXT_Handle& operator=(const KXT_Handle& other) {
    if (other.p_ != nullptr) other.p_->AddRef();
    Replace(other.p_);
    return *this;
  }
  KXT_Handle& operator=(KXT_Handle&& other) {
    if (this != &other) Replace(other.Detach());
    return *this;
  }
  KXT_Handle& operator=(std::nullptr_t) {
    reset();
    return *this;
  }

  // Gives the reference back and leaves the handle null.
  void reset() { Replace(nullptr); }
  // Leaves the handle null without giving the reference back.
  T* Detach() {
    T* p = p_;
    p_ = nullptr;
    return p;
  }

  T* get() const { return p_; }
  T& operator*() const { return *p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  void Replace(T* p) {
    T* old = p_;
    p_ = p;
    if (old != nullptr) old->Release();
  }

  T* p_ = nullptr;
};

template <class T, class U>
bool operator==(const KXT_Handle<T>& a, const KXT_Handle<U>& b) {
  return a.get() == b.get();
}
template <class T, class U>
bool operator!=(const KXT_Handle<T>& a, const KXT_Handle<U>& b) {
  return a.get() != b.get();
}
