#include "plugin/mixer/hidden.h"

#include <algorithm>
#include <ostream>
#include <set>

#include "plugin/mixer/hidden_search.h"
#include "plugin/mixer/host_pages.h"
#include "plugin/mixer/story_units.h"
#include "plugin/qapi/host_text.h"
#include "plugin/qapi/qapi_trace.h"
#include "plugin/qapi/story_runs.h"
#include "plugin/xtension/breakpoint.h"
#include "support/host_link.h"
#include "support/host_result.h"
#include "support/program_log.h"

namespace StyleFlags {

int32_t HiddenKind(uint32_t word) {
  switch (word & kHiddenMask) {
    case kHiddenOpen: return 1;
    case kHiddenClose: return 0;
    default: return 1000;
  }
}

uint32_t ToggleHidden(uint32_t word) {
  return (word & kHiddenMask) == kHiddenOpen ? word ^ kHiddenMask : word;
}

}  // namespace StyleFlags

bool HiddenRunInfo::operator<(const HiddenRunInfo& other) const {
  if (first != other.first) return first < other.first;
  if (second != other.second) return second < other.second;
  if (item != other.item) return item < other.item;
  return nth < other.nth;
}

void HiddenTable::Clear() {
  runs.clear();
  byId.clear();
  byKey.clear();
  byTexts.clear();
  stories.clear();
}

namespace {

// The log lines of an unpaired marker start with this byte.
constexpr char kPairMark = static_cast<char>(0xA5);

// The end of the text after the unit at `position`: the end of the run the
// host's run search reports for position + 1; `position` + 1 itself when
// there is no such run.
int32_t TextEndAfter(int32_t story, int32_t position) {
  const XTItemDataSuite* data = XT().lgl2;
  int32_t end = position + 1;
  if (data == nullptr || HostCall("run_end", data->run_end(story, position + 1, 1, 8, &end)) != kXTOk)
    return position + 1;
  if (end < position + 1) {
    QuarkInternalError("Hidden", 143);
    return position + 1;
  }
  return end;
}

// The units after the unit at `position`, up to the end TextEndAfter gives.
std::u16string TextAfter(StoryRuns& runs, int32_t position, int32_t* end) {
  *end = TextEndAfter(runs.storyId, position);
  return ReadStoryUnits(runs, position + 1, *end);
}

// The key of the texts of `info` alone.
HiddenRunInfo TextsOnly(const HiddenRunInfo& info) {
  HiddenRunInfo texts = info;
  texts.item = 0;
  texts.nth = 0;
  return texts;
}

// Runs of text and page numbers have no key.
bool HasKey(uint32_t word) { return word != kXTOpText && (word < kXTOpPageLast || word > kXTOpPageNext); }

// Moves the walk past the current run, and on to `target` when that lies
// further.
void MovePast(StoryRunIterator& iterator, StoryRunPosition& position, int32_t target) {
  Hidden::AdvanceTo(iterator, position, std::max(target, iterator.NextBoundary(position)));
}

// The key of the run at `position` and, in `end`, where the text it read
// ends (the run's own end when it read none).  The walk is not moved.
// `report` logs unpaired markers.
HiddenRunInfo KeyAt(StoryRunIterator& iterator, const StoryRunPosition& position, int32_t* end,
                    bool report) {
  HiddenRunInfo key;
  const uint32_t word = iterator.CurrentOpcode(position);
  key.opcode = key.flags = word;
  StoryRuns& runs = iterator.runs;
  const int32_t here = position.boundary;
  *end = here;
  uint32_t operand = word;
  if (!DumpTextOperand(runs, operand)) {
    key.opcode = 0;
    return key;
  }
  if (!StyleFlags::IsHiddenMarker(word)) {
    if (word == kXTOpAnchoredBox) key.item = AnchoredItemAt(runs.storyId, here);
    key.first = TextAfter(runs, here, end);
    return key;
  }

  const bool opening = StyleFlags::HiddenKind(word) == 1;
  const int32_t length = runs.textLength;
  int32_t partner = opening ? here : here + 1;
  const bool found = FindMatchingHiddenRun(runs.storyId, &partner, opening ? 1 : 0,
                                           word ^ StyleFlags::kHiddenMask, 0, length);
  if (!found) {
    if (report) {
      ProgramLog() << kPairMark << "Unable to find paren:" << "  mOpcode=" << std::hex << word
                   << std::dec << "  myOffset=" << here << "  story->mTextLen=" << length << '\n'
                   << std::flush;
      BreakPoint_BX();
    }
    if (!opening) {
      key.opcode = 0;
      return key;
    }
    // An opening marker without its closing one hides the text up to the
    // story's end: it keeps an id of its own (no text at a closing marker),
    // so that export and import carry it and the text stays hidden.
    key.second = TextAfter(runs, here, end);
    return key;
  }
  if (partner == -1 && report) {
    ProgramLog() << kPairMark << "opfound=" << found << "  mOpcode=" << std::hex << word
                 << std::dec << "  srchStart=" << length << "  openOffset=" << (opening ? here : -1)
                 << "  closeOffset=" << (opening ? -1 : here) << "  myOffset=" << here
                 << "  story->mTextLen=" << length << '\n'
                 << std::flush;
    BreakPoint_BX(__FILE__);
  }
  const int32_t closing = opening ? partner : here;
  const int32_t open = opening ? here : partner;
  int32_t closingEnd = 0;
  int32_t openEnd = 0;
  key.first = TextAfter(runs, closing, &closingEnd);
  key.second = TextAfter(runs, open, &openEnd);
  *end = opening ? openEnd : closingEnd;
  return key;
}

}  // namespace

