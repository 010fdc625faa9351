// Fuzzes the container reader: arbitrary bytes opened as a container, then
// every folder, typed stream and bundle that can be found is opened through
// the container interfaces and read.  Odd first byte: the rest is a whole
// compound file.  Even first byte: the rest is the code-file stream of a
// container whose storages are sound.  Only the framework's failures may
// come out.
#include <cstddef>
#include <cstdint>
#include <string>
#include <typeinfo>

#include "framework/code_file.h"
#include "framework/code_folder.h"
#include "framework/failures.h"
#include "framework/ole_storage.h"
#include "fuzz/container_input.h"
#include "kxt/kxt_records.h"
#include "kxt/kxt_storage.h"
#include "tests/common/code_file_helpers.h"
#include "tests/common/owned.h"

namespace {

using testutil::Owned;

// What an enumeration of one folder may report.
constexpr size_t kNamesPerFolder = 512;

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
  testutil::IdCollector streams(kNamesPerFolder), folders(kNamesPerFolder);
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
      if (child && childNames) Walk(*child, *childNames, depth - 1, budget);
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
  Owned<CF_EnumerableInFolder> names(OpenEnumerableCodeFolder(*reader));
  int budget = 256;
  Walk(*root, *names, 8, budget);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ExploreContainerInput(data, size, "fuzz_kxt_container", Explore);
  return 0;
}
