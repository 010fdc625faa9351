// Suites of the layout: spreads, pages, master pages, views, items, box
// records, polygons, layers, line tables, style sheets, colours, projects
// (LGK2), and item data with the text objects of stories (LGL2).
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "host/compose.h"
#include "host/document_ops.h"
#include "host/host.h"
#include "host/layout_walk.h"
#include "host/story_changes.h"
#include "host/suites_docs.h"

namespace xthost {
namespace {

constexpr int32_t kPageBit = 0x8000;

// The current document, its project id and its current layout.
struct At {
  int32_t project = 0;
  DocumentContent* content = nullptr;
  Layout* layout = nullptr;
  int32_t layout_index = 0;
};

int32_t CurrentAt(Host& host, At* at) {
  at->content = CurrentContent(host);
  if (at->content == nullptr) return kXTErrNoDocument;
  at->project = host.app().current_document;
  at->layout = at->content->CurrentLayout();
  at->layout_index = at->content->current_layout;
  return at->layout != nullptr ? kXTOk : kXTErrParam;
}

// An item of the current document by handle.
Box* ItemOf(Host& host, XTItem handle, At* at) {
  if (CurrentAt(host, at) != kXTOk || (handle >> 16) != at->project) return nullptr;
  const int32_t id = handle & 0xFFFF;
  return id > 0 && id <= kMaxItemId ? at->content->FindBox(id) : nullptr;
}

XTItem Handle(const At& at, int32_t id) { return BoxHandle(at.project, id); }

bool ShowsMasters(const Layout& layout) { return layout.view != 0; }

int32_t ViewSpreads(const Layout& layout) {
  return ShowsMasters(layout) ? layout.MasterCount() : static_cast<int32_t>(layout.spreads.size());
}

// Host page numbers: master pages 1..M, then the layout pages M+1..M+L.
bool PageOfNumber(const Layout& layout, int32_t number, bool* master, int32_t* spread,
                  int32_t* page) {
  const int32_t masters = layout.MasterCount();
  if (number >= 1 && number <= masters) {
    *master = true;
    *spread = number;
    *page = 0;
    return true;
  }
  int32_t n = masters;
  for (std::size_t s = 0; s < layout.spreads.size(); ++s) {
    for (std::size_t p = 0; p < layout.spreads[s].pages.size(); ++p) {
      if (++n == number) {
        *master = false;
        *spread = static_cast<int32_t>(s + 1);
        *page = static_cast<int32_t>(p);
        return true;
      }
    }
  }
  return false;
}

std::vector<uint8_t>* Block(Host& host, XTHandle handle) { return host.docs.blocks.Find(handle); }

template <class T>
void FillBlock(std::vector<uint8_t>* block, const std::vector<T>& values) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(values.data());
  block->assign(bytes, bytes + values.size() * sizeof(T));
}

// --- spreads and pages ---

int32_t SpreadCount(int16_t* count) {
  Host& host = Host::Current();
  if (host.Fails("spread_count")) return kXTErrInjected;
  At at;
  if (const int32_t result = CurrentAt(host, &at); result != kXTOk) return result;
  if (count == nullptr) return kXTErrParam;
  *count = static_cast<int16_t>(ViewSpreads(*at.layout));
  return kXTOk;
}

int32_t FirstItem(int32_t spread, XTItem* item) {
  Host& host = Host::Current();
  if (host.Fails("first_item")) return kXTErrInjected;
  At at;
  if (const int32_t result = CurrentAt(host, &at); result != kXTOk) return result;
  if (item == nullptr || spread < 1 || spread > ViewSpreads(*at.layout)) return kXTErrParam;
  const std::vector<int32_t> items =
      SpreadItems(*at.content, at.layout_index, ShowsMasters(*at.layout), spread);
  *item = items.empty() ? 0 : Handle(at, items.front());
  return items.empty() ? kXTErrNoItem : kXTOk;
}

// The item after `item` in `order`; 0 and kXTErrNoItem at the end.
int32_t NextIn(const At& at, const std::vector<int32_t>& order, int32_t id, XTItem* next) {
  auto it = std::find(order.begin(), order.end(), id);
  if (it == order.end()) return kXTErrParam;
  if (++it == order.end()) {
    *next = 0;
    return kXTErrNoItem;
  }
  *next = Handle(at, *it);
  return kXTOk;
}

int32_t NextItem(XTItem handle, XTItem* next) {
  Host& host = Host::Current();
  if (host.Fails("next_item")) return kXTErrInjected;
  At at;
  const Box* item = ItemOf(host, handle, &at);
  if (item == nullptr || next == nullptr) return kXTErrParam;
  const int32_t following = NextInSpread(*at.content, item->id);
  if (following < 0) return kXTErrParam;  // anchored items are not walked
  *next = following == 0 ? 0 : Handle(at, following);
  return following == 0 ? kXTErrNoItem : kXTOk;
}

// Items of the spread walk whose page is host page `number`.
std::vector<int32_t> PageItems(const At& at, int32_t number) {
  bool master = false;
  int32_t spread = 0;
  int32_t page = 0;
  std::vector<int32_t> items;
  if (!PageOfNumber(*at.layout, number, &master, &spread, &page)) return items;
  for (const int32_t id : SpreadItems(*at.content, at.layout_index, master, spread)) {
    const ItemPlace place = PlaceOf(*at.content, *at.content->FindBox(id));
    if (place.page == page) items.push_back(id);
  }
  return items;
}

int32_t FirstPageItem(int32_t number, int32_t, XTItem* item) {
  Host& host = Host::Current();
  if (host.Fails("first_page_item")) return kXTErrInjected;
  At at;
  if (const int32_t result = CurrentAt(host, &at); result != kXTOk) return result;
  if (item == nullptr) return kXTErrParam;
  const std::vector<int32_t> items = PageItems(at, number);
  *item = items.empty() ? 0 : Handle(at, items.front());
  return items.empty() ? kXTErrNoItem : kXTOk;
}

int32_t NextPageItem(XTItem handle, XTItem* next) {
  Host& host = Host::Current();
  if (host.Fails("next_page_item")) return kXTErrInjected;
  At at;
  const Box* item = ItemOf(host, handle, &at);
  if (item == nullptr || next == nullptr || item->anchor != 0) return kXTErrParam;
  const ItemPlace place = PlaceOf(*at.content, *item);
  int32_t number = place.master ? place.spread : 0;
  if (!place.master) {
    number = at.layout->MasterCount() + PageNumberOf(*at.content, ItemPlace{place.layout, false,
                                                                           place.spread, place.page,
                                                                           0, false});
  }
  return NextIn(at, PageItems(at, number), item->id, next);
}

int32_t SpreadPages(int32_t spread, XTHandle table, uint32_t* count) {
  Host& host = Host::Current();
  if (host.Fails("spread_pages")) return kXTErrInjected;
  At at;
  if (const int32_t result = CurrentAt(host, &at); result != kXTOk) return result;
  std::vector<uint8_t>* block = Block(host, table);
  if (block == nullptr || count == nullptr || spread < 1 || spread > ViewSpreads(*at.layout)) {
    return kXTErrParam;
  }
  const bool master = ShowsMasters(*at.layout);
  std::vector<XTPageEntry> entries;
  const int32_t pages =
      master ? 1
             : static_cast<int32_t>(at.layout->spreads[static_cast<std::size_t>(spread - 1)]
                                        .pages.size());
  for (int32_t p = 0; p < pages; ++p) {
    const std::array<int32_t, 4> r = PageRect(*at.layout, master, spread, p);
    XTPageEntry entry{};
    entry.top = r[1];
    entry.left = r[0];
    entry.bottom = r[3];
    entry.right = r[2];
    entry.number = static_cast<int16_t>(
        PageNumberOf(*at.content, ItemPlace{at.layout_index, master, spread, p, 0, false}));
    entry.master = static_cast<int16_t>(
        master ? spread
               : at.layout->spreads[static_cast<std::size_t>(spread - 1)]
                     .pages[static_cast<std::size_t>(p)]
                     .master);
    entries.push_back(entry);
  }
  FillBlock(block, entries);
  *count = static_cast<uint32_t>(entries.size());
  return kXTOk;
}

int32_t SpreadPageNumbers(int32_t spread, XTHandle list, uint32_t* count) {
  Host& host = Host::Current();
  if (host.Fails("spread_page_numbers")) return kXTErrInjected;
  At at;
  if (const int32_t result = CurrentAt(host, &at); result != kXTOk) return result;
  std::vector<uint8_t>* block = Block(host, list);
  if (block == nullptr || count == nullptr || spread < 1 ||
      static_cast<std::size_t>(spread) > at.layout->spreads.size()) {
    return kXTErrParam;
  }
  std::vector<int16_t> numbers;
  const std::size_t pages = at.layout->spreads[static_cast<std::size_t>(spread - 1)].pages.size();
  for (std::size_t p = 0; p < pages; ++p) {
    numbers.push_back(static_cast<int16_t>(PageNumberOf(
        *at.content, ItemPlace{at.layout_index, false, spread, static_cast<int32_t>(p), 0, false})));
  }
  FillBlock(block, numbers);
  *count = static_cast<uint32_t>(numbers.size());
  return kXTOk;
}

int32_t PageReference(int32_t number, XTPageRef* page) {
  Host& host = Host::Current();
  if (host.Fails("page_reference")) return kXTErrInjected;
  At at;
  if (const int32_t result = CurrentAt(host, &at); result != kXTOk) return result;
  bool master = false;
  int32_t spread = 0;
  int32_t index = 0;
  if (page == nullptr || number >= kPageBit ||
      !PageOfNumber(*at.layout, number, &master, &spread, &index)) {
    return kXTErrParam;
  }
  *page = (at.project + at.layout_index) << 16 | kPageBit | number;
  return kXTOk;
}

// The page a page reference names.
Page* PageOf(Host& host, XTPageRef ref, int32_t* master_spread) {
  int32_t layout_index = 0;
  Document* document = host.app().FindLayoutDocument(ref >> 16, &layout_index);
  if (document == nullptr || document->content == nullptr || (ref & kPageBit) == 0 ||
      static_cast<std::size_t>(layout_index) >= document->content->layouts.size()) {
    return nullptr;
  }
  Layout& layout = document->content->layouts[static_cast<std::size_t>(layout_index)];
  bool master = false;
  int32_t spread = 0;
  int32_t index = 0;
  if (!PageOfNumber(layout, ref & 0x7FFF, &master, &spread, &index)) return nullptr;
  static Page built_in;  // master spreads 1 and 2 keep nothing
  if (master) {
    *master_spread = spread;
    Page* page = layout.MutableMasterPage(spread);
    if (page == nullptr) {
      built_in = Page{};
      return &built_in;
    }
    return page;
  }
  Page& page = layout.spreads[static_cast<std::size_t>(spread - 1)].pages[static_cast<std::size_t>(index)];
  *master_spread = page.master;
  return &page;
}

int32_t PageMaster(XTPageRef ref, int32_t* spread) {
  Host& host = Host::Current();
  if (host.Fails("page_master")) return kXTErrInjected;
  int32_t master = 0;
  if (spread == nullptr || PageOf(host, ref, &master) == nullptr) return kXTErrParam;
  *spread = master;
  return kXTOk;
}

// --- master pages and views ---

int32_t MasterCount(int16_t* count) {
  Host& host = Host::Current();
  if (host.Fails("master_count")) return kXTErrInjected;
  At at;
  if (const int32_t result = CurrentAt(host, &at); result != kXTOk) return result;
  if (count == nullptr) return kXTErrParam;
  *count = static_cast<int16_t>(at.layout->MasterCount());
  return kXTOk;
}

int32_t MasterName(int32_t spread, XTString* name) {
  Host& host = Host::Current();
  if (host.Fails("master_name")) return kXTErrInjected;
  At at;
  if (const int32_t result = CurrentAt(host, &at); result != kXTOk) return result;
  if (name == nullptr || spread < 1 || spread > at.layout->MasterCount()) return kXTErrParam;
  static const char16_t* const kBuiltIn[] = {u"Blank Single", u"Blank Facing"};
  *name = host.strings.Add(spread <= 2 ? std::u16string(kBuiltIn[spread - 1])
                                       : at.layout->masters[static_cast<std::size_t>(spread - 3)].name);
  return kXTOk;
}

int32_t IsMasterSpread(int32_t spread, int32_t, uint8_t* answer) {
  Host& host = Host::Current();
  if (host.Fails("is_master_spread")) return kXTErrInjected;
  At at;
  if (const int32_t result = CurrentAt(host, &at); result != kXTOk) return result;
  if (answer == nullptr || spread < 1 || spread > at.layout->MasterCount()) return kXTErrParam;
  *answer = spread >= 3 ? 1 : 0;
  return kXTOk;
}

int32_t IsMasterItemOf(XTItem handle, int32_t, uint8_t* answer) {
  Host& host = Host::Current();
  if (host.Fails("is_master_item")) return kXTErrInjected;
  At at;
  const Box* item = ItemOf(host, handle, &at);
  if (item == nullptr || answer == nullptr) return kXTErrParam;
  *answer = IsMasterItem(*at.content, *item) ? 1 : 0;
  return kXTOk;
}

// Views are the documents' windows: a document's view is its project id.
Layout* LayoutOfView(Host& host, int32_t view) {
  Document* document = host.app().FindDocument(view);
  if (document == nullptr || document->content == nullptr) return nullptr;
  return document->content->CurrentLayout();
}

int32_t ViewOf(int32_t document, int32_t* view) {
  Host& host = Host::Current();
  if (host.Fails("view_of")) return kXTErrInjected;
  Document* found = host.app().FindLayoutDocument(document, nullptr);
  if (view == nullptr || found == nullptr) return kXTErrParam;
  *view = found->id;
  return kXTOk;
}

int32_t ShowView(int32_t view, int32_t index) {
  Host& host = Host::Current();
  if (host.Fails("show_view")) return kXTErrInjected;
  Layout* layout = LayoutOfView(host, view);
  if (layout == nullptr || index < 0) return kXTErrParam;
  // Index 1 shows the master spreads even without a user master; a higher
  // one needs its spread.
  if (index >= 2 && index + 2 > layout->MasterCount()) return kXTErrParam;
  if (layout->view != index) {
    layout->view = index;
    host.transcript().Line("view " + std::to_string(index));
  }
  return kXTOk;
}

int32_t ViewShowsMasters(int32_t view, uint8_t* answer) {
  Host& host = Host::Current();
  if (host.Fails("view_shows_masters")) return kXTErrInjected;
  const Layout* layout = LayoutOfView(host, view);
  if (layout == nullptr || answer == nullptr) return kXTErrParam;
  *answer = ShowsMasters(*layout) ? 1 : 0;
  return kXTOk;
}

int32_t ViewState(int32_t document, int32_t* state) {
  Host& host = Host::Current();
  if (host.Fails("view_state")) return kXTErrInjected;
  if (state == nullptr || host.app().FindLayoutDocument(document, nullptr) == nullptr) {
    return kXTErrParam;
  }
  *state = host.app().FindLayoutDocument(document, nullptr)->id == host.app().front_window ? 0 : 1;
  return kXTOk;
}

int32_t BringViewToFront(int32_t document) {
  Host& host = Host::Current();
  if (host.Fails("bring_view_to_front")) return kXTErrInjected;
  const Document* found = host.app().FindLayoutDocument(document, nullptr);
  if (found == nullptr) return kXTErrParam;
  host.app().front_window = found->id;
  host.transcript().Line("window of document " + std::to_string(found->id) + " to front");
  return kXTOk;
}

// --- items ---

template <class Answer, class Test>
int32_t Predicate(const char* name, XTItem handle, Answer* answer, Test test) {
  Host& host = Host::Current();
  if (host.Fails(name)) return kXTErrInjected;
  At at;
  const Box* item = ItemOf(host, handle, &at);
  if (item == nullptr || answer == nullptr) return kXTErrParam;
  *answer = static_cast<Answer>(test(*item));
  return kXTOk;
}

int32_t IsTextBox(XTItem item, uint8_t* answer) {
  return Predicate("is_text_box", item, answer, [](const Box& b) { return b.kind == kTextItem; });
}
int32_t IsPictureBox(XTItem item, uint8_t* answer) {
  return Predicate("is_picture_box", item, answer,
                   [](const Box& b) { return b.kind == kPictureItem; });
}
int32_t IsEmptyBox(XTItem item, uint8_t* answer) {
  return Predicate("is_empty_box", item, answer, [](const Box& b) { return b.kind == kEmptyItem; });
}
int32_t IsLine(XTItem item, uint8_t* answer) {
  return Predicate("is_line", item, answer, [](const Box& b) { return b.kind == kLineItem; });
}
int32_t IsGroup(XTItem item, uint8_t* answer) {
  return Predicate("is_group", item, answer, [](const Box& b) { return b.kind == kGroupItem; });
}
int32_t AnchorStory(XTItem item, uint16_t* story) {
  return Predicate("anchor_story", item, story, [](const Box& b) { return b.anchor & 0xFFFF; });
}
int32_t IsLocked(XTItem item, uint8_t* answer) {
  return Predicate("is_locked", item, answer, [](const Box& b) { return b.locked; });
}
int32_t IsRotated(XTItem item, uint8_t* answer) {
  return Predicate("is_rotated", item, answer, [](const Box& b) { return b.rotation != 0; });
}

int32_t ItemLocation(XTItem handle, int32_t, XTItemLocation* location) {
  Host& host = Host::Current();
  if (host.Fails("item_location")) return kXTErrInjected;
  At at;
  const Box* item = ItemOf(host, handle, &at);
  if (item == nullptr || location == nullptr) return kXTErrParam;
  const ItemPlace place = PlaceOf(*at.content, *item);
  XTItemLocation made{};
  made.spread_low = static_cast<uint16_t>(place.spread);
  made.spread_high = static_cast<uint16_t>(static_cast<uint32_t>(place.spread) >> 16);
  made.page = static_cast<int16_t>(place.page);
  made.master = place.master ? 1 : 0;
  made.layer = static_cast<int16_t>(item->layer);
  *location = made;
  return kXTOk;
}

int32_t PageInfoOf(XTItem handle, XTPageInfo* info) {
  Host& host = Host::Current();
  if (host.Fails("page_info")) return kXTErrInjected;
  At at;
  const Box* item = ItemOf(host, handle, &at);
  if (item == nullptr || info == nullptr) return kXTErrParam;
  const ItemPlace place = PlaceOf(*at.content, *item);
  XTPageInfo made{};
  made.spread = static_cast<int16_t>(place.spread);
  made.side = static_cast<int16_t>(place.side);
  made.page = static_cast<int16_t>(place.page);
  made.page_number = static_cast<int16_t>(PageNumberOf(*at.content, place));
  *info = made;
  return kXTOk;
}

int32_t ParentItem(XTItem handle, XTItem* parent) {
  Host& host = Host::Current();
  if (host.Fails("parent_item")) return kXTErrInjected;
  At at;
  const Box* item = ItemOf(host, handle, &at);
  if (item == nullptr || parent == nullptr) return kXTErrParam;
  const Box* head = ChainHead(*at.content, *item);
  *parent = head != item ? Handle(at, head->id) : item->parent != 0 ? Handle(at, item->parent) : 0;
  return kXTOk;
}

int32_t GroupMembersOf(XTItem handle, XTHandle* members, uint16_t* count) {
  Host& host = Host::Current();
  if (host.Fails("group_members")) return kXTErrInjected;
  At at;
  if (handle == 0 && CurrentAt(host, &at) == kXTOk) {
    handle = at.content->current_box != 0 ? Handle(at, at.content->current_box) : 0;
  }
  const Box* item = ItemOf(host, handle, &at);
  if (item == nullptr || members == nullptr || count == nullptr || item->kind != kGroupItem) {
    return kXTErrParam;
  }
  std::vector<int32_t> handles;
  for (const int32_t id : GroupMembers(*at.content, item->id)) handles.push_back(Handle(at, id));
  std::vector<uint8_t> block;
  FillBlock(&block, handles);
  *members = host.docs.blocks.Add(std::move(block));
  *count = static_cast<uint16_t>(handles.size());
  return kXTOk;
}

int32_t MasterItemOf(XTItem handle, XTItem* master, uint8_t* follows) {
  Host& host = Host::Current();
  if (host.Fails("master_item")) return kXTErrInjected;
  At at;
  const Box* item = ItemOf(host, handle, &at);
  if (item == nullptr || master == nullptr) return kXTErrParam;
  *master = item->master_item != 0 ? Handle(at, item->master_item) : 0;
  if (follows != nullptr) *follows = item->follows ? 1 : 0;
  return kXTOk;
}

int32_t ContentKind(XTItem item, int32_t* kind) {
  return Predicate("content_kind", item, kind, [](const Box& b) { return b.content; });
}

int32_t ItemStory(XTItem item, int32_t* story) {
  return Predicate("item_story", item, story, [](const Box& b) { return b.story; });
}

// --- box records and polygons ---

// The rectangle enclosing `box` rotated about its centre.
std::array<int32_t, 4> Enclosing(const Box& box) {
  const double l = box.bounds[0], t = box.bounds[1], r = box.bounds[2], b = box.bounds[3];
  const double angle = box.rotation / 65536.0 * 3.14159265358979323846 / 180.0;
  const double c = std::fabs(std::cos(angle)), s = std::fabs(std::sin(angle));
  const double cx = (l + r) / 2, cy = (t + b) / 2, w = (r - l) / 2, h = (b - t) / 2;
  const double ew = w * c + h * s, eh = w * s + h * c;
  auto fit = [](double v) {
    return static_cast<int32_t>(std::clamp(std::lround(v), -2147483647L, 2147483647L));
  };
  return {fit(cx - ew), fit(cy - eh), fit(cx + ew), fit(cy + eh)};
}

// The host's polygon for an item's shape, made once per item and shape.
XTPolygon ItemPolygon(Host& host, const Box& box) {
  if (box.polygon.empty()) return 0;
  for (const auto& [id, polygon] : host.docs.polygons.items()) {
    if (polygon.host_owned && polygon.points == box.polygon) return id;
  }
  return host.docs.polygons.Add(DocumentSpace::Polygon{box.polygon, true});
}

int32_t BoxRecord(XTItem handle, XTHandle* record) {
  Host& host = Host::Current();
  if (host.Fails("box_record")) return kXTErrInjected;
  At at;
  const Box* item = ItemOf(host, handle, &at);
  if (item == nullptr || record == nullptr) return kXTErrParam;
  XTBoxRecord r{};
  r.bounds[0] = item->bounds[1];
  r.bounds[1] = item->bounds[0];
  r.bounds[2] = item->bounds[3];
  r.bounds[3] = item->bounds[2];
  const std::array<int32_t, 4> e = Enclosing(*item);
  r.enclosing[0] = e[1];
  r.enclosing[1] = e[0];
  r.enclosing[2] = e[3];
  r.enclosing[3] = e[2];
  r.rotation = item->rotation;
  r.shape = item->shape;
  r.locked = item->locked ? 1 : 0;
  r.master_page = IsMasterItem(*at.content, *item) ? static_cast<uint16_t>(
                                                         item->master ? item->spread : 1)
                                                   : 0;
  r.record_word = item->record_word;
  r.polygon = ItemPolygon(host, *item);
  r.inset = item->inset;
  r.content = item->content;
  std::vector<uint8_t> block(sizeof r);
  std::memcpy(block.data(), &r, sizeof r);
  *record = host.docs.blocks.Add(std::move(block));
  return kXTOk;
}

int32_t StoreBoxRecord(XTHandle handle, XTItem item_handle, int32_t, int32_t compose,
                       int16_t* constraint) {
  Host& host = Host::Current();
  if (host.Fails("store_box_record")) return kXTErrInjected;
  At at;
  Box* item = ItemOf(host, item_handle, &at);
  const std::vector<uint8_t>* block = Block(host, handle);
  if (item == nullptr || block == nullptr || block->size() < sizeof(XTBoxRecord)) {
    return kXTErrParam;
  }
  XTBoxRecord r;
  std::memcpy(&r, block->data(), sizeof r);
  int16_t reason = 0;
  const DocumentSpace::Polygon* polygon =
      r.polygon != 0 ? host.docs.polygons.Find(r.polygon) : nullptr;
  if (item->locked) {
    reason = 1;  // a locked item keeps its geometry
  } else if (r.bounds[2] <= r.bounds[0] || r.bounds[3] <= r.bounds[1]) {
    reason = 2;  // no size
  } else if (r.shape < kShapeRectangle || r.shape > kShapeUser) {
    reason = 3;
  } else if (r.polygon != 0 && (polygon == nullptr || polygon->points.size() < 3)) {
    reason = 4;
  } else if (r.inset < 0) {
    reason = 5;
  }
  if (reason != 0) {
    if (constraint != nullptr) *constraint = reason;
    host.transcript().Line("box " + std::to_string(item->id) + " record refused " +
                           std::to_string(reason));
    return kXTErrConstraint;
  }
  item->bounds = {r.bounds[1], r.bounds[0], r.bounds[3], r.bounds[2]};
  item->rotation = r.rotation;
  item->shape = r.shape;
  item->record_word = r.record_word;
  item->inset = r.inset;
  item->polygon = polygon != nullptr ? polygon->points : std::vector<std::array<int32_t, 2>>();
  at.content->flags |= 2;
  // The item's chain is laid out again the next time its lines are asked
  // for; `compose` asks for that now, which lazy composition gives anyway.
  static_cast<void>(compose);
  InvalidateComposition(*at.content);
  if (constraint != nullptr) *constraint = 0;
  host.transcript().Line("box " + std::to_string(item->id) + " bounds " +
                         std::to_string(item->bounds[0]) + " " + std::to_string(item->bounds[1]) +
                         " " + std::to_string(item->bounds[2]) + " " +
                         std::to_string(item->bounds[3]));
  return kXTOk;
}

int32_t NewPolygon(const int32_t* points, int32_t count, XTPolygon* polygon) {
  Host& host = Host::Current();
  if (host.Fails("new_polygon")) return kXTErrInjected;
  if (points == nullptr || polygon == nullptr || count < 3 || count > 65536) return kXTErrParam;
  DocumentSpace::Polygon made;
  for (int32_t i = 0; i < count; ++i) made.points.push_back({points[2 * i], points[2 * i + 1]});
  *polygon = host.docs.polygons.Add(std::move(made));
  return kXTOk;
}

int32_t PolygonPoints(XTPolygon polygon, XTHandle points, uint32_t* count) {
  Host& host = Host::Current();
  if (host.Fails("polygon_points")) return kXTErrInjected;
  const DocumentSpace::Polygon* found = host.docs.polygons.Find(polygon);
  std::vector<uint8_t>* block = Block(host, points);
  if (found == nullptr || block == nullptr || count == nullptr) return kXTErrParam;
  FillBlock(block, found->points);
  *count = static_cast<uint32_t>(found->points.size());
  return kXTOk;
}

int32_t DisposePolygon(XTPolygon polygon) {
  Host& host = Host::Current();
  if (host.Fails("dispose_polygon")) return kXTErrInjected;
  const DocumentSpace::Polygon* found = host.docs.polygons.Find(polygon);
  if (found == nullptr || found->host_owned) return kXTErrParam;
  host.docs.polygons.Remove(polygon);
  return kXTOk;
}

// --- making and removing items ---

int32_t NewBoxRecord(int32_t kind, int32_t shape, XTHandle* record) {
  Host& host = Host::Current();
  if (host.Fails("new_box_record")) return kXTErrInjected;
  if (record == nullptr || kind != 3 || shape != kShapeRectangle) return kXTErrParam;
  XTNewBoxRecord r{};
  r.kind = kind;
  r.shape = shape;
  r.content = 6;
  std::vector<uint8_t> block(sizeof r);
  std::memcpy(block.data(), &r, sizeof r);
  *record = host.docs.blocks.Add(std::move(block));
  return kXTOk;
}

int32_t CreateBox(XTHandle handle, XTItem* item) {
  Host& host = Host::Current();
  if (host.Fails("create_box")) return kXTErrInjected;
  At at;
  if (const int32_t result = CurrentAt(host, &at); result != kXTOk) return result;
  const std::vector<uint8_t>* block = Block(host, handle);
  if (item == nullptr || block == nullptr || block->size() < sizeof(XTNewBoxRecord)) {
    return kXTErrParam;
  }
  XTNewBoxRecord r;
  std::memcpy(&r, block->data(), sizeof r);
  if (r.bounds[2] <= r.bounds[0] || r.bounds[3] <= r.bounds[1]) return kXTErrParam;
  const int32_t id = at.content->NewItemId();
  if (id == 0) return kXTErrRefused;
  Box box;
  box.id = id;
  box.layout = at.layout_index;
  box.master = ShowsMasters(*at.layout);
  // The first page of the view: the layout's first spread, or the master
  // spread in front.
  box.spread = box.master ? std::min(at.layout->view + 2, at.layout->MasterCount()) : 1;
  if (box.master && box.spread < 3) return kXTErrParam;
  box.bounds = {r.bounds[1], r.bounds[0], r.bounds[3], r.bounds[2]};
  box.content = r.content;
  box.kind = r.content == DefaultContent(kTextItem) ? kTextItem : kEmptyItem;
  if (box.kind == kTextItem) {
    const int32_t story = at.content->NewStoryId();
    at.content->stories.emplace_back(story);
    box.story = story;
  }
  at.content->boxes.push_back(box);
  at.content->flags |= 2;
  *item = Handle(at, id);
  host.transcript().Line("create box " + std::to_string(id) + " story " +
                         std::to_string(box.story));
  return kXTOk;
}

int32_t DeleteItem(XTItem handle) {
  Host& host = Host::Current();
  if (host.Fails("delete_item")) return kXTErrInjected;
  At at;
  const Box* item = ItemOf(host, handle, &at);
  if (item == nullptr) return kXTErrParam;
  const int32_t id = item->id;
  RemoveItem(host, at.project, *at.content, id);
  host.transcript().Line("delete item " + std::to_string(id));
  return kXTOk;
}

// --- layers ---

int32_t ItemLayer(XTItem item, int32_t* layer) {
  return Predicate("item_layer", item, layer, [](const Box& b) { return b.layer; });
}

const Layer* FindLayer(const DocumentContent& content, int32_t id) {
  for (const Layer& layer : content.layers) {
    if (layer.id == id) return &layer;
  }
  return nullptr;
}

int32_t LayerName(int32_t document, int32_t layer, XTString* name) {
  Host& host = Host::Current();
  if (host.Fails("layer_name")) return kXTErrInjected;
  const DocumentContent* content = ContentOf(host, document);
  if (content == nullptr || name == nullptr) return kXTErrParam;
  const Layer* found = FindLayer(*content, layer);
  if (found == nullptr && layer != 0) return kXTErrParam;
  *name = host.strings.Add(found != nullptr ? found->name : std::u16string(u"Default"));
  return kXTOk;
}

int32_t ItemOnVisibleLayer(XTItem handle, uint8_t* answer) {
  Host& host = Host::Current();
  if (host.Fails("item_on_visible_layer")) return kXTErrInjected;
  At at;
  const Box* item = ItemOf(host, handle, &at);
  if (item == nullptr || answer == nullptr) return kXTErrParam;
  const Layer* layer = FindLayer(*at.content, item->layer);
  *answer = layer == nullptr || layer->visible ? 1 : 0;
  return kXTOk;
}

// --- composition ---

int32_t LineTable(XTItem handle, XTHandle table, uint32_t* count) {
  Host& host = Host::Current();
  if (host.Fails("line_table")) return kXTErrInjected;
  At at;
  const Box* item = ItemOf(host, handle, &at);
  std::vector<uint8_t>* block = Block(host, table);
  if (item == nullptr || block == nullptr || count == nullptr) return kXTErrParam;
  // The kept lines go into the block without a copy of their own: box
  // growth asks for a long story's table after every step.
  static const std::vector<XTLineRecord> none;
  const std::vector<XTLineRecord>* lines = LinesOfBox(*at.content, item->id);
  if (lines == nullptr) lines = &none;
  FillBlock(block, *lines);
  // Text that does not fit is marked only while the preference asks for it.
  if (!lines->empty() && !host.ui().Preference(kXTPrefOverflowMark)) {
    const int32_t unmarked = 0;
    std::memcpy(block->data() + block->size() - sizeof(XTLineRecord) + offsetof(XTLineRecord, overflow), &unmarked,
                sizeof unmarked);
  }
  *count = static_cast<uint32_t>(lines->size());
  return kXTOk;
}

// --- style sheets and colours ---

std::vector<const StyleSheet*> SheetsOf(const DocumentContent& content, int32_t kind) {
  std::vector<const StyleSheet*> sheets;
  for (const StyleSheet& sheet : content.style_sheets) {
    if (sheet.kind == kind) sheets.push_back(&sheet);
  }
  return sheets;
}

int32_t StyleCount(int32_t kind, int32_t* count) {
  Host& host = Host::Current();
  if (host.Fails("style_count")) return kXTErrInjected;
  const DocumentContent* content = CurrentContent(host);
  if (content == nullptr) return kXTErrNoDocument;
  if (count == nullptr) return kXTErrParam;
  *count = static_cast<int32_t>(SheetsOf(*content, kind).size());
  return kXTOk;
}

int32_t StyleSheetAt(int32_t kind, int32_t index, XTStyleRecord* record, uint32_t* id) {
  Host& host = Host::Current();
  if (host.Fails("style_sheet")) return kXTErrInjected;
  const DocumentContent* content = CurrentContent(host);
  if (content == nullptr) return kXTErrNoDocument;
  const std::vector<const StyleSheet*> sheets = SheetsOf(*content, kind);
  if (index < 0 || static_cast<std::size_t>(index) >= sheets.size()) return kXTErrParam;
  const StyleSheet& sheet = *sheets[static_cast<std::size_t>(index)];
  if (record != nullptr) {
    XTStyleRecord r{};
    const std::size_t units = std::min<std::size_t>(sheet.name.size(), 64);
    std::copy_n(sheet.name.begin(), units, r.name);
    r.kind = sheet.kind;
    r.record = sheet.record;
    *record = r;
  }
  if (id != nullptr) *id = sheet.id;
  return kXTOk;
}

int32_t ColorList(int32_t document, int32_t* list) {
  Host& host = Host::Current();
  if (host.Fails("color_list")) return kXTErrInjected;
  Document* found = host.app().FindLayoutDocument(document, nullptr);
  if (found == nullptr || list == nullptr) return kXTErrParam;
  *list = found->id;
  return kXTOk;
}

Color* FindColor(Host& host, int32_t list, int32_t id) {
  DocumentContent* content = ContentOf(host, list);
  if (content == nullptr) return nullptr;
  for (Color& color : content->colors) {
    if (color.id == id) return &color;
  }
  return nullptr;
}

int32_t NewColor(int32_t list, int32_t* id) {
  Host& host = Host::Current();
  if (id != nullptr) *id = kXTNoColor;
  if (host.Fails("new_color")) return kXTErrInjected;
  DocumentContent* content = ContentOf(host, list);
  if (content == nullptr || id == nullptr) return kXTErrParam;
  int32_t next = 1;
  for (const Color& color : content->colors) next = std::max<int32_t>(next, color.id + 1);
  if (next > 0xFFFF) return kXTErrRefused;
  Color color;
  color.id = static_cast<uint16_t>(next);
  content->colors.push_back(color);
  content->flags |= 2;
  *id = next;
  return kXTOk;
}

int32_t SetColorName(int32_t list, int32_t id, const char* name) {
  Host& host = Host::Current();
  if (host.Fails("set_color_name")) return kXTErrInjected;
  Color* color = FindColor(host, list, id);
  if (color == nullptr || name == nullptr) return kXTErrParam;
  color->name.assign(name, name + std::strlen(name));
  return kXTOk;
}

int32_t ConvertColor(uint32_t model, uint32_t rgb, uint32_t* value) {
  Host& host = Host::Current();
  if (host.Fails("convert_color")) return kXTErrInjected;
  if (model != kXTColorModelRgb || value == nullptr || rgb > 0xFFFFFF) return kXTErrParam;
  *value = rgb;
  return kXTOk;
}

int32_t SetColorValue(int32_t list, int32_t id, uint32_t value) {
  Host& host = Host::Current();
  if (host.Fails("set_color_value")) return kXTErrInjected;
  Color* color = FindColor(host, list, id);
  if (color == nullptr) return kXTErrParam;
  color->model = "QRGB";
  color->value = value;
  return kXTOk;
}

// --- projects ---

int32_t LayoutCount(XTProject project, int32_t* count) {
  Host& host = Host::Current();
  if (host.Fails("layout_count")) return kXTErrInjected;
  const Document* document = host.app().FindDocument(project);
  if (document == nullptr || document->content == nullptr || count == nullptr) return kXTErrParam;
  *count = static_cast<int32_t>(document->content->layouts.size());
  return kXTOk;
}

int32_t LayoutAt(XTProject project, int32_t index, XTLayout* layout) {
  Host& host = Host::Current();
  if (host.Fails("layout_at")) return kXTErrInjected;
  const Document* document = host.app().FindDocument(project);
  if (document == nullptr || document->content == nullptr || layout == nullptr || index < 0 ||
      static_cast<std::size_t>(index) >= document->content->layouts.size()) {
    return kXTErrParam;
  }
  *layout = LayoutHandle(project, index);
  return kXTOk;
}

const Layout* LayoutOfHandle(Host& host, XTLayout handle, int32_t* index) {
  const Document* document = host.app().FindDocument(handle >> 16);
  *index = (handle & 0xFFFF) - 1;
  if (document == nullptr || document->content == nullptr || *index < 0 ||
      static_cast<std::size_t>(*index) >= document->content->layouts.size()) {
    return nullptr;
  }
  return &document->content->layouts[static_cast<std::size_t>(*index)];
}

int32_t LayoutType(XTLayout handle, uint32_t* type) {
  Host& host = Host::Current();
  if (host.Fails("layout_type")) return kXTErrInjected;
  int32_t index = 0;
  const Layout* layout = LayoutOfHandle(host, handle, &index);
  if (layout == nullptr || type == nullptr) return kXTErrParam;
  *type = layout->type;
  return kXTOk;
}

int32_t LayoutDocument(XTLayout handle, int16_t* document) {
  Host& host = Host::Current();
  if (host.Fails("layout_document")) return kXTErrInjected;
  int32_t index = 0;
  if (LayoutOfHandle(host, handle, &index) == nullptr || document == nullptr) return kXTErrParam;
  *document = static_cast<int16_t>((handle >> 16) + index);
  return kXTOk;
}

int32_t ClockFields(uint16_t* fields) {
  Host& host = Host::Current();
  if (host.Fails("clock")) return kXTErrInjected;
  if (fields == nullptr) return kXTErrParam;
  const HostTime now = host.app().clock.Now();
  const int values[6] = {now.year, now.month, now.day, now.hour, now.minute, now.second};
  for (int i = 0; i < 6; ++i) fields[i] = static_cast<uint16_t>(values[i]);
  return kXTOk;
}

// --- text geometry ---

int32_t LineQuery(int32_t story_id, int32_t* position, XTHandle table, XTItem* box) {
  Host& host = Host::Current();
  if (host.Fails("line_query")) return kXTErrInjected;
  At at;
  if (const int32_t result = CurrentAt(host, &at); result != kXTOk) return result;
  const Story* story = at.content->FindStory(story_id);
  std::vector<uint8_t>* block = Block(host, table);
  if (story == nullptr || position == nullptr || block == nullptr || box == nullptr ||
      *position < 0 || *position > story->length()) {
    return kXTErrParam;
  }
  LinePlace place;
  if (!LineOfUnit(*at.content, *story, *position, &place)) return kXTErrNoItem;
  FillBlock(block, *place.lines);
  *box = Handle(at, place.box);
  *position = static_cast<int32_t>(place.line);
  return kXTOk;
}

int32_t FormatMeasure(int32_t value, int32_t precision, XTString* text) {
  Host& host = Host::Current();
  if (host.Fails("format_measure")) return kXTErrInjected;
  const DocumentContent* content = CurrentContent(host);
  if (content == nullptr) return kXTErrNoDocument;
  if (text == nullptr || (precision != 1 && precision != 10 && precision != 100)) {
    return kXTErrParam;
  }
  // Points per unit.
  const double per = content->unit == "in"     ? 72.0
                     : content->unit == "mm"   ? 72.0 / 25.4
                     : content->unit == "cm"   ? 72.0 / 2.54
                     : content->unit == "pica" ? 12.0
                                               : 1.0;
  const int decimals = precision == 100 ? 2 : precision == 10 ? 1 : 0;
  // As "%.*f" writes it, without the C library's formatting machinery.
  char buffer[400];
  const char* end =
      std::to_chars(buffer, buffer + sizeof buffer, value / 65536.0 / per, std::chars_format::fixed, decimals).ptr;
  std::u16string shown;
  for (const char* c = buffer; c != end; ++c) {
    shown += *c == '.' && content->decimal_comma ? u',' : static_cast<char16_t>(*c);
  }
  *text = host.strings.Add(shown);
  return kXTOk;
}

int32_t ParagraphStyleIndex(int32_t story_id, int32_t start, int32_t end, int32_t* index) {
  Host& host = Host::Current();
  if (host.Fails("paragraph_style_index")) return kXTErrInjected;
  DocumentContent* content = CurrentContent(host);
  if (content == nullptr) return kXTErrNoDocument;
  const Story* story = content->FindStory(story_id);
  if (story == nullptr || index == nullptr || start < 0 || start > end || end > story->length()) {
    return kXTErrParam;
  }
  // The paragraph holding `start` (the last one at the end).
  int32_t at = 0;
  const int32_t format =
      story->paragraphs.empty() ? 0 : story->paragraphs[story->ParagraphAt(start, &at)].format;
  const uint16_t style = content->formats[static_cast<std::size_t>(format)].style;
  for (std::size_t i = 0; i < content->style_sheets.size(); ++i) {
    if (content->style_sheets[i].id == style) {
      *index = static_cast<int32_t>(i + 1);
      return kXTOk;
    }
  }
  *index = 0;
  return kXTErrNotFound;
}

int32_t TextAttributeAt(int32_t story_id, int32_t position, int32_t attribute, int32_t* value) {
  Host& host = Host::Current();
  if (host.Fails("text_attribute_at")) return kXTErrInjected;
  DocumentContent* content = CurrentContent(host);
  if (content == nullptr) return kXTErrNoDocument;
  const Story* story = content->FindStory(story_id);
  if (story == nullptr || value == nullptr || position < 0 || position > story->length()) {
    return kXTErrParam;
  }
  if (attribute == kXTAttrSize) {
    *value = content->attributes[static_cast<std::size_t>(story->AttributesAt(position))].size;
    return kXTOk;
  }
  // The paragraph holding the position (the last one at the end).
  if (story->paragraphs.empty()) return kXTErrParam;
  int32_t at = 0;
  const XTParaFormatRecord* format = &content->formats[static_cast<std::size_t>(
      story->paragraphs[story->ParagraphAt(position, &at)].format)];
  switch (attribute) {
    case kXTParaLeading:
      *value = format->leading;
      return kXTOk;
    case kXTParaSpaceBefore:
      *value = format->space_before;
      return kXTOk;
    case kXTParaSpaceAfter:
      *value = format->space_after;
      return kXTOk;
    default:
      return kXTErrParam;
  }
}

// --- LGL2: item data ---

// The item data an owner keeps: an item, a page or a document.
ItemData* DataOf(Host& host, int32_t owner, int32_t* project) {
  if (owner > 0 && owner <= 0xFFFF) {
    Document* document = host.app().FindLayoutDocument(owner, nullptr);
    if (document == nullptr || document->content == nullptr) return nullptr;
    *project = document->id;
    return &document->content->data;
  }
  if ((owner & kPageBit) != 0) {
    int32_t master = 0;
    Page* page = PageOf(host, owner, &master);
    Document* document = host.app().FindLayoutDocument(owner >> 16, nullptr);
    if (page == nullptr || document == nullptr || (master <= 2 && (owner & 0x7FFF) <= 2)) {
      return nullptr;
    }
    *project = document->id;
    return &page->data;
  }
  DocumentContent* content = ContentOf(host, owner >> 16);
  Box* item = content != nullptr ? content->FindBox(owner & 0xFFFF) : nullptr;
  if (item == nullptr) return nullptr;
  *project = owner >> 16;
  return &item->data;
}

int32_t GetItemData(int32_t owner, uint32_t key, XTHandle* data) {
  Host& host = Host::Current();
  if (host.Fails("get_item_data")) return kXTErrInjected;
  int32_t project = 0;
  const ItemData* entries = DataOf(host, owner, &project);
  if (entries == nullptr || data == nullptr) return kXTErrParam;
  auto it = entries->find(key);
  if (it == entries->end()) return kXTErrNotFound;
  *data = host.docs.blocks.Add(it->second);
  return kXTOk;
}

int32_t SetItemData(int32_t owner, uint32_t key, XTHandle data) {
  Host& host = Host::Current();
  if (host.Fails("set_item_data")) return kXTErrInjected;
  int32_t project = 0;
  ItemData* entries = DataOf(host, owner, &project);
  const std::vector<uint8_t>* block = data != 0 ? Block(host, data) : nullptr;
  if (entries == nullptr || (data != 0 && block == nullptr)) return kXTErrParam;
  // The search index of the item's document follows every change.
  if ((owner & kPageBit) == 0 && owner > 0xFFFF) {
    auto old = entries->find(key);
    ItemDataChanging(*ContentOf(host, owner >> 16), owner & 0xFFFF, key,
                     old != entries->end() ? &old->second : nullptr, block);
  }
  if (block != nullptr) {
    (*entries)[key] = *block;
  } else {
    entries->erase(key);
  }
  return kXTOk;
}

int32_t FindItemData(uint32_t key, XTHandle data, XTItem* item) {
  Host& host = Host::Current();
  if (host.Fails("find_item_data")) return kXTErrInjected;
  At at;
  if (const int32_t result = CurrentAt(host, &at); result != kXTOk) return result;
  const std::vector<uint8_t>* block = Block(host, data);
  if (block == nullptr || item == nullptr) return kXTErrParam;
  const int32_t found =
      xthost::FindItemData(*at.content, at.layout_index, ShowsMasters(*at.layout), key, *block);
  *item = found != 0 ? Handle(at, found) : 0;
  return found != 0 ? kXTOk : kXTErrNoItem;
}

int32_t DataChanged(int32_t document) {
  Host& host = Host::Current();
  if (host.Fails("data_changed")) return kXTErrInjected;
  DocumentContent* content = ContentOf(host, document);
  if (content == nullptr) return kXTErrParam;
  content->flags |= 2;
  return kXTOk;
}

// --- LGL2: text objects ---

const Story* StoryOf(Host& host, int32_t story_id, DocumentContent** content) {
  *content = CurrentContent(host);
  return *content != nullptr ? (*content)->FindStory(story_id) : nullptr;
}

// The opcode of the run holding unit `position`.
uint32_t OpcodeAt(const DocumentContent& content, const Story& story, int32_t position) {
  const int32_t index = story.AttributesAt(position);
  return content.attributes[static_cast<std::size_t>(index)].opcode;
}

int32_t AnchoredItem(int32_t story_id, int32_t position, XTItem* item) {
  Host& host = Host::Current();
  if (host.Fails("anchored_item")) return kXTErrInjected;
  DocumentContent* content = nullptr;
  const Story* story = StoryOf(host, story_id, &content);
  if (story == nullptr || item == nullptr || position < 0 || position >= story->length()) {
    return kXTErrParam;
  }
  const XTCharAttrRecord& a = content->attributes[static_cast<std::size_t>(
      story->AttributesAt(position))];
  if ((a.opcode & 0x1F) != kXTOpAnchoredBox || content->FindBox(a.object) == nullptr) {
    *item = 0;
    return kXTErrNoItem;
  }
  *item = BoxHandle(host.app().current_document, a.object);
  return kXTOk;
}

int32_t FindRun(int32_t story_id, int32_t* position, int32_t direction, uint32_t flags, uint32_t,
                int32_t limit) {
  Host& host = Host::Current();
  if (host.Fails("find_run")) return kXTErrInjected;
  DocumentContent* content = nullptr;
  const Story* story = StoryOf(host, story_id, &content);
  if (story == nullptr || position == nullptr || *position < 0 || *position > story->length()) {
    return kXTErrParam;
  }
  const uint32_t want = flags & 0x60;
  if (direction == 1) {
    const int32_t end = std::min(limit, story->length());
    for (int32_t i = *position; i < end; ++i) {
      if ((OpcodeAt(*content, *story, i) & 0x60) == want) {
        *position = i;
        return kXTOk;
      }
    }
  } else {
    for (int32_t i = *position - 1; i >= 0; --i) {
      if ((OpcodeAt(*content, *story, i) & 0x60) == want) {
        *position = i;
        return kXTOk;
      }
    }
  }
  return kXTErrNoItem;
}

int32_t RunEnd(int32_t story_id, int32_t position, int32_t, int32_t, int32_t* end) {
  Host& host = Host::Current();
  if (host.Fails("run_end")) return kXTErrInjected;
  DocumentContent* content = nullptr;
  const Story* story = StoryOf(host, story_id, &content);
  if (story == nullptr || end == nullptr || position < 0 || position > story->length()) {
    return kXTErrParam;
  }
  int32_t start = 0;
  const std::size_t run = story->RunAt(position, &start);
  *end = run < story->runs.size() ? start + story->runs[run].length : story->length();
  return kXTOk;
}

int32_t NextBoundary(int32_t story_id, int32_t position, int32_t, int32_t, int32_t* next) {
  Host& host = Host::Current();
  if (host.Fails("next_boundary")) return kXTErrInjected;
  DocumentContent* content = nullptr;
  const Story* story = StoryOf(host, story_id, &content);
  if (story == nullptr || next == nullptr || position < 0 || position >= story->length()) {
    return kXTErrParam;
  }
  const char16_t unit = story->text[static_cast<std::size_t>(position)];
  const bool pair = unit >= 0xD800 && unit <= 0xDBFF && position + 1 < story->length() &&
                    story->text[static_cast<std::size_t>(position + 1)] >= 0xDC00 &&
                    story->text[static_cast<std::size_t>(position + 1)] <= 0xDFFF;
  *next = position + (pair ? 2 : 1);
  return kXTOk;
}

// --- fitting ---

int32_t KeepsSize(XTItem item, uint8_t* answer) {
  return Predicate("keeps_size", item, answer, [](const Box& b) { return b.keep_size; });
}

// A box's rectangle as fitting reads it: top, left, bottom, right, drawn in
// by `inset` on every side.
int32_t FittingRect(const char* name, XTItem handle, int32_t mode, int32_t* rect, bool text) {
  Host& host = Host::Current();
  if (host.Fails(name)) return kXTErrInjected;
  At at;
  const Box* item = ItemOf(host, handle, &at);
  if (item == nullptr || rect == nullptr || mode != 2) return kXTErrParam;
  const int32_t inset = text ? item->inset : 0;
  rect[0] = item->bounds[1] + inset;
  rect[1] = item->bounds[0] + inset;
  rect[2] = item->bounds[3] - inset;
  rect[3] = item->bounds[2] - inset;
  host.transcript().Line(std::string("box ") + std::to_string(item->id) + " " + name + " " +
                         std::to_string(rect[0]) + " " + std::to_string(rect[1]) + " " +
                         std::to_string(rect[2]) + " " + std::to_string(rect[3]));
  return kXTOk;
}

int32_t OuterBounds(XTItem item, int32_t which, int32_t mode, int32_t* rect) {
  if (which != 0) return kXTErrParam;
  return FittingRect("outer_bounds", item, mode, rect, false);
}

int32_t TextArea(XTItem item, int32_t mode, int32_t* rect) {
  return FittingRect("text_area", item, mode, rect, true);
}

int32_t ChainEnd(XTItem handle, XTItem* last) {
  Host& host = Host::Current();
  if (host.Fails("chain_end")) return kXTErrInjected;
  At at;
  const Box* item = ItemOf(host, handle, &at);
  if (item == nullptr || last == nullptr) return kXTErrParam;
  if (item->story == 0 || item->kind != kTextItem) return kXTErrNoItem;
  const Box* end = at.content->LastOfChain(item->story);
  if (end == nullptr) return kXTErrNoItem;
  *last = Handle(at, end->id);
  return kXTOk;
}

int32_t DocumentRequest(int32_t document, int32_t request) {
  Host& host = Host::Current();
  if (host.Fails("document_request", std::to_string(request))) return kXTErrInjected;
  DocumentContent* content = ContentOf(host, document);
  if (content == nullptr) return kXTErrNoDocument;
  if (request != kXTRequestRedraw && request != kXTRequestRecompose) return kXTErrParam;
  if (request == kXTRequestRecompose) InvalidateComposition(*content);
  host.transcript().Line("document " + std::to_string(document) + " request " +
                         std::to_string(request));
  return kXTOk;
}

}  // namespace

