// The two process-wide registries of master boxes and the layout boxes made
// from them, filled by the host's box notices while the plug-in lives:
//
//   LinkedBoxRegistry  layout boxes the host reported as following their
//                      master's text (kind 106), by item handle
//   BoxPairRegistry    master boxes by item handle, each with the layout
//                      boxes the host reported for it (kind 501)
//
// The Mapper empties both right before it edits the master boxes, so that
// afterwards they hold what the host reported for those edits.  Host thread
// only: the notices arrive inside host calls the plug-in makes.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "plugin/mixer/box_records.h"

using BoxPairMap = std::map<XTItem, ct_MBox>;

BoxLinkSet& LinkedBoxRegistry();
BoxPairMap& BoxPairRegistry();

// Removes every entry of both registries.
void EmptyBoxRegistries();

// "Brenix ": what the plug-in's output-style names begin with.
const std::string& ProductPrefix();

// Kind 106 (record XTBoxRec, the layout box in its fourth word): a box that
// is no master item is registered in LinkedBoxRegistry (a second report
// keeps the first record) and traced.  Always 0.
int32_t OnLinkedBoxNotice(void* record);

// Kind 501 (the master box in the third word, the layout box in the
// fourth): for a source that is a master item, its ct_MBox (master page:
// its master spread - 2) is entered in BoxPairRegistry unless there, and
// the layout box added to its users; both traced.  Always 0.
int32_t OnBoxPairNotice(void* record);

// The first master entry, in key order, whose users hold `box`; end() when
// none does.
BoxPairMap::iterator FindMasterOfLayoutBox(const XTItem& box);
