// Catches what the program log gets while it lives.
#pragma once

#include <ostream>
#include <sstream>
#include <string>

#include "support/program_log.h"

class LogCapture {
 public:
  LogCapture() : saved_(ProgramLog().rdbuf(text_.rdbuf())) {}
  ~LogCapture() { ProgramLog().rdbuf(saved_); }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;
  std::string Text() const { return text_.str(); }

 private:
  std::ostringstream text_;
  std::streambuf* saved_;
};
