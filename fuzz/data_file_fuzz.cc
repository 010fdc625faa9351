// Ini files from arbitrary bytes: a load never fails on content, and what a
// save writes loads and saves again to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "support/data_file.h"
#include "tests/common/files.h"
#include "tests/common/temp_dir.h"

namespace {

std::string folder;

// Loads `from` into a fresh object and saves it as `to`; returns the bytes.
std::string Resave(const std::string& from, const std::string& to) {
  CDataFile ini;
  if (!ini.Load(from)) __builtin_trap();
  ini.SetFileName(to);
  if (!ini.Save()) __builtin_trap();
  return testutil::ReadFile(to);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The reports go to standard output; keep the fuzzer's output readable.
  if (!std::freopen("/dev/null", "w", stdout)) return 0;
  static const testutil::TempDir dir("fuzz_data_file");  // removed at exit
  folder = dir.path();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string in = folder + "/in.ini", once = folder + "/once.ini", twice = folder + "/twice.ini";
  testutil::WriteFile(in, std::string(reinterpret_cast<const char*>(data), size));
  const std::string first = Resave(in, once);
  const std::string second = Resave(once, twice);
  if (first != second) __builtin_trap();
  return 0;
}
