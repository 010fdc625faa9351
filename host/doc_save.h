// Putting a document's file text in place of the file at a path.
#pragma once

#include <cstdint>
#include <string>

namespace xthost {

// Replaces the file at `path` by `text`, whole or not at all.  A link at
// `path` is followed: the file it names is replaced and the link kept.  The
// text goes to a fresh temporary file beside that file (made exclusively,
// never through a link), which gets the old file's permissions and is
// renamed over it.  A read-only document is refused.  Returns 0,
// kXTErrNoFolder, or kXTErrIo (with the reason in *error).
int32_t WriteDocumentText(const std::string& path, const std::string& text, std::string* error);

}  // namespace xthost
