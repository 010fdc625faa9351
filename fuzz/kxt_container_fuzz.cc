// Fuzzes the container reader: arbitrary bytes opened as a container, then
// every folder, typed stream and bundle that can be found is opened through
// the container interfaces and read.  Odd first byte: the rest is a whole
// compound file.  Even first byte: the rest is the code-file stream of a
// container whose storages are sound.  Only the framework's failures may
// come out.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

#include "framework/code_file.h"
#include "framework/code_folder.h"
#include "framework/failures.h"
#include "framework/ole_storage.h"
#include "framework/ole_stream.h"
#include "framework/property_set.h"
#include "kxt/kxt_records.h"
#include "kxt/kxt_storage.h"

namespace {

// One in-memory compound file for the whole run (each input gets a fresh
// sub-storage of it) and one scratch path for whole-file inputs.
struct Scratch {
  std::string path = "/tmp/fuzz_kxt_container_" + std::to_string(getpid()) + ".ole";
  std::string file = "/tmp/fuzz_kxt_container_" + std::to_string(getpid()) + ".kxt";
  OLEStorage* root = new OLEStorage(path.c_str(), kOLECreate);
  ~Scratch() {
    try {
      delete root;
    } catch (...) {
    }
    std::remove(path.c_str());
    std::remove(file.c_str());
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
    return seen.size() < 512;
  }
};

// Reads up to 1024 values of the stream when it opens as T.
template <class T>
void Drain(KXT_InFolder2& folder, const std::string& name, int32_t id) {
  KXT_Handle<KXT_InStream2> stream = folder.OpenStream2(typeid(T), name.c_str(), id);
  if (!stream) return;
  auto& in = dynamic_cast<KXT_In<T>&>(*stream);
  T values[16];
  for (int i = 0; i < 64 && in.GetData(values, 16) == 16; ++i) {
  }
}

template <>
void Drain<void>(KXT_InFolder2& folder, const std::string& name, int32_t id) {
  KXT_Handle<KXT_InStream2> stream = folder.OpenStream2(typeid(void), name.c_str(), id);
  if (!stream) return;
  char bytes[1024];
  for (int i = 0; i < 64 && dynamic_cast<KXT_In<void>&>(*stream).GetData(bytes, sizeof bytes) == sizeof bytes; ++i) {
  }
}

void DrainAll(KXT_InFolder2& folder, const std::string& name, int32_t id) {
  try {
    Drain<void>(folder, name, id);
    Drain<bool>(folder, name, id);
    Drain<char>(folder, name, id);
    Drain<unsigned char>(folder, name, id);
    Drain<short>(folder, name, id);
    Drain<unsigned short>(folder, name, id);
    Drain<long>(folder, name, id);
    Drain<unsigned long>(folder, name, id);
    Drain<float>(folder, name, id);
    Drain<double>(folder, name, id);
    Drain<std::string>(folder, name, id);
    Drain<std::u16string>(folder, name, id);
    Drain<Variant>(folder, name, id);
  } catch (const FilterException&) {
  }
}

// Reads up to 4096 records of the child (name, index) as a bundle of R.
template <class R>
void Records(KXT_InFolder2& folder, const std::string& name, int32_t index) {
  try {
    R record;
    KXT_Handle<KXT_InBundle2> bundle = folder.OpenBundle2(record, name.c_str(), index);
    if (!bundle) return;
    for (int i = 0; i < 4096 && bundle->GetRecord(record); ++i) {
    }
  } catch (const FilterException&) {
  }
}

// Walks the container folder alongside the code folder that tells its
// children's and streams' names.
void Walk(KXT_InFolder2& folder, CF_EnumerableInFolder& names, int depth, int& budget) {
  Collector streams, folders;
  names.EnumerateStreams(streams);
  for (const auto& s : streams.seen) DrainAll(folder, s.first, s.second);
  names.EnumerateFolders(folders);
  if (depth == 0) return;
  for (const auto& f : folders.seen) {
    if (--budget < 0) return;
    Records<KXT_NumberedString_In>(folder, f.first, f.second);
    Records<KXT_Attr_Rec_In>(folder, f.first, f.second);
    Records<KXT_SpecialChar_Rec_In>(folder, f.first, f.second);
    Records<KXT_TextVariables_Rec_In>(folder, f.first, f.second);
    Records<KXT_ConditionalText_Rec_In>(folder, f.first, f.second);
    Records<KXT_RefPoint_Rec_In>(folder, f.first, f.second);
    Records<KXT_PlaceHolder_Rec_In>(folder, f.first, f.second);
    try {
      KXT_Handle<KXT_InFolder2> child = folder.OpenFolder2(f.first.c_str(), f.second);
      Owned<CF_EnumerableInFolder> childNames(names.OpenFolder(f.first.c_str(), f.second));
      if (child && childNames.p != nullptr) Walk(*child, *childNames.p, depth - 1, budget);
    } catch (const FilterException&) {
    }
  }
}

void Explore(OLEStorage& storage) {
  KXT_Handle<KXT_InStorage2> container(OpenKXT2(storage));
  if (container->HasPrivateData()) container->PrivateData();
  KXT_Handle<KXT_InFolder2> root = container->OpenKXTFolder2();
  if (!root) return;
  // The names come from a reader of their own over the same code file.
  OLEStorage textAndCode(storage, u"SolvaneTextAndCode", kOLERead);
  Owned<CF_EnumerableInStorage> reader(OpenEnumerableCodeFile(textAndCode));
  Owned<CF_EnumerableInFolder> names(OpenEnumerableCodeFolder(*reader.p));
  int budget = 256;
  Walk(*root, *names.p, 8, budget);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Scratch scratch;
  if (size == 0) return 0;
  try {
    if (data[0] & 1) {
      FILE* out = std::fopen(scratch.file.c_str(), "wb");
      if (out == nullptr) return 0;
      std::fwrite(data + 1, 1, size - 1, out);
      std::fclose(out);
      OLEStorage storage(scratch.file.c_str(), kOLERead);
      Explore(storage);
    } else {
      OLEStorage storage(*scratch.root, u"t", kOLECreate);
      {
        OLEStorage textAndCode(storage, u"SolvaneTextAndCode", kOLECreate);
        {
          OLEStream stream(textAndCode, u"SolvaneCodeFile", kOLECreate);
          stream.PutData(data + 1, static_cast<uint32_t>(size - 1));
        }
        PropertySet summary(u"\x0005SolvaneSummaryInformation");
        summary += Property(3001, Variant(uint16_t{1}));
        summary += Property(3000, Variant(uint16_t{1}));
        summary.Put(textAndCode);
      }
      Explore(storage);
    }
  } catch (const FilterException&) {
  }
  return 0;
}
