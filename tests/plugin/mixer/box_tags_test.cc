// Box tags against the stand-in host: the bytes saved in the document, the
// search in the view shown, clearing, and blocks of the wrong size.
#include "plugin/mixer/box_tags.h"

#include <gtest/gtest.h>

#include <string>

#include "host/document_ops.h"
#include "plugin/mixer/doc_view.h"
#include "tests/common/python.h"
#include "tests/plugin/mixer/mixer_host_util.h"

namespace {

// One layout with a user master: box 1 (text, with `data1` as its item data
// object) on layout spread 1, box 2 a text box of master spread 3, box 3 an
// empty box.
std::string TagDocument(const std::string& data1 = "{}") {
  return R"({"format": "xthost document", "version": 1,
    "layouts": [{"name": "Layout 1", "spreads": [{"pages": [{"master": 3}]}],
                 "masters": [{"name": "A-Master"}]}],
    "boxes": [{"id": 1, "story": 1, "bounds": [36, 36, 300, 300], "data": )" +
         data1 + R"(},
              {"id": 2, "story": 2, "bounds": [36, 36, 300, 100], "master": true, "spread": 3},
              {"id": 3, "bounds": [320, 36, 400, 100]}],
    "stories": [{"id": 1, "text": "Body text", "paragraphs": [[0, 9]], "runs": [[0, 9]]},
                {"id": 2, "text": "Master text", "paragraphs": [[0, 11]], "runs": [[0, 11]]}],
    "currentBox": 1})";
}

// The item data of box `id` in a saved document, read by python3 as
// "key=hex" lines in key order.
std::string SavedData(const std::string& path, int id) {
  return testutil::PythonOutput(
      "import json, sys\n"
      "doc = json.load(open(sys.argv[1]))\n"
      "box = [b for b in doc['boxes'] if b['id'] == int(sys.argv[2])][0]\n"
      "for k, v in sorted(box.get('data', {}).items()): print(k + '=' + v)\n",
      {path, std::to_string(id)});
}

TEST(BoxTags, StoredBigEndianAndReadBack) {
  MixerHost host;
  const int32_t doc = host.OpenText("tags.json", TagDocument());
  const XTItem box = ItemHandle(doc, 1);
  EXPECT_EQ(SetBoxTag16(box, kBoxMarkerTagKey, kBoxMarkerValue), kXTOk);
  EXPECT_EQ(SetBoxTag32(box, kBoxIdTagKey, 258), kXTOk);
  std::string error;
  ASSERT_EQ(xthost::SaveDocument(host.host(), doc, "", &error), kXTOk) << error;
  EXPECT_EQ(SavedData(host.Path("tags.json"), 1), "08414b42=00000102\n09414b42=acac\n");

  int32_t id = -1;
  EXPECT_TRUE(GetBoxId(box, &id));
  EXPECT_EQ(id, 258);
  // A negative id keeps its sign through the bytes.
  EXPECT_EQ(SetBoxTag32(box, kBoxIdTagKey, -2), kXTOk);
  EXPECT_TRUE(GetBoxTag(box, kBoxIdTagKey, &id));
  EXPECT_EQ(id, -2);
  EXPECT_EQ(host.OpenHandles(), 0u);
}

TEST(BoxTags, BoxZeroIsTheCurrentBox) {
  MixerHost host;
  const int32_t doc = host.OpenText("tags.json", TagDocument());
  EXPECT_EQ(SetBoxTag32(0, kBoxIdTagKey, 7), kXTOk);
  int32_t id = -1;
  EXPECT_TRUE(GetBoxId(ItemHandle(doc, 1), &id));
  EXPECT_EQ(id, 7);
}

TEST(BoxTags, OnlyFourByteBlocksAreTags) {
  const struct {
    const char* data;
    bool tagged;
    int32_t id;  // read, or the preset kept
  } cases[] = {
      {R"({"08414b42": "00000102"})", true, 258},
      {R"({"08414b42": "ffffffff"})", true, -1},
      {R"({"08414b42": "7fffffff"})", true, 0x7FFFFFFF},
      {R"({"08414b42": "0102"})", false, 99},
      {R"({"08414b42": "0000010203"})", false, 99},
      {R"({"08414b42": ""})", false, 99},
      {R"({"09414b42": "acac"})", false, 99},
      {"{}", false, 99},
  };
  for (const auto& c : cases) {
    MixerHost host;
    const int32_t doc = host.OpenText("sizes.json", TagDocument(c.data));
    int32_t id = 99;
    EXPECT_EQ(GetBoxId(ItemHandle(doc, 1), &id), c.tagged) << c.data;
    EXPECT_EQ(id, c.id) << c.data;
    EXPECT_EQ(GetBoxTag(ItemHandle(doc, 1), kBoxIdTagKey), c.tagged) << c.data;
    EXPECT_EQ(host.OpenHandles(), 0u) << c.data;
  }
}

