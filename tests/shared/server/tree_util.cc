#include "shared/server/tree_util.h"

namespace {
int g_minimum = 0;
LogPrioritySetting Minimum() { return {g_minimum, false}; }
}  // namespace

LogCatcher::LogCatcher(int minimumPriority) {
  g_minimum = minimumPriority;
  SetLogPriorityProvider(Minimum);
  SetCurrentServerLog(this);
}

LogCatcher::~LogCatcher() {
  SetCurrentServerLog(nullptr);
  SetLogPriorityProvider(nullptr);
}

void LogCatcher::WriteRecord(const std::string& name, const std::string& message) {
  records_.emplace_back(name, message);
}

std::vector<std::string> LogCatcher::Messages(const std::string& operation) const {
  std::string suffix = "]:" + operation + "()";
  std::vector<std::string> messages;
  for (const auto& [name, message] : records_) {
    if (name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
      messages.push_back(message);
  }
  return messages;
}
