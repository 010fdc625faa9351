// The registry tree on disk as an outside hand may leave it: the input
// builds the folders and files below the batch flag's key (folder names
// taken from it byte for byte, escapes included), then the plug-in's walks
// run over it: enumeration of every key, the batch-flag claim, and the
// deletion of the whole flag.  Nothing may crash or recurse without end, a
// claim is there after it was made, and nothing outside the tree is touched.
//
// Input: lines; the first byte of a line says what the rest makes, a path
// of names separated by '/' below the flag key: 'd' a folder, 'v' a value
// file (the text after the first '=' is its content), 'l' a link to the
// folder above it, 'o' a link to a file outside the tree, 'p' a pipe.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/quiet.h"
#include "support/reg_key.h"
#include "tests/common/files.h"
#include "tests/common/registry_root.h"
#include "tests/common/temp_dir.h"

namespace {

std::string root;
std::string outside;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

std::string FlagFolder() {
  return root + "/HKEY_LOCAL_MACHINE/SOFTWARE/PELMO Translation Technology/" + kBatchModeKeyName;
}

// A name the file system takes: not empty, no '/', no NUL, not "." or "..".
bool Usable(const std::string& name) {
  return !name.empty() && name.size() < 200 && name != "." && name != ".." &&
         name.find('\0') == std::string::npos;
}

void Build(const std::string& line) {
  if (line.size() < 2) return;
  std::string path = line.substr(1);
  std::string content;
  if (line[0] == 'v') {
    const std::size_t equals = path.find('=');
    if (equals != std::string::npos) {
      content = path.substr(equals + 1);
      path.erase(equals);
    }
  }
  std::string at = FlagFolder();
  std::size_t begin = 0;
  for (int depth = 0; depth < 8; ++depth) {
    const std::size_t end = path.find('/', begin);
    const std::string name = path.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
    if (!Usable(name)) return;
    at += "/" + name;
    if (end == std::string::npos) break;
    mkdir(at.c_str(), 0777);
    begin = end + 1;
  }
  if (testutil::Exists(at)) return;  // never write into a pipe or through a link
  switch (line[0]) {
    case 'd':
      mkdir(at.c_str(), 0777);
      break;
    case 'v':
      testutil::WriteFile(at, content);
      break;
    case 'l':
      if (symlink("..", at.c_str()) != 0) return;
      break;
    case 'o':
      if (symlink(outside.c_str(), at.c_str()) != 0) return;
      break;
    case 'p':
      mkfifo(at.c_str(), 0600);
      break;
  }
}

// Walks every key below `key`, depth first; returns how many it met.
int Walk(win::HKey key, int depth) {
  Check(depth < 64);
  int count = 0;
  for (uint32_t index = 0; index < 512; ++index) {
    char name[257];
    uint32_t length = sizeof name;
    if (win::RegEnumKeyEx(key, index, name, &length) != win::kErrorSuccess) break;
    Check(length > 0 && std::string(name) != "." && std::string(name) != "..");
    win::HKey child = 0;
    if (win::RegOpenKeyEx(key, name, 0, win::kKeyRead, &child) != win::kErrorSuccess) continue;
    count += 1 + Walk(child, depth + 1);
    win::RegCloseKey(child);
  }
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  QuietFuzzTarget(argc, argv);
  // A tree in memory when the machine has one: the registry flushes every
  // value it writes to disk.
  if (testutil::IsDirectory("/dev/shm")) setenv("TMPDIR", "/dev/shm", 1);
  static const testutil::RegistryRoot registry;  // removed at exit
  static const testutil::TempDir elsewhere("fuzz_registry_tree");
  root = registry.path();
  outside = elsewhere.File("keep");
  testutil::WriteFile(outside, "outside");
  // The claim's program-log lines go to a scratch folder.
  if (chdir(elsewhere.path().c_str()) != 0) abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  testutil::RemoveTree(root + "/HKEY_LOCAL_MACHINE");
  {
    RegKey maker = RegKey::OpenMakerKey();
    RegKey flag(maker.Handle(), kBatchModeKeyName, 0, win::kKeyAllAccess);
  }
  const std::string input(reinterpret_cast<const char*>(data), size);
  for (std::size_t begin = 0, lines = 0; begin < input.size() && lines < 64; ++lines) {
    std::size_t end = input.find('\n', begin);
    if (end == std::string::npos) end = input.size();
    Build(input.substr(begin, end - begin));
    begin = end + 1;
  }

  RegKey maker = RegKey::OpenMakerKey();
  {
    RegKey flag(maker.Handle(), kBatchModeKeyName, 0, win::kKeyAllAccess);
    Walk(flag.Handle(), 0);
    // The claim, as the first instance makes it.
    std::string claimed;
    const int32_t read = flag.ReadString(claimed, "Brenix");
    if (read == win::kErrorFileNotFound) {
      try {
        if (flag.SetStringIfAbsent("Brenix", "Started")) Check(flag.QueryString(claimed, "Brenix"));
      } catch (uint32_t) {
      }
    }
  }
  const int32_t deleted = maker.DeleteTree(kBatchModeKeyName);
  if (deleted == win::kErrorSuccess) Check(!RegKey::KeyExists(maker.Handle(), kBatchModeKeyName));
  Check(testutil::ReadFile(outside) == "outside");
  return 0;
}
