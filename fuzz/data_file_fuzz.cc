// Ini files from arbitrary bytes: a load never fails on content, and what a
// save writes loads and saves again to the same bytes.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "support/data_file.h"

namespace {

std::string folder;

void Write(const std::string& path, const uint8_t* data, size_t size) {
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data),
                                                                static_cast<std::streamsize>(size));
}

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void RemoveFolder() {
  for (const char* name : {"/in.ini", "/once.ini", "/twice.ini"}) unlink((folder + name).c_str());
  rmdir(folder.c_str());
}

// Loads `from` into a fresh object and saves it as `to`; returns the bytes.
std::string Resave(const std::string& from, const std::string& to) {
  CDataFile ini;
  if (!ini.Load(from)) __builtin_trap();
  ini.SetFileName(to);
  if (!ini.Save()) __builtin_trap();
  return Read(to);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The reports go to standard output; keep the fuzzer's output readable.
  if (!std::freopen("/dev/null", "w", stdout)) return 0;
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/fuzz_data_file.XXXXXX";
  if (mkdtemp(&pattern[0])) {
    folder = pattern;
    std::atexit(RemoveFolder);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (folder.empty()) return 0;
  const std::string in = folder + "/in.ini", once = folder + "/once.ini", twice = folder + "/twice.ini";
  Write(in, data, size);
  const std::string first = Resave(in, once);
  const std::string second = Resave(once, twice);
  if (first != second) __builtin_trap();
  return 0;
}
