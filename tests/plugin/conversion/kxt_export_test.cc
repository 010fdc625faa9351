// The export facade: element numbering, style references, run contents and
// attribute hoisting read back by the element witness and by the container's
// own readers; stored host documents read back through Python's zlib.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <future>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include <filesystem>

#include "kxt/element_model_util.h"
#include "plugin/conversion/kxt_export.h"
#include "tests/common/files.h"
#include "tests/common/kxt_witness_py.h"
#include "tests/common/sample_data.h"
#include "tests/common/temp_dir.h"

namespace {

using namespace BX_KXT::Export;

// A source of bytes in memory; with `failAfter` it raises once that many
// bytes were delivered.
class MemorySource : public BX_KXT::BXInStream {
 public:
  explicit MemorySource(std::string bytes, size_t failAfter = std::string::npos)
      : bytes_(std::move(bytes)), failAfter_(failAfter) {}
  uint32_t GetData(void* buffer, uint32_t n) override {
    if (at_ >= failAfter_) throw std::runtime_error("source failed");
    const size_t k = std::min<size_t>(n, bytes_.size() - at_);
    std::memcpy(buffer, bytes_.data() + at_, k);
    at_ += k;
    return static_cast<uint32_t>(k);
  }
  uint32_t Length() override { return static_cast<uint32_t>(bytes_.size()); }

 private:
  std::string bytes_;
  size_t failAfter_;
  size_t at_ = 0;
};

class KxtExportTest : public ::testing::Test {
 protected:
  testutil::TempDir dir_{"brenix-export"};
  std::string path_ = dir_.File("book.kxq");
};

TEST_F(KxtExportTest, ElementsRunsAndHoistingReadBackByBothReaders) {
  {
    Ref<IBook> book = CreateExportBook(path_.c_str());
    Ref<IDoc> doc = book->NewDocument(5);
    doc->AddAttr(u"source", u"doc");
    book->AddAttr(u"book_title", u"T");
    doc->NewStyle(9, -1, -1);
    Ref<IAttrs> style = doc->NewStyle(9, 4, 2);
    style->AddAttr(u"stylename", u"Body");
    Ref<IStory> first = doc->NewStory(7);
    Ref<IStory> second = doc->NewStory(7);
    Ref<IPara> para = first->NewParagraph(3, -1);
    {
      const char16_t text[] = u"abc";
      Ref<IAttrs> run = para->NewUnicodesRun(text, 5, -1);  // odd: two units
      run->Open();
      EXPECT_TRUE(run->SetAttr(u"bold", u"off"));  // the book's default
      EXPECT_TRUE(run->SetAttr(u"colour", u"red"));  // hoisted to the document
      EXPECT_TRUE(SetNumericAttr(*run, u"mask", 255, true));
      EXPECT_TRUE(SetNumericAttr(*run, u"count", 255, false));
      run->Close();
    }
    {
      Ref<IAttrs> run = para->NewMultibytesRun("\x80xy", 3, 7);
      run->Open();  // climbs no further: the paragraph is closed
      EXPECT_TRUE(run->SetAttr(u"colour", u"red"));  // inherited: not stored
      EXPECT_TRUE(run->SetAttr(u"colour2", u"blue"));
      EXPECT_TRUE(run->SetAttr(u"count", u"1"));  // differs from the document's: stored here
      EXPECT_FALSE(run->SetAttr(u"colour2", u"green"));  // own value kept
      run->Close();
      EXPECT_FALSE(run->SetAttr(u"late", u"x"));  // closed
    }
    const char16_t wide[] = {0x80, 0x2011};
    Ref<IAttrs> third = para->NewWideMultibytesRun(wide, 2, -1);
    third->Open();
    EXPECT_TRUE(third->SetAttr(u"colour", u"red"));  // equal inherited: no "Attrs{}"
    third->Close();
    Ref<IRun<CF_SpecialChar>> specials = para->NewSpecialCharsRun(-1);
    PutSpecialChar(specials, u"tabulator", u"TempIndent");
    PutSpecialChar(specials, u"column_break", nullptr);  // a value of "none"
    Ref<IRun<CF_RefPoint>> points = para->NewRefPointsRun(2);
    PutRefPoint(points, 17, u"start");
    PutRefPoint(points, 17, u"end");
    PutPlaceHolder(para->NewPlaceHoldersRun(-1), 33, nullptr);
    PutPlaceHolder(para->NewPlaceHoldersRun(-1), -5, u"box");
    second->NewParagraph(0, 12);
    EXPECT_EQ(book->Intern(nullptr), -1);
  }
  const std::vector<std::string> expected = {
      R"(document 0 {"colour": "red", "count": "255", "mask": "ff", "source": "doc"})",
      R"(style 0.0 this -1 base - {})",
      R"(style 0.1 this 4 base 2 {"stylename": "Body"})",
      R"(story 0.0 {})",
      R"(paragraph 0.0.0 style - {})",
      R"(run 0.0.0.0 Unicodes style - "ab" {})",
      R"(run 0.0.0.1 Multibytes style 7 807879 {"colour2": "blue", "count": "1"})",
      R"(run 0.0.0.2 WideMultibytes style - "\u0080\u2011" {})",
      R"(run 0.0.0.3 SpecialChars style - [["tabulator", "TempIndent"], ["column_break", null]] {})",
      R"(run 0.0.0.4 RefPoints style 2 [[17, null, "start"], [17, null, "end"]] {})",
      R"(run 0.0.0.5 PlaceHolders style - [[33, null]] {})",
      R"(run 0.0.0.6 PlaceHolders style - [[-5, "box"]] {})",
      R"(story 0.1 {})",
      R"(paragraph 0.1.0 style 12 {})",
  };
  std::vector<std::string> lines = testutil::WitnessLines(testutil::kKxtDumpPy, path_);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0].rfind("book {", 0), 0u);
  // The book's defaults go with the book's own attributes.
  for (const char* attr : {R"("bold": "off")", R"("book_title": "T")", R"("release_number": "1")"}) {
    EXPECT_NE(lines[0].find(attr), std::string::npos) << attr;
  }
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()), expected);

  // The container's own readers agree.
  const element_test::Book model = element_test::ReadV2(path_);
  ASSERT_EQ(model.documents.size(), 1u);
  const auto& doc = model.documents[0];
  ASSERT_EQ(doc.styles.size(), 2u);
  EXPECT_EQ(doc.styles[0].self, -1);
  EXPECT_FALSE(doc.styles[0].base.has_value());
  EXPECT_EQ(doc.styles[1].base, 2);
  ASSERT_EQ(doc.stories.size(), 2u);
  const auto& runs = doc.stories[0].paragraphs.at(0).runs;
  ASSERT_EQ(runs.size(), 7u);
  EXPECT_EQ(runs[0].units, u"ab");
  EXPECT_TRUE(runs[0].attrs.empty());
  EXPECT_EQ(runs[1].bytes, "\x80xy");
  EXPECT_EQ(runs[1].style, 7);
  EXPECT_EQ(runs[4].records.size(), 2u);
  EXPECT_EQ(doc.stories[1].paragraphs.at(0).style, 12);
}

