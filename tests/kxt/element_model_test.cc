// The version-2 element model: a book with every kind of element written
// and read back (through version 2 and version 1), the layout checked by the
// independent reader, the same calls giving the same code file, and readers
// over missing folders.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <sstream>
#include <string>

#include "element_model_util.h"
#include "kxt_test_util.h"
#include "tests/common/failure_of.h"
#include "tests/common/temp_dir.h"

namespace {

using element_test::Book;
using element_test::BookDefaults;
using element_test::SampleBook;
using testutil::TempDir;

// Compress false and true, each with two release orders.
class RoundTripTest : public ::testing::TestWithParam<std::tuple<bool, unsigned>> {};

TEST_P(RoundTripTest, EveryElementComesBackThroughBothVersions) {
  const bool compress = std::get<0>(GetParam());
  const unsigned seed = std::get<1>(GetParam());
  TempDir dir;
  const std::string path = dir.File("book.kxt");
  const Book written = SampleBook();
  element_test::WriteV2(written, path, compress, seed);

  const Book viaV2 = element_test::ReadV2(path);
  EXPECT_TRUE(viaV2 == written);
  // Spot checks that tell where a difference lies.
  ASSERT_EQ(viaV2.documents.size(), 2u);
  EXPECT_EQ(viaV2.attrs, written.attrs);
  const auto& runs = viaV2.documents[0].stories[0].paragraphs[1].runs;
  ASSERT_EQ(runs.size(), 8u);
  for (size_t r = 0; r < runs.size(); ++r) {
    const auto& expected = written.documents[0].stories[0].paragraphs[1].runs[r];
    EXPECT_TRUE(runs[r] == expected) << "run " << r;
    EXPECT_EQ(runs[r].units.size(), expected.units.size()) << "run " << r;
    EXPECT_EQ(runs[r].records.size(), expected.records.size()) << "run " << r;
  }

  EXPECT_TRUE(element_test::v1::Read(path) == written);
}

INSTANTIATE_TEST_SUITE_P(CompressAndOrder, RoundTripTest,
                         ::testing::Combine(::testing::Bool(), ::testing::Values(1u, 2u)));

TEST(RoundTripTest, TheSampleHoldsWhatTheSuiteMustCover) {
  // Guards the sample itself: the texts and bundles at the lengths asked.
  const Book book = SampleBook();
  std::set<size_t> lengths, counts;
  bool nul = false, pair = false, ffff = false, high = false;
  for (const auto& run : book.documents[0].stories[0].paragraphs[1].runs) {
    if (run.kind == element_test::RunKind::kMultibytes) {
      for (unsigned char c : run.bytes) high |= c >= 0x80;
    } else if (run.kind >= element_test::RunKind::kSpecialChars) {
      counts.insert(run.records.size());
    } else {
      lengths.insert(run.units.size());
      nul |= run.units.find(u'\0') != std::u16string::npos;
      pair |= run.units.find(u"\xD83D\xDE00") != std::u16string::npos;
      ffff |= run.units.find(u'\xFFFF') != std::u16string::npos;
    }
  }
  lengths.insert(book.documents[0].stories[0].paragraphs[0].runs[0].units.size());
  EXPECT_EQ(lengths, (std::set<size_t>{0, 2047, 2048, 2049}));
  EXPECT_EQ(counts, (std::set<size_t>{0, 1, 3, 1500}));
  EXPECT_TRUE(nul && pair && ffff && high);
}

TEST(ElementLayoutTest, SameCallsGiveTheSameCodeFile) {
  TempDir dir;
  const Book book = SampleBook();
  element_test::WriteV2(book, dir.File("a.kxt"), false, 1);
  element_test::WriteV2(book, dir.File("b.kxt"), false, 1);
  const std::string a = element_test::CodeFileBytes(dir.File("a.kxt"));
  EXPECT_GT(a.size(), 20000u);
  EXPECT_TRUE(a == element_test::CodeFileBytes(dir.File("b.kxt")));
}

// The stream values of the independent reader's hex: tag, then 4-byte longs.
std::vector<int32_t> Longs(const std::string& line) {
  std::istringstream in(line);
  std::string id, kind, hex;
  in >> id >> kind >> hex;
  std::vector<int32_t> values;
  EXPECT_EQ(hex.substr(0, 4), "0600");
  for (size_t i = 4; i + 8 <= hex.size(); i += 8) {
    uint32_t v = 0;
    for (int b = 3; b >= 0; --b) v = v << 8 | std::stoul(hex.substr(i + 2 * b, 2), nullptr, 16);
    values.push_back(static_cast<int32_t>(v));
  }
  return values;
}

// The strings of a tag-11 stream (ASCII only).
std::vector<std::string> Strings(const std::string& line) {
  std::istringstream in(line);
  std::string id, kind, hex;
  in >> id >> kind >> hex;
  EXPECT_EQ(hex.substr(0, 4), "0b00");
  std::vector<std::string> values;
  auto byte = [&hex](size_t i) { return static_cast<unsigned>(std::stoul(hex.substr(2 * i, 2), nullptr, 16)); };
  for (size_t i = 2; 2 * i < hex.size();) {
    const unsigned n = byte(i) | byte(i + 1) << 8;
    i += 2;
    std::string s;
    for (unsigned k = 0; k < n; ++k, i += 2) s += static_cast<char>(byte(i));
    values.push_back(s);
  }
  return values;
}

TEST(ElementLayoutTest, AnEmptyBookHasItsFoldersMapAndAttributes) {
  TempDir dir;
  const std::string path = dir.File("empty.kxt");
  {
    OLEStorage root(path.c_str(), kOLECreate);
    KXT_Handle<KXT_OutStorage2> storage(CreateKXT2(root, false));
    KXT_Book_Out2 book(storage->CreateKXTFolder2());
    book.SaveAttrsSet("Attrs{}");
  }
  const auto lines = kxt_test::Witness(path);
  EXPECT_EQ(lines.count("folder Book/#0|ObjectsPool/#0| 0"), 1u);
  const auto streams = kxt_test::WitnessStreams(lines);
  // Nothing inside the pool; the book holds the two bundles only.
  for (const auto& s : streams) {
    EXPECT_TRUE(s.first.rfind("Book/#0|StringsMap{}#0|", 0) == 0 || s.first.rfind("Book/#0|Attrs{}#0|", 0) == 0)
        << s.first;
  }
  // Decode the map and the attributes by hand and join them.
  const auto refs = Longs(streams.at("Book/#0|StringsMap{}#0|m_Ref"));
  const auto texts = Strings(streams.at("Book/#0|StringsMap{}#0|m_String"));
  ASSERT_EQ(refs.size(), texts.size());
  std::map<int32_t, std::u16string> byNumber;
  for (size_t i = 0; i < refs.size(); ++i) {
    EXPECT_TRUE(byNumber.emplace(refs[i], std::u16string(texts[i].begin(), texts[i].end())).second);
    if (i > 0) {
      EXPECT_LT(texts[i - 1], texts[i]) << "stored in string order";
    }
  }
  const auto names = Longs(streams.at("Book/#0|Attrs{}#0|m_NameRef"));
  const auto values = Longs(streams.at("Book/#0|Attrs{}#0|m_ValueRef"));
  ASSERT_EQ(names.size(), values.size());
  element_test::Attrs stored;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) {
      EXPECT_LT(names[i - 1], names[i]) << "stored in name-number order";
    }
    stored[byNumber.at(names[i])] = byNumber.at(values[i]);
  }
  EXPECT_EQ(stored, BookDefaults());
  // Numbers are dense from 0.
  EXPECT_EQ(byNumber.begin()->first, 0);
  EXPECT_EQ(byNumber.rbegin()->first, static_cast<int32_t>(byNumber.size()) - 1);

  // The reader finds the same.
  OLEStorage root(path.c_str(), kOLERead);
  KXT_Handle<KXT_InStorage2> storage(OpenKXT2(root));
  KXT_Book_In2 book(storage->OpenKXTFolder2());
  ASSERT_TRUE(book.Valid());
  EXPECT_EQ(element_test::Own(book.AttrsSet(), book.StringsMap()), BookDefaults());
  EXPECT_FALSE(book.OpenDocumentsSet("DocumentsSet/"));
  ASSERT_TRUE(book.ObjectsPool());
}

