// A story's text in the host's tagged-text notation, through the host's
// text export filter "XPress Tags".
//
// The filter's bytes are caught in one fixed buffer of 128000 bytes instead
// of a file, then decoded from Windows-1252 to UTF-16 by the host's text
// converter.  A chunk that does not fit is dropped with a log line and
// everything after it is dropped too, so the text is always a prefix of the
// story's tags.  A missing filter, a dropped chunk, a failed export and a
// failed conversion each leave `whole` false.  Host thread only; exports
// must not be nested (the buffer and the installed writer are shared).
#pragma once

#include <cstdint>
#include <string>

constexpr uint32_t kXTagsCaptureBytes = 128000;

struct XTagsText {
  std::u16string text;  // the tags, or the prefix that was had
  bool whole = true;
};

// Story `story` of the current document in tags; empty text for an empty
// story.
XTagsText ExportToTag(int32_t story);

// The writer installed for one export: appends the chunk to the capture
// buffer unless it (or an earlier one) did not fit.  Always answers 0.
int32_t CaptureExportBytes(const void* bytes, const int32_t* count);
