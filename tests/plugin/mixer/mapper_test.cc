// The Mapper over the stand-in host: the id of every box of the fixture,
// the import's Connect, the text-pattern test, tags through save and
// reopen, UnInstall, and failing host calls.
#include "plugin/mixer/mapper.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "host/document_ops.h"
#include "plugin/mixer/box_tags.h"
#include "plugin/mixer/doc_view.h"
#include "plugin/qapi/story_runs.h"
#include "support/host_link.h"
#include "support/settings.h"
#include "tests/common/python.h"
#include "tests/plugin/mixer/mixer_host_util.h"

namespace {

// Loads a settings file of the given lines (section Options).
void LoadSettings(MixerHost& host, const std::string& lines) {
  const std::string path = host.Path("settings.ini");
  std::ofstream(path, std::ios::binary) << "[Options]\n" << lines;
  ASSERT_TRUE(Settings::Instance().Load(path, false));
}

struct Expected {
  int32_t id;
  int32_t box;  // item id within the document; 0: none
  uint16_t masterSpread;
  const char* reason;
};

// Layout "Print" of doc_layouts.json, by hand.  Spread 1 in stacking
// order, then spreads 2 and 3, then the master spreads that pass the test
// (3 "A-Master", 4 "B-Unused").  Never taken: 2 (master box, empty story),
// 13 and 14 (later boxes of chain 12), 18 (20 dots), 19 ("ab" 20 times),
// 21 (20 'x'), 22 (empty), 23 (white only), 24 (has parent 16), the
// pictures, lines and groups, and 80 (other layout).
const Expected kPrint[] = {
    {0, 40, 0, "anchored in copy 10, analysed before its holder"},
    {1, 10, 0, "copy of master box 1 that follows it"},
    {2, 11, 0, "edited copy of master box 2"},
    {3, 35, 0, "anchored in chain story 12, met in box 12 before it"},
    {4, 12, 0, "first box of chain 12-13-14, one id for the chain"},
    {5, 15, 0, "hidden pairs"},
    {6, 33, 0, "text member of group 32 anchored in 16, members last to first"},
    {7, 16, 0, "rotated box"},
    {8, 17, 0, "pasteboard box on a hidden layer still has text"},
    {9, 20, 0, "19 repeats of 'x'"},
    {10, 25, 0, "U+4E00 alone is not white"},
    {11, 26, 0, "20 CJK characters sharing low byte 0x00 are no repeats"},
    {12, 61, 0, "member of free group 60 on spread 2"},
    {13, 63, 0, "edited copy of master box 1 on spread 2"},
    {14, 71, 0, "spread 3"},
    {15, 1, 3, "master box 1 of A-Master"},
    {16, 36, 3, "anchored in master box 3, under its holder's spread"},
    {17, 3, 3, "master box 3"},
    {18, 5, 4, "master box of the unused master B-Unused"},
};

// The item id of each story id 0..count, as FindBox answers.
std::vector<int32_t> BoxesOf(Mapper& mapper, int32_t count) {
  std::vector<int32_t> boxes;
  for (int32_t id = 0; id <= count; ++id) boxes.push_back(mapper.FindBox(id) & 0xFFFF);
  return boxes;
}

void ExpectPrintLayout(Mapper& mapper) {
  const int32_t count = static_cast<int32_t>(std::size(kPrint));
  ASSERT_EQ(mapper.StoryCount(), count);
  for (const Expected& e : kPrint) {
    EXPECT_EQ(mapper.FindBox(e.id) & 0xFFFF, e.box) << e.id << ": " << e.reason;
    EXPECT_EQ(mapper.MasterSpreadOf(e.id), e.masterSpread) << e.id << ": " << e.reason;
  }
  EXPECT_EQ(mapper.FindBox(count), 0);
}

TEST(Mapper, ExpectedBoxOfEveryIdInBothLayouts) {
  MixerHost host;
  const int32_t doc = host.Open("doc_layouts.json");
  Mapper print;
  EXPECT_EQ(print.Analyze(), static_cast<int32_t>(std::size(kPrint)));
  ExpectPrintLayout(print);
  // Untagged anchored items (picture 30 in 3, group 32 in 16) numbered on.
  EXPECT_EQ(print.ExtendedStoryCount(), 21);
  // Copies 10, 11 and 63 of master items, on pages of master spread 3,
  // in the order taken; bounds left, top, right, bottom in 16.16.
  const auto& used = print.UsedMasterBoxes();
  ASSERT_EQ(used.size(), 3u);
  EXPECT_EQ(used.count(3), 3u);
  const int32_t expectedBounds[3][4] = {{36, 740, 300, 770}, {36, 36, 576, 80}, {36, 740, 300, 770}};
  int row = 0;
  for (const auto& entry : used) {
    for (int i = 0; i < 4; ++i) EXPECT_EQ(entry.second.bounds[i], expectedBounds[row][i] << 16) << row;
    ++row;
  }
  // The working boxes are tagged and not counted.
  EXPECT_NE(print.FindBox(-1), 0);
  EXPECT_NE(print.FindBox(-2), 0);

  // The web layout is a document of its own: box 80 alone.
  Mixer::MakeCurrent(XTDocRef(doc + 1));
  Mapper web;
  EXPECT_EQ(web.Analyze(), 1);
  EXPECT_EQ(web.FindBox(0) & 0xFFFF, 80);
  EXPECT_EQ(web.FindBox(1), 0);
  EXPECT_EQ(web.MasterPageCount(), 2);
}

TEST(Mapper, ImportConnectFindsEveryBoxFromTheLayoutView) {
  MixerHost host;
  host.Open("doc_layouts.json");
  Mapper exporter;
  ASSERT_GT(exporter.Analyze(), 0);
  // An import numbers from the tags alone; anchored box 36 inside master
  // box 3 is found from the layout view as well.
  Mapper importer;
  ASSERT_TRUE(importer.Connect());
  int32_t view = static_cast<int32_t>(xt_getdocviewref());
  ASSERT_EQ(xt_viewgotomaster(view, 0), kXTOk);
  ExpectPrintLayout(importer);
  EXPECT_EQ(importer.ExtendedStoryCount(), exporter.ExtendedStoryCount());
  // A master story is reached only on its master page; a layout id moves
  // the view back.
  EXPECT_NE(importer.FindBox(16), 0);
  EXPECT_TRUE(importer.ShowsMasterView());
  EXPECT_NE(importer.FindBox(4), 0);
  EXPECT_FALSE(importer.ShowsMasterView());
}

// One layout of one box showing `text` (JSON-escaped).
std::string OneBoxDocument(const std::string& text, size_t units) {
  return R"({"format": "xthost document", "version": 1, "layouts": [{"name": "L"}],
    "boxes": [{"id": 1, "story": 1, "bounds": [36, 36, 300, 300]}],
    "stories": [{"id": 1, "text": ")" +
         text + R"(", "paragraphs": [[0, )" + std::to_string(units) + R"(]], "runs": [[0, )" +
         std::to_string(units) + "]]}]}";
}

std::string Repeat(const std::string& unit, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += unit;
  return text;
}

TEST(Mapper, TextPatternTestsUtf16Units) {
  const struct {
    std::string text;
    size_t units;
    bool taken;
  } cases[] = {
      {"Hello", 5, true},
      {"x", 1, true},
      {Repeat("x", 19), 19, true},
      {Repeat("x", 20), 20, false},
      {Repeat("x ", 25), 50, false},        // white between repeats ignored
      {Repeat("ab", 19), 38, true},
      {Repeat("ab", 20), 40, false},
      {Repeat("ab", 19) + "ac", 40, true},  // the pair breaks
      {Repeat(".", 30) + "x", 31, true},
      {"   \\t ", 5, false},
      {"", 0, false},
      {"\\u4e00", 1, true},                 // low byte 0x00
      {Repeat("\\u4e00", 20), 20, false},    // real repeats
      {"\\u4e00\\u4f00\\u5000\\u5100\\u5200\\u5300\\u5400\\u5500\\u5600\\u5700"
       "\\u5800\\u5900\\u5a00\\u5b00\\u5c00\\u5d00\\u5e00\\u5f00\\u6000\\u6100",
       20, true},                            // same low byte, different units
      {Repeat("\\u0161", 20), 20, false},
      {Repeat("\\u0161a", 20), 40, false},
  };
  for (const auto& c : cases) {
    MixerHost host;
    host.OpenText("pattern.json", OneBoxDocument(c.text, c.units));
    Mapper mapper;
    EXPECT_EQ(mapper.Analyze(), c.taken ? 1 : 0) << c.text;
  }
}

TEST(Mapper, AnchorsDeeperThan1000LevelsAreNotFollowed) {
  // Box 1 on the page; box i + 1 anchored in the story of box i.
  constexpr int kBoxes = 1005;
  std::string attributes = R"([{"font": 3})";
  std::string boxes;
  std::string stories;
  for (int i = 1; i <= kBoxes; ++i) {
    attributes += R"(, {"font": 3, "opcode": 1, "object": )" + std::to_string(i + 1) + "}";
    boxes += std::string(i > 1 ? ", " : "") + R"({"id": )" + std::to_string(i) + R"(, "story": )" +
             std::to_string(i) + R"(, "bounds": [36, 36, 300, 300]})";
    const bool last = i == kBoxes;
    stories += std::string(i > 1 ? ", " : "") + R"({"id": )" + std::to_string(i) +
               (last ? R"(, "text": "T", "paragraphs": [[0, 1]], "runs": [[0, 1]]})"
                     : R"(, "text": "T\u0001", "paragraphs": [[0, 2]], "runs": [[0, 1], [)" +
                           std::to_string(i) + ", 1]]}");
  }
  MixerHost host;
  const int32_t doc = host.OpenText("deep.json", R"({"format": "xthost document", "version": 1,
    "layouts": [{"name": "L"}], "characterAttributes": )" + attributes + R"(],
    "boxes": [)" + boxes + R"(], "stories": [)" + stories + "]}");
  LoadSettings(host, "masterPageMode=0\n");
  LogCapture log;
  Mapper mapper;
  // Depths 0 to 1001 are analysed and tagged, the deepest first; the box
  // at depth 1001 does not follow its anchor.  (The host's item-data search
  // stops at 64 anchor levels, so FindBox cannot be asked here.)
  mapper.Analyze();
  for (int depth : {0, 1, 500, 1000, 1001}) {
    int32_t id = -1;
    EXPECT_TRUE(GetBoxId(ItemHandle(doc, depth + 1), &id)) << depth;
    EXPECT_EQ(id, 1001 - depth) << depth;
  }
  int32_t id = -1;
  EXPECT_FALSE(GetBoxId(ItemHandle(doc, 1003), &id));
  const std::string text = log.Text();
  const std::string line = "#######stack overflows soon########\n";
  ASSERT_NE(text.find(line), std::string::npos);
  EXPECT_EQ(text.find(line, text.find(line) + 1), std::string::npos);
}

TEST(Mapper, NoTextBoxesNothingToExport) {
  MixerHost host;
  host.OpenText("empty.json", R"({"format": "xthost document", "version": 1,
    "layouts": [{"name": "L"}], "boxes": [{"id": 1, "kind": "picture", "bounds": [0, 0, 9, 9]}]})");
  Mapper mapper;
  EXPECT_EQ(mapper.Analyze(), 0);
  EXPECT_EQ(mapper.FindBox(0), 0);
}

// The hidden-text ids of story 15 (box of id 5): (position, id) of every
// marker run, through LookupHidden.
std::vector<std::pair<int32_t, int32_t>> HiddenIds(Mapper& mapper) {
  std::vector<std::pair<int32_t, int32_t>> ids;
  int32_t story = 0;
  EXPECT_EQ(XT().lgk2->item_story(mapper.FindBox(5), &story), kXTOk);
  StoryRunIterator iterator(story);
  StoryRunPosition position;
  StoryRunIterator::Begin(position, iterator);
  while (iterator.HasMore(position)) {
    if ((iterator.CurrentOpcode(position) & 0x60) == 0) {
      iterator.Advance(position);
      continue;
    }
    const int32_t at = position.boundary;
    int32_t id = -1;
    mapper.LookupHidden(iterator, position, &id);
    ids.emplace_back(at, id);
  }
  return ids;
}

// Item data keys of every box and the texts of every story of a saved
// document, read by python3.
std::string SavedTagsAndStories(const std::string& path) {
  return testutil::PythonOutput(
      "import json, sys\n"
      "doc = json.load(open(sys.argv[1], encoding='utf-8'))\n"
      "for b in doc['boxes']:\n"
      "  for k in sorted(b.get('data', {})):\n"
      "    if k in ('08414b42', '09414b42'): print('tag', b['id'], k)\n"
      "for s in doc['stories']: print('story', s['id'], s.get('text', '').encode('unicode_escape'))\n",
      {path});
}

TEST(Mapper, TagsSurviveSaveAndReopenThenUnInstallCleansUp) {
  std::vector<int32_t> boxes;
  std::vector<std::pair<int32_t, int32_t>> hidden;
  std::string original;
  testutil::TempDir keep{"brenix-mapper"};
  const std::string saved = keep.path() + "/saved.json";
  {
    MixerHost host;
    const int32_t doc = host.Open("doc_layouts.json");
    std::string error;
    ASSERT_EQ(xthost::SaveDocument(host.host(), doc, host.Path("plain.json"), &error), kXTOk);
    original = SavedTagsAndStories(host.Path("plain.json"));
    LoadSettings(host, "masterPageMode=0\n");
    Mapper mapper;
    const int32_t count = mapper.Analyze();
    ASSERT_GT(count, 0);
    boxes = BoxesOf(mapper, count);
    hidden = HiddenIds(mapper);
    ASSERT_EQ(xthost::SaveDocument(host.host(), doc, saved, &error), kXTOk) << error;
  }
  // Three hidden pairs: x, y and two equal q pairs sharing one id; the
  // unpaired u marker has none.
  const std::vector<std::pair<int32_t, int32_t>> expectedHidden = {
      {2, 21}, {9, 22}, {15, 22}, {18, 21}, {23, 23}, {26, 23}, {31, 23}, {34, 23}, {39, -1}};
  EXPECT_EQ(hidden, expectedHidden);

  MixerHost host;
  const int32_t doc = host.OpenText("reopened.json", testutil::ReadFile(saved));
  Mapper importer;
  ASSERT_TRUE(importer.Connect());
  EXPECT_EQ(BoxesOf(importer, importer.StoryCount()), boxes);
  EXPECT_EQ(HiddenIds(importer), hidden);
  EXPECT_NE(importer.FindBox(-2), 0);

  importer.UnInstall();
  EXPECT_EQ(importer.FindBox(-1), 0);
  EXPECT_EQ(importer.FindBox(0), 0);
  std::string error;
  ASSERT_EQ(xthost::SaveDocument(host.host(), doc, host.Path("clean.json"), &error), kXTOk);
  // No tag and no working box is left, and every story reads as before.
  EXPECT_EQ(SavedTagsAndStories(host.Path("clean.json")), original);
}

TEST(Mapper, SecondAnalysisNumbersAgainAndATaggedBoxKeepsItsId) {
  MixerHost host;
  const int32_t doc = host.Open("doc_layouts.json");
  LoadSettings(host, "masterPageMode=0\n");
  Mapper first;
  const int32_t count = first.Analyze();
  const std::vector<int32_t> boxes = BoxesOf(first, count);
  Mapper second;
  EXPECT_EQ(second.Analyze(), count);
  EXPECT_EQ(BoxesOf(second, count), boxes);
  // Exactly one pair of working boxes remains.
  size_t working = 0;
  for (const auto& box : host.content().boxes) working += box.story != 0 && box.id > 80;
  EXPECT_EQ(working, 2u);
  // A box tagged beforehand keeps its id through AnaliseText.
  second.UnInstall();
  SetBoxTag32(ItemHandle(doc, 71), kBoxIdTagKey, 7);
  Mapper third;
  EXPECT_TRUE(third.AnaliseText(ItemHandle(doc, 71), 0, 0));
  EXPECT_EQ(third.FindBox(7), ItemHandle(doc, 71));
}

TEST(Mapper, MasterPageMode1LeavesEveryStoryAsItWas) {
  MixerHost host;
  host.Open("doc_layouts.json");
  LoadSettings(host, "masterPageMode=1\n");
  std::map<int32_t, std::u16string> before;
  for (const auto& story : host.content().stories) before[story.id] = story.text;
  Mapper mapper;
  ASSERT_EQ(mapper.Analyze(), static_cast<int32_t>(std::size(kPrint)));
  ExpectPrintLayout(mapper);
  // Master stories and their copies lose the probe text again; the only
  // new stories are the working boxes'.
  for (const auto& story : host.content().stories) {
    const auto known = before.find(story.id);
    if (known != before.end()) {
      EXPECT_EQ(story.text, known->second) << story.id;
    }
  }
  EXPECT_EQ(host.content().stories.size(), before.size() + 2);
}

TEST(Mapper, FailedFirstPassLeavesNoProbeText) {
  MixerHost host;
  host.Open("doc_layouts.json");
  LoadSettings(host, "masterPageMode=1\n");
  // The second master story cannot take the probe text.
  host.Fail("insert_text:2");
  Mapper mapper;
  EXPECT_EQ(mapper.Analyze(), 0);
  host.Fail("");
  for (const auto& story : host.content().stories)
    EXPECT_EQ(story.text.find(u"#$_@?&#"), std::u16string::npos) << story.id;
}

TEST(Mapper, FailingViewSwitchWritesTheReport) {
  MixerHost host;
  host.Open("doc_layouts.json");
  host.SetTestMode(1);
  LoadSettings(host, "masterPageMode=0\ntestMode=1\n");
  Mapper mapper;
  ASSERT_GT(mapper.Analyze(), 0);
  LogCapture log;
  host.Fail("show_view:*");
  EXPECT_EQ(mapper.FindBox(99), 0);
  const std::string colons(80, ':');
  EXPECT_NE(log.Text().find("\n" + colons + "\nAPI_FAILURE<RETURN_VALUE>:\tFilter_BX[671]:Mapper::FindBox()\n" +
                            colons + "\n"),
            std::string::npos)
      << log.Text();
  host.Fail("");
  LoadSettings(host, "masterPageMode=0\n");
}

TEST(Mapper, FailingHostStepsAreReportedAndEndTheStep) {
  const struct {
    const char* plan;
    const char* operation;  // 0 FindBoxFromUnusedMP, 1 FindSlugFromMP, 2 MasterPatch, 3 Connect
    const char* block;
  } cases[] = {
      {"master_count:*", "0", "RETURN_EMPTY>:\tFilter_BX[1234]:Mapper::FindBoxFromUnusedMP()"},
      {"is_master_spread:*", "0", "RETURN_EMPTY>:\tFilter_BX[1243]:Mapper::FindBoxFromUnusedMP()"},
      {"is_master_item:*", "0", "RETURN_EMPTY>:\tFilter_BX[1266]:Mapper::FindBoxFromUnusedMP()"},
      {"master_count:*", "1", "RETURN_VALUE>:\tFilter_BX[1349]:Mapper::FindSlugFromMP()"},
      {"view_state:*", "2", "RETURN_EMPTY>:\tFilter_BX[1379]:Mapper::MasterPatch()"},
      {"master_count:*", "3", "RETURN_ERROR>:\tFilter_BX[1109]:Mapper::Connect()"},
  };
  for (const auto& c : cases) {
    MixerHost host;
    host.Open("doc_layouts.json");
    LoadSettings(host, "masterPageMode=0\ntestMode=1\n");
    Mapper mapper;
    ASSERT_GT(mapper.Analyze(), 0);
    LogCapture log;
    host.Fail(c.plan);
    switch (c.operation[0]) {
      case '0': mapper.FindBoxFromUnusedMP(false); break;
      case '1': EXPECT_EQ(mapper.FindSlugFromMP(kBoxMarkerTagKey, kBoxMarkerValue), 0); break;
      case '2': mapper.MasterPatch(); break;
      default: EXPECT_FALSE(mapper.Connect()); break;
    }
    host.Fail("");
    EXPECT_NE(log.Text().find(std::string("API_FAILURE<") + c.block + "\n"), std::string::npos)
        << c.plan << "\n" << log.Text();
  }
  MixerHost host;
  LoadSettings(host, "masterPageMode=0\n");
}

TEST(Mapper, CurrentBoxFailureIsLogged) {
  MixerHost host;
  host.Open("doc_layouts.json");
  LoadSettings(host, "masterPageMode=0\n");
  LogCapture log;
  host.Fail("set_current_box:*");
  Mapper mapper;
  EXPECT_GT(mapper.Analyze(), 0);
  EXPECT_NE(log.Text().find("Unable to set curbox("), std::string::npos);
  EXPECT_NE(log.Text().find("),   storyID=0######## BreakPoint_BX:"), std::string::npos) << log.Text();
}

TEST(Mapper, UnInstallEndsWhenBoxesCannotBeDeletedOrUntagged) {
  MixerHost host;
  host.Open("doc_layouts.json");
  LoadSettings(host, "masterPageMode=0\n");
  Mapper mapper;
  ASSERT_GT(mapper.Analyze(), 0);
  {
    // Deletion fails: the working boxes lose their tags instead.
    LogCapture log;
    host.Fail("delete_item:*");
    mapper.UnInstall();
    EXPECT_NE(log.Text().find("ERROR: Mapper::UnInstall: working box "), std::string::npos);
    host.Fail("");
    EXPECT_EQ(mapper.FindBox(-1), 0);
    EXPECT_EQ(mapper.FindBox(0), 0);
  }
  ASSERT_GT(mapper.Analyze(), 0);
  {
    // No tag can be cleared: the first box met twice ends the search.
    LogCapture log;
    host.Fail("set_item_data:*,delete_item:*");
    mapper.UnInstall();
    EXPECT_NE(log.Text().find("could not be untagged"), std::string::npos) << log.Text();
    host.Fail("");
  }
}

}  // namespace
