// Arbitrary bytes as a stored registry value and as a key path: reads never
// crash, and a value either reads whole or is reported damaged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/quiet.h"
#include "platform/win/registry.h"
#include "tests/common/files.h"
#include "tests/common/registry_root.h"

namespace {

std::string root;
win::HKey key = 0;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  QuietFuzzTarget(argc, argv);
  static const testutil::RegistryRoot registry;  // removed at exit
  root = registry.path();
  if (win::RegCreateKeyEx(win::kHKeyLocalMachine, "Fuzz", 0, nullptr, 0, win::kKeyAllAccess, nullptr, &key,
                          nullptr) != 0) {
    abort();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The bytes as the value file of "v".
  testutil::WriteFile(root + "/HKEY_LOCAL_MACHINE/Fuzz/\\v", std::string(reinterpret_cast<const char*>(data), size));
  uint32_t type = 0;
  uint32_t length = 0;
  const int32_t sized = win::RegQueryValueEx(key, "V", nullptr, &type, nullptr, &length);
  Check(sized == (size < 4 ? win::kErrorBadDb : win::kErrorSuccess));
  if (sized == 0) {
    Check(length == size - 4);
    std::vector<uint8_t> buffer(length + 1);
    uint32_t got = length + 1;
    Check(win::RegQueryValueEx(key, "v", nullptr, nullptr, buffer.data(), &got) == 0 && got == length);
    Check(length == 0 || std::memcmp(buffer.data(), data + 4, length) == 0);
    if (length > 0) {
      got = length - 1;
      Check(win::RegQueryValueEx(key, "v", nullptr, nullptr, buffer.data(), &got) == win::kErrorMoreData);
    }
  }

  // The bytes as a key path below the key and as a value name.
  const std::string text(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size));
  win::HKey opened = 0;
  if (win::RegOpenKeyEx(key, text.c_str(), 0, win::kKeyRead, &opened) == 0) win::RegCloseKey(opened);
  length = 0;
  win::RegQueryValueEx(key, text.c_str(), nullptr, nullptr, nullptr, &length);
  char name[257];
  uint32_t nameLength = sizeof name;
  win::RegEnumKeyEx(key, 0, name, &nameLength);
  return 0;
}
