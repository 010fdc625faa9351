// The program log and the prioritised log records.
//
// ProgramLog() is the text stream on "BrenixLogfile.txt" (in the process's
// current folder, truncated when first used) into which the plug-in writes
// free-form lines.  It is made on first use and never destroyed, so it can be
// written to from anywhere, at load and at unload alike.
#pragma once

#include <ostream>
#include <string>

std::ostream& ProgramLog();

// Writes one record: to the server log when one exists and the level is
// within 0..8 and at or above the minimum priority, and always to standard
// error as name, ":\n", message.  Returns the standard error handle (2).
int LogMessage(const std::string& name, const std::string& message, int level);
