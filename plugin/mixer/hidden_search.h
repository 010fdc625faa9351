// The partner of a hidden-text marker in a story, past nested pairs.
// Host thread only.
#pragma once

#include <cstdint>

// Looks in story `story` for the marker that pairs with the one at
// *position.  `flags` carries the hidden bits of the marker sought (0x40, a
// closing marker, searching forward, direction 1, from the opening marker's
// position; 0x20, an opening marker, searching backward, direction 0, from
// the closing marker's position + 1).  Markers of the other kind met on the
// way open a nested pair, each closed by the next marker sought, so pairs
// match by depth; without nesting the answer is the first marker sought.
// `argument` and `limit` go to the host's run search (forward searches stop
// before `limit`).  True with the partner's position in *position; false,
// *position unchanged, when there is none.
bool FindMatchingHiddenRun(int32_t story, int32_t* position, uint16_t direction, uint32_t flags,
                           uint32_t argument, int32_t limit);
