// Host calls the conversions offer the document access layer: a story's
// paragraph format, an 8-bit copy of its text, and opening a document from
// a file spec.  Host thread only.
#pragma once

#include <cstdint>
#include <string>

#include "platform/xt/xt_doc_suites.h"

// The paragraph-format record of format `index` of the document that `ref`
// belongs to, with its attribute word (in and out).  The host's result.
int32_t FetchParagraphFormat(XTTextRef ref, int32_t index, XTParaFormatRecord* record,
                             uint16_t* word);

// Reads `count` characters from `start` through a temporary host block of
// 2 * count bytes and stores the low byte of each in `out` (no NUL is
// written).  The host's result; `out` is untouched unless it is 0.
int32_t GetStoryTextNarrow(XTTextRef ref, int32_t start, int32_t count, char* out);

// Opens the document that `spec` names with the open flags (31, or 63) and
// makes it current: a host file object set to the spec, the host's open,
// the object released in every case.  The last status goes through the
// host's error state, whose value is returned (0 on success).  Without a
// spec, error 4 is recorded and the host's error state returned.
int32_t OpenDocumentFromSpec(const XTFileSpec* spec, int32_t flags);

// Writes the program-log line of a source document at `path` the host did
// not open, answering `result`: the full path, the result and what it
// means, and what the file itself shows (missing, unreadable, empty).
void LogSourceNotOpened(const std::string& path, int32_t result);