// A caller may name attributes through one buffer it rewrites: each name is
// taken as it reads at the time, whatever was asked at that address before.
TEST_F(KxtExportTest, NamesPassedThroughOneBufferAreTakenAsWritten) {
  {
    Ref<IBook> book = CreateExportBook(path_.c_str());
    Ref<IDoc> doc = book->NewDocument(0);
    Ref<IPara> para = doc->NewStory(0)->NewParagraph(0, -1);
    const char16_t text[] = u"a";
    Ref<IAttrs> run = para->NewUnicodesRun(text, 2, -1);
    run->Open();
    char16_t name[40] = {};
    const auto put = [&](const std::u16string& written, const char16_t* value) {
      std::fill(std::begin(name), std::end(name), u'\0');
      written.copy(name, written.size());
      return run->SetAttr(name, value);
    };
    EXPECT_TRUE(put(u"colour", u"red"));
    EXPECT_TRUE(put(u"count", u"2"));
    EXPECT_TRUE(put(u"colour", u"red"));
    EXPECT_TRUE(put(u"count", u"2"));
    // Names too long to be kept close at hand, and values alike in their
    // first units: a different value goes to the highest open set below the
    // one defining the name.
    EXPECT_TRUE(put(u"an_attribute_with_a_long_name_1", u"reddish"));
    EXPECT_TRUE(put(u"an_attribute_with_a_long_name_2", u"reddish"));
    EXPECT_TRUE(put(u"colour", u"reddish"));
    EXPECT_TRUE(put(u"colour", u"reddest"));
    EXPECT_TRUE(put(u"colour", u"reddest"));
    run->Close();
  }
  const std::vector<std::string> lines = testutil::WitnessLines(testutil::kKxtDumpPy, path_);
  const std::vector<std::string> expected = {
      R"(document 0 {"an_attribute_with_a_long_name_1": "reddish", "an_attribute_with_a_long_name_2": "reddish", )"
      R"("colour": "red", "count": "2"})",
      R"(story 0.0 {"colour": "reddish"})",
      R"(paragraph 0.0.0 style - {"colour": "reddest"})",
      R"(run 0.0.0.0 Unicodes style - "a" {})",
  };
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()), expected);
}

