// Copies of story text through the host, attributes and anchored items
// included.  Host thread only.
#pragma once

#include <cstdint>

// Copies the units from `start` up to `end` of story `story` of document
// `document` to `position` of story `toStory` of `toDocument` (entry 47 of
// the story text suite): 0 when the host answers 1, else 12.
int32_t QapiTextCall47(uint32_t document, uint32_t story, uint32_t start, uint32_t end,
                       uint32_t toDocument, uint32_t toStory, uint32_t position);

// The same within the current document (entry 35; position -1 is the end
// of `toStory`).  On success the current box is brought up to date and the
// text-change counter moves on; the result is then 1, else the host's
// error.
int32_t QapiStoryCall35(uint32_t story, uint32_t start, uint32_t end, uint32_t toStory,
                        uint32_t position);
