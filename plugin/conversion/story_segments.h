// The 16-byte records that drive the import of one story: the host
// segments of the story as it stands (FixedStory) and the container's plan
// of the translated story (AnchorCollector).  Held in double-ended queues.
#pragma once

#include <cstdint>
#include <deque>

struct StorySegment {
  // Kinds below 0; kinds from 0 on are the id of an anchored object.
  static constexpr int32_t kText = -3;
  static constexpr int32_t kParagraphEnd = -2;

  int32_t kind = kText;
  // An object's hidden kind: 1 opening marker ("start"), 0 closing marker
  // ("end"), 1000 anything else.
  int32_t value = 0;
  // Host segments: start and end in the host story.  Plan: paragraph index
  // and run index (-1 for a paragraph end).
  int32_t a = 0;
  int32_t b = 0;
};

using StorySegments = std::deque<StorySegment>;
