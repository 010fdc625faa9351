// Storage objects and files: modes, result codes, names, element operations,
// enumeration and the lifetime of files and their elements.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "ole_test_util.h"
#include "platform/ole/ole.h"

namespace oletest {
namespace {

using namespace ole;

constexpr uint32_t kCreate = 0x1011;
constexpr uint32_t kRead = 0x10;
constexpr uint32_t kRootRead = 0x20;

class StorageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    file_ = dir_.File("t.ole");
    ASSERT_EQ(CreateDocfile(file_.c_str(), kCreate, root_.Out()), S_OK);
  }

  // Closes the file being written and opens it for reading.
  void Reopen() {
    root_.Reset();
    ASSERT_EQ(OpenDocfile(file_.c_str(), kRootRead, root_.Out()), S_OK);
  }

  std::vector<std::u16string> Names(Storage* storage) {
    std::vector<std::u16string> names;
    Ref<ElementEnum> e;
    EXPECT_EQ(storage->EnumElements(e.Out()), S_OK);
    StatStg stat;
    while (e->Next(1, &stat, nullptr) == S_OK) names.push_back(stat.name);
    return names;
  }

  std::string StreamBytes(Storage* storage, const char16_t* name) {
    Ref<Stream> s;
    EXPECT_EQ(storage->OpenStream(name, kRead, s.Out()), S_OK);
    return s ? ReadAll(s.get()) : std::string("<missing>");
  }

  TempDir dir_;
  std::string file_;
  Ref<Storage> root_;
};

TEST_F(StorageTest, OnlyTheModesInUseAreAccepted) {
  Ref<Storage> other;
  std::string path = dir_.File("m.ole");
  for (uint32_t mode : {0x0u, 0x1001u, 0x1012u, 0x11u, 0x20u, 0x1010u}) {
    EXPECT_EQ(CreateDocfile(path.c_str(), mode, other.Out()), STG_E_INVALIDFLAG) << mode;
    EXPECT_FALSE(other);
  }
  for (uint32_t mode : {0x0u, 0x10u, 0x1011u, 0x22u}) {
    EXPECT_EQ(OpenDocfile(file_.c_str(), mode, other.Out()), STG_E_INVALIDFLAG) << mode;
  }
  Ref<Stream> s;
  Ref<Storage> st;
  for (uint32_t mode : {0x0u, 0x1001u, 0x10u, 0x11u, 0x1012u}) {
    EXPECT_EQ(root_->CreateStream(u"s", mode, s.Out()), STG_E_INVALIDFLAG) << mode;
    EXPECT_EQ(root_->CreateStorage(u"st", mode, st.Out()), STG_E_INVALIDFLAG) << mode;
  }
  ASSERT_EQ(root_->CreateStream(u"s", kCreate, s.Out()), S_OK);
  ASSERT_EQ(root_->CreateStorage(u"st", kCreate, st.Out()), S_OK);
  s.Reset();
  st.Reset();
  for (uint32_t mode : {0x0u, 0x1011u, 0x11u, 0x12u, 0x20u}) {
    EXPECT_EQ(root_->OpenStream(u"s", mode, s.Out()), STG_E_INVALIDFLAG) << mode;
    EXPECT_EQ(root_->OpenStorage(u"st", mode, st.Out()), STG_E_INVALIDFLAG) << mode;
  }
  EXPECT_EQ(root_->OpenStream(u"s", kRead, s.Out()), S_OK);
  EXPECT_EQ(root_->OpenStorage(u"st", kRead, st.Out()), S_OK);
}

