#include "host/layout_walk.h"

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <tuple>
#include <unordered_map>

#include "host/compose.h"

namespace xthost {

// Walks of one version of a document's items.
using SpreadKey = std::tuple<int32_t, bool, int32_t>;  // layout, master, spread
struct WalkCache {
  uint64_t version = 0;
  std::size_t items = 0;  // the number of items it was made for
  std::unordered_map<int32_t, std::vector<int32_t>> chains;  // story -> its text boxes
  // story -> the boxes of its chain that followed their master when the
  // walks were made (no box starts following later), in chain order.
  std::unordered_map<int32_t, std::vector<int32_t>> following;
  std::map<SpreadKey, std::vector<int32_t>> spreads;
  std::map<int32_t, std::pair<SpreadKey, std::size_t>> places;  // item -> its walk, index
  std::map<int32_t, std::vector<int32_t>> members;              // group -> members
  // The item-data search's order of a view, with the items' places in it
  // and, per key, the places of each value.
  using DataIndex = std::map<std::vector<uint8_t>, std::set<std::size_t>>;
  struct Order {
    std::vector<int32_t> items;
    std::unordered_map<int32_t, std::size_t> position;
    std::map<uint32_t, DataIndex> data;
  };
  std::map<std::pair<int32_t, bool>, Order> orders;
  // Per layout, the pages before each spread, for the spreads vector it was
  // counted from (a spread's pages are fixed once the document is loaded).
  struct PageStarts {
    const Spread* spreads = nullptr;
    std::size_t count = 0;
    std::vector<int32_t> before;  // [s - 1]: pages of spreads 1..s-1
  };
  std::vector<PageStarts> page_starts;
};

namespace {

void AppendWalk(const std::map<int32_t, std::vector<int32_t>>& members, int32_t id,
                std::vector<int32_t>* out, int depth) {
  out->push_back(id);
  auto it = members.find(id);
  if (it == members.end() || depth > 64) return;
  for (const int32_t member : it->second) AppendWalk(members, member, out, depth + 1);
}

WalkCache& CacheOf(const DocumentContent& content) {
  std::shared_ptr<WalkCache>& cache = content.walks.cache;
  // Items added or removed without a version step (a document being built)
  // are seen by their number.
  if (cache != nullptr && cache->version == content.items_version &&
      cache->items == content.boxes.size()) {
    return *cache;
  }
  cache = std::make_shared<WalkCache>();
  cache->version = content.items_version;
  cache->items = content.boxes.size();
  for (const Box& box : content.boxes) {
    if (box.story != 0) cache->chains[box.story].push_back(box.id);
    if (box.story != 0 && box.follows) cache->following[box.story].push_back(box.id);
  }
  for (const Box& box : content.boxes) {
    if (box.group != 0 && box.group != box.id) cache->members[box.group].push_back(box.id);
  }
  for (const Box& box : content.boxes) {
    if (box.anchor != 0 || box.group != 0) continue;
    const SpreadKey key{box.layout, box.master, box.spread};
    std::vector<int32_t>& walk = cache->spreads[key];
    const std::size_t first = walk.size();
    AppendWalk(cache->members, box.id, &walk, 0);
    for (std::size_t i = first; i < walk.size(); ++i) cache->places[walk[i]] = {key, i};
  }
  return *cache;
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

std::vector<const Box*> DocumentContent::ChainOf(int32_t story) const {
  std::vector<const Box*> chain;
  if (story == 0) return chain;
  const WalkCache& cache = CacheOf(*this);
  auto it = cache.chains.find(story);
  if (it == cache.chains.end()) return chain;
  chain.reserve(it->second.size());
  for (const int32_t id : it->second) chain.push_back(FindBox(id));
  return chain;
}

const Box* DocumentContent::FirstOfChain(int32_t story) const {
  if (story == 0) return nullptr;
  const WalkCache& cache = CacheOf(*this);
  auto it = cache.chains.find(story);
  return it == cache.chains.end() || it->second.empty() ? nullptr : FindBox(it->second.front());
}

const Box* DocumentContent::LastOfChain(int32_t story) const {
  if (story == 0) return nullptr;
  const WalkCache& cache = CacheOf(*this);
  auto it = cache.chains.find(story);
  return it == cache.chains.end() || it->second.empty() ? nullptr : FindBox(it->second.back());
}

std::vector<int32_t> FollowingBoxes(const DocumentContent& content, int32_t story) {
  WalkCache& cache = CacheOf(content);
  auto it = cache.following.find(story);
  if (it == cache.following.end()) return {};
  // Those that stopped following are dropped for good.
  std::vector<int32_t>& boxes = it->second;
  boxes.erase(std::remove_if(boxes.begin(), boxes.end(),
                             [&](int32_t id) {
                               const Box* box = content.FindBox(id);
                               return box == nullptr || !box->follows;
                             }),
              boxes.end());
  return boxes;
}

std::vector<int32_t> SpreadItems(const DocumentContent& content, int32_t layout, bool master,
                                 int32_t spread) {
  const WalkCache& cache = CacheOf(content);
  auto it = cache.spreads.find(SpreadKey{layout, master, spread});
  return it == cache.spreads.end() ? std::vector<int32_t>() : it->second;
}

int32_t NextInSpread(const DocumentContent& content, int32_t id) {
  const WalkCache& cache = CacheOf(content);
  auto at = cache.places.find(id);
  if (at == cache.places.end()) return -1;
  const std::vector<int32_t>& walk = cache.spreads.at(at->second.first);
  const std::size_t next = at->second.second + 1;
  return next < walk.size() ? walk[next] : 0;
}

std::vector<int32_t> GroupMembers(const DocumentContent& content, int32_t group) {
  const WalkCache& cache = CacheOf(content);
  auto it = cache.members.find(group);
  return it == cache.members.end() ? std::vector<int32_t>() : it->second;
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
      const std::vector<XTLineRecord>* lines = LinesOfBox(content, box->id);  // no copy of a long story's lines
      for (std::size_t i = 0; lines != nullptr && i < lines->size() && !found; ++i) {
        const XTLineRecord& line = (*lines)[i];
        found = line.vertical < kXTOversetLine && position >= line.offset &&
                position < line.offset + std::max(line.length, 1);
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
  const std::size_t index = static_cast<std::size_t>(place.layout);
  const Layout& layout = content.layouts[index];
  WalkCache& cache = CacheOf(content);
  if (cache.page_starts.size() <= index) cache.page_starts.resize(index + 1);
  WalkCache::PageStarts& starts = cache.page_starts[index];
  if (starts.spreads != layout.spreads.data() || starts.count != layout.spreads.size() ||
      starts.before.empty()) {
    starts.spreads = layout.spreads.data();
    starts.count = layout.spreads.size();
    starts.before.assign(1, 0);
    for (const Spread& spread : layout.spreads) {
      starts.before.push_back(starts.before.back() + static_cast<int32_t>(spread.pages.size()));
    }
  }
  // A spread past the last counts every page before it.
  const std::size_t s = std::min<std::size_t>(place.spread < 1 ? 0 : place.spread - 1, starts.count);
  return 1 + starts.before[s] + place.page;
}

bool IsMasterItem(const DocumentContent& content, const Box& item) {
  const Box* at = Outermost(content, item);
  for (int depth = 0; at->anchor != 0 && depth < 64; ++depth) {
    const Box* first = content.FirstOfChain(at->anchor);
    if (first == nullptr) return false;
    at = Outermost(content, *first);
  }
  return at->master;
}

const Box* ChainHead(const DocumentContent& content, const Box& box) {
  if (box.kind != kTextItem) return &box;
  const Box* first = content.FirstOfChain(box.story);
  return first == nullptr ? &box : first;
}

const std::vector<int32_t>& DocumentOrder(const DocumentContent& content, int32_t layout_index,
                                          bool master) {
  WalkCache& cache = CacheOf(content);
  auto found = cache.orders.find({layout_index, master});
  if (found != cache.orders.end()) return found->second.items;
  WalkCache::Order& made = cache.orders[{layout_index, master}];
  if (layout_index >= 0 && static_cast<std::size_t>(layout_index) < content.layouts.size()) {
    const Layout& layout = content.layouts[static_cast<std::size_t>(layout_index)];
    const int32_t first = master ? 3 : 1;
    const int32_t last =
        master ? layout.MasterCount() : static_cast<int32_t>(layout.spreads.size());
    std::set<int32_t> seen;
    for (int32_t spread = first; spread <= last; ++spread) {
      for (const int32_t id : SpreadItems(content, layout_index, master, spread)) {
        if (seen.count(id) == 0) AppendSearched(content, id, &made.items, &seen, 0);
      }
    }
  }
  for (std::size_t i = 0; i < made.items.size(); ++i) made.position.emplace(made.items[i], i);
  return made.items;
}

int32_t FindItemData(const DocumentContent& content, int32_t layout, bool master, uint32_t key,
                     const std::vector<uint8_t>& bytes) {
  const std::vector<int32_t>& order = DocumentOrder(content, layout, master);
  WalkCache::Order& made = CacheOf(content).orders.at({layout, master});
  auto index = made.data.find(key);
  if (index == made.data.end()) {
    index = made.data.emplace(key, WalkCache::DataIndex()).first;
    for (std::size_t i = 0; i < order.size(); ++i) {
      const Box* item = content.FindBox(order[i]);
      auto entry = item != nullptr ? item->data.find(key) : ItemData::const_iterator();
      if (item != nullptr && entry != item->data.end()) index->second[entry->second].insert(i);
    }
  }
  auto hit = index->second.find(bytes);
  return hit == index->second.end() || hit->second.empty() ? 0 : order[*hit->second.begin()];
}

void ItemDataChanging(const DocumentContent& content, int32_t id, uint32_t key,
                      const std::vector<uint8_t>* before, const std::vector<uint8_t>* after) {
  if (content.walks.cache == nullptr || content.walks.cache->version != content.items_version) {
    return;
  }
  for (auto& [which, order] : content.walks.cache->orders) {
    auto index = order.data.find(key);
    auto position = order.position.find(id);
    if (index == order.data.end() || position == order.position.end()) continue;
    if (before != nullptr) {
      auto entry = index->second.find(*before);
      if (entry != index->second.end()) entry->second.erase(position->second);
    }
    if (after != nullptr) index->second[*after].insert(position->second);
  }
}

}  // namespace xthost
