// Growing a text box whose translated text overflows it, inside its page.
// Both act on the host's current box and current document.  Host thread
// only.
//
// (Interface only here: the bodies come with the host's fitting calls.)
#pragma once

#include <cstdint>

// Whether the current box's text overflows.
bool BoxOverflows();
// Grows the current box until its text fits, at most 20 times; `paragraph`
// is the last paragraph index of the story.
void EnlargeBox(int32_t paragraph);
