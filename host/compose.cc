#include "host/compose.h"

namespace xthost {

// Placeholder until composition lands: the whole story in one line of its
// chain's first box.
std::vector<XTLineRecord> BoxLines(const DocumentContent& content, int32_t box_id) {
  std::vector<XTLineRecord> lines;
  const Box* box = content.FindBox(box_id);
  if (box == nullptr || box->story == 0) return lines;
  const std::vector<const Box*> chain = content.ChainOf(box->story);
  if (chain.empty() || chain.front() != box) return lines;
  const Story* story = const_cast<DocumentContent&>(content).FindStory(box->story);
  XTLineRecord line{};
  line.length = story != nullptr ? story->length() : 0;
  lines.push_back(line);
  return lines;
}

bool ChainOverflows(const DocumentContent&, int32_t) { return false; }

void InvalidateComposition(const DocumentContent&) {}

bool RunComposeCommand(Host&, const std::string&, const std::string&) { return false; }

}  // namespace xthost
