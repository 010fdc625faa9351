// The XTags file's header over an arbitrary source path: it always frames
// the path the same way, gives at most one unit per byte, and a path that
// is well-formed UTF-8 comes out as the strict decoder reads it.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "platform/win/code_pages.h"
#include "plugin/conversion/exporter_krm.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path(reinterpret_cast<const char*>(data), size);
  std::ostringstream bytes;
  {
    WideTextStream out(bytes);
    WriteKrmHeader(out, path);
    Check(out.Flush());
  }
  const std::string written = bytes.str();
  Check(written.size() % 2 == 0);
  std::u16string units;
  for (size_t i = 0; i < written.size(); i += 2) {
    units += static_cast<char16_t>(static_cast<unsigned char>(written[i]) | static_cast<unsigned char>(written[i + 1]) << 8);
  }
  const std::u16string head = u"\uFEFF<Header>\n<QxpSource>\"";
  const std::u16string tail = u"\"</QxpSource>\n</Header>\n";
  Check(units.size() >= head.size() + tail.size());
  Check(units.compare(0, head.size(), head) == 0);
  Check(units.compare(units.size() - tail.size(), tail.size(), tail) == 0);
  const std::u16string decoded = units.substr(head.size(), units.size() - head.size() - tail.size());
  Check(decoded.size() <= size);
  std::u16string strict;
  if (win::MultiByteToWide(win::kCodePageUtf8, path.data(), path.size(), strict)) Check(decoded == strict);
  return 0;
}
