// The host ABI: layouts, items and item data.
//
// Two suites acquired at registration carry the layout of the current
// document:
//   LGK2  spreads, pages, master pages, views, items (boxes, lines, groups),
//         box records, polygons, layers, line tables, box creation
//         (XTLayoutSuite)
//   LGL2  item data, and the text objects of stories: anchored items, run
//         searches and character boundaries (XTItemDataSuite)
//
// Item handles are 32-bit: the document id in the high half, the item's own
// id (1 to 0x7FFF, unique in its file, never reused) in the low half.  Page
// references use the same high half with bit 0x8000 set in the low half and
// the page's number below it; a document reference is a document id (that
// of a layout: the current one's is what the current-document call answers).
// Calls work on the current document; its current layout's view decides
// which spreads "spread" means: view 0 shows the layout spreads 1..N, view
// k >= 1 the master spreads 1..M.  Host page numbers run over the master
// pages 1..M, then the layout pages M+1..M+L.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/xt/xt_doc_suites.h"

using XTItem = int32_t;     // an item of a document, 0 = none
using XTPageRef = int32_t;  // a page of a document, 0 = none
using XTPolygon = int32_t;  // a polygon the host keeps, 0 = none

// Where an item lies: 10 bytes, the spread as a 32-bit number in the first
// four (low half first).
struct XTItemLocation {
  uint16_t spread_low;   // its spread: a layout spread, or a master spread
  uint16_t spread_high;  // for master items
  int16_t page;          // index of its page within the spread
  int16_t master;        // 1 when the spread is a master spread
  int16_t layer;         // its layer id (low 16 bits)
};
static_assert(sizeof(XTItemLocation) == 10, "location records are 10 bytes");

// Page information of an item, five 16-bit fields.
struct XTPageInfo {
  int16_t spread;       // f0: its spread
  int16_t side;         // f1: negative when it lies left of the spread's first page
  int16_t page;         // f2: index of its page in the spread
  int16_t page_number;  // f3: the page number a user sees; 2001 and up off the pages
  int16_t reserved;     // f4: 0
};

// One entry of a spread's page table: 104 bytes.
struct XTPageEntry {
  int32_t top;     // 16.16 points, spread coordinates
  int32_t left;
  int32_t bottom;
  int32_t right;
  int16_t number;  // the page number a user sees (master pages: the spread)
  int16_t master;  // the master spread the page is based on
  uint8_t reserved[84];
};
static_assert(sizeof(XTPageEntry) == 104, "page entries are 104 bytes");

// A box record: what the host keeps of one item's geometry.  Rectangles are
// top, left, bottom, right in 16.16 points, spread coordinates.
struct XTBoxRecord {
  int32_t bounds[4];       // the shape's own rectangle, unrotated
  int32_t enclosing[4];    // the rectangle enclosing the item as drawn (rotated)
  int32_t rotation;        // 16.16 degrees, counter-clockwise
  uint8_t shape;           // 5 rectangle, 6-8 rectangles with corners, 9 oval, 10-12 polygons
  uint8_t locked;          // 1 when the item may not be changed
  uint16_t master_page;    // non-zero for an item of a master spread
  uint32_t record_word;    // the host's own word, kept as it is stored
  XTPolygon polygon;       // the shape's polygon (shapes 10-12), 0 none
  int32_t inset;           // text inset, 16.16 points
  int32_t content;         // content kind
  uint8_t reserved[72];
};
static_assert(sizeof(XTBoxRecord) == 128, "box records are 128 bytes");
static_assert(offsetof(XTBoxRecord, shape) == 36, "shape type at byte 36");

// A new-box record (XTLayoutSuite::new_box_record): the box to be made.
struct XTNewBoxRecord {
  int32_t bounds[4];  // top, left, bottom, right, 16.16 points on the first page of the view
  uint8_t runaround;  // 0
  uint8_t reserved0[3];
  int32_t frame;      // 16.16 (4.0)
  int32_t scale;      // 16.16 (1.0)
  uint16_t columns;   // 0: one column
  uint16_t content;   // content kind: 6 text
  int32_t kind;       // the kind asked for (3: a box)
  int32_t shape;      // the shape asked for (5: rectangle)
};

