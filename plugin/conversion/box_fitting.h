// Growing the host's current text box until its story fits, and the
// document requests that follow changes of text and boxes.
//
// The fitting calls act on the host's current document and current box,
// which the story reader leaves current after writing a story; a linked
// box stands for its chain, whose last box holds the text that does not
// fit, so the test and the growth act on that last box.  The growth stays
// inside the page that holds the box.  Host thread only.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "platform/xt/xt_layout_suites.h"

// The items that locked groups hold, found once per layout of an import
// (locks do not change while it runs) so that no overflow test walks the
// document: the groups of the layout spreads, of the master spreads and
// those anchored in stories, at any depth, with the members of their
// groups.  The view is shown again as it was found.
class LockedGroups {
 public:
  // Whether a locked group of the current layout holds `item`; the
  // layout's groups are found at its first question.
  bool Hold(XTItem item);

 private:
  std::unordered_map<int32_t, std::unordered_set<XTItem>> mHeld;  // by layout document
};

// True when the current box's text does not fit: the host does not keep the
// box at its size, its text area differs from its outer bounds, and the last
// line of its line table carries the host's "does not fit" mark.  False when
// there is no current box or a host call fails, and for a box that keeps its
// size because the user locked it or its group (`groups`) or because the
// host would not take its record back (UnusableBoxShape: no size, or a
// polygon of fewer than three points): when its text does not fit, the
// program log names the box by its story and page and says why, and the
// story stays overset.
bool BoxOverflows(LockedGroups& groups);
// The same with groups found for this call alone.
bool BoxOverflows();

// Grows the current box in steps of 18 points until BoxOverflows() is
// false, at most 20 tries: the right edge on every try, the bottom only when
// `lastParagraph` > 0; no edge is moved past the page's limits, and a try
// that can move no edge ends the growth.  A box whose record the host would
// not take back is not grown, and the host's refusal of a locked box ends
// the growth, both logged as above; its other refusals are failed host
// calls, logged with the host's reason.
void EnlargeBox(int32_t lastParagraph, LockedGroups& groups);
void EnlargeBox(int32_t lastParagraph);

// `box` as the user finds it: "the text box of story S on page P" (on
// "master spread M", or "beside spread N" when it lies off the pages).  The
// host's interface gives no item id, so none is named.  The calls only
// name the box: a failure leaves its part out and is no failure of the
// import.
std::string BoxName(XTItem box);

// Passes the current document to the host's document request `request`
// (3: lay it out again, 1: bring its windows up to date); the host's result.
int32_t SendDocumentRequest(int32_t request);
