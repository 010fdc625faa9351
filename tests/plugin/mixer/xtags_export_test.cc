// The XTags export through the in-process stand-in: the text is the host
// filter's tags decoded from Windows-1252; the capture limit, dropped chunks
// and what follows them, a missing filter, a failed export and a failed
// conversion are each reported and leave the text a prefix.
#include "plugin/mixer/xtags_export.h"

#include <gtest/gtest.h>

#include <string>

#include "host/document_ops.h"
#include "host/text_export.h"
#include "platform/win/code_pages.h"
#include "tests/plugin/mixer/mixer_host_util.h"

namespace {

const char kOverflow[] = "ERROR: XTag export failed - Buffer overflow!";

class XTagsExport : public ::testing::Test {
 protected:
  void SetUp() override {
    XT().registration = &record_;  // the filter table is acquired on first use
    host_.Open("doc_tags.json");
  }
  // The host's own tags of `story`, decoded.
  std::u16string HostTags(int32_t story) {
    const std::string bytes =
        xthost::TagNotation(host_.content(), *host_.content().FindStory(story), xthost::kTextWindows1252, true);
    std::u16string text;
    EXPECT_TRUE(win::MultiByteToWide(win::kCodePageWestern, bytes.data(), bytes.size(), text));
    return text;
  }

  XTRegisterRec record_ = xthost::MakeRegisterRec();
  MixerHost host_;
};

TEST_F(XTagsExport, AStoryIsTheFiltersTagsDecoded) {
  LogCapture log;
  for (const int32_t story : {1, 2, 5}) {
    const XTagsText tags = ExportToTag(story);
    EXPECT_TRUE(tags.whole) << story;
    EXPECT_EQ(tags.text, HostTags(story)) << story;
  }
  // The writer is the host's again afterwards.
  EXPECT_EQ(host_.host().export_writer, nullptr);
  EXPECT_EQ(log.Text(), "");
}

TEST_F(XTagsExport, AnEmptyStoryGivesTheEmptyText) {
  host_.content().FindStory(3)->Delete(0, 15);
  const XTagsText tags = ExportToTag(3);
  EXPECT_TRUE(tags.whole);
  EXPECT_EQ(tags.text, u"");
}

TEST_F(XTagsExport, TheCaptureKeepsOnlyWhatFitsBeforeTheFirstDrop) {
  // A story of n 'a's has 17 + n bytes of tags ("<xtags 1 1252><p>" first),
  // which the host hands over in chunks of 4096 bytes.
  struct Case {
    int32_t units;
    size_t kept;
    bool whole;
    const char* why;
  };
  const Case cases[] = {
      {127982, 127999, true, "one byte short of the limit: whole"},
      {127983, 31 * 4096, false, "the last chunk reaches the limit: dropped"},
      {32 * 4096 + 500 - 17, 31 * 4096, false, "a last chunk that would fit after a dropped one is dropped too"},
      {20, 37, true, "the next export starts from an empty buffer"},
  };
  for (const Case& c : cases) {
    xthost::Story& story = *host_.content().FindStory(3);
    story.Delete(0, story.length());
    story.Insert(0, std::u16string(static_cast<size_t>(c.units), u'a'));
    LogCapture log;
    const XTagsText tags = ExportToTag(3);
    EXPECT_EQ(tags.whole, c.whole) << c.why;
    EXPECT_EQ(tags.text.size(), c.kept) << c.why;
    EXPECT_EQ(HostTags(3).compare(0, c.kept, tags.text), 0) << c.why;
    // One line for the drop, however many chunks followed it.
    const std::string text = log.Text();
    EXPECT_EQ(text.find(kOverflow) != std::string::npos, !c.whole) << c.why;
    EXPECT_EQ(text.find(kOverflow), text.rfind(kOverflow)) << c.why;
  }
  // A chunk of 0 bytes (or none) changes nothing and is answered 0.
  const int32_t zero = 0;
  EXPECT_EQ(CaptureExportBytes(nullptr, &zero), 0);
  EXPECT_EQ(CaptureExportBytes(nullptr, nullptr), 0);
  EXPECT_EQ(ExportToTag(2).text, HostTags(2));
}

TEST_F(XTagsExport, EscapedTextPastTheLimitGivesAPrefix) {
  // 70000 units, each written as a six-byte escape "<#101>".
  xthost::Story& story = *host_.content().FindStory(3);
  story.Insert(0, std::u16string(70000, u'\u0101'));
  LogCapture log;
  const XTagsText tags = ExportToTag(3);
  EXPECT_FALSE(tags.whole);
  EXPECT_EQ(tags.text.size(), 31u * 4096);
  EXPECT_EQ(HostTags(3).compare(0, tags.text.size(), tags.text), 0);
  EXPECT_NE(log.Text().find(kOverflow), std::string::npos);
}

TEST_F(XTagsExport, HostFailuresAreReportedAndLeaveNothingOrAPrefix) {
  const struct {
    const char* plan;
    const char* logged;
    bool empty;
  } cases[] = {
      {"first_filter:1", "no export filter \"XPress Tags\"", true},
      {"filter_name:*", "no export filter \"XPress Tags\"", true},
      {"export_story:1", "ERROR: host call export_story failed", true},
      {"set_export_writer:1", "ERROR: host call set_export_writer failed", true},
      {"convert_from_text:1", "", true},
      {"new_converter:1", "", true},
  };
  for (const auto& c : cases) {
    LogCapture log;
    host_.Fail(c.plan);
    const XTagsText tags = ExportToTag(1);
    host_.Fail("");
    EXPECT_FALSE(tags.whole) << c.plan;
    EXPECT_EQ(tags.text.empty(), c.empty) << c.plan;
    EXPECT_NE(log.Text().find(c.logged), std::string::npos) << c.plan << ": " << log.Text();
    EXPECT_EQ(host_.host().export_writer, nullptr) << c.plan;
  }
  // The conversion failure writes the API-failure report in test mode.
  host_.SetTestMode(1);
  LogCapture log;
  host_.Fail("convert_from_text:1");
  EXPECT_EQ(ExportToTag(1).text, u"");
  EXPECT_NE(log.Text().find("API_FAILURE<RETURN_VALUE>:\tMixer["), std::string::npos) << log.Text();
  EXPECT_NE(log.Text().find("ExportToTag()"), std::string::npos);
  host_.SetTestMode(0);
}

}  // namespace