// A container written by hand, partly below the element classes.
class HandMadeTest : public ::testing::Test {
 protected:
  void Write(const std::function<void(const KXT_Handle<KXT_OutFolder2>& root)>& fill) {
    OLEStorage root(path.c_str(), kOLECreate);
    KXT_Handle<KXT_OutStorage2> storage(CreateKXT2(root, false));
    fill(storage->CreateKXTFolder2());
  }
  KXT_Handle<KXT_InFolder2> Root() {
    file = std::make_unique<OLEStorage>(path.c_str(), kOLERead);
    KXT_Handle<KXT_InStorage2> storage(OpenKXT2(*file));
    return storage->OpenKXTFolder2();
  }
  TempDir dir;
  std::string path = dir.File("hand.kxt");
  std::unique_ptr<OLEStorage> file;
};

TEST_F(HandMadeTest, ReadersOverMissingFoldersAnswerNullAndFalse) {
  Write([](const KXT_Handle<KXT_OutFolder2>& root) { root->CreateFolder2("NotABook/", 0); });
  KXT_Book_In2 book(Root());
  EXPECT_FALSE(book.Valid());
  EXPECT_EQ(book.StringsMap().size(), 0u);
  EXPECT_EQ(book.AttrsSet().GetAttrValue(u"codepage", book.StringsMap()), nullptr) << "no defaults";
  EXPECT_FALSE(book.ObjectsPool());
  EXPECT_FALSE(book.OpenDocumentsSet("DocumentsSet/"));
  EXPECT_FALSE(book.LoadAttrsSet("Attrs{}"));

  KXT_DocumentsSet_In2 docs(book.OpenDocumentsSet("DocumentsSet/"), "Document[]/");
  EXPECT_FALSE(docs.Valid());
  EXPECT_FALSE(docs.OpenElement(0));
  EXPECT_FALSE(docs.LoadAttrsSet("Attrs{}"));
  KXT_Document_In2 doc(docs.OpenElement(0));
  EXPECT_FALSE(doc.OpenStylesSet("StylesSet/"));
  EXPECT_FALSE(doc.OpenTextVariablesSet("TextVariablesSet/"));
  EXPECT_FALSE(doc.OpenStoriesSet("StoriesSet/"));
  KXT_Story_In2 story(nullptr);
  EXPECT_FALSE(story.OpenParagraphsSet("ParagraphsSet/"));
  KXT_StyleInfo_In2 style(nullptr);
  int32_t ref = 77;
  EXPECT_FALSE(style.LoadThisStyleRef(ref, "ThisStyleRef"));
  EXPECT_FALSE(style.LoadBaseStyleRef(ref, "BaseStyleRef"));
  KXT_Paragraph_In2 para(nullptr);
  EXPECT_FALSE(para.LoadStyleRef(ref, "StyleRef"));
  EXPECT_FALSE(para.OpenTextRun(0, "TextRun[]/"));
  KXT_TextRun_In2 run(nullptr);
  EXPECT_FALSE(run.OpenUnicodes("!1:Unicodes"));
  EXPECT_FALSE(run.OpenMultibytes("!1:Multibytes"));
  EXPECT_FALSE(run.OpenWideMultibytes("!1:WideMultibytes"));
  EXPECT_FALSE(run.OpenSpecialChars("!1:SpecialChars{}"));
  EXPECT_FALSE(run.OpenRefPoints("!1:RefPoints{}"));
  EXPECT_FALSE(run.OpenPlaceHolders("!1:PlaceHolders{}"));
  EXPECT_FALSE(run.OpenTextVariables("!1:TextVariables{}"));
  EXPECT_EQ(ref, 77);

  // A null root is a book that is not Valid too.
  KXT_Book_In2 none(nullptr);
  EXPECT_FALSE(none.Valid());
}