// Where values land however the chain got there: a paragraph opened by its
// first run takes what differs from its story; an ancestor changed between
// runs is seen by the next; with two chains open at once, and with a
// paragraph closed under an open run, each value still goes to the highest
// open set below the one defining the name.
TEST_F(KxtExportTest, HoistingFollowsTheChainAsItIsNow) {
  {
    Ref<IBook> book = CreateExportBook(path_.c_str());
    Ref<IDoc> doc = book->NewDocument(0);
    Ref<IStory> story = doc->NewStory(0);
    const char16_t text[] = u"a";
    const auto set = [](const Ref<IAttrs>& run, const char16_t* name, const char16_t* value) {
      return run->SetAttr(name, value);
    };
    Ref<IPara> first = story->NewParagraph(0, -1);
    {
      Ref<IAttrs> run = first->NewUnicodesRun(text, 2, -1);
      run->Open();  // run, paragraph, story and document
      EXPECT_TRUE(set(run, u"colour", u"red"));
      EXPECT_TRUE(set(run, u"size", u"10"));
      run->Close();
    }
    story->AddAttr(u"size", u"12");
    Ref<IPara> second = story->NewParagraph(1, -1);
    {
      Ref<IAttrs> run = second->NewUnicodesRun(text, 2, -1);
      run->Open();  // run and paragraph
      EXPECT_TRUE(set(run, u"colour", u"blue"));  // to the paragraph
      EXPECT_TRUE(set(run, u"size", u"12"));      // the story's, as changed
      EXPECT_TRUE(set(run, u"face", u"bold"));    // defined nowhere: the paragraph
      run->Close();
    }
    {
      Ref<IAttrs> run = second->NewUnicodesRun(text, 2, -1);
      run->Open();
      EXPECT_TRUE(set(run, u"colour", u"blue"));   // the paragraph's
      EXPECT_TRUE(set(run, u"colour2", u"grey"));  // the run's own
      EXPECT_FALSE(set(run, u"colour2", u"black"));
      run->Close();
      EXPECT_TRUE(set(run, u"colour", u"blue"));  // closed, but equal
      EXPECT_FALSE(set(run, u"colour", u"green"));
    }
    second->AddAttr(u"colour", u"green");
    {
      Ref<IAttrs> run = second->NewUnicodesRun(text, 2, -1);
      run->Open();
      EXPECT_TRUE(set(run, u"colour", u"green"));  // the paragraph's, as changed
      EXPECT_TRUE(set(run, u"size", u"10"));       // differs from the story's
      run->Close();
    }
    Ref<IPara> third = story->NewParagraph(2, -1);
    Ref<IPara> fourth = story->NewParagraph(3, -1);
    {
      Ref<IAttrs> a = third->NewUnicodesRun(text, 2, -1);
      Ref<IAttrs> b = fourth->NewUnicodesRun(text, 2, -1);
      a->Open();
      b->Open();  // with a's chain open
      EXPECT_TRUE(set(b, u"colour", u"white"));  // b's paragraph
      EXPECT_TRUE(set(a, u"colour", u"pink"));   // a's paragraph
      EXPECT_TRUE(set(b, u"colour", u"red"));    // b's paragraph defines it: b
      b->Close();
      EXPECT_TRUE(set(a, u"shade", u"dark"));    // a's paragraph
      third->Close();                            // a stays open alone
      EXPECT_TRUE(set(a, u"tone", u"low"));      // a itself
      EXPECT_TRUE(set(a, u"shade", u"dark"));
      a->Close();
    }
  }
  const std::vector<std::string> lines = testutil::WitnessLines(testutil::kKxtDumpPy, path_);
  const std::vector<std::string> expected = {
      R"(document 0 {"colour": "red", "size": "10"})",
      R"(story 0.0 {"size": "12"})",
      R"(paragraph 0.0.0 style - {})",
      R"(run 0.0.0.0 Unicodes style - "a" {})",
      R"(paragraph 0.0.1 style - {"colour": "green", "face": "bold"})",
      R"(run 0.0.1.0 Unicodes style - "a" {})",
      R"(run 0.0.1.1 Unicodes style - "a" {"colour2": "grey"})",
      R"(run 0.0.1.2 Unicodes style - "a" {"size": "10"})",
      R"(paragraph 0.0.2 style - {"colour": "pink", "shade": "dark"})",
      R"(run 0.0.2.0 Unicodes style - "a" {"tone": "low"})",
      R"(paragraph 0.0.3 style - {"colour": "white"})",
      R"(run 0.0.3.0 Unicodes style - "a" {"colour": "red"})",
  };
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()), expected);
}

