// Containers: the storages and streams of the compound file (listed by
// python3-olefile), completion whatever the order of the releases, the
// private-data storage, the version-1 interfaces and the failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "kxt/kxt_records.h"
#include "kxt/kxt_storage.h"
#include "kxt_test_util.h"
#include "tests/common/failure_of.h"
#include "tests/common/hex.h"
#include "tests/common/ole_streams.h"
#include "tests/common/temp_dir.h"

namespace {

using kxt_test::LoggedFailures;
using testutil::FailureOf;
using testutil::Hex;
using testutil::TempDir;

template <class T>
void PutOne(KXT_OutStream& stream, const T& value) {
  dynamic_cast<KXT_Out<T>&>(stream).PutData(&value, 1);
}

template <class T>
bool GetOne(KXT_InStream& stream, T& value) {
  return dynamic_cast<KXT_In<T>&>(stream).GetData(&value, 1) == 1;
}

constexpr int kStories = 3;
constexpr size_t kBig = 20000;

// The text of story i.
std::u16string StoryText(int i) { return std::u16string(static_cast<size_t>(i + 1), static_cast<char16_t>(u'x' + i)); }

// A small book-like tree, every object held by its own handle, and the
// order in which they are let go.
struct Tree {
  OLEStorage* root = nullptr;  // the caller's storage
  KXT_Handle<KXT_OutStorage2> storage;
  std::vector<KXT_Handle<KXT_OutFolder2>> folders;  // root, book, stories set, stories
  std::vector<KXT_Handle<KXT_OutStream2>> streams;
  KXT_Handle<KXT_OutBundle2> attrs;

  Tree(const std::string& path, bool compress) {
    root = new OLEStorage(path.c_str(), kOLECreate);
    storage = KXT_Handle<KXT_OutStorage2>(CreateKXT2(*root, compress));
    testutil::PutStreamBytes(*storage->PrivateData(), u"HostDoc", "doc");

    folders.push_back(storage->CreateKXTFolder2());
    folders.push_back(folders[0]->CreateFolder2("Book/", 0));
    streams.push_back(folders[1]->CreateStream2(typeid(long), "StyleRef", 0));
    PutOne(*streams.back(), 5L);
    attrs = folders[1]->CreateBundle2(KXT_Attr_Rec(), "Attrs{}", 0);
    KXT_Attr_Rec_Out attr;
    for (int i = 0; i < 2; ++i) {
      attr.m_NameRef = i;
      attr.m_ValueRef = 100 + i;
      attrs->PutRecord(attr);
    }
    folders.push_back(folders[1]->CreateFolder2("StoriesSet/", 0));
    for (int i = 0; i < kStories; ++i) {
      folders.push_back(folders[2]->CreateFolder2("Story[]/", i));
      streams.push_back(folders.back()->CreateStream2(typeid(std::u16string), "!1:Unicodes", 0));
      PutOne(*streams.back(), StoryText(i));
    }
    streams.push_back(folders.back()->CreateStream2(typeid(char), "Big", 0));
    const std::string big(kBig, 'a');
    dynamic_cast<KXT_Out<char>&>(*streams.back()).PutData(big.data(), static_cast<uint32_t>(big.size()));
  }

