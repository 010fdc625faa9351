#include "plugin/mixer/hidden_search.h"

#include "support/host_link.h"
#include "support/host_result.h"

namespace {

constexpr uint32_t kHiddenBits = 0x60;

// A marker: the character run holding it, [start, end).
struct Marker {
  int32_t start = 0;
  int32_t end = 0;
};

// The host's marker search over one story in one direction.  A marker may
// span several units; the search answers the first unit at or after the
// cursor (forward) or the last one before it (backward), so a backward hit
// is widened to the start of its run.
class MarkerSearch {
 public:
  MarkerSearch(const XTItemDataSuite& data, int32_t story, bool forward, uint32_t argument,
               int32_t limit)
      : data_(data), story_(story), forward_(forward), argument_(argument), limit_(limit) {}

  // The next marker of kind `flags` from `cursor` on.
  bool Next(uint32_t flags, int32_t cursor, Marker* marker) const {
    int32_t unit = cursor;
    if (!Find(flags, forward_ ? 1 : 0, &unit)) return false;
    // A search that does not move on would never end.
    if (forward_ ? unit < cursor : unit >= cursor) return false;
    return Around(flags, unit, marker);
  }

  // The run of kind `flags` holding `unit`.
  bool Around(uint32_t flags, int32_t unit, Marker* marker) const {
    if (HostCall("run_end", data_.run_end(story_, unit, 1, 8, &marker->end)) != kXTOk || marker->end <= unit)
      return false;
    marker->start = unit;
    for (;;) {
      int32_t before = marker->start;
      int32_t end = 0;
      if (before == 0 || !Find(flags, 0, &before) || before != marker->start - 1) break;
      if (HostCall("run_end", data_.run_end(story_, before, 1, 8, &end)) != kXTOk || end != marker->end) break;
      marker->start = before;
    }
    return true;
  }

 private:
  bool Find(uint32_t flags, int32_t direction, int32_t* unit) const {
    // No marker of the kind (kXTErrNoItem) ends the search; a failure ends
    // it too, and is counted: the markers behind would be lost unseen.
    return HostCall("find_run", data_.find_run(story_, unit, direction, flags, argument_, limit_),
                    kXTErrNoItem) == kXTOk;
  }

  const XTItemDataSuite& data_;
  int32_t story_;
  bool forward_;
  uint32_t argument_;
  int32_t limit_;
};

}  // namespace

bool FindMatchingHiddenRun(int32_t story, int32_t* position, uint16_t direction, uint32_t flags,
                           uint32_t argument, int32_t limit) {
  const XTItemDataSuite* data = XT().lgl2;
  if (data == nullptr || position == nullptr) return false;
  const bool forward = direction == 1;
  const uint32_t nestedFlags = flags ^ kHiddenBits;
  const MarkerSearch search(*data, story, forward, argument, limit);

  // The marker we start from is a run of the other kind at the position
  // (forward) or just before it (backward); markers of its kind are looked
  // for past it.
  int32_t soughtCursor = *position;
  int32_t nestedCursor = *position;
  Marker own;
  if (forward && search.Around(nestedFlags, *position, &own)) nestedCursor = own.end;
  if (!forward && *position > 0 && search.Around(nestedFlags, *position - 1, &own))
    nestedCursor = own.start;

  // Each marker of the other kind met first opens a nested pair, which the
  // next marker sought closes.
  int depth = 0;
  for (;;) {
    Marker sought;
    if (!search.Next(flags, soughtCursor, &sought)) return false;
    Marker nested;
    const bool opensNested = search.Next(nestedFlags, nestedCursor, &nested) &&
                             (forward ? nested.start < sought.start : nested.start > sought.start);
    const Marker& met = opensNested ? nested : sought;
    if (opensNested) {
      ++depth;
    } else if (depth == 0) {
      *position = sought.start;
      return true;
    } else {
      --depth;
    }
    soughtCursor = nestedCursor = forward ? met.end : met.start;
  }
}
