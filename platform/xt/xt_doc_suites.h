// The host ABI: documents, stories and their text.
//
// Six of the twenty suites acquired at registration carry the document
// access of the plug-in:
//   LGE2  relocatable memory blocks (XTMemorySuite)
//   LGF2  story text: text references, run tables, reading and changing text,
//         text operations (XTStoryTextSuite)
//   LGG2  text attributes: paragraph-format and character-attribute records
//         (XTTextAttributeSuite)
//   LGH2  tool mode, current box and selection (XTSelectionSuite)
//   LGI2  the current document: state, layouts, window, file, saving
//         (XTDocumentStateSuite)
//   LGJ2  the fonts of a document (XTFontSuite)
//
// Stories, boxes and the selection belong to the current document; story ids
// are that document's own.  A text reference names one story's text as it is
// now: it stays valid through changes made with it, and goes stale (calls
// answer kXTErrStaleText) when the story's text is changed any other way.
// Records cross the boundary as the fixed structs below; they never go to
// disk as bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/xt/xt_records.h"
#include "platform/xt/xt_types.h"

using XTHandle = int32_t;       // a relocatable memory block, 0 = none
using XTTextRef = int32_t;      // the text of one story, 0 = none
using XTAttrContext = int32_t;  // the attribute tables of one document
using XTBox = int32_t;          // a box of an open document, 0 = none
using XTLayout = int32_t;       // a layout of an open document, 0 = none

// Results beyond those of xt_types.h.
constexpr int32_t kXTErrStaleText = -5004;    // the text changed since the reference was made
constexpr int32_t kXTErrNotDocument = -5005;  // the file is not a host document
constexpr int32_t kXTErrBusy = -49;           // the file is open as another document

// A character-attribute record: what the characters of one run are and how
// they look.  116 bytes; callers give a buffer of that size.
struct XTCharAttrRecord {
  uint16_t font;      // font id in the document's font list
  uint16_t faces;     // face bits (0xFFFF: mixed)
  int32_t size;       // 16.16 points
  int32_t shift;      // baseline shift as a 16.16 fraction of the size
  uint16_t color;     // colour id
  uint16_t style;     // character style sheet, 0: the paragraph's
  int32_t kerning;    // word 4
  int32_t tracking;   // word 5
  uint16_t flags;     // kXTChar... bits
  uint8_t script;     // script code, when kXTCharOwnScript
  uint8_t region;     // region code, when kXTCharOwnScript
  uint32_t opcode;    // what the characters are (XTTextOpcode)
  int32_t object;     // the anchored box, hidden-text object or other object of the run
  int32_t mark;       // the plug-in's own mark (kXTAttrPrivate), 0 = none
  uint8_t reserved[76];
};
static_assert(sizeof(XTCharAttrRecord) == 116, "character-attribute record is 116 bytes");
static_assert(offsetof(XTCharAttrRecord, kerning) == 16, "kerning is word 4");
static_assert(offsetof(XTCharAttrRecord, tracking) == 20, "tracking is word 5");
static_assert(offsetof(XTCharAttrRecord, opcode) == 28, "opcode at byte 28");

// Bits of XTCharAttrRecord::flags.
enum XTCharFlags : uint16_t {
  kXTCharOwnScript = 0x0001,    // the record names its own script and region
  kXTCharNonBreaking = 0x0080,  // spaces and hyphens of the run do not break
};

// Values of XTCharAttrRecord::opcode.  Bits 0xE0 are hidden-text markers
// (0x20 start, 0x40 end, 0x60 both) combined with the low bits.
enum XTTextOpcode : uint32_t {
  kXTOpText = 0,
  kXTOpAnchoredBox = 1,
  kXTOpPageLast = 5,
  kXTOpPageCurrent = 6,
  kXTOpPageNext = 7,
  kXTOpUniqueIdTag = 136,
};

// One tab stop of a paragraph format.
struct XTTabStop {
  int32_t position;  // 16.16 points from the left indent
  uint16_t align;    // 0 left, 1 centre, 2 right, 3 decimal
  uint16_t fill;     // fill character, 0 = none
};

// A paragraph-format record: 188 bytes.
struct XTParaFormatRecord {
  uint16_t style;         // paragraph style sheet
  uint16_t alignment;     // 0 left, 1 centre, 2 right, 3 justified, 4 forced
  int32_t left_indent;    // 16.16 points
  int32_t right_indent;   // 16.16 points
  int32_t first_indent;   // 16.16 points
  int32_t leading;        // 16.16 points, 0 = automatic
  int32_t space_before;   // 16.16 points
  int32_t space_after;    // 16.16 points
  uint16_t hj;            // hyphenation and justification set
  uint16_t flags;         // 1 keep with next, 2 keep lines together, 4 drop cap
  uint16_t tab_count;     // tab stops in use, at most kXTMaxTabs
  uint16_t reserved0;
  XTTabStop tabs[16];
  uint8_t reserved[24];
};
constexpr int kXTMaxTabs = 16;
static_assert(sizeof(XTParaFormatRecord) == 188, "paragraph-format record is 188 bytes");

