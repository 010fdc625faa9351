#include "host/story_changes.h"

#include <algorithm>

#include "host/compose.h"
#include "host/document_ops.h"
#include "host/layout_walk.h"

namespace xthost {
namespace {

// Notifications may nest (a callback changes a master story again); past
// this depth the host stops passing changes on.
constexpr int kMaxNesting = 8;
int nesting = 0;
// The copy whose story the host itself is changing, so that the change does
// not end its following.
int32_t replaying = 0;

// Duplicates item `id` of `source` (with its members, its story and the
// items anchored there) into `target` as an item anchored in story
// `anchor`, or in the same place when `anchor` is 0; the new item's id.
int32_t DuplicateItem(DocumentContent& source, int32_t id, DocumentContent& target,
                      int32_t anchor, int32_t group, bool with_data, int depth) {
  const Box* original = source.FindBox(id);
  if (original == nullptr || depth > 32) return 0;
  // Copied out: the target may be the source, and adding to its boxes or
  // stories moves them.
  Box copy = *original;
  original = nullptr;
  copy.id = target.NewItemId();
  if (copy.id == 0) return 0;
  copy.anchor = anchor != 0 && group == 0 ? anchor : copy.anchor;
  copy.group = group;
  copy.master_item = 0;
  copy.follows = false;
  if (!with_data) copy.data.clear();
  const int32_t story_id = copy.story;
  if (copy.kind == kTextItem) {
    // A story of its own, with copies of its anchored items.
    const Story* story = source.FindStory(story_id);
    const bool has_story = story != nullptr;
    const int32_t length = has_story ? story->length() : 0;
    copy.story = target.NewStoryId();
    target.stories.emplace_back(copy.story);
    if (has_story) {
      target.boxes.push_back(copy);
      CopyStoryText(source, story_id, 0, length, target, copy.story, 0, with_data);
      Story* made = target.FindStory(copy.story);
      // The copy's paragraphs keep the formats of the original.
      if (made != nullptr && source.FindStory(story_id) != nullptr && &source == &target) {
        made->paragraphs = source.FindStory(story_id)->paragraphs;
        made->Touch();
      }
      return copy.id;
    }
  }
  const int32_t copy_id = copy.id;
  target.boxes.push_back(copy);
  if (copy.kind == kGroupItem) {
    for (const int32_t member : GroupMembers(source, id)) {
      DuplicateItem(source, member, target, anchor, copy_id, with_data, depth + 1);
    }
  }
  return copy_id;
}

void RemoveItemInner(Host& host, int32_t project, DocumentContent& content, int32_t id,
                     bool remove_unit, int depth) {
  Box* item = content.FindBox(id);
  if (item == nullptr || depth > 64) return;
  content.ItemsChanged();
  const Box removed = *item;
  content.boxes.erase(std::remove_if(content.boxes.begin(), content.boxes.end(),
                                     [id](const Box& box) { return box.id == id; }),
                      content.boxes.end());
  if (content.current_box == id) {
    content.current_box = 0;
    content.text_open = false;
    content.selection_start = content.selection_end = 0;
  }
  if (removed.kind == kGroupItem) {
    for (const int32_t member : GroupMembers(content, id)) {
      RemoveItemInner(host, project, content, member, false, depth + 1);
    }
  }
  if (removed.kind == kTextItem && content.ChainOf(removed.story).empty()) {
    for (const int32_t anchored : AnchoredItems(content, removed.story)) {
      RemoveItemInner(host, project, content, anchored, false, depth + 1);
    }
    content.stories.erase(
        std::remove_if(content.stories.begin(), content.stories.end(),
                       [&](const Story& story) { return story.id == removed.story; }),
        content.stories.end());
  }
  if (remove_unit && removed.anchor != 0 && removed.group == 0) {
    Story* story = content.FindStory(removed.anchor);
    if (story != nullptr) {
      int32_t position = 0;
      for (const CharacterRun& run : story->runs) {
        const XTCharAttrRecord& a = content.attributes[static_cast<std::size_t>(run.attributes)];
        if ((a.opcode & 0x1F) == kXTOpAnchoredBox && a.object == id) {
          story->Delete(position, position + 1);
          break;
        }
        position += run.length;
      }
    }
  }
  content.flags |= 3;
  content.ItemsChanged();
  InvalidateComposition(content);
}

void Replay(Host& host, DocumentContent& content, const Story& master, Story& copy,
            const StoryChange& change) {
  const int32_t start = std::min(change.start, copy.length());
  switch (change.kind) {
    case StoryChange::kInsert:
      CopyStoryText(content, master.id, change.start, change.end, content, copy.id, start, false);
      break;
    case StoryChange::kDelete: {
      const int32_t end = std::min(change.end, copy.length());
      const std::vector<int32_t> gone = AnchoredIn(content, copy.id, start, end);
      copy.Delete(start, end);
      for (const int32_t id : gone) {
        RemoveItemInner(host, host.app().current_document, content, id, false, 0);
      }
      break;
    }
    case StoryChange::kAttributes: {
      const int32_t end = std::min(change.end, copy.length());
      for (int32_t i = start; i < end; ++i) {
        const int32_t index = master.AttributesAt(i);
        copy.ChangeAttributes(i, i + 1, [index](int32_t) { return index; });
      }
      break;
    }
  }
  content.flags |= 1;
}

}  // namespace

void PlainTypedUnits(DocumentContent& content, Story& story, int32_t start, int32_t end) {
  story.ChangeAttributes(start, end, [&content](int32_t index) {
    XTCharAttrRecord record = content.attributes[static_cast<std::size_t>(index)];
    const bool object = (record.opcode & 0x1F) == kXTOpAnchoredBox ||
                        record.opcode == kXTOpUniqueIdTag ||
                        (record.opcode >= kXTOpPageLast && record.opcode <= kXTOpPageNext);
    if (!object) return index;
    record.opcode = kXTOpText;
    record.object = 0;
    return content.AttributeIndex(record);
  });
}

std::vector<int32_t> AnchoredIn(const DocumentContent& content, int32_t story_id, int32_t start,
                                int32_t end) {
  std::vector<int32_t> items;
  const Story* story = const_cast<DocumentContent&>(content).FindStory(story_id);
  if (story == nullptr) return items;
  // Runs before the one holding `start` start before it.
  int32_t position = 0;
  for (std::size_t i = story->RunAt(start, &position); i < story->runs.size() && position < end; ++i) {
    const CharacterRun& run = story->runs[i];
    const XTCharAttrRecord& a = content.attributes[static_cast<std::size_t>(run.attributes)];
    if ((a.opcode & 0x1F) == kXTOpAnchoredBox && position >= start && position < end &&
        run.length > 0) {
      items.push_back(a.object);
    }
    position += run.length;
  }
  return items;
}

bool CopyStoryText(DocumentContent& source, int32_t from, int32_t start, int32_t end,
                   DocumentContent& target, int32_t to, int32_t position, bool with_data) {
  const Story* original = source.FindStory(from);
  if (original == nullptr || target.FindStory(to) == nullptr || start < 0 || start > end ||
      end > original->length() || position < 0 || position > target.FindStory(to)->length()) {
    return false;
  }
  // Everything taken before the target changes: it may be the source.
  const std::u16string units = original->text.substr(static_cast<std::size_t>(start),
                                                     static_cast<std::size_t>(end - start));
  std::vector<std::pair<int32_t, XTCharAttrRecord>> pieces;  // units and attributes
  int32_t at = 0;
  for (const CharacterRun& run : original->runs) {
    const int32_t a = std::max(at, start);
    const int32_t b = std::min(at + run.length, end);
    if (a < b) pieces.emplace_back(b - a, source.attributes[static_cast<std::size_t>(run.attributes)]);
    at += run.length;
  }
  if (units.empty()) return true;
  if (!target.FindStory(to)->Insert(position, units)) return false;
  int32_t offset = position;
  bool items = false;  // anchored items copied along
  for (auto& [length, record] : pieces) {
    if ((record.opcode & 0x1F) == kXTOpAnchoredBox) {
      items = true;
      // One unit per anchored item: each gets a copy of the item.
      for (int32_t i = 0; i < length; ++i) {
        XTCharAttrRecord unit = record;
        unit.object = DuplicateItem(source, record.object, target, to, 0, with_data, 0);
        const int32_t index = target.AttributeIndex(unit);
        target.FindStory(to)->ChangeAttributes(offset + i, offset + i + 1,
                                               [index](int32_t) { return index; });
      }
    } else {
      const int32_t index = target.AttributeIndex(record);
      target.FindStory(to)->ChangeAttributes(offset, offset + length,
                                             [index](int32_t) { return index; });
    }
    offset += length;
  }
  target.flags |= 1;
  // Plain text leaves the items as they are, and with them the cached walks.
  if (items) target.ItemsChanged();
  return true;
}

void RemoveItem(Host& host, int32_t project, DocumentContent& content, int32_t id) {
  RemoveItemInner(host, project, content, id, true, 0);
}

void RemoveAnchoredItem(Host& host, int32_t project, DocumentContent& content, int32_t id) {
  RemoveItemInner(host, project, content, id, false, 0);
}

void AfterStoryChange(Host& host, int32_t project, int32_t story_id, const StoryChange& change) {
  DocumentContent* content = ContentOf(host, project);
  if (content == nullptr) return;
  InvalidateComposition(*content);
  // Only the chain's first box and those that follow are looked at: an edit
  // costs the same however many boxes the chain has.
  const Box* first = content->FirstOfChain(story_id);
  if (first == nullptr) return;
  // A copy changed by anything but its master stops following it.
  for (const int32_t id : FollowingBoxes(*content, story_id)) {
    if (id != replaying) {
      content->FindBox(id)->follows = false;
      host.transcript().Line("box " + std::to_string(id) + " follows no more");
    }
  }
  if (!IsMasterItem(*content, *first) || nesting >= kMaxNesting) return;
  const std::vector<const Box*> chain = content->ChainOf(story_id);
  std::vector<std::pair<int32_t, int32_t>> copies;  // master box, copy, in document order
  for (const Box& box : content->boxes) {
    for (const Box* master : chain) {
      if (box.master_item == master->id) copies.emplace_back(master->id, box.id);
    }
  }
  ++nesting;
  for (const auto& [master_id, copy_id] : copies) {
    XTBoxRec record{kXTBoxPair, project, BoxHandle(project, master_id), BoxHandle(project, copy_id)};
    host.transcript().Line("notify 501 " + std::to_string(master_id) + " " +
                           std::to_string(copy_id));
    host.Deliver(&record);
    // The callback may have changed the document: look everything up again.
    content = ContentOf(host, project);
    const Box* copy = content != nullptr ? content->FindBox(copy_id) : nullptr;
    const Story* master = content != nullptr ? content->FindStory(story_id) : nullptr;
    if (copy == nullptr || master == nullptr || !copy->follows || copy->kind != kTextItem) continue;
    Story* text = content->FindStory(copy->story);
    if (text == nullptr) continue;
    const int32_t outer = replaying;
    replaying = copy_id;
    Replay(host, *content, *master, *text, change);
    InvalidateComposition(*content);
    replaying = outer;
    XTBoxRec follow{kXTLinkedBox, project, 0, BoxHandle(project, copy_id)};
    host.transcript().Line("notify 106 " + std::to_string(copy_id));
    host.Deliver(&follow);
  }
  --nesting;
}

}  // namespace xthost
