// Fuzzes the property-set reader: the input becomes a property-set stream of
// a compound file and is read with PropertySet::Get.  Only the framework's
// failures may come out.  What was read is written back with Put, and that
// stream must read again without a failure.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "framework/failures.h"
#include "framework/ole_storage.h"
#include "framework/ole_stream.h"
#include "framework/property_set.h"

namespace {

// One compound file for the whole run, held in memory; it is never written
// after its creation and removed at the end.
struct Scratch {
  std::string path = "/tmp/fuzz_property_set_" + std::to_string(getpid()) + ".ole";
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
  OLEStorage& root = *scratch.root;
  {
    OLEStream stream(root, u"In", kOLECreate);
    stream.PutData(data, static_cast<uint32_t>(size));
  }
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