// Paragraph attribute codes (XTStoryTextSuite::set_paragraph_attribute) and
// the format fields they stand for; any other code names no field.
constexpr int32_t kXTParaTabs = 0x36;  // the tab stops, through set_paragraph_tabs
enum XTParaFormatAttribute : int32_t {
  kXTParaAlignment = 0x11,
  kXTParaLeftIndent = 0x12,
  kXTParaRightIndent = 0x13,
  kXTParaFirstIndent = 0x14,
  kXTParaHyphenation = 0x19,
  kXTParaFlags = 0x1A,
  // 0x1D leading, 0x1E space before, 0x1F space after: XTParagraphAttribute.
};

// The field of `code` in `format`: 16-bit fields in *narrow, 32-bit ones
// in *wide; false (both null) for a code that names no field.
inline bool XTParaAttributeField(XTParaFormatRecord& format, int32_t code, uint16_t** narrow,
                                 int32_t** wide) {
  *narrow = nullptr;
  *wide = nullptr;
  switch (code) {
    case kXTParaAlignment: *narrow = &format.alignment; break;
    case kXTParaLeftIndent: *wide = &format.left_indent; break;
    case kXTParaRightIndent: *wide = &format.right_indent; break;
    case kXTParaFirstIndent: *wide = &format.first_indent; break;
    case 0x1D: *wide = &format.leading; break;
    case 0x1E: *wide = &format.space_before; break;
    case 0x1F: *wide = &format.space_after; break;
    case kXTParaHyphenation: *narrow = &format.hj; break;
    case kXTParaFlags: *narrow = &format.flags; break;
    default: return false;
  }
  return true;
}

// Entries of the run tables that XTStoryTextSuite fills, as 32-bit words.
constexpr uint32_t kXTParagraphRunWords = 3;  // format index, length, start position
constexpr uint32_t kXTCharacterRunWords = 2;  // attribute index, length

// Attribute codes of XTStoryTextSuite::set_text_attribute.
enum XTTextAttribute : int32_t {
  kXTAttrColor = 5,
  kXTAttrFont = -101,
  kXTAttrFaces = -102,  // sets the face bits to the value
  kXTAttrSize = -103,   // 16.16 points
  kXTAttrKerning = -108,
  kXTAttrTracking = -109,
  kXTAttrShift = -110,  // relative baseline shift, 16.16 fraction of the size
  kXTAttrPrivate = -111,  // the plug-in's own mark of the characters
};
// kXTAttrFaces read and written as one value: the face bits, with bit 0x80
// standing for kXTCharNonBreaking.
constexpr int32_t kXTFacesNonBreaking = 0x80;

// Story option 0: the story is locked; the host refuses every change of its
// text, attributes and formats while it is set.
constexpr int32_t kXTStoryLocked = 0;



// The host's commands (XTDocumentStateSuite::do_command).
constexpr int32_t kXTCommandSave = 105;

// LGE2: relocatable memory blocks.  A block's address may change when the
// host resizes it: take it again after every host call that fills the block.
struct XTMemorySuite {
  uint32_t code;
  // A new block of `size` bytes, zeroed.
  int32_t (*new_handle)(uint32_t size, XTHandle* handle);
  int32_t (*dispose_handle)(XTHandle handle);
  int32_t (*handle_size)(XTHandle handle, uint32_t* size);
  // The block's current address (null for an empty block).
  int32_t (*handle_data)(XTHandle handle, void** data);
};

