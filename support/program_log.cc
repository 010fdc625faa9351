#include "support/program_log.h"

#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iomanip>

#include "support/date_time.h"
#include "support/log_file.h"
#include "support/paths.h"

namespace {

const char kProgramLogName[] = "BrenixLogfile.txt";

// Plain values, set before any constructor runs.
ServerLogSink* g_serverLog = nullptr;
LogPriorityProvider g_priorityProvider = nullptr;
int g_minPriority = 7;
bool g_minPrioritySettled = false;

void WriteAll(int fd, const std::string& bytes) {
  const char* data = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    ssize_t written = ::write(fd, data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      return;  // nowhere to report it
    }
    data += written;
    left -= static_cast<size_t>(written);
  }
}

thread_local uint64_t t_programLogUses = 0;

}  // namespace

uint64_t ProgramLogUses() { return t_programLogUses; }

std::ostream& ProgramLog() {
  ++t_programLogUses;
  // Never destroyed: writers at unload still find it open.  Every insertion
  // is written out at once, so nothing waits in a buffer when the process
  // ends.  A link at its name is refused (log_file.h).
  static LogFileStream* const log = [] {
    errno = 0;
    LogFileStream* stream = new LogFileStream();
    if (!stream->Open(kProgramLogName)) {
      // Everything written to it is lost: say so once, where it is seen.
      const int reason = errno;
      char folder[PATH_MAX];
      const std::string path = (::getcwd(folder, sizeof folder) ? std::string(folder) + "/" : std::string()) +
                               kProgramLogName;
      WriteAll(STDERR_FILENO, "Brenix: the program log " + path + " cannot be created: " +
                                  LogFileStream::FailureText(reason) + "; it is not written\n");
    }
    return stream;
  }();
  return *log;
}

std::string LocationText(const char* sourcePath, int line, const char* function) {
  std::string path = sourcePath ? sourcePath : "";
  std::string file = SplitPath(path, true);
  if (file.empty() && path.find(kPathSeparator) == std::string::npos) file = path;  // compiled from its own folder
  return file + "[" + std::to_string(line) + "]:" + (function ? function : "") + "()";
}

ServerLogSink* CurrentServerLog() { return g_serverLog; }

void SetCurrentServerLog(ServerLogSink* log) { g_serverLog = log; }

void WriteServerLogRecord(std::ostream& out, const std::string& name, const std::string& message) {
  if (out.fail()) return;
  DateTime now;
  GetDateTime(now);
  WriteDateTimeStamp(out, now) << '\t' << std::left << std::setw(48) << name << '\t' << message << '\n';
  out.flush();
}

void SetLogPriorityProvider(LogPriorityProvider provider) {
  g_priorityProvider = provider;
  g_minPriority = 7;
  g_minPrioritySettled = false;
}

int LogMessage(const std::string& name, const std::string& message, int level) {
  if (!g_minPrioritySettled && g_priorityProvider) {
    LogPrioritySetting setting = g_priorityProvider();
    g_minPriority = setting.value;
    g_minPrioritySettled = setting.loaded;
  }
  if (g_serverLog && level >= 0 && level >= g_minPriority && level < 9) g_serverLog->WriteRecord(name, message);
  // One write, so the record is not split by other output.
  WriteAll(STDERR_FILENO, name + ":\n" + message);
  return STDERR_FILENO;
}
