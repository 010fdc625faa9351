// Helpers of the storage-wrapper and property-set tests: a scratch folder,
// whole-file reads, running the independent reader (python3-olefile), and
// checking the failure a call raises.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "framework/failures.h"

namespace ole_test {

// A fresh folder, removed with everything in it when the object goes.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "olewrap-XXXXXX").string();
    if (!mkdtemp(pattern.data())) ADD_FAILURE() << "mkdtemp failed";
    path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Runs a Python program with /usr/bin/python3 (the program gets the
// arguments as sys.argv[1:]); returns what it printed and sets `status`.
inline std::string RunPython(const std::string& program, const std::vector<std::string>& args, int& status) {
  std::string command = std::string(BRENIX_PYTHON) + " -c '" + program + "'";
  for (const std::string& arg : args) command += " '" + arg + "'";
  command += " 2>&1";
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) {
    status = -1;
    return output;
  }
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  status = pclose(pipe);
  return output;
}

// The id of the FilterException `call` raises, or 0 when it raises none.
inline int FailureOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const FilterException& failure) {
    return failure.Id();
  }
  return 0;
}

}  // namespace ole_test
