// Composition: how the text of a story flows through the boxes of its
// chain, as lines.
//
// Composition is lazy and per chain: a chain is laid out again only when
// its lines are asked for after its story's text or one of its boxes
// changed.  The metrics are the host's own and deterministic (host/README.md
// gives them): every box shows the lines that fit its text area, the chain's
// last box holds the overset lines.  Hidden text takes no room.
#pragma once

#include <cstddef>
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
// The same lines without a copy, valid until the next composition; null
// for an item that shows no text.
const std::vector<XTLineRecord>* LinesOfBox(const DocumentContent& content, int32_t box_id);

// Whether the text of the chain that box `box_id` belongs to does not fit.
bool ChainOverflows(const DocumentContent& content, int32_t box_id);

// Where a unit of a story shows: the text box of its chain whose lines
// hold it, those lines (valid until the next composition) and the line's
// index in them.  Overset units are in the chain's last box, and so is the
// end of the text when the chain ends with a text box.
struct LinePlace {
  int32_t box = 0;
  std::size_t line = 0;
  const std::vector<XTLineRecord>* lines = nullptr;
};
// The place of unit `position` of `story` (a story of `content`); false
// when no line holds it.
bool LineOfUnit(const DocumentContent& content, const Story& story, int32_t position,
                LinePlace* place);

// Forgets every composition of `content`: needed after a box's bounds or
// inset changed, or records of the format and attribute tables changed in
// place.  Changes of a story are seen by its revision, items that come or
// go by the document's items (version and number), so that a composition
// is checked in a time that does not grow with its chain or story.  A
// document's lines go with it by themselves (DocumentContent::composition).
void InvalidateComposition(const DocumentContent& content);

// Chains laid out since the host started (tests tell a cached answer by it).
uint64_t CompositionCount();
// Of those, the layouts that took memory anew for their units or lines: a
// layout keeps its memory for the next one of the same story, so the steps
// of a box that grows until its text fits take none.
uint64_t CompositionAllocations();

// The xthost command "lines" (`value` BOX, a box's own id in the current
// document): one transcript line per line record of the box,
//   box B line I offset O length N paragraph P vertical V|overset x X
//     width W height H [overflow]
// with measures in points.  False when the command failed, with the line
// "NAME failed: REASON" in the transcript and on standard error.
bool RunComposeCommand(Host& host, const std::string& name, const std::string& value);

}  // namespace xthost
