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

// True when the current box's text does not fit: the host does not keep the
// box at its size, its text area differs from its outer bounds, and the last
// line of its line table carries the host's "does not fit" mark.  False when
// there is no current box or a host call fails, and for a box the user
// locked, which keeps its size: when its text does not fit, the program log
// names the box and its story, which stays overset.
bool BoxOverflows();

// Grows the current box in steps of 18 points until BoxOverflows() is
// false, at most 20 tries: the right edge on every try, the bottom only when
// `lastParagraph` > 0; no edge is moved past the page's limits, and a try
// that can move no edge ends the growth.  The host's refusal of a locked
// box ends it too, logged as above; its other refusals are failed host
// calls, logged with the host's reason.
void EnlargeBox(int32_t lastParagraph);

// Passes the current document to the host's document request `request`
// (3: lay it out again, 1: bring its windows up to date); the host's result.
int32_t SendDocumentRequest(int32_t request);
