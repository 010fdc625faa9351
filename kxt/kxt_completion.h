// Finishing destructors of the container library.
//
// Deleting a counted object completes output (a typed stream, a folder's
// table, the code file, the compound file) in several steps.  Every step
// runs even when an earlier one failed, so nothing is left half deleted.
// The first failure is raised once all steps are done, unless an exception
// was already unwinding when the destruction began: then every failure goes
// to the failure logger instead, so none is lost and the process goes on.
#pragma once

#include <exception>
#include <utility>

class KXT_Completion {
 public:
  KXT_Completion() = default;
  KXT_Completion(const KXT_Completion&) = delete;
  KXT_Completion& operator=(const KXT_Completion&) = delete;

  // Runs one step and keeps (or logs) what it raises.
  template <class Step>
  void Run(Step&& step) noexcept {
    try {
      std::forward<Step>(step)();
    } catch (...) {
      Keep(std::current_exception());
    }
  }
  // Runs the deletion of what `owned` points to as one step; `owned` is
  // cleared first, so a deletion that fails is never tried again.
  template <class T>
  void RunDelete(T*& owned) noexcept {
    Run([&owned] {
      T* p = owned;
      owned = nullptr;
      delete p;
    });
  }
  // Raises the first failure kept; the last call of the destructor.
  void Finish() noexcept(false) {
    if (first_) Raise();
  }

 private:
  void Raise() noexcept(false);
  void Keep(std::exception_ptr failure) noexcept;

  // Whether an exception was unwinding when the destruction began.  Asked
  // only once a step has failed: inside the handler of that failure the
  // count of unwinding exceptions is again what it was before the steps, so
  // the answer is the same and steps that succeed never pay for the query.
  bool unwinding_ = false;
  bool asked_ = false;
  std::exception_ptr first_;
};

// Where the failures go that a destructor could not raise: one line of text
// each.  The default writes to standard error; null restores it.
using KXT_FailureLogger = void (*)(const char* line);
void SetKXTFailureLogger(KXT_FailureLogger logger);

// Owns one object until released; deletes it in a destructor that may raise
// (std::unique_ptr may not), for objects whose deletion completes output.
template <class T>
class KXT_Owned {
 public:
  explicit KXT_Owned(T* p) : p_(p) {}
  KXT_Owned(const KXT_Owned&) = delete;
  KXT_Owned& operator=(const KXT_Owned&) = delete;
  ~KXT_Owned() noexcept(false) { delete p_; }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T* release() {
    T* p = p_;
    p_ = nullptr;
    return p;
  }

 private:
  T* p_;
};
