#include "plugin/mixer/hidden_search.h"

#include "support/host_link.h"

namespace {

constexpr uint32_t kHiddenBits = 0x60;

}  // namespace

bool FindMatchingHiddenRun(int32_t story, int32_t* position, uint16_t direction, uint32_t flags,
                           uint32_t argument, int32_t limit) {
  const XTItemDataSuite* data = XT().lgl2;
  if (data == nullptr || position == nullptr) return false;
  const bool forward = direction == 1;
  const uint32_t nestedFlags = flags ^ kHiddenBits;
  // The host's search answers the first marker at or after the cursor
  // (forward) or the last one before it (backward).
  auto find = [&](uint32_t wanted, int32_t cursor, int32_t* found) {
    *found = cursor;
    if (data->find_run(story, found, direction, wanted, argument, limit) != kXTOk) return false;
    // A search that does not move on would never end.
    return forward ? *found >= cursor : *found < cursor;
  };
  // The marker we start from stands at the position (forward) or just
  // before it (backward); markers of its kind are looked for past it.
  int32_t soughtCursor = *position;
  int32_t nestedCursor = forward ? *position + 1 : *position - 1;
  int depth = 0;
  for (;;) {
    int32_t sought = 0;
    if (!find(flags, soughtCursor, &sought)) return false;
    int32_t nested = 0;
    const bool opensNested =
        find(nestedFlags, nestedCursor, &nested) && (forward ? nested < sought : nested > sought);
    const int32_t met = opensNested ? nested : sought;
    if (opensNested) {
      ++depth;
    } else if (depth == 0) {
      *position = sought;
      return true;
    } else {
      --depth;
    }
    soughtCursor = nestedCursor = forward ? met + 1 : met;
  }
}
