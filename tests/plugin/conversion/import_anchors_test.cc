// The import plan of a container story: text runs, paragraph ends, points,
// place holders and hidden pairs ("start" 1, "end" 0), nested, unclosed and
// out of order, over containers written by the export facade.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "plugin/conversion/import_anchors.h"
#include "plugin/conversion/kxt_export.h"
#include "plugin/conversion/kxt_import.h"
#include "support/error_record.h"
#include "tests/common/temp_dir.h"

namespace {

namespace Out = BX_KXT::Export;
namespace In = BX_KXT::Import;

// One run: 'T' text, 'R' reference points (id, name) or 'P' place holders.
struct RunSpec {
  char kind;
  std::vector<std::pair<int32_t, const char16_t*>> records;
};
using ParaSpec = std::vector<RunSpec>;

RunSpec T() { return {'T', {}}; }
RunSpec R(int32_t id, const char16_t* name) { return {'R', {{id, name}}}; }
RunSpec P(int32_t id) { return {'P', {{id, nullptr}}}; }

void Write(const std::string& path, const std::vector<ParaSpec>& paragraphs) {
  Out::Ref<Out::IBook> book = Out::CreateExportBook(path.c_str());
  Out::Ref<Out::IStory> story = book->NewDocument(0)->NewStory(0);
  int32_t p = 0;
  for (const ParaSpec& runs : paragraphs) {
    Out::Ref<Out::IPara> para = story->NewParagraph(p++, -1);
    for (const RunSpec& run : runs) {
      if (run.kind == 'T') {
        para->NewUnicodesRun(u"ab", 4, -1);
      } else if (run.kind == 'P') {
        Out::PutPlaceHolder(para->NewPlaceHoldersRun(-1), run.records[0].first, nullptr);
      } else {
        Out::Ref<Out::IRun<CF_RefPoint>> points = para->NewRefPointsRun(-1);
        for (const auto& [id, name] : run.records) {
          CF_RefPoint record;
          record.m_ObjectFolderID = id;
          record.m_RefTypeRef = points->Intern(name);
          points->Put(record);
        }
      }
    }
  }
}

// "T<j>.<k>" text run, "/<j>" paragraph end, "S<id>" start (value 1),
// "E<id>" end (value 0), "O<id>" point or place holder (value 1000).
std::string Render(const AnchorCollector& plan) {
  std::string out;
  for (const Segment& s : plan) {
    if (!out.empty()) out += ' ';
    if (s.kind == kTextSegment) {
      out += "T" + std::to_string(s.a) + "." + std::to_string(s.b);
    } else if (s.kind == kParagraphEnd) {
      out += "/" + std::to_string(s.a) + (s.b == -1 ? "" : "?");
    } else {
      out += (s.value == kAnchorStart ? "S" : s.value == kAnchorEnd ? "E" : s.value == kAnchorPoint ? "O" : "?") +
             std::to_string(s.kind);
    }
  }
  return out;
}

struct Case {
  const char* name;
  std::vector<ParaSpec> story;
  std::string plan;
  bool complete;
};

TEST(AnchorCollector, PlansOfStories) {
  const Case cases[] = {
      {"no paragraphs", {}, "", true},
      {"text", {{T(), T()}, {T()}}, "T0.0 T0.1 /0 T1.0 /1", true},
      {"a paragraph without runs", {{}, {T()}}, "/0 T1.0 /1", true},
      {"point and place holder", {{T(), R(7, u"point"), P(8), T()}}, "T0.0 O7 O8 T0.3 /0", true},
      {"pair", {{R(5, u"start"), T(), R(5, u"end")}}, "S5 T0.1 E5 /0", true},
      {"pair across paragraphs", {{R(5, u"start"), T()}, {T(), R(5, u"end")}}, "S5 T0.1 /0 T1.0 E5 /1", true},
      {"nested pairs of one id", {{R(5, u"start"), R(5, u"start"), T(), R(5, u"end"), R(5, u"end")}},
       "S5 S5 T0.2 E5 E5 /0", true},
      {"pairs of two ids crossed", {{R(1, u"start"), R(2, u"start"), R(1, u"end"), R(2, u"end")}},
       "S1 S2 E1 E2 /0", true},
      {"one record run holding a pair", {{{'R', {{5, u"start"}, {5, u"end"}}}, T()}}, "S5 E5 T0.1 /0", true},
      {"unclosed start kept", {{R(5, u"start"), T()}, {T()}}, "S5 T0.1 /0 T1.0 /1", true},
      {"the outer of two starts unclosed", {{R(5, u"start"), T(), R(5, u"start"), R(5, u"end")}},
       "S5 T0.1 S5 E5 /0", true},
      {"unclosed among closed", {{R(1, u"start"), R(2, u"start"), T(), R(1, u"end")}}, "S1 S2 T0.2 E1 /0", true},
      {"end before start drops the end", {{R(5, u"end"), T(), R(5, u"start")}}, "T0.1 S5 /0", false},
      {"end of another id", {{R(5, u"start"), R(6, u"end"), R(5, u"end")}}, "S5 E5 /0", false},
      // A reference point of another kind comes from a damaged container.
      {"unknown name", {{R(5, u"middle"), T(), R(6, u"point")}}, "damaged", false},
      {"no name", {{R(5, nullptr), T()}}, "damaged", false},
  };
  testutil::TempDir dir("brenix-anchors");
  int n = 0;
  for (const Case& c : cases) {
    const std::string path = dir.File("story" + std::to_string(n++) + ".kxq");
    Write(path, c.story);
    In::Ref<In::IBook> book = In::OpenImportBook(path.c_str());
    In::Ref<In::IStory> story = book->OpenDoc(0)->OpenStory(0);
    ASSERT_TRUE(story) << c.name;
    if (c.plan == "damaged") {
      EXPECT_THROW(AnchorCollector{*story}, ErrorRecord) << c.name;
      continue;
    }
    const AnchorCollector plan(*story);
    EXPECT_EQ(Render(plan), c.plan) << c.name;
    EXPECT_EQ(plan.Complete(), c.complete) << c.name;
    EXPECT_EQ(plan.HasAnchors(), c.plan.find_first_of("SEO") != std::string::npos) << c.name;
  }
}

}  // namespace
