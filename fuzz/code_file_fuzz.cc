// Fuzzes the code-file reader and the code folders over it.  The first input
// byte chooses the format version in the summary set, the rest becomes the
// "SolvaneCodeFile" stream of a compound file; then every stream and folder
// that can be found is opened and read.  Only the framework's own failures
// may come out.
#include <cstddef>
#include <cstdint>
#include <string>

#include "framework/code_file.h"
#include "framework/code_folder.h"
#include "framework/failures.h"
#include "framework/ole_storage.h"
#include "tests/common/code_file_helpers.h"
#include "tests/common/owned.h"
#include "tests/common/scratch_storage.h"

namespace {

using testutil::Owned;

// What one enumeration may report.
constexpr size_t kNamesPerEnumeration = 4096;

// Reads up to 1 MiB of a stream; a damaged stream may fail.
void Drain(CF_InStorage& storage, const std::string& name, int32_t id) {
  try {
    Owned<CF_InStream> stream(storage.OpenStream(name.c_str(), id));
    if (!stream) return;
    char buffer[4096];
    for (int i = 0; i < 256 && stream->GetData(buffer, sizeof buffer) == sizeof buffer; ++i) {
    }
  } catch (const FilterException&) {
  }
}

void Walk(CF_EnumerableInFolder& folder, int depth, int& budget) {
  testutil::IdCollector streams(kNamesPerEnumeration), folders(kNamesPerEnumeration);
  folder.EnumerateStreams(streams);
  for (const auto& s : streams.seen) Drain(folder, s.first, s.second);
  folder.EnumerateFolders(folders);
  if (depth == 0) return;
  for (const auto& f : folders.seen) {
    if (--budget < 0) return;
    try {
      Owned<CF_EnumerableInFolder> child(folder.OpenFolder(f.first.c_str(), f.second));
      if (child) Walk(*child, depth - 1, budget);
    } catch (const FilterException&) {
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // One compound file for the whole run; each input goes into a fresh
  // sub-storage of it, so nothing touches the disk until the end.
  static testutil::ScratchStorage scratch("fuzz_code_file");
  if (size == 0) return 0;
  static const int versions[8][2] = {{1, 1}, {1, 1}, {1, 1}, {1, 0}, {0, 1}, {0, 0}, {1, 2}, {2, 0}};
  const int* version = versions[data[0] & 7];
  try {
    OLEStorage storage(scratch.root(), u"t", kOLECreate);
    testutil::PutCodeFileStream(storage, std::string(reinterpret_cast<const char*>(data) + 1, size - 1), version[0],
                                version[1]);

    Owned<CF_EnumerableInStorage> reader(OpenEnumerableCodeFile(storage));
    testutil::IdCollector all(kNamesPerEnumeration);
    reader->EnumerateStreams(all);
    for (const auto& s : all.seen) Drain(*reader, s.first, s.second);
    Owned<CF_EnumerableInFolder> root(OpenEnumerableCodeFolder(*reader));
    Owned<CF_EnumerableInStorage> unfolded(root->UnfoldedStorage());
    testutil::IdCollector flat(kNamesPerEnumeration);
    unfolded->EnumerateStreams(flat);
    for (const auto& s : flat.seen) Drain(*unfolded, s.first, s.second);
    int budget = 256;
    Walk(*root, 8, budget);
  } catch (const FilterException&) {
  }
  return 0;
}
