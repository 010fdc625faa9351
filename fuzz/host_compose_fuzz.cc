// Composition of any document the host reads: every chain's lines cover its
// story in order, boxes first and overset lines last, with the overflow
// mark on the chain's very last record exactly when something is overset.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "host/compose.h"
#include "host/doc_json.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

void CheckChain(const xthost::DocumentContent& content, const xthost::Story& story) {
  std::vector<const xthost::Box*> chain;
  for (const xthost::Box* box : content.ChainOf(story.id)) {
    if (box->kind == xthost::kTextItem) chain.push_back(box);
  }
  if (chain.empty()) return;
  int32_t next = 0;
  bool overset = false;
  int32_t last_mark = 0;  // byte 36 of the chain's last record
  for (std::size_t i = 0; i < chain.size(); ++i) {
    const std::vector<XTLineRecord> lines = xthost::BoxLines(content, chain[i]->id);
    for (const XTLineRecord& line : lines) {
      Require(line.offset == next && line.length >= 0);
      Require(line.length > 0 || line.offset == story.length());
      next += line.length;
      const bool out = line.vertical >= kXTOversetLine;
      Require(!overset || out);                   // overset lines come last
      Require(!out || i + 1 == chain.size());     // in the last box
      overset = out;
      Require(line.overflow == 0 || &line == &lines.back());
    }
    if (i + 1 == chain.size() && !lines.empty()) last_mark = lines.back().overflow;
    if (i + 1 < chain.size()) Require(lines.empty() || lines.back().overflow == 0);
    Require(xthost::BoxLines(content, chain[i]->id).size() == lines.size());  // cached alike
  }
  Require(next == story.length());
  const bool overflows = xthost::ChainOverflows(content, chain.front()->id);
  Require(overflows == overset);
  Require(overflows == (last_mark == kXTOverflowMark));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  xthost::DocumentContent content;
  std::string error;
  if (!xthost::ParseDocument(bytes, &content, &error)) return 0;
  for (const xthost::Story& story : content.stories) CheckChain(content, story);
  xthost::InvalidateComposition(content);
  return 0;
}
