// The xthost command that shows a box's line table.
#include <cstdio>
#include <sstream>

#include "host/compose.h"
#include "host/document_ops.h"
#include "host/host.h"

namespace xthost {
namespace {

std::string Measure(int32_t fixed) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%g", fixed / 65536.0);
  return buffer;
}

std::string DescribeLine(int32_t box, std::size_t index, const XTLineRecord& line) {
  std::string text = "box " + std::to_string(box) + " line " + std::to_string(index) +
                     " offset " + std::to_string(line.offset) + " length " +
                     std::to_string(line.length) + " paragraph " +
                     std::to_string(line.paragraph) + " vertical " +
                     (line.vertical >= kXTOversetLine ? "overset" : Measure(line.vertical)) +
                     " x " + Measure(line.x) + " width " + Measure(line.width) + " height " +
                     Measure(line.height);
  if (line.overflow == kXTOverflowMark) text += " overflow";
  return text;
}

// Writes the lines of the box named by `value`; false with the reason in
// *error.
bool WriteBoxLines(Host& host, const std::string& value, std::string* error) {
  const DocumentContent* content = CurrentContent(host);
  if (content == nullptr) {
    *error = "no current document";
    return false;
  }
  std::istringstream in(value);
  int32_t box = 0;
  std::string rest;
  if (!(in >> box) || in >> rest) {
    *error = "needs BOX";
    return false;
  }
  if (content->FindBox(box) == nullptr) {
    *error = "no item " + std::to_string(box);
    return false;
  }
  const std::vector<XTLineRecord> lines = BoxLines(*content, box);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    host.transcript().Line(DescribeLine(box, i, lines[i]));
  }
  return true;
}

}  // namespace

bool RunComposeCommand(Host& host, const std::string& name, const std::string& value) {
  std::string error;
  if (name != "lines") {
    error = "unknown command";
  } else {
    WriteBoxLines(host, value, &error);
  }
  return FinishCommand(host, name, error);
}

}  // namespace xthost
