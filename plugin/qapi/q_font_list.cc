#include "plugin/qapi/q_font_list.h"

#include <cstring>
#include <ostream>

#include "plugin/qapi/code_pages.h"
#include "plugin/qapi/q_handle.h"
#include "plugin/qapi/qapi_trace.h"
#include "support/host_link.h"
#include "support/host_result.h"
#include "support/program_log.h"

namespace {

// Units of the name buffer the host fills (510 bytes); a name keeps at most
// one unit fewer, below the record's capacity.
constexpr int32_t kNameUnits = 255;
constexpr int32_t kFontEntrySize = 12;

}  // namespace

QFontList::QFontList() {
  const HostLink& link = XT();
  const XTFontSuite* fonts = link.lgj2;
  if (link.projects == nullptr || fonts == nullptr || link.lge2 == nullptr) return;
  XTProject project = 0;
  if (HostCall("current_project", link.projects->current_project(&project), kXTErrNoDocument) != kXTOk) return;
  if (HostCall("check_fonts", fonts->check_fonts(project)) != kXTOk) return;
  XTHandle list_handle = 0;
  int32_t owner = 0;
  if (HostCall("font_list", fonts->font_list(project, &list_handle, &owner)) != kXTOk || list_handle == 0) return;
  QHandle list = QHandle::Adopt(list_handle);
  uint16_t count = 0;
  if (owner == 0 || !list.CopyOut(0, &count, sizeof count)) return;
  for (int32_t index = count; index >= 1; --index) {
    char16_t name[kNameUnits + 1] = {};
    uint16_t id = 0;
    if (HostCall("font_entry", fonts->font_entry(list.Get(), index, &id, name, kNameUnits, kFontEntrySize, 1)) !=
        kXTOk) {
      continue;
    }
    name[kNameUnits - 1] = u'\0';
    // A name cut there may end with the first half of a pair: half a
    // character that no font is named with.
    if (name[kNameUnits - 2] >= 0xD800 && name[kNameUnits - 2] <= 0xDBFF) name[kNameUnits - 2] = u'\0';
    // A font of its own script is listed under that script; a host without
    // the call lists every font under its own script, a failed call is
    // counted (the font's runs would be written in another code page).
    uint16_t script = kHostFontScript;
    if (fonts->font_script == nullptr ||
        HostCall("font_script", fonts->font_script(list.Get(), index, &script)) != kXTOk) {
      script = kHostFontScript;
    }
    auto record = std::make_unique<HostFontRecord>();
    record->fontId = id;
    Mixer::AppendBoundedWide(record->name, name);
    record->codePage = WinCodePageOf(script);
    record->script = script;
    if (fonts_.count(id) != 0) QuarkInternalError("Plugin\\Qapi\\QFontList", 224);
    Insert(id, std::move(record));
  }
}

const HostFontRecord* QFontList::FindFont(uint16_t fontId) const {
  const HostFontRecord* record = Find(fontId);
  if (record == nullptr) {
    ProgramLog() << "##### fontID " << std::hex << fontId << "  (" << std::dec << fontId
                 << ") is not found" << " will return something" << std::endl;
  }
  return record;
}

int32_t HostFindFontByName(const std::string& name, uint16_t* id) {
  const XTFontSuite* fonts = XT().lgj2;
  // A host without the look-up knows no font by name.
  if (fonts == nullptr || fonts->find_font_by_name == nullptr) return kXTErrNotFound;
  const int32_t result =
      fonts->find_font_by_name(name.data(), static_cast<int32_t>(name.size()), id);
  if (result != kXTOk && result != kXTErrNotFound) LogUncountedFailure("find_font_by_name", result);
  return result;
}

const HostFontRecord* QFontList::FindByName(const char16_t* name) const {
  if (name == nullptr) return nullptr;
  for (const auto& [id, record] : fonts_) {
    const char16_t* mine = record->name.text;
    std::size_t i = 0;
    while (mine[i] != u'\0' && mine[i] == name[i]) ++i;
    if (mine[i] == name[i]) return record.get();
  }
  return nullptr;
}

void QFontList::Insert(uint16_t fontId, std::unique_ptr<HostFontRecord> record) {
  fonts_[fontId] = std::move(record);
}

HostFontRecord* QFontList::Find(uint16_t fontId) const {
  auto it = fonts_.find(fontId);
  return it == fonts_.end() ? nullptr : it->second.get();
}
