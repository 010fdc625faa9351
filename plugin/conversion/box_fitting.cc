#include "plugin/conversion/box_fitting.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <ostream>
#include <string>

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
  if (QHandle::TryAllocate(0, &table) != kXTOk) {
    NoteHostFailure();  // the box would keep its size unseen
    return false;
  }
  uint32_t count = 0;
  XTLineRecord last;
  if (HostCall("line_table", XT().lgk2->line_table(box, table.Get(), &count)) != kXTOk || count == 0 ||
      !table.CopyOut((count - 1) * sizeof last, &last, sizeof last))
    return false;
  return last.overflow == kXTOverflowMark;
}

// The host's reason for refusing the record of a locked item.
constexpr int16_t kLockedConstraint = 1;

// Host page numbers from this one up lie beside the pages (on the
// pasteboard): the number less this is the spread.
constexpr int16_t kOffPages = 2000;

}  // namespace

std::string BoxName(XTItem box) {
  const XTLayoutSuite* layout = XT().lgk2;
  std::string name = "the text box";
  int32_t story = 0;
  if (layout->item_story(box, &story) == kXTOk) name += " of story " + std::to_string(story);
  XTPageInfo info{};
  if (layout->page_info(box, &info) != kXTOk) return name;
  uint8_t master = 0;
  if (layout->is_master_item(box, 0, &master) == kXTOk && master != 0)
    return name + " on master spread " + std::to_string(info.spread);
  if (info.page_number > kOffPages) return name + " beside spread " + std::to_string(info.spread);
  return name + " on page " + std::to_string(info.page_number);
}

namespace {

// Logs that `box`, whose text does not fit, keeps its size for `why`, so
// that its story stays overset.
void LogHeldBox(XTItem box, const char* why) {
  ProgramLog() << "WARNING: " << BoxName(box) << " cannot grow (" << why << "): its text stays overset"
               << std::endl;
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
    ProgramLog() << "ERROR: " << BoxName(box) << " was not grown: the host refused its record (reason "
                 << constraint << ")" << std::endl;
  }
  return HostCall("store_box_record", stored) == kXTOk;
}

// Anchored items deeper than this are not followed.
constexpr int kMaxDepth = 16;

// Finds the items that locked groups hold among the items of the spreads
// the view shows, the items anchored in their stories and the members of
// their groups, at any depth.
class HeldFinder {
 public:
  explicit HeldFinder(std::unordered_set<XTItem>& held) : mHeld(held) {}

  void WalkShownSpreads() {
    const XTLayoutSuite* layout = XT().lgk2;
    int16_t spreads = 0;
    if (HostCall("spread_count", layout->spread_count(&spreads)) != kXTOk) return;
    for (int32_t spread = 1; spread <= spreads; ++spread) {
      XTItem item = 0;
      if (HostCall("first_item", layout->first_item(spread, &item), kXTErrNoItem) != kXTOk) continue;
      while (item != 0) {
        Visit(item, 0, false);
        XTItem next = 0;
        if (HostCall("next_item", layout->next_item(item, &next), kXTErrNoItem) != kXTOk) break;
        item = next;
      }
    }
  }

 private:
  // `held`: a locked group holds `item`.  A group's members come after it
  // in the walk; an item first met as a free one is visited again when a
  // locked group turns out to hold it.
  void Visit(XTItem item, int depth, bool held) {
    if (depth > kMaxDepth) return;
    const auto [seen, fresh] = mSeen.try_emplace(item, held);
    if (!fresh && (seen->second || !held)) return;
    seen->second = held;
    if (held) mHeld.insert(item);
    const XTLayoutSuite* layout = XT().lgk2;
    uint8_t answer = 0;
    if (HostCall("is_group", layout->is_group(item, &answer)) == kXTOk && answer != 0) {
      uint8_t locked = 0;
      const bool holds =
          held || (HostCall("is_locked", layout->is_locked(item, &locked)) == kXTOk && locked != 0);
      uint16_t count = 0;
      const QHandle members = QHandle::Adopt(GetGroupMembers(item, &count));
      for (uint16_t i = 0; i < count; ++i) {
        XTItem member = 0;
        if (!members.CopyOut(i * sizeof member, &member, sizeof member)) break;
        Visit(member, depth, holds);
      }
      return;
    }
    int32_t story = 0;
    if (HostCall("is_text_box", layout->is_text_box(item, &answer)) == kXTOk && answer != 0 &&
        HostCall("item_story", layout->item_story(item, &story)) == kXTOk && story > 0 &&
        mStories.insert(story).second) {
      VisitAnchored(story, depth + 1);
    }
  }

