// The stand-in host's text export: the tag notation of every story of the
// fixtures reads back to the story (text, paragraph styles, attributes and
// objects of every unit) in both encodings; the filter list, the writer's
// 4096-byte chunks, refusals, and Windows-1252 text converted both ways.
#include "host/text_export.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/document_ops.h"
#include "host/linked_host_util.h"
#include "host/suite_tables.h"
#include "platform/win/code_pages.h"
#include "tests/common/tag_notation.h"

namespace xthost {
namespace {

class TextExport : public ::testing::Test {
 protected:
  void Open(const std::string& fixture) {
    WriteFile(temp_ / fixture, ReadFile(std::string(BRENIX_TEST_DATA) + "/" + fixture));
    std::string error;
    int32_t id = 0;
    ASSERT_EQ(OpenDocumentFile(host(), temp_ / fixture, 0, &id, &error), kXTOk) << error;
  }
  Host& host() { return linked_.host(); }
  DocumentContent& content() { return *CurrentContent(host()); }
  std::u16string Decode(const std::string& bytes, int32_t encoding) {
    std::u16string text;
    EXPECT_TRUE(win::MultiByteToWide(encoding == kTextUtf8 ? win::kCodePageUtf8 : win::kCodePageWestern,
                                     bytes.data(), bytes.size(), text));
    return text;
  }

  TempFolder temp_;
  LinkedHost linked_;
};

TEST_F(TextExport, EveryStoryOfTheFixturesReadsBackInBothEncodings) {
  for (const char* fixture : {"doc_tags.json", "doc_export.json", "doc_layouts.json", "doc_brochure.json"}) {
    Open(fixture);
    for (const Story& story : content().stories) {
      for (const int32_t encoding : {kTextWindows1252, kTextUtf8}) {
        const std::string bytes = TagNotation(content(), story, encoding, true);
        const std::string where = std::string(fixture) + " story " + std::to_string(story.id) + " in " +
                                  std::to_string(encoding);
        if (story.text.empty()) {
          EXPECT_EQ(bytes, "") << where;
          continue;
        }
        const tagtest::Tags tags = tagtest::Read(Decode(bytes, encoding));
        EXPECT_EQ(tagtest::Compare(content(), story, tags), "") << where << "\n" << bytes;
        EXPECT_EQ(tags.version, 1) << where;
        EXPECT_EQ(tags.encoding, encoding) << where;
      }
    }
  }
}

TEST_F(TextExport, EscapesWhatTheEncodingCannotHoldAndTheAngleBrackets) {
  Open("doc_tags.json");
  const Story& story = *content().FindStory(1);
  const std::string bytes = TagNotation(content(), story, kTextWindows1252, false);
  const struct {
    const char* part;
    bool present;
  } cases[] = {
      {"<#3C>one<#3E>", true},          // '<' '>' of the text
      {"caf\xE9 \x8C <#660E><#671D> <#1F600>", true},  // 1252 bytes, CJK and a pair as one code point
      {"<box id=20><\\pagelast></box>", true},
      {"<obj op=136>#00000007</obj>", true},
      {"<p \"Head \\u0022x\\u0022 \\u660E\">", true},
      {"color=\"Red \\u003Cb\\u003E\"", true},
      {"<xtags", false},  // no header asked for
  };
  for (const auto& c : cases) EXPECT_EQ(bytes.find(c.part) != std::string::npos, c.present) << c.part << "\n" << bytes;
  // Outside tags no '<' or '>' stands: every '<' opens a tag that closes.
  const tagtest::Tags tags = tagtest::Read(Decode(bytes, kTextWindows1252));
  EXPECT_TRUE(tags.ok) << tags.error;
  EXPECT_EQ(tagtest::Compare(content(), story, tags), "");
  // The reader tells a changed attribute, a dropped object and a lost
  // character from the story.
  for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
           {"size=14.5", "size=14"}, {"<obj op=136>", "<obj op=137>"}, {"caf\xE9", "caf"}}) {
    std::string changed = bytes;
    changed.replace(changed.find(from), from.size(), to);
    EXPECT_NE(tagtest::Compare(content(), story, tagtest::Read(Decode(changed, kTextWindows1252))), "") << to;
  }
  EXPECT_EQ(PlainText(story, kTextWindows1252).substr(0, 19), "Head <one> & \"two\"\n");
}

TEST_F(TextExport, FiltersAreListedByName) {
  std::vector<std::u16string> names;
  XTExportFilter filter = 0;
  ASSERT_EQ(kTextExportSuite.first_filter(&filter), kXTOk);
  while (filter != 0) {
    XTString name = 0;
    ASSERT_EQ(kTextExportSuite.filter_name(filter, &name), kXTOk);
    names.push_back(*host().strings.Find(name));
    host().strings.Remove(name);
    ASSERT_EQ(kTextExportSuite.next_filter(filter, &filter), kXTOk);
  }
  EXPECT_EQ(names, (std::vector<std::u16string>{u"XPress Tags", u"Plain Text"}));
}

// Chunks handed to the installed writer.
std::vector<std::string> g_chunks;
int32_t g_answer = 0;
int32_t Collect(const void* bytes, const int32_t* count) {
  g_chunks.emplace_back(static_cast<const char*>(bytes), static_cast<size_t>(*count));
  return g_answer;
}

