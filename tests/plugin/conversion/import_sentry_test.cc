// The import box guards over the stand-in host: the plug-in's objects that
// no hidden run accounts for leave the story, other objects stay, the
// selection is reset and the box that was current before is current again.
#include <gtest/gtest.h>

#include <string>

#include "plugin/conversion/import_anchors.h"
#include "plugin/mixer/mapper.h"
#include "tests/plugin/mixer/mixer_host_util.h"

namespace {

// Story 1: text, a stray plug-in object (0x424B4107), an object of another
// code (136), a page number (6), a second stray object (0x424B41A0), an
// object of a code near the plug-in's (0x424C4107) at the end; story 2 in
// box 2, which is current with a selection.
const char kDocument[] = R"({
 "format": "xthost document", "version": 1, "layouts": [{"name": "Print"}],
 "fonts": [{"id": 3, "name": "Times"}],
 "characterAttributes": [{"font": 3}, {"font": 3, "opcode": 1112228103}, {"font": 3, "opcode": 136},
                         {"font": 3, "opcode": 6}, {"font": 3, "opcode": 1112228256},
                         {"font": 3, "opcode": 1112293639}],
 "boxes": [{"id": 1, "story": 1, "bounds": [36, 36, 300, 400]},
           {"id": 2, "story": 2, "bounds": [320, 36, 560, 100]}],
 "stories": [{"id": 1, "text": "ab*cd#ef6gh$%", "paragraphs": [[0, 13]],
              "runs": [[0, 2], [1, 1], [0, 2], [2, 1], [0, 2], [3, 1], [0, 2], [4, 1], [5, 1]]},
             {"id": 2, "text": "other", "paragraphs": [[0, 5]], "runs": [[0, 5]]}],
 "currentBox": 2, "textOpen": true, "selection": [1, 3]
})";

XTBox Current() {
  XTBox box = 0;
  XT().lgh2->current_box(&box);
  return box;
}

TEST(ImpSentry, RemovesStrayObjectsAndPutsTheCurrentBoxBack) {
  MixerHost host;
  const int32_t document = host.OpenText("sentry.qxp", kDocument);
  const XTBox box1 = ItemHandle(document, 1), box2 = ItemHandle(document, 2);
  ASSERT_EQ(Current(), box2);
  Mapper mapper;
  {
    ImpSentry sentry(box1, mapper);
    EXPECT_EQ(Current(), box2);
    EXPECT_EQ(host.content().FindStory(1)->text, u"abcd#ef6gh%");
    EXPECT_EQ(host.content().FindStory(2)->text, u"other");
    XT().lgh2->select_text(box1, 2, 4);
    ASSERT_EQ(Current(), box1);
  }
  // The guard's end left story 1 with nothing selected, and the box that
  // was current then current again.
  EXPECT_EQ(Current(), box1);
  EXPECT_EQ(host.content().selection_start, 0);
  EXPECT_EQ(host.content().selection_end, 0);
  {
    CurrentBoxGuard back(box2);
    MakeBoxCurrent(box1);
    EXPECT_EQ(Current(), box1);
  }
  EXPECT_EQ(Current(), box2);
}

// A box the host cannot name leaves the story and the current box alone.
TEST(ImpSentry, AnUnknownBoxChangesNothing) {
  MixerHost host;
  const int32_t document = host.OpenText("sentry.qxp", kDocument);
  Mapper mapper;
  { ImpSentry sentry(ItemHandle(document, 9), mapper); }
  EXPECT_EQ(host.content().FindStory(1)->text, u"ab*cd#ef6gh$%");
  EXPECT_EQ(Current(), ItemHandle(document, 2));
}

// Plug-in objects that the analysis registered stay: the markers of a
// hidden pair (0x424B4120 opening, 0x424B4140 closing) and a lone object.
TEST(ImpSentry, PluginCodedHiddenPairsTheMapperKnowsStay) {
  MixerHost host;
  const int32_t document = host.OpenText("pair.qxp", R"({
   "format": "xthost document", "version": 1, "layouts": [{"name": "Print"}],
   "fonts": [{"id": 3, "name": "Times"}],
   "characterAttributes": [{"font": 3}, {"font": 3, "opcode": 1112228128}, {"font": 3, "opcode": 1112228160},
                           {"font": 3, "opcode": 1112228103}],
   "boxes": [{"id": 1, "story": 1, "bounds": [36, 36, 300, 400]}],
   "stories": [{"id": 1, "text": "x[h]y*z", "paragraphs": [[0, 7]],
                "runs": [[0, 1], [1, 1], [0, 1], [2, 1], [0, 1], [3, 1], [0, 1]]}]
  })");
  Mapper mapper;
  ASSERT_GT(mapper.Analyze(), 0);
  { ImpSentry sentry(ItemHandle(document, 1), mapper); }
  EXPECT_EQ(host.content().FindStory(1)->text, u"x[h]y*z");
}

}  // namespace
