// Ini files from arbitrary bytes: a load never fails on content, and what a
// save writes loads and saves again to the same bytes.  The files are held
// in memory, so that the target spends its time in the ini class.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz/quiet.h"
#include "support/data_file.h"
#include "tests/common/memory_ini_storage.h"

namespace {

testutil::MemoryIniStorage* files = nullptr;

// Loads `from` into a fresh object and saves it as `to`; returns the bytes.
std::string Resave(const std::string& from, const std::string& to) {
  CDataFile ini;
  if (!ini.Load(from)) __builtin_trap();
  ini.SetFileName(to);
  if (!ini.Save()) __builtin_trap();
  return files->files[to];
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  QuietFuzzTarget(argc, argv);
  // The reports go to standard output; keep the fuzzer's output readable.
  if (!std::freopen("/dev/null", "w", stdout)) return 0;
  static testutil::MemoryIniStorage storage;
  files = &storage;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  files->files["in.ini"].assign(reinterpret_cast<const char*>(data), size);
  const std::string first = Resave("in.ini", "once.ini");
  const std::string second = Resave("once.ini", "twice.ini");
  if (first != second) __builtin_trap();
  return 0;
}