TEST_F(TextExport, StoriesGoToTheWriterInChunksOrIntoTheSpecsFile) {
  Open("doc_tags.json");
  // A long story: 10000 units of text in 9 paragraphs.
  Story& story = *content().FindStory(3);
  story.Insert(0, std::u16string(9000, u'x') + u"\r<>\r\r\r\r\r\r\r" + std::u16string(985, u'y'));
  const std::string whole = TagNotation(content(), story, kTextWindows1252, true);
  ASSERT_GT(whole.size(), 8192u);

  XTExportWriter previous = Collect;
  ASSERT_EQ(kTextExportSuite.set_export_writer(Collect, &previous), kXTOk);
  EXPECT_EQ(previous, nullptr);
  const XTString encoding = host().strings.Add(u"Windows Latin (Windows-1252)");
  const XTFileSpec none{};
  g_chunks.clear();
  ASSERT_EQ(kTextExportSuite.export_story(3, 1, &none, 0x40000002, encoding), kXTOk);
  std::string joined;
  for (const std::string& chunk : g_chunks) {
    EXPECT_LE(chunk.size(), 4096u);
    joined += chunk;
  }
  EXPECT_EQ(joined, whole);
  EXPECT_EQ(g_chunks.size(), (whole.size() + 4095) / 4096);

  // Refusals: a writer that answers non-zero, a null filter, an unknown
  // encoding or option, an unknown story; an injected failure.
  g_answer = 1;
  EXPECT_EQ(kTextExportSuite.export_story(3, 1, &none, 0x40000002, encoding), kXTErrIo);
  g_answer = 0;
  const XTString other = host().strings.Add(u"Mac Roman");
  const struct {
    int32_t story;
    XTExportFilter filter;
    uint32_t options;
    XTString encoding;
    int32_t result;
  } refused[] = {
      {3, 0, 0x40000002, encoding, kXTErrParam}, {3, 1, 0x40000002, other, kXTErrParam},
      {3, 1, 0x40000003, encoding, kXTErrParam}, {999, 1, 0x40000002, encoding, kXTErrParam},
      {3, 1, 0x00000002, encoding, kXTErrBadName},  // to the file of an empty spec
  };
  for (const auto& r : refused) {
    EXPECT_EQ(kTextExportSuite.export_story(r.story, r.filter, &none, r.options, r.encoding), r.result)
        << r.story << " " << r.filter << " " << r.options;
  }
  host().SetFailPlan([] {
    FailPlan plan;
    std::string problem;
    FailPlan::Parse("export_story:1", &plan, &problem);
    return plan;
  }());
  EXPECT_EQ(kTextExportSuite.export_story(3, 1, &none, 0x40000002, encoding), kXTErrInjected);

  // Without the writer bit: the plain text into the spec's file.
  XTFileSpec spec{};
  std::string path = temp_ / "plain.txt";
  ASSERT_EQ(host().folders().MakeSpec(FolderTable::kVolume, 0, path, &spec), kXTErrNotFound);
  ASSERT_EQ(kTextExportSuite.export_story(3, 2, &spec, 0, encoding), kXTOk);
  EXPECT_EQ(ReadFile(path), PlainText(story, kTextWindows1252));
  EXPECT_EQ(ReadFile(path).substr(9000, 4), "\n<>\n");
  ASSERT_EQ(kTextExportSuite.set_export_writer(previous, nullptr), kXTOk);
  EXPECT_EQ(host().export_writer, nullptr);
  host().strings.Remove(encoding);
  host().strings.Remove(other);
}

TEST_F(TextExport, Windows1252ConvertsBothWays) {
  XTConverter converter = -1;
  ASSERT_EQ(kConverterSuite.new_converter(kXTEncodingWindows1252, &converter), kXTOk);
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  std::u16string units(255, u'\0');
  int32_t count = 255;
  ASSERT_EQ(kConverterSuite.convert_from_text(converter, all.data(), 255, units.data(), &count), kXTOk);
  ASSERT_EQ(count, 255);
  EXPECT_EQ(units[0x80 - 1], u'\u20AC');  // the euro sign
  EXPECT_EQ(units[0x81 - 1], u'\u0081');  // a byte Windows maps to itself
  EXPECT_EQ(units[0xE9 - 1], u'\u00E9');
  std::string back(256, '\0');
  int32_t length = 256;
  ASSERT_EQ(kConverterSuite.convert_to_text(converter, units.data(), 255, back.data(), &length), kXTOk);
  EXPECT_EQ(back.substr(0, 255), all);
  // A short buffer and a character outside the code page fail.
  int32_t shortCount = 10;
  EXPECT_EQ(kConverterSuite.convert_from_text(converter, all.data(), 255, units.data(), &shortCount), kXTErrParam);
  length = 8;
  EXPECT_EQ(kConverterSuite.convert_to_text(converter, u"\u660E", 1, back.data(), &length), kXTErrParam);
  EXPECT_EQ(kConverterSuite.dispose_converter(converter), kXTOk);
}

}  // namespace
}  // namespace xthost
