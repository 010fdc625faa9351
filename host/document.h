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
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "host/handles.h"
#include "host/story.h"
#include "platform/xt/xt_doc_suites.h"

namespace xthost {

// Four-character codes with the first character in the high byte.
constexpr uint32_t kPrintLayout = 0x5850524E;  // 'XPRN'
constexpr uint32_t kWebLayout = 0x58574542;    // 'XWEB'

// Item data: bytes kept under 32-bit keys on items, pages and documents.
using ItemData = std::map<uint32_t, std::vector<uint8_t>>;

// Page sizes when a file gives none: US Letter.
constexpr int32_t kDefaultPageWidth = 612 << 16;
constexpr int32_t kDefaultPageHeight = 792 << 16;

struct Page {
  int32_t width = kDefaultPageWidth;    // 16.16 points
  int32_t height = kDefaultPageHeight;  // 16.16 points
  int32_t master = 1;  // the master spread it is based on (1, 2 or a user master)
  ItemData data;
};

// Pages of a spread lie side by side, the first one's top left corner at
// the spread's origin; item bounds are spread coordinates.  A spread's pages
// are fixed once the document is loaded: the page numbers are counted once
// per spreads vector (host/layout_walk.cc).
struct Spread {
  std::vector<Page> pages;
};

// Master spreads 1 and 2 always exist and are not stored; user masters
// (spreads 3 and up) are one named page each.
struct MasterSpread {
  std::u16string name;
  Page page;
};

struct Layout {
  std::u16string name;
  uint32_t type = kPrintLayout;
  bool modified = false;
  std::vector<Spread> spreads;        // layout spreads 1..N
  std::vector<MasterSpread> masters;  // user master spreads 3..M
  // The view: 0 the layout spreads, k >= 1 the master spreads with master
  // spread k + 2 in front.
  int32_t view = 0;

  // Master spreads in all, the two built-in ones included.
  int32_t MasterCount() const { return static_cast<int32_t>(masters.size()) + 2; }
  int32_t PageCount() const;
  // The page of master spread `s` (1..M); built-in ones share a blank page.
  const Page& MasterPage(int32_t s) const;
  Page* MutableMasterPage(int32_t s);
};

struct Layer {
  int32_t id = 0;
  std::u16string name;
  bool visible = true;
  bool locked = false;
};

// Fonts are listed under script 126 unless the document names the
// font's own script (0 to 31).
constexpr uint16_t kAnyScript = 126;

struct Font {
  uint16_t id = 0;
  std::u16string name;
  uint16_t script = kAnyScript;
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

enum ItemKind : int32_t {
  kTextItem = 0,
  kPictureItem = 1,
  kEmptyItem = 2,
  kLineItem = 3,
  kGroupItem = 4,
};

// Shape types of an item.
enum ItemShape : uint8_t {
  kShapeRectangle = 5,
  kShapeOval = 9,
  kShapePolygon = 10,  // 10 to 12 are drawn by their polygon
  kShapeSpline = 11,
  kShapeUser = 12,
};

// Text area inset when a file gives none: 1 point.
constexpr int32_t kDefaultInset = 1 << 16;

// Item ids are 15-bit: the host's handles keep the document id in the high
// half and use the low half's top bit for pages.
constexpr int32_t kMaxItemId = 0x7FFF;

// An item of a layout: a box, a line or a group.  It lies on a spread
// (`spread` of the layout spreads, or of the master spreads when `master`),
// or it is anchored in a story (`anchor`: held by one opcode-1 run whose
// object is the item's id).  Items of one spread stack in file order, the
// first one rearmost.
struct Box {
  int32_t id = 0;
  int32_t layout = 0;  // index into the layouts
  int32_t story = 0;   // text boxes: the story shown; 0 for other items
  std::array<int32_t, 4> bounds{};  // left, top, right, bottom, 16.16 points
  ItemKind kind = kTextItem;
  int32_t spread = 1;
  bool master = false;
  int32_t anchor = 0;     // the story holding it, 0 when it lies on a spread
                          // (not stored: the story's runs say it)
  int32_t group = 0;      // the group it belongs to, 0 none
  int32_t parent = 0;     // a text box the file names as its parent, 0 none
  int32_t rotation = 0;   // 16.16 degrees, counter-clockwise
  uint8_t shape = kShapeRectangle;
  int32_t content = 0;    // content kind (5..11 for boxes that hold content)
  uint32_t record_word = 0;
  int32_t layer = 0;
  bool locked = false;
  bool keep_size = false;  // the host keeps the box at its size whatever its text
  int32_t inset = kDefaultInset;
  int32_t master_item = 0;  // the master item this item was made from, 0 none
  bool follows = false;     // its text follows the master item's text
  std::vector<std::array<int32_t, 2>> polygon;  // (vertical, horizontal) points
  ItemData data;

  bool IsBox() const { return kind == kTextItem || kind == kPictureItem || kind == kEmptyItem; }
};

// The content kind a box of `kind` has unless its file says otherwise.
int32_t DefaultContent(ItemKind kind);

// Where the element with an id stands in a vector of elements with an `id`:
// kept beside the vector, checked at every look-up and rebuilt when it
// misses, so look-ups stay cheap however the vector changes.  Copies start
// empty.
class IdIndex {
 public:
  IdIndex() = default;
  IdIndex(const IdIndex&) {}
  IdIndex& operator=(const IdIndex&) {
    positions_.clear();
    dense_.clear();
    return *this;
  }

