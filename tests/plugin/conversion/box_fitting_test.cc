// Box fitting against the stand-in host: which boxes count as overflowing,
// and how far the growth goes (right always, bottom when there is more than
// one paragraph, never past the page, at most twenty tries, the chain's
// last box of a linked story).
#include "plugin/conversion/box_fitting.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "host/compose.h"
#include "host/host.h"
#include "support/host_link.h"
#include "tests/plugin/mixer/mixer_host_util.h"

namespace {

constexpr int32_t kPt = 0x10000;

// One page of 612 x 792 pt; characters of 12 pt are 6 pt wide, lines 14.4
// pt high.  Box bounds are left, top, right, bottom in points.
//   1  50 x 20, four 4-letter words: one word a line, one line fits
//   2, 3  a chain of two such boxes over eight words
//   4  box 1 with inset 0
//   5  box 1 kept at its size by the host
//   6  a box whose text fits
//   7  box 1 with its right edge 22 pt from the page's
//   8, 9  box 1 without height; with its right edge left of its left
//   13  box 1 in a locked group (12) anchored in the story of box 11
//   15  box 1 in a locked group (14) of a master spread, while the view
//       shows the layout spreads
//   16  box 1 with a polygon of two points
const char kBoxes[] = R"({"format": "xthost document", "version": 1,
  "layouts": [{"name": "Layout 1", "spreads": [{"pages": [{}]}], "masters": [{"name": "A-Master"}]}],
  "characterAttributes": [{}, {"opcode": 1, "object": 12}],
  "boxes": [{"id": 1, "story": 1, "bounds": [100, 100, 150, 120]},
            {"id": 2, "story": 2, "bounds": [100, 200, 150, 220]},
            {"id": 3, "story": 2, "bounds": [300, 200, 350, 220]},
            {"id": 4, "story": 4, "bounds": [100, 300, 150, 320], "inset": 0},
            {"id": 5, "story": 5, "bounds": [100, 400, 150, 420], "keepSize": true},
            {"id": 6, "story": 6, "bounds": [100, 500, 300, 520]},
            {"id": 8, "story": 8, "bounds": [200, 700, 250, 700]},
            {"id": 9, "story": 9, "bounds": [300, 720, 250, 740]},
            {"id": 11, "story": 11, "bounds": [300, 640, 500, 680]},
            {"id": 12, "kind": "group", "bounds": [0, 0, 50, 20], "locked": true},
            {"id": 13, "story": 13, "group": 12, "bounds": [0, 0, 50, 20]},
            {"id": 14, "kind": "group", "master": true, "spread": 3, "bounds": [100, 100, 150, 120], "locked": true},
            {"id": 15, "story": 15, "group": 14, "master": true, "spread": 3, "bounds": [100, 100, 150, 120]},
            {"id": 7, "story": 7, "bounds": [540, 600, 590, 620]},
            {"id": 16, "story": 16, "shape": 10, "bounds": [100, 600, 150, 620], "polygon": [[0, 0], [40, 200]]}],
  "stories": [{"id": 1, "text": "aaaa aaaa aaaa aaaa", "paragraphs": [[0, 19]], "runs": [[0, 19]]},
              {"id": 2, "text": "aaaa aaaa aaaa aaaa aaaa aaaa aaaa aaaa",
               "paragraphs": [[0, 39]], "runs": [[0, 39]]},
              {"id": 4, "text": "aaaa aaaa aaaa aaaa", "paragraphs": [[0, 19]], "runs": [[0, 19]]},
              {"id": 5, "text": "aaaa aaaa aaaa aaaa", "paragraphs": [[0, 19]], "runs": [[0, 19]]},
              {"id": 6, "text": "aaaa", "paragraphs": [[0, 4]], "runs": [[0, 4]]},
              {"id": 8, "text": "aaaa aaaa aaaa aaaa", "paragraphs": [[0, 19]], "runs": [[0, 19]]},
              {"id": 9, "text": "aaaa aaaa aaaa aaaa", "paragraphs": [[0, 19]], "runs": [[0, 19]]},
              {"id": 11, "text": "a\u0001", "paragraphs": [[0, 2]], "runs": [[0, 1], [1, 1]]},
              {"id": 13, "text": "aaaa aaaa aaaa aaaa", "paragraphs": [[0, 19]], "runs": [[0, 19]]},
              {"id": 15, "text": "aaaa aaaa aaaa aaaa", "paragraphs": [[0, 19]], "runs": [[0, 19]]},
              {"id": 7, "text": "aaaa aaaa aaaa aaaa", "paragraphs": [[0, 19]], "runs": [[0, 19]]},
              {"id": 16, "text": "aaaa aaaa aaaa aaaa", "paragraphs": [[0, 19]], "runs": [[0, 19]]}]})";

class FittingHost : public MixerHost {
 public:
  FittingHost() {
    const XTRegisterRec record = xthost::MakeRegisterRec();
    AcquireSuite(record, kXTTableXAPp, XT().application);
    document = OpenText("boxes.json", kBoxes);
  }
  std::array<int32_t, 4> Bounds(int32_t id) {
    const auto& b = content().FindBox(id)->bounds;
    return {b[0] / kPt, b[1] / kPt, b[2] / kPt, b[3] / kPt};
  }
  void MakeCurrent(int32_t id) {
    ASSERT_EQ(XT().lgh2->set_current_box(ItemHandle(document, id)), kXTOk);
  }
  int32_t document = 0;
};

