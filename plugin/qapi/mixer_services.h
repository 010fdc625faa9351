// Services of the layout mapping that the document access layer uses:
// bounded texts (8-bit and wide), the content tool, making a story's box the
// current text, and the file location of the current document.  Host thread
// only.
#pragma once

#include <cstdint>
#include <string>

#include "platform/xt/xt_doc_suites.h"

// A fixed-capacity wide text: the capacity in units (terminator included)
// and the units.  One unit of room beyond the capacity keeps it terminated.
template <uint32_t Capacity>
struct BoundedWideText {
  uint32_t mMaxLen = Capacity;
  char16_t text[Capacity + 1] = {};
};

// The same for 8-bit text.
template <uint32_t Capacity>
struct BoundedText {
  uint32_t mMaxLen = Capacity;
  char text[Capacity + 1] = {};
};

// The number of units of a bounded text before its terminator.
template <uint32_t Capacity>
uint32_t WideStringLength(const BoundedWideText<Capacity>& bounded) {
  uint32_t length = 0;
  while (length < Capacity && bounded.text[length] != u'\0') ++length;
  return length;
}

namespace Mixer {

// The address of a bounded text's first unit.
template <class Bounded>
auto TextPtr(Bounded& bounded) -> decltype(&bounded.text[0]) {
  return &bounded.text[0];
}

// Copies the NUL-terminated `source`, terminator included, into `text` of
// capacity `maxLen`, from its first unit.  A source that reaches the
// capacity is reported through AssertFail ("theLen < mMaxLen"), which never
// blocks, and is cut so the text stays terminated within the capacity.
void CopyBoundedWide(uint32_t maxLen, char16_t* text, const char16_t* source);

template <uint32_t Capacity>
void CopyBoundedWide(BoundedWideText<Capacity>& bounded, const char16_t* source) {
  CopyBoundedWide(bounded.mMaxLen <= Capacity ? bounded.mMaxLen : Capacity, bounded.text, source);
}
// The same for 8-bit text.
void CopyBounded(uint32_t maxLen, char* text, const char* source);

template <uint32_t Capacity>
void CopyBounded(BoundedText<Capacity>& bounded, const char* source) {
  CopyBounded(bounded.mMaxLen <= Capacity ? bounded.mMaxLen : Capacity, bounded.text, source);
}

// The same service under the name the font list uses.
template <uint32_t Capacity>
void AppendBoundedWide(BoundedWideText<Capacity>& bounded, const char16_t* source) {
  CopyBoundedWide(bounded, source);
}

// Sets the host's tool mode to 1 (the content tool) when it is not; true
// when it is 1 afterwards.
bool EnsureContentTool();

// Makes story `storyId`'s box the current text: the tool mode becomes 1,
// the box becomes the current box when another one is, and its text is
// opened when it is not.  Returns the box that was current before (0 when
// none was).
XTBox MakeCurrent(int32_t storyId);

}  // namespace Mixer

// The location of the current document's file as texts: its name and the
// path of its folder.  0; 12 when an output is missing; else the host's
// error (-43 for an untitled document).
int32_t GetCurrentDocumentLocation(std::string* name, std::string* folder);
