// Fuzzes the property-set reader: the input becomes a property-set stream of
// a compound file and is read with PropertySet::Get.  Only the framework's
// failures may come out.  What was read is written back with Put, and that
// stream must read again without a failure.
#include <cstddef>
#include <cstdint>
#include <string>

#include "framework/failures.h"
#include "framework/ole_storage.h"
#include "framework/property_set.h"
#include "tests/common/ole_streams.h"
#include "tests/common/scratch_storage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // One compound file for the whole run, held in memory.
  static testutil::ScratchStorage scratch("fuzz_property_set");
  OLEStorage& root = scratch.root();
  testutil::PutStreamBytes(root, u"In", std::string(reinterpret_cast<const char*>(data), size));
  PropertySet set(u"In");
  try {
    set.Get(root);
  } catch (const FilterException&) {
    return 0;
  }
  PropertySet copy(u"Out");
  copy += set;
  copy.Put(root);
  PropertySet again(u"Out");
  again.Get(root);  // what Put wrote must read back
  return 0;
}