namespace Hidden {

bool AdvanceTo(StoryRunIterator& iterator, StoryRunPosition& position, int32_t target) {
  while (iterator.HasMore(position) && position.boundary < target) iterator.Advance(position);
  return iterator.HasMore(position);
}

HiddenRunInfo MakeKey(StoryRunIterator& iterator, StoryRunPosition& position) {
  int32_t end = 0;
  HiddenRunInfo key = KeyAt(iterator, position, &end, true);
  MovePast(iterator, position, end);
  return key;
}

bool RegisterRun(HiddenTable& table, StoryRunIterator& iterator, StoryRunPosition& position,
                 int32_t id) {
  HiddenRunInfo key = MakeKey(iterator, position);
  if (!key.IsKey() || table.byKey.count(key) != 0 || (key.item == 0 && table.byTexts.count(key) != 0))
    return false;
  const size_t index = table.runs.size();
  table.runs.push_back(HiddenRun{id, key});
  table.byId.emplace(id, index);
  if (key.item != 0) table.byTexts.emplace(TextsOnly(key), index);
  table.byKey.emplace(std::move(key), index);
  return true;
}

void IndexStory(HiddenTable& table, int32_t story,
                const std::function<void(const HiddenRunInfo& key, const StoryRunPosition& at)>& visit) {
  StoryRunIterator iterator(story);
  StoryRunPosition position;
  StoryRunIterator::Begin(position, iterator);
  HiddenTable::StoryIndex index;
  index.length = iterator.runs.walkLength;
  // The numbering walk (RegisterRun) meets a run unless the text read at
  // the run it met before covers it.  The first run of a key it meets keeps
  // nth 0, as it was numbered; every other run of that key counts on from
  // 1 in story order.  Anchored items differ by their item, markers pair.
  std::set<HiddenRunInfo> numbered;
  std::map<HiddenRunInfo, int32_t> further;
  int32_t skipTo = 0;
  while (iterator.HasMore(position)) {
    const StoryRunPosition at = position;
    if (!HasKey(iterator.CurrentOpcode(position))) {
      iterator.Advance(position);
      continue;
    }
    int32_t end = 0;
    HiddenRunInfo key = KeyAt(iterator, position, &end, false);
    const bool met = at.boundary >= skipTo;
    if (met) skipTo = std::max(end, iterator.NextBoundary(at));
    if (key.IsKey()) {
      if (!StyleFlags::IsHiddenMarker(key.opcode) && key.opcode != kXTOpAnchoredBox &&
          !(met && numbered.insert(key).second)) {
        key.nth = ++further[key];
        index.nth.emplace(at.boundary, key.nth);
      }
      if (visit) visit(key, at);
    }
    MovePast(iterator, position, at.boundary);
  }
  table.stories[story] = std::move(index);
}

bool RegisterKey(HiddenTable& table, const HiddenRunInfo& key, int32_t id) {
  if (!key.IsKey() || table.byKey.count(key) != 0) return false;
  const size_t index = table.runs.size();
  table.runs.push_back(HiddenRun{id, key});
  table.byId.emplace(id, index);
  table.byKey.emplace(key, index);
  return true;
}

HiddenRun FindRun(HiddenTable& table, StoryRunIterator& iterator, StoryRunPosition& position) {
  const int32_t here = position.boundary;
  int32_t end = 0;
  HiddenRunInfo key = KeyAt(iterator, position, &end, true);
  MovePast(iterator, position, here);
  if (!key.IsKey()) return HiddenRun{-1, std::move(key)};
  if (!StyleFlags::IsHiddenMarker(key.opcode)) {
    const int32_t story = iterator.runs.storyId;
    auto indexed = table.stories.find(story);
    if (indexed == table.stories.end() || indexed->second.length != iterator.runs.walkLength) {
      IndexStory(table, story, nullptr);
      indexed = table.stories.find(story);
    }
    const auto nth = indexed->second.nth.find(here);
    if (nth != indexed->second.nth.end()) key.nth = nth->second;
  }
  const auto found = table.byKey.find(key);
  if (found != table.byKey.end()) return table.runs[found->second];
  return HiddenRun{-1, std::move(key)};
}

int32_t FirstIdOfTexts(const HiddenTable& table, const HiddenRun& run) {
  if (run.info.item == 0) return -1;
  const auto found = table.byTexts.find(TextsOnly(run.info));
  return found == table.byTexts.end() ? -1 : table.runs[found->second].id;
}

}  // namespace Hidden
