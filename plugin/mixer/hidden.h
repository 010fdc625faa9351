// Hidden-text pairing: the ids of hidden runs and of anchored-item runs of
// the stories a Mapper took, found again from a position in a story.
//
// A run's opcode word tells its marker kind under mask 0x60: 0x20 opens a
// hidden run, 0x40 closes it, 0x00 and 0x60 are no marker.  The key of a
// marker is the pair (text after the closing marker, text after the opening
// marker), so both markers of a pair, and pairs with equal texts, are one
// key; any other run's key is the text after it, and an anchored-item run's
// key also names its item, so that two items followed by the same text keep
// an id each.  Texts are the story's UTF-16 units up to the run end the
// host's run search reports.
//
// The text after a run may hold the run beside it, and two runs of a story
// may be followed by the same text.  Registering a run moves the walk past
// the text it read, so the Mapper's numbering walks (RegisterRun) never
// meet such a neighbour; their ids stay as containers name them.  A last
// walk (IndexStory) meets every run: in each story the first run of a key
// that the numbering met keeps its key, every other run of that key (a
// neighbour stepped over, or a later run) counts on from 1 (`nth`), and a
// run whose key was not numbered is registered under a new id
// (RegisterKey).  Lookups build the key with its `nth`, so each such run
// keeps its own id.  Anchored items differ by their item and markers pair,
// so their nth stays 0.  Host thread only.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>

class StoryRunIterator;
struct StoryRunPosition;

namespace StyleFlags {

constexpr uint32_t kHiddenMask = 0x60;
constexpr uint32_t kHiddenOpen = 0x20;
constexpr uint32_t kHiddenClose = 0x40;

// 1 for an opening marker, 0 for a closing one, 1000 for no marker.
int32_t HiddenKind(uint32_t word);
// An opening marker's word with both hidden bits flipped; any other word
// unchanged.  A word is a marker exactly when this has 0x40 under 0x60.
uint32_t ToggleHidden(uint32_t word);
inline bool IsHiddenMarker(uint32_t word) { return (ToggleHidden(word) & kHiddenMask) == kHiddenClose; }

}  // namespace StyleFlags

// The key of the run at a story position.  Opcode 0: no key.
struct HiddenRunInfo {
  uint32_t opcode = 0;
  uint32_t flags = 0;
  std::u16string first;   // at the closing marker (or the run itself)
  std::u16string second;  // at the opening marker
  int32_t item = 0;       // the item of an anchored-item run, else 0
  // 0, or which further run of its story with an equal key this is.
  int32_t nth = 0;

  bool IsKey() const { return opcode != 0; }
  // By first text, then second text, unit by unit, then by item, then by
  // nth.
  bool operator<(const HiddenRunInfo& other) const;
};

// A registered run: the id it was registered under (-1: not registered)
// and its key.
struct HiddenRun {
  int32_t id = -1;
  HiddenRunInfo info;
};

// The runs of one Mapper, in registration order, with their indexes by id
// and by key.  An anchored-item run is also indexed by its texts alone (the
// first such run of those texts): the numbering walks refuse any other run
// with those texts, so that ids stay as before items were keyed, and
// FirstIdOfTexts finds it.  Lookups go by the whole key only.
struct HiddenTable {
  std::deque<HiddenRun> runs;
  std::map<int32_t, size_t> byId;
  std::map<HiddenRunInfo, size_t> byKey;
  std::map<HiddenRunInfo, size_t> byTexts;
  // Per story: the walk length it was indexed at, and the runs (by start)
  // whose nth is not 0.
  struct StoryIndex {
    int32_t length = -1;
    std::map<int32_t, int32_t> nth;
  };
  std::map<int32_t, StoryIndex> stories;

  void Clear();
};

namespace Hidden {

// Builds the key at `position` and moves the walk past the text it read
// (past the run when it built none).
HiddenRunInfo MakeKey(StoryRunIterator& iterator, StoryRunPosition& position);

// Registers the run at `position` under `id`: true when a record was added
// (a key not seen before; its nth is 0).  The walk is moved as by MakeKey,
// so a caller that registers does not step it itself.
bool RegisterRun(HiddenTable& table, StoryRunIterator& iterator, StoryRunPosition& position,
                 int32_t id);

// Walks every run of `story` (none is stepped over), records in the table
// which runs have an nth, and calls `visit` with the whole key of each run
// that has one and the walk at that run.
void IndexStory(HiddenTable& table, int32_t story,
                const std::function<void(const HiddenRunInfo& key, const StoryRunPosition& at)>& visit);

// Registers `key` under `id` unless a run has that key: true when added.
bool RegisterKey(HiddenTable& table, const HiddenRunInfo& key, int32_t id);

// The record registered for the run at `position` (its key with its nth;
// the story is indexed first when it was not, or changed length since), or
// one with id -1 built from its key.  Moves the walk past that run only.
HiddenRun FindRun(HiddenTable& table, StoryRunIterator& iterator, StoryRunPosition& position);

// The id of the first anchored-item run registered with the texts of `run`:
// the id one key of texts alone gave every item followed by the same text
// (containers written so name such items); -1 when there is none.
int32_t FirstIdOfTexts(const HiddenTable& table, const HiddenRun& run);

// Steps the walk until it reaches `target` (a run boundary) or the story
// ends; whether it still has runs.
bool AdvanceTo(StoryRunIterator& iterator, StoryRunPosition& position, int32_t target);

}  // namespace Hidden