  // The items anchored in `story`: they move with its text, whatever holds
  // its box.
  void VisitAnchored(int32_t story, int depth) {
    try {
      StoryRunIterator iterator(story);
      StoryRunPosition position;
      StoryRunIterator::Begin(position, iterator);
      while (iterator.HasMore(position)) {
        if (iterator.CurrentOpcode(position) == kXTOpAnchoredBox) {
          if (const XTItem anchored = AnchoredItemAt(story, position.boundary)) Visit(anchored, depth, false);
        }
        iterator.Advance(position);
      }
    } catch (const std::bad_alloc&) {
      // A run table the host did not give: its failed call is counted.
    }
  }

  std::unordered_set<XTItem>& mHeld;
  std::unordered_map<XTItem, bool> mSeen;  // whether held when last visited
  std::unordered_set<int32_t> mStories;
};

// Finds what locked groups hold on both sides of the current layout's view,
// the side it shows first; the view is shown again as it was found.
void FindHeld(std::unordered_set<XTItem>& held) {
  HeldFinder finder(held);
  finder.WalkShownSpreads();
  int32_t view = xt_getdocviewref();
  uint8_t masters = 0;
  if (view == 0 ||
      HostCall("view_shows_masters", XT().lgk2->view_shows_masters(view, &masters)) != kXTOk)
    return;
  const int32_t shown = masters == 0 ? 0 : std::max(xt_viewshownindex(view), 1);
  if (xt_viewgotomaster(view, masters == 0 ? 1 : 0) != kXTOk) return;
  finder.WalkShownSpreads();
  xt_viewgotomaster(view, shown);
}

}  // namespace

bool LockedGroups::Hold(XTItem item) {
  const auto [held, fresh] = mHeld.try_emplace(xt_getdocref().value);
  if (fresh) FindHeld(held->second);
  return held->second.count(item) != 0;
}

bool BoxOverflows() {
  LockedGroups groups;
  return BoxOverflows(groups);
}

bool BoxOverflows(LockedGroups& groups) {
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
  // A box without inset has a text area equal to its bounds and still
  // overflows when its last line says so, so the line table alone decides;
  // its record tells below whether the host would take it back grown.
  if (!LastLineOverflows(box)) return false;
  if (locked != 0) {
    LogHeldBox(box, "it is locked");
    return false;
  }
  if (groups.Hold(box)) {
    LogHeldBox(box, "its group is locked");
    return false;
  }
  // A box whose own record the host refuses (no size, too few points)
  // keeps its size as a locked box does.
  if (const char* why = UnusableBoxShape(box)) {
    LogHeldBox(box, why);
    return false;
  }
  return true;
}

void EnlargeBox(int32_t lastParagraph) {
  LockedGroups groups;
  EnlargeBox(lastParagraph, groups);
}

void EnlargeBox(int32_t lastParagraph, LockedGroups& groups) {
  if (!xt_getdocref().IsValid()) return;
  const XTItem box = FittingBox();
  if (box == 0) return;
  EnsureOverflowMark();
  int32_t limit[4] = {};  // top, left, bottom, right
  if (GetBoxPageBounds(box, &limit[1], &limit[0], &limit[3], &limit[2]) != kXTOk) return;
  if (const char* why = UnusableBoxShape(box)) {
    LogHeldBox(box, why);
    return;
  }
  XTBox current = 0;
  if (HostCall("current_box", XT().lgh2->current_box(&current)) == kXTOk && current != 0)
    HostCall("select_text", XT().lgh2->select_text(current, 0, 0));
  for (int i = 0; i < kTries; ++i) {
    if (!GrowOnce(box, limit, lastParagraph > 0)) break;
    if (!BoxOverflows(groups)) break;
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