// LGF2: story text.
struct XTStoryTextSuite {
  uint32_t code;
  // The text reference of story `story` of the current document, its length
  // in UTF-16 units and two values kept with it (the story's first box and
  // the document's id).
  int32_t (*story_text)(int32_t story, XTTextRef* ref, int32_t* length, int32_t* first_box,
                        int32_t* document);
  // Resizes `table` to the story's paragraph runs (kXTParagraphRunWords
  // words each) and stores their number; reference 0 has none.
  int32_t (*paragraph_runs)(XTTextRef ref, XTHandle table, uint32_t* count);
  // The same for the character runs (kXTCharacterRunWords words each).
  int32_t (*character_runs)(XTTextRef ref, XTHandle table, uint32_t* count);
  // The paragraph-format index of the paragraph of the text of `ref` that
  // holds unit `position` (the last paragraph at the text's end), in a time
  // that does not grow with the story; kXTErrNoItem for a text without
  // paragraphs.
  int32_t (*paragraph_format_at)(XTTextRef ref, int32_t position, int32_t* format);
  // Copies `count` units from `start` into `out`.
  int32_t (*read_text)(XTTextRef ref, int32_t start, int32_t count, char16_t* out);
  // Inserts `count` units at `position`.
  int32_t (*insert_text)(XTTextRef ref, int32_t position, const char16_t* text, int32_t count);
  // Deletes the units from `start` up to `end` (exclusive).
  int32_t (*delete_text)(XTTextRef ref, int32_t start, int32_t end);
  // Sets one attribute (XTTextAttribute) on the current selection, which
  // must lie in the story of `ref`.
  int32_t (*set_text_attribute)(XTTextRef ref, int32_t attribute, int32_t value, int32_t reserved);
  // Option bits of a story of the current document (bit `option`).
  int32_t (*story_option)(int32_t story, int32_t option, uint8_t* on);
  int32_t (*set_story_option)(int32_t story, int32_t option, uint8_t on);
  // Lays the story out again from `from` (0, 0, 0: the whole story).
  int32_t (*recompose)(XTTextRef ref, int32_t from, int32_t reserved1, int32_t reserved2);
  // A text operation of the host over the units from `first` up to `last`
  // of the text of `ref`: begun, then ended with the same reference.  End
  // only one that began.
  int32_t (*begin_text_operation)(XTTextRef ref, int32_t first, int32_t last);
  int32_t (*end_text_operation)(XTTextRef ref);
  // Entry 47: copies the units from `start` up to `end` of story `story` of
  // document `document` to `position` of story `to_story` of `to_document`,
  // with their attributes; anchored items are duplicated with their stories
  // and item data.  A range that ends inside a surrogate pair takes the
  // whole pair.  Answers 1 when done, 0 when not.
  int32_t (*copy_text)(int32_t document, int32_t story, int32_t start, int32_t end,
                       int32_t to_document, int32_t to_story, int32_t position);
  // Entry 35: the same within the current document, `position` -1 meaning
  // the end of `to_story`; 0 when done.
  int32_t (*copy_story_text)(int32_t story, int32_t start, int32_t end, int32_t to_story,
                             int32_t position);
  // A text object at `position`: one unit and the `length` units of
  // `payload`, as one run of opcode `code` (kXTOpUniqueIdTag: '#' and the
  // payload; kXTOpPageLast, kXTOpPageCurrent, kXTOpPageNext: the unit 0x01,
  // 0x02 or 0x03 and no payload).  Other codes are refused.
  int32_t (*insert_text_object)(XTTextRef ref, int32_t position, uint32_t code,
                                const char16_t* payload, int32_t length);
  // The object run that begins at `position`: its code, its payload (cut to
  // `capacity` units) and the payload's length.  kXTErrParam where none begins.
  int32_t (*text_object)(XTTextRef ref, int32_t position, uint32_t* code, char16_t* payload,
                         int32_t capacity, int32_t* length);
  // Sets paragraph attribute `code` to `value` in the formats of the
  // paragraphs the current selection touches; unknown codes change nothing.
  int32_t (*set_paragraph_attribute)(XTTextRef ref, int32_t code, int32_t value);
  // Gives the paragraphs of the selection the format of paragraph style
  // sheet `id` (with `value` 1: the whole format; else only its style id).
  int32_t (*apply_style_sheet)(XTTextRef ref, uint16_t id, int32_t value);
  // Sets the tab stops (at most kXTMaxTabs) of the selection's paragraphs.
  int32_t (*set_paragraph_tabs)(XTTextRef ref, const XTTabStop* tabs, int32_t count);
};

// LGG2: text attributes.  The 16-bit attribute word passed with a fetch is a
// style sheet id: a paragraph-format fetch gives the paragraph's style; a
// character-attribute fetch takes the paragraph's style in and gives the
// run's character style back (the one it took in when the run has none).
struct XTTextAttributeSuite {
  uint32_t code;
  int32_t (*attribute_context)(XTTextRef ref, XTAttrContext* context);
  int32_t (*paragraph_format)(XTAttrContext context, int32_t index, XTParaFormatRecord* record,
                              uint16_t* word);
  int32_t (*character_attributes)(XTAttrContext context, int32_t index, XTCharAttrRecord* record,
                                  uint16_t* word);
  // The attributes of the current text: the first character of the current
  // selection, or the one before an insertion point.
  int32_t (*selection_attributes)(XTCharAttrRecord* record);
  // The baseline shift, in 16.16 points, of a relative `shift` at `size`.
  int32_t (*baseline_shift)(int32_t size, int32_t shift, int32_t* absolute);
};

