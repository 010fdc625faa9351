// Character attributes between host text runs and the container's attribute
// sets.
//
// Export: WriteAttributeSet turns the context of one run (an XAttribs made
// from MakeHostTextRecord's record) into the run's attributes: "private",
// "codepage", "typeface", "typeface_codepage", the face attributes,
// "kerning", "tracking", "color_type" and "color_name", "shift" and "size".
// Import: an applier (kind 2) reads a run's attributes back and applies
// faces, size and shift, kerning, tracking, colour and typeface to the
// current host text.  Host thread only.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "platform/xt/xt_doc_suites.h"
#include "plugin/conversion/kxt_export.h"
#include "plugin/qapi/attr_sets.h"
#include "plugin/qapi/host_text.h"

class QFontList;

// The font-name translation of bytes 0x80-0xFF, Windows-1252 to Mac Roman
// (a permutation), and back.
uint8_t FontNameToMac(uint8_t byte);
uint8_t FontNameFromMac(uint8_t byte);

// The import's fonts: the applier's own font list and its cache of
// typefaces already looked up.
class AttrMap {
 public:
  struct Entry {
    uint16_t font = 0;
    bool valid = false;
  };
  // Releases the font list and empties the cache.
  void Clear();

  std::unique_ptr<QFontList> fonts;
  std::map<std::u16string, Entry> cache;
};

class XAttribs {
 public:
  static constexpr int32_t kExport = 1;
  static constexpr int32_t kImport = 2;

  // An export record of one run; `text.range` names the document's font list.
  explicit XAttribs(const HostTextRecord& text);
  // An import applier (kind 2: its own list of the current document's fonts)
  // or a record of another kind, which applies nothing.
  explicit XAttribs(int32_t kind);
  ~XAttribs();
  XAttribs(const XAttribs&) = delete;
  XAttribs& operator=(const XAttribs&) = delete;

  int32_t kind;
  const QFontList* fonts = nullptr;
  XTCharAttrRecord record{};
  int32_t privateValue = 0;
  bool documentFlag = false;           // the font's own code page serves
  uint32_t typefaceCodePage = 0xFFFF;  // the record's, or the Mac code page
  bool fontNameFlag = false;           // the name lies in double-byte ranges
  uint32_t codePage = 0xFFFF;          // the font's, else the run's Windows code page
  AttrMap map;                         // import only
};

// --- export ---

// Writes the whole set of a run: opens it, writes every attribute, closes it
// (also on failure).  A failure is logged as the checkpoint "Attribs::WriteSelf
// FAILED" and not raised.  Runs of equal records under equal values replay
// what the first one added (IAttrs::Replay), unless writing it logged: a
// replay adds the same values but writes nothing to the program log.
void WriteAttributeSet(const XAttribs& record, BX_KXT::Export::IAttrs& set, uint32_t codePage);
// "codepage", "typeface" and "typeface_codepage".
void WriteTypeface(const XAttribs& record, BX_KXT::Export::IAttrs& set, uint32_t codePage);
// The on/off faces, "underline" and "caps"; false when a conflict was logged.
bool WriteFaceAttributes(const XAttribs& record, BX_KXT::Export::IAttrs& set);
// "color_type" and "color_name" of the record's colour; false when the
// colour's reference failed (and was logged).
bool WriteFaceColor(const XAttribs& record, BX_KXT::Export::IAttrs& set);

// --- import ---

// A run's attribute set as the appliers read it: the value in force of a
// name, or null when it has none.
class AttrLookup : public AttrReader {
 public:
  virtual const char16_t* Lookup(const char16_t* name) = 0;
  std::u16string GetAttr(const char16_t* name) override {
    const char16_t* value = Lookup(name);
    return value != nullptr ? value : u"";
  }

 protected:
  ~AttrLookup() = default;
};

// Kind 1: nothing, true; kind 2: ApplyTextAttributes; else false.
bool ApplyAttributes(XAttribs& applier, AttrLookup& set, XTCharAttrRecord& record);
// Faces, size and shift, kerning, tracking and colour onto the current text;
// true when every value was understood.
bool ApplyTextAttributes(AttrLookup& set, XTCharAttrRecord& record);
// The colour named by "color_type" "RGB" and "color_name" (a whole number up
// to 0xFFFFFF), made when the document lacks it.
void ApplyColor(AttrLookup& set);
// The font of "typeface" when the document has it and the record's differs:
// looked up by its name as stored and, failing that, by the name undone
// from the export's encoding ("typeface_codepage": the font's own code
// page, or Windows-1252 through the Mac table).  0, or the host's error
// when it refused the font.
int32_t ApplyTypeface(XAttribs& applier, AttrLookup& set, const XTCharAttrRecord& record);
