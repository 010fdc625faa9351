// Running a Python program with /usr/bin/python3, the independent reader of
// many tests (python3-olefile, zlib, configparser).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/common/run_command.h"

namespace testutil {

// Runs `program` with the arguments in sys.argv[1:]; returns what it printed
// on standard output and standard error and stores its exit status.
inline std::string RunPython(const std::string& program, const std::vector<std::string>& args, int* status) {
  std::string command = std::string(BRENIX_PYTHON) + " -c " + ShellQuote(program);
  for (const std::string& arg : args) command += " " + ShellQuote(arg);
  return RunCommand(command, status, true);
}

// The same, where a run that fails fails the test.
inline std::string PythonOutput(const std::string& program, const std::vector<std::string>& args) {
  int status = 0;
  std::string out = RunPython(program, args, &status);
  if (status != 0) ADD_FAILURE() << "python failed (" << status << "): " << out;
  return out;
}

}  // namespace testutil