TEST_F(HandMadeTest, StyleReferencesAndItemsAreFoundOnlyAsWritten) {
  Write([](const KXT_Handle<KXT_OutFolder2>& root) {
    KXT_Book_Out2 book(root);
    KXT_ParagraphsSet_Out2 paras(book.CreateDocumentsSet("P/"), "Paragraph[]/");
    KXT_Paragraph_Out2 plain(paras.CreateElement(0));
    KXT_Paragraph_Out2 empty(paras.CreateElement(1));
    empty.Folder().CreateStream2(typeid(long), "StyleRef", 0);  // no value
    KXT_Paragraph_Out2 wrong(paras.CreateElement(2));
    wrong.Folder().CreateStream2(typeid(std::u16string), "StyleRef", 0);
    KXT_Paragraph_Out2 styled(paras.CreateElement(3));
    styled.SaveStyleRef(INT32_MIN, "StyleRef");
    // A run of paragraph 3 whose 8-bit text bears the name of a UTF-16 one.
    KXT_MultibytesRun_Out2 run(styled.CreateTextRun(0, "TextRun[]/"));
    KXT_Handle<KXT_OutStream2> text = run.CreateMultibytes("!1:Unicodes");
    dynamic_cast<KXT_Out<char>&>(*text).PutData("ab", 2);
  });
  KXT_Book_In2 book(Root());
  KXT_ParagraphsSet_In2 paras(book.OpenDocumentsSet("P/"), "Paragraph[]/");
  int32_t ref = 5;
  EXPECT_FALSE(KXT_Paragraph_In2(paras.OpenElement(0)).LoadStyleRef(ref, "StyleRef"));
  EXPECT_EQ(ref, 5);
  EXPECT_TRUE(KXT_Paragraph_In2(paras.OpenElement(1)).LoadStyleRef(ref, "StyleRef"));
  EXPECT_EQ(ref, -1);
  ref = 5;
  EXPECT_FALSE(KXT_Paragraph_In2(paras.OpenElement(2)).LoadStyleRef(ref, "StyleRef"));
  EXPECT_EQ(ref, 5);
  KXT_Paragraph_In2 styled(paras.OpenElement(3));
  EXPECT_TRUE(styled.LoadStyleRef(ref, "StyleRef"));
  EXPECT_EQ(ref, INT32_MIN);
  EXPECT_FALSE(KXT_Paragraph_In2(paras.OpenElement(4)).Valid()) << "past the end";

  KXT_TextRun_In2 run(styled.OpenTextRun(0, "TextRun[]/"));
  ASSERT_TRUE(run.Valid());
  EXPECT_FALSE(run.OpenUnicodes("!1:Unicodes")) << "the stream holds chars";
  EXPECT_FALSE(run.OpenWideMultibytes("!1:Unicodes"));
  KXT_Handle<KXT_InStream2> text = run.OpenMultibytes("!1:Unicodes");
  ASSERT_TRUE(text);
  EXPECT_EQ(element_test::GetAll<std::string>(*text), "ab");
  EXPECT_FALSE(run.OpenSpecialChars("!1:SpecialChars{}"));
  EXPECT_FALSE(styled.OpenTextRun(1, "TextRun[]/"));
}

