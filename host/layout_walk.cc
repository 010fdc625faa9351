#include "host/layout_walk.h"

#include <set>

#include "host/compose.h"

namespace xthost {
namespace {

bool OnSpread(const Box& box, int32_t layout, bool master, int32_t spread) {
  return box.anchor == 0 && box.layout == layout && box.master == master && box.spread == spread;
}

// Appends `id` and, for a group, its members (recursively) to `out`.
void AppendWithMembers(const DocumentContent& content, int32_t id, std::vector<int32_t>* out,
                       int depth) {
  out->push_back(id);
  const Box* item = content.FindBox(id);
  if (item == nullptr || item->kind != kGroupItem || depth > 64) return;
  for (const int32_t member : GroupMembers(content, id)) {
    AppendWithMembers(content, member, out, depth + 1);
  }
}

// Appends the items anchored in `story` in search order: each item, then
// for a text box heading its chain its own anchored items, for a group its
// members the same way.
void AppendAnchored(const DocumentContent& content, int32_t story, std::vector<int32_t>* out,
                    std::set<int32_t>* seen, int depth);

void AppendSearched(const DocumentContent& content, int32_t id, std::vector<int32_t>* out,
                    std::set<int32_t>* seen, int depth) {
  if (depth > 64 || !seen->insert(id).second) return;
  out->push_back(id);
  const Box* item = content.FindBox(id);
  if (item == nullptr) return;
  if (item->kind == kTextItem && ChainHead(content, *item) == item) {
    AppendAnchored(content, item->story, out, seen, depth + 1);
  } else if (item->kind == kGroupItem) {
    for (const int32_t member : GroupMembers(content, id)) {
      AppendSearched(content, member, out, seen, depth + 1);
    }
  }
}

void AppendAnchored(const DocumentContent& content, int32_t story, std::vector<int32_t>* out,
                    std::set<int32_t>* seen, int depth) {
  for (const int32_t id : AnchoredItems(content, story)) {
    AppendSearched(content, id, out, seen, depth);
  }
}

int32_t StoryPositionOf(const DocumentContent& content, const Box& item) {
  const Story* story = const_cast<DocumentContent&>(content).FindStory(item.anchor);
  if (story == nullptr) return 0;
  int32_t position = 0;
  for (const CharacterRun& run : story->runs) {
    const XTCharAttrRecord& a = content.attributes[static_cast<std::size_t>(run.attributes)];
    if ((a.opcode & 0x1F) == kXTOpAnchoredBox && a.object == item.id) return position;
    position += run.length;
  }
  return 0;
}

}  // namespace

std::vector<int32_t> SpreadItems(const DocumentContent& content, int32_t layout, bool master,
                                 int32_t spread) {
  std::vector<int32_t> items;
  for (const Box& box : content.boxes) {
    if (OnSpread(box, layout, master, spread) && box.group == 0) {
      AppendWithMembers(content, box.id, &items, 0);
    }
  }
  return items;
}

std::vector<int32_t> GroupMembers(const DocumentContent& content, int32_t group) {
  std::vector<int32_t> members;
  for (const Box& box : content.boxes) {
    if (box.group == group && box.id != group) members.push_back(box.id);
  }
  return members;
}

std::vector<int32_t> AnchoredItems(const DocumentContent& content, int32_t story_id) {
  std::vector<int32_t> items;
  const Story* story = const_cast<DocumentContent&>(content).FindStory(story_id);
  if (story == nullptr) return items;
  for (const CharacterRun& run : story->runs) {
    const XTCharAttrRecord& a = content.attributes[static_cast<std::size_t>(run.attributes)];
    if ((a.opcode & 0x1F) == kXTOpAnchoredBox && run.length > 0) items.push_back(a.object);
  }
  return items;
}

std::array<int32_t, 4> PageRect(const Layout& layout, bool master, int32_t spread, int32_t page) {
  if (master) {
    const Page& p = layout.MasterPage(spread);
    return {0, 0, p.width, p.height};
  }
  int32_t left = 0;
  if (spread < 1 || static_cast<std::size_t>(spread) > layout.spreads.size()) return {};
  const std::vector<Page>& pages = layout.spreads[static_cast<std::size_t>(spread - 1)].pages;
  for (int32_t i = 0; i < static_cast<int32_t>(pages.size()); ++i) {
    const Page& p = pages[static_cast<std::size_t>(i)];
    if (i == page) return {left, 0, left + p.width, p.height};
    left += p.width;
  }
  return {};
}

// The group an item lies in at the top, or the item itself.
static const Box* Outermost(const DocumentContent& content, const Box& item) {
  const Box* at = &item;
  for (int depth = 0; at->group != 0 && depth < 64; ++depth) {
    const Box* group = content.FindBox(at->group);
    if (group == nullptr) break;
    at = group;
  }
  return at;
}

ItemPlace PlaceOf(const DocumentContent& content, const Box& item) {
  const Box* at = &item;
  // A member lies where its group lies; an anchored item where its run is
  // shown: follow groups and anchors out to an item on a spread.
  for (int depth = 0; (at->group != 0 || at->anchor != 0) && depth < 64; ++depth) {
    if (at->group != 0) {
      at = Outermost(content, *at);
      if (at->anchor == 0) {
        at = &item;  // a member of a group on a spread: its own bounds
        break;
      }
    }
    const int32_t position = StoryPositionOf(content, *at);
    const std::vector<const Box*> chain = content.ChainOf(at->anchor);
    if (chain.empty()) break;
    const Box* shown = chain.back();
    for (const Box* box : chain) {
      bool found = false;
      for (const XTLineRecord& line : BoxLines(content, box->id)) {
        if (line.vertical < kXTOversetLine && position >= line.offset &&
            position < line.offset + std::max(line.length, 1)) {
          found = true;
          break;
        }
      }
      if (found) {
        shown = box;
        break;
      }
    }
    at = shown;
  }
  ItemPlace place;
  const Box* placed = Outermost(content, *at);
  place.layout = placed->layout;
  place.master = placed->master;
  place.spread = placed->spread;
  if (at->layout < 0 || static_cast<std::size_t>(at->layout) >= content.layouts.size()) {
    return place;
  }
  const Layout& layout = content.layouts[static_cast<std::size_t>(place.layout)];
  const int64_t cx = (int64_t{at->bounds[0]} + at->bounds[2]) / 2;
  const int64_t cy = (int64_t{at->bounds[1]} + at->bounds[3]) / 2;
  const int32_t pages =
      place.master ? 1
                   : (place.spread >= 1 &&
                              static_cast<std::size_t>(place.spread) <= layout.spreads.size()
                          ? static_cast<int32_t>(
                                layout.spreads[static_cast<std::size_t>(place.spread - 1)]
                                    .pages.size())
                          : 0);
  for (int32_t i = 0; i < pages; ++i) {
    const std::array<int32_t, 4> r = PageRect(layout, place.master, place.spread, i);
    if (cx < r[0] && i == 0) {
      place.side = -1;
      place.pasteboard = true;
      return place;
    }
    if (cx >= r[0] && cx < r[2]) {
      place.page = i;
      place.pasteboard = cy < r[1] || cy >= r[3];
      return place;
    }
  }
  place.page = std::max(pages - 1, 0);
  place.side = 1;
  place.pasteboard = true;
  return place;
}

int32_t PageNumberOf(const DocumentContent& content, const ItemPlace& place) {
  if (place.pasteboard) return 2000 + place.spread;
  if (place.master) return place.spread;
  const Layout& layout = content.layouts[static_cast<std::size_t>(place.layout)];
  int32_t number = 1;
  for (int32_t s = 1; s < place.spread && static_cast<std::size_t>(s) <= layout.spreads.size();
       ++s) {
    number += static_cast<int32_t>(layout.spreads[static_cast<std::size_t>(s - 1)].pages.size());
  }
  return number + place.page;
}

bool IsMasterItem(const DocumentContent& content, const Box& item) {
  const Box* at = Outermost(content, item);
  for (int depth = 0; at->anchor != 0 && depth < 64; ++depth) {
    const std::vector<const Box*> chain = content.ChainOf(at->anchor);
    if (chain.empty()) return false;
    at = Outermost(content, *chain.front());
  }
  return at->master;
}

const Box* ChainHead(const DocumentContent& content, const Box& box) {
  if (box.kind != kTextItem) return &box;
  const std::vector<const Box*> chain = content.ChainOf(box.story);
  return chain.empty() ? &box : chain.front();
}

std::vector<int32_t> DocumentOrder(const DocumentContent& content, int32_t layout_index,
                                   bool master) {
  std::vector<int32_t> order;
  if (layout_index < 0 || static_cast<std::size_t>(layout_index) >= content.layouts.size()) {
    return order;
  }
  const Layout& layout = content.layouts[static_cast<std::size_t>(layout_index)];
  const int32_t first = master ? 3 : 1;
  const int32_t last =
      master ? layout.MasterCount() : static_cast<int32_t>(layout.spreads.size());
  std::set<int32_t> seen;
  for (int32_t spread = first; spread <= last; ++spread) {
    for (const int32_t id : SpreadItems(content, layout_index, master, spread)) {
      if (seen.count(id) == 0) AppendSearched(content, id, &order, &seen, 0);
    }
  }
  return order;
}

}  // namespace xthost
