// QStory: text ranges of one story, collected during a walk and removed
// from the host story in one pass.  Host thread only.
#pragma once

#include <cstdint>
#include <deque>
#include <utility>

class QStory {
 public:
  // An empty queue; `fromEnd` removes the ranges from the back to the front.
  QStory(int32_t storyId, bool fromEnd);

  // Queues [start, end) when start < end; always records `end` as the last
  // end offered.
  void AddRange(int32_t start, int32_t end);

  // Removes the queued ranges from the story (neighbouring ranges as one),
  // with the story's box made the current text and its option 0 off for
  // the time, then empties the queue.  The box interface is told (entry 4,
  // with 0) and the text-change counter moves before and after the
  // deletions.  Ranges that are not ascending, overlap or
  // leave the story are refused: nothing is deleted, an "ERROR:" line goes
  // to the program log and the result is false (also when the host refuses
  // a deletion, after which no further range is deleted).
  bool Apply();

  int32_t storyId;
  bool fromEnd;
  std::deque<std::pair<int32_t, int32_t>> ranges;
  int32_t total = 0;    // length of the queued ranges
  int32_t lastEnd = 0;  // the end of the last range offered
};
