// The master-page trace at masterPageLogMode 5 (each entry with its box's
// story text), and what the two box notices register and trace when the
// host's records reach them directly.
#include "plugin/mixer/master_trace.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/xt/xt_records.h"
#include "plugin/mixer/box_registries.h"
#include "plugin/mixer/mapper.h"
#include "plugin/mixer/master_class.h"
#include "tests/plugin/mixer/master_host_util.h"

namespace {

const std::string kRule = "\n" + std::string(80, '~') + "\n";

// One entry as mode 5 writes it.
std::string Entry(const std::string& label, XTItem box, const std::string& text) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "%x", static_cast<unsigned>(box));
  return "\n" + label + ": " + hex + kRule + text + kRule;
}

class MasterTrace : public ::testing::Test {
 protected:
  void SetUp() override {
    host_.LoadSettings(5);
    host_.OpenLayouts();
  }
  int32_t Notice(int32_t kind, int32_t source, int32_t box) {
    XTBoxRec record{kind, 0, source == 0 ? 0 : host_.Item(source), host_.Item(box)};
    return kind == kXTBoxPair ? OnBoxPairNotice(&record) : OnLinkedBoxNotice(&record);
  }
  MasterHost host_;
};

TEST_F(MasterTrace, LinkedBoxNoticeRegistersALayoutBoxOnce) {
  LogCapture log;
  EXPECT_EQ(Notice(kXTLinkedBox, 0, 10), 0);
  EXPECT_EQ(Notice(kXTLinkedBox, 0, 10), 0);
  // A master item is no autotext box.
  EXPECT_EQ(Notice(kXTLinkedBox, 0, 1), 0);
  ASSERT_EQ(LinkedBoxRegistry().size(), 1u);
  EXPECT_EQ(LinkedBoxRegistry().begin()->item, host_.Item(10));
  EXPECT_EQ(LinkedBoxRegistry().begin()->record.Spread(), 1);
  const std::string text = "Page \x03 \x01\r";
  EXPECT_EQ(log.Text(), Entry("Register linked layout box as AUTOTEXT BOX", host_.Item(10), text) +
                            Entry("Linked layout box already registered as AUTOTEXT BOX",
                                  host_.Item(10), text));
}

TEST_F(MasterTrace, BoxPairNoticeCollectsTheCopiesOfAMasterBox) {
  LogCapture log;
  // A source that is no master item changes nothing.
  EXPECT_EQ(Notice(kXTBoxPair, 12, 10), 0);
  EXPECT_TRUE(BoxPairRegistry().empty());
  EXPECT_EQ(log.Text(), "");

  Notice(kXTBoxPair, 1, 10);
  Notice(kXTBoxPair, 1, 63);
  Notice(kXTBoxPair, 1, 63);
  ASSERT_EQ(BoxPairRegistry().size(), 1u);
  const ct_MBox& master = BoxPairRegistry().begin()->second;
  EXPECT_EQ(master.box, host_.Item(1));
  EXPECT_EQ(master.masterPage, 1);  // master spread 3
  EXPECT_EQ(master.spreadName, "A-Master");
  ASSERT_EQ(master.users.size(), 2u);
  EXPECT_EQ(master.users.begin()->item, host_.Item(10));
  EXPECT_EQ(master.users.rbegin()->item, host_.Item(63));
  EXPECT_TRUE(LinkedBoxRegistry().empty());

  const std::string source = "Page \x03\r";
  EXPECT_EQ(log.Text(), Entry("SRCBOX 1", host_.Item(1), source) +
                            Entry("DSTBOX 1", host_.Item(10), "Page \x03 \x01\r") +
                            Entry("SRCBOX 0", host_.Item(1), source) +
                            Entry("DSTBOX 0", host_.Item(63), "Page 2 edited") +
                            Entry("SRCBOX 0", host_.Item(1), source) +
                            Entry("DSTBOX 0", host_.Item(63), "Page 2 edited"));
}