// One line of a box's line table: 76 bytes, words in host order.
struct XTLineRecord {
  int32_t offset;    // text offset of the line's first unit in the story
  int32_t length;    // its units
  int32_t vertical;  // top of the line in the box, 16.16 points; >= kXTOversetLine when overset
  int32_t x;         // left of the line, 16.16 points from the box's left
  int32_t width;     // the text's width, 16.16 points
  int32_t height;    // 16.16 points
  int32_t ascent;    // 16.16 points
  int32_t baseline;  // 16.16 points from the box's top
  int32_t paragraph; // index of its paragraph in the story
  int32_t overflow;  // byte 36: kXTOverflowMark on the last record when the text does not fit
  uint8_t reserved[36];
};
static_assert(sizeof(XTLineRecord) == 76, "line records are 76 bytes");
static_assert(offsetof(XTLineRecord, overflow) == 36, "overflow mark at byte 36");
constexpr int32_t kXTOversetLine = 0x72222222;
constexpr int32_t kXTOverflowMark = 0x7CCCCCCC;

// A paragraph style record: 272 bytes, the name in the first 64 units.
struct XTStyleRecord {
  char16_t name[64];
  int32_t kind;    // 1 paragraph, 2 character
  int32_t record;  // index of its paragraph format or character attributes
  uint8_t reserved[136];
};
static_assert(sizeof(XTStyleRecord) == 272, "style records are 272 bytes");

// Results beyond xt_types.h.
constexpr int32_t kXTErrNoItem = -5006;        // no such item, or none left in a walk
constexpr int32_t kXTErrConstraint = -5007;    // a box record the host refuses
constexpr int32_t kXTNoColor = -4;             // XTLayoutSuite::new_color: no entry made

// RGB colour model code for XTLayoutSuite::convert_color.
constexpr uint32_t kXTColorModelRgb = 0x42475251;

// LGK2: the layout of the current document.
struct XTLayoutSuite {
  uint32_t code;

  // --- spreads and pages of the view ---
  // Spreads the view shows: layout spreads, or master spreads.
  int32_t (*spread_count)(int16_t* count);
  // Items of a spread of the view, from the rearmost to the frontmost, a
  // group before its members; anchored items are never walked.
  int32_t (*first_item)(int32_t spread, XTItem* item);
  int32_t (*next_item)(XTItem item, XTItem* next);
  // Items whose page is host page `page` (flags 0), in the same order.
  int32_t (*first_page_item)(int32_t page, int32_t flags, XTItem* item);
  int32_t (*next_page_item)(XTItem item, XTItem* next);
  // The page table of a spread of the view: a block of XTPageEntry.
  int32_t (*spread_pages)(int32_t spread, XTHandle table, uint32_t* count);
  // The page numbers a user sees on a layout spread: a block of int16_t.
  int32_t (*spread_page_numbers)(int32_t spread, XTHandle list, uint32_t* count);
  // The reference of host page `number` (masters 1..M, then layout pages).
  int32_t (*page_reference)(int32_t number, XTPageRef* page);
  // The master spread a page is based on (master pages: their own spread).
  int32_t (*page_master)(XTPageRef page, int32_t* spread);

  // --- master pages and views ---
  int32_t (*master_count)(int16_t* count);
  // The name of master spread `spread` (a new host string).
  int32_t (*master_name)(int32_t spread, XTString* name);
  // Whether master spread `spread` is a master page items can be made on
  // (user masters from 3; 1 and 2 are not).
  int32_t (*is_master_spread)(int32_t spread, int32_t reserved, uint8_t* answer);
  // Whether an item belongs to a master spread (items anchored in their
  // stories included).
  int32_t (*is_master_item)(XTItem item, int32_t reserved, uint8_t* answer);
  // The view of a document (its window); 0 when it has none.
  int32_t (*view_of)(int32_t document, int32_t* view);
  // Shows the layout spreads (index 0) or the master spreads with master
  // spread index + 2 in front.
  int32_t (*show_view)(int32_t view, int32_t index);
  int32_t (*view_shows_masters)(int32_t view, uint8_t* answer);
  // The state of a document's view; 0 when it can be worked on, 1 while its
  // window is behind another document's.
  int32_t (*view_state)(int32_t document, int32_t* state);
  // Brings the window of a document's view to the front, so that the view
  // can be worked on.
  int32_t (*bring_view_to_front)(int32_t document);

