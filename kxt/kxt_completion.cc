#include "kxt/kxt_completion.h"

#include <cstdio>
#include <string>

#include "framework/failures.h"

namespace {

void LogToStderr(const char* line) {
  std::fprintf(stderr, "%s\n", line);
  std::fflush(stderr);
}

KXT_FailureLogger g_logger = LogToStderr;

}  // namespace

void SetKXTFailureLogger(KXT_FailureLogger logger) { g_logger = logger != nullptr ? logger : LogToStderr; }

void KXT_Completion::Keep(std::exception_ptr failure) noexcept {
  if (!asked_) {
    unwinding_ = std::uncaught_exceptions() > 0;
    asked_ = true;
  }
  if (!unwinding_ && !first_) {
    first_ = failure;
    return;
  }
  try {
    std::string line = "Container not completed: ";
    try {
      std::rethrow_exception(failure);
    } catch (const std::exception& e) {
      line += e.what();
    } catch (...) {
      line += "unknown failure";
    }
    g_logger(line.c_str());
  } catch (...) {
    // Out of memory for the text: nothing more can be done.
  }
}

void KXT_Completion::Raise() noexcept(false) {
  std::exception_ptr failure = std::move(first_);
  first_ = nullptr;
  if (std::uncaught_exceptions() > 0) {
    // Only when destroyed from a destructor of an unwinding frame: log.
    unwinding_ = asked_ = true;
    Keep(failure);
    return;
  }
  std::rethrow_exception(failure);
}