TEST_F(MasterTrace, StoryTextsOfBoxes) {
  const struct {
    int32_t id;
    std::string text;
  } cases[] = {
      {25, "\xe4\xb8\x80"},     // U+4E00, whole
      {2, kEmptyStoryText},     // an empty story
      {30, kEmptyStoryText},    // a picture has none
      {11, "Edited copy text"},
  };
  for (const auto& c : cases) EXPECT_EQ(GetBoxStoryText(host_.Item(c.id)), c.text) << c.id;
  EXPECT_EQ(GetBoxStoryText(0), kEmptyStoryText);
  EXPECT_EQ(host_.OpenHandles(), 0u);
}

TEST_F(MasterTrace, NumbersAndTheModeOfTheFirstTrace) {
  LogCapture log;
  LogMasterPageTrace(host_.Item(11), "label", 7);
  // The mode read first holds for the process.
  host_.LoadSettings(0);
  LogMasterPageTrace(ct_Box(host_.Item(11), 0), "other", -1);
  EXPECT_EQ(log.Text(), Entry("label 7", host_.Item(11), "Edited copy text") +
                            Entry("other", host_.Item(11), "Edited copy text"));
}

TEST_F(MasterTrace, ClassesAndStoryIdErrorsAreTraced) {
  Notice(kXTBoxPair, 1, 63);
  Notice(kXTBoxPair, 1, 10);
  LogCapture log;
  EXPECT_EQ(ClassifyBox(host_.Item(63), nullptr), kLayoutBoxLinked);
  // With a story count of 1, boxes 1 and 63 come back only past it: an
  // error for each index, no id; box 10 takes index 1.
  const XTItem order[] = {host_.Item(12), host_.Item(10), host_.Item(1),
                          host_.Item(63), host_.Item(1),  host_.Item(63)};
  AssignBoxStoryIds([&](int32_t i) { return i < 6 ? order[i] : 0; }, 1);
  const ct_MBox& master = BoxPairRegistry().begin()->second;
  EXPECT_EQ(master.id, -1);
  EXPECT_EQ(master.users.find(host_.Item(10))->record.id, 1);
  EXPECT_EQ(master.users.find(host_.Item(63))->record.id, -1);
  const std::string source = "Page \x03\r";
  EXPECT_EQ(log.Text(),
            Entry("Layout box linked to master (NOT autotext)", host_.Item(63), "Page 2 edited") +
                Entry("ERROR: Invalid story ID for master box 2", host_.Item(1), source) +
                Entry("ERROR: Invalid story ID for master box 4", host_.Item(1), source) +
                Entry("ERROR: Invalid story ID for layout box 3", host_.Item(63),
                      "Page 2 edited") +
                Entry("ERROR: Invalid story ID for layout box 5", host_.Item(63),
                      "Page 2 edited"));
}

TEST_F(MasterTrace, AnalysisTracesTheMasterBoxesAndEndsWithTheSummary) {
  LogCapture log;
  Mapper mapper;
  ASSERT_GT(mapper.Analyze(), 0);
  const std::string text = log.Text();
  for (const std::string& entry :
       {Entry("MASTERBOX 1", host_.Item(1), "Page \x03\r"),
        Entry("Register linked layout box as AUTOTEXT BOX", host_.Item(10),
              "#$_@?&#Page \x03 \x01\r"),
        Entry("Linked layout box already registered as AUTOTEXT BOX", host_.Item(10),
              "Page \x03 \x01\r"),
        Entry("MPTEXTBOX 2", host_.Item(2), kEmptyStoryText) +
            Entry("Ignoring empty text box from masterpage 1", host_.Item(2), kEmptyStoryText),
        Entry("MASTERBOX 1", host_.Item(5), "Unused master text")}) {
    EXPECT_NE(text.find(entry), std::string::npos) << entry;
  }
  const std::string golden = FixtureText("masterpage_summary.txt");
  ASSERT_GE(text.size(), golden.size());
  EXPECT_EQ(text.substr(text.size() - golden.size()), golden);
  EXPECT_EQ(host_.StoriesWithProbe(), "");
}

}  // namespace
