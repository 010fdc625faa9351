#include "framework/code_folder.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "code_file_test_util.h"
#include "framework/cf_name_composer.h"

using namespace cftest;

namespace {

using Ids = std::vector<std::pair<std::string, int32_t>>;

std::string TableEntry(const std::string& name, int32_t index, uint32_t number) {
  return LE32(static_cast<uint32_t>(name.size() + 1)) + name + '\0' + LE32(static_cast<uint32_t>(index)) + LE32(number);
}

void Put(CF_OutStorage& storage, const char* name, int32_t id, const std::string& data) {
  Owned<CF_OutStream> s(storage.CreateStream(name, id, CF_DecideAtFirstFlush));
  s->PutData(data.data(), static_cast<uint32_t>(data.size()));
}

std::string Get(CF_InStorage& storage, const std::string& name, int32_t id) {
  Owned<CF_InStream> s(storage.OpenStream(name.c_str(), id));
  return s ? ReadAll(*s) : "<missing>";
}

// A code file whose only stream is a root table with these bytes.
std::string FileWithRootTable(const std::string& table) {
  const std::string path = TempPath("table.ole");
  OLEStorage storage(path.c_str(), kOLECreate);
  Owned<CF_OutStorage> writer(CreateCodeFile(storage, false));
  Put(*writer, "\x02", 0, table);
  return path;
}

int OpenRootFailure(const std::string& path) {
  return FailureOf([&] {
    Owned<CF_InStorage> reader(OpenCodeFile(OLEStorage(path.c_str(), kOLERead)));
    delete OpenCodeFolder(*reader);
  });
}

TEST(CodeFolderNames, ChildPrefixesAreHexadecimalNumbers) {
  const CF_NameComposer root(""), child("\x01" "0");
  EXPECT_EQ(root.ChildPrefix(0), "\x01" "0");
  EXPECT_EQ(root.ChildPrefix(10), "\x01" "A");
  EXPECT_EQ(root.ChildPrefix(255), "\x01" "FF");
  EXPECT_EQ(child.ChildPrefix(11), "\x01" "0\x01" "B");
  EXPECT_EQ(root.StreamName("StyleRef"), "\x01StyleRef");
  EXPECT_EQ(root.TableName(), "\x02");
  EXPECT_EQ(child.TableName(), "\x01" "0\x02");
}

TEST(CodeFolderNames, ComposedNamesOutgrowingTheFoldersBuffer) {
  // A chain of children whose prefixes outgrow the composer's own buffer;
  // each composes what its parent's ChildPrefix gives.
  std::vector<std::unique_ptr<CF_NameComposer>> chain;
  chain.emplace_back(new CF_NameComposer(""));
  const uint32_t numbers[] = {0, 0xFFFFFFFFu, 10, 0x1234ABCu};
  for (int level = 0; level < 40; ++level) {
    const CF_NameComposer& parent = *chain.back();
    const uint32_t number = numbers[level % 4];
    chain.emplace_back(new CF_NameComposer(parent, number));
    ASSERT_EQ(chain.back()->Prefix(), parent.ChildPrefix(number)) << level;
  }
  const std::string longName(300, 'n');
  const struct {
    std::string name;
    bool plain;
  } cases[] = {{"", true},         {"x", true},           {"\xFF\x80 high", true}, {longName, true},
               {"a\x01" "b", false}, {"\x02", false},       {longName + '\x01', false}};
  for (const auto& level : {chain.front().get(), chain[3].get(), chain.back().get()}) {
    CF_NameComposer& composer = *level;
    const std::string prefix = composer.Prefix();
    for (const auto& c : cases) {
      const char* composed = composer.ComposedPlainName(c.name.c_str());
      if (c.plain) {
        ASSERT_NE(composed, nullptr) << c.name;
        EXPECT_EQ(std::string(composed), prefix + '\x01' + c.name);
        EXPECT_EQ(std::string(composer.ComposedName(c.name.c_str())), prefix + '\x01' + c.name);
      } else {
        EXPECT_EQ(composed, nullptr) << c.name;
      }
      EXPECT_EQ(std::string(composer.ComposedTableName()), prefix + '\x02');
      EXPECT_EQ(composer.Prefix(), prefix);
    }
  }
  // Every place of a name of 20 bytes, for the separators and for the bytes
  // next to them and with the top bit set.
  CF_NameComposer& composer = *chain[2];
  for (size_t at = 0; at < 20; ++at) {
    for (const char c : {'\x01', '\x02', '\x03', '\x80', '\x81', '\x82', '\x83', '\xFF'}) {
      std::string name(20, 'a');
      name[at] = c;
      const bool plain = c != '\x01' && c != '\x02';
      EXPECT_EQ(composer.ComposedPlainName(name.c_str()) != nullptr, plain) << at << ' ' << int(c);
    }
  }
}

TEST(CodeFolderLayout, TablesLongerThanTheirGatheringBuffer) {
  // Entries that fill the writer's buffer for table bytes many times, one of
  // them longer than the whole buffer.
  const std::string path = TempPath("longtable.ole");
  std::vector<std::string> names;
  for (int i = 0; i < 150; ++i) names.push_back("child " + std::to_string(1000 + i));
  names.insert(names.begin() + 70, "child 1069" + std::string(3000, 'x'));
  {
    OLEStorage storage(path.c_str(), kOLECreate);
    Owned<CF_OutStorage> writer(CreateCodeFile(storage, false));
    Owned<CF_OutFolder> root(CreateCodeFolder(*writer));
    for (size_t i = 0; i < names.size(); ++i) delete root->CreateFolder(names[i].c_str(), -1);
  }
  std::string table;
  for (size_t i = 0; i < names.size(); ++i) table += TableEntry(names[i], -1, static_cast<uint32_t>(i));
  Owned<CF_InStorage> flat(OpenCodeFile(OLEStorage(path.c_str(), kOLERead)));
  EXPECT_EQ(Get(*flat, "\x02", 0), table);
}

TEST(CodeFolderLayout, TreeOfThreeLevelsGivesThePrefixedNamesAndTables) {
  const std::string path = TempPath("tree.ole");
  {
    OLEStorage storage(path.c_str(), kOLECreate);
    Owned<CF_OutStorage> writer(CreateCodeFile(storage, true));
    Owned<CF_OutFolder> root(CreateCodeFolder(*writer));
    Owned<CF_OutFolder> book(root->CreateFolder("Book/", 0));
    Owned<CF_OutFolder> attrs(book->CreateFolder("Attrs{}", 0));
    Put(*root, "StyleRef", 0, "root stream");
    Put(*book, "m_Ref", 3, "book stream");
    Put(*attrs, "g", 0, "attrs stream");
    Owned<CF_OutStream> renamed(attrs->CreateStream("before", 1, CF_Stored));
    EXPECT_EQ(attrs->RenameStream("before", 1, "after", 2), renamed.get());
    renamed.reset();
    root->SetProperty(77, Variant(static_cast<int32_t>(5)));
    // The root goes first: a child may outlive its parent.
    root.reset();
  }
  Owned<CF_EnumerableInStorage> flat(OpenEnumerableCodeFile(OLEStorage(path.c_str(), kOLERead)));
  Collector all;
  flat->EnumerateStreams(all);
  using IdSet = std::set<std::pair<std::string, int32_t>>;
  const IdSet expected = {
      {"\x01StyleRef", 0},         {"\x02", 0},
      {"\x01" "0\x01m_Ref", 3},    {"\x01" "0\x02", 0},
      {"\x01" "0\x01" "0\x01g", 0}, {"\x01" "0\x01" "0\x01" "after", 2},
      {"\x01" "0\x01" "0\x02", 0}};
  EXPECT_EQ(IdSet(all.seen.begin(), all.seen.end()), expected);
  EXPECT_EQ(Get(*flat, "\x02", 0), TableEntry("Book/", 0, 0));
  EXPECT_EQ(Get(*flat, "\x01" "0\x02", 0), TableEntry("Attrs{}", 0, 0));
  EXPECT_EQ(Get(*flat, "\x01" "0\x01" "0\x02", 0), "");
  EXPECT_EQ(Get(*flat, "\x01" "0\x01m_Ref", 3), "book stream");

  Owned<CF_EnumerableInFolder> root(OpenEnumerableCodeFolder(*flat));
  EXPECT_EQ(root->GetProperty(77).ExpandedInteger(), 5);
  EXPECT_EQ(Get(*root, "StyleRef", 0), "root stream");
  Owned<CF_EnumerableInFolder> book(root->OpenFolder("Book/", 0));
  ASSERT_TRUE(book);
  EXPECT_EQ(root->OpenFolder("Book/", 1), nullptr);
  EXPECT_EQ(root->OpenFolder("Attrs{}", 0), nullptr);
  Owned<CF_EnumerableInFolder> attrs(book->OpenFolder("Attrs{}", 0));
  ASSERT_TRUE(attrs);
  EXPECT_EQ(Get(*attrs, "g", 0), "attrs stream");
  EXPECT_EQ(Get(*attrs, "after", 2), "");
  EXPECT_EQ(attrs->OpenStream("m_Ref", 3), nullptr);

  // Each folder reports its own streams only, without its prefix.
  Collector rootStreams, bookStreams, attrsStreams, attrsFolders;
  EXPECT_TRUE(root->EnumerateStreams(rootStreams));
  EXPECT_TRUE(book->EnumerateStreams(bookStreams));
  EXPECT_TRUE(attrs->EnumerateStreams(attrsStreams));
  EXPECT_EQ(rootStreams.seen, (Ids{{"StyleRef", 0}}));
  EXPECT_EQ(bookStreams.seen, (Ids{{"m_Ref", 3}}));
  EXPECT_EQ(attrsStreams.seen, (Ids{{"g", 0}, {"after", 2}}));
  // An empty table: nothing to report, and true.
  EXPECT_TRUE(attrs->EnumerateFolders(attrsFolders));
  EXPECT_TRUE(attrsFolders.seen.empty());
}

TEST(CodeFolderLayout, TableOrderAndChildNumbers) {
  const std::string path = TempPath("numbers.ole");
  {
    OLEStorage storage(path.c_str(), kOLECreate);
    Owned<CF_OutStorage> writer(CreateCodeFile(storage, false));
    Owned<CF_OutFolder> root(CreateCodeFolder(*writer));
    // Numbers 0 to 11 in order of creation; the twelfth is B.
    const char* names[] = {"name", "name", "abc", "ab", "\x80", "z", "c6", "c7", "c8", "c9", "c10", "c11"};
    const int32_t indexes[] = {3, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, -1};
    for (int i = 0; i < 12; ++i) {
      Owned<CF_OutFolder> child(root->CreateFolder(names[i], indexes[i]));
      Put(*child, "x", 0, std::to_string(i));
    }
    // The same (name, index) again keeps its number.
    Owned<CF_OutFolder> again(root->CreateFolder("name", 3));
    Put(*again, "y", 0, "again");
  }
  Owned<CF_EnumerableInStorage> flat(OpenEnumerableCodeFile(OLEStorage(path.c_str(), kOLERead)));
  const std::string table = TableEntry("\x80", 0, 4).insert(0, TableEntry("z", 0, 5))
                                .insert(0, TableEntry("name", 3, 0))
                                .insert(0, TableEntry("name", 1, 1))
                                .insert(0, TableEntry("c9", 0, 9))
                                .insert(0, TableEntry("c8", 0, 8))
                                .insert(0, TableEntry("c7", 0, 7))
                                .insert(0, TableEntry("c6", 0, 6))
                                .insert(0, TableEntry("c11", -1, 11))
                                .insert(0, TableEntry("c10", 0, 10))
                                .insert(0, TableEntry("abc", 0, 2))
                                .insert(0, TableEntry("ab", 0, 3));
  EXPECT_EQ(Get(*flat, "\x02", 0), table);
  EXPECT_EQ(Get(*flat, "\x01" "B\x01x", 0), "11");
  EXPECT_EQ(Get(*flat, "\x01" "0\x01y", 0), "again");

  Owned<CF_EnumerableInFolder> root(OpenEnumerableCodeFolder(*flat));
  Collector folders;
  EXPECT_TRUE(root->EnumerateFolders(folders));
  const Ids order = {{"ab", 0}, {"abc", 0}, {"c10", 0}, {"c11", -1}, {"c6", 0}, {"c7", 0},
                     {"c8", 0}, {"c9", 0},  {"name", 1}, {"name", 3}, {"z", 0},  {"\x80", 0}};
  EXPECT_EQ(folders.seen, order);
  Owned<CF_InFolder> first(root->OpenFolder("name", 1));
  EXPECT_EQ(Get(*first, "x", 0), "1");
}

TEST(CodeFolderLayout, UnfoldedStorageShowsOnlyStreamsOutsideFolders) {
  const std::string path = TempPath("unfolded.ole");
  {
    OLEStorage storage(path.c_str(), kOLECreate);
    Owned<CF_OutStorage> writer(CreateCodeFile(storage, true));
    Put(*writer, "plain", 4, "outside");
    Owned<CF_OutFolder> root(CreateCodeFolder(*writer));
    Put(*root, "inside", 4, "inside");
  }
  Owned<CF_EnumerableInStorage> flat(OpenEnumerableCodeFile(OLEStorage(path.c_str(), kOLERead)));
  Owned<CF_EnumerableInFolder> root(OpenEnumerableCodeFolder(*flat));
  Owned<CF_EnumerableInStorage> unfolded(root->UnfoldedStorage());
  Collector seen;
  EXPECT_TRUE(unfolded->EnumerateStreams(seen));
  EXPECT_EQ(seen.seen, (Ids{{"plain", 4}}));
  EXPECT_EQ(Get(*unfolded, "plain", 4), "outside");
  EXPECT_EQ(unfolded->OpenStream("\x01inside", 4), nullptr);
  EXPECT_EQ(unfolded->OpenStream("\x02", 0), nullptr);
  EXPECT_EQ(unfolded->GetProperty(3001).ExpandedInteger(), 1);
}

TEST(CodeFolderLayout, LargeTablesMayBeCompressed) {
  const std::string path = TempPath("bigtable.ole");
  {
    OLEStorage storage(path.c_str(), kOLECreate);
    Owned<CF_OutStorage> writer(CreateCodeFile(storage, true));
    Owned<CF_OutFolder> root(CreateCodeFolder(*writer));
    for (int i = 0; i < 200; ++i) delete root->CreateFolder(("child number " + std::to_string(i)).c_str(), i);
  }
  const Layout layout(StreamBytes(path, u"SolvaneCodeFile"));
  const Layout::Entry* table = layout.Find("\x02", 0);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->kind, 1);
  Owned<CF_InStorage> flat(OpenCodeFile(OLEStorage(path.c_str(), kOLERead)));
  Owned<CF_InFolder> root(OpenCodeFolder(*flat));
  Owned<CF_InFolder> last(root->OpenFolder("child number 199", 199));
  EXPECT_TRUE(last);
}

