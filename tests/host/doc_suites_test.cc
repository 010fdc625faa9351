// The stand-in host's document suites, called as a plug-in calls them:
// text references that go stale, run tables in memory blocks, text
// changes, attributes of the selection, fonts, the current document.
#include <gtest/gtest.h>

#include <cstring>

#include "host/doc_json.h"
#include "host/document_ops.h"
#include "host/linked_host_util.h"
#include "host/suites_docs.h"

namespace xthost {
namespace {

class DocSuites : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(temp_ / "brochure.qxp",
              ReadFile(std::string(BRENIX_TEST_DATA) + "/doc_brochure.json"));
    std::string error;
    ASSERT_EQ(OpenDocumentFile(host(), temp_ / "brochure.qxp", 0, &id_, &error), kXTOk) << error;
    linked_.Clear();
  }
  Host& host() { return linked_.host(); }
  DocumentContent& content() { return *CurrentContent(host()); }
  XTTextRef Ref(int32_t story) {
    XTTextRef ref = 0;
    int32_t length = 0, box = 0, doc = 0;
    EXPECT_EQ(kStoryTextSuite.story_text(story, &ref, &length, &box, &doc), kXTOk);
    return ref;
  }
  std::vector<int32_t> Words(XTHandle handle) {
    uint32_t size = 0;
    void* data = nullptr;
    EXPECT_EQ(kMemorySuite.handle_size(handle, &size), kXTOk);
    EXPECT_EQ(kMemorySuite.handle_data(handle, &data), kXTOk);
    std::vector<int32_t> words(size / 4);
    if (size > 0) std::memcpy(words.data(), data, size / 4 * 4);
    return words;
  }

  TempFolder temp_;
  LinkedHost linked_;
  int32_t id_ = 0;
};

TEST_F(DocSuites, StoryTextGivesOneReferencePerVersionOfTheText) {
  XTTextRef ref = 0;
  int32_t length = 0, box = 0, doc = 0;
  ASSERT_EQ(kStoryTextSuite.story_text(1, &ref, &length, &box, &doc), kXTOk);
  EXPECT_EQ(length, 121);
  EXPECT_EQ(box, BoxHandle(id_, 1));
  EXPECT_EQ(doc, id_);
  EXPECT_EQ(Ref(1), ref);
  EXPECT_EQ(host().docs.text_requests, 2u);
  EXPECT_EQ(kStoryTextSuite.story_text(9, &ref, &length, &box, &doc), kXTErrParam);

  // A change made with the reference keeps it; a change made by the host
  // itself leaves it stale.
  ASSERT_EQ(kStoryTextSuite.insert_text(ref, 0, u">>", 2), kXTOk);
  char16_t units[3] = {};
  ASSERT_EQ(kStoryTextSuite.read_text(ref, 0, 3, units), kXTOk);
  EXPECT_EQ(std::u16string(units, 3), u">>B");
  content().FindStory(1)->Delete(0, 2);
  EXPECT_EQ(kStoryTextSuite.read_text(ref, 0, 3, units), kXTErrStaleText);
  EXPECT_EQ(kStoryTextSuite.delete_text(ref, 0, 1), kXTErrStaleText);
  EXPECT_NE(Ref(1), ref);
  EXPECT_EQ(kStoryTextSuite.read_text(12345, 0, 0, units), kXTErrParam);

  // Closing the document leaves every reference to it stale.
  const XTTextRef fresh = Ref(1);
  ASSERT_TRUE(CloseDocument(host(), id_, "closed"));
  EXPECT_EQ(kStoryTextSuite.read_text(fresh, 0, 1, units), kXTErrStaleText);
  EXPECT_EQ(kStoryTextSuite.story_text(1, &ref, &length, &box, &doc), kXTErrNoDocument);
}

TEST_F(DocSuites, RunTablesFillTheCallersBlock) {
  XTHandle table = 0;
  ASSERT_EQ(kMemorySuite.new_handle(0, &table), kXTOk);
  uint32_t count = 0;
  ASSERT_EQ(kStoryTextSuite.paragraph_runs(Ref(3), table, &count), kXTOk);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(Words(table), (std::vector<int32_t>{0, 11, 0, 0, 0, 11}));
  ASSERT_EQ(kStoryTextSuite.character_runs(Ref(3), table, &count), kXTOk);
  EXPECT_EQ(count, 4u);
  EXPECT_EQ(Words(table), (std::vector<int32_t>{0, 4, 8, 0, 0, 7, 2, 0}));
  EXPECT_EQ(kStoryTextSuite.character_runs(Ref(3), 999, &count), kXTErrParam);
  EXPECT_EQ(kMemorySuite.dispose_handle(table), kXTOk);
  EXPECT_EQ(kMemorySuite.dispose_handle(table), kXTErrParam);
  EXPECT_EQ(host().docs.blocks.size(), 0u);
}