TEST(BoxFitting, OverflowTestAndGrowthByBox) {
  struct Case {
    int32_t box;
    int32_t lastParagraph;
    bool overflows;                // before the growth
    int32_t grown;                 // the box the growth acts on
    std::array<int32_t, 4> after;  // its bounds after EnlargeBox
    bool overflowsAfter;
  };
  const Case cases[] = {
      // One line of 19 units needs a text area 114 pt wide: four steps.
      {1, 0, true, 1, {100, 100, 222, 120}, false},
      {1, -1, true, 1, {100, 100, 222, 120}, false},
      // Two lines of 9 units in 66 x 36 pt: one step each way.
      {1, 1, true, 1, {100, 100, 168, 138}, false},
      // The chain's last box grows until it holds seven words on a line.
      {2, 0, true, 3, {300, 200, 512, 220}, false},
      // Without inset the text area is the whole box: three steps are 104
      // pt wide, the fourth holds the line.
      {4, 0, true, 4, {100, 300, 222, 320}, false},
      // Kept at its size, fitting: not grown, as the importer grows only a
      // box that overflows.
      {5, 0, false, 5, {100, 400, 150, 420}, false},
      {6, 3, false, 6, {100, 500, 300, 520}, false},
      // One step fits the page; the twenty tries end with the text overset.
      {7, 0, true, 7, {540, 600, 608, 620}, true},
      // Boxes that keep their size, their text overset: without a size or a usable polygon, or held by a
      // locked group that no walk of the view's spreads meets.
      {8, 0, false, 8, {200, 700, 250, 700}, false},
      {16, 0, false, 16, {100, 600, 150, 620}, false},
      {9, 0, false, 9, {300, 720, 250, 740}, false},
      {13, 0, false, 13, {0, 0, 50, 20}, false},
      {15, 0, false, 15, {100, 100, 150, 120}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("box " + std::to_string(c.box) + " p " + std::to_string(c.lastParagraph));
    FittingHost host;
    host.MakeCurrent(c.box);
    EXPECT_EQ(BoxOverflows(), c.overflows);
    if (c.overflows) EnlargeBox(c.lastParagraph);
    EXPECT_EQ(host.Bounds(c.grown), c.after);
    EXPECT_EQ(BoxOverflows(), c.overflowsAfter);
    // The first box of the chain keeps its bounds.
    if (c.box == 2) {
      EXPECT_EQ(host.Bounds(2), (std::array<int32_t, 4>{100, 200, 150, 220}));
    }
  }
}

TEST(BoxFitting, GrowthRecomposesAndLeavesNoHandles) {
  FittingHost host;
  host.MakeCurrent(1);
  host.Clear();
  EnlargeBox(0);
  const std::vector<std::string> lines = host.Lines();
  const std::string request = "document " + std::to_string(host.document) + " request 3";
  int requests = 0;
  int stored = 0;
  for (const std::string& line : lines) {
    if (line == request) ++requests;
    if (line.rfind("box 1 bounds ", 0) == 0) ++stored;
  }
  EXPECT_EQ(requests, 4);
  EXPECT_EQ(stored, 4);
  EXPECT_EQ(host.OpenHandles(), 0u);
}

TEST(BoxFitting, TheOverflowMarkIsSwitchedOnForTheTest) {
  FittingHost host;
  host.MakeCurrent(1);
  ASSERT_EQ(host.host().ui().SetPreference(kXTPrefOverflowMark, 0), kXTOk);
  EXPECT_TRUE(BoxOverflows());
  EXPECT_TRUE(host.host().ui().Preference(kXTPrefOverflowMark));
}

TEST(BoxFitting, NoCurrentBoxOrFailingHostCallsMeanNoOverflow) {
  {
    FittingHost host;
    EXPECT_FALSE(BoxOverflows());
    EnlargeBox(1);
    EXPECT_EQ(host.Bounds(1), (std::array<int32_t, 4>{100, 100, 150, 120}));
  }
  for (const char* call : {"keeps_size", "outer_bounds", "text_area", "line_table"}) {
    SCOPED_TRACE(call);
    FittingHost host;
    host.MakeCurrent(1);
    host.Fail(std::string(call) + ":1");
    EXPECT_FALSE(BoxOverflows());
  }
  {
    // A refused record ends nothing by itself: the tries still end.
    FittingHost host;
    host.MakeCurrent(1);
    host.Fail("store_box_record:*");
    EnlargeBox(0);
    EXPECT_EQ(host.Bounds(1), (std::array<int32_t, 4>{100, 100, 150, 120}));
  }
}

TEST(BoxFitting, DocumentRequests) {
  FittingHost host;
  host.Clear();
  EXPECT_EQ(SendDocumentRequest(kXTRequestRecompose), kXTOk);
  EXPECT_EQ(SendDocumentRequest(kXTRequestRedraw), kXTOk);
  EXPECT_NE(SendDocumentRequest(7), kXTOk);
  const std::string d = std::to_string(host.document);
  EXPECT_EQ(host.Lines(), (std::vector<std::string>{"document " + d + " request 3",
                                                    "document " + d + " request 1"}));
}

}  // namespace
