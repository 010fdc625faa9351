#include "plugin/conversion/box_fitting.h"

#include <cstring>
#include <ostream>

#include "platform/xt/xt_layout_suites.h"
#include "plugin/mixer/doc_view.h"
#include "plugin/mixer/host_pages.h"
#include "plugin/mixer/mixer_boxes.h"
#include "plugin/qapi/box_call.h"
#include "plugin/qapi/q_handle.h"
#include "plugin/qapi/story_runs.h"
#include "support/host_link.h"
#include "support/host_result.h"
#include "support/program_log.h"

namespace {

constexpr int32_t kStep = 0x120000;  // 18 points
constexpr int kTries = 20;

// The box the fitting acts on: the last box of the current box's chain, or
// the current box itself when the host names no chain (kXTErrNoItem); 0
// when there is no current box or a call failed.
//
// Every host call of the fitting is counted when it fails: a box left at
// its size would hide the end of its longer text, and the import must not
// say it was done.
XTItem FittingBox() {
  const HostLink& link = XT();
  if (link.lgh2 == nullptr || link.lgk2 == nullptr) return 0;
  XTBox box = 0;
  if (HostCall("current_box", link.lgh2->current_box(&box)) != kXTOk || box == 0) return 0;
  XTItem last = 0;
  const int32_t chain = HostCall("chain_end", link.lgk2->chain_end(box, &last), kXTErrNoItem);
  if (chain == kXTErrNoItem) return box;
  return chain == kXTOk ? last : 0;
}

// Line tables carry the "does not fit" mark only while the host's
// preference is on.
void EnsureOverflowMark() {
  const XTApplicationSuite* application = XT().application;
  if (application == nullptr) return;
  uint8_t on = 0;
  if (HostCall("preference", application->preference(kXTPrefOverflowMark, &on)) == kXTOk && on == 1) return;
  HostCall("set_preference", application->set_preference(kXTPrefOverflowMark, 1));
}

bool LastLineOverflows(XTItem box) {
  QHandle table;
  if (QHandle::TryAllocate(0, &table) != kXTOk) return false;
  uint32_t count = 0;
  XTLineRecord last;
  if (HostCall("line_table", XT().lgk2->line_table(box, table.Get(), &count)) != kXTOk || count == 0 ||
      !table.CopyOut((count - 1) * sizeof last, &last, sizeof last))
    return false;
  return last.overflow == kXTOverflowMark;
}

// The host's reason for refusing the record of a locked item.
constexpr int16_t kLockedConstraint = 1;

// Logs that `box`, whose text does not fit, keeps its size for `why`, so
// that its story stays overset.
void LogHeldBox(XTItem box, const char* why) {
  int32_t story = 0;
  std::ostream& log = ProgramLog() << "WARNING: box " << box;
  if (XT().lgk2->item_story(box, &story) == kXTOk) log << " of story " << story;
  log << " cannot grow (" << why << "): its text stays overset" << std::endl;
}

// One try of the growth: the record's edges that stay inside `limit` (top,
// left, bottom, right) are written back, the grown right edge only when it
// stays inside too.  False when no edge could be written, which ends the
// growth.
bool GrowOnce(XTItem box, const int32_t limit[4], bool growBottom) {
  const XTLayoutSuite* layout = XT().lgk2;
  XTHandle made = 0;
  if (HostCall("box_record", layout->box_record(box, &made)) != kXTOk || made == 0) return false;
  QHandle block = QHandle::Adopt(made);
  XTBoxRecord record;
  if (!block.CopyOut(0, &record, sizeof record)) return false;
  const int32_t top = record.bounds[0];
  const int32_t left = record.bounds[1];
  const int32_t bottom = growBottom ? record.bounds[2] + kStep : record.bounds[2];
  const int32_t right = record.bounds[3] + kStep;
  bool enlarge = false;
  if (top >= limit[0]) {
    record.bounds[0] = top;
    enlarge = true;
  }
  if (left >= limit[1]) {
    record.bounds[1] = left;
    enlarge = true;
  }
  if (bottom <= limit[2]) {
    record.bounds[2] = bottom;
    enlarge = true;
  }
  if (right <= limit[3]) {
    record.bounds[3] = right;
  } else if (!enlarge) {
    return false;
  }
  const XTDocRef document = xt_getdocref();
  if (document.IsValid()) {
    HostCall("document_request", layout->document_request(document.value, kXTRequestRecompose));
  }
  if (!block.CopyIn(0, &record, sizeof record)) return false;
  int16_t constraint = 0;
  const int32_t stored = layout->store_box_record(block.Get(), box, 0, 1, &constraint);
  if (stored == kXTErrConstraint && constraint == kLockedConstraint) {
    // Locked since the test, or through something the test does not see:
    // the box keeps its size, as a locked box does.
    LogHeldBox(box, "it is locked");
    return false;
  }
  if (stored == kXTErrConstraint) {
    ProgramLog() << "ERROR: box " << box << " was not grown: the host refused its record (reason "
                 << constraint << ")" << std::endl;
  }
  return HostCall("store_box_record", stored) == kXTOk;
}

// Whether `box` is among the members of `group` or of a group within it.
bool GroupHolds(XTItem group, XTItem box) {
  uint16_t count = 0;
  const QHandle members = QHandle::Adopt(GetGroupMembers(group, &count));
  for (uint16_t i = 0; i < count; ++i) {
    XTItem member = 0;
    if (!members.CopyOut(i * sizeof member, &member, sizeof member)) return false;
    uint8_t isGroup = 0;
    if (member == box) return true;
    if (HostCall("is_group", XT().lgk2->is_group(member, &isGroup)) == kXTOk && isGroup != 0 &&
        GroupHolds(member, box))
      return true;
  }
  return false;
}

// Whether a locked group of the view's spreads holds `box`: the user locked
// the box through its group, though the host refuses the records of items
// locked themselves only.
bool LockedThroughGroup(XTItem box) {
  const XTLayoutSuite* layout = XT().lgk2;
  int16_t spreads = 0;
  if (HostCall("spread_count", layout->spread_count(&spreads)) != kXTOk) return false;
  for (int32_t spread = 1; spread <= spreads; ++spread) {
    XTItem item = 0;
    if (HostCall("first_item", layout->first_item(spread, &item), kXTErrNoItem) != kXTOk) continue;
    while (item != 0) {
      uint8_t isGroup = 0;
      uint8_t locked = 0;
      if (HostCall("is_group", layout->is_group(item, &isGroup)) == kXTOk && isGroup != 0 &&
          HostCall("is_locked", layout->is_locked(item, &locked)) == kXTOk && locked != 0 &&
          GroupHolds(item, box))
        return true;
      XTItem next = 0;
      if (HostCall("next_item", layout->next_item(item, &next), kXTErrNoItem) != kXTOk) break;
      item = next;
    }
  }
  return false;
}

}  // namespace

