#include "framework/failures.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/win/message_box.h"
#include "platform/win/resources.h"

namespace {

void DefaultWarningMessenger(FilterException& failure) {
  char body[1024];
  win::Format(body, sizeof body, "%d\n\n%s", failure.Id(), failure.Text() ? failure.Text() : "");
  win::ShowMessageBox(body, "Warning", win::kMbOk);
}

void DefaultLogEventMessenger(FilterException& failure) {
  char line[1024];
  win::Format(line, sizeof line, "(%d) %s", failure.Id(), failure.Text() ? failure.Text() : "");
  std::printf("%s\n", line);
  std::fflush(stdout);
}

Messenger g_warning_messenger = DefaultWarningMessenger;
Messenger g_log_event_messenger = DefaultLogEventMessenger;
bool g_assert_showing = false;

}  // namespace

FilterException::FilterException(int id, sh_MessageType type, va_list* args, FE_Position position)
    : id_(id), type_(type), position_(position) {
  char pattern[256];
  if (win::LoadResourceString(static_cast<unsigned>(id), pattern, sizeof pattern) > 0) {
    char text[1024];
    if (args) {
      va_list copy;
      va_copy(copy, *args);
      win::FormatV(text, sizeof text, pattern, copy);
      va_end(copy);
    } else {
      std::snprintf(text, sizeof text, "%s", pattern);
    }
    text_ = text;
  }
}

FilterException::FilterException(int id, sh_MessageType type, FE_Position position)
    : FilterException(id, type, nullptr, position) {}

FilterException::~FilterException() = default;

const char* FilterException::what() const noexcept {
  try {
    what_ = "Filter failure " + std::to_string(id_);
    if (text_) what_ += ": " + *text_;
    return what_.c_str();
  } catch (...) {
    return "Filter failure";
  }
}

void Error(int id, ...) {
  va_list args;
  va_start(args, id);
  FilterException failure(id, sh_Error, &args, FE_Position());
  va_end(args);
  throw failure;
}

void LocalizedError(int id, FE_Position position, ...) {
  va_list args;
  va_start(args, position);
  FilterException failure(id, sh_Error, &args, position);
  va_end(args);
  throw failure;
}

void Warning(int id, ...) {
  va_list args;
  va_start(args, id);
  FilterException failure(id, sh_Warning, &args, FE_Position());
  va_end(args);
  g_warning_messenger(failure);
}

void LocalizedWarning(int id, FE_Position position, ...) {
  va_list args;
  va_start(args, position);
  FilterException failure(id, sh_Warning, &args, position);
  va_end(args);
  g_warning_messenger(failure);
}

void Warning(FilterException& failure) {
  failure.SetType(sh_Warning);
  g_warning_messenger(failure);
}

void LogEvent(int id, ...) {
  va_list args;
  va_start(args, id);
  FilterException event(id, sh_LogEvent, &args, FE_Position());
  va_end(args);
  g_log_event_messenger(event);
}

void LocalizedLogEvent(int id, FE_Position position, ...) {
  va_list args;
  va_start(args, position);
  FilterException event(id, sh_LogEvent, &args, position);
  va_end(args);
  g_log_event_messenger(event);
}

void SetWarningMessenger(Messenger messenger) {
  g_warning_messenger = messenger ? messenger : DefaultWarningMessenger;
}

void SetLogEventMessenger(Messenger messenger) {
  g_log_event_messenger = messenger ? messenger : DefaultLogEventMessenger;
}

void AssertFail(const char* file, int line, const char* text) {
  if (g_assert_showing) return;
  g_assert_showing = true;

  const char* name = file ? file : "";
  if (const char* backslash = std::strrchr(name, '\\')) {
    name = backslash + 1;
  } else if (const char* slash = std::strrchr(name, '/')) {
    name = slash + 1;
  }

  char caption[1024];
  char body[1024];
  win::Format(caption, sizeof caption, "Unexpected error at %s %d", name, line);
  win::Format(body, sizeof body, "%s\n%s", text ? text : "",
              "Break to debugger ('Cancel' aborts execution) ?");
  // Unattended the answer is "No": carry on.  There is no debugger to break
  // into and the process must not end here.
  win::ShowMessageBox(body, caption, win::kMbYesNoCancel | win::kMbIconStop | win::kMbTaskModal);

  g_assert_showing = false;
}
