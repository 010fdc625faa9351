// Running a shell command and collecting what it prints.
#pragma once

#include <stdio.h>
#include <sys/wait.h>

#include <string>

namespace testutil {

// `text` as one word for the shell, whatever it holds.
inline std::string ShellQuote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Runs `command` with /bin/sh; returns its standard output, with its standard
// error when `withStderr` (else that is dropped), and stores its exit status
// in `*status` (-1 when it could not run or did not exit).
inline std::string RunCommand(const std::string& command, int* status, bool withStderr = false) {
  const std::string full = command + (withStderr ? " 2>&1" : " 2>/dev/null");
  std::string out;
  FILE* pipe = popen(full.c_str(), "r");
  if (pipe == nullptr) {
    *status = -1;
    return out;
  }
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  const int rc = pclose(pipe);
  *status = rc != -1 && WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

}  // namespace testutil
