// The passes over the master boxes of the layout fixture with the host's
// box notices going to the plug-in: what the registries hold afterwards,
// the class of every kind of box, the summary against a golden file, the
// stories left as they were, and injected host failures that must not
// leave the probe text behind.  masterPageLogMode 3: no traces.
#include "plugin/mixer/master_boxes.h"

#include <gtest/gtest.h>

#include <ios>
#include <map>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

#include "host/document_ops.h"
#include "plugin/mixer/box_registries.h"
#include "plugin/mixer/doc_view.h"
#include "plugin/mixer/mapper.h"
#include "plugin/mixer/master_class.h"
#include "support/host_result.h"
#include "support/program_log.h"
#include "tests/common/python.h"
#include "tests/plugin/mixer/master_host_util.h"

namespace {

// Users of a master entry, by item id.
std::vector<int32_t> UserIds(const ct_MBox& master) {
  std::vector<int32_t> ids;
  for (const BoxLinkRecord& user : master.users) ids.push_back(user.item & 0xFFFF);
  return ids;
}

std::map<int32_t, std::string> AllStories(MasterHost& host) {
  std::map<int32_t, std::string> texts;
  for (const xthost::Story& story : host.content().stories) texts[story.id] = host.StoryText(story.id);
  return texts;
}

// Puts the probe text in front of `story` as the user's own text.
bool ProbeInFront(int32_t story) {
  XTTextRef text = 0;
  int32_t length = 0;
  int32_t ignored = 0;
  return XT().lgf2->story_text(story, &text, &length, &ignored, &ignored) == kXTOk &&
         XT().lgf2->insert_text(text, 0, kMasterProbeText, kMasterProbeLength) == kXTOk;
}

class MasterBoxes : public ::testing::Test {
 protected:
  void SetUp() override {
    host_.LoadSettings(3);
    host_.OpenLayouts();
  }
  MasterHost host_;
};

TEST_F(MasterBoxes, RegistriesFilledFromTheHostsNotices) {
  const auto before = AllStories(host_);
  ASSERT_EQ(PreprocessMasterBoxes(false), 0);
  // Inside the first pass: the probe in the master stories and in the copy
  // that follows its master, not in the edited one.
  EXPECT_EQ(host_.StoriesWithProbe(), "1 3 5 10 ");
  ASSERT_EQ(PreprocessMasterBoxes(true), 0);
  EXPECT_EQ(AllStories(host_), before);
  EXPECT_EQ(host_.StoriesWithProbe(), "");

  // Every master text box of A-Master (1, 2 empty, 3) and B-Unused (5);
  // only box 1 has copies the host reported: 10 following, 63 edited.
  const BoxPairMap& pairs = BoxPairRegistry();
  std::map<int32_t, std::vector<int32_t>> users;
  for (const auto& [handle, master] : pairs) {
    EXPECT_EQ(master.box, handle);
    EXPECT_EQ(master.masterFlag, 1);
    users[handle & 0xFFFF] = UserIds(master);
  }
  EXPECT_EQ(users, (std::map<int32_t, std::vector<int32_t>>{
                       {1, {10, 63}}, {2, {}}, {3, {}}, {5, {}}}));
  EXPECT_EQ(pairs.at(host_.Item(1)).masterPage, 1);
  EXPECT_EQ(pairs.at(host_.Item(1)).spreadName, "A-Master");
  EXPECT_EQ(pairs.at(host_.Item(5)).masterPage, 2);
  EXPECT_EQ(pairs.at(host_.Item(5)).spreadName, "B-Unused");
  // The layout boxes' records: where they lie, as the host tells.
  const BoxLinkSet& copies = pairs.at(host_.Item(1)).users;
  EXPECT_EQ(copies.find(host_.Item(10))->record.Spread(), 1);
  EXPECT_EQ(copies.find(host_.Item(63))->record.Spread(), 2);
  EXPECT_TRUE(copies.find(host_.Item(63))->record.IsTextBox());

  ASSERT_EQ(LinkedBoxRegistry().size(), 1u);
  EXPECT_EQ(LinkedBoxRegistry().begin()->item, host_.Item(10));
  // Each pass made the host report: two 501 for box 1's copies, one 106.
  const auto lines = host_.Lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "notify 501 1 10"), 2);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "notify 501 1 63"), 2);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "notify 106 10"), 2);
  EXPECT_EQ(host_.OpenHandles(), 0u);
  // The view is back on the layout.
  int32_t view = xt_getdocviewref();
  uint8_t masters = 1;
  ASSERT_EQ(XT().lgk2->view_shows_masters(view, &masters), kXTOk);
  EXPECT_EQ(masters, 0);
}

