#include "plugin/qapi/q_story.h"

#include <ostream>

#include "plugin/qapi/box_call.h"
#include "plugin/qapi/mixer_services.h"
#include "plugin/qapi/qapi_trace.h"
#include "plugin/qapi/story_runs.h"
#include "support/host_link.h"
#include "support/host_result.h"
#include "support/program_log.h"

namespace {

// The option of the story that is switched off during the deletions.
constexpr int32_t kStoryOption = 0;

// Whether the ranges are ascending, apart and inside a text of `length`.
bool RangesFit(const std::deque<std::pair<int32_t, int32_t>>& ranges, int32_t length) {
  int32_t previous_end = 0;
  for (const auto& [start, end] : ranges) {
    if (start < previous_end || start >= end || end > length) return false;
    previous_end = end;
  }
  return true;
}

}  // namespace

QStory::QStory(int32_t id, bool back) : storyId(id), fromEnd(back) {}

void QStory::AddRange(int32_t start, int32_t end) {
  if (start < end) {
    ranges.emplace_back(start, end);
    total += end - start;
  }
  lastEnd = end;
}

bool QStory::Apply() {
  if (QapiBoxCall4(0) == 0) NoteTextChange();
  StoryRuns before(storyId);
  if (before.textLength < lastEnd) QuarkInternalError("Plugin\\Qapi\\QStory", 315);
  const bool fits = RangesFit(ranges, before.textLength);
  const XTStoryTextSuite* story = XT().lgf2;
  bool ok = fits && story != nullptr;
  if (!fits) {
    ProgramLog() << "ERROR: QStory::Apply(): the ranges of story " << storyId
                 << " are out of order or outside its " << before.textLength
                 << " characters; nothing was deleted" << std::endl;
  }
  if (ok) {
    Mixer::MakeCurrent(storyId);
    uint8_t option = 0;
    HostCall("story_option", story->story_option(storyId, kStoryOption, &option));
    if (option != 0) HostCall("set_story_option", story->set_story_option(storyId, kStoryOption, 0));
    story->recompose(before.textRef, 0, 0, 0);

    // Neighbouring ranges go in one deletion.
    int32_t removed = 0;
    const std::size_t n = ranges.size();
    for (std::size_t done = 0; ok && done < n;) {
      int32_t start = 0;
      int32_t end = 0;
      if (!fromEnd) {
        start = ranges[done].first;
        end = ranges[done].second;
        for (++done; done < n && ranges[done].first == end; ++done) end = ranges[done].second;
        start -= removed;
        end -= removed;
      } else {
        std::size_t i = n - 1 - done;
        start = ranges[i].first;
        end = ranges[i].second;
        for (++done; done < n && ranges[n - 1 - done].second == start; ++done) {
          start = ranges[n - 1 - done].first;
        }
      }
      if (story->delete_text(before.textRef, start, end) != kXTOk) {
        ProgramLog() << "ERROR: QStory::Apply(): the host did not delete " << start << " to "
                     << end << " of story " << storyId << std::endl;
        ok = false;
      } else if (!fromEnd) {
        removed += end - start;
      }
    }

    if (QapiBoxCall4(0) == 0) NoteTextChange();
    if (XT().lgh2 != nullptr) XT().lgh2->refresh(0, 0, 0);
    if (option != 0) HostCall("set_story_option", story->set_story_option(storyId, kStoryOption, 1));
    const StoryRuns after(storyId);
    if (after.textLength != before.textLength - total) {
      QuarkInternalError("Plugin\\Qapi\\QStory", 411);
    }
  }
  ranges.clear();
  total = 0;
  lastEnd = 0;
  return ok;
}
