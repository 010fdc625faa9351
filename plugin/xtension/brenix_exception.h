// The plug-in's own failures: an error record (a filter error code and a
// message) and the exception that carries one.
#pragma once

#include <cstdint>
#include <exception>

#include "support/error_record.h"

// Error codes of failed host callbacks.
enum : uint16_t {
  kErrorNothingToDispatch = 1000,  // "Wrong Parameter"
  kErrorLowMemory = 1001,          // "Low Memory"
  kErrorUnexpected = 1002,         // "Unexpected"
};

class BrenixException : public std::exception {
 public:
  explicit BrenixException(ErrorRecord record) : record_(record) {}
  const ErrorRecord& Record() const { return record_; }
  // The message text ("" when there is none).
  const char* what() const noexcept override { return record_.message.Text(); }

 private:
  ErrorRecord record_;
};
