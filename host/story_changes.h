// What follows a change of a story's text inside the host: anchored items
// that come and go with their runs, text copied with its attributes and
// anchored items, and the notifications of master boxes.
//
// When the story of a master text box changes (through any host call), the
// host acts inside that call, per copy of the box in document order: it
// sends kind 501 (the master box in the third word, the copy in the
// fourth); when the copy follows its master, it makes the same change at the
// same place in the copy's story and sends kind 106 (the copy in the fourth
// word).  Any other change of a copy's story ends its following.
#pragma once

#include <cstdint>

#include "host/document.h"
#include "host/host.h"

namespace xthost {

struct StoryChange {
  enum Kind { kInsert, kDelete, kAttributes } kind = kInsert;
  // Inserted units now at [start, end); deleted units were at [start, end);
  // attributes changed over [start, end).
  int32_t start = 0;
  int32_t end = 0;
};

// Called after every change of story `story` of document `project`.
void AfterStoryChange(Host& host, int32_t project, int32_t story, const StoryChange& change);

// Copies units [start, end) of story `from` in `source` to `position` of
// story `to` in `target` with their character attributes; anchored items in
// the range are duplicated (a text box with a story of its own, a group with
// its members), their item data too when `with_data`.  False, changing
// nothing, for a range or position outside the stories.
bool CopyStoryText(DocumentContent& source, int32_t from, int32_t start, int32_t end,
                   DocumentContent& target, int32_t to, int32_t position, bool with_data);

// Units typed at a story position take the attributes of the unit before
// them; after an anchored item's unit or a text object (page number,
// unique-id tag) they are plain text all the same.
void PlainTypedUnits(DocumentContent& content, Story& story, int32_t start, int32_t end);

// The items anchored in units [start, end) of a story, before those units
// are deleted.
std::vector<int32_t> AnchoredIn(const DocumentContent& content, int32_t story, int32_t start,
                                int32_t end);

// Removes item `id` from the document: a group with its members, a text box
// with its story when no other box shows it (and the items anchored there),
// an anchored item with its run's unit.
void RemoveItem(Host& host, int32_t project, DocumentContent& content, int32_t id);
// The same for an anchored item whose unit is gone already.
void RemoveAnchoredItem(Host& host, int32_t project, DocumentContent& content, int32_t id);

}  // namespace xthost
