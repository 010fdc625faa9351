#include "kxt/kxt_folder.h"

#include "framework/cf_format.h"
#include "framework/code_file.h"
#include "framework/failures.h"
#include "framework/ole_storage.h"
#include "kxt/kxt_bundle_impl.h"
#include "kxt/kxt_completion.h"
#include "kxt/kxt_folder_impl.h"
#include "kxt/typed_stream_impl.h"

namespace {

// A name the folders can hold, for reading: the code folders compose any
// name they are given, so the separator bytes are refused here.
const char* Checked(const char* name) {
  if (name == nullptr) Error(kKXTFailBadName);
  // Names are short: a plain scan beats setting up a library search.  The
  // bytes 0x00, 0x01 and 0x02 are the only ones at or below 2, so one
  // comparison a byte finds the end or a separator.
  const char* p = name;
  while (static_cast<unsigned char>(*p) > 0x02) ++p;
  if (*p != '\0') Error(kKXTFailBadName);
  return name;
}

// The same for writing: a code folder refuses the separator bytes itself,
// with the same failure and before it makes anything, so only the null
// name (which it would take as empty) is left to refuse here.
const char* NotNull(const char* name) {
  static_assert(cf::kFailBadName == kKXTFailBadName, "the code folders refuse bad names with the same failure");
  if (name == nullptr) Error(kKXTFailBadName);
  return name;
}

}  // namespace

// --- writing ---------------------------------------------------------------

KXT_Handle<KXT_OutFolder_Impl> KXT_OutFolder_Impl::NewRoot(OLEStorage& storage, bool compress) {
  KXT_Handle<KXT_OutContainer> container;
  {
    KXT_Owned<CF_OutStorage> writer(CreateCodeFile(storage, compress));
    container = KXT_Handle<KXT_OutContainer>(new KXT_OutContainer(writer.get()));
    writer.release();
  }
  // Declared after the container, so on a failure the root code folder goes
  // before the writer.
  KXT_Owned<CF_OutFolder> root(CreateCodeFolder(container->File()));
  auto* folder = new KXT_OutFolder_Impl(container, root.get());
  root.release();
  return KXT_Handle<KXT_OutFolder_Impl>(folder);
}

KXT_OutFolder_Impl::~KXT_OutFolder_Impl() noexcept(false) {
  KXT_Completion done;
  done.RunDelete(folder_);  // writes the table of children
  done.Run([this] { container_.reset(); });
  done.Finish();
}

KXT_Handle<KXT_OutFolder2> KXT_OutFolder_Impl::CreateFolder2(const char* name, int32_t index) {
  KXT_Owned<CF_OutFolder> child(folder_->CreateFolder(NotNull(name), index));
  auto* made = new KXT_OutFolder_Impl(container_, child.get());
  child.release();
  return KXT_Handle<KXT_OutFolder2>(made);
}

KXT_Handle<KXT_OutStream2> KXT_OutFolder_Impl::CreateStream2(const std::type_info& type, const char* name,
                                                             int32_t id) {
  return KXT_CreateTypedStream(*folder_, container_, type, NotNull(name), id);
}

KXT_Handle<KXT_OutBundle2> KXT_OutFolder_Impl::CreateBundle2(const KXT_FieldsEnumerator& prototype,
                                                             const char* name, int32_t index) {
  KXT_Handle<KXT_OutFolder2> folder = CreateFolder2(name, index);
  return KXT_Handle<KXT_OutBundle2>(new KXT_OutBundle_Impl(container_, folder, prototype));
}

void KXT_OutFolder_Impl::ProcessFolder(KXT_OutFolderProcessor& processor, const char* name, int32_t index) {
  KXT_Handle<KXT_OutFolder2> child = CreateFolder2(name, index);
  processor.Call(*child);
}

void KXT_OutFolder_Impl::ProcessStream(KXT_OutStreamProcessor& processor, const std::type_info& type,
                                       const char* name, int32_t id) {
  KXT_Handle<KXT_OutStream2> stream = CreateStream2(type, name, id);
  processor.Call(*stream);
}

void KXT_OutFolder_Impl::ProcessBundle(KXT_OutBundleProcessor& processor, const KXT_FieldsEnumerator& prototype,
                                       const char* name, int32_t index) {
  KXT_Handle<KXT_OutBundle2> bundle = CreateBundle2(prototype, name, index);
  processor.Call(*bundle);
}

// --- reading ---------------------------------------------------------------

