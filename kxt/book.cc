#include "kxt/book.h"

#include "kxt/kxt_completion.h"

namespace {

constexpr char kBook[] = "Book/";
constexpr char kObjectsPool[] = "ObjectsPool/";
constexpr char kStringsMap[] = "StringsMap{}";
constexpr char kAttrs[] = "Attrs{}";

}  // namespace

KXT_Book_Out2::KXT_Book_Out2(const KXT_Handle<KXT_OutFolder2>& root)
    : KXT_ProcessorWithAttrs_Out2(root), book_(root->CreateFolder2(kBook, 0)), pool_(book_->CreateFolder2(kObjectsPool, 0)) {
  AttrsSet().SetDefaultValues(strings_);
  AttrsSet().AddAttr(u"release_number", u"1", strings_);
  AttrsSet().AddAttr(u"build_number", u"2", strings_);
}

KXT_Book_Out2::~KXT_Book_Out2() noexcept(false) {
  // Each step runs even when one before it failed; the first failure is
  // raised at the end (or logged while an exception is unwinding).
  KXT_Completion done;
  done.Run([this] { strings_.Store(*book_, kStringsMap); });
  done.Run([this] { pool_.reset(); });
  done.Run([this] { book_.reset(); });
  done.Finish();
}

KXT_Book_In2::KXT_Book_In2(const KXT_Handle<KXT_InFolder2>& root) : KXT_ProcessorWithAttrs_In2(root) {
  if (root) book_ = root->OpenFolder2(kBook, 0);
  if (!book_) return;
  strings_.Restore(*book_, kStringsMap);
  pool_ = book_->OpenFolder2(kObjectsPool, 0);
  AttrsSet().SetDefaultValues(strings_);
  LoadAttrsSet(kAttrs);
}