TEST_F(DocSuites, AttributesApplyToTheSelection) {
  // The fixture selects "Brenix" in story 1 (a bold Arial 18 heading).
  XTCharAttrRecord record{};
  ASSERT_EQ(kTextAttributeSuite.selection_attributes(&record), kXTOk);
  EXPECT_EQ(record.font, 5);
  ASSERT_EQ(kStoryTextSuite.set_text_attribute(Ref(1), kXTAttrFont, 3, 0), kXTOk);
  ASSERT_EQ(kStoryTextSuite.set_text_attribute(Ref(1), kXTAttrSize, 10 << 16, 0), kXTOk);
  const Story& story = *content().FindStory(1);
  ASSERT_GE(story.runs.size(), 2u);
  EXPECT_EQ(story.runs[0].length, 6);
  EXPECT_EQ(story.runs[1].length, 10);
  const XTCharAttrRecord& changed = content().attributes[story.runs[0].attributes];
  EXPECT_EQ(changed.font, 3);
  EXPECT_EQ(changed.size, 10 << 16);
  EXPECT_EQ(changed.faces, 1);  // the rest as it was
  EXPECT_EQ(content().flags & 1, 1u);

  // Only the selected story, only known attributes.
  EXPECT_EQ(kStoryTextSuite.set_text_attribute(Ref(3), kXTAttrFont, 3, 0), kXTErrParam);
  EXPECT_EQ(kStoryTextSuite.set_text_attribute(Ref(1), 77, 3, 0), kXTErrParam);
  EXPECT_EQ(kStoryTextSuite.set_text_attribute(Ref(1), kXTAttrSize, 0, 0), kXTErrParam);

  int32_t absolute = 0;
  ASSERT_EQ(kTextAttributeSuite.baseline_shift(12 << 16, 0x8000, &absolute), kXTOk);
  EXPECT_EQ(absolute, 6 << 16);
  ASSERT_EQ(kTextAttributeSuite.baseline_shift(12 << 16, -0x4000, &absolute), kXTOk);
  EXPECT_EQ(absolute, -(3 << 16));
}

TEST_F(DocSuites, RecordsComeWithTheirStyleWords) {
  XTAttrContext context = 0;
  ASSERT_EQ(kTextAttributeSuite.attribute_context(Ref(1), &context), kXTOk);
  XTParaFormatRecord format{};
  uint16_t word = 0;
  ASSERT_EQ(kTextAttributeSuite.paragraph_format(context, 1, &format, &word), kXTOk);
  EXPECT_EQ(word, 2);
  EXPECT_EQ(format.alignment, 1);
  XTCharAttrRecord record{};
  word = 1;  // the paragraph's style, handed in
  ASSERT_EQ(kTextAttributeSuite.character_attributes(context, 0, &record, &word), kXTOk);
  EXPECT_EQ(word, 1);
  ASSERT_EQ(kTextAttributeSuite.character_attributes(context, 2, &record, &word), kXTOk);
  EXPECT_EQ(word, 3);  // the run's own character style
  EXPECT_EQ(kTextAttributeSuite.character_attributes(context, 10, &record, &word), kXTErrParam);
}

TEST_F(DocSuites, FontListsCutNamesToTheBuffer) {
  content().fonts.push_back(Font{40, std::u16string(300, u'x'), 2});
  XTHandle list = 0;
  int32_t owner = 0;
  ASSERT_EQ(kFontSuite.check_fonts(id_), kXTOk);
  ASSERT_EQ(kFontSuite.font_list(id_, &list, &owner), kXTOk);
  EXPECT_EQ(owner, id_);
  uint16_t count = 0;
  void* data = nullptr;
  ASSERT_EQ(kMemorySuite.handle_data(list, &data), kXTOk);
  std::memcpy(&count, data, 2);
  EXPECT_EQ(count, 4);
  char16_t name[255];
  uint16_t font = 0;
  ASSERT_EQ(kFontSuite.font_entry(list, 3, &font, name, 255, 12, 1), kXTOk);
  EXPECT_EQ(font, 9);
  EXPECT_EQ(std::u16string(name), u"MS \u660E\u671D");
  uint16_t script = 0;
  ASSERT_EQ(kFontSuite.font_script(list, 3, &script), kXTOk);
  EXPECT_EQ(script, 126);  // none of its own
  EXPECT_EQ(kFontSuite.font_script(list, 5, &script), kXTErrParam);
  ASSERT_EQ(kFontSuite.font_entry(list, 4, &font, name, 255, 12, 1), kXTOk);
  EXPECT_EQ(std::u16string(name), std::u16string(254, u'x'));
  ASSERT_EQ(kFontSuite.font_script(list, 4, &script), kXTOk);
  EXPECT_EQ(script, 2);
  EXPECT_EQ(kFontSuite.font_entry(list, 5, &font, name, 255, 12, 1), kXTErrParam);
  EXPECT_EQ(kFontSuite.font_entry(list, 1, &font, name, 255, 8, 1), kXTErrParam);
  EXPECT_EQ(kMemorySuite.dispose_handle(list), kXTOk);
}

