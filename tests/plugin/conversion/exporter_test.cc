// The exporter over the stand-in host: box geometry at the angles, on the
// pasteboard, in millimetres with a decimal comma, and the fixture with two
// layouts exported through the harness and read back by the Python witness.
#include "plugin/conversion/exporter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "host/host.h"
#include "plugin/conversion/box_geometry.h"
#include "tests/common/kxt_witness_py.h"
#include "tests/common/python.h"
#include "tests/common/stored_copy_py.h"
#include "tests/plugin/conversion/export_harness.h"
#include "tests/plugin/mixer/mixer_host_util.h"

namespace {

// One spread of one page (612 x 792 points at 0, 0) and one text box per
// case, bounds left, top, right, bottom in points.
std::string GeometryDocument(const std::string& unitFields) {
  return R"({"format": "xthost document", "version": 1, )" + unitFields + R"(
  "layouts": [{"name": "Print", "spreads": [{"pages": [{}]}]}],
  "boxes": [
    {"id": 1, "story": 1, "bounds": [100, 320, 300, 560]},
    {"id": 2, "story": 1, "bounds": [100, 320, 300, 560], "rotation": 90},
    {"id": 3, "story": 1, "bounds": [100, 320, 300, 560], "rotation": -90},
    {"id": 4, "story": 1, "bounds": [100, 320, 300, 560], "rotation": 45},
    {"id": 5, "story": 1, "bounds": [-200, 100, -50, 160]}
  ],
  "stories": [{"id": 1, "text": "Text\r", "paragraphs": [[0, 5], [0, 0]], "runs": [[0, 5]]}]})";
}

struct GeometryCase {
  int32_t box;
  int32_t page, angle, x, y, width, height;
  const char* why;
};

TEST(BoxGeometry, AnglesAndPasteboardInPointsAndMillimetres) {
  // By hand: the box is 200 x 240 points, centre (200, 440); turning it
  // moves the written corner (the top-left one of the unturned box, turned
  // about the centre).
  const GeometryCase points[] = {
      {1, 1, 0, 100, 320, 200, 240, "unrotated"},
      {2, 1, 90, 80, 540, 200, 240, "90: corner at (200-120, 440+100)"},
      {3, 1, 270, 320, 340, 200, 240, "-90 is 270: corner at (200+120, 440-100)"},
      {4, 1, 45, 44, 425, 200, 240, "45: (200-155.6, 440-14.1)"},
      {5, 1, 0, -200, 100, 150, 60, "pasteboard left of the page: first page of its spread"},
  };
  {
  MixerHost host;
  const int32_t doc = host.OpenText("points.json", GeometryDocument(""));
  for (const GeometryCase& c : points) {
    const BoxGeometry g = ComputeBoxGeometry(ItemHandle(doc, c.box), 0);
    ASSERT_TRUE(g.found) << c.why;
    EXPECT_EQ(g.sectionalPos, c.page) << c.why;
    EXPECT_EQ(g.angle, c.angle) << c.why;
    EXPECT_NEAR(g.x, c.x, 1) << c.why;
    EXPECT_NEAR(g.y, c.y, 1) << c.why;
    EXPECT_EQ(g.width, c.width) << c.why;
    EXPECT_EQ(g.height, c.height) << c.why;
  }
  }
  // Millimetres with a decimal comma: 100 pt = 35,28 mm; the "C" locale
  // reads the number whatever the process's locale.
  MixerHost mm;
  const int32_t doc2 = mm.OpenText("mm.json", GeometryDocument(R"("unit": "mm", "decimalComma": true,)"));
  EXPECT_NEAR(FixedToFloat(100 << 16), 35.28f, 0.001f);
  const BoxGeometry g = ComputeBoxGeometry(ItemHandle(doc2, 1), 0);
  EXPECT_EQ(g.x, 35);
  EXPECT_EQ(g.y, 112);  // 320 pt = 112.89 mm
  EXPECT_EQ(g.width, 70);  // 105.83 - 35.28 = 70.55
  EXPECT_EQ(g.height, 84);  // 197.56 - 112.89 = 84.67
}

TEST(BoxGeometry, HostFailuresLeaveTheGeometryOut) {
  for (const char* plan : {"box_record:1", "page_info:1", "spread_pages:1"}) {
    MixerHost host;
    const int32_t doc = host.OpenText("points.json", GeometryDocument(""));
    host.Fail(plan);
    EXPECT_FALSE(ComputeBoxGeometry(ItemHandle(doc, 1), 0).found) << plan;
  }
}

