// The stand-in host's layouts, called as a plug-in calls them: walks over
// spreads and pages, page information, item data and its search, box
// records, text copies with anchored items, and the notifications of master
// boxes, over the layout fixture (tests/data/doc_layouts.json).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "host/compose.h"
#include "host/doc_json.h"
#include "host/document_ops.h"
#include "host/layout_commands.h"
#include "host/linked_host_util.h"
#include "host/suites_docs.h"
#include "tests/common/python.h"

namespace xthost {
namespace {

constexpr uint32_t kIdTag = 0x08414B42;

// A plug-in that records the box notices it gets and asks the host about
// the copy from inside the callback.
struct Notice {
  int32_t kind;
  int32_t source;
  int32_t box;
  int16_t spread;  // the copy's location, asked during the callback
};
std::vector<Notice> notices;

int32_t OnNotice(void* record) {
  const XTBoxRec& r = *static_cast<XTBoxRec*>(record);
  XTItemLocation location{};
  const int32_t result = kLayoutSuite.item_location(r.box, 0, &location);
  notices.push_back({r.kind, r.source, r.box,
                     static_cast<int16_t>(result == kXTOk ? location.spread_low : -1)});
  return 0;
}

int32_t RegisterNotices(XTRegisterRec* record) {
  record->register_callback(kXTBoxPair, OnNotice, 5, 200, 0);
  record->register_callback(kXTLinkedBox, OnNotice, 5, 200, 0);
  return 0;
}

int32_t ActivateNotices(XTActivateRec* record) {
  record->handshake(kXTProductCode, 0, kXTApiVersion, 0, 0);
  return record->register_module(RegisterNotices, 5, 200, 0);
}

class Layouts : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(temp_ / "layouts.qxp",
              ReadFile(std::string(BRENIX_TEST_DATA) + "/doc_layouts.json"));
    std::string error;
    ASSERT_EQ(OpenDocumentFile(host(), temp_ / "layouts.qxp", 0, &id_, &error), kXTOk) << error;
    notices.clear();
  }
  Host& host() { return linked_.host(); }
  DocumentContent& content() { return *CurrentContent(host()); }
  XTItem Item(int32_t id) { return BoxHandle(id_, id); }
  XTHandle Block(const std::vector<uint8_t>& bytes) {
    XTHandle handle = 0;
    EXPECT_EQ(kMemorySuite.new_handle(static_cast<uint32_t>(bytes.size()), &handle), kXTOk);
    void* data = nullptr;
    kMemorySuite.handle_data(handle, &data);
    if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
    return handle;
  }
  std::vector<uint8_t> Bytes(XTHandle handle) {
    uint32_t size = 0;
    void* data = nullptr;
    kMemorySuite.handle_size(handle, &size);
    kMemorySuite.handle_data(handle, &data);
    const auto* bytes = static_cast<const uint8_t*>(data);
    std::vector<uint8_t> copy(bytes, bytes + size);
    kMemorySuite.dispose_handle(handle);
    return copy;
  }
  // Item ids of a walk over spread `spread` of the view.
  std::vector<int32_t> Walk(int32_t spread) {
    std::vector<int32_t> ids;
    XTItem item = 0;
    for (int32_t result = kLayoutSuite.first_item(spread, &item); result == kXTOk;
         result = kLayoutSuite.next_item(item, &item)) {
      ids.push_back(item & 0xFFFF);
    }
    return ids;
  }
  // The id of the first item the search finds with `bytes` under the id tag.
  int32_t Find(const std::vector<uint8_t>& bytes) {
    XTHandle block = Block(bytes);
    XTItem item = 0;
    kItemDataSuite.find_item_data(kIdTag, block, &item);
    kMemorySuite.dispose_handle(block);
    return item & 0xFFFF;
  }
  void SetTag(int32_t id, const std::vector<uint8_t>& bytes) {
    XTHandle block = Block(bytes);
    ASSERT_EQ(kItemDataSuite.set_item_data(Item(id), kIdTag, block), kXTOk);
    kMemorySuite.dispose_handle(block);
  }