TEST_F(MasterBoxes, AllFiveClassesOnTheFixture) {
  ASSERT_EQ(PreprocessMasterBoxesTwice(), 0);
  const struct {
    int32_t id;
    MasterBoxClass expected;
    int page;  // master page written, -1 none
  } cases[] = {
      {12, kLayoutBoxNotLinked, -1},  // a plain layout box
      {11, kLayoutBoxNotLinked, -1},  // copy of the empty master box 2: never reported
      {63, kLayoutBoxLinked, -1},     // edited copy of box 1: 501 only
      {10, kAutotextBoxLinked, -1},   // following copy of box 1: 501 and 106
      {2, kMasterBoxNotUsed, 1},      // empty master box
      {3, kMasterBoxNotUsed, 1},      // master box without copies
      {5, kMasterBoxNotUsed, 2},      // box of the unused master
      {1, kMasterBoxUsed, 1},
  };
  for (const auto& c : cases) {
    uint16_t page = 99;
    EXPECT_EQ(ClassifyBox(host_.Item(c.id), &page), c.expected) << c.id;
    EXPECT_EQ(page, c.page < 0 ? 99 : c.page) << c.id;
    EXPECT_EQ(ClassifyBox(host_.Item(c.id), nullptr), c.expected) << c.id;
  }
  // A master box that is also some master's user is a master box.
  BoxPairRegistry().at(host_.Item(3)).users.emplace(host_.Item(1), ct_Box(host_.Item(1), 0));
  EXPECT_EQ(ClassifyBox(host_.Item(1), nullptr), kMasterBoxUsed);
  EXPECT_EQ(ClassifyBox(host_.Item(3), nullptr), kMasterBoxUsed);
}

// The boxes of story ids 0, 1, ... of the fixture's print layout as the
// Mapper numbers them (see mapper_test.cc).
const std::vector<int32_t> kStoryBoxes = {40, 10, 11, 35, 12, 15, 33, 16, 17, 20,
                                          25, 26, 61, 63, 71, 1,  36, 3,  5};

TEST_F(MasterBoxes, SummaryEqualsTheGoldenFile) {
  ASSERT_EQ(PreprocessMasterBoxesTwice(), 0);
  const int32_t count = static_cast<int32_t>(kStoryBoxes.size());
  AssignBoxStoryIds(
      [&](int32_t i) {
        return i < count ? host_.Item(kStoryBoxes[static_cast<std::size_t>(i)]) : 0;
      },
      count);
  EXPECT_EQ(PrintMasterpageSummary(true, true), FixtureText("masterpage_summary.txt"));
}

// The same through the Mapper's analysis, which runs both passes on
// emptied registries and writes the summary to the program log.
TEST_F(MasterBoxes, AnalysisWritesTheSummaryAndLeavesTheStories) {
  const auto before = AllStories(host_);
  BoxPairRegistry().try_emplace(host_.Item(11), host_.Item(11), 1);  // emptied first
  LogCapture log;
  Mapper mapper;
  ASSERT_EQ(mapper.Analyze(), static_cast<int32_t>(kStoryBoxes.size()));
  const std::string golden = FixtureText("masterpage_summary.txt");
  const std::string text = log.Text();
  ASSERT_GE(text.size(), golden.size()) << text;
  EXPECT_EQ(text.substr(text.size() - golden.size()), golden) << text;
  // No trace at this mode.
  EXPECT_EQ(text.find("MASTERBOX"), std::string::npos);

  // Every story that was there reads as before.
  auto after = AllStories(host_);
  for (const auto& [id, story] : before) EXPECT_EQ(after[id], story) << id;
  EXPECT_EQ(host_.StoriesWithProbe(), "");
  EXPECT_EQ(BoxPairRegistry().count(host_.Item(11)), 0u);
}

// Master box 2 on master spread 4 and box 9 on spread 3; copies of box 9:
// 20 (edited) on layout spread 2, 21 (following) on spread 1.
const char kSpreadOrder[] = R"({"format": "xthost document", "version": 1,
  "layouts": [{"name": "Layout 1",
               "spreads": [{"pages": [{"master": 3}]}, {"pages": [{"master": 3}]}],
               "masters": [{"name": "First"}, {"name": "Second"}]}],
  "boxes": [{"id": 2, "story": 2, "master": true, "spread": 4, "bounds": [36, 36, 300, 100]},
            {"id": 9, "story": 9, "master": true, "spread": 3, "bounds": [36, 36, 300, 100]},
            {"id": 20, "story": 20, "masterItem": 9, "spread": 2, "bounds": [36, 36, 300, 100]},
            {"id": 21, "story": 21, "masterItem": 9, "follows": true,
             "bounds": [36, 36, 300, 100]}],
  "stories": [{"id": 2, "text": "Two", "paragraphs": [[0, 3]], "runs": [[0, 3]]},
              {"id": 9, "text": "Nine", "paragraphs": [[0, 4]], "runs": [[0, 4]]},
              {"id": 20, "text": "Twenty", "paragraphs": [[0, 6]], "runs": [[0, 6]]},
              {"id": 21, "text": "Nine", "paragraphs": [[0, 4]], "runs": [[0, 4]]}]})";