  // --- items ---
  // The eight kind predicates; the sixth answers 16 bits.
  int32_t (*is_text_box)(XTItem item, uint8_t* answer);
  int32_t (*is_picture_box)(XTItem item, uint8_t* answer);
  int32_t (*is_empty_box)(XTItem item, uint8_t* answer);
  int32_t (*is_line)(XTItem item, uint8_t* answer);
  int32_t (*is_group)(XTItem item, uint8_t* answer);
  int32_t (*anchor_story)(XTItem item, uint16_t* story);  // 0 unless anchored
  int32_t (*is_locked)(XTItem item, uint8_t* answer);
  int32_t (*is_rotated)(XTItem item, uint8_t* answer);
  int32_t (*item_location)(XTItem item, int32_t reserved, XTItemLocation* location);
  int32_t (*page_info)(XTItem item, XTPageInfo* info);
  // The item a text box continues (the first box of its chain), or the text
  // box its file names; 0 for none.
  int32_t (*parent_item)(XTItem item, XTItem* parent);
  // The members of a group as a new block of 4-byte item handles, back to
  // front, and their number.
  int32_t (*group_members)(XTItem group, XTHandle* members, uint16_t* count);
  // The master item an item was made from (0 none) and whether it follows
  // that item's text.
  int32_t (*master_item)(XTItem item, XTItem* master, uint8_t* follows);
  int32_t (*content_kind)(XTItem item, int32_t* kind);
  int32_t (*item_story)(XTItem item, int32_t* story);

  // --- box records and polygons ---
  // A new block holding the item's XTBoxRecord; dispose of it with
  // XTMemorySuite::dispose_handle.
  int32_t (*box_record)(XTItem item, XTHandle* record);
  // Gives the item the record's geometry; kXTErrConstraint with the
  // host's 16-bit reason in *constraint when it refuses.  `compose` 1 lays
  // the item's story out again.  A polygon in the record is copied: the
  // caller still disposes of one it made.
  int32_t (*store_box_record)(XTHandle record, XTItem item, int32_t reserved, int32_t compose,
                              int16_t* constraint);
  // A polygon of `count` (vertical, horizontal) points in 16.16.
  int32_t (*new_polygon)(const int32_t* points, int32_t count, XTPolygon* polygon);
  // The points of a polygon into a block of 2 x int32_t each.
  int32_t (*polygon_points)(XTPolygon polygon, XTHandle points, uint32_t* count);
  int32_t (*dispose_polygon)(XTPolygon polygon);

  // --- making and removing items ---
  // A new block holding an XTNewBoxRecord for `kind` 3 and `shape` 5.
  int32_t (*new_box_record)(int32_t kind, int32_t shape, XTHandle* record);
  // Makes a box on the first page of the view; a text box gets a new empty
  // story.  -5003 when the document has no free item id (ids go up to
  // 32767 and are never given twice).
  int32_t (*create_box)(XTHandle record, XTItem* item);
  // Removes an item (a text box's story goes when no other box shows it).
  int32_t (*delete_item)(XTItem item);

  // --- layers ---
  int32_t (*item_layer)(XTItem item, int32_t* layer);
  int32_t (*layer_name)(int32_t document, int32_t layer, XTString* name);
  int32_t (*item_on_visible_layer)(XTItem item, uint8_t* answer);

  // --- composition ---
  // The lines composed in a box as XTLineRecord entries into `table`.
  int32_t (*line_table)(XTItem item, XTHandle table, uint32_t* count);

  // --- style sheets and colours ---
  // Style sheets of `kind` (1 paragraph, 2 character) in index order.
  int32_t (*style_count)(int32_t kind, int32_t* count);
  int32_t (*style_sheet)(int32_t kind, int32_t index, XTStyleRecord* record, uint32_t* id);
  // The colour list of a document.
  int32_t (*color_list)(int32_t document, int32_t* list);
  // A new entry of a colour list: its id, or kXTNoColor.
  int32_t (*new_color)(int32_t list, int32_t* id);
  int32_t (*set_color_name)(int32_t list, int32_t id, const char* name);
  // A colour value of `model` for an 0xRRGGBB value.
  int32_t (*convert_color)(uint32_t model, uint32_t rgb, uint32_t* value);
  int32_t (*set_color_value)(int32_t list, int32_t id, uint32_t value);

  // --- projects ---
  int32_t (*layout_count)(XTProject project, int32_t* count);
  int32_t (*layout_at)(XTProject project, int32_t index, XTLayout* layout);
  // 'XPRN' for print layouts, 'XWEB' for web layouts.
  int32_t (*layout_type)(XTLayout layout, uint32_t* type);
  int32_t (*layout_document)(XTLayout layout, int16_t* document);
  // The host clock: year, month, day, hour, minute, second.
  int32_t (*clock)(uint16_t* fields);