TEST(BoxTags, SearchSeesOnlyTheViewShown) {
  MixerHost host;
  const int32_t doc = host.OpenText("tags.json", TagDocument());
  const XTItem layoutBox = ItemHandle(doc, 1);
  const XTItem masterBox = ItemHandle(doc, 2);
  SetBoxTag32(layoutBox, kBoxIdTagKey, 0);
  SetBoxTag32(masterBox, kBoxIdTagKey, 1);
  SetBoxTag16(masterBox, kBoxMarkerTagKey, kBoxMarkerValue);

  EXPECT_EQ(FindBoxByTag32(kBoxIdTagKey, 0), layoutBox);
  EXPECT_EQ(FindBoxByTag32(kBoxIdTagKey, 1), 0);
  EXPECT_EQ(FindBoxByTag16(kBoxMarkerTagKey, kBoxMarkerValue), 0);

  int32_t view = xt_getdocviewref();
  ASSERT_NE(view, 0);
  ASSERT_EQ(xt_viewgotomaster(view, 1), kXTOk);
  EXPECT_EQ(FindBoxByTag32(kBoxIdTagKey, 1), masterBox);
  EXPECT_EQ(FindBoxByTag16(kBoxMarkerTagKey, kBoxMarkerValue), masterBox);
  EXPECT_EQ(FindBoxByTag32(kBoxIdTagKey, 0), 0);

  ASSERT_EQ(xt_viewgotomaster(view, 0), kXTOk);
  EXPECT_EQ(FindBoxByTag32(kBoxIdTagKey, 1), 0);
  EXPECT_EQ(FindBoxByTag32(kBoxIdTagKey, 0), layoutBox);
  EXPECT_EQ(host.OpenHandles(), 0u);
}

TEST(BoxTags, NothingFoundAfterClearing) {
  MixerHost host;
  const int32_t doc = host.OpenText("tags.json", TagDocument());
  const XTItem box = ItemHandle(doc, 1);
  SetBoxTag16(box, kBoxMarkerTagKey, kBoxMarkerValue);
  SetBoxTag32(box, kBoxIdTagKey, 5);
  ASSERT_EQ(FindBoxByTag16(kBoxMarkerTagKey, kBoxMarkerValue), box);

  EXPECT_EQ(ClearBoxTag(box, kBoxIdTagKey), kXTOk);
  EXPECT_EQ(ClearBoxTag(box, kBoxMarkerTagKey), kXTOk);
  int32_t id = -1;
  EXPECT_FALSE(GetBoxId(box, &id));
  EXPECT_EQ(id, -1);
  EXPECT_EQ(FindBoxByTag16(kBoxMarkerTagKey, kBoxMarkerValue), 0);
  EXPECT_EQ(FindBoxByTag32(kBoxIdTagKey, 5), 0);
  std::string error;
  ASSERT_EQ(xthost::SaveDocument(host.host(), doc, "", &error), kXTOk) << error;
  EXPECT_EQ(SavedData(host.Path("tags.json"), 1), "");
}

TEST(BoxTags, SetsTheContentTool) {
  MixerHost host;
  const int32_t doc = host.OpenText("tags.json", TagDocument());
  ASSERT_EQ(XT().lgh2->set_tool_mode(2), kXTOk);
  SetBoxTag32(ItemHandle(doc, 1), kBoxIdTagKey, 3);
  int32_t mode = 0;
  ASSERT_EQ(XT().lgh2->tool_mode(&mode), kXTOk);
  EXPECT_EQ(mode, 1);
}

TEST(BoxTags, HostFailuresLeaveNoBlockBehind) {
  const struct {
    const char* plan;
    bool setFails;
    int32_t id;  // read back after setting 4 over a stored 9
    bool found;  // the search for 4 finds the box
  } cases[] = {
      {"set_item_data:1", true, 9, false},
      {"get_item_data:1", false, -1, true},
      {"find_item_data:1", false, 4, false},
      {"new_handle:1", true, 9, false},
  };
  for (const auto& c : cases) {
    MixerHost host;
    const int32_t doc = host.OpenText("tags.json", TagDocument(R"({"08414b42": "00000009"})"));
    host.Fail(c.plan);
    const XTItem box = ItemHandle(doc, 1);
    EXPECT_EQ(SetBoxTag32(box, kBoxIdTagKey, 4) != kXTOk, c.setFails) << c.plan;
    int32_t id = -1;
    GetBoxId(box, &id);
    EXPECT_EQ(id, c.id) << c.plan;
    EXPECT_EQ(FindBoxByTag32(kBoxIdTagKey, 4) == box, c.found) << c.plan;
    EXPECT_EQ(host.OpenHandles(), 0u) << c.plan;
  }
}

}  // namespace