// A series of SetAttr calls is replayed only for the set it was noted on
// alone open, with the same values above it, and only when none was refused.
TEST_F(KxtExportTest, RememberedSeriesReplayOnlyUnderTheSameValues) {
  {
    Ref<IBook> book = CreateExportBook(path_.c_str());
    Ref<IStory> story = book->NewDocument(0)->NewStory(0);
    Ref<IPara> para = story->NewParagraph(0, -1);
    const char16_t text[] = u"a";
    // Each run: Replay, and when that fails the series and Remember.
    using Series = std::vector<std::pair<const char16_t*, const char16_t*>>;
    const auto runIn = [&](const Ref<IPara>& in, const std::string& key, const Series& series) {
      Ref<IAttrs> r = in->NewUnicodesRun(text, 2, -1);
      r->Open();
      const bool replayed = r->Replay(key);
      if (!replayed) {
        for (const auto& [name, value] : series) r->SetAttr(name, value);
        r->Remember(key);
      }
      r->Close();
      return replayed;
    };
    const auto run = [&](const std::string& key, const Series& series) { return runIn(para, key, series); };
    EXPECT_FALSE(run("k", {{u"size", u"10"}}));  // opens the paragraph too, and the story: first
    EXPECT_FALSE(run("k", {{u"colour", u"red"}, {u"size", u"10"}}));
    EXPECT_TRUE(run("k", {}));  // the run gets "colour" red again
    story->AddAttr(u"colour", u"red");
    EXPECT_FALSE(run("k", {{u"colour", u"red"}, {u"size", u"10"}}));  // other values above: nothing added
    EXPECT_TRUE(run("k", {}));
    EXPECT_FALSE(run("r", {{u"tone", u"1"}, {u"tone", u"2"}}));  // refused
    EXPECT_FALSE(run("r", {{u"tone", u"3"}}));
    // A paragraph's first run opens it too: what went to the paragraph goes
    // to the next new paragraph's.
    Ref<IPara> second = story->NewParagraph(1, -1);
    EXPECT_FALSE(runIn(second, "k", {{u"colour", u"red"}, {u"size", u"11"}}));
    Ref<IPara> third = story->NewParagraph(2, -1);
    EXPECT_TRUE(runIn(third, "k", {}));
    EXPECT_FALSE(runIn(third, "k", {}));  // alone now, under the paragraph's own values
  }
  const std::vector<std::string> lines = testutil::WitnessLines(testutil::kKxtDumpPy, path_);
  const std::vector<std::string> expected = {
      R"(document 0 {"size": "10"})",
      R"(story 0.0 {"colour": "red"})",
      R"(paragraph 0.0.0 style - {})",
      R"(run 0.0.0.0 Unicodes style - "a" {})",
      R"(run 0.0.0.1 Unicodes style - "a" {"colour": "red"})",
      R"(run 0.0.0.2 Unicodes style - "a" {"colour": "red"})",
      R"(run 0.0.0.3 Unicodes style - "a" {})",
      R"(run 0.0.0.4 Unicodes style - "a" {})",
      R"(run 0.0.0.5 Unicodes style - "a" {"tone": "1"})",
      R"(run 0.0.0.6 Unicodes style - "a" {"tone": "3"})",
      R"(paragraph 0.0.1 style - {"size": "11"})",
      R"(run 0.0.1.0 Unicodes style - "a" {})",
      R"(paragraph 0.0.2 style - {"size": "11"})",
      R"(run 0.0.2.0 Unicodes style - "a" {})",
      R"(run 0.0.2.1 Unicodes style - "a" {})",
  };
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()), expected);
}

// What Python finds under the templates storage: "<name> <hex of the first
// two bytes> <inflated bytes equal to the file given>" per stream.
const char kStoredPy[] = R"PY(
import sys, zlib, olefile
ole = olefile.OleFileIO(sys.argv[1])
want = open(sys.argv[2], 'rb').read() if len(sys.argv) > 2 else b''
assert ole.exists('SolvanePluginPrivateData/BrenixExportTemplates')
for e in sorted(ole.listdir()):
    if e[:2] == ['SolvanePluginPrivateData', 'BrenixExportTemplates']:
        data = ole.openstream(e).read()
        d = zlib.decompressobj()
        out = d.decompress(data) + d.flush()
        # With a third argument: the same stream there holds the same bytes.
        same = ole.openstream(e).read() == olefile.OleFileIO(sys.argv[3]).openstream(e).read() if len(sys.argv) > 3 else True
        print(e[2], data[:2].hex(), d.eof and not d.unused_data, out == want, len(out), same)
)PY";

