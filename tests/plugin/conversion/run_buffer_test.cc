// The run buffer: how each unit is sorted into runs, with and without the
// non-breaking flag, and how neighbouring units share runs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugin/conversion/run_buffer.h"
#include "plugin/qapi/q_font_list.h"
#include "plugin/qapi/story_runs.h"
#include "tests/common/kxt_witness_py.h"
#include "tests/plugin/conversion/export_test_util.h"
#include "tests/plugin/qapi/doc_host_util.h"

namespace {

using namespace BX_KXT::Export;

struct Case {
  std::u16string units;
  int nonBreaking;
  std::string runs;  // export_test::Runs of the paragraph
  uint16_t codePage = 1252;  // the record's
};

// Writes one paragraph per case, as WriteTextRun feeds the buffer, and
// reads the book back.
element_test::Book WriteCases(const std::string& path, const std::vector<Case>& cases) {
  QFontList fonts{QFontList::Empty{}};
  {
    Ref<IBook> book = CreateExportBook(path.c_str());
    Ref<IStory> story = book->NewDocument(0)->NewStory(0);
    for (const Case& c : cases) {
      HostTextRecord text;
      text.range.Set(&fonts, 1);
      text.fontCodePage = c.codePage;
      const XAttribs record(text);
      RunBuffer buffer(story->NewParagraph(0, -1), record, static_cast<uint32_t>(c.units.size()));
      buffer.AddText(c.units.data(), static_cast<uint32_t>(c.units.size()), c.nonBreaking);
    }
  }
  return element_test::ReadV2(path);
}

std::string Hex(char16_t c) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(c));
  return text;
}

class RunBufferTest : public ::testing::Test {
 protected:
  LogCapture log_;  // unknown fonts are logged
  testutil::TempDir dir_{"brenix-runs"};
  std::string path_ = dir_.File("runs.kxq");
};

TEST_F(RunBufferTest, EveryControlCodeAndSamplesAboveWithAndWithoutTheNonBreakingFlag) {
  // Without the flag, by the host character map.
  std::vector<std::string> plain(0x20, "");
  plain[0x07] = "U1252:000a";
  plain[0x09] = "U1252:0009";
  plain[0x0A] = "W5:000a";
  plain[0x0F] = "U1252:2001";
  plain[0x10] = "U1252:2008";
  for (int c : {0x11, 0x12, 0x13, 0x14, 0x1D}) plain[c] = "U5:" + Hex(static_cast<char16_t>(c));
  for (int c : {0x0B, 0x0C, 0x1C, 0x1E}) plain[c] = "S:1";
  plain[0x1F] = "W5:001f";  // a wide unit, never U+00AD
  // With the flag: the map's variant entries, else UTF-16; never 0x0D.
  std::vector<std::string> nonBreaking(0x20);
  for (int c = 0; c < 0x20; ++c) nonBreaking[c] = "U1200:" + Hex(static_cast<char16_t>(c));
  nonBreaking[0x0A] = "W5:000a";
  nonBreaking[0x1F] = "W5:001f";
  nonBreaking[0x0F] = "U1252:2001";
  nonBreaking[0x0D] = "";

  std::vector<Case> cases;
  for (int nb = 0; nb < 2; ++nb) {
    for (int c = 0; c < 0x20; ++c) {
      cases.push_back({std::u16string(1, static_cast<char16_t>(c)), nb, nb ? nonBreaking[c] : plain[c]});
    }
  }
  const struct {
    char16_t unit;
    const char* plain;
    const char* nonBreaking;
  } samples[] = {
      {0x20, "U1200:0020", "U1252:00a0"},   {0x2D, "U1200:002d", "U1252:2011"},
      {0x41, "U1200:0041", "U1200:0041"},   {0x7F, "U1200:007f", "U1200:007f"},
      {0x80, "W5:0080", "W5:0080"},         {0x9F, "W5:009f", "W5:009f"},
      {0xA0, "U1200:00a0", "U1200:00a0"},   {0xAD, "U1200:00ad", "U1200:00ad"},
      {0x2000, "W5:2000", "W5:2000"},       {0x2001, "W5:2001", "W5:2001"},
      {0x2011, "W5:2011", "W5:2011"},       {0x4E2D, "U1200:4e2d", "U1200:4e2d"},
      {0xD83D, "U1200:d83d", "U1200:d83d"}, {0xFFFF, "U1200:ffff", "U1200:ffff"},
  };
  for (const auto& s : samples) {
    cases.push_back({std::u16string(1, s.unit), 0, s.plain});
    cases.push_back({std::u16string(1, s.unit), 1, s.nonBreaking});
  }
  const element_test::Book book = WriteCases(path_, cases);
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(export_test::Runs(book, 0, i), cases[i].runs)
        << "unit " << Hex(cases[i].units[0]) << " non-breaking " << cases[i].nonBreaking;
  }
}

