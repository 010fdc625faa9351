#include "plugin/mixer/host_pages.h"

#include "plugin/qapi/quark_doc.h"
#include "support/error_names.h"
#include "support/host_calls.h"
#include "support/host_link.h"
#include "support/host_result.h"

namespace {

enum : uint16_t {
  kErrorCreateKxt = 1005,
  kErrorOpenKxt = 1006,
  kErrorTooManyErrors = 1014,
};

int32_t ViewShowsMasters(int32_t view, bool* masters) {
  uint8_t answer = 0;
  const int32_t result = XT().lgk2->view_shows_masters(view, &answer);
  if (result == kXTOk) *masters = answer != 0;
  return result;
}

}  // namespace

int32_t QueryDocumentState(int32_t* state) {
  const XTLayoutSuite* layout = XT().lgk2;
  if (layout == nullptr) return TraceLevel(kXTErrNoSuite, kApiCheckText);
  return TraceLevel(layout->view_state(GetCurrentDocumentId(), state), kApiCheckText);
}

int32_t IsMasterView(bool* masters) {
  const XTLayoutSuite* layout = XT().lgk2;
  if (layout == nullptr || masters == nullptr) return kXTErrNoSuite;
  int32_t view = 0;
  const int32_t result = layout->view_of(GetCurrentDocumentId(), &view);
  if (result != kXTOk) return result;
  return ViewShowsMasters(view, masters);
}

XTPageRef GetPageRef(XTDocRef document, int16_t page) {
  const XTLayoutSuite* layout = XT().lgk2;
  if (layout == nullptr) return 0;
  int32_t view = 0;
  if (layout->view_of(document.value, &view) != kXTOk || view == 0 || page < 1) return 0;
  int32_t number = page;
  bool masters = false;
  if (ViewShowsMasters(view, &masters) != kXTOk) return 0;
  if (!masters) {
    int16_t count = 0;
    if (layout->master_count(&count) != kXTOk) return 0;
    number += count;
  }
  XTPageRef reference = 0;
  if (layout->page_reference(number, &reference) != kXTOk) return 0;
  return reference;
}

int32_t GetDataOwner(int32_t object, int32_t kind) {
  switch (kind) {
    case 0:
    case 1:
    case 3: {
      if (object != 0) return object;
      XTBox box = 0;
      const XTSelectionSuite* selection = XT().lgh2;
      if (selection == nullptr || HostCall("current_box", selection->current_box(&box)) != kXTOk) return 0;
      return box;
    }
    case 2:
      return GetPageRef(XTDocRef(GetCurrentDocumentId()), static_cast<int16_t>(object));
    case 4: {
      const int16_t id = GetCurrentDocumentId();
      return id > 0 ? id : 0;
    }
    case 6:
      return object;
    default:
      return 0;
  }
}

XTHandle GetGroupMembers(XTItem group, uint16_t* count) {
  const XTLayoutSuite* layout = XT().lgk2;
  if (count != nullptr) *count = 0;
  if (layout == nullptr) return 0;
  const XTItem owner = GetDataOwner(group, 0);
  XTHandle members = 0;
  uint16_t number = 0;
  // A group without its members would lose their stories unseen: counted.
  if (HostCall("group_members", layout->group_members(owner, &members, &number)) != kXTOk) return 0;
  if (count != nullptr) *count = number;
  return members;
}

XTItem AnchoredItemAt(int32_t story, int32_t position) {
  XTItem item = 0;
  const XTItemDataSuite* data = XT().lgl2;
  if (data == nullptr ||
      HostCall("anchored_item", data->anchored_item(story, position, &item), kXTErrNoItem) != kXTOk)
    return 0;
  return item;
}

int32_t GetImportAttribKind() { return 2; }

ErrorRecord MakeTooManyErrorsRecord() { return ErrorRecord{kErrorTooManyErrors, MsgString()}; }

ErrorRecord MakeCreateKxtError(const std::string& path) {
  return ErrorRecord{kErrorCreateKxt, MsgString::Create(path.c_str())};
}

ErrorRecord MakeOpenKxtError(const std::string& path) {
  return ErrorRecord{kErrorOpenKxt, MsgString::Create(path.c_str())};
}