// LGH2: tool mode, current box and selection.
struct XTSelectionSuite {
  uint32_t code;
  // The tool mode: 1 is the content tool, in which text is worked on.
  int32_t (*tool_mode)(int32_t* mode);
  int32_t (*set_tool_mode)(int32_t mode);
  int32_t (*current_box)(XTBox* box);
  // Makes a box of the current document current; its text is not open.
  // Box 0: no box is current.
  int32_t (*set_current_box)(XTBox box);
  // The first box that shows story `story` of the current document.
  int32_t (*box_of_story)(int32_t story, XTBox* box);
  int32_t (*story_of_box)(XTBox box, int32_t* story);
  // Whether the current box's text is open for work, and opening it.
  int32_t (*text_open)(XTBox box, uint8_t* open);
  int32_t (*open_text)(XTBox box);
  // Makes `box` current with its text open and `start` to `end` selected.
  int32_t (*select_text)(XTBox box, int32_t start, int32_t end);
  // Gives back a host object the plug-in was holding (a box it made).
  int32_t (*release_object)(int32_t object, int32_t flags);
  // Brings the windows up to date (0, 0, 0: all of them).
  int32_t (*refresh)(int32_t reserved1, int32_t reserved2, int32_t reserved3);
  // The current text selection: the story whose text is open in the current
  // box and the selected units from `start` up to `end`; story 0 (and 0, 0)
  // when no text is open.  kXTErrNoDocument without a current document.
  int32_t (*text_selection)(int32_t* story, int32_t* start, int32_t* end);
};

// LGI2: the current document.
struct XTDocumentStateSuite {
  uint32_t code;
  // The id of the current document (also its project handle); -1 when none.
  int32_t (*current_document)(int16_t* id);
  int32_t (*set_current_document)(int16_t id);
  int32_t (*document_count)(int32_t* count);
  // State bytes of the current document: never saved to a file of its own;
  // made on the Mac platform.
  int32_t (*is_untitled)(uint8_t* answer);
  int32_t (*is_mac_document)(uint8_t* answer);
  // State flags: bit 0 text changed, bit 1 layout changed since the last save.
  int32_t (*state_flags)(uint32_t* flags);
  int32_t (*set_state_flags)(uint32_t flags);
  // Runs a host command (kXTCommandSave) on the current document.
  int32_t (*do_command)(int32_t command);
  // The file spec of a project's file; -43 for an untitled document.
  int32_t (*project_file_spec)(XTProject project, XTFileSpec* spec);
  int32_t (*current_layout)(XTProject project, XTLayout* layout);
  int32_t (*layout_modified)(XTLayout layout, uint8_t* modified);
  // The window of the current document, and handing a window back, which
  // closes its document without saving.
  int32_t (*document_window)(int32_t* window);
  int32_t (*close_window)(int32_t window);
  // Saves the current document at the location of `file` (an XTFileSuite
  // file object), or at its own file when `file` is 0.  kXTErrBusy when that
  // file is open as another document.
  int32_t (*save_document)(XTFile file, uint32_t type);
  // Writes the current document as save_document would into the file
  // `file` names (made when missing) as a copy of it, for reading back at
  // once: the document keeps its own file and its state, and the file is
  // written in place, neither synced nor renamed.  kXTErrBusy when that
  // file is open as a document, this one too.
  int32_t (*save_document_copy)(XTFile file, uint32_t type);
};

// LGJ2: fonts.
struct XTFontSuite {
  uint32_t code;
  // 0 when the fonts of `project` can be listed.
  int32_t (*check_fonts)(XTProject project);
  // A new block listing the project's fonts, for the caller to dispose of:
  // a 16-bit count, then the entries.  `owner` receives the project.
  int32_t (*font_list)(XTProject project, XTHandle* list, int32_t* owner);
  // Entry `index` (1 to the count) of a list: the font id and its name,
  // NUL-terminated and cut to fit `capacity` units.  `entry_size` must be
  // the list's entry size, 12; `flags` is 1.
  int32_t (*font_entry)(XTHandle list, int32_t index, uint16_t* id, char16_t* name,
                        int32_t capacity, int32_t entry_size, int32_t flags);
  // The host script code of entry `index` (1 to the count) of a list: 126
  // for a font listed under no script of its own.
  int32_t (*font_script)(XTHandle list, int32_t index, uint16_t* script);
  // The font of the current document named `name` (`length` bytes of the
  // host's Windows-1252 text): its id, or kXTErrNotFound when no font has
  // that name.
  int32_t (*find_font_by_name)(const char* name, int32_t length, uint16_t* id);
};
