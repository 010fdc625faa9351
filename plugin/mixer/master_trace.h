// The master-page trace of the program log, and the text of a box's story
// that the fullest trace shows.  Host thread only.
#pragma once

#include <cstdint>
#include <string>

#include "plugin/mixer/box_records.h"

// The text shown for a story shorter than one unit.
extern const char kEmptyStoryText[];

// One trace entry, written only at masterPageLogMode 4 and above (the mode
// is read at the first call and kept for the process): an end of line,
// `label`, " " and `number` when it is not negative, ": ", the box handle in
// lower-case hex.  Mode 4 then ends the line; mode 5 and above add a rule
// of 80 '~', the box's story text (GetBoxStoryText) and the rule again.
void LogMasterPageTrace(const ct_Box& box, const std::string& label, int32_t number);
void LogMasterPageTrace(XTItem box, const std::string& label, int32_t number);

// The text of the box's story as narrow (UTF-8) text; kEmptyStoryText for
// a story shorter than one unit or a box without story.
std::string GetBoxStoryText(const XTItem& box);
