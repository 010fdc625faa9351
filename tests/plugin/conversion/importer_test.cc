// Importer::Run over the stand-in host with a container held in memory:
// a locked story unlocked and locked again, one unique id per paragraph,
// stories without a box or layout, and host calls that fail.
#include "plugin/conversion/importer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "plugin/mixer/mapper.h"
#include "plugin/qapi/quark_doc.h"
#include "support/host_link.h"
#include "support/host_result.h"
#include "support/settings.h"
#include "tests/plugin/conversion/import_fakes.h"
#include "tests/plugin/mixer/mixer_host_util.h"

namespace {

using namespace import_test;

// One locked text box of one paragraph.
const char kLocked[] = R"({"format": "xthost document", "version": 1, "layouts": [{"name": "L"}],
  "characterAttributes": [{"font": 3}],
  "boxes": [{"id": 1, "story": 1, "bounds": [36, 36, 300, 300]}],
  "stories": [{"id": 1, "options": 1, "text": "old text\r", "paragraphs": [[0, 9], [0, 0]],
               "runs": [[0, 9]]}]})";

struct Result {
  bool withoutBox = false;
  bool failed = false;  // a host call failed (support/host_result.h)
  std::u16string text;
  uint32_t options = 0;
  size_t boxes = 0;
  std::vector<std::string> lines;
  std::string log;
};

// Exports the analysis (tags, working boxes), then imports `stories`.
Result Import(const std::vector<StorySpec>& stories, const std::string& fail = "") {
  MixerHost host;
  host.OpenText("doc.json", kLocked);
  const std::string path = host.Path("settings.ini");
  std::ofstream(path, std::ios::binary) << "[Options]\nmasterPageMode=0\ntempBoxMaximizeMode=2\n";
  EXPECT_TRUE(Settings::Instance().Load(path, false));
  {
    Mapper exporter;
    EXPECT_EQ(exporter.Analyze(), 1);
  }
  host.Clear();
  host.Fail(fail);
  LogCapture log;
  Result result;
  {
    const RefHandle<QuarkDoc> document = RefHandle<QuarkDoc>::Adopt(new QuarkDoc());
    const Strings none;
    const Ref<IDoc> container(new FakeDoc(stories, &none));
    std::unique_ptr<Importer> importer = CreateImporter(document, container, false, false, true, false);
    EXPECT_NE(importer, nullptr);
    const uint32_t failures = HostFailureCount();
    importer->Run();
    result.failed = HostFailedSince(failures);
    result.withoutBox = importer->StoryWithoutBox();
  }
  result.text = host.content().FindStory(1)->text;
  result.options = host.content().FindStory(1)->options;
  result.boxes = host.content().boxes.size();
  result.lines = host.Lines();
  result.log = log.Text();
  return result;
}

size_t Count(const std::vector<std::string>& lines, const std::string& prefix) {
  size_t n = 0;
  for (const std::string& line : lines) n += line.rfind(prefix, 0) == 0;
  return n;
}

StorySpec OneParagraph(Attrs storyAttrs = {}) {
  StorySpec story;
  story.attrs = std::move(storyAttrs);
  story.paragraphs.push_back({{Text(u"A"), Text(u"B"), Text(u"C")}, {{u"uniqID", u"4711"}}});
  story.paragraphs.push_back({{}, {}});
  return story;
}

TEST(Importer, LockedStoryGetsItsTranslationAndOneUniqueIdPerParagraph) {
  const Result r = Import({OneParagraph()});
  EXPECT_FALSE(r.withoutBox) << r.log;
  EXPECT_EQ(r.text, u"#    4711ABC\r");
  EXPECT_EQ(r.options, 1u);
  EXPECT_EQ(Count(r.lines, "unlock story 1"), 1u);
  EXPECT_EQ(Count(r.lines, "lock story 1"), 1u);
  EXPECT_EQ(Count(r.lines, "insert object 136"), 1u);
  // The working boxes are gone again.
  EXPECT_EQ(r.boxes, 1u);
}

TEST(Importer, StoriesThatFindNoBoxAreSkippedWithTheFlag) {
  struct Case {
    const char* name;
    std::vector<StorySpec> stories;
    const char* logged;
  } cases[] = {
      {"second story", {OneParagraph(), OneParagraph()},
       "####box for story 1 is not found. Trying to import into new created box\n"},
      {"layout the document lacks", {OneParagraph({{u"story_type", u"layout_prn7"}})},
       "####box for story 0 is not found. Its layout is not in the document\n"},
  };
  for (const Case& c : cases) {
    const Result r = Import(c.stories);
    EXPECT_TRUE(r.withoutBox) << c.name;
    EXPECT_NE(r.log.find(c.logged), std::string::npos) << c.name << r.log;
    EXPECT_EQ(r.options, 1u) << c.name;
  }
  // A "story_type" that is no layout word and digit counts as absent.
  const Result r = Import({OneParagraph({{u"story_type", u"layout_prn"}})});
  EXPECT_FALSE(r.withoutBox) << r.log;
  EXPECT_EQ(r.text, u"#    4711ABC\r");
}

TEST(Importer, AFailingTextCallIsLoggedCountedAndTheRestImported) {
  // A failed call fails the import (its command saves nothing); the story
  // is found all the same, and the rest of it imported.  Each case: the
  // failing call ("" none), what the log tells.
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},
      {"insert_text:2", "ERROR: host call insert_text failed"},
      // The untranslated text stays.
      {"delete_text:1", "ERROR: QStory::Apply(): the host did not delete"},
      {"set_story_option:1", "ERROR: host call set_story_option failed"},
      // The box keeps the page's bounds it had for the import.
      {"store_box_record:2", "ERROR: the text box of story 1 on page 1 did not get its own bounds and shape back"},
  };
  for (const auto& [fail, logged] : cases) {
    SCOPED_TRACE(fail);
    const Result r = Import({OneParagraph()}, fail);
    EXPECT_FALSE(r.withoutBox);
    EXPECT_EQ(r.failed, *fail != '\0') << r.log;
    EXPECT_NE(r.log.find(logged), std::string::npos) << r.log;
  }
  // The second insertion is the carrier of "A".
  EXPECT_EQ(Import({OneParagraph()}, "insert_text:2").text, u"#    4711BC\r");
}

}  // namespace