TEST_F(RunBufferTest, AUnitIsLeftToTheCallerExactlyWhenTheHostMapHasNothingForIt) {
  QFontList fonts{QFontList::Empty{}};
  HostTextRecord text;
  text.range.Set(&fonts, 1);
  const XAttribs record(text);
  Ref<IBook> book = CreateExportBook(path_.c_str());
  Ref<IStory> story = book->NewDocument(0)->NewStory(0);
  RunBuffer buffer(story->NewParagraph(0, -1), record, 1);
  // Flags other than 0 and 1 match no variant entry of the map.
  for (int nb : {0, 1, 2}) {
    for (int c = 0; c < 0x200; ++c) {
      const char16_t unit = static_cast<char16_t>(c);
      const bool mapped = CharMap::IsReserved(unit, 0) || unit == 0x0D || CharMap::FindByFlag(unit, nb) != nullptr;
      EXPECT_EQ(buffer.AddChar(unit, nb), mapped) << "unit " << Hex(unit) << " non-breaking " << nb;
    }
  }
}

TEST_F(RunBufferTest, NeighbouringUnitsShareRunsByEncodingAndCodePage) {
  const std::vector<Case> cases = {
      // A mapped character joins the run it follows.
      {u"ab c", 1, "U1200:00610062"
                   "00a00063"},
      // A tab at a segment's start takes the record's code page (0xFFFF: 1252),
      // after UTF-16 units it joins their run.
      {u"\tx", 0, "U1252:0009 U1200:0078", 0xFFFF},
      {u"x\t", 0, "U1200:00780009", 0xFFFF},
      // After a wide unit the record's code page serves again.
      {u"a\u0080\t", 0, "U1200:0061 W5:0080 U1252:0009"},
      // Specials gather into one run, breaks into one of their own.
      {u"\x1c\x1c", 0, "S:2"},
      {u"a\x0b\x0c\x0d" "b", 0, "U1200:0061 S:2 U1200:0062"},
      {u"\x1c\x0b\x1e\x0c\x0c", 0, "S:1 S:1 S:1 S:2"},
      {u"a\rb", 1, "U1200:00610062"},
      // Kept codes under code page 5, then back.
      {u"\x11\x12z", 0, "U5:00110012 U1200:007a"},
  };
  const element_test::Book book = WriteCases(path_, cases);
  for (size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(export_test::Runs(book, 0, i), cases[i].runs) << i;
}

TEST_F(RunBufferTest, SpecialCharactersCarryTheirNamesAndOnlyBreaksTheirAttributes) {
  WriteCases(path_, {{u"\x1e\x1c\x1e", 0, ""}, {u"\x1c", 1, ""}, {u"\x0b\x0c\x1c", 0, ""}});
  const std::vector<std::string> lines = testutil::WitnessLines(testutil::kKxtDumpPy, path_);
  const std::vector<std::string> runs(lines.begin() + 3, lines.end());
  EXPECT_EQ(runs, (std::vector<std::string>{
                      "paragraph 0.0.0 style - {}",
                      R"(run 0.0.0.0 SpecialChars style - [["tabulator", "TempIndent"], )"
                      R"(["conditional_style_marker", "CondStyle"], ["tabulator", "TempIndent"]] {})",
                      "paragraph 0.0.1 style - {}",
                      R"(run 0.0.1.0 Unicodes style - "\u001c" {})",
                      // The breaks' attributes, the paragraph's as the only ones.
                      R"(paragraph 0.0.2 style - {"codepage": "1252"})",
                      R"(run 0.0.2.0 SpecialChars style - [["column_break", null], ["frame_break", null]] {})",
                      R"(run 0.0.2.1 SpecialChars style - [["conditional_style_marker", "CondStyle"]] {})",
                  }));
}

}  // namespace

namespace {

// WriteTextRun over a story of the stand-in host, segment by segment.
TEST(WriteTextRun, SegmentsOfAHostStory) {
  DocHost host;
  host.Open("doc_brochure.json");
  testutil::TempDir dir{"brenix-runs"};
  const std::string path = dir.File("story.kxq");
  {
    QFontList fonts;
    StoryRunIterator it(4);
    StoryRunPosition pos;
    StoryRunIterator::Begin(pos, it);
    Ref<IBook> book = CreateExportBook(path.c_str());
    Ref<IPara> para = book->NewDocument(0)->NewStory(0)->NewParagraph(0, -1);
    while (it.HasMore(pos)) {
      const XAttribs record(MakeHostTextRecord(pos, fonts, 0, false));
      WriteTextRun(para, pos, record);
      it.Advance(pos);
    }
  }
  std::vector<std::string> runs;
  for (const std::string& line : testutil::WitnessLines(testutil::kKxtDumpPy, path)) {
    if (line.rfind("run ", 0) == 0) runs.push_back(line.substr(0, line.rfind(" {")));
  }
  EXPECT_EQ(runs, (std::vector<std::string>{
                      R"(run 0.0.0.0 Unicodes style - "E=mc")",
                      R"(run 0.0.0.1 Unicodes style - "2")",
                      // A tab at the segment's start: the record's code page.
                      R"(run 0.0.0.2 Unicodes style - "\t")",
                      // The column and the box break as their special characters.
                      R"(run 0.0.0.3 SpecialChars style - [["column_break", null]])",
                      R"(run 0.0.0.4 Unicodes style - "next column")",
                      R"(run 0.0.0.5 SpecialChars style - [["frame_break", null]])",
                      R"(run 0.0.0.6 Unicodes style - "next box")",
                      R"(run 0.0.0.7 SpecialChars style - [["tabulator", "TempIndent"]])",
                      R"(run 0.0.0.8 Unicodes style - "soft")",
                      R"(run 0.0.0.9 WideMultibytes style - "\u001f")",
                      R"(run 0.0.0.10 Unicodes style - "hyphen")",
                  }));
}

}  // namespace
