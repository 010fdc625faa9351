#include "plugin/mixer/story_units.h"

#include "plugin/qapi/story_runs.h"
#include "support/host_link.h"
#include "support/host_result.h"

std::u16string ReadStoryUnits(StoryRuns& runs, int32_t start, int32_t end) {
  const XTStoryTextSuite* story = XT().lgf2;
  if (story == nullptr || start < 0 || end <= start) return std::u16string();
  runs.RefreshIfStale();
  std::u16string units(static_cast<size_t>(end - start), u'\0');
  if (HostCall("read_text", story->read_text(runs.textRef, start, end - start, &units[0])) != kXTOk)
    return std::u16string();
  return units;
}
