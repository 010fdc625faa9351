// Failures, positions and messengers: the one way the framework and the
// container library report problems.
//
// Errors are thrown as FilterException; warnings and log events are handed to
// two replaceable messengers and never thrown.  AssertFail reports a broken
// assumption and carries on.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>

// A position in some input that a message concerns; {0, 0} means none.
struct FE_Position {
  uint32_t line = 0;
  uint32_t column = 0;

  FE_Position() = default;
  FE_Position(uint32_t l, uint32_t c) : line(l), column(c) {}
};

enum sh_MessageType { sh_Error = 0, sh_Warning = 1, sh_LogEvent = 2 };

// Failure ids used across the framework.
enum FilterFailureId : int {
  kFailOleOther = 32769,
  kFailOutOfMemory = 32773,
  kFailShortPropertySet = 33010,
  kFailCodeFileTooNew = 34000,
  kFailCodeFileDamaged = 34001,
};

class FilterException : public std::exception {
 public:
  // The text is the message-table entry of `id` formatted with `args` (a
  // va_list, may be null); with no entry the text stays null.
  FilterException(int id, sh_MessageType type, va_list* args, FE_Position position);
  FilterException(int id, sh_MessageType type, FE_Position position = FE_Position());
  // Copies and assignments copy the text deeply.
  FilterException(const FilterException&) = default;
  FilterException& operator=(const FilterException&) = default;
  ~FilterException() override;

  int Id() const { return id_; }
  // The formatted text, or null when the id has none.
  const char* Text() const { return text_ ? text_->c_str() : nullptr; }
  sh_MessageType Type() const { return type_; }
  void SetType(sh_MessageType type) { type_ = type; }
  const FE_Position& Position() const { return position_; }

  // "Filter failure <id>", followed by ": <text>" when there is a text.
  const char* what() const noexcept override;

 private:
  int id_;
  std::optional<std::string> text_;
  sh_MessageType type_;
  FE_Position position_;
  mutable std::string what_;
};

// Throws an error with the id (and position); the arguments feed the text.
[[noreturn]] void Error(int id, ...);
[[noreturn]] void LocalizedError(int id, FE_Position position, ...);

// Build a warning or log event and hand it to its messenger; they return.
void Warning(int id, ...);
void LocalizedWarning(int id, FE_Position position, ...);
void Warning(FilterException& failure);  // retypes it as a warning
void LogEvent(int id, ...);
void LocalizedLogEvent(int id, FE_Position position, ...);

using Messenger = void (*)(FilterException& failure);
// Replace a messenger slot; null restores the default.  The default warning
// messenger shows a box captioned "Warning" with "<id>\n\n<text>"; the default
// log-event messenger prints "(<id>) <text>" and a newline on stdout.
void SetWarningMessenger(Messenger messenger);
void SetLogEventMessenger(Messenger messenger);

// Reports a broken assumption: a box captioned "Unexpected error at <file>
// <line>" (file without its folders).  Unattended, it never blocks or ends the
// process: the report is answered "No" and the caller goes on.  A report
// raised while another is showing returns at once.
void AssertFail(const char* file, int line, const char* text);
