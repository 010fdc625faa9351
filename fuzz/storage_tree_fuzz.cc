// Fuzzes the storage-tree record reader (OLEStorageEnumerator operator<<):
// the input is read as item records into a fresh storage of a compound file,
// until a record is refused.  Only the framework's failures may come out.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "framework/failures.h"
#include "framework/mem_file.h"
#include "framework/ole_enumerator.h"
#include "framework/ole_storage.h"

namespace {

// One compound file for the whole run, held in memory; it is never written
// after its creation and removed at the end.
struct Scratch {
  std::string path = "/tmp/fuzz_storage_tree_" + std::to_string(getpid()) + ".ole";
  OLEStorage* root = new OLEStorage(path.c_str(), kOLECreate);
  ~Scratch() {
    try {
      delete root;
    } catch (...) {
    }
    std::remove(path.c_str());
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Scratch scratch;
  MemFile in;
  in.PutData(data, static_cast<uint32_t>(size));
  in.Seek(0, SeekBegin);
  OLEStorage tree(*scratch.root, u"Tree", kOLECreate);  // replaces the last input's
  OLEStorageEnumerator items(tree);
  try {
    while (items << in) {
    }
  } catch (const FilterException&) {
  }
  return 0;
}
