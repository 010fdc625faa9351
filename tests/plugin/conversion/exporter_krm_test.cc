// The XTags file over the stand-in: UTF-16LE bytes written here, the header
// with its path decoded from UTF-8, one block per layout whose elements are
// the host's tags of each story (as `xthost export-tags` writes them) and
// read back to the story; an empty layout; a story past the capture limit.
#include "plugin/conversion/exporter_krm.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host/text_export.h"
#include "platform/win/code_pages.h"
#include "tests/common/files.h"
#include "tests/common/run_command.h"
#include "tests/common/tag_notation.h"
#include "tests/plugin/conversion/side_output_util.h"
#include "tests/plugin/mixer/mixer_host_util.h"

namespace {

std::u16string FromLittleEndian(const std::string& bytes) {
  std::u16string units;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8);
  }
  return units;
}

TEST(WideTextStream, WritesLittleEndianUnitsThroughAFullBuffer) {
  std::ostringstream bytes;
  WideTextStream out(bytes);
  const std::u16string text = u"A\u00E9\u660E" + std::u16string(4093, u'x') + u"\U0001F600";
  out << text;
  // The buffer of 4096 units went out when it was full; the rest waits.
  EXPECT_EQ(bytes.str().size(), 4096u * 2);
  EXPECT_EQ(bytes.str().substr(0, 6), std::string("A\0\xE9\0\x0E\x66", 6));
  ASSERT_TRUE(out.Flush());
  EXPECT_EQ(FromLittleEndian(bytes.str()), text);

  std::ofstream full("/dev/full", std::ios::binary);
  WideTextStream failing(full);
  failing << u"x";
  EXPECT_FALSE(failing.Flush());
  EXPECT_FALSE(failing.good());
}

TEST(ExporterKrm, TheHeaderDecodesThePathFromUtf8AndWidensStrayBytes) {
  const struct {
    std::string path;
    std::u16string units;
  } cases[] = {
      {"/w/Brochure.qxp", u"/w/Brochure.qxp"},
      {"/w/caf\xC3\xA9 \xF0\x9F\x98\x80.qxp", u"/w/caf\u00E9 \U0001F600.qxp"},
      {"/w/\xE9t\xE2\x82.qxp", u"/w/\u00E9t\u00E2\u0082.qxp"},       // Latin-1 bytes, a cut sequence
      {"/w/\xC0\xAF\xED\xA0\x80", u"/w/\u00C0\u00AF\u00ED\u00A0\u0080"},  // overlong, surrogate
  };
  for (const auto& c : cases) {
    std::ostringstream bytes;
    {
      WideTextStream out(bytes);
      WriteKrmHeader(out, c.path);
    }
    EXPECT_EQ(FromLittleEndian(bytes.str()),
              u"\uFEFF<Header>\n<QxpSource>\"" + c.units + u"\"</QxpSource>\n</Header>\n")
        << c.path;
  }
}

struct Element {
  int32_t layout;
  int32_t index;
  std::u16string text;
};

// The blocks of a KRM text after its header: "<KRM>\n", elements, "</KRM>\n".
std::vector<Element> Elements(const std::u16string& text, size_t at, int32_t* blocks) {
  std::vector<Element> out;
  *blocks = 0;
  while (text.compare(at, 6, u"<KRM>\n") == 0) {
    at += 6;
    while (text.compare(at, 6, u"<XTag ") == 0) {
      const size_t close = text.find(u'>', at);
      const int32_t index = std::stoi(std::string(text.begin() + static_cast<long>(at) + 6, text.begin() + static_cast<long>(close)));
      const size_t next = std::min(text.find(u"\n<XTag ", close), text.find(u"\n</KRM>\n", close));
      out.push_back({*blocks, index, text.substr(close + 1, next - close - 1)});
      at = next + 1;
    }
    EXPECT_EQ(text.compare(at, 7, u"</KRM>\n"), 0);
    at += 7;
    ++*blocks;
  }
  EXPECT_EQ(at, text.size());
  return out;
}