TEST(BoxGeometry, AMeasureTheHostCannotFormatIsZero) {
  MixerHost host;
  const int32_t doc = host.OpenText("points.json", GeometryDocument(""));
  host.Fail("format_measure:*");
  EXPECT_EQ(FixedToFloat(100 << 16), 0.0f);
  EXPECT_EQ(ComputeBoxGeometry(ItemHandle(doc, 1), 0).x, 0);
}

// The witness's lines of a container.
std::vector<std::string> Dump(const std::string& path, bool inForce = false) {
  return testutil::WitnessLines(testutil::kKxtDumpPy, path,
                                inForce ? std::vector<std::string>{"in-force"} : std::vector<std::string>{});
}

std::vector<std::string> Matching(const std::vector<std::string>& lines, const std::string& part) {
  std::vector<std::string> out;
  for (const std::string& line : lines) {
    if (line.find(part) != std::string::npos) out.push_back(line);
  }
  return out;
}

TEST(Exporter, TheLayoutsFixtureThroughTheHarness) {
  MixerHost host;
  static XTRegisterRec record = xthost::MakeRegisterRec();
  XT().registration = &record;  // the export tables are acquired on first use
  host.Open("doc_layouts.json", "layouts.qxp");
  LogCapture log;
  const std::string target = host.Path("layouts.kxq");
  const export_test::HarnessResult result = export_test::ExportCurrentProject(target);
  EXPECT_EQ(result.layouts, 2);
  EXPECT_TRUE(result.stored);
  const std::vector<std::string> lines = Dump(target);
  ASSERT_FALSE(lines.empty());
  EXPECT_NE(lines[0].find("\"maxuniqID\": \"" + std::to_string(result.maxUniqueId) + "\""), std::string::npos)
      << lines[0];
  EXPECT_NE(lines[0].find("\"source_data_type\""), std::string::npos) << lines[0];
  EXPECT_NE(Matching(lines, "document 0 ").at(0).find("\"source_platform\": \"win\""), std::string::npos);

  // Every story names its layout: the print layout is the current one.
  const std::vector<std::string> stories = Matching(lines, "story 0.");
  ASSERT_FALSE(stories.empty());
  size_t current = 0;
  for (const std::string& story : stories) {
    const bool cur = story.find("\"story_type\": \"layout_cur0\"") != std::string::npos;
    const bool web = story.find("\"story_type\": \"layout_web1\"") != std::string::npos;
    EXPECT_TRUE(cur || web) << story;
    current += cur;
    EXPECT_NE(story.find("\"sectional_pos\""), std::string::npos) << story;
  }
  EXPECT_GT(current, 0u);

  // The story of hidden pairs, by hand: each marker a reference point of its
  // pair's id, the opening one "start", the text between them kept, an
  // opening marker without partner left out.
  const std::vector<std::string> hidden = {
      R"(run 0.5.0.0 Unicodes style - "A " {})",
      R"(run 0.5.0.1 RefPoints style - [[21, null, "start"]] {})",
      R"(run 0.5.0.2 Unicodes style - " mid " {})",
      R"(run 0.5.0.3 RefPoints style - [[22, null, "start"]] {})",
      R"(run 0.5.0.4 Unicodes style - " in " {})",
      R"(run 0.5.0.5 RefPoints style - [[22, null, "end"]] {})",
      R"(run 0.5.0.6 Unicodes style - " " {})",
      R"(run 0.5.0.7 RefPoints style - [[21, null, "end"]] {})",
      R"(run 0.5.0.8 Unicodes style - " B " {})",
      R"(run 0.5.0.9 RefPoints style - [[23, null, "start"]] {})",
      R"(run 0.5.0.10 Unicodes style - "h" {})",
      R"(run 0.5.0.11 RefPoints style - [[23, null, "end"]] {})",
      R"(run 0.5.0.12 Unicodes style - " C " {})",
      R"(run 0.5.0.13 RefPoints style - [[23, null, "start"]] {})",
      R"(run 0.5.0.14 Unicodes style - "h" {})",
      R"(run 0.5.0.15 RefPoints style - [[23, null, "end"]] {})",
      R"(run 0.5.0.16 Unicodes style - " D " {})",
      // An opening marker without its closing one hides to the story's end.
      R"(run 0.5.0.17 RefPoints style - [[24, null, "start"]] {})",
      R"(run 0.5.0.18 Unicodes style - " end" {})",
  };
  EXPECT_EQ(Matching(lines, "run 0.5.0."), hidden);
  // The page-number footer and the rotated box.
  EXPECT_EQ(Matching(lines, "run 0.1.0.1 ").at(0),
            R"(run 0.1.0.1 SpecialChars style - [["page_number", "Curr"]] {"codepage": "0xFFFF", "private": "1"})");
  EXPECT_NE(Matching(lines, "story 0.7 ").at(0).find(R"("angle": "90")"), std::string::npos);
  // Each anchored object's place holder names its own id, though box 40
  // (in story 1) and group 32 (in story 7) are followed by the same text:
  // a text box its story, others the ids numbered on (19, 20).
  std::map<std::string, std::vector<std::string>> holders;
  for (const std::string& line : Matching(lines, "run 0.")) {
    const size_t kind = line.find(" PlaceHolders style - [[");
    if (kind == std::string::npos) continue;
    const std::string story = line.substr(4, line.find('.', line.find('.', 4) + 1) - 4);
    holders[story].push_back(line.substr(kind + 24, line.find(',', kind) - kind - 24));
  }
  const std::map<std::string, std::vector<std::string>> expectedHolders = {
      {"0.1", {"0"}}, {"0.4", {"3"}}, {"0.7", {"19"}}, {"0.17", {"20", "16"}}};
  EXPECT_EQ(holders, expectedHolders);
  // Master boxes give the master page's ordinal among the user masters:
  // "A-Master" (spread 3) is 1, "B-Unused" (spread 4) is 2.
  std::vector<std::string> masterPages;
  for (const std::string& story : Matching(lines, "\"story_sub_type\"")) {
    const size_t at = story.find("\"sectional_pos\": \"");
    masterPages.push_back(story.substr(at + 18, story.find('"', at + 18) - at - 18));
  }
  EXPECT_EQ(masterPages, (std::vector<std::string>{"1", "1", "2"}));
  // Its paragraph: the first line's corner (1, 1) inside the 240 x 200 box
  // at (320, 100), turned by 90 degrees about the centre (440, 200), lies at
  // (341, 319); within 1 for the rounding of the turn.
  const std::string paragraph = Matching(lines, "paragraph 0.7.0 ").at(0);
  auto number = [&paragraph](const std::string& name) {
    const size_t at = paragraph.find("\"" + name + "\": \"");
    return at == std::string::npos ? -9999 : std::stoi(paragraph.substr(at + name.size() + 5));
  };
  EXPECT_NEAR(number("horizontal_pos"), 341, 1) << paragraph;
  EXPECT_NEAR(number("vertical_pos"), 319, 1) << paragraph;
  EXPECT_EQ(number("angle"), 90) << paragraph;

  // Hidden pairs: for each id, one "start" and later one "end".
  std::map<std::string, std::vector<std::string>> markers;
  for (const std::string& line : Matching(lines, " RefPoints ")) {
    const size_t open = line.find("[[");
    const size_t comma = line.find(',', open);
    const std::string id = line.substr(open + 2, comma - open - 2);
    markers[id].push_back(line.find("\"start\"") != std::string::npos ? "start"
                          : line.find("\"end\"") != std::string::npos ? "end"
                                                                      : "point");
  }
  ASSERT_FALSE(markers.empty());
  for (const auto& entry : markers) {
    if (entry.second.size() == 2) {
      EXPECT_EQ(entry.second, (std::vector<std::string>{"start", "end"})) << entry.first;
    }
  }
  // No paragraph end ever becomes text.
  for (const std::string& line : Matching(lines, " Unicodes ")) {
    EXPECT_EQ(line.find("\\r"), std::string::npos) << line;
  }
  // The stored document is the saved file, through Python's zlib.
  const std::string same = testutil::PythonOutput(
      testutil::kStoredCopyPy + "import sys\nprint(*stored_against_saved(sys.argv[1], sys.argv[2]))\n",
      {target, host.Path("layouts.qxp")});
  EXPECT_EQ(same, "789c True ['0:-1', '0:-2', '1:-1', '1:-2']\n");
}

TEST(Exporter, EmptyReferencesMakeNoExporter) {
  MixerHost host;
  host.Open("doc_layouts.json");
  EXPECT_EQ(Exporter::Create(RefHandle<QuarkDoc>(), nullptr, nullptr), nullptr);
  EXPECT_EQ(Exporter::Create(RefHandle<QuarkDoc>::Adopt(new QuarkDoc()), nullptr, nullptr), nullptr);
}

}  // namespace