const XTLayoutSuite kLayoutSuite = {
    kXTSuiteLGK2,
    SpreadCount,     FirstItem,        NextItem,          FirstPageItem,  NextPageItem,
    SpreadPages,     SpreadPageNumbers, PageReference,    PageMaster,
    MasterCount,     MasterName,       IsMasterSpread,    IsMasterItemOf, ViewOf,
    ShowView,        ViewShowsMasters, ViewState,         BringViewToFront,
    IsTextBox,       IsPictureBox,     IsEmptyBox,        IsLine,         IsGroup,
    AnchorStory,     IsLocked,         IsRotated,         ItemLocation,   PageInfoOf,
    ParentItem,      GroupMembersOf,   MasterItemOf,      ContentKind,    ItemStory,
    BoxRecord,       StoreBoxRecord,   NewPolygon,        PolygonPoints,  DisposePolygon,
    NewBoxRecord,    CreateBox,        DeleteItem,
    ItemLayer,       LayerName,        ItemOnVisibleLayer,
    LineTable,
    StyleCount,      StyleSheetAt,     ColorList,         NewColor,       SetColorName,
    ConvertColor,    SetColorValue,
    LayoutCount,     LayoutAt,         LayoutType,        LayoutDocument, ClockFields,
    LineQuery,       FormatMeasure,    ParagraphStyleIndex, TextAttributeAt,
    KeepsSize,       OuterBounds,      TextArea,          ChainEnd,       DocumentRequest,
};

const XTItemDataSuite kItemDataSuite = {
    kXTSuiteLGL2, GetItemData, SetItemData, FindItemData, DataChanged,
    AnchoredItem, FindRun,     RunEnd,      NextBoundary,
};

}  // namespace xthost
