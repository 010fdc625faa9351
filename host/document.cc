#include "host/document.h"

#include <algorithm>
#include <limits>
#include <map>
#include <set>

namespace xthost {

bool SameAttributes(const XTCharAttrRecord& a, const XTCharAttrRecord& b) {
  return a.font == b.font && a.faces == b.faces && a.size == b.size && a.shift == b.shift &&
         a.color == b.color && a.style == b.style && a.kerning == b.kerning &&
         a.tracking == b.tracking && a.flags == b.flags && a.script == b.script &&
         a.region == b.region && a.opcode == b.opcode && a.object == b.object && a.mark == b.mark;
}

bool SameFormat(const XTParaFormatRecord& a, const XTParaFormatRecord& b) {
  if (a.style != b.style || a.alignment != b.alignment || a.left_indent != b.left_indent ||
      a.right_indent != b.right_indent || a.first_indent != b.first_indent ||
      a.leading != b.leading || a.space_before != b.space_before ||
      a.space_after != b.space_after || a.hj != b.hj || a.flags != b.flags ||
      a.tab_count != b.tab_count) {
    return false;
  }
  for (int i = 0; i < a.tab_count && i < kXTMaxTabs; ++i) {
    if (a.tabs[i].position != b.tabs[i].position || a.tabs[i].align != b.tabs[i].align ||
        a.tabs[i].fill != b.tabs[i].fill) {
      return false;
    }
  }
  return true;
}

XTCharAttrRecord DefaultAttributes() {
  XTCharAttrRecord record{};
  record.size = 12 << 16;
  return record;
}

DocumentContent::DocumentContent() : formats(1, XTParaFormatRecord{}), attributes{DefaultAttributes()} {}

Story* DocumentContent::FindStory(int32_t id) { return story_index.Find(stories, id); }

const Story* DocumentContent::FindStory(int32_t id) const {
  return const_cast<DocumentContent*>(this)->FindStory(id);
}

int32_t Layout::PageCount() const {
  int32_t count = 0;
  for (const Spread& spread : spreads) count += static_cast<int32_t>(spread.pages.size());
  return count;
}

const Page& Layout::MasterPage(int32_t s) const {
  static const Page kBuiltIn;
  if (s >= 3 && static_cast<std::size_t>(s - 3) < masters.size()) {
    return masters[static_cast<std::size_t>(s - 3)].page;
  }
  return kBuiltIn;
}

Page* Layout::MutableMasterPage(int32_t s) {
  if (s >= 3 && static_cast<std::size_t>(s - 3) < masters.size()) {
    return &masters[static_cast<std::size_t>(s - 3)].page;
  }
  return nullptr;
}

int32_t DefaultContent(ItemKind kind) {
  switch (kind) {
    case kTextItem:
      return 6;
    case kPictureItem:
      return 7;
    case kEmptyItem:
      return 5;
    default:
      return 0;
  }
}

Box* DocumentContent::FindBox(int32_t id) { return box_index.Find(boxes, id); }

const Box* DocumentContent::FindBox(int32_t id) const {
  return const_cast<DocumentContent*>(this)->FindBox(id);
}

Layout* DocumentContent::CurrentLayout() {
  if (current_layout < 0 || static_cast<std::size_t>(current_layout) >= layouts.size()) {
    return nullptr;
  }
  return &layouts[static_cast<std::size_t>(current_layout)];
}

int32_t DocumentContent::NewItemId() {
  ItemsChanged();
  for (const Box& box : boxes) next_item = std::max(next_item, box.id + 1);
  if (next_item > kMaxItemId) return 0;
  return next_item++;
}

int32_t DocumentContent::NewStoryId() const {
  int32_t largest = 0;
  for (const Story& story : stories) largest = std::max(largest, story.id);
  if (largest < std::numeric_limits<int32_t>::max()) return largest + 1;
  std::set<int32_t> used;
  for (const Story& story : stories) used.insert(story.id);
  int32_t id = 1;
  while (used.count(id) != 0) ++id;
  return id;
}

Story* DocumentContent::SelectedStory() {
  const Box* box = text_open ? FindBox(current_box) : nullptr;
  return box != nullptr ? FindStory(box->story) : nullptr;
}

int32_t DocumentContent::AttributeIndex(const XTCharAttrRecord& record) {
  for (std::size_t i = 0; i < attributes.size(); ++i) {
    if (SameAttributes(attributes[i], record)) return static_cast<int32_t>(i);
  }
  XTCharAttrRecord copy = record;
  for (uint8_t& byte : copy.reserved) byte = 0;
  attributes.push_back(copy);
  return static_cast<int32_t>(attributes.size() - 1);
}

namespace {

// Calls use(attribute, index) for each record index a story run or a style
// sheet names: a character-attribute record when `attribute`, else a
// paragraph format.
template <typename Use>
void ForEachRecordUse(const DocumentContent& content, const Use& use) {
  for (const Story& story : content.stories) {
    for (const CharacterRun& run : story.runs) use(true, run.attributes);
    for (const ParagraphRun& paragraph : story.paragraphs) use(false, paragraph.format);
  }
  for (const StyleSheet& sheet : content.style_sheets) use(sheet.kind == kCharacterStyle, sheet.record);
}

}  // namespace

void DocumentContent::DropUnusedRecords() {
  if (attributes.size() <= opened_attributes && formats.size() <= opened_formats) return;
  std::size_t used[2] = {0, 0};  // formats, attributes
  ForEachRecordUse(*this, [&used](bool attribute, int32_t index) {
    used[attribute] = std::max(used[attribute], static_cast<std::size_t>(std::max(index, 0)) + 1);
  });
  attributes.resize(std::min(attributes.size(), std::max(used[1], opened_attributes)));
  formats.resize(std::min(formats.size(), std::max(used[0], opened_formats)));
}

void DocumentContent::NoteOpenedRecords() {
  std::vector<bool> used[2] = {std::vector<bool>(formats.size()), std::vector<bool>(attributes.size())};
  ForEachRecordUse(*this, [&used](bool attribute, int32_t index) {
    if (index >= 0 && static_cast<std::size_t>(index) < used[attribute].size()) used[attribute][index] = true;
  });
  const auto kept = [](const std::vector<bool>& table) {
    std::size_t count = table.size();
    while (count > 1 && table[count - 1]) --count;
    return count;
  };
  opened_formats = kept(used[0]);
  opened_attributes = kept(used[1]);
}

int32_t DocumentContent::FormatIndex(const XTParaFormatRecord& record) {
  for (std::size_t i = 0; i < formats.size(); ++i) {
    if (SameFormat(formats[i], record)) return static_cast<int32_t>(i);
  }
  XTParaFormatRecord copy = record;
  for (uint8_t& byte : copy.reserved) byte = 0;
  formats.push_back(copy);
  return static_cast<int32_t>(formats.size() - 1);
}

bool DocumentContent::Check(std::string* error) const {
  auto fail = [&](const std::string& why) {
    *error = why;
    return false;
  };
  if (formats.empty()) return fail("no paragraph formats");
  if (attributes.empty()) return fail("no character attributes");
  for (std::size_t i = 0; i < formats.size(); ++i) {
    if (formats[i].tab_count > kXTMaxTabs) {
      return fail("paragraph format " + std::to_string(i) + " has more than 16 tabs");
    }
  }
  if (!layouts.empty() &&
      (current_layout < 0 || static_cast<std::size_t>(current_layout) >= layouts.size())) {
    return fail("no current layout " + std::to_string(current_layout));
  }
  std::set<int32_t> ids;
  for (const Font& font : fonts) {
    if (!ids.insert(font.id).second) return fail("font " + std::to_string(font.id) + " twice");
  }
  ids.clear();
  for (const Color& color : colors) {
    if (!ids.insert(color.id).second) return fail("colour " + std::to_string(color.id) + " twice");
    if (color.model.size() != 4) return fail("colour " + std::to_string(color.id) + " model");
  }
  ids.clear();
  for (const StyleSheet& sheet : style_sheets) {
    if (sheet.id == 0 || !ids.insert(sheet.id).second) {
      return fail("style sheet " + std::to_string(sheet.id) + " twice or 0");
    }
    const std::size_t table = sheet.kind == kParagraphStyle ? formats.size() : attributes.size();
    if ((sheet.kind != kParagraphStyle && sheet.kind != kCharacterStyle) || sheet.record < 0 ||
        static_cast<std::size_t>(sheet.record) >= table) {
      return fail("style sheet " + std::to_string(sheet.id) + " has no record");
    }
  }
  ids.clear();
  for (const Story& story : stories) {
    if (story.id <= 0 || !ids.insert(story.id).second) {
      return fail("story " + std::to_string(story.id) + " twice or not above 0");
    }
    if (!story.Check(formats.size(), attributes.size(), error)) return false;
  }
  std::set<int32_t> box_ids;
  for (const Box& box : boxes) {
    if (box.id <= 0 || box.id > kMaxItemId || !box_ids.insert(box.id).second) {
      return fail("box " + std::to_string(box.id) + " twice or out of 1 to 32767");
    }
  }
  std::set<int32_t> layer_ids{0};
  for (const Layer& layer : layers) {
    if (layer.id != 0 && !layer_ids.insert(layer.id).second) {
      return fail("layer " + std::to_string(layer.id) + " twice");
    }
  }
  for (const Layout& layout : layouts) {
    for (const Spread& spread : layout.spreads) {
      for (const Page& page : spread.pages) {
        if (page.master < 1 || page.master > layout.MasterCount()) {
          return fail("a page of layout \"" + std::string(layout.name.begin(), layout.name.end()) +
                      "\" has no master spread " + std::to_string(page.master));
        }
      }
    }
  }
  // Anchored items: each held by exactly one one-unit run of opcode 1.
  std::map<int32_t, int32_t> anchors;  // item id -> story holding it
  for (const Story& story : stories) {
    int32_t position = 0;
    for (const CharacterRun& run : story.runs) {
      const XTCharAttrRecord& a = attributes[static_cast<std::size_t>(run.attributes)];
      if ((a.opcode & 0x1F) == kXTOpAnchoredBox && run.length > 0) {
        if (run.length != 1) {
          return fail("story " + std::to_string(story.id) + " anchors one item in " +
                      std::to_string(run.length) + " units at " + std::to_string(position));
        }
        if (!anchors.emplace(a.object, story.id).second) {
          return fail("item " + std::to_string(a.object) + " is anchored twice");
        }
      }
      position += run.length;
    }
  }
  for (const Box& box : boxes) {
    const std::string item = "box " + std::to_string(box.id);
    if (box.layout < 0 || static_cast<std::size_t>(box.layout) >= layouts.size()) {
      return fail(item + " has no layout");
    }
    const Layout& layout = layouts[static_cast<std::size_t>(box.layout)];
    if (box.story != 0 && ids.count(box.story) == 0) {
      return fail(item + " shows no story " + std::to_string(box.story));
    }
    if ((box.story != 0) != (box.kind == kTextItem)) {
      return fail(item + (box.story != 0 ? " is no text box but shows a story" : " has no story"));
    }
    if (box.kind < kTextItem || box.kind > kGroupItem) return fail(item + " has no kind");
    if (box.group != 0) {
      // A member lies where its group lies.
    } else if (box.anchor != 0) {
      auto it = anchors.find(box.id);
      if (it == anchors.end() || it->second != box.anchor) {
        return fail(item + " is not anchored in story " + std::to_string(box.anchor));
      }
      anchors.erase(it);
    } else {
      const int32_t spreads = box.master ? layout.MasterCount()
                                         : static_cast<int32_t>(std::max<std::size_t>(
                                               layout.spreads.size(), 1));
      if (box.spread < (box.master ? 3 : 1) || box.spread > spreads) {
        return fail(item + " lies on no spread " + std::to_string(box.spread));
      }
    }
    if (box.group != 0) {
      const Box* group = FindBox(box.group);
      if (group == nullptr || group->kind != kGroupItem || group->layout != box.layout ||
          group->id == box.id || box.anchor != 0) {
        return fail(item + " has no group " + std::to_string(box.group) + " beside it");
      }
    }
    if (box.parent != 0) {
      const Box* parent = FindBox(box.parent);
      if (parent == nullptr || parent->kind != kTextItem || parent->id == box.id) {
        return fail(item + " has no parent text box " + std::to_string(box.parent));
      }
    }
    if (box.master_item != 0) {
      const Box* master = FindBox(box.master_item);
      if (master == nullptr || !master->master || master->layout != box.layout || box.master) {
        return fail(item + " has no master item " + std::to_string(box.master_item));
      }
    }
    if (layer_ids.count(box.layer) == 0) {
      return fail(item + " lies on no layer " + std::to_string(box.layer));
    }
    if (box.shape < 5 || box.shape > kShapeUser) return fail(item + " has no shape");
  }
  if (!anchors.empty()) {
    return fail("story " + std::to_string(anchors.begin()->second) + " anchors no item " +
                std::to_string(anchors.begin()->first));
  }
  // Groups nest without cycles.
  for (const Box& box : boxes) {
    int32_t steps = 0;
    for (const Box* at = &box; at->group != 0; at = FindBox(at->group)) {
      if (++steps > static_cast<int32_t>(boxes.size())) {
        return fail("box " + std::to_string(box.id) + " lies in a cycle of groups");
      }
    }
  }
  if (current_box != 0 && box_ids.count(current_box) == 0) {
    return fail("no current box " + std::to_string(current_box));
  }
  if (text_open) {
    const Story* story = const_cast<DocumentContent*>(this)->SelectedStory();
    if (story == nullptr) return fail("open text without a story");
    if (selection_start < 0 || selection_start > selection_end ||
        selection_end > story->length()) {
      return fail("selection outside its story");
    }
  } else if (selection_start != 0 || selection_end != 0) {
    return fail("selection without open text");
  }
  return true;
}

XTTextRef DocumentSpace::RefOf(int32_t document, const Story& story) {
  XTTextRef& latest = latest_[{document, story.id}];
  auto it = refs_.find(latest);
  if (it != refs_.end() && it->second.version == story.version) return latest;
  latest = next_++;
  refs_[latest] = TextTarget{document, story.id, story.version};
  return latest;
}

bool DocumentSpace::Lookup(XTTextRef ref, TextTarget* target) const {
  auto it = refs_.find(ref);
  if (it == refs_.end()) return false;
  *target = it->second;
  return true;
}

void DocumentSpace::Follow(XTTextRef ref, const Story& story) {
  auto it = refs_.find(ref);
  if (it == refs_.end()) return;
  it->second.version = story.version;
  latest_[{it->second.document, it->second.story}] = ref;
}

}  // namespace xthost
