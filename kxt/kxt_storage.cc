#include "kxt/kxt_storage.h"

#include "framework/ole_object.h"
#include "kxt/kxt_completion.h"
#include "kxt/kxt_folder_impl.h"
#include "kxt/kxt_storage_impl.h"
#include "kxt/v1_book.h"

namespace {

constexpr char16_t kTextAndCode[] = u"SolvaneTextAndCode";
constexpr char16_t kPrivateData[] = u"SolvanePluginPrivateData";
constexpr char16_t kCodeFile[] = u"SolvaneCodeFile";

// Closes the storages in order (private data, text and code, the caller's),
// every one even after a failure.
void CloseAll(OLEStorage*& privateData, OLEStorage*& textAndCode, OLEStorage*& file) {
  KXT_Completion done;
  for (OLEStorage** storage : {&privateData, &textAndCode, &file}) done.RunDelete(*storage);
  done.Finish();
}

}  // namespace

// --- writing ---------------------------------------------------------------

KXT_OutStorage_Impl::KXT_OutStorage_Impl(OLEStorage& storage, bool compress) : compress_(compress) {
  KXT_Owned<OLEStorage> file(new OLEStorage(storage));
  textAndCode_ = new OLEStorage(*file.get(), kTextAndCode, kOLECreate);
  file_ = file.release();
}

KXT_OutStorage_Impl::~KXT_OutStorage_Impl() noexcept(false) { CloseAll(privateData_, textAndCode_, file_); }

OLEStorage* KXT_OutStorage_Impl::PrivateData() {
  if (privateData_ == nullptr) privateData_ = new OLEStorage(*file_, kPrivateData, kOLECreate);
  return privateData_;
}

KXT_Handle<KXT_OutFolder2> KXT_OutStorage_Impl::CreateKXTFolder2() {
  // The writer of the earlier tree still holds the code-file stream open.
  if (!tree_.expired()) OLEObject::Abort(ole::STG_E_ACCESSDENIED, kCodeFile);
  KXT_Handle<KXT_OutFolder_Impl> root = KXT_OutFolder_Impl::NewRoot(*textAndCode_, compress_);
  tree_ = root->Container()->Liveness();
  return root;
}

void KXT_OutStorage_Impl::CreateKXTFolder(KXT_Book_Out& book) {
  KXT_Book_Out_Creator creator(book);
  KXT_Handle<KXT_OutFolder2> root = CreateKXTFolder2();
  creator.Call(*root);
}

KXT_OutStorage2* CreateKXT2(OLEStorage& storage, bool compress) { return new KXT_OutStorage_Impl(storage, compress); }

KXT_OutStorage* CreateKXT(OLEStorage& storage) { return CreateKXT2(storage, false); }

KXT_OutStorage* CreateKXT(OLEStorage& storage, bool compress) { return CreateKXT2(storage, compress); }

// --- reading ---------------------------------------------------------------

KXT_InStorage_Impl::KXT_InStorage_Impl(OLEStorage& storage) {
  KXT_Owned<OLEStorage> file(new OLEStorage(storage));
  textAndCode_ = new OLEStorage(*file.get(), kTextAndCode, kOLERead);
  file_ = file.release();
}

KXT_InStorage_Impl::~KXT_InStorage_Impl() noexcept(false) { CloseAll(privateData_, textAndCode_, file_); }

bool KXT_InStorage_Impl::HasPrivateData() {
  // Asking the storage about an element this object holds open would fail.
  return privateData_ != nullptr || file_->StorageExists(kPrivateData);
}

OLEStorage* KXT_InStorage_Impl::PrivateData() {
  if (privateData_ == nullptr) privateData_ = new OLEStorage(*file_, kPrivateData, kOLERead);
  return privateData_;
}

KXT_Handle<KXT_InFolder2> KXT_InStorage_Impl::OpenKXTFolder2() { return ::OpenKXTFolder2(*textAndCode_); }

bool KXT_InStorage_Impl::OpenKXTFolder(KXT_Book_In& book) {
  KXT_Handle<KXT_InFolder2> root = OpenKXTFolder2();
  if (!root) return false;
  KXT_Book_In_Opener opener(book);
  opener.Call(*root);
  return true;
}

KXT_InStorage2* OpenKXT2(OLEStorage& storage) { return new KXT_InStorage_Impl(storage); }

KXT_InStorage* OpenKXT(OLEStorage& storage) { return OpenKXT2(storage); }