  // Every object's release, in the order of making: caller's storage,
  // container storage, folders (parents first), streams, bundle.
  std::vector<std::function<void()>> Releases() {
    std::vector<std::function<void()>> steps;
    steps.push_back([this] {
      delete root;
      root = nullptr;
    });
    steps.push_back([this] { storage.reset(); });
    for (auto& f : folders) steps.push_back([&f] { f.reset(); });
    for (auto& s : streams) steps.push_back([&s] { s.reset(); });
    steps.push_back([this] { attrs.reset(); });
    return steps;
  }
};

// The witness's view of a complete file of the tree above.
void ExpectComplete(const std::string& path, bool compress) {
  const auto lines = kxt_test::Witness(path);
  for (const char* entry : {"entry storage SolvaneTextAndCode", "entry storage SolvanePluginPrivateData",
                            "entry stream SolvaneTextAndCode/SolvaneCodeFile",
                            "entry stream SolvaneTextAndCode/\\x05SolvaneSummaryInformation",
                            "entry stream SolvanePluginPrivateData/HostDoc"}) {
    EXPECT_EQ(lines.count(entry), 1u) << entry;
  }
  std::vector<std::string> folders = {"", "Book/#0|", "Book/#0|Attrs{}#0|", "Book/#0|StoriesSet/#0|"};
  for (int i = 0; i < kStories; ++i) folders.push_back("Book/#0|StoriesSet/#0|Story[]/#" + std::to_string(i) + "|");
  size_t seen = 0, kinds1 = 0;
  for (const std::string& line : lines) {
    EXPECT_NE(line.compare(0, 7, "notable"), 0) << line;  // every folder wrote its table
    if (line.compare(0, 7, "folder ") == 0) {
      ++seen;
      const std::string path = line.substr(7, line.rfind(' ') - 7);
      EXPECT_NE(std::find(folders.begin(), folders.end(), path), folders.end()) << line;
      if (!compress) {
        EXPECT_EQ(line.back(), '0') << line;
      }
    }
  }
  EXPECT_EQ(seen, folders.size());

  const auto streams = kxt_test::WitnessStreams(lines);
  std::map<std::string, std::string> expected = {
      {"Book/#0|StyleRef", "060005000000"},
      {"Book/#0|Attrs{}#0|m_NameRef", "06000000000001000000"},
      {"Book/#0|Attrs{}#0|m_ValueRef", "06006400000065000000"},
  };
  for (int i = 0; i < kStories; ++i) {
    std::string text = "0b00" + Hex(std::string{static_cast<char>(i + 1), '\0'});
    for (char16_t c : StoryText(i)) text += Hex(std::string{static_cast<char>(c), '\0'});
    expected["Book/#0|StoriesSet/#0|Story[]/#" + std::to_string(i) + "|!1:Unicodes"] = text;
  }
  std::string big = "0200";
  for (size_t i = 0; i < kBig; ++i) big += "61";
  expected["Book/#0|StoriesSet/#0|Story[]/#2|Big"] = big;
  EXPECT_EQ(streams.size(), expected.size());
  for (const auto& e : expected) {
    ASSERT_EQ(streams.count(e.first), 1u) << e.first;
    const std::string& line = streams.at(e.first);
    EXPECT_EQ(line.substr(line.rfind(' ') + 1), e.second) << e.first;
    const char kind = line[2];
    if (!compress) {
      EXPECT_EQ(kind, '0') << e.first;
    }
    if (kind == '1') ++kinds1;
  }
  if (compress) {
    EXPECT_GE(kinds1, 1u);  // at least the big one pays off
  }
}

// Our reader walks the same tree.
void ExpectReadable(const std::string& path) {
  OLEStorage root(path.c_str(), kOLERead);
  KXT_Handle<KXT_InStorage2> storage(OpenKXT2(root));
  ASSERT_TRUE(storage->HasPrivateData());
  EXPECT_EQ(testutil::StreamBytes(*storage->PrivateData(), u"HostDoc"), "doc");

  KXT_Handle<KXT_InFolder2> book = storage->OpenKXTFolder2()->OpenFolder2("Book/", 0);
  ASSERT_TRUE(book);
  long style = 0;
  KXT_Handle<KXT_InStream2> s = book->OpenStream2(typeid(long), "StyleRef", 0);
  ASSERT_TRUE(s);
  EXPECT_TRUE(GetOne(*s, style));
  EXPECT_EQ(style, 5);
  KXT_Handle<KXT_InBundle2> attrs = book->OpenBundle2(KXT_Attr_Rec(), "Attrs{}", 0);
  ASSERT_TRUE(attrs);
  KXT_Attr_Rec_In attr;
  int records = 0;
  while (attrs->GetRecord(attr)) EXPECT_EQ(attr.m_ValueRef, 100 + records++);
  EXPECT_EQ(records, 2);
  KXT_Handle<KXT_InFolder2> stories = book->OpenFolder2("StoriesSet/", 0);
  ASSERT_TRUE(stories);
  for (int i = 0; i < kStories; ++i) {
    KXT_Handle<KXT_InFolder2> story = stories->OpenFolder2("Story[]/", i);
    ASSERT_TRUE(story);
    std::u16string text;
    s = story->OpenStream2(typeid(std::u16string), "!1:Unicodes", 0);
    ASSERT_TRUE(s);
    EXPECT_TRUE(GetOne(*s, text));
    EXPECT_EQ(text, StoryText(i));
  }
  EXPECT_FALSE(stories->OpenFolder2("Story[]/", kStories));
}

struct Order {
  const char* name;
  bool compress;
  // Reorders the releases (listed in the order of making).
  std::function<void(std::vector<std::function<void()>>&)> arrange;
};

void PrintTo(const Order& order, std::ostream* os) { *os << order.name; }

class ReleaseOrderTest : public ::testing::TestWithParam<Order> {};

TEST_P(ReleaseOrderTest, EveryOrderCompletesTheFile) {
  TempDir dir;
  const std::string path = dir.File("order.kxt");
  {
    Tree tree(path, GetParam().compress);
    auto steps = tree.Releases();
    GetParam().arrange(steps);
    for (auto& step : steps) step();
  }
  ExpectComplete(path, GetParam().compress);
  ExpectReadable(path);
}

using Steps = std::vector<std::function<void()>>;
void RootFirst(Steps&) {}
void StreamsFirst(Steps& steps) { std::reverse(steps.begin(), steps.end()); }
std::function<void(Steps&)> Shuffled(unsigned seed) {
  return [seed](Steps& steps) { std::shuffle(steps.begin(), steps.end(), std::mt19937(seed)); };
}

INSTANTIATE_TEST_SUITE_P(Orders, ReleaseOrderTest,
                         ::testing::Values(Order{"RootFirstStored", false, RootFirst},
                                           Order{"RootFirstCompressed", true, RootFirst},
                                           Order{"StreamsFirstStored", false, StreamsFirst},
                                           Order{"StreamsFirstCompressed", true, StreamsFirst},
                                           Order{"Mixed1Stored", false, Shuffled(1)},
                                           Order{"Mixed2Compressed", true, Shuffled(2)},
                                           Order{"Mixed3Stored", false, Shuffled(3)},
                                           Order{"Mixed4Compressed", true, Shuffled(4)}),
                         [](const ::testing::TestParamInfo<Order>& info) { return std::string(info.param.name); });

TEST(ContainerTest, PrivateDataIsMadeOnceAndOnlyWhenAsked) {
  TempDir dir;
  const std::string with = dir.File("with.kxt"), without = dir.File("without.kxt");
  {
    OLEStorage root(with.c_str(), kOLECreate);
    KXT_Handle<KXT_OutStorage2> storage(CreateKXT2(root, false));
    OLEStorage* first = storage->PrivateData();
    EXPECT_EQ(storage->PrivateData(), first);
    OLEStorage root2(without.c_str(), kOLECreate);
    KXT_Handle<KXT_OutStorage2> storage2(CreateKXT2(root2, false));
  }
  const auto lines = kxt_test::Witness(with);
  EXPECT_EQ(lines.count("entry storage SolvanePluginPrivateData"), 1u);
  EXPECT_EQ(lines.count("entry storage SolvaneTextAndCode"), 1u);
  const auto none = kxt_test::Witness(without);
  EXPECT_EQ(none.count("entry storage SolvanePluginPrivateData"), 0u);
  EXPECT_EQ(none.count("entry storage SolvaneTextAndCode"), 1u);

  OLEStorage root(with.c_str(), kOLERead);
  KXT_Handle<KXT_InStorage2> storage(OpenKXT2(root));
  EXPECT_TRUE(storage->HasPrivateData());
  OLEStorage* opened = storage->PrivateData();
  EXPECT_EQ(storage->PrivateData(), opened);
  EXPECT_TRUE(storage->HasPrivateData());  // also while this object holds it open

  OLEStorage root2(without.c_str(), kOLERead);
  KXT_Handle<KXT_InStorage2> storage2(OpenKXT2(root2));
  EXPECT_FALSE(storage2->HasPrivateData());
  EXPECT_EQ(FailureOf([&] { storage2->PrivateData(); }), 33006);
}

TEST(ContainerTest, AStorageWithoutAContainerRaises) {
  TempDir dir;
  const std::string path = dir.File("plain.ole");
  { OLEStorage root(path.c_str(), kOLECreate); }
  OLEStorage root(path.c_str(), kOLERead);
  EXPECT_EQ(FailureOf([&] { KXT_Handle<KXT_InStorage2> s(OpenKXT2(root)); }), 33006);
  EXPECT_EQ(FailureOf([&] { KXT_Handle<KXT_InStorage> s(OpenKXT(root)); }), 33006);
}

TEST(ContainerTest, DamagedCodeFilesFailWithTheirIds) {
  TempDir dir;
  const std::string noCode = dir.File("nocode.kxt"), noTable = dir.File("notable.kxt");
  {
    OLEStorage root(noCode.c_str(), kOLECreate);
    OLEStorage textAndCode(root, u"SolvaneTextAndCode", kOLECreate);
  }
  kxt_test::RawCodeFile raw;
  raw.Write(noTable);
  {
    // Take the root table away: rewrite the code file without it.
    OLEStorage root(noTable.c_str(), kOLECreate);
    OLEStorage textAndCode(root, u"SolvaneTextAndCode", kOLECreate);
    delete CreateCodeFile(textAndCode, false);
  }
  OLEStorage a(noCode.c_str(), kOLERead);
  KXT_Handle<KXT_InStorage2> sa(OpenKXT2(a));
  EXPECT_EQ(FailureOf([&] { sa->OpenKXTFolder2(); }), 33006);
  OLEStorage b(noTable.c_str(), kOLERead);
  KXT_Handle<KXT_InStorage2> sb(OpenKXT2(b));
  EXPECT_EQ(FailureOf([&] { sb->OpenKXTFolder2(); }), 34001);
}

TEST(ContainerTest, ASecondTreeWaitsUntilTheFirstIsComplete) {
  TempDir dir;
  const std::string path = dir.File("twice.kxt");
  {
    OLEStorage root(path.c_str(), kOLECreate);
    KXT_Handle<KXT_OutStorage2> storage(CreateKXT2(root, false));
    KXT_Handle<KXT_OutFolder2> first = storage->CreateKXTFolder2();
    KXT_Handle<KXT_OutStream2> old = first->CreateStream2(typeid(long), "Old", 0);
    first.reset();  // the stream still holds the tree open
    EXPECT_EQ(FailureOf([&] { storage->CreateKXTFolder2(); }), 33007);
    old.reset();  // now the first code file is complete
    KXT_Handle<KXT_OutFolder2> second = storage->CreateKXTFolder2();
    PutOne(*second->CreateStream2(typeid(long), "New", 0), 9L);
  }
  const auto streams = kxt_test::WitnessStreams(kxt_test::Witness(path));
  ASSERT_EQ(streams.size(), 1u);  // made afresh: nothing of the first tree
  EXPECT_EQ(streams.begin()->first, "New");
  EXPECT_EQ(streams.begin()->second, "0 0 060009000000");
}

TEST(ContainerTest, NamesTheFoldersCannotHoldAreRefused) {
  TempDir dir;
  const std::string path = dir.File("names.kxt");
  {
    OLEStorage root(path.c_str(), kOLECreate);
    KXT_Handle<KXT_OutStorage2> storage(CreateKXT2(root, false));
    KXT_Handle<KXT_OutFolder2> folder = storage->CreateKXTFolder2();
    for (const char* bad : {"a\x01" "b", "\x02", static_cast<const char*>(nullptr)}) {
      EXPECT_EQ(FailureOf([&] { folder->CreateFolder2(bad, 0); }), kKXTFailBadName);
      EXPECT_EQ(FailureOf([&] { folder->CreateStream2(typeid(long), bad, 0); }), kKXTFailBadName);
      EXPECT_EQ(FailureOf([&] { folder->CreateBundle2(KXT_Attr_Rec(), bad, 0); }), kKXTFailBadName);
    }
    KXT_Handle<KXT_OutFolder2> child = folder->CreateFolder2("Child/", 3);
    PutOne(*child->CreateStream2(typeid(long), "S", 0), 1L);
    PutOne(*folder->CreateStream2(typeid(long), "", 0), 2L);  // an empty name is a name
  }
  OLEStorage root(path.c_str(), kOLERead);
  KXT_Handle<KXT_InStorage2> storage(OpenKXT2(root));
  KXT_Handle<KXT_InFolder2> folder = storage->OpenKXTFolder2();
  // A name that would reach into a child folder's streams is refused too.
  EXPECT_EQ(FailureOf([&] { folder->OpenStream2(typeid(long), "0\x01S", 0); }), kKXTFailBadName);
  EXPECT_EQ(FailureOf([&] { folder->OpenFolder2("\x02", 0); }), kKXTFailBadName);
  EXPECT_EQ(FailureOf([&] { folder->OpenBundle2(KXT_Attr_Rec(), nullptr, 0); }), kKXTFailBadName);
  EXPECT_FALSE(folder->OpenFolder2("Child/", 0));  // exists with another index
  ASSERT_TRUE(folder->OpenFolder2("Child/", 3));
  EXPECT_TRUE(folder->OpenFolder2("Child/", 3)->OpenStream2(typeid(long), "S", 0));
  EXPECT_TRUE(folder->OpenStream2(typeid(long), "", 0));
}

// Version-1 processors that record what they were given.
struct WriteLong : KXT_OutStreamProcessor {
  long value;
  explicit WriteLong(long v) : value(v) {}
  void Call(KXT_OutStream& stream) override { PutOne(stream, value); }
};
struct ReadLong : KXT_InStreamProcessor {
  long value = 0;
  int calls = 0;
  void Call(KXT_InStream& stream) override {
    ++calls;
    GetOne(stream, value);
  }
};
struct WriteAttrs : KXT_OutBundleProcessor {
  void Call(KXT_OutBundle& bundle) override {
    KXT_Attr_Rec_Out attr;
    attr.m_NameRef = 1;
    attr.m_ValueRef = 2;
    bundle.PutRecord(attr);
  }
};
struct ReadAttrs : KXT_InBundleProcessor {
  KXT_Attr_Rec_In attr;
  int records = 0;
  void Call(KXT_InBundle& bundle) override {
    while (bundle.GetRecord(attr)) ++records;
  }
};
struct WriteBook : KXT_OutFolderProcessor {
  void Call(KXT_OutFolder& folder) override {
    struct Book : KXT_OutFolderProcessor {
      void Call(KXT_OutFolder& book) override {
        WriteLong style(7);
        book.ProcessStream(style, typeid(long), "StyleRef", 0);
        WriteAttrs attrs;
        book.ProcessBundle(attrs, KXT_Attr_Rec(), "Attrs{}", 0);
      }
    } book;
    folder.ProcessFolder(book, "Book/", 0);
  }
};
struct ReadBook : KXT_InFolderProcessor {
  ReadLong style;
  ReadAttrs attrs;
  bool found = false, wrongType = true, missing = true;
  void Call(KXT_InFolder& root) override {
    struct Book : KXT_InFolderProcessor {
      ReadBook* self;
      explicit Book(ReadBook* s) : self(s) {}
      void Call(KXT_InFolder& book) override {
        book.ProcessStream(self->style, typeid(long), "StyleRef", 0);
        ReadLong other;
        self->wrongType = book.ProcessStream(other, typeid(short), "StyleRef", 0) || other.calls != 0;
        book.ProcessBundle(self->attrs, KXT_Attr_Rec(), "Attrs{}", 0);
      }
    } book(this);
    found = root.ProcessFolder(book, "Book/", 0);
    missing = root.ProcessFolder(book, "Nothing/", 0);
  }
};

TEST(VersionOneTest, ProcessorsWriteAndReadTheSameTree) {
  TempDir dir;
  const std::string viaStorage = dir.File("v1.kxt"), viaFunctions = dir.File("v1f.kxt");
  {
    OLEStorage root(viaStorage.c_str(), kOLECreate);
    KXT_Handle<KXT_OutStorage> storage(CreateKXT(root));
    EXPECT_NE(storage->PrivateData(), nullptr);
    // The version-1 storage is the version-2 object.
    KXT_Handle<KXT_OutFolder2> folder = dynamic_cast<KXT_OutStorage2&>(*storage).CreateKXTFolder2();
    WriteBook writer;
    writer.Call(*folder);

    OLEStorage root2(viaFunctions.c_str(), kOLECreate);
    OLEStorage textAndCode(root2, u"SolvaneTextAndCode", kOLECreate);
    CreateKXTFolder(writer, textAndCode, true);
  }
  for (const std::string& path : {viaStorage, viaFunctions}) {
    OLEStorage root(path.c_str(), kOLERead);
    ReadBook reader;
    if (path == viaStorage) {
      KXT_Handle<KXT_InStorage> storage(OpenKXT(root));
      EXPECT_TRUE(storage->HasPrivateData());
      reader.Call(*dynamic_cast<KXT_InStorage2&>(*storage).OpenKXTFolder2());
    } else {
      OLEStorage textAndCode(root, u"SolvaneTextAndCode", kOLERead);
      EXPECT_TRUE(OpenKXTFolder(reader, textAndCode));
    }
    EXPECT_TRUE(reader.found) << path;
    EXPECT_FALSE(reader.missing);
    EXPECT_FALSE(reader.wrongType);  // false, and the processor was not called
    EXPECT_EQ(reader.style.calls, 1);
    EXPECT_EQ(reader.style.value, 7);
    EXPECT_EQ(reader.attrs.records, 1);
    EXPECT_EQ(reader.attrs.attr.m_ValueRef, 2);
  }
}

// A compound file whose final write fails: its folder is gone by the time
// the last handle of the tree goes.
struct LostFile {
  TempDir dir;
  KXT_Handle<KXT_OutFolder2> folder;
  KXT_Handle<KXT_OutStream2> stream;

