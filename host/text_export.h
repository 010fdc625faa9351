// The host's text export filters: the tagged-text notation of a story
// ("XPress Tags", described in host/README.md) and its plain text ("Plain
// Text"), in Windows-1252 or UTF-8.
#pragma once

#include <cstdint>
#include <string>

#include "host/document.h"

namespace xthost {

class Host;

enum TextEncoding : int32_t {
  kTextWindows1252 = 1252,
  kTextUtf8 = 65001,
};

// The encoding named `name` ("Windows Latin (Windows-1252)", "Unicode
// (UTF-8)"); 0 for another name.
int32_t TextEncodingNamed(const std::u16string& name);

// `story` in the tag notation; nothing at all for an empty story.  The
// header comes first when `header` is set.
std::string TagNotation(const DocumentContent& doc, const Story& story, int32_t encoding, bool header);

// `story`'s characters, a line feed for each return; a character the
// encoding cannot hold becomes '?'.
std::string PlainText(const Story& story, int32_t encoding);

// The Windows-1252 byte of `c`, -1 when there is none.
int32_t Windows1252Byte(char32_t c);

// The command "export-tags STORY PATH" (`value`: the story id, a blank,
// the path): the tag notation of a story of the current document, header
// first, in Windows-1252, as the tagged-text filter writes it, into a new
// file.  False, after a transcript line, when it cannot.
bool RunExportTagsCommand(Host& host, const std::string& value);

}  // namespace xthost
