// The program log and the prioritised log records.
//
// ProgramLog() is the text stream on "BrenixLogfile.txt" (in the process's
// current folder, truncated when first used) into which the plug-in writes
// free-form lines.  It is made on first use and never destroyed, so it can be
// written to from anywhere, at load and at unload alike; every insertion
// reaches the file at once, so nothing is lost when the process ends.  When
// the file cannot be created, one line on standard error names its path and
// the reason, and the stream swallows what is written to it.
//
// LogMessage() writes one record: to the current server log when there is
// one and the level passes the minimum priority, and always to standard
// error.  A record is named by a location text, "file[line]:Class::Func()",
// which BRENIX_LOCATION("Class::Func") builds at the call site.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

std::ostream& ProgramLog();

// How many times this thread has asked for ProgramLog(): a piece of work
// that leaves it unchanged has written nothing to the program log.
uint64_t ProgramLogUses();

// The file name of `sourcePath` (the text after its last separator, with
// its extension; the whole text when it has no separator), "[", the line,
// "]:", the qualified function name and "()".
std::string LocationText(const char* sourcePath, int line, const char* function);
#define BRENIX_LOCATION(function) LocationText(__FILE__, __LINE__, function)

// Where server-log records go.  The file-system tree's log file is one.
class ServerLogSink {
 public:
  virtual void WriteRecord(const std::string& name, const std::string& message) = 0;

 protected:
  ~ServerLogSink() = default;
};

// The current server log, null while there is none.  The setter does not
// take ownership; whoever sets it clears it before the log goes away.
ServerLogSink* CurrentServerLog();
void SetCurrentServerLog(ServerLogSink* log);

// Appends one server-log record to `out` and flushes it: the current date
// and time, a tab, `name` left-aligned in at least 48 columns, a tab,
// `message` and a line feed.  A stream in a failed or bad state gets nothing.
void WriteServerLogRecord(std::ostream& out, const std::string& name, const std::string& message);

// The minimum priority comes from the settings store: `value` is its
// serverLogMinPriority and `loaded` tells whether its file has been loaded.
// Until a provider is registered the minimum is 7 and not settled; once a
// provider reports `loaded`, its value holds for the rest of the process.
// Registering a provider starts over (minimum 7, not settled).
struct LogPrioritySetting {
  int value;
  bool loaded;
};
using LogPriorityProvider = LogPrioritySetting (*)();
void SetLogPriorityProvider(LogPriorityProvider provider);

// Writes one record: to the current server log when the level is within
// 0..8 and at or above the minimum priority, and always to standard error
// as name, ":\n", message (no line end added).  Returns the standard error
// handle (2).
int LogMessage(const std::string& name, const std::string& message, int level);