  TempFolder temp_;
  LinkedHost linked_;
  int32_t id_ = 0;
};

TEST_F(Layouts, SavedAndReopenedTheSame) {
  const std::vector<std::string> layout = DescribeLayout(content(), id_);
  const std::vector<std::string> stories = DescribeStories(content());
  std::string error;
  ASSERT_EQ(SaveDocument(host(), id_, temp_ / "again.qxp", &error), kXTOk) << error;
  int32_t again = 0;
  ASSERT_EQ(OpenDocumentFile(host(), temp_ / "again.qxp", 0, &again, &error), kXTOk) << error;
  // Item handles carry the document id: compare the layout lines by item id.
  std::vector<std::string> reopened = DescribeLayout(*CurrentContent(host()), id_);
  EXPECT_EQ(reopened, layout);
  EXPECT_EQ(DescribeStories(*CurrentContent(host())), stories);
  EXPECT_EQ(FormatDocument(*CurrentContent(host())), ReadFile(temp_ / "again.qxp"));
}

TEST_F(Layouts, WalksSpreadsOfTheView) {
  int16_t count = 0;
  ASSERT_EQ(kLayoutSuite.spread_count(&count), kXTOk);
  EXPECT_EQ(count, 3);
  // File order, rearmost first; a group before its members; anchored items
  // (30, 32-36, 40) never.
  EXPECT_EQ(Walk(1), (std::vector<int32_t>{10, 11, 12, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24,
                                           25, 26, 27}));
  EXPECT_EQ(Walk(2), (std::vector<int32_t>{13, 14, 60, 61, 62, 63}));
  int32_t view = 0;
  ASSERT_EQ(kLayoutSuite.view_of(id_, &view), kXTOk);
  EXPECT_EQ(kLayoutSuite.show_view(view, 3), kXTErrParam);  // no master spread 5
  ASSERT_EQ(kLayoutSuite.show_view(view, 1), kXTOk);
  ASSERT_EQ(kLayoutSuite.spread_count(&count), kXTOk);
  EXPECT_EQ(count, 4);
  EXPECT_EQ(Walk(1), std::vector<int32_t>{});
  EXPECT_EQ(Walk(3), (std::vector<int32_t>{1, 2, 3}));
  EXPECT_EQ(Walk(4), (std::vector<int32_t>{5}));
  uint8_t answer = 0;
  for (int32_t spread : {1, 2}) {
    ASSERT_EQ(kLayoutSuite.is_master_spread(spread, 0, &answer), kXTOk);
    EXPECT_EQ(answer, 0) << spread;
  }
  ASSERT_EQ(kLayoutSuite.is_master_spread(3, 0, &answer), kXTOk);
  EXPECT_EQ(answer, 1);
  // Items of a master spread pass the item test, and so do items anchored
  // in their stories; layout items do not, not even copies.
  for (const auto& [id, master] : std::vector<std::pair<int32_t, int>>{
           {1, 1}, {36, 1}, {30, 1}, {10, 0}, {35, 0}, {33, 0}}) {
    ASSERT_EQ(kLayoutSuite.is_master_item(Item(id), 0, &answer), kXTOk);
    EXPECT_EQ(answer, master) << id;
  }
}