// The stream compressed while it is stored and the one compressed
// beforehand (on another thread) hold the same bytes.
TEST_F(KxtExportTest, StoredDocumentsComeBackByteForByte) {
  const std::string fixture = testutil::ReadFile(std::string(BRENIX_TEST_DATA) + "/doc_brochure.json");
  ASSERT_FALSE(fixture.empty());
  const std::vector<std::string> contents = {"", "x", testutil::RandomBytes(16, (3 << 20) + 5), fixture};
  const std::string deflated = dir_.File("deflated.kxq");
  for (const std::string& content : contents) {
    SCOPED_TRACE(content.size());
    const std::string original = dir_.File("original");
    testutil::WriteFile(original, content);
    {
      Ref<IBook> book = CreateExportBook(path_.c_str());
      MemorySource other("something else entirely");
      book->StoreQXP(0, &other);
      MemorySource source(content);
      book->StoreQXP(0, &source);  // replaces
    }
    {
      Ref<IBook> book = CreateExportBook(deflated.c_str());
      MemorySource other("something else entirely"), source(content);
      book->StoreDeflated(0, DeflateTemplate(other));
      book->StoreDeflated(0, std::async(std::launch::async, [&source] { return DeflateTemplate(source); }).get());
    }
    const std::string stored = testutil::PythonOutput(kStoredPy, {path_, original});
    EXPECT_EQ(stored, "0 789c True True " + std::to_string(content.size()) + " True\n");
    EXPECT_EQ(testutil::PythonOutput(kStoredPy, {deflated, original, path_}), stored);
  }
}

TEST_F(KxtExportTest, TemplateNamesAndAnEmptyTemplatesStorage) {
  EXPECT_EQ(FormatTemplateStreamName(0), "0");
  EXPECT_EQ(FormatTemplateStreamName(12), "12");
  EXPECT_EQ(FormatTemplateStreamName(-3), "-3");
  CreateExportBook(path_.c_str());
  EXPECT_EQ(testutil::PythonOutput(kStoredPy, {path_}), "");
  {
    Ref<IBook> book = CreateExportBook(path_.c_str());
    MemorySource a("");
    book->StoreQXP(-3, &a);
    MemorySource b("");
    book->StoreQXP(12, &b);
  }
  EXPECT_EQ(testutil::PythonOutput(kStoredPy, {path_}), "-3 789c True True 0 True\n12 789c True True 0 True\n");
}

TEST_F(KxtExportTest, AFailingSourceLeavesNoStream) {
  {
    Ref<IBook> book = CreateExportBook(path_.c_str());
    MemorySource whole("kept");
    book->StoreQXP(1, &whole);
    MemorySource cut(testutil::RandomBytes(3, 5000), 2048);
    EXPECT_THROW(book->StoreQXP(0, &cut), std::runtime_error);
    MemorySource again(testutil::RandomBytes(3, 5000), 0);
    EXPECT_THROW(book->StoreQXP(1, &again), std::runtime_error);  // the earlier "1" goes too
  }
  EXPECT_EQ(testutil::PythonOutput(kStoredPy, {path_}), "");
}

}  // namespace

namespace {

// The container is written when the book's last reference goes: a failure
// then reaches the caller; while another exception unwinds, that one stays
// the one reported and the write failure goes to the storage layer's
// failure logger.
TEST(KxtExportRelease, AFailingLastReleaseIsRaisedUnlessAnotherFailureUnwinds) {
  testutil::TempDir dir{"brenix-release"};
  const std::string folder = dir.File("gone");
  std::filesystem::create_directory(folder);
  {
    Ref<IBook> book = CreateExportBook((folder + "/book.kxq").c_str());
    book->NewDocument(0)->NewStory(0)->NewParagraph(0, -1);
    std::filesystem::remove_all(folder);
    EXPECT_ANY_THROW(book.reset());
    EXPECT_FALSE(book);
  }
  std::filesystem::create_directory(folder);
  static std::vector<std::string> logged;
  SetOLEFailureLogger([](const char* line) { logged.push_back(line); });
  try {
    Ref<IBook> book = CreateExportBook((folder + "/book.kxq").c_str());
    std::filesystem::remove_all(folder);
    throw std::runtime_error("first");
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "first");
  }
  SetOLEFailureLogger(nullptr);
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_NE(logged[0].find("not raised: another failure is unwinding"), std::string::npos) << logged[0];
}

}  // namespace
