// Fuzzes the storage-tree record reader (OLEStorageEnumerator operator<<):
// the input is read as item records into a fresh storage of a compound file,
// until a record is refused.  Only the framework's failures may come out.
#include <cstddef>
#include <cstdint>

#include "framework/failures.h"
#include "framework/mem_file.h"
#include "framework/ole_enumerator.h"
#include "framework/ole_storage.h"
#include "tests/common/scratch_storage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // One compound file for the whole run, held in memory.
  static testutil::ScratchStorage scratch("fuzz_storage_tree");
  MemFile in;
  in.PutData(data, static_cast<uint32_t>(size));
  in.Seek(0, SeekBegin);
  OLEStorage tree(scratch.root(), u"Tree", kOLECreate);  // replaces the last input's
  OLEStorageEnumerator items(tree);
  try {
    while (items << in) {
    }
  } catch (const FilterException&) {
  }
  return 0;
}