TEST_F(Layouts, PageInformationOfItems) {
  // Hand-computed from the fixture: pages 612 points wide side by side,
  // an item on the page under its centre; anchored items where their run
  // is shown; user master pages numbered by their spread.
  struct Case {
    int32_t id;
    XTPageInfo info;
  } cases[] = {
      {12, {1, 0, 0, 1, 0}},   {13, {2, 0, 0, 2, 0}},     {14, {2, 0, 1, 3, 0}},
      {17, {1, -1, 0, 2001, 0}}, {61, {2, 0, 0, 2, 0}},   {35, {1, 0, 0, 1, 0}},
      {33, {1, 0, 0, 1, 0}},   {1, {3, 0, 0, 3, 0}},      {36, {3, 0, 0, 3, 0}},
      {71, {3, 0, 0, 4, 0}},
  };
  for (const Case& c : cases) {
    XTPageInfo info{};
    ASSERT_EQ(kLayoutSuite.page_info(Item(c.id), &info), kXTOk) << c.id;
    EXPECT_EQ(std::vector<int16_t>({info.spread, info.side, info.page, info.page_number,
                                    info.reserved}),
              std::vector<int16_t>({c.info.spread, c.info.side, c.info.page,
                                    c.info.page_number, c.info.reserved}))
        << c.id;
  }
  // Host pages: masters 1..4, then the layout pages 5..8.
  XTPageRef page = 0;
  int32_t master = 0;
  ASSERT_EQ(kLayoutSuite.page_reference(7, &page), kXTOk);
  ASSERT_EQ(kLayoutSuite.page_master(page, &master), kXTOk);
  EXPECT_EQ(master, 3);
  ASSERT_EQ(kLayoutSuite.page_reference(8, &page), kXTOk);
  ASSERT_EQ(kLayoutSuite.page_master(page, &master), kXTOk);
  EXPECT_EQ(master, 1);
  EXPECT_EQ(kLayoutSuite.page_reference(9, &page), kXTErrParam);
  XTHandle numbers = Block({});
  uint32_t count = 0;
  ASSERT_EQ(kLayoutSuite.spread_page_numbers(2, numbers, &count), kXTOk);
  const std::vector<uint8_t> bytes = Bytes(numbers);
  ASSERT_EQ(count, 2u);
  int16_t pair[2];
  std::memcpy(pair, bytes.data(), 4);
  EXPECT_EQ(pair[0], 2);
  EXPECT_EQ(pair[1], 3);
}

TEST_F(Layouts, ItemDataIsSavedAndSearchedInTheView) {
  SetTag(12, {0x00, 0x00, 0x01, 0x02});
  SetTag(1, {0x00, 0x00, 0x00, 0x07});
  SetTag(36, {0x00, 0x00, 0x00, 0x08});
  EXPECT_EQ(Find({0x00, 0x00, 0x01, 0x02}), 12);
  // Master items only while the view shows the master spreads.
  EXPECT_EQ(Find({0x00, 0x00, 0x00, 0x07}), 0);
  int32_t view = 0;
  kLayoutSuite.view_of(id_, &view);
  ASSERT_EQ(kLayoutSuite.show_view(view, 1), kXTOk);
  EXPECT_EQ(Find({0x00, 0x00, 0x00, 0x07}), 1);
  EXPECT_EQ(Find({0x00, 0x00, 0x00, 0x08}), 36);  // anchored in a master box
  EXPECT_EQ(Find({0x00, 0x00, 0x01, 0x02}), 0);
  ASSERT_EQ(kLayoutSuite.show_view(view, 0), kXTOk);
  // Exact bytes only: a 2-byte block is another value.
  EXPECT_EQ(Find({0x01, 0x02}), 0);
  // The search follows changed values, and items that come and go.
  SetTag(12, {0x00, 0x00, 0x00, 0x09});
  EXPECT_EQ(Find({0x00, 0x00, 0x01, 0x02}), 0);
  EXPECT_EQ(Find({0x00, 0x00, 0x00, 0x09}), 12);
  SetTag(11, {0x00, 0x00, 0x00, 0x09});
  EXPECT_EQ(Find({0x00, 0x00, 0x00, 0x09}), 11);  // stacked behind 12
  ASSERT_EQ(kLayoutSuite.delete_item(Item(11)), kXTOk);
  EXPECT_EQ(Find({0x00, 0x00, 0x00, 0x09}), 12);
  SetTag(12, {0x00, 0x00, 0x01, 0x02});

  std::string error;
  ASSERT_EQ(SaveDocument(host(), id_, "", &error), kXTOk) << error;
  const std::string program =
      "import json, sys\n"
      "doc = json.load(open(sys.argv[1]))\n"
      "for box in doc['boxes']:\n"
      "    tag = box.get('data', {}).get('08414b42')\n"
      "    if tag: print(box['id'], int.from_bytes(bytes.fromhex(tag), 'big', signed=True))\n";
  EXPECT_EQ(testutil::PythonOutput(program, {temp_ / "layouts.qxp"}), "1 7\n36 8\n12 258\n");

  // Cleared: nothing to find, nothing saved.
  ASSERT_EQ(kItemDataSuite.set_item_data(Item(12), kIdTag, 0), kXTOk);
  XTHandle data = 0;
  EXPECT_EQ(kItemDataSuite.get_item_data(Item(12), kIdTag, &data), kXTErrNotFound);
  EXPECT_EQ(Find({0x00, 0x00, 0x01, 0x02}), 0);
}