TEST(MasterSummary, ColumnsAndSpreadOrder) {
  MasterHost host;
  host.LoadSettings(3);
  ASSERT_EQ(host.OpenText("order.json", kSpreadOrder), 1);
  ASSERT_EQ(PreprocessMasterBoxesTwice(), 0);
  BoxPairRegistry().at(ItemHandle(1, 9)).id = 4;

  const std::string hash = "\n" + std::string(80, '#') + "\n";
  const std::string dash = "\n" + std::string(80, '-') + "\n";
  const std::string head =
      hash + "Masterpage Summary:\n" + std::string(68, ' ') + "Master Boxes" + dash;
  const std::string layoutHead = "\n" + std::string(68, ' ') + "Layout Boxes" + dash;
  // Rows by spread, not by handle.
  EXPECT_EQ(PrintMasterpageSummary(false, false),
            head + "              MBoxID    Spread    Usages         MSpreadName" + dash +
                "               10009         3         2               First\n"
                "               10002         4         0              Second\n" +
                hash + "\n");
  EXPECT_EQ(PrintMasterpageSummary(true, true),
            head + "              MBoxID    Spread   StoryID    Usages         MSpreadName" + dash +
                "               10009         3         4         2               First\n"
                "               10002         4        -1         0              Second\n" +
                layoutHead +
                "     BoxID    MBoxID    Spread   StoryID      Auto         MSpreadName" + dash +
                "     10015     10009         1        -1      +                  First\n\n"
                "     10014     10009         2        -1      -                  First\n\n" +
                hash + "\n");
  // Without entries: the titles and rules alone.
  EmptyBoxRegistries();
  EXPECT_EQ(PrintMasterpageSummary(true, false),
            head + "              MBoxID    Spread    Usages         MSpreadName" + dash +
                layoutHead + "     BoxID    MBoxID    Spread      Auto         MSpreadName" +
                dash + hash + "\n");
}

TEST(MasterPasses, NoUserMastersVisitsNoPage) {
  MasterHost host;
  host.LoadSettings(3);
  host.Open("doc_nomasters.json");
  const auto before = AllStories(host);
  EXPECT_EQ(PreprocessMasterBoxes(false), 0);
  EXPECT_EQ(PreprocessMasterBoxes(true), 0);
  EXPECT_TRUE(BoxPairRegistry().empty());
  EXPECT_EQ(AllStories(host), before);
  // The probe string was made and released.
  EXPECT_EQ(host.OpenHandles(), 0u);
}

TEST_F(MasterBoxes, ProbeTextAlreadyThereIsKept) {
  ASSERT_TRUE(ProbeInFront(3));
  const auto before = AllStories(host_);
  // A master box met before keeps its first entry.
  BoxPairRegistry().try_emplace(host_.Item(2), host_.Item(2), 7);
  EXPECT_EQ(PreprocessMasterBoxesTwice(), 0);
  EXPECT_EQ(AllStories(host_), before);
  EXPECT_EQ(host_.StoriesWithProbe(), "3 ");
  EXPECT_EQ(BoxPairRegistry().at(host_.Item(2)).masterPage, 7);
}

