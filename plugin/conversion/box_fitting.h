// Growing the host's current text box until its story fits.
//
// Both calls act on the host's current document and current box, which the
// story reader leaves current after writing a story.  The growth stays
// inside the page area that holds the box.  Host thread only.
#pragma once

#include <cstdint>

// True when the current box's text does not fit: the box is not marked as
// exempt, its text area differs from its outer bounds, and the last line of
// its line table carries the host's "does not fit" mark.  False when there
// is no current box.
bool BoxOverflows();

// Grows the current box in steps of 18 points until BoxOverflows() is
// false, at most 20 tries: the right edge on every try, the bottom only
// when `lastParagraph` > 0; no edge is moved past the page's limits.
void EnlargeBox(int32_t lastParagraph);
