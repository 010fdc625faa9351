// Counting, handles, folder handlers and the finishing-destructor rules.
#include <gtest/gtest.h>

#include <stdexcept>
#include <utility>

#include "kxt/folder_handler.h"
#include "kxt/kxt_completion.h"
#include "kxt/kxt_handle.h"
#include "kxt/kxt_storage.h"
#include "kxt/referred_object.h"
#include "kxt_test_util.h"
#include "tests/common/temp_dir.h"

namespace {

using kxt_test::LoggedFailures;

// Counts its deletions; may fail while being deleted, like an object whose
// deletion completes output.
class Probe : public ReferredObject {
 public:
  explicit Probe(int* deletions, bool failOnDelete = false) : deletions_(deletions), fail_(failOnDelete) {}

 protected:
  ~Probe() noexcept(false) override {
    ++*deletions_;
    KXT_Completion done;
    if (fail_) done.Run([] { throw std::runtime_error("probe failed"); });
    done.Finish();
  }

 private:
  int* deletions_;
  bool fail_;
};

class Derived : public Probe {
 public:
  using Probe::Probe;
};

TEST(HandleTest, AdoptsCopiesAndDeletesOnce) {
  int deletions = 0;
  {
    KXT_Handle<Probe> a(new Probe(&deletions));
    EXPECT_EQ(a->AddRef(), 2u);  // adopting added no reference
    EXPECT_EQ(a->Release(), 1u);
    KXT_Handle<Probe> b(a);
    EXPECT_EQ(a->AddRef(), 3u);
    a->Release();
    EXPECT_EQ(a.get(), b.get());
  }
  EXPECT_EQ(deletions, 1);
}

TEST(HandleTest, AssignmentKeepsCountsRight) {
  int first = 0, second = 0;
  KXT_Handle<Probe> a(new Probe(&first));
  KXT_Handle<Probe> b(new Probe(&second));
  const KXT_Handle<Probe>& self = a;
  a = self;  // self-assignment changes nothing
  EXPECT_EQ(a->AddRef(), 2u);
  a->Release();

  b = a;  // the old object of b goes, a's is shared
  EXPECT_EQ(second, 1);
  EXPECT_EQ(a->AddRef(), 3u);
  a->Release();

  b = nullptr;  // assigning null releases
  EXPECT_EQ(a->AddRef(), 2u);
  a->Release();
  KXT_Handle<Probe> none;
  a = none;
  EXPECT_EQ(first, 1);
  EXPECT_FALSE(a);
}

TEST(HandleTest, MovesAndConvertsWithoutExtraReferences) {
  int deletions = 0;
  KXT_Handle<Derived> d(new Derived(&deletions));
  KXT_Handle<Probe> p(d);  // converting copy adds one
  EXPECT_EQ(p->AddRef(), 3u);
  p->Release();
  KXT_Handle<Probe> q(std::move(d));  // converting move adds none
  EXPECT_FALSE(d);
  EXPECT_EQ(q->AddRef(), 3u);
  q->Release();
  p.reset();
  EXPECT_EQ(deletions, 0);
  q.reset();
  EXPECT_EQ(deletions, 1);
}

TEST(HandleTest, ReleaseReturnsZeroAndDeletesOnce) {
  int deletions = 0;
  Probe* probe = new Probe(&deletions);
  probe->AddRef();
  EXPECT_EQ(probe->Release(), 1u);
  EXPECT_EQ(deletions, 0);
  EXPECT_EQ(probe->Release(), 0u);
  EXPECT_EQ(deletions, 1);  // and ASan sees it freed exactly once
}

TEST(HandleTest, FailingDeletionIsRaisedAfterTheObjectIsGone) {
  int deletions = 0;
  KXT_Handle<Probe> a(new Probe(&deletions, true));
  EXPECT_THROW(a.reset(), std::runtime_error);
  EXPECT_FALSE(a);
  EXPECT_EQ(deletions, 1);  // freed: LeakSanitizer would report it otherwise

  // The same through a handle's destructor.
  EXPECT_THROW({ KXT_Handle<Probe> b(new Probe(&deletions, true)); }, std::runtime_error);
  EXPECT_EQ(deletions, 2);

  // And assignment: the handle holds the new object even so.
  int other = 0;
  KXT_Handle<Probe> c(new Probe(&deletions, true));
  KXT_Handle<Probe> d(new Probe(&other));
  EXPECT_THROW(c = d, std::runtime_error);
  EXPECT_EQ(c.get(), d.get());
  EXPECT_EQ(deletions, 3);
}

TEST(HandleTest, FailingDeletionWhileUnwindingIsLogged) {
  LoggedFailures logged;
  int deletions = 0;
  try {
    KXT_Handle<Probe> a(new Probe(&deletions, true));
    throw std::logic_error("first");
  } catch (const std::logic_error& e) {
    EXPECT_STREQ(e.what(), "first");  // the first failure survives
  }
  EXPECT_EQ(deletions, 1);
  ASSERT_EQ(LoggedFailures::Lines().size(), 1u);
  EXPECT_NE(LoggedFailures::Lines()[0].find("probe failed"), std::string::npos);
}

TEST(CompletionTest, RunsEveryStepAndRaisesTheFirstFailure) {
  LoggedFailures logged;
  std::vector<int> ran;
  try {
    KXT_Completion done;
    done.Run([&] { ran.push_back(1); });
    done.Run([&] {
      ran.push_back(2);
      throw std::runtime_error("two");
    });
    done.Run([&] {
      ran.push_back(3);
      throw std::runtime_error("three");
    });
    done.Finish();
    ADD_FAILURE() << "nothing raised";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "two");
  }
  EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));
  ASSERT_EQ(LoggedFailures::Lines().size(), 1u);  // the second one is not lost
  EXPECT_NE(LoggedFailures::Lines()[0].find("three"), std::string::npos);
}

TEST(FolderHandlerTest, HoldsItsOwnReference) {
  testutil::TempDir dir;
  OLEStorage root(dir.File("h.kxt").c_str(), kOLECreate);
  KXT_Handle<KXT_OutStorage2> storage(CreateKXT2(root, false));
  KXT_Handle<KXT_OutFolder2> folder = storage->CreateKXTFolder2();
  {
    KXT_FolderHandler_Out2 handler(folder);
    KXT_FolderHandler_Out2 copy(handler);
    EXPECT_EQ(&copy.Folder(), folder.get());
    EXPECT_EQ(folder->AddRef(), 4u);
    folder->Release();
  }
  EXPECT_EQ(folder->AddRef(), 2u);
  folder->Release();
  folder.reset();
  storage.reset();

  KXT_Handle<KXT_InStorage2> input(OpenKXT2(root));
  KXT_FolderHandler_In2 valid(input->OpenKXTFolder2());
  EXPECT_TRUE(valid.Valid());
  KXT_FolderHandler_In2 missing(valid.Folder().OpenFolder2("none/", 0));
  EXPECT_FALSE(missing.Valid());
}

}  // namespace
