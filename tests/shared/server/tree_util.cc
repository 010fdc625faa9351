#include "shared/server/tree_util.h"

#include <cstdlib>
#include <fstream>
#include <ftw.h>
#include <iterator>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string templ = std::string(base && *base ? base : "/tmp") + "/cnvtools_XXXXXX";
  if (!mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
  path_ = templ;
}

TempDir::~TempDir() {
  nftw(
      path_.c_str(), [](const char* path, const struct stat*, int, FTW*) { return ::remove(path); }, 16,
      FTW_DEPTH | FTW_PHYS);
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

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

DateTime PinnedMoment() {
  DateTime m;
  m.date = {2026, 3, 5};
  m.time = {7, 4, 9};
  return m;
}
