#include "plugin/mixer/master_class.h"

#include "plugin/mixer/box_registries.h"
#include "plugin/mixer/mapper.h"
#include "plugin/mixer/master_trace.h"

namespace {

// The first id whose box is `box`; ids above `storyCount` are traced with
// `error` and passed over.  -1 when `findBox` never returns the box.
int32_t FirstStoryId(const std::function<XTItem(int32_t)>& findBox, int32_t storyCount,
                     XTItem box, const char* error) {
  for (int32_t i = 0;; ++i) {
    const XTItem found = findBox(i);
    if (found == 0) return -1;
    if (found != box) continue;
    if (i <= storyCount) return i;
    LogMasterPageTrace(box, error, i);
  }
}

}  // namespace

const char* MasterBoxClassLabel(MasterBoxClass value) {
  switch (value) {
    case kLayoutBoxNotLinked:
      return "Layout box (NOT linked to any master)";
    case kLayoutBoxLinked:
      return "Layout box linked to master (NOT autotext)";
    case kAutotextBoxLinked:
      return "Autotext box linked to master";
    case kMasterBoxNotUsed:
      return "Masterpage box (NOT used)";
    case kMasterBoxUsed:
      break;
  }
  return "Masterpage box (used)";
}

MasterBoxClass ClassifyBox(const XTItem& box, uint16_t* masterPage) {
  MasterBoxClass value = kLayoutBoxNotLinked;
  const BoxPairMap& pairs = BoxPairRegistry();
  const auto master = pairs.find(box);
  if (master != pairs.end()) {
    if (masterPage != nullptr) *masterPage = master->second.masterPage;
    value = master->second.users.empty() ? kMasterBoxNotUsed : kMasterBoxUsed;
  } else if (FindMasterOfLayoutBox(box) != BoxPairRegistry().end()) {
    value = LinkedBoxRegistry().count(box) != 0 ? kAutotextBoxLinked : kLayoutBoxLinked;
  }
  LogMasterPageTrace(box, MasterBoxClassLabel(value), -1);
  return value;
}

void AssignBoxStoryIds(const std::function<XTItem(int32_t)>& findBox, int32_t storyCount) {
  for (auto& [handle, master] : BoxPairRegistry()) {
    const int32_t id =
        FirstStoryId(findBox, storyCount, handle, "ERROR: Invalid story ID for master box");
    if (id >= 0) master.id = id;
    for (const BoxLinkRecord& user : master.users) {
      const int32_t userId =
          FirstStoryId(findBox, storyCount, user.item, "ERROR: Invalid story ID for layout box");
      if (userId >= 0) user.record.id = userId;
    }
  }
}

void AssignBoxStoryIds(Mapper& mapper) {
  AssignBoxStoryIds([&mapper](int32_t id) { return mapper.FindBox(id); }, mapper.StoryCount());
}
