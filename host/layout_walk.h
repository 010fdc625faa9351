// Walks over the items of a layout: the stacking order of a spread, the
// page an item lies on, the items anchored in a story, and the document
// order the item-data search follows.
//
// Items of a spread are walked from the rearmost to the frontmost (file
// order), a group right before its members, which follow it back to front;
// anchored items are never walked.  Pages of a spread lie side by side from
// the spread's origin; an item lies on the page under its centre, on the
// pasteboard when no page is there.
#pragma once

#include <cstdint>
#include <vector>

#include "host/document.h"

namespace xthost {

// Ids of the items of spread `spread` of layout `layout` (a master spread
// when `master`), in walk order.
std::vector<int32_t> SpreadItems(const DocumentContent& content, int32_t layout, bool master,
                                 int32_t spread);

// The item after `id` in its spread's walk: 0 at the end, -1 for an item
// that is not walked.
int32_t NextInSpread(const DocumentContent& content, int32_t id);

// The members of group `group`, back to front (file order).
std::vector<int32_t> GroupMembers(const DocumentContent& content, int32_t group);

// Items anchored in story `story`, in story order.
std::vector<int32_t> AnchoredItems(const DocumentContent& content, int32_t story);

// Where an item lies.  Anchored items lie where the line showing their run
// is (in the chain's last box when it is overset).
struct ItemPlace {
  int32_t layout = 0;
  bool master = false;
  int32_t spread = 1;
  int32_t page = 0;         // index of its page in the spread
  int32_t side = 0;         // -1 left of the first page, 1 right of the last, 0 on a page
  bool pasteboard = false;  // on no page
};
ItemPlace PlaceOf(const DocumentContent& content, const Box& item);

// The page number a user sees for a place: layout pages count 1..L over the
// layout's spreads, a master page is its spread's number, and the pasteboard
// gives 2000 + the spread.
int32_t PageNumberOf(const DocumentContent& content, const ItemPlace& place);

// Page geometry of spread `spread`: the page's rectangle (left, top, right,
// bottom) in spread coordinates.
std::array<int32_t, 4> PageRect(const Layout& layout, bool master, int32_t spread, int32_t page);

// Whether an item belongs to a master spread, directly or anchored in the
// story of an item that does.
bool IsMasterItem(const DocumentContent& content, const Box& item);

// The boxes of story `story`'s chain whose text follows their master
// item's, in chain order.  Kept with the walks: a box follows only as the
// document was read, and stops when its text is changed otherwise.
std::vector<int32_t> FollowingBoxes(const DocumentContent& content, int32_t story);

// The first box of the chain a text box belongs to, or the box itself.
const Box* ChainHead(const DocumentContent& content, const Box& box);

// Items in the item-data search's order for the view of layout `layout`:
// its spreads in order (the layout spreads, or the master spreads), items in
// walk order, each text box that heads its chain followed by the items
// anchored in its story, recursively.
const std::vector<int32_t>& DocumentOrder(const DocumentContent& content, int32_t layout,
                                          bool master);

// The first item in that order whose item data under `key` are `bytes`,
// 0 when none.  Searches are indexed: keep the index current by telling
// ItemDataChanging about every change of an item's data.
int32_t FindItemData(const DocumentContent& content, int32_t layout, bool master, uint32_t key,
                     const std::vector<uint8_t>& bytes);
void ItemDataChanging(const DocumentContent& content, int32_t id, uint32_t key,
                      const std::vector<uint8_t>* before, const std::vector<uint8_t>* after);

}  // namespace xthost
