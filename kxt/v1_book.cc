#include "kxt/v1_book.h"

#include "framework/failures.h"
#include "framework/ole_storage.h"

namespace {

constexpr char kBook[] = "Book/";
constexpr char kObjectsPool[] = "ObjectsPool/";
constexpr char kStringsMap[] = "StringsMap{}";
constexpr char kAttrs[] = "Attrs{}";

// Points `slot` at a folder for as long as it lives, also when a failure
// passes through.
template <class Folder>
class Keep {
 public:
  Keep(Folder*& slot, Folder& folder) : slot_(slot) { slot_ = &folder; }
  Keep(const Keep&) = delete;
  Keep& operator=(const Keep&) = delete;
  ~Keep() { slot_ = nullptr; }

 private:
  Folder*& slot_;
};

}  // namespace

// Hands the folder it is given to the book's Process.
class KXT_Book_Out_Processor : public KXT_OutFolderProcessor {
 public:
  explicit KXT_Book_Out_Processor(KXT_Book_Out& book) : book_(book) {}
  void Call(KXT_OutFolder& folder) override { book_.Process(folder); }

 private:
  KXT_Book_Out& book_;
};

class KXT_Book_In_Processor : public KXT_InFolderProcessor {
 public:
  explicit KXT_Book_In_Processor(KXT_Book_In& book) : book_(book) {}
  void Call(KXT_InFolder& folder) override { book_.Process(folder); }

 private:
  KXT_Book_In& book_;
};

// --- writing ---------------------------------------------------------------

void KXT_Book_Out::ProcessDocumentsSet(KXT_OutFolder&, KXT_OutFolderProcessor& processor, const char* name) {
  if (book_ == nullptr) {
    AssertFail(__FILE__, __LINE__, "ProcessDocumentsSet outside the book's Call");
    return;
  }
  book_->ProcessFolder(processor, name, 0);
}

void KXT_Book_Out::Process(KXT_OutFolder& folder) {
  if (book_ == nullptr) {
    {
      Keep<KXT_OutFolder> book(book_, folder);
      KXT_Book_Out_Processor nested(*this);
      folder.ProcessFolder(nested, kObjectsPool, 0);
    }
    strings_.Store(folder, kStringsMap);
    return;
  }
  Keep<KXT_OutFolder> pool(pool_, folder);
  AttrsSet().SetDefaultValues(strings_);
  AttrsSet().AddAttr(u"release_number", u"1", strings_);
  AttrsSet().AddAttr(u"build_number", u"2", strings_);
  Call(*book_);
}

void KXT_Book_Out_Creator::Call(KXT_OutFolder& root) {
  KXT_Book_Out_Processor processor(book_);
  root.ProcessFolder(processor, kBook, 0);
}

// --- reading ---------------------------------------------------------------

bool KXT_Book_In::ProcessDocumentsSet(KXT_InFolder&, KXT_InFolderProcessor& processor, const char* name) {
  return book_ != nullptr && book_->ProcessFolder(processor, name, 0);
}

void KXT_Book_In::Process(KXT_InFolder& folder) {
  if (book_ == nullptr) {
    strings_.Restore(folder, kStringsMap);
    Keep<KXT_InFolder> book(book_, folder);
    KXT_Book_In_Processor nested(*this);
    folder.ProcessFolder(nested, kObjectsPool, 0);
    return;
  }
  Keep<KXT_InFolder> pool(pool_, folder);
  AttrsSet().SetDefaultValues(strings_);
  AttrsSet().Restore(*book_, kAttrs);
  Call(*book_);
}

void KXT_Book_In_Opener::Call(KXT_InFolder& root) {
  KXT_Book_In_Processor processor(book_);
  root.ProcessFolder(processor, kBook, 0);
}

bool IsKXT(OLEStorage& storage) { return storage.StorageExists(u"SolvaneTextAndCode"); }
