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

// The lines composed in box `box_id` of `content`, as the line table gives
// them: the last record carries kXTOverflowMark at byte 36 when the chain's
// text does not fit (only in the chain's last box, which also holds the
// overset lines, their vertical field kXTOversetLine or more).  Empty for an
// item that shows no text.
std::vector<XTLineRecord> BoxLines(const DocumentContent& content, int32_t box_id);

// Whether the text of the chain that box `box_id` belongs to does not fit.
bool ChainOverflows(const DocumentContent& content, int32_t box_id);

// Forgets every composition of `content` (a box's geometry or a chain
// changed).  Text changes are seen by the story's version.
void InvalidateComposition(const DocumentContent& content);

class Host;
// The xthost command "lines BOX": one transcript line per line of the box.
bool RunComposeCommand(Host& host, const std::string& name, const std::string& value);

}  // namespace xthost
