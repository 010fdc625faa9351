// Sole owner of an object whose deletion may raise.
#pragma once

namespace testutil {

// Deletes what it holds in a destructor that may raise (std::unique_ptr's
// may not), so a failure that a deletion reports reaches the caller.
template <class T>
class Owned {
 public:
  explicit Owned(T* p = nullptr) : p_(p) {}
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  ~Owned() noexcept(false) { reset(); }
  void reset(T* p = nullptr) {
    T* old = p_;
    p_ = p;
    delete old;
  }
  T* release() {
    T* p = p_;
    p_ = nullptr;
    return p;
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_;
};

}  // namespace testutil