TEST(ExporterKrm, EachElementIsTheHostsTagsOfItsStory) {
  MixerHost host;
  static XTRegisterRec record = xthost::MakeRegisterRec();
  XT().registration = &record;
  host.Open("doc_tags.json");
  const std::string path = host.Path("tags.krm");
  std::set<int32_t> ids;
  std::vector<std::vector<int32_t>> stories;  // story ids by layout and index
  {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    WideTextStream out(file);
    WriteKrmHeader(out, host.Path("tags.qxp"));
    side_test::ForEachLayout([&](const RefHandle<QuarkDoc>& document, int32_t) {
      std::unique_ptr<ExporterKrm> exporter = ExporterKrm::Create(document, &out, &ids);
      exporter->WriteFile();
      stories.emplace_back();
      for (XTItem box; (box = exporter->mapper().FindBox(static_cast<int32_t>(stories.back().size()))) != 0;) {
        int32_t story = 0;
        XT().lgk2->item_story(box, &story);
        stories.back().push_back(story);
      }
    });
    EXPECT_TRUE(out.Flush());
  }
  const std::string bytes = testutil::ReadFile(path);
  ASSERT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  int status = -1;
  testutil::RunCommand("iconv -f UTF-16 -t UTF-8 " + testutil::ShellQuote(path) + " >/dev/null", &status, true);
  EXPECT_EQ(status, 0);

  const std::u16string text = FromLittleEndian(bytes);
  const std::u16string header = u"\uFEFF<Header>\n<QxpSource>\"";
  ASSERT_EQ(text.compare(0, header.size(), header), 0);
  int32_t blocks = 0;
  const std::vector<Element> elements = Elements(text, text.find(u"</Header>\n") + 10, &blocks);
  EXPECT_EQ(blocks, 2);
  ASSERT_EQ(stories.size(), 2u);
  ASSERT_EQ(elements.size(), stories[0].size() + stories[1].size());
  std::vector<int32_t> next(2, 0);
  for (const Element& e : elements) {
    // Numbered from 0 in each block.
    EXPECT_EQ(e.index, next.at(static_cast<size_t>(e.layout))++);
    const int32_t id = stories.at(static_cast<size_t>(e.layout)).at(static_cast<size_t>(e.index));
    const std::string tagsPath = host.Path("story.tags");
    ASSERT_TRUE(xthost::RunExportTagsCommand(host.host(), std::to_string(id) + " " + tagsPath));
    const std::string tags = testutil::ReadFile(tagsPath);
    std::u16string decoded;
    ASSERT_TRUE(win::MultiByteToWide(win::kCodePageWestern, tags.data(), tags.size(), decoded));
    EXPECT_EQ(e.text, decoded) << "story " << id;
    EXPECT_EQ(tagtest::Compare(host.content(), *host.content().FindStory(id), tagtest::Read(e.text)), "")
        << "story " << id;
  }
  EXPECT_EQ(next, (std::vector<int32_t>{6, 1}));
}

TEST(ExporterKrm, AnEmptyLayoutIsAnEmptyBlock) {
  MixerHost host;
  static XTRegisterRec record = xthost::MakeRegisterRec();
  XT().registration = &record;
  host.OpenText("empty.json", R"({"format": "xthost document", "version": 1, "layouts": [{"name": "Print"}]})");
  std::ostringstream bytes;
  WideTextStream out(bytes);
  std::set<int32_t> ids;
  EXPECT_EQ(side_test::ForEachLayout([&](const RefHandle<QuarkDoc>& document, int32_t) {
              ExporterKrm::Create(document, &out, &ids)->WriteFile();
            }),
            1);
  EXPECT_TRUE(out.good());
  EXPECT_EQ(FromLittleEndian(bytes.str()), u"<KRM>\n</KRM>\n");
}

TEST(ExporterKrm, AStoryPastTheLimitIsWrittenInPartAndFailsTheExport) {
  MixerHost host;
  static XTRegisterRec record = xthost::MakeRegisterRec();
  XT().registration = &record;
  host.Open("doc_tags.json");
  host.content().FindStory(3)->Insert(0, std::u16string(70000, u'\u0101'));
  std::ostringstream bytes;
  WideTextStream out(bytes);
  std::set<int32_t> ids;
  LogCapture log;
  side_test::ForEachLayout([&](const RefHandle<QuarkDoc>& document, int32_t index) {
    if (index == 0) ExporterKrm::Create(document, &out, &ids)->WriteFile();
  });
  EXPECT_FALSE(out.good());
  EXPECT_NE(log.Text().find("ERROR: XTag export failed - Buffer overflow!"), std::string::npos);
  int32_t blocks = 0;
  const std::vector<Element> elements = Elements(FromLittleEndian(bytes.str()), 0, &blocks);
  EXPECT_EQ(blocks, 1);
  // Every story is there; the long one as the first 31 chunks of its tags.
  bool cut = false;
  for (const Element& e : elements) {
    if (e.text.size() != 31u * 4096) continue;
    cut = true;
    const std::string full = xthost::TagNotation(host.content(), *host.content().FindStory(3), xthost::kTextWindows1252, true);
    EXPECT_EQ(e.text, std::u16string(full.begin(), full.begin() + 31 * 4096));
  }
  EXPECT_TRUE(cut);
  EXPECT_EQ(elements.size(), 6u);
}

}  // namespace