  template <class T>
  T* Find(std::vector<T>& items, int32_t id) {
    if (T* found = Lookup(items, id)) return found;
    positions_.clear();
    dense_.clear();
    // Ids are mostly small numbers: those up to twice the count are found
    // by position, the others through the map.
    const std::size_t limit = 2 * items.size() + 64;
    for (std::size_t i = 0; i < items.size(); ++i) {
      const int32_t at = items[i].id;
      if (at >= 0 && static_cast<std::size_t>(at) < limit) {
        if (dense_.size() <= static_cast<std::size_t>(at)) dense_.resize(static_cast<std::size_t>(at) + 1, kNone);
        if (dense_[static_cast<std::size_t>(at)] == kNone) dense_[static_cast<std::size_t>(at)] = i;
      } else {
        positions_.emplace(at, i);
      }
    }
    return Lookup(items, id);
  }

 private:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  template <class T>
  T* Lookup(std::vector<T>& items, int32_t id) {
    std::size_t at = kNone;
    if (id >= 0 && static_cast<std::size_t>(id) < dense_.size()) {
      at = dense_[static_cast<std::size_t>(id)];
    } else if (!positions_.empty()) {
      auto it = positions_.find(id);
      if (it != positions_.end()) at = it->second;
    }
    if (at >= items.size() || items[at].id != id) return nullptr;
    return &items[at];
  }
  std::unordered_map<int32_t, std::size_t> positions_;
  std::vector<std::size_t> dense_;  // by id: the position, kNone for none
};

// Names one document's composition in the host's cache of lines
// (host/compose.cc): every document, and every copy of one, has its own
// key; a document assigned another's content takes a new one; the lines
// kept under a key go with it.
class CompositionKey {
 public:
  CompositionKey();
  CompositionKey(const CompositionKey&);
  CompositionKey& operator=(const CompositionKey&);
  ~CompositionKey();
  uint64_t value() const { return value_; }

 private:
  uint64_t value_;
};

// The host's cached walks over a document's items (host/layout_walk.cc);
// copies of a document start without them.
struct WalkCache;
class WalkCacheSlot {
 public:
  WalkCacheSlot() = default;
  WalkCacheSlot(const WalkCacheSlot&) {}
  WalkCacheSlot& operator=(const WalkCacheSlot&) {
    cache.reset();
    return *this;
  }
  std::shared_ptr<WalkCache> cache;
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
  std::string unit = "pt";     // measurement unit shown: pt, in, mm, cm, pica
  bool decimal_comma = false;  // numbers shown with a decimal comma
  uint32_t flags = 0;     // bit 0 text changed, bit 1 layout changed

  std::vector<Layout> layouts;
  int32_t current_layout = 0;
  std::vector<Font> fonts;
  std::vector<Color> colors;
  std::vector<StyleSheet> style_sheets;
  std::vector<XTParaFormatRecord> formats;
  std::vector<XTCharAttrRecord> attributes;
  // How many attribute records and paragraph formats of the file opened
  // are kept at every save: up to the last one nothing in the file used
  // (NoteOpenedRecords).  Records after them that nothing uses any more are
  // not saved (DropUnusedRecords).
  std::size_t opened_attributes = 1;
  std::size_t opened_formats = 1;
  // The size of the file text FormatDocument made of it last (0: none yet).
  mutable std::size_t formatted_size = 0;
  std::vector<Box> boxes;  // every item of every layout
  std::vector<Story> stories;
  std::vector<Layer> layers;  // layer 0 ("Default") exists when not listed
  ItemData data;              // the document's own item data
  int32_t next_item = 1;      // item ids are never reused
  IdIndex box_index;          // look-ups by id
  IdIndex story_index;
  // Advances whenever items come or go (or are anchored elsewhere), so that
  // cached walks are made again.
  uint64_t items_version = 0;
  mutable WalkCacheSlot walks;
  CompositionKey composition;

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
  const Story* FindStory(int32_t id) const;
  Box* FindBox(int32_t id);
  const Box* FindBox(int32_t id) const;
  Layout* CurrentLayout();
  // An id for a new item; 0 when none is left.  Counts as a change of the
  // items.
  int32_t NewItemId();
  // An id for a new story: the one after the largest, or the smallest free
  // one when the largest is the last id there is.
  int32_t NewStoryId() const;
  void ItemsChanged() { ++items_version; }
  // The chain of a story: the text boxes that show it, in file order; text
  // flows from the first to the last.  Kept with the host's walks
  // (host/layout_walk.cc): a box's story is set when the box is made.
  std::vector<const Box*> ChainOf(int32_t story) const;
  // The first box of that chain, or null; the last one.
  const Box* FirstOfChain(int32_t story) const;
  const Box* LastOfChain(int32_t story) const;
  // The story of the current box while its text is open, else null.
  Story* SelectedStory();
  // The index of a record equal to `record`, appended when there is none.
  int32_t AttributeIndex(const XTCharAttrRecord& record);
  // The same for paragraph formats.
  int32_t FormatIndex(const XTParaFormatRecord& record);
  // Drops the attribute records and paragraph formats at the end of their
  // tables, past the opened ones kept, that no story run and no style sheet
  // names (those made for text that is gone again, or used in the file only
  // by text gone since it was read); the others keep their indices.
  void DropUnusedRecords();
  // Sets opened_attributes and opened_formats for content just read: a
  // record nothing uses is the file's own and kept, with those before it.
  void NoteOpenedRecords();
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
  // Polygons of XTLayoutSuite: those made for box records stay the host's
  // (one per item and shape), those a plug-in made are its to dispose of.
  struct Polygon {
    std::vector<std::array<int32_t, 2>> points;
    bool host_owned = false;
  };
  HandleTable<Polygon> polygons;
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
  std::unordered_map<XTTextRef, TextTarget> refs_;
  // The latest reference of each (document, story).
  std::map<std::pair<int32_t, int32_t>, XTTextRef> latest_;
  XTTextRef next_ = 1;
};

}  // namespace xthost