TEST_F(Layouts, BoxRecordsRoundTripAndRefuseWhatCannotBe) {
  XTHandle record = 0;
  ASSERT_EQ(kLayoutSuite.box_record(Item(16), &record), kXTOk);
  std::vector<uint8_t> bytes = Bytes(record);
  XTBoxRecord r;
  std::memcpy(&r, bytes.data(), sizeof r);
  EXPECT_EQ(std::vector<int32_t>(r.bounds, r.bounds + 4),
            (std::vector<int32_t>{100 << 16, 320 << 16, 300 << 16, 560 << 16}));
  // Turned a quarter: 240 wide and 200 high becomes 200 wide and 240 high.
  EXPECT_EQ(std::vector<int32_t>(r.enclosing, r.enclosing + 4),
            (std::vector<int32_t>{80 << 16, 340 << 16, 320 << 16, 540 << 16}));
  EXPECT_EQ(r.rotation, 90 << 16);

  int16_t constraint = 0;
  std::swap(r.bounds[1], r.bounds[3]);  // right left of left
  record = Block(std::vector<uint8_t>(reinterpret_cast<uint8_t*>(&r),
                                      reinterpret_cast<uint8_t*>(&r) + sizeof r));
  EXPECT_EQ(kLayoutSuite.store_box_record(record, Item(16), 0, 1, &constraint),
            kXTErrConstraint);
  EXPECT_EQ(constraint, 2);
  kMemorySuite.dispose_handle(record);
  std::swap(r.bounds[1], r.bounds[3]);
  r.bounds[2] += 50 << 16;
  record = Block(std::vector<uint8_t>(reinterpret_cast<uint8_t*>(&r),
                                      reinterpret_cast<uint8_t*>(&r) + sizeof r));
  ASSERT_EQ(kLayoutSuite.store_box_record(record, Item(16), 0, 1, &constraint), kXTOk);
  kMemorySuite.dispose_handle(record);
  EXPECT_EQ(content().FindBox(16)->bounds[3], 350 << 16);
  EXPECT_EQ(host().docs.blocks.size(), 0u);
}

TEST_F(Layouts, LineTablesFollowStoredRecords) {
  // The chain 12-13-14 overflows: the last box holds the overset lines and
  // the mark; a taller last box stored through its record takes them all.
  auto lines = [&](int32_t id) {
    XTHandle table = Block({});
    uint32_t count = 0;
    EXPECT_EQ(kLayoutSuite.line_table(Item(id), table, &count), kXTOk);
    const std::vector<uint8_t> bytes = Bytes(table);
    std::vector<XTLineRecord> records(count);
    if (count > 0) std::memcpy(records.data(), bytes.data(), count * sizeof(XTLineRecord));
    return records;
  };
  std::vector<XTLineRecord> last = lines(14);
  ASSERT_FALSE(last.empty());
  EXPECT_EQ(last.back().overflow, kXTOverflowMark);
  EXPECT_GE(last.back().vertical, kXTOversetLine);
  ASSERT_EQ(host().ui().SetPreference(kXTPrefOverflowMark, 0), kXTOk);  // the table unmarked, the kept lines not
  EXPECT_EQ(lines(14).back().overflow, 0);
  ASSERT_EQ(host().ui().SetPreference(kXTPrefOverflowMark, 1), kXTOk);
  EXPECT_EQ(lines(14).back().overflow, kXTOverflowMark);
  EXPECT_NE(lines(12).back().overflow, kXTOverflowMark);
  const int32_t story_end = content().FindStory(12)->length();

  XTHandle record = 0;
  ASSERT_EQ(kLayoutSuite.box_record(Item(14), &record), kXTOk);
  void* data = nullptr;
  kMemorySuite.handle_data(record, &data);
  static_cast<XTBoxRecord*>(data)->bounds[2] = 2000 << 16;  // bottom
  int16_t constraint = -1;
  ASSERT_EQ(kLayoutSuite.store_box_record(record, Item(14), 0, 1, &constraint), kXTOk);
  kMemorySuite.dispose_handle(record);
  last = lines(14);
  ASSERT_FALSE(last.empty());
  EXPECT_EQ(last.back().overflow, 0);
  EXPECT_LT(last.back().vertical, kXTOversetLine);
  EXPECT_EQ(last.back().offset + last.back().length, story_end);
}