TEST_F(StorageTest, FilesThatCannotBeOpened) {
  Ref<Storage> other;
  EXPECT_EQ(OpenDocfile(dir_.File("missing.ole").c_str(), kRootRead, other.Out()), STG_E_FILENOTFOUND);
  EXPECT_EQ(CreateDocfile(dir_.File("no/such/folder.ole").c_str(), kCreate, other.Out()), STG_E_PATHNOTFOUND);
  EXPECT_EQ(OpenDocfile(dir_.path().c_str(), kRootRead, other.Out()), STG_E_ACCESSDENIED);
  EXPECT_EQ(CreateDocfile(dir_.path().c_str(), kCreate, other.Out()), STG_E_ACCESSDENIED);
  // Not compound files: text, nothing, a header's worth of zeros.
  for (const std::string& bytes : {std::string("plain text\n"), std::string(), std::string(4096, '\0')}) {
    WriteFile(dir_.File("plain"), bytes);
    EXPECT_EQ(OpenDocfile(dir_.File("plain").c_str(), kRootRead, other.Out()), STG_E_FILEALREADYEXISTS);
    EXPECT_FALSE(other);
  }
  EXPECT_EQ(OpenDocfile(nullptr, kRootRead, other.Out()), STG_E_INVALIDPOINTER);
  EXPECT_EQ(OpenDocfile(file_.c_str(), kRootRead, nullptr), STG_E_INVALIDPOINTER);
}