  // --- text geometry (current document) ---
  // The line showing unit *position of story `story`: the lines of the box
  // that shows it into `table` (XTLineRecord entries), that box into *box,
  // and the line's index in the table into *position.  An overset unit is
  // answered with the chain's last box.
  int32_t (*line_query)(int32_t story, int32_t* position, XTHandle table, XTItem* box);
  // A 16.16 measure as the document shows it to a user: in its measurement
  // unit with its decimal separator, `precision` 100 giving two decimals
  // (10: one, 1: none); a new host string.
  int32_t (*format_measure)(int32_t value, int32_t precision, XTString* text);
  // The paragraph style of the units [start, end) of a story: the position
  // of its style sheet in the document's style sheets, from 1.
  int32_t (*paragraph_style_index)(int32_t story, int32_t start, int32_t end, int32_t* index);
  // A text attribute at a unit of a story: kXTParaLeading,
  // kXTParaSpaceBefore, kXTParaSpaceAfter of its paragraph, or kXTAttrSize
  // of the character, each a 16.16 value.
  int32_t (*text_attribute_at)(int32_t story, int32_t position, int32_t attribute,
                               int32_t* value);

  // --- fitting (current document) ---
  // Whether the host keeps a box at its size whatever its text: 1 for a
  // box whose file marks it "keepSize".
  int32_t (*keeps_size)(XTItem item, uint8_t* answer);
  // "fgetbbox": the box's outer bounds as top, left, bottom, right in 16.16
  // points, spread coordinates (`which` 0, `mode` 2).
  int32_t (*outer_bounds)(XTItem item, int32_t which, int32_t mode, int32_t* rect);
  // "fgetobsbbox": the text area, the outer bounds less the text inset on
  // every side, the same way (`mode` 2).
  int32_t (*text_area)(XTItem item, int32_t mode, int32_t* rect);
  // The last box of the chain showing the text box's story (the box itself
  // when it is not linked); kXTErrNoItem for an item without text.
  int32_t (*chain_end)(XTItem item, XTItem* last);
  // A request about a whole document after its text or boxes changed:
  // kXTRequestRecompose lays it out again, kXTRequestRedraw brings its
  // windows up to date.
  int32_t (*document_request)(int32_t document, int32_t request);
};

// Requests of XTLayoutSuite::document_request.
enum XTDocumentRequest : int32_t {
  kXTRequestRedraw = 1,
  kXTRequestRecompose = 3,
};

// Paragraph attributes of XTLayoutSuite::text_attribute_at.
enum XTParagraphAttribute : int32_t {
  kXTParaLeading = 0x1D,
  kXTParaSpaceBefore = 0x1E,
  kXTParaSpaceAfter = 0x1F,
};

// LGL2: item data and the text objects of stories.
struct XTItemDataSuite {
  uint32_t code;
  // Item data of an owner (an item, a page reference or a document
  // reference) under `key`: a new block with its bytes, or kXTErrNotFound.
  int32_t (*get_item_data)(int32_t owner, uint32_t key, XTHandle* data);
  // Sets the bytes of block `data` under `key`; block 0 removes the entry.
  int32_t (*set_item_data)(int32_t owner, uint32_t key, XTHandle data);
  // The first item of the current view whose data under `key` equal the
  // block's bytes, in document order: the view's spreads in order, items in
  // walk order, each text box followed by the items anchored in its story.
  int32_t (*find_item_data)(uint32_t key, XTHandle data, XTItem* item);
  // Tells the host that the document's item data changed.
  int32_t (*data_changed)(int32_t document);

  // The item anchored at `position` of story `story`, or kXTErrNoItem.
  int32_t (*anchored_item)(int32_t story, int32_t position, XTItem* item);
  // Searches story `story` for a unit whose run's opcode word has the bits
  // `flags` & 0x60 (0x20 opening, 0x40 closing marker): forward (direction
  // 1) over [*position, limit), backward (0) from *position - 1 down to 0;
  // the first unit met in *position (backward: the last unit of its run).
  // kXTErrNoItem when none.
  int32_t (*find_run)(int32_t story, int32_t* position, int32_t direction, uint32_t flags,
                      uint32_t argument, int32_t limit);
  // The end of the character run holding `position` (arguments 1, 8).
  int32_t (*run_end)(int32_t story, int32_t position, int32_t unit, int32_t mode, int32_t* end);
  // The position after the character at `position` (arguments 1, 0).
  int32_t (*next_boundary)(int32_t story, int32_t position, int32_t unit, int32_t mode,
                           int32_t* next);
};