TEST_F(DocSuites, TheCurrentDocumentAndItsState) {
  int16_t current = 0;
  ASSERT_EQ(kDocumentStateSuite.current_document(&current), kXTOk);
  EXPECT_EQ(current, id_);
  uint8_t answer = 1;
  ASSERT_EQ(kDocumentStateSuite.is_untitled(&answer), kXTOk);
  EXPECT_EQ(answer, 0);
  XTLayout layout = 0;
  ASSERT_EQ(kDocumentStateSuite.current_layout(id_, &layout), kXTOk);
  ASSERT_EQ(kDocumentStateSuite.layout_modified(layout, &answer), kXTOk);
  EXPECT_EQ(answer, 0);
  ASSERT_EQ(kDocumentStateSuite.layout_modified(LayoutHandle(id_, 1), &answer), kXTOk);
  EXPECT_EQ(answer, 1);
  XTFileSpec spec{};
  ASSERT_EQ(kDocumentStateSuite.project_file_spec(id_, &spec), kXTOk);
  EXPECT_STREQ(spec.name, "brochure.qxp");

  // Boxes: the current one, another one made current, its text opened.
  XTBox box = 0;
  ASSERT_EQ(kSelectionSuite.current_box(&box), kXTOk);
  EXPECT_EQ(box, BoxHandle(id_, 1));
  ASSERT_EQ(kSelectionSuite.box_of_story(3, &box), kXTOk);
  ASSERT_EQ(kSelectionSuite.set_current_box(box), kXTOk);
  ASSERT_EQ(kSelectionSuite.text_open(box, &answer), kXTOk);
  EXPECT_EQ(answer, 0);
  ASSERT_EQ(kSelectionSuite.open_text(box), kXTOk);
  ASSERT_EQ(kSelectionSuite.text_open(box, &answer), kXTOk);
  EXPECT_EQ(answer, 1);
  EXPECT_EQ(kSelectionSuite.select_text(box, 0, 12), kXTErrParam);
  ASSERT_EQ(kSelectionSuite.select_text(box, 5, 10), kXTOk);
  EXPECT_EQ(kSelectionSuite.set_current_box(BoxHandle(id_ + 1, 1)), kXTErrParam);

  // A released box goes; the window hands the document back.
  ASSERT_EQ(kSelectionSuite.release_object(BoxHandle(id_, 4), 1), kXTOk);
  EXPECT_EQ(content().FindBox(4), nullptr);
  EXPECT_EQ(kSelectionSuite.release_object(BoxHandle(id_, 4), 1), kXTErrParam);
  int32_t window = 0;
  ASSERT_EQ(kDocumentStateSuite.document_window(&window), kXTOk);
  ASSERT_EQ(kDocumentStateSuite.close_window(window), kXTOk);
  EXPECT_EQ(kDocumentStateSuite.current_document(&current), kXTErrNoDocument);
  EXPECT_EQ(current, -1);
  EXPECT_EQ(linked_.Lines(), (std::vector<std::string>{
                                 "release object " + std::to_string(BoxHandle(id_, 4)) +
                                     " flags 1",
                                 "close document 1 \"brochure.qxp\" window",
                             }));
}

TEST_F(DocSuites, InjectedFailuresDoNothing) {
  host().SetFailPlan([] {
    FailPlan plan;
    std::string error;
    FailPlan::Parse("new_handle:1,delete_text:*", &plan, &error);
    return plan;
  }());
  XTHandle handle = 0;
  EXPECT_EQ(kMemorySuite.new_handle(4, &handle), kXTErrInjected);
  EXPECT_EQ(handle, 0);
  const std::u16string before = content().FindStory(1)->text;
  EXPECT_EQ(kStoryTextSuite.delete_text(Ref(1), 0, 3), kXTErrInjected);
  EXPECT_EQ(content().FindStory(1)->text, before);
}

}  // namespace
}  // namespace xthost