  LostFile() {
    const std::filesystem::path sub = std::filesystem::path(dir.path()) / "gone";
    std::filesystem::create_directory(sub);
    auto* root = new OLEStorage((sub / "lost.kxt").string().c_str(), kOLECreate);
    KXT_Handle<KXT_OutStorage2> storage(CreateKXT2(*root, false));
    folder = storage->CreateKXTFolder2();
    stream = folder->CreateStream2(typeid(long), "S", 0);
    PutOne(*stream, 1L);
    delete root;  // the tree keeps the file open
    std::filesystem::remove_all(sub);
  }
};

TEST(LostFolderTest, TheLastReleaseRaisesTheWriteFailure) {
  LostFile lost;
  lost.folder.reset();  // the stream still holds the tree
  EXPECT_EQ(FailureOf([&] { lost.stream.reset(); }), 33006);
  EXPECT_FALSE(lost.stream);  // gone all the same; LeakSanitizer checks the rest
}

std::vector<std::string>& OleLines() {
  static std::vector<std::string> lines;
  return lines;
}

TEST(LostFolderTest, WhileUnwindingTheFailureIsLogged) {
  LostFile lost;
  LoggedFailures logged;
  OleLines().clear();
  SetOLEFailureLogger([](const char* line) { OleLines().push_back(line); });
  try {
    KXT_Handle<KXT_OutFolder2> folder = std::move(lost.folder);
    KXT_Handle<KXT_OutStream2> stream = std::move(lost.stream);
    throw std::logic_error("first");
  } catch (const std::logic_error& e) {
    EXPECT_STREQ(e.what(), "first");
  }
  SetOLEFailureLogger(nullptr);
  std::vector<std::string> all = LoggedFailures::Lines();
  all.insert(all.end(), OleLines().begin(), OleLines().end());
  ASSERT_FALSE(all.empty());
  EXPECT_TRUE(std::any_of(all.begin(), all.end(),
                          [](const std::string& l) { return l.find("33006") != std::string::npos; }))
      << all[0];
}

}  // namespace