TEST(CodeFolderNames, ReservedBytesAreRefusedWhenWriting) {
  const std::string path = TempPath("reserved.ole");
  OLEStorage storage(path.c_str(), kOLECreate);
  Owned<CF_OutStorage> writer(CreateCodeFile(storage, false));
  Owned<CF_OutFolder> root(CreateCodeFolder(*writer));
  EXPECT_EQ(FailureOf([&] { delete root->CreateFolder("a\x01" "b", 0); }), 33000);
  EXPECT_EQ(FailureOf([&] { delete root->CreateFolder("\x02", 0); }), 33000);
  EXPECT_EQ(FailureOf([&] { delete root->CreateStream("s\x02", 0, 0); }), 33000);
  Owned<CF_OutStream> s(root->CreateStream("s", 0, 0));
  EXPECT_EQ(FailureOf([&] { root->RenameStream("s", 0, "t\x01", 0); }), 33000);
}

TEST(CodeFolderDamage, BadTablesFailWith34001) {
  const std::string good = TableEntry("a", 0, 0);
  // Missing root table.
  {
    const std::string path = TempPath("notable.ole");
    OLEStorage storage(path.c_str(), kOLECreate);
    delete CreateCodeFile(storage, false);
  }
  EXPECT_EQ(OpenRootFailure(TempPath("notable.ole")), kFailCodeFileDamaged);
  EXPECT_EQ(OpenRootFailure(FileWithRootTable(good)), 0);
  // Cut in the number, in the index, in the name, in the length word.
  for (size_t cut = 1; cut < good.size(); ++cut) {
    EXPECT_EQ(OpenRootFailure(FileWithRootTable(good + good.substr(0, cut))), kFailCodeFileDamaged) << cut;
  }
  EXPECT_EQ(OpenRootFailure(FileWithRootTable(good + good)), kFailCodeFileDamaged);  // twice
  EXPECT_EQ(OpenRootFailure(FileWithRootTable(LE32(0) + LE32(0) + LE32(0))), kFailCodeFileDamaged);
  // A length far past the bytes that follow.
  EXPECT_EQ(OpenRootFailure(FileWithRootTable(LE32(0x7FFFFFF0) + "abc" + LE32(0) + LE32(0))), kFailCodeFileDamaged);

  // The name is what comes before the first NUL; the last byte counts as NUL.
  const std::string path = FileWithRootTable(LE32(6) + std::string("ab\0cd\0", 6) + LE32(2) + LE32(0) +
                                             LE32(3) + "xyz" + LE32(0) + LE32(1));
  Owned<CF_InStorage> flat(OpenCodeFile(OLEStorage(path.c_str(), kOLERead)));
  Owned<CF_EnumerableInFolder> root(dynamic_cast<CF_EnumerableInFolder*>(OpenCodeFolder(*flat)));
  Collector folders;
  root->EnumerateFolders(folders);
  EXPECT_EQ(folders.seen, (Ids{{"ab", 2}, {"xy", 0}}));
  // A child whose table is missing.
  EXPECT_EQ(FailureOf([&] { delete root->OpenFolder("ab", 2); }), kFailCodeFileDamaged);
}