TEST_F(Layouts, TextGeometryQueries) {
  // The line showing a unit: in the chain's first box, its second box, and
  // (overset) its last box.
  auto line_of = [&](int32_t position, int32_t* line) {
    XTHandle table = Block({});
    XTItem box = 0;
    *line = position;
    EXPECT_EQ(kLayoutSuite.line_query(12, line, table, &box), kXTOk) << position;
    const std::vector<uint8_t> bytes = Bytes(table);
    std::vector<XTLineRecord> records(bytes.size() / sizeof(XTLineRecord));
    std::memcpy(records.data(), bytes.data(), records.size() * sizeof(XTLineRecord));
    const XTLineRecord& found = records.at(static_cast<std::size_t>(*line));
    EXPECT_LE(found.offset, position);
    EXPECT_LE(position, found.offset + found.length);
    return box & 0xFFFF;
  };
  int32_t line = 0;
  EXPECT_EQ(line_of(0, &line), 12);
  EXPECT_EQ(line, 0);
  XTHandle table = Block({});
  uint32_t count = 0;
  kLayoutSuite.line_table(Item(12), table, &count);
  kMemorySuite.dispose_handle(table);
  const int32_t length = content().FindStory(12)->length();
  // The first unit past the first box lies in the second one.
  int32_t first_of_second = 0;
  {
    std::vector<XTLineRecord> lines = BoxLines(content(), 13);
    ASSERT_FALSE(lines.empty());
    first_of_second = lines.front().offset;
  }
  EXPECT_EQ(line_of(first_of_second, &line), 13);
  EXPECT_EQ(line, 0);
  EXPECT_EQ(line_of(length, &line), 14);  // overset: the chain's last box

  // Measures as the document shows them.
  auto shown = [&](int32_t value) {
    XTString text = 0;
    EXPECT_EQ(kLayoutSuite.format_measure(value, 100, &text), kXTOk);
    const std::u16string units = *host().strings.Find(text);
    host().strings.Remove(text);
    return std::string(units.begin(), units.end());
  };
  EXPECT_EQ(shown(36 << 16), "36.00");
  content().unit = "mm";
  content().decimal_comma = true;
  EXPECT_EQ(shown(72 << 16), "25,40");
  content().unit = "in";
  EXPECT_EQ(shown(-(10 << 16)), "-0,14");

  // Paragraph style and attributes at a position.
  XTParaFormatRecord format{};
  format.style = 7;
  format.leading = 14 << 16;
  format.space_before = 3 << 16;
  content().formats.push_back(format);
  content().style_sheets.push_back(StyleSheet{5, kParagraphStyle, u"Body", 0});
  content().style_sheets.push_back(StyleSheet{7, kParagraphStyle, u"Lead", 1});
  content().FindStory(15)->paragraphs[0].format = 1;
  int32_t value = 0;
  ASSERT_EQ(kLayoutSuite.paragraph_style_index(15, 0, 3, &value), kXTOk);
  EXPECT_EQ(value, 2);
  ASSERT_EQ(kLayoutSuite.text_attribute_at(15, 2, kXTParaLeading, &value), kXTOk);
  EXPECT_EQ(value, 14 << 16);
  ASSERT_EQ(kLayoutSuite.text_attribute_at(15, 2, kXTParaSpaceBefore, &value), kXTOk);
  EXPECT_EQ(value, 3 << 16);
  ASSERT_EQ(kLayoutSuite.text_attribute_at(15, 2, kXTAttrSize, &value), kXTOk);
  EXPECT_EQ(value, 12 << 16);
  EXPECT_EQ(kLayoutSuite.text_attribute_at(15, 2, 0x20, &value), kXTErrParam);
}

