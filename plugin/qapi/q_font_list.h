// QFontList: the fonts of a host document, by 16-bit font id.
//
// Each entry owns its host font record: the id, the name as a bounded wide
// text of capacity 255, the Windows code page of the font's script and that
// script (the host lists a font under script 126 unless it names the font's
// own script).  Host thread only.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "plugin/qapi/mixer_services.h"

struct HostFontRecord {
  uint16_t fontId = 0;
  BoundedWideText<255> name;
  uint32_t codePage = 0xFFFF;
  uint16_t script = 126;
};

// The script code the host gives a font without a script of its own.
constexpr uint16_t kHostFontScript = 126;

// The host's font look-up by name (the name in bytes): kXTOk with the
// font's id in *id when the current document has a font of that name,
// kXTErrNotFound when it has none, else the call's failure, logged as a
// failed host call but not counted: only the caller knows whether the
// answer was needed (NoteHostFailure).
int32_t HostFindFontByName(const std::string& name, uint16_t* id);

class QFontList {
 public:
  // The fonts of the current document: none when there is no current
  // project or the host cannot list them.  Names are cut to 254 units so
  // they always end within their record; a font listed twice keeps its
  // later entry (QuarkInternalError, "Plugin\\Qapi\\QFontList", line 224).
  QFontList();
  // An empty list, for lists of one's own.
  struct Empty {};
  explicit QFontList(Empty) {}
  QFontList(const QFontList&) = delete;
  QFontList& operator=(const QFontList&) = delete;

  // The record of `fontId`; null, with the line "##### fontID <hex>  (<dec>)
  // is not found will return something" in the program log, when absent.
  const HostFontRecord* FindFont(uint16_t fontId) const;
  // The first record, in id order, whose name equals `name`; null when none.
  const HostFontRecord* FindByName(const char16_t* name) const;
  // Stores `record` under `fontId`, freeing a record stored there before.
  void Insert(uint16_t fontId, std::unique_ptr<HostFontRecord> record);
  // The record of `fontId`, or null, without a log line.
  HostFontRecord* Find(uint16_t fontId) const;
  std::size_t size() const { return fonts_.size(); }

 private:
  std::map<uint16_t, std::unique_ptr<HostFontRecord>> fonts_;
};
