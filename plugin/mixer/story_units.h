// The UTF-16 units of a story range, read through the host.  Host thread
// only.
#pragma once

#include <cstdint>
#include <string>

class StoryRuns;

// The units from `start` up to `end` of the snapshot's story (refreshed when
// stale); "" for an empty or inverted range, or when the host fails.
std::u16string ReadStoryUnits(StoryRuns& runs, int32_t start, int32_t end);