TEST_F(Layouts, CopiedTextKeepsAttributesAndAnchoredItems) {
  // Story 16 holds an anchored group of a text box and a picture.
  const int32_t items = static_cast<int32_t>(content().boxes.size());
  const int32_t length = content().FindStory(16)->length();
  ASSERT_EQ(kStoryTextSuite.copy_story_text(16, 0, length, 22, -1), kXTOk);
  const Story& copy = *content().FindStory(22);
  EXPECT_EQ(copy.text, content().FindStory(16)->text);
  EXPECT_EQ(static_cast<int32_t>(content().boxes.size()), items + 3);  // group, text box, picture
  const int32_t group = content().boxes[static_cast<std::size_t>(items)].id;
  EXPECT_EQ(content().FindBox(group)->kind, kGroupItem);
  EXPECT_EQ(content().FindBox(group)->anchor, 22);
  const Box& member = content().boxes[static_cast<std::size_t>(items + 1)];
  EXPECT_EQ(member.group, group);
  EXPECT_EQ(content().FindStory(member.story)->text, u"Anchored group text");
  for (int32_t i = 0; i < length; ++i) {
    XTCharAttrRecord a = content().attributes[static_cast<std::size_t>(copy.AttributesAt(i))];
    XTCharAttrRecord b = content().attributes[static_cast<std::size_t>(
        content().FindStory(16)->AttributesAt(i))];
    if (a.opcode == kXTOpAnchoredBox) {
      EXPECT_EQ(a.object, group);
      a.object = b.object;
    }
    EXPECT_TRUE(SameAttributes(a, b)) << i;
  }
  std::string error;
  EXPECT_TRUE(content().Check(&error)) << error;

  // Deleting the anchored unit removes the group, its members and the
  // member's story.
  XTTextRef ref = 0;
  int32_t ignored = 0;
  ASSERT_EQ(kStoryTextSuite.story_text(22, &ref, &ignored, &ignored, &ignored), kXTOk);
  ASSERT_EQ(kStoryTextSuite.delete_text(ref, 13, 14), kXTOk);
  EXPECT_EQ(static_cast<int32_t>(content().boxes.size()), items);
  EXPECT_EQ(content().FindStory(member.story), nullptr);
  EXPECT_TRUE(content().Check(&error)) << error;
}

// Text changes that add or remove items and stories while the host still
// looks at one of them: a copy whose anchored group must grow full vectors,
// and a deletion that removes an anchored box's story stored before the
// story being changed.
TEST_F(Layouts, TextChangesThatMoveItemsAndStoriesKeepTheirOwnStory) {
  struct Case {
    const char* what;
    bool copy;
  };
  for (const Case& c : {Case{"copy into full vectors", true}, Case{"delete before a moved story", false}}) {
    SCOPED_TRACE(c.what);
    linked_.Clear();
    DocumentContent& doc = content();
    const std::size_t items = doc.boxes.size();
    int32_t story = 16;
    if (c.copy) {
      doc.boxes.shrink_to_fit();
      doc.stories.shrink_to_fit();
      ASSERT_EQ(kStoryTextSuite.copy_story_text(16, 0, doc.FindStory(16)->length(), 22, -1), kXTOk);
      ASSERT_EQ(doc.boxes.size(), items + 3);
      EXPECT_EQ(doc.boxes[items].anchor, 22);
      EXPECT_EQ(doc.FindStory(doc.boxes[items + 1].story)->text, u"Anchored group text");
      story = 22;
    } else {
      // Story 16 right behind story 33 of the anchored box: removing 33
      // moves 16 and the story after it.
      const auto of = [&doc](int32_t id) {
        return std::find_if(doc.stories.begin(), doc.stories.end(), [id](const Story& s) { return s.id == id; });
      };
      std::rotate(of(16), of(16) + 1, of(33) + 1);
      ASSERT_EQ((of(33) + 1)->id, 16);
      const int32_t length = doc.FindStory(16)->length();
      XTTextRef ref = 0;
      int32_t ignored = 0;
      ASSERT_EQ(kStoryTextSuite.story_text(story, &ref, &ignored, &ignored, &ignored), kXTOk);
      ASSERT_EQ(kStoryTextSuite.delete_text(ref, 13, 14), kXTOk);
      EXPECT_EQ(doc.FindStory(33), nullptr);
      EXPECT_EQ(doc.FindStory(16)->length(), length - 1);
      EXPECT_NE(linked_.Transcript().find("delete text 16 13 14"), std::string::npos) << linked_.Transcript();
    }
    std::string error;
    EXPECT_TRUE(doc.Check(&error)) << error;
  }
}