bool BoxOverflows() {
  if (!xt_getdocref().IsValid()) return false;
  const XTItem box = FittingBox();
  if (box == 0) return false;
  const XTLayoutSuite* layout = XT().lgk2;
  uint8_t keeps = 0;
  if (HostCall("keeps_size", layout->keeps_size(box, &keeps)) != kXTOk || keeps != 0) return false;
  // A box the user locked keeps its size too; its overflow is logged.
  uint8_t locked = 0;
  if (HostCall("is_locked", layout->is_locked(box, &locked)) != kXTOk) return false;
  EnsureOverflowMark();
  int32_t outer[4] = {};
  int32_t inner[4] = {};
  if (HostCall("outer_bounds", layout->outer_bounds(box, 0, 2, outer)) != kXTOk ||
      HostCall("text_area", layout->text_area(box, 2, inner)) != kXTOk)
    return false;
  // The bounds are read for the host's sake only: a box without inset has
  // a text area equal to its bounds and still overflows when its last line
  // says so, so the line table alone decides.
  if (!LastLineOverflows(box)) return false;
  if (locked != 0) {
    LogHeldBox(box, "it is locked");
    return false;
  }
  if (LockedThroughGroup(box)) {
    LogHeldBox(box, "its group is locked");
    return false;
  }
  return true;
}

void EnlargeBox(int32_t lastParagraph) {
  if (!xt_getdocref().IsValid()) return;
  const XTItem box = FittingBox();
  if (box == 0) return;
  EnsureOverflowMark();
  int32_t limit[4] = {};  // top, left, bottom, right
  if (GetBoxPageBounds(box, &limit[1], &limit[0], &limit[3], &limit[2]) != kXTOk) return;
  XTBox current = 0;
  if (HostCall("current_box", XT().lgh2->current_box(&current)) == kXTOk && current != 0)
    HostCall("select_text", XT().lgh2->select_text(current, 0, 0));
  for (int i = 0; i < kTries; ++i) {
    if (!GrowOnce(box, limit, lastParagraph > 0)) break;
    if (!BoxOverflows()) break;
  }
  if (QapiBoxCall4(1) == 0) NoteTextChange();
}

int32_t SendDocumentRequest(int32_t request) {
  const XTLayoutSuite* layout = XT().lgk2;
  const XTDocRef document = xt_getdocref();
  if (layout == nullptr) return kXTErrNoSuite;
  if (!document.IsValid()) return kXTErrNoDocument;
  return layout->document_request(document.value, request);
}