TEST_F(StorageTest, CreateWritesTheFileAtOnceAndReplacesAnyOld) {
  // The file exists (as an empty compound file) while it is being written.
  Ref<Storage> reader;
  ASSERT_EQ(OpenDocfile(file_.c_str(), kRootRead, reader.Out()), S_OK);
  EXPECT_TRUE(Names(reader.get()).empty());
  PutStream(root_.get(), u"a", "first");
  Reopen();
  EXPECT_EQ(StreamBytes(root_.get(), u"a"), "first");
  root_.Reset();
  chmod(file_.c_str(), 0640);
  ASSERT_EQ(CreateDocfile(file_.c_str(), kCreate, root_.Out()), S_OK);
  PutStream(root_.get(), u"b", "second");
  Reopen();
  EXPECT_EQ(Names(root_.get()), std::vector<std::u16string>{u"b"});
  struct stat st;
  ASSERT_EQ(stat(file_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u) << "permissions of the replaced file are kept";
  root_.Reset();  // of another group (only as root): no group bits
  if (chown(file_.c_str(), static_cast<uid_t>(-1), 65534) != 0) return;
  ASSERT_EQ(CreateDocfile(file_.c_str(), kCreate, root_.Out()), S_OK);
  EXPECT_TRUE(stat(file_.c_str(), &st) == 0 && (st.st_mode & 0777) == 0600);
}

TEST_F(StorageTest, MissingWrongKindAndAlreadyOpenElements) {
  Ref<Stream> s;
  Ref<Storage> st;
  EXPECT_EQ(root_->OpenStream(u"none", kRead, s.Out()), STG_E_FILENOTFOUND);
  ASSERT_EQ(root_->CreateStream(u"stream", kCreate, s.Out()), S_OK);
  ASSERT_EQ(root_->CreateStorage(u"storage", kCreate, st.Out()), S_OK);
  Ref<Stream> s2;
  Ref<Storage> st2;
  EXPECT_EQ(root_->OpenStream(u"stream", kRead, s2.Out()), STG_E_ACCESSDENIED);
  EXPECT_EQ(root_->OpenStorage(u"STORAGE", kRead, st2.Out()), STG_E_ACCESSDENIED);
  EXPECT_EQ(root_->CreateStream(u"stream", kCreate, s2.Out()), STG_E_ACCESSDENIED);
  s.Reset();
  st.Reset();
  EXPECT_EQ(root_->OpenStream(u"storage", kRead, s2.Out()), STG_E_FILENOTFOUND);
  EXPECT_EQ(root_->OpenStorage(u"stream", kRead, st2.Out()), STG_E_FILENOTFOUND);
  EXPECT_EQ(root_->OpenStream(u"stream", kRead, s2.Out()), S_OK);
  EXPECT_EQ(root_->OpenStorage(u"storage", kRead, st2.Out()), S_OK);
  s2.Reset();
  st2.Reset();
  Reopen();
  EXPECT_EQ(root_->OpenStream(u"storage", kRead, s.Out()), STG_E_FILENOTFOUND);
  EXPECT_EQ(root_->OpenStream(u"stream", kRead, s.Out()), S_OK);
  EXPECT_EQ(root_->OpenStream(u"stream", kRead, s2.Out()), STG_E_ACCESSDENIED);
}

TEST_F(StorageTest, NamesAreCheckedAndCompareWithoutCase) {
  Ref<Stream> s;
  const char16_t* bad[] = {u"", u"a/b", u"a\\b", u"a:b", u"a!", u"an element name of 32 units long"};
  for (const char16_t* name : bad) {
    EXPECT_EQ(root_->CreateStream(name, kCreate, s.Out()), STG_E_INVALIDNAME) << Utf8(name);
    EXPECT_EQ(root_->OpenStream(name, kRead, s.Out()), STG_E_INVALIDNAME) << Utf8(name);
  }
  EXPECT_EQ(root_->CreateStream(nullptr, kCreate, s.Out()), STG_E_INVALIDPOINTER);
  PutStream(root_.get(), u"an element name of 31 units lon", "31");

  // Pairs that differ only in case are one name, in several scripts.
  const std::pair<std::u16string, std::u16string> same[] = {
      {u"Data", u"dATA"},
      {u"\u00e4\u00f6\u00fc\u00e9\u00ff", u"\u00c4\u00d6\u00dc\u00c9\u0178"},
      {u"\u0434\u0430\u043d\u043d\u044b\u0435\u0451", u"\u0414\u0410\u041d\u041d\u042b\u0415\u0401"},
      {u"\u03b1\u03b2\u03c2\u03ac", u"\u0391\u0392\u03a3\u0386"},
      {u"\u0142\u0151\u017e", u"\u0141\u0150\u017d"},
  };
  for (const auto& [lower, upper] : same) {
    PutStream(root_.get(), lower, "old " + Utf8(lower));
    EXPECT_EQ(StreamBytes(root_.get(), upper.c_str()), "old " + Utf8(lower));
    PutStream(root_.get(), upper, "new");  // replaces it
  }
  // Different names stay different: other letters, other lengths.
  PutStream(root_.get(), u"Dat", "dat");
  PutStream(root_.get(), u"\u00e4\u00f6\u00fc\u00e9x", "x");
  Reopen();
  std::vector<std::u16string> names = Names(root_.get());
  EXPECT_EQ(names.size(), 8u);
  for (const auto& [lower, upper] : same) {
    EXPECT_EQ(StreamBytes(root_.get(), lower.c_str()), "new") << Utf8(lower);
    EXPECT_NE(std::find(names.begin(), names.end(), upper), names.end()) << "the name last given is kept";
  }
  EXPECT_EQ(StreamBytes(root_.get(), u"DAT"), "dat");
  EXPECT_EQ(StreamBytes(root_.get(), u"an element name of 31 units lon"), "31");
}

TEST_F(StorageTest, CreateReplacesAnElementOfEitherKind) {
  Ref<Storage> st;
  ASSERT_EQ(root_->CreateStorage(u"x", kCreate, st.Out()), S_OK);
  PutStream(st.get(), u"inner", "in");
  st.Reset();
  PutStream(root_.get(), u"X", "now a stream");
  Ref<Storage> gone;
  EXPECT_EQ(root_->OpenStorage(u"x", kRead, gone.Out()), STG_E_FILENOTFOUND);
  ASSERT_EQ(root_->CreateStorage(u"x", kCreate, st.Out()), S_OK);
  EXPECT_TRUE(Names(st.get()).empty());
  st.Reset();
  Reopen();
  EXPECT_EQ(Names(root_.get()), std::vector<std::u16string>{u"x"});
}

TEST_F(StorageTest, NothingChangesThroughObjectsOpenedForReading) {
  Ref<Storage> st;
  ASSERT_EQ(root_->CreateStorage(u"sub", kCreate, st.Out()), S_OK);
  PutStream(st.get(), u"s", "x");
  st.Reset();
  ASSERT_EQ(root_->OpenStorage(u"sub", kRead, st.Out()), S_OK);
  auto refused = [this](Storage* storage) {
    Ref<Stream> s;
    Ref<Storage> sub;
    EXPECT_EQ(storage->CreateStream(u"n", kCreate, s.Out()), STG_E_ACCESSDENIED);
    EXPECT_EQ(storage->CreateStorage(u"n", kCreate, sub.Out()), STG_E_ACCESSDENIED);
    EXPECT_EQ(storage->DestroyElement(u"s"), STG_E_ACCESSDENIED);
    EXPECT_EQ(storage->RenameElement(u"s", u"t"), STG_E_ACCESSDENIED);
    EXPECT_EQ(storage->SetClass(Clsid()), STG_E_ACCESSDENIED);
    EXPECT_EQ(storage->MoveElementTo(u"s", root_.get(), u"moved", STGMOVE_MOVE), STG_E_ACCESSDENIED);
    EXPECT_EQ(root_->MoveElementTo(u"sub", storage, u"into", STGMOVE_COPY), STG_E_ACCESSDENIED);
  };
  refused(st.get());
  st.Reset();
  Reopen();
  ASSERT_EQ(root_->OpenStorage(u"sub", kRead, st.Out()), S_OK);
  refused(st.get());
  EXPECT_EQ(Names(st.get()), std::vector<std::u16string>{u"s"});
  EXPECT_EQ(root_->Commit(), S_OK);
}

TEST_F(StorageTest, CopyAndMoveElements) {
  Ref<Storage> a, b;
  ASSERT_EQ(root_->CreateStorage(u"a", kCreate, a.Out()), S_OK);
  ASSERT_EQ(root_->CreateStorage(u"b", kCreate, b.Out()), S_OK);
  Clsid clsid;
  clsid.bytes[0] = 7;
  {
    Ref<Storage> deep;
    ASSERT_EQ(a->CreateStorage(u"deep", kCreate, deep.Out()), S_OK);
    ASSERT_EQ(deep->SetClass(clsid), S_OK);
    PutStream(deep.get(), u"leaf", Pattern(5000, 1));
  }
  PutStream(a.get(), u"s", "stream");

  // A copy is independent of its source.
  ASSERT_EQ(a->MoveElementTo(u"deep", b.get(), u"copy", STGMOVE_COPY), S_OK);
  ASSERT_EQ(a->MoveElementTo(u"s", a.get(), u"s2", STGMOVE_COPY), S_OK);
  PutStream(a.get(), u"s", "changed");
  EXPECT_EQ(StreamBytes(a.get(), u"s2"), "stream");
  // A move takes the element away; an open stream inside a moved storage
  // keeps working.
  {
    Ref<Storage> deep;
    Ref<Stream> leaf;
    ASSERT_EQ(a->OpenStorage(u"deep", kRead, deep.Out()), S_OK);
    ASSERT_EQ(deep->OpenStream(u"leaf", kRead, leaf.Out()), S_OK);
    EXPECT_EQ(a->MoveElementTo(u"deep", b.get(), u"moved", STGMOVE_MOVE), STG_E_ACCESSDENIED);
    deep.Reset();
    ASSERT_EQ(a->MoveElementTo(u"deep", b.get(), u"moved", STGMOVE_MOVE), S_OK);
    EXPECT_TRUE(ReadAll(leaf.get()) == Pattern(5000, 1));
  }
  EXPECT_EQ(a->MoveElementTo(u"deep", b.get(), u"again", STGMOVE_COPY), STG_E_FILENOTFOUND);
  EXPECT_EQ(a->MoveElementTo(u"s", b.get(), u"COPY", STGMOVE_COPY), STG_E_FILEALREADYEXISTS);
  EXPECT_EQ(root_->MoveElementTo(u"b", b.get(), u"self", STGMOVE_COPY), STG_E_ACCESSDENIED);
  EXPECT_EQ(root_->MoveElementTo(u"b", b.get(), u"self", STGMOVE_MOVE), STG_E_ACCESSDENIED);
  EXPECT_EQ(a->MoveElementTo(u"s", nullptr, u"x", STGMOVE_COPY), STG_E_INVALIDPOINTER);
  EXPECT_EQ(a->MoveElementTo(u"s", b.get(), u"x", static_cast<MoveMode>(2)), STG_E_INVALIDFLAG);
  a.Reset();
  b.Reset();
  Reopen();
  ASSERT_EQ(root_->OpenStorage(u"a", kRead, a.Out()), S_OK);
  ASSERT_EQ(root_->OpenStorage(u"b", kRead, b.Out()), S_OK);
  EXPECT_EQ(Names(a.get()), (std::vector<std::u16string>{u"s", u"s2"}));
  EXPECT_EQ(Names(b.get()), (std::vector<std::u16string>{u"copy", u"moved"}));
  for (const char16_t* name : {u"copy", u"moved"}) {
    Ref<Storage> st;
    ASSERT_EQ(b->OpenStorage(name, kRead, st.Out()), S_OK);
    StatStg stat;
    ASSERT_EQ(st->Stat(&stat), S_OK);
    EXPECT_TRUE(stat.clsid == clsid);
    EXPECT_TRUE(StreamBytes(st.get(), u"leaf") == Pattern(5000, 1));
  }
}

TEST_F(StorageTest, CopyAndMoveAcrossFiles) {
  Ref<Storage> sub;
  ASSERT_EQ(root_->CreateStorage(u"sub", kCreate, sub.Out()), S_OK);
  PutStream(sub.get(), u"big", Pattern(100000, 2));
  PutStream(sub.get(), u"small", "tiny");
  sub.Reset();
  PutStream(root_.get(), u"loose", "loose");
  Reopen();  // the source is now a file read from disk

  std::string other_file = dir_.File("other.ole");
  Ref<Storage> other;
  ASSERT_EQ(CreateDocfile(other_file.c_str(), kCreate, other.Out()), S_OK);
  ASSERT_EQ(root_->MoveElementTo(u"sub", other.get(), u"sub", STGMOVE_COPY), S_OK);
  EXPECT_EQ(root_->MoveElementTo(u"loose", other.get(), u"x", STGMOVE_MOVE), STG_E_ACCESSDENIED);
  // Moving out of a file being written into another.
  std::string third_file = dir_.File("third.ole");
  Ref<Storage> third;
  ASSERT_EQ(CreateDocfile(third_file.c_str(), kCreate, third.Out()), S_OK);
  ASSERT_EQ(other->MoveElementTo(u"sub", third.get(), u"moved", STGMOVE_MOVE), S_OK);
  EXPECT_TRUE(Names(other.get()).empty());
  other.Reset();
  third.Reset();
  ASSERT_EQ(OpenDocfile(third_file.c_str(), kRootRead, third.Out()), S_OK);
  ASSERT_EQ(third->OpenStorage(u"moved", kRead, sub.Out()), S_OK);
  EXPECT_TRUE(StreamBytes(sub.get(), u"big") == Pattern(100000, 2));
  EXPECT_EQ(StreamBytes(sub.get(), u"small"), "tiny");
}

TEST_F(StorageTest, DestroyRevertsOpenObjectsBelow) {
  Ref<Storage> sub;
  ASSERT_EQ(root_->CreateStorage(u"sub", kCreate, sub.Out()), S_OK);
  Ref<Stream> s;
  ASSERT_EQ(sub->CreateStream(u"s", kCreate, s.Out()), S_OK);
  ASSERT_EQ(s->Write("abc", 3, nullptr), S_OK);
  ASSERT_EQ(root_->DestroyElement(u"SUB"), S_OK);
  char c;
  uint32_t got = 0;
  EXPECT_EQ(s->Read(&c, 1, &got), STG_E_REVERTED);
  EXPECT_EQ(s->Write("x", 1, nullptr), STG_E_REVERTED);
  Ref<Stream> t;
  EXPECT_EQ(sub->CreateStream(u"t", kCreate, t.Out()), STG_E_REVERTED);
  EXPECT_EQ(root_->DestroyElement(u"sub"), STG_E_FILENOTFOUND);
  s.Reset();
  sub.Reset();
  Reopen();
  EXPECT_TRUE(Names(root_.get()).empty());
}

TEST_F(StorageTest, Rename) {
  PutStream(root_.get(), u"a", "A");
  PutStream(root_.get(), u"b", "B");
  EXPECT_EQ(root_->RenameElement(u"a", u"B"), STG_E_FILEALREADYEXISTS);
  EXPECT_EQ(root_->RenameElement(u"none", u"c"), STG_E_FILENOTFOUND);
  EXPECT_EQ(root_->RenameElement(u"a", u"bad/name"), STG_E_INVALIDNAME);
  ASSERT_EQ(root_->RenameElement(u"a", u"renamed"), S_OK);
  ASSERT_EQ(root_->RenameElement(u"b", u"B"), S_OK);  // a change of case only
  {
    Ref<Stream> open;
    ASSERT_EQ(root_->OpenStream(u"renamed", kRead, open.Out()), S_OK);
    EXPECT_EQ(root_->RenameElement(u"renamed", u"other"), STG_E_ACCESSDENIED);
  }
  Reopen();
  EXPECT_EQ(Names(root_.get()), (std::vector<std::u16string>{u"B", u"renamed"}));
  EXPECT_EQ(StreamBytes(root_.get(), u"renamed"), "A");
}

TEST_F(StorageTest, EnumerationOrderAndCalls) {
  // The directory's order: shorter names first, then by upper-cased units.
  for (const char16_t* name : {u"bb", u"a", u"ccc", u"B", u"AA", u"Ab"}) PutStream(root_.get(), name, "x");
  Ref<Storage> st;
  ASSERT_EQ(root_->CreateStorage(u"st", kCreate, st.Out()), S_OK);
  Clsid clsid;
  clsid.bytes[15] = 0x42;
  ASSERT_EQ(st->SetClass(clsid), S_OK);
  st.Reset();
  const std::vector<std::u16string> order = {u"a", u"B", u"AA", u"Ab", u"bb", u"st", u"ccc"};
  EXPECT_EQ(Names(root_.get()), order);
  Reopen();
  EXPECT_EQ(Names(root_.get()), order);

  Ref<ElementEnum> e;
  ASSERT_EQ(root_->EnumElements(e.Out()), S_OK);
  StatStg stats[8];
  uint32_t fetched = 0;
  ASSERT_EQ(e->Next(2, stats, &fetched), S_OK);
  EXPECT_EQ(fetched, 2u);
  ASSERT_EQ(e->Skip(3), S_OK);
  Ref<ElementEnum> clone;
  ASSERT_EQ(e->Clone(clone.Out()), S_OK);
  ASSERT_EQ(e->Next(8, stats, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 2u);
  EXPECT_TRUE(stats[0].name == u"st");
  EXPECT_EQ(stats[0].type, STGTY_STORAGE);
  EXPECT_TRUE(stats[0].clsid == clsid);
  EXPECT_EQ(stats[1].type, STGTY_STREAM);
  EXPECT_EQ(stats[1].size, 1u);
  EXPECT_EQ(e->Next(1, stats, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
  EXPECT_EQ(e->Skip(1), S_FALSE);
  ASSERT_EQ(clone->Next(1, stats, &fetched), S_OK);  // the clone kept its place
  EXPECT_TRUE(stats[0].name == u"st");
  ASSERT_EQ(e->Reset(), S_OK);
  ASSERT_EQ(e->Next(1, stats, &fetched), S_OK);
  EXPECT_TRUE(stats[0].name == u"a");
}

TEST_F(StorageTest, StatSetClassAndCommit) {
  StatStg stat;
  ASSERT_EQ(root_->Stat(&stat), S_OK);
  EXPECT_EQ(Utf8(stat.name), file_);
  EXPECT_EQ(stat.type, STGTY_ROOT);
  EXPECT_EQ(stat.mode, kCreate);
  Clsid clsid;
  for (int i = 0; i < 16; ++i) clsid.bytes[i] = static_cast<uint8_t>(i * 3);
  ASSERT_EQ(root_->SetClass(clsid), S_OK);
  ASSERT_EQ(root_->Commit(), S_OK);
  // Committed changes are on disk while the file stays open.
  {
    Ref<Storage> reader;
    ASSERT_EQ(OpenDocfile(file_.c_str(), kRootRead, reader.Out()), S_OK);
    ASSERT_EQ(reader->Stat(&stat), S_OK);
    EXPECT_TRUE(stat.clsid == clsid);
    EXPECT_EQ(stat.mode, kRootRead);
  }
  // Later changes reach the disk at the last release.
  Ref<Storage> sub;
  ASSERT_EQ(root_->CreateStorage(u"sub", kCreate, sub.Out()), S_OK);
  ASSERT_EQ(sub->Commit(), S_OK);
  ASSERT_EQ(sub->Stat(&stat), S_OK);
  EXPECT_TRUE(stat.name == u"sub");
  EXPECT_EQ(stat.type, STGTY_STORAGE);
  root_.Reset();  // the sub-storage keeps the file open
  PutStream(sub.get(), u"late", "late");
  sub.Reset();
  Reopen();
  ASSERT_EQ(root_->OpenStorage(u"sub", kRead, sub.Out()), S_OK);
  EXPECT_EQ(StreamBytes(sub.get(), u"late"), "late");
}

// Paths are used byte for byte; the root's name is their UTF-16 form.
TEST(StorageLayer, NonAsciiPaths) {
  TempDir dir;
  for (const std::string& leaf : {std::string("caf\xc3\xa9 \xe6\x97\xa5.ole"), std::string("bad\xff.ole")}) {
    std::string path = dir.File(leaf);
    {
      Ref<Storage> root;
      ASSERT_EQ(CreateDocfile(path.c_str(), kCreate, root.Out()), S_OK);
      PutStream(root.get(), u"s", "x");
    }
    EXPECT_EQ(ReadFile(path).substr(0, 4), "\xD0\xCF\x11\xE0");
    Ref<Storage> root;
    ASSERT_EQ(OpenDocfile(path.c_str(), kRootRead, root.Out()), S_OK);
    StatStg stat;
    ASSERT_EQ(root->Stat(&stat), S_OK);
    std::u16string expected = Widen(dir.path() + "/") +
                              (leaf[0] == 'c' ? u"caf\u00e9 \u65e5.ole" : u"bad\ufffd.ole");
    EXPECT_TRUE(stat.name == expected) << Utf8(stat.name);
  }
}

TEST(StorageLayer, InitializeAndAllocator) {
  EXPECT_EQ(Initialize(), S_OK);
  EXPECT_EQ(Initialize(), S_FALSE);
  Uninitialize();
  Uninitialize();
  EXPECT_EQ(Initialize(), S_OK);
  Uninitialize();
  Allocator* allocator = nullptr;
  ASSERT_EQ(GetAllocator(&allocator), S_OK);
  void* p = allocator->Alloc(100);
  ASSERT_NE(p, nullptr);
  std::memset(p, 1, 100);
  allocator->Free(p);
  allocator->Release();
}

TEST(StorageLayer, DeeplyNestedStoragesRoundTrip) {
  TempDir dir;
  std::string file = dir.File("deep.ole");
  constexpr int kDepth = 3000;
  {
    Ref<Storage> at;
    ASSERT_EQ(CreateDocfile(file.c_str(), kCreate, at.Out()), S_OK);
    for (int i = 0; i < kDepth; ++i) {
      Ref<Storage> next;
      ASSERT_EQ(at->CreateStorage(u"n", kCreate, next.Out()), S_OK);
      at = std::move(next);
    }
    PutStream(at.get(), u"bottom", "bottom");
  }
  Ref<Storage> at;
  ASSERT_EQ(OpenDocfile(file.c_str(), kRootRead, at.Out()), S_OK);
  for (int i = 0; i < kDepth; ++i) {
    Ref<Storage> next;
    ASSERT_EQ(at->OpenStorage(u"N", kRead, next.Out()), S_OK);
    at = std::move(next);
  }
  Ref<Stream> s;
  ASSERT_EQ(at->OpenStream(u"bottom", kRead, s.Out()), S_OK);
  EXPECT_EQ(ReadAll(s.get()), "bottom");
}

}  // namespace
}  // namespace oletest