TEST_F(HandMadeTest, StoredAttributesReplaceDefaultsAndTheRestRemain) {
  Write([](const KXT_Handle<KXT_OutFolder2>& root) {
    KXT_Book_Out2 book(root);
    // Another view of "Book/" stores a set without the defaults.
    book.Folder().AddRef();
    KXT_ProcessorWithAttrs_Out2 view{KXT_Handle<KXT_OutFolder2>(&book.Folder())};
    view.AttrsSet().AddAttr(u"bold", u"on", book.StringsMap());
    view.AttrsSet().AddAttr(u"codepage", u"1200", book.StringsMap());
    view.SaveAttrsSet("Attrs{}");
  });
  KXT_Book_In2 book(Root());
  element_test::Attrs expected = BookDefaults();
  expected.erase(u"release_number");
  expected.erase(u"build_number");
  expected[u"bold"] = u"on";
  expected[u"codepage"] = u"1200";
  EXPECT_EQ(element_test::Own(book.AttrsSet(), book.StringsMap()), expected);
}

TEST_F(HandMadeTest, LookupsFallBackAlongTheLinkedSets) {
  Write([](const KXT_Handle<KXT_OutFolder2>& root) {
    KXT_Book_Out2 book(root);
    book.SaveAttrsSet("Attrs{}");
    KXT_StoriesSet_Out2 stories(book.CreateDocumentsSet("S/"), "Story[]/");
    KXT_Story_Out2 story(stories.CreateElement(0));
    story.AttrsSet().AddAttr(u"bold", u"on", book.StringsMap());
    story.SaveAttrsSet("Attrs{}");
    KXT_ParagraphsSet_Out2 paras(story.CreateParagraphsSet("ParagraphsSet/"), "Paragraph[]/");
    KXT_Paragraph_Out2 para(paras.CreateElement(0));
    para.AttrsSet().AddAttr(u"italic", u"on", book.StringsMap());
    para.SaveAttrsSet("Attrs{}");
  });
  KXT_Book_In2 book(Root());
  KXT_StoriesSet_In2 stories(book.OpenDocumentsSet("S/"), "Story[]/");
  KXT_Story_In2 story(stories.OpenElement(0));
  EXPECT_TRUE(story.LoadAttrsSet("Attrs{}"));
  story.AttrsSet().DefineBaseAttrsSet(&book.AttrsSet());
  KXT_ParagraphsSet_In2 paras(story.OpenParagraphsSet("ParagraphsSet/"), "Paragraph[]/");
  EXPECT_FALSE(paras.LoadAttrsSet("Attrs{}"));
  KXT_Paragraph_In2 para(paras.OpenElement(0));
  EXPECT_TRUE(para.LoadAttrsSet("Attrs{}"));
  para.AttrsSet().DefineBaseAttrsSet(&story.AttrsSet());
  const KXT_StringsMap& map = book.StringsMap();
  EXPECT_EQ(std::u16string(para.AttrsSet().GetAttrValue(u"italic", map)), u"on");
  EXPECT_EQ(std::u16string(para.AttrsSet().GetAttrValue(u"bold", map)), u"on");
  EXPECT_EQ(std::u16string(para.AttrsSet().GetAttrValue(u"release_number", map)), u"1");
  EXPECT_EQ(std::u16string(book.AttrsSet().GetAttrValue(u"bold", map)), u"off");
}

TEST_F(HandMadeTest, SetsKeepTheirOwnCopyOfThePatternName) {
  Write([](const KXT_Handle<KXT_OutFolder2>& root) {
    KXT_Book_Out2 book(root);
    std::string pattern = "Story[]/";
    KXT_StoriesSet_Out2 stories(book.CreateDocumentsSet("S/"), pattern.c_str());
    pattern.assign(64, 'X');  // the caller's buffer changes (and moves)
    KXT_Story_Out2 story(stories.CreateElement(0));
    EXPECT_EQ(testutil::FailureOf([&] { KXT_StoriesSet_Out2 none(book.CreateDocumentsSet("N/"), nullptr); }),
              kKXTFailBadName);
  });
  KXT_Book_In2 book(Root());
  std::string pattern = "Story[]/";
  KXT_StoriesSet_In2 stories(book.OpenDocumentsSet("S/"), pattern.c_str());
  pattern.assign(64, 'Y');
  EXPECT_TRUE(stories.OpenElement(0));
  EXPECT_FALSE(stories.OpenElement(1));
}

}  // namespace
