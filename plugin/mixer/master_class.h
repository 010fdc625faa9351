// The master-page class of a box, from the two registries, and the story
// ids of the registered master boxes and their layout boxes.  Host thread
// only.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/xt/xt_layout_suites.h"

class Mapper;

enum MasterBoxClass : int32_t {
  kLayoutBoxNotLinked = 1,     // "Layout box (NOT linked to any master)"
  kLayoutBoxLinked = 2,        // "Layout box linked to master (NOT autotext)"
  kAutotextBoxLinked = 3,      // "Autotext box linked to master"
  kMasterBoxNotUsed = 4,       // "Masterpage box (NOT used)"
  kMasterBoxUsed = 5,          // "Masterpage box (used)"
};

// The trace label of a class.
const char* MasterBoxClassLabel(MasterBoxClass value);

// A registered master box is 4 or 5 (its master page goes to *masterPage
// when given); else a layout box some master uses is 3 when it is in
// LinkedBoxRegistry, 2 when not; any other box 1.  Traced.
MasterBoxClass ClassifyBox(const XTItem& box, uint16_t* masterPage);

// Gives every registered master box, and every layout box in its users, the
// first id i (0, 1, ...) for which `findBox`(i) returns it, scanning until
// `findBox` returns 0.  An id above `storyCount` is not taken and writes
// "ERROR: Invalid story ID for master box" (or "... layout box") with i to
// the trace.  A box never returned keeps -1.
void AssignBoxStoryIds(const std::function<XTItem(int32_t)>& findBox, int32_t storyCount);
// The same with the Mapper's FindBox and story count.
void AssignBoxStoryIds(Mapper& mapper);
