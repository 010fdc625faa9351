// The stand-in host's document files: any bytes are read or refused with a
// reason, never a crash; what is read is whole, writes out, reads back the
// same, and takes a few story changes without breaking.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "host/doc_json.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  xthost::DocumentContent content;
  std::string error;
  if (!xthost::ParseDocument(bytes, &content, &error)) {
    if (error.empty()) std::abort();  // a refusal always says why
    return 0;
  }
  if (!content.Check(&error)) std::abort();
  const std::string text = xthost::FormatDocument(content);
  xthost::DocumentContent again;
  if (!xthost::ParseDocument(text, &again, &error)) std::abort();
  if (xthost::FormatDocument(again) != text) std::abort();

  // Story operations keep a story whole (what anchored items the document
  // holds is the host's business above the story, not checked here).
  for (xthost::Story& story : content.stories) {
    const int32_t length = story.length();
    story.Insert(length / 2, u"x\ry");
    story.ChangeAttributes(0, story.length() / 2, [](int32_t) { return 0; });
    story.Delete(length / 3, story.length() - length / 3);
    if (!story.Check(content.formats.size(), content.attributes.size(), &error)) std::abort();
  }
  return 0;
}
