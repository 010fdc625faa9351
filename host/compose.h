// Composition: how the text of a story flows through the boxes of its
// chain, as lines.
//
// Composition is lazy and per chain: a chain is laid out again only when
// its lines are asked for after its story's text or one of its boxes
// changed.  The metrics are the host's own and deterministic (host/README.md
// gives them): every box shows the lines that fit its text area, the chain's
// last box holds the overset lines.  Hidden text takes no room.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/document.h"
#include "platform/xt/xt_layout_suites.h"

namespace xthost {

class Host;

// The lines composed in box `box_id` of `content`, as the line table gives
// them: the last record carries kXTOverflowMark at byte 36 when the chain's
// text does not fit (only in the chain's last box, which also holds the
// overset lines, their vertical field kXTOversetLine or more).  Empty for an
// item that shows no text.
std::vector<XTLineRecord> BoxLines(const DocumentContent& content, int32_t box_id);

// Whether the text of the chain that box `box_id` belongs to does not fit.
bool ChainOverflows(const DocumentContent& content, int32_t box_id);

// Forgets every composition of `content` (a box's geometry or a chain
// changed).  Text changes are seen by the story's version, changes of
// character runs and of the chain's bounds and insets are seen too; records
// of the format and attribute tables changed in place are not.  A
// document's lines go with it by themselves (DocumentContent::composition).
void InvalidateComposition(const DocumentContent& content);

// Chains laid out since the host started (tests tell a cached answer by it).
uint64_t CompositionCount();

// The xthost command "lines" (`value` BOX, a box's own id in the current
// document): one transcript line per line record of the box,
//   box B line I offset O length N paragraph P vertical V|overset x X
//     width W height H [overflow]
// with measures in points.  False when the command failed, with the line
// "NAME failed: REASON" in the transcript and on standard error.
bool RunComposeCommand(Host& host, const std::string& name, const std::string& value);

}  // namespace xthost
