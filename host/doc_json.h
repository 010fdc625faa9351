// The stand-in host's document file: one JSON object.
//
//   {"format": "xthost document", "version": 1,
//    "untitled": false, "mac": false, "flags": 0,
//    "layouts": [{"name": "Layout 1", "type": "XPRN", "modified": false}],
//    "currentLayout": 0,
//    "fonts": [{"id": 3, "name": "Times", "script": 126}],  (script: the host's script code
//                                                      of the font, 126 by default)
//    "colors": [{"id": 1, "name": "Black", "model": "QRGB", "value": 0}],
//    "styleSheets": [{"id": 1, "kind": "paragraph", "name": "Normal", "record": 0}],
//    "paragraphFormats": [{"style": 1, "alignment": 0, "leftIndent": 0, "rightIndent": 0,
//                          "firstIndent": 0, "leading": 0, "spaceBefore": 0, "spaceAfter": 0,
//                          "hj": 0, "flags": 0, "tabs": [[72, 0, 0]]}],
//    "characterAttributes": [{"font": 3, "faces": 0, "size": 12, "shift": 0, "color": 0,
//                             "style": 0, "kerning": 0, "tracking": 0, "flags": 0,
//                             "script": 0, "region": 0, "opcode": 0, "object": 0,
//                             "mark": 0}],
//    "boxes": [{"id": 1, "layout": 0, "story": 1, "bounds": [36, 36, 300, 500]}],
//    "stories": [{"id": 1, "options": 0, "text": "Title\rBody",
//                 "paragraphs": [[0, 6], [0, 4]], "runs": [[0, 6], [1, 4]]}],
//    "currentBox": 1, "textOpen": true, "selection": [0, 5]}
//
// Layouts, items and item data (all optional: a file without them reads
// as it always did):
//
//    "layouts": [{"name": "Print", "view": 0,
//                 "spreads": [{"pages": [{"width": 612, "height": 792, "master": 3,
//                                         "data": {...}}]}],
//                 "masters": [{"name": "A-Master", "width": 612, "height": 792,
//                              "data": {...}}]}],
//    "boxes": [{"id": 12, "layout": 0, "story": 12, "bounds": [36, 100, 300, 300],
//               "kind": "text", "spread": 1, "master": false, "group": 0, "parent": 0,
//               "rotation": 0, "shape": 5, "content": 6, "recordWord": 0, "layer": 0,
//               "locked": false, "inset": 1, "masterItem": 0, "follows": false,
//               "polygon": [[400, 36], ...], "data": {"08414b42": "00000102"}}],
//    "layers": [{"id": 1, "name": "Text", "visible": true, "locked": false}],
//    "data": {...}, "nextItem": 81
//
// A layout without "spreads" has one spread of one page of the default size
// (612 by 792 points, based on master spread 1); "masters" are the user
// master spreads 3 and up (1 and 2 always exist and are not stored).  Boxes
// are the items of every layout in stacking order, the first one rearmost;
// "kind" is "text" (the default with a story), "empty" (the default
// without), "picture", "line" or "group"; "spread" counts the layout spreads
// from 1, or the master spreads when "master" is true.  An item a one-unit
// run of opcode 1 names (its "object") is anchored in that run's story;
// members of a group lie where the group lies.  Item data maps a key of
// eight hex digits to its bytes in hex.  Item ids run from 1 to 32767 and
// are never reused: "nextItem" keeps the next one once items were removed.
//
// Measures (indents, leading, spaces, tab positions, sizes, bounds) are in
// points and kept as 16.16 values; a baseline shift is a fraction of the
// size.  A story's text is a string, or an array of UTF-16 units when it is
// not well-formed UTF-16.  Every field may be left out and then has the
// value shown above as 0, false, empty or, for "paragraphFormats" and
// "characterAttributes", one record of defaults (size 12); "format" and
// "version" are required.  Written files leave out what has its default, so
// a file written that way reads back and writes out unchanged.  Keys are
// checked: an unknown key, a value of the wrong type or out of range, or a
// document that does not hold together (DocumentContent::Check) is refused.
#pragma once

#include <cstdint>
#include <string>

#include "host/doc_save.h"
#include "host/document.h"

namespace xthost {

// Files above this size are refused before they are parsed, and no
// document is saved larger: what the host writes, it opens again.
constexpr std::size_t kMaxDocumentFile = 64u << 20;
// The limit in force: kMaxDocumentFile, or what SetMaxDocumentFile set (the
// XTHOST_MAX_DOCUMENT test hook).
std::size_t MaxDocumentFile();
void SetMaxDocumentFile(std::size_t bytes);
// Whether `error` of a failed save says the document was larger than the
// limit (nothing was written).
bool TooLargeToOpen(const std::string& error);

// Parses a document file's bytes into *content; false with the reason, and
// *content unchanged, for anything that is not a whole, valid document.
bool ParseDocument(const std::string& bytes, DocumentContent* content, std::string* error);

// The file text of `content`, fields at their defaults left out; indented
// as a saved document, or on one line.
std::string FormatDocument(const DocumentContent& content, bool indented = true);

// Reads the document at `path`: 0, kXTErrNotFound, kXTErrIo, or
// kXTErrNotDocument (with the reason in *error).  *stamp (when given) is
// the stamp of the file it was read from.
int32_t LoadDocumentFile(const std::string& path, DocumentContent* content, std::string* error,
                         FileStamp* stamp = nullptr);

// Writes the document to `path` whole or not at all (see WriteDocumentText:
// links followed, permissions kept, a read-only document refused, and with
// `opened` a file put there since the document was read; a text larger
// than MaxDocumentFile refused before anything is touched): 0,
// kXTErrNoFolder, kXTErrDiskFull (no space left on the disk or in the
// user's quota), or kXTErrIo (with the reason in *error).
int32_t SaveDocumentFile(const std::string& path, const DocumentContent& content,
                         std::string* error, const FileStamp* opened = nullptr,
                         FileStamp* written = nullptr);

// Writes the document on one line into the file at `path` in place, made
// when missing and never through a link: a copy to be read back at once,
// so no temporary file, no sync and no rename; refused as a save is when
// larger than MaxDocumentFile.  0, kXTErrNoFolder,
// kXTErrDiskFull (no space left on the disk or in the user's quota), or
// kXTErrIo (with the reason in *error), as SaveFailure answers.
int32_t SaveDocumentCopyFile(const std::string& path, const DocumentContent& content, std::string* error);

}  // namespace xthost