TEST_F(Layouts, MasterBoxesNotifyTheirCopiesInsideTheChange) {
  host().StartLinked("notices", ActivateNotices);
  ASSERT_TRUE(RunLayoutCommand(host(), "type", "1 0 X"));
  // In document order: the following copy 10 with its 106, then the edited
  // copy 63; the callback's own host call answered.
  ASSERT_EQ(notices.size(), 3u);
  EXPECT_EQ(notices[0].kind, kXTBoxPair);
  EXPECT_EQ(notices[0].source, Item(1));
  EXPECT_EQ(notices[0].box, Item(10));
  EXPECT_EQ(notices[0].spread, 1);
  EXPECT_EQ(notices[1].kind, kXTLinkedBox);
  EXPECT_EQ(notices[1].box, Item(10));
  EXPECT_EQ(notices[2].kind, kXTBoxPair);
  EXPECT_EQ(notices[2].box, Item(63));
  EXPECT_EQ(notices[2].spread, 2);
  EXPECT_EQ(content().FindStory(1)->text.substr(0, 6), u"XPage ");
  EXPECT_EQ(content().FindStory(10)->text.substr(0, 6), u"XPage ");
  EXPECT_EQ(content().FindStory(63)->text, u"Page 2 edited");
  // The following copy's own anchored box keeps its item data.
  EXPECT_EQ(content().FindBox(40)->anchor, 10);
  EXPECT_EQ(content().FindBox(40)->data.at(0x12345678), (std::vector<uint8_t>{0xca, 0xfe}));

  // Text typed right after an anchored item's unit is plain text.
  const int32_t after = static_cast<int32_t>(content().FindStory(10)->text.find(u'\u0001')) + 1;
  ASSERT_TRUE(RunLayoutCommand(host(), "type", "3 0 -"));  // no copies: nothing sent
  EXPECT_EQ(notices.size(), 3u);
  ASSERT_TRUE(RunLayoutCommand(host(), "type", "10 " + std::to_string(after) + " !"));
  EXPECT_EQ(content().attributes[static_cast<std::size_t>(
                                     content().FindStory(10)->AttributesAt(after))]
                .opcode,
            0u);
  std::string error;
  EXPECT_TRUE(content().Check(&error)) << error;

  // Typing into the copy itself ends its following.
  notices.clear();
  ASSERT_TRUE(RunLayoutCommand(host(), "type", "10 0 Y"));
  EXPECT_FALSE(content().FindBox(10)->follows);
  ASSERT_TRUE(RunLayoutCommand(host(), "type", "1 0 Z"));
  ASSERT_EQ(notices.size(), 2u);
  EXPECT_EQ(notices[0].kind, kXTBoxPair);
  EXPECT_EQ(notices[1].kind, kXTBoxPair);
  EXPECT_EQ(content().FindStory(10)->text.substr(0, 7), u"YXPage ");
  EXPECT_EQ(content().FindStory(63)->text, u"Page 2 edited");
  // It stopped once, at the first edit of its own.
  const std::string transcript = linked_.Transcript();
  const std::size_t stopped = transcript.find("box 10 follows no more");
  ASSERT_NE(stopped, std::string::npos) << transcript;
  EXPECT_EQ(transcript.find("box 10 follows no more", stopped + 1), std::string::npos) << transcript;
}

}  // namespace
}  // namespace xthost