KXT_Handle<KXT_InFolder_Impl> KXT_InFolder_Impl::OpenRoot(OLEStorage& storage) {
  KXT_Handle<KXT_InContainer> container;
  {
    KXT_Owned<CF_InStorage> reader(OpenCodeFile(storage));
    if (reader.get() == nullptr) return nullptr;
    container = KXT_Handle<KXT_InContainer>(new KXT_InContainer(reader.get()));
    reader.release();
  }
  KXT_Owned<CF_InFolder> root(OpenCodeFolder(container->File()));
  if (root.get() == nullptr) return nullptr;
  auto* folder = new KXT_InFolder_Impl(container, root.get());
  root.release();
  return KXT_Handle<KXT_InFolder_Impl>(folder);
}

KXT_InFolder_Impl::~KXT_InFolder_Impl() noexcept(false) {
  KXT_Completion done;
  done.RunDelete(folder_);
  done.Run([this] { container_.reset(); });
  done.Finish();
}

KXT_Handle<KXT_InFolder2> KXT_InFolder_Impl::OpenFolder2(const char* name, int32_t index) {
  return OpenFolderExpecting(name, index, nullptr);
}

KXT_Handle<KXT_InFolder2> KXT_InFolder_Impl::OpenFolderExpecting(const char* name, int32_t index,
                                                                 const char* expected) {
  KXT_Owned<CF_InFolder> child(folder_->OpenFolderExpecting(Checked(name), index, expected));
  if (child.get() == nullptr) return nullptr;
  auto* made = new KXT_InFolder_Impl(container_, child.get());
  child.release();
  return KXT_Handle<KXT_InFolder2>(made);
}

KXT_Handle<KXT_InStream2> KXT_InFolder_Impl::OpenStream2(const std::type_info& type, const char* name,
                                                         int32_t id) {
  return KXT_OpenTypedStream(*folder_, container_, type, Checked(name), id);
}

KXT_Handle<KXT_InBundle2> KXT_InFolder_Impl::OpenBundle2(const KXT_FieldsEnumerator& prototype, const char* name,
                                                         int32_t index) {
  KXT_Handle<KXT_InFolder2> folder = OpenFolder2(name, index);
  if (!folder) return nullptr;
  return KXT_Handle<KXT_InBundle2>(new KXT_InBundle_Impl(container_, folder, prototype));
}

bool KXT_InFolder_Impl::EnumerateFolders(CF_EnumerableInStorage::IdentifierReceiver& receiver) {
  // Every code folder the reader opens keeps its table; one that kept none
  // would have no children to report.
  auto* enumerable = dynamic_cast<CF_EnumerableInFolder*>(folder_);
  return enumerable == nullptr || enumerable->EnumerateFolders(receiver);
}

bool KXT_InFolder_Impl::ProcessFolder(KXT_InFolderProcessor& processor, const char* name, int32_t index) {
  KXT_Handle<KXT_InFolder2> child = OpenFolder2(name, index);
  if (!child) return false;
  processor.Call(*child);
  return true;
}

bool KXT_InFolder_Impl::ProcessStream(KXT_InStreamProcessor& processor, const std::type_info& type,
                                      const char* name, int32_t id) {
  KXT_Handle<KXT_InStream2> stream = OpenStream2(type, name, id);
  if (!stream) return false;
  processor.Call(*stream);
  return true;
}

bool KXT_InFolder_Impl::ProcessBundle(KXT_InBundleProcessor& processor, const KXT_FieldsEnumerator& prototype,
                                      const char* name, int32_t index) {
  KXT_Handle<KXT_InBundle2> bundle = OpenBundle2(prototype, name, index);
  if (!bundle) return false;
  processor.Call(*bundle);
  return true;
}

// --- entry points ----------------------------------------------------------

KXT_Handle<KXT_OutFolder2> CreateKXTFolder2(OLEStorage& storage, bool compress) {
  return KXT_OutFolder_Impl::NewRoot(storage, compress);
}

KXT_Handle<KXT_InFolder2> OpenKXTFolder2(OLEStorage& storage) { return KXT_InFolder_Impl::OpenRoot(storage); }

void CreateKXTFolder(KXT_OutFolderProcessor& processor, OLEStorage& storage, bool compress) {
  KXT_Handle<KXT_OutFolder2> root = CreateKXTFolder2(storage, compress);
  processor.Call(*root);
}

bool OpenKXTFolder(KXT_InFolderProcessor& processor, OLEStorage& storage) {
  KXT_Handle<KXT_InFolder2> root = OpenKXTFolder2(storage);
  if (!root) return false;
  processor.Call(*root);
  return true;
}
