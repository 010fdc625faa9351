// The content of a host document, and the host-wide state of document
// access: memory blocks, text references and the tool mode.
//
// A document holds its state bytes, a project of layouts, fonts, colours,
// style sheets, the tables of paragraph formats and character attributes
// that its stories index, its boxes and stories, and the current box with
// its selection.  Ids of stories and boxes are the document's own, from 1.
// Everything here is saved in the document's file (host/doc_json.h) except
// the text references, which live as long as the host.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "host/handles.h"
#include "host/story.h"
#include "platform/xt/xt_doc_suites.h"

namespace xthost {

// Four-character codes with the first character in the high byte.
constexpr uint32_t kPrintLayout = 0x5850524E;  // 'XPRN'
constexpr uint32_t kWebLayout = 0x58574542;    // 'XWEB'

struct Layout {
  std::u16string name;
  uint32_t type = kPrintLayout;
  bool modified = false;
};

struct Font {
  uint16_t id = 0;
  std::u16string name;
};

struct Color {
  uint16_t id = 0;
  std::u16string name;
  std::string model = "QRGB";  // the colour model's four characters
  uint32_t value = 0;          // 0xRRGGBB for RGB
};

enum StyleSheetKind : int32_t { kParagraphStyle = 1, kCharacterStyle = 2 };

struct StyleSheet {
  uint16_t id = 0;  // from 1
  int32_t kind = kParagraphStyle;
  std::u16string name;
  int32_t record = 0;  // its paragraph format or character attributes
};

struct Box {
  int32_t id = 0;
  int32_t layout = 0;  // index into the layouts
  int32_t story = 0;   // 0: a box without text
  std::array<int32_t, 4> bounds{};  // left, top, right, bottom, 16.16 points
};

// Whether two records hold the same values (reserved bytes aside).
bool SameAttributes(const XTCharAttrRecord& a, const XTCharAttrRecord& b);
bool SameFormat(const XTParaFormatRecord& a, const XTParaFormatRecord& b);
// A record of the defaults: everything 0 but a size of 12 points.
XTCharAttrRecord DefaultAttributes();

struct DocumentContent {
  // State bytes.
  bool untitled = false;  // never saved to a file of its own
  bool mac = false;       // made on the Mac platform
  uint32_t flags = 0;     // bit 0 text changed, bit 1 layout changed

  std::vector<Layout> layouts;
  int32_t current_layout = 0;
  std::vector<Font> fonts;
  std::vector<Color> colors;
  std::vector<StyleSheet> style_sheets;
  std::vector<XTParaFormatRecord> formats;
  std::vector<XTCharAttrRecord> attributes;
  std::vector<Box> boxes;
  std::vector<Story> stories;

  // The current box (0: none); while its text is open, the selection from
  // selection_start up to selection_end in its story.
  int32_t current_box = 0;
  bool text_open = false;
  int32_t selection_start = 0;
  int32_t selection_end = 0;

  // A document of one empty paragraph format and one default attribute
  // record, nothing else.
  DocumentContent();

  Story* FindStory(int32_t id);
  Box* FindBox(int32_t id);
  // The story of the current box while its text is open, else null.
  Story* SelectedStory();
  // The index of a record equal to `record`, appended when there is none.
  int32_t AttributeIndex(const XTCharAttrRecord& record);
  // Whether the content is whole: unique ids, every index in range, every
  // story well formed, the selection inside its story.  Else false with the
  // reason in *error.
  bool Check(std::string* error) const;
};

// Host-wide state of document access.
class DocumentSpace {
 public:
  // Memory blocks of XTMemorySuite.
  HandleTable<std::vector<uint8_t>> blocks;
  // The application's tool mode (1: content tool).
  int32_t tool_mode = 1;
  // Requests answered, for tests: text references handed out
  // (XTStoryTextSuite::story_text), paragraph formats fetched.
  uint32_t text_requests = 0;
  uint32_t format_requests = 0;
  // Lay-out requests (XTStoryTextSuite::recompose) and window refreshes.
  uint32_t recompose_requests = 0;
  uint32_t refresh_requests = 0;

  // What a text reference names: a story's text at one version.
  struct TextTarget {
    int32_t document = 0;
    int32_t story = 0;
    uint32_t version = 0;
  };
  // The reference of the story's text as it is now (one per version).
  XTTextRef RefOf(int32_t document, const Story& story);
  // What `ref` names; false for a reference never given.
  bool Lookup(XTTextRef ref, TextTarget* target) const;
  // After a change made through `ref`, the reference follows the new text.
  void Follow(XTTextRef ref, const Story& story);

 private:
  std::map<XTTextRef, TextTarget> refs_;
  // The latest reference of each (document, story).
  std::map<std::pair<int32_t, int32_t>, XTTextRef> latest_;
  XTTextRef next_ = 1;
};

}  // namespace xthost