// A hint of the stream about to be opened changes nothing: a child opened
// with one is the child opened without, a missing child stays missing and a
// damaged one fails the same; announcing a stream, present or not, leaves
// what a reader or folder gives as it was.
TEST(CodeFolderHints, ExpectedStreamsChangeNothingThatIsRead) {
  const std::string path = TempPath("hints.ole");
  {
    OLEStorage storage(path.c_str(), kOLECreate);
    Owned<CF_OutStorage> writer(CreateCodeFile(storage, false));
    Owned<CF_OutFolder> root(CreateCodeFolder(*writer));
    Owned<CF_OutFolder> styled(root->CreateFolder("Run/", 0));
    Owned<CF_OutFolder> plain(root->CreateFolder("Run/", 1));
    Put(*styled, "StyleRef", 0, "style");
    Put(*styled, "text", 0, "first");
    Put(*plain, "text", 0, "second");
  }
  const auto contents = [](CF_InFolder* folder) -> std::string {
    if (folder == nullptr) return "<none>";
    Owned<CF_InFolder> owned(folder);
    return Get(*owned, "StyleRef", 0) + "|" + Get(*owned, "text", 0) + "|" + Get(*owned, "", 0);
  };
  Owned<CF_InStorage> flat(OpenCodeFile(OLEStorage(path.c_str(), kOLERead)));
  Owned<CF_InFolder> root(OpenCodeFolder(*flat));
  struct Case {
    const char* folder;
    int32_t index;
    std::string contents;
  };
  const std::vector<Case> cases = {{"Run/", 0, "style|first|<missing>"},
                                   {"Run/", 1, "<missing>|second|<missing>"},
                                   {"Run/", 2, "<none>"},
                                   {"Other/", 0, "<none>"}};
  for (const Case& c : cases) {
    EXPECT_EQ(contents(root->OpenFolder(c.folder, c.index)), c.contents) << c.folder << c.index;
    for (const char* expected : {"StyleRef", "text", "absent", "", "a\x01" "b", static_cast<const char*>(nullptr)}) {
      EXPECT_EQ(contents(root->OpenFolderExpecting(c.folder, c.index, expected)), c.contents)
          << c.folder << c.index << (expected ? expected : "(null)");
    }
  }
  for (const char* name : {"\x01StyleRef", "\x01" "0\x01StyleRef", "\x01" "1\x01StyleRef", "", "\x02",
                           static_cast<const char*>(nullptr)}) {
    flat->Expect(name);
    root->Expect(name);
  }
  EXPECT_EQ(Get(*flat, "\x01" "0\x01StyleRef", 0), "style");
  EXPECT_EQ(Get(*flat, "\x01" "1\x01StyleRef", 0), "<missing>");

  // A child whose table is missing fails alike, with or without a hint.
  const std::string damaged = FileWithRootTable(TableEntry("ab", 2, 0));
  Owned<CF_InStorage> reader(OpenCodeFile(OLEStorage(damaged.c_str(), kOLERead)));
  Owned<CF_InFolder> top(OpenCodeFolder(*reader));
  EXPECT_EQ(FailureOf([&] { delete top->OpenFolderExpecting("ab", 2, "StyleRef"); }), kFailCodeFileDamaged);
  EXPECT_EQ(FailureOf([&] { delete top->OpenFolder("ab", 2); }), kFailCodeFileDamaged);

  // A code file without any names takes hints too.
  const std::string bare = TempPath("bare.ole");
  WriteRawCodeFile(bare, LE32(0) + LE32(8), -1, -1);  // no streams, no names section
  Owned<CF_InStorage> nameless(OpenCodeFile(OLEStorage(bare.c_str(), kOLERead)));
  nameless->Expect("StyleRef");
  EXPECT_EQ(Get(*nameless, "StyleRef", 0), "<missing>");
}

}  // namespace
