// Fuzzes the code-file reader and the code folders over it.  The first input
// byte chooses the format version in the summary set, the rest becomes the
// "SolvaneCodeFile" stream of a compound file; then every stream and folder
// that can be found is opened and read.  Only the framework's own failures
// may come out.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "framework/code_file.h"
#include "framework/code_folder.h"
#include "framework/failures.h"
#include "framework/ole_storage.h"
#include "framework/ole_stream.h"
#include "framework/property_set.h"

namespace {

// One compound file for the whole run; each input goes into a fresh
// sub-storage of it, so nothing touches the disk until the end.
struct Scratch {
  std::string path = "/tmp/fuzz_code_file_" + std::to_string(getpid()) + ".ole";
  OLEStorage* root = new OLEStorage(path.c_str(), kOLECreate);
  ~Scratch() {
    try {
      delete root;
    } catch (...) {
    }
    std::remove(path.c_str());
  }
};

template <class T>
struct Owned {
  T* p;
  explicit Owned(T* q) : p(q) {}
  ~Owned() noexcept(false) { delete p; }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
};

struct Collector : CF_EnumerableInStorage::IdentifierReceiver {
  std::vector<std::pair<std::string, int32_t>> seen;
  bool Receive(const char* name, int32_t id) override {
    seen.emplace_back(name, id);
    return seen.size() < 4096;
  }
};

// Reads up to 1 MiB of a stream; a damaged stream may fail.
void Drain(CF_InStorage& storage, const std::string& name, int32_t id) {
  try {
    Owned<CF_InStream> stream(storage.OpenStream(name.c_str(), id));
    if (stream.p == nullptr) return;
    char buffer[4096];
    for (int i = 0; i < 256 && stream.p->GetData(buffer, sizeof buffer) == sizeof buffer; ++i) {
    }
  } catch (const FilterException&) {
  }
}

void Walk(CF_EnumerableInFolder& folder, int depth, int& budget) {
  Collector streams, folders;
  folder.EnumerateStreams(streams);
  for (const auto& s : streams.seen) Drain(folder, s.first, s.second);
  folder.EnumerateFolders(folders);
  if (depth == 0) return;
  for (const auto& f : folders.seen) {
    if (--budget < 0) return;
    try {
      Owned<CF_EnumerableInFolder> child(folder.OpenFolder(f.first.c_str(), f.second));
      if (child.p != nullptr) Walk(*child.p, depth - 1, budget);
    } catch (const FilterException&) {
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Scratch scratch;
  if (size == 0) return 0;
  static const uint16_t versions[8][2] = {{1, 1}, {1, 1}, {1, 1}, {1, 0}, {0, 1}, {0, 0}, {1, 2}, {2, 0}};
  const uint16_t* version = versions[data[0] & 7];
  try {
    OLEStorage storage(*scratch.root, u"t", kOLECreate);
    {
      OLEStream stream(storage, u"SolvaneCodeFile", kOLECreate);
      stream.PutData(data + 1, static_cast<uint32_t>(size - 1));
    }
    PropertySet summary(u"\x0005SolvaneSummaryInformation");
    summary += Property(3001, Variant(version[0]));
    summary += Property(3000, Variant(version[1]));
    summary.Put(storage);

    Owned<CF_EnumerableInStorage> reader(OpenEnumerableCodeFile(storage));
    Collector all;
    reader.p->EnumerateStreams(all);
    for (const auto& s : all.seen) Drain(*reader.p, s.first, s.second);
    Owned<CF_EnumerableInFolder> root(OpenEnumerableCodeFolder(*reader.p));
    Owned<CF_EnumerableInStorage> unfolded(root.p->UnfoldedStorage());
    Collector flat;
    unfolded.p->EnumerateStreams(flat);
    for (const auto& s : flat.seen) Drain(*unfolded.p, s.first, s.second);
    int budget = 256;
    Walk(*root.p, 8, budget);
  } catch (const FilterException&) {
  }
  return 0;
}