// Fails a host call of the first pass, called directly or through the
// Mapper's analysis (whose Connect then fails): whatever the pass did
// before is undone by the second, and the first error is returned.
TEST(MasterPasses, AFailedFirstPassLeavesNoProbeText) {
  const struct {
    const char* plan;
    bool analysis;
  } cases[] = {
      {"insert_text:2", false},      // box 3: box 1 and its copy had the probe
      {"insert_text:3", false},      // box 5
      {"show_view:3", false},        // going to B-Unused
      {"item_story:3", false},       // box 3's story
      {"page_master:2", false},      // B-Unused's spread
      {"first_page_item:2", false},  // B-Unused's boxes
      {"is_master_item:6", false},   // inside the walk, after box 1's notices
      {"first_page_item:2", true},
      {"page_master:2", true},
  };
  for (const auto& c : cases) {
    MasterHost host;
    host.LoadSettings(3, 1);
    host.OpenLayouts();
    const auto before = AllStories(host);
    host.Fail(c.plan);
    LogCapture log;
    if (c.analysis) {
      Mapper mapper;
      EXPECT_EQ(mapper.Analyze(), 0) << c.plan;
    } else {
      EXPECT_NE(PreprocessMasterBoxes(false), 0) << c.plan;
      EXPECT_EQ(PreprocessMasterBoxes(true), 0) << c.plan;
      EXPECT_EQ(host.OpenHandles(), 0u) << c.plan;
    }
    EXPECT_NE(log.Text().find("API_FAILURE<RETURN_ERROR>:\tMixer["), std::string::npos) << c.plan;
    EXPECT_EQ(host.StoriesWithProbe(), "") << c.plan;
    auto after = AllStories(host);
    for (const auto& [id, story] : before) EXPECT_EQ(after[id], story) << c.plan << " " << id;
    // And in the saved file, as python reads it.
    std::string error;
    ASSERT_EQ(xthost::SaveDocument(host.host(), host.Item(0) >> 16, "", &error), kXTOk) << error;
    EXPECT_EQ(testutil::PythonOutput("import sys\n"
                                     "print(open(sys.argv[1], encoding='utf-8').read()"
                                     ".count('#$_@?&#'))\n",
                                     {host.Path("doc_layouts.json")}),
              "0\n")
        << c.plan;
  }
}

// Failures of the second pass: what its walk could not take out is taken
// out through the recorded stories at its end; what cannot be taken out at
// all stays, and the failure is counted.  A story that begins with the
// probe text of its own keeps it, also when the first pass failed before
// reaching it.
TEST(MasterPasses, TheSecondPassTakesOutWhatTheFirstPutIn) {
  const struct {
    const char* first;   // fails in the first pass
    const char* second;  // fails in the second pass
    bool own;            // story 3 begins with the probe text of its own
    const char* left;    // the stories holding the probe text afterwards
  } cases[] = {
      {"", "delete_text:1", false, ""},        // box 1: taken out at the end
      {"", "read_text:2", false, ""},          // box 3
      {"", "show_view:1", false, ""},          // A-Master not reached
      {"", "master_count:1", false, ""},       // no page walked at all
      {"", "new_string:1", false, ""},         // the pass's own probe string
      {"", "delete_text:*", false, "1 3 5 10 "},
      {"", "story_text:*", false, "1 3 5 10 "},
      {"insert_text:2", "", true, "3 "},       // box 3 never had the probe
      {"insert_text:2", "delete_text:1", true, "3 "},
  };
  for (const auto& c : cases) {
    MasterHost host;
    host.LoadSettings(3);
    host.OpenLayouts();
    if (c.own) {
      ASSERT_TRUE(ProbeInFront(3));
    }
    const auto before = AllStories(host);
    host.Fail(c.first);
    EXPECT_EQ(PreprocessMasterBoxes(false) != 0, *c.first != '\0') << c.first;
    host.Fail(c.second);
    const uint32_t failures = HostFailureCount();
    EXPECT_EQ(PreprocessMasterBoxes(true) != 0, *c.second != '\0') << c.second;
    EXPECT_EQ(HostFailureCount() != failures, *c.second != '\0') << c.second;
    EXPECT_EQ(host.StoriesWithProbe(), c.left) << c.first << " " << c.second;
    if (*c.left == '\0' || c.own) {
      EXPECT_EQ(AllStories(host), before) << c.first << " " << c.second;
    }
    EXPECT_EQ(host.OpenHandles(), 0u) << c.second;
  }
}

// An exception inside the first pass (here the log that cannot take the
// report of box 3's failed insertion): the probe text box 1 got is taken
// out as the passes unwind.
TEST(MasterPasses, AnExceptionLeavesNoProbeText) {
  MasterHost host;
  host.LoadSettings(3, 1);
  host.OpenLayouts();
  const auto before = AllStories(host);
  host.Fail("insert_text:2");
  struct Full : std::streambuf {
    int overflow(int) override { return traits_type::eof(); }
  } full;
  std::ostream& log = ProgramLog();
  std::streambuf* const saved = log.rdbuf(&full);
  log.exceptions(std::ios::badbit);
  EXPECT_THROW(PreprocessMasterBoxesTwice(), std::ios_base::failure);
  log.exceptions(std::ios::goodbit);
  log.clear();
  log.rdbuf(saved);
  EXPECT_EQ(host.StoriesWithProbe(), "");
  EXPECT_EQ(AllStories(host), before);
}

}  // namespace
