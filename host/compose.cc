#include "host/compose.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <limits>
#include <map>
#include <unordered_map>
#include <utility>

namespace xthost {
namespace {

// What a unit of the text is to line breaking.
enum UnitKind : uint8_t {
  kInk,     // a character with width (a surrogate pair's second unit: 0)
  kBlank,   // a space or a tab: lines break after blanks, which hang
  kHidden,  // hidden text and its markers: no room at all
  kEnd,     // a return: ends the line and the paragraph
};

// How wide a unit is against its size.
enum UnitWidth : uint8_t { kNone, kHalf, kWhole };

// Eight bytes a unit: a long story's units are read once more at every
// layout.
struct Unit {
  int32_t size = 0;  // 16.16 points, the line height's measure
  UnitKind kind = kInk;
  UnitWidth width = kNone;

  int32_t Advance() const { return width == kWhole ? size : width == kHalf ? size / 2 : 0; }  // 16.16 points
};
static_assert(sizeof(Unit) == 8, "units are eight bytes");

// Hidden-text marker bits of a run's opcode.
constexpr uint32_t kMarkerBits = 0x60;
constexpr uint32_t kOpening = 0x20;
constexpr uint32_t kClosing = 0x40;

bool IsHigh(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLow(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// CJK and fullwidth characters take a whole em: everything from U+2E80 up,
// but surrogates, the private use areas and planes 15 and 16.
bool IsWide(char32_t c) { return c >= 0x2E80 && !(c >= 0xD800 && c <= 0xF8FF) && c < 0xF0000; }

const XTCharAttrRecord& AttributesOf(const DocumentContent& content, int32_t index) {
  static const XTCharAttrRecord fallback = DefaultAttributes();
  return index >= 0 && static_cast<std::size_t>(index) < content.attributes.size()
             ? content.attributes[static_cast<std::size_t>(index)]
             : fallback;
}

const XTParaFormatRecord& FormatOf(const DocumentContent& content, int32_t index) {
  static const XTParaFormatRecord fallback{};
  return index >= 0 && static_cast<std::size_t>(index) < content.formats.size()
             ? content.formats[static_cast<std::size_t>(index)]
             : fallback;
}

// The metrics of every unit of the story, one a unit, into `*out`; every
// unit is written, so memory kept from an earlier layout needs no clearing.
// Hidden text runs from an opening marker to its closing marker, nested by
// depth; an opening marker left unpaired hides the rest of the story.
void MeasureUnits(const DocumentContent& content, const Story& story, std::vector<Unit>* out) {
  const std::u16string& text = story.text;
  std::vector<Unit>& units = *out;
  if (units.capacity() < text.size()) units = {};  // nothing worth copying into the larger array
  units.resize(text.size());
  std::size_t at = 0;
  std::size_t run = 0;
  int32_t depth = 0;
  while (at < text.size()) {
    // Units past the runs (a story not well formed) keep the last run's
    // attributes.
    const bool past = run >= story.runs.size();
    const CharacterRun& current = past ? story.runs.back() : story.runs[run];
    const std::size_t end =
        past ? text.size()
             : std::min(text.size(), at + static_cast<std::size_t>(std::max(current.length, 0)));
    ++run;
    const XTCharAttrRecord& a = AttributesOf(content, current.attributes);
    const int32_t size = std::max(a.size, 0);
    const uint32_t marker = a.opcode & kMarkerBits;
    for (; at < end; ++at) {
      Unit& unit = units[at];
      unit = Unit{};
      if (marker != 0) {
        unit.kind = kHidden;
        if (marker == kOpening) ++depth;
        if (marker == kClosing && depth > 0) --depth;
        continue;
      }
      if (depth > 0) {
        unit.kind = kHidden;
        continue;
      }
      const char16_t c = text[at];
      unit.size = size;
      if (c == Story::kReturn) {
        unit.kind = kEnd;
      } else if (c == u' ' || c == u'\t') {
        unit.kind = kBlank;
        unit.width = kHalf;
      } else if (a.opcode == kXTOpAnchoredBox) {
        unit.width = kWhole;
      } else if (c < 0xD800) {
        unit.width = IsWide(c) ? kWhole : kHalf;  // no surrogate
      } else if (IsLow(c) && at > 0 && IsHigh(text[at - 1])) {
        unit.width = kNone;  // the pair was measured at its first unit
      } else {
        char32_t code = c;
        if (IsHigh(c) && at + 1 < text.size() && IsLow(text[at + 1])) {
          code = 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (text[at + 1] - 0xDC00);
        }
        unit.width = IsWide(code) ? kWhole : kHalf;
      }
    }
  }
}

// Where a line that starts at `start` ends when it has `room` (16.16) for
// its text.
struct LineBreak {
  int32_t end = 0;
  int64_t width = 0;     // up to its last character that is not a blank
  int32_t size = 0;      // its largest visible character, 0 for none
  bool ends_paragraph = false;
};

// Words break after blanks; a word longer than the line breaks before the
// character that does not fit.  A line takes at least one character, so
// every line moves on.
LineBreak BreakLine(const std::vector<Unit>& units, int32_t start, int64_t room) {
  const int32_t count = static_cast<int32_t>(units.size());
  int64_t total = 0;  // blanks included
  int64_t ink = 0;
  int32_t size = 0;
  LineBreak after_blanks{-1, 0, 0, false};
  bool in_blanks = false;
  bool has_content = false;
  for (int32_t at = start; at < count; ++at) {
    const Unit& unit = units[static_cast<std::size_t>(at)];
    switch (unit.kind) {
      case kHidden:
        break;
      case kEnd:
        return {at + 1, ink, std::max(size, unit.size), true};
      case kBlank:
        total += unit.Advance();
        size = std::max(size, unit.size);
        in_blanks = true;
        has_content = true;
        break;
      case kInk: {
        const int32_t advance = unit.Advance();
        if (in_blanks) {
          after_blanks = {at, ink, size, false};
          in_blanks = false;
        }
        if (has_content && advance > 0 && total + advance > room) {
          return after_blanks.end > start ? after_blanks : LineBreak{at, ink, size, false};
        }
        total += advance;
        ink = total;
        size = std::max(size, unit.size);
        has_content = has_content || advance > 0;
        break;
      }
    }
  }
  return {count, ink, size, false};
}

int32_t Clamp32(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// What composition reads of a box.
struct BoxShape {
  int32_t id = 0;
  std::array<int32_t, 4> bounds{};
  int32_t inset = 0;

  int64_t Inset() const { return std::max(inset, 0); }
  // The text area: the bounds inset on all sides; none when empty.
  int64_t Width() const { return int64_t{bounds[2]} - bounds[0] - 2 * Inset(); }
  int64_t Height() const { return int64_t{bounds[3]} - bounds[1] - 2 * Inset(); }
  bool HasRoom() const { return Width() > 0 && Height() > 0; }
};

// The lines of a chain, and what they were composed from: the story's
// revision and the version and number of the document's items (which
// decide the chain's boxes).
struct ChainLines {
  bool composed = false;
  uint64_t revision = 0;
  uint64_t items_version = 0;
  std::size_t items = 0;
  std::vector<BoxShape> boxes;
  std::unordered_map<int32_t, std::size_t> places;  // box id -> index in boxes
  std::vector<std::vector<XTLineRecord>> lines;  // per box of the chain
  // The boxes with lines, by the offset of their first line, in order.
  std::vector<std::pair<int32_t, std::size_t>> starts;
  bool ends_chain = false;  // the chain's last item is its last text box
  bool overflows = false;
};

using ChainKey = std::pair<uint64_t, int32_t>;  // the document's key, the story's id

// What the last layout keeps for the next one: box growth lays the same
// story out again after every step, and a long story's units and lines would
// otherwise be measured, allocated and faulted in anew each time.  The units
// of `owner`'s story serve its next layout as they are while its revision
// and the size and opcode of every attribute record stay, else their memory
// serves any story (a much smaller one gives it back); the line vectors of
// `owner`'s chain, forgotten after a change of geometry, serve its next
// layout.  A document that goes gives back what it kept.
struct KeptLayout {
  ChainKey owner{0, 0};
  std::vector<Unit> units;
  bool measured = false;  // the units are those of `owner` at `revision`
  uint64_t revision = 0;
  std::vector<std::pair<int32_t, uint32_t>> measures;  // size and opcode of each attribute record
  std::vector<std::vector<XTLineRecord>> lines;
};

KeptLayout& Kept() {
  static auto* kept = new KeptLayout;  // never destroyed, as the cache
  return *kept;
}

uint64_t allocations = 0;  // layouts that took memory anew

bool SameMeasures(const DocumentContent& content, const KeptLayout& kept) {
  return std::equal(kept.measures.begin(), kept.measures.end(), content.attributes.begin(), content.attributes.end(),
                    [](const std::pair<int32_t, uint32_t>& m, const XTCharAttrRecord& a) {
                      return m.first == a.size && m.second == a.opcode;
                    });
}

std::size_t LineCapacity(const std::vector<std::vector<XTLineRecord>>& lines) {
  std::size_t capacity = 0;
  for (const std::vector<XTLineRecord>& box : lines) capacity += box.capacity();
  return capacity;
}

// Lays story `key` out in the boxes: each line goes into the first box, from
// the one being filled on, whose text area has room for its height; lines
// that fit nowhere are overset and go to the last box.
void Compose(const DocumentContent& content, const Story& story, const ChainKey& key, ChainLines* chain) {
  KeptLayout& kept = Kept();
  if (kept.owner != key) {
    kept.lines = {};
    kept.measured = false;
    if (kept.units.capacity() / 2 > story.text.size()) kept.units = {};
    kept.owner = key;
  }
  if (chain->lines.empty()) chain->lines = std::move(kept.lines);
  kept.lines = {};
  const std::size_t unit_capacity = kept.units.capacity();
  if (!kept.measured || kept.revision != story.revision || !SameMeasures(content, kept)) {
    MeasureUnits(content, story, &kept.units);
    kept.measured = true;
    kept.revision = story.revision;
    kept.measures.clear();
    for (const XTCharAttrRecord& a : content.attributes) kept.measures.emplace_back(a.size, a.opcode);
  }
  const std::vector<Unit>& units = kept.units;
  const std::vector<BoxShape>& boxes = chain->boxes;
  chain->lines.resize(boxes.size());
  for (std::vector<XTLineRecord>& lines : chain->lines) lines.clear();
  const std::size_t line_capacity = LineCapacity(chain->lines);
  const int32_t count = static_cast<int32_t>(units.size());

  // Overset lines are as wide as the last box with room, else unbounded.
  int64_t overset_room = std::numeric_limits<int64_t>::max() / 4;
  for (auto box = boxes.rbegin(); box != boxes.rend(); ++box) {
    if (box->HasRoom()) {
      overset_room = box->Width();
      break;
    }
  }

  std::size_t box = 0;       // the box being filled
  int64_t used = 0;          // height used in its text area
  bool box_has_lines = false;
  int64_t space_after = 0;   // of the paragraph the last line ended
  int32_t overset = 0;
  std::size_t paragraph = 0;
  int64_t paragraph_end = story.paragraphs.empty() ? count : story.paragraphs[0].length;
  const XTParaFormatRecord* format = nullptr;
  bool first = true;  // the line starts a paragraph
  int32_t at = 0;
  for (;;) {
    while (paragraph + 1 < story.paragraphs.size() && at >= paragraph_end) {
      paragraph_end += story.paragraphs[++paragraph].length;
    }
    if (first) {
      format = &FormatOf(content,
                         story.paragraphs.empty() ? 0 : story.paragraphs[paragraph].format);
    }
    const int64_t indent = int64_t{format->left_indent} + (first ? format->first_indent : 0);
    const int64_t margins = indent + format->right_indent;
    const int64_t space_before = first ? std::max(format->space_before, 0) : 0;

    LineBreak line;
    int64_t height = 0;
    int64_t top = 0;  // in the text area
    auto measure = [&](int64_t room) {
      line = BreakLine(units, at, room - margins);
      if (line.size == 0) {
        line.size = std::max(AttributesOf(content, story.AttributesAt(at)).size, 0);
      }
      height = format->leading > 0 ? format->leading : int64_t{line.size} * 6 / 5;
    };
    for (; box < boxes.size(); ++box, used = 0, box_has_lines = false) {
      if (!boxes[box].HasRoom()) continue;
      measure(boxes[box].Width());
      // Space before and after a paragraph is dropped at the top of a box.
      top = used + (box_has_lines ? space_after + space_before : 0);
      if (top + height <= boxes[box].Height()) break;
    }

    XTLineRecord record{};
    if (box < boxes.size()) {
      const int64_t inset = boxes[box].Inset();
      record.vertical = Clamp32(inset + top);
      record.x = Clamp32(inset + indent);
      record.baseline = Clamp32(inset + top + int64_t{line.size} * 4 / 5);
      used = top + height;
      box_has_lines = true;
    } else {
      measure(overset_room);
      record.vertical = Clamp32(int64_t{kXTOversetLine} + overset);
      record.x = Clamp32(indent);
      record.baseline = record.vertical;
      ++overset;
    }
    record.offset = at;
    record.length = line.end - at;
    record.paragraph = static_cast<int32_t>(paragraph);
    record.width = Clamp32(line.width);
    record.height = Clamp32(height);
    record.ascent = Clamp32(int64_t{line.size} * 4 / 5);
    chain->lines[std::min(box, boxes.size() - 1)].push_back(record);

    space_after = line.ends_paragraph ? std::max(format->space_after, 0) : 0;
    first = line.ends_paragraph;
    at = line.end;
    // A text that ends with a return ends with an empty line.
    if (at >= count && !line.ends_paragraph) break;
  }
  chain->overflows = overset > 0;
  if (chain->overflows) chain->lines.back().back().overflow = kXTOverflowMark;
  if (kept.units.capacity() != unit_capacity || LineCapacity(chain->lines) != line_capacity) ++allocations;
}

std::map<ChainKey, ChainLines>& Cache() {
  // Never destroyed: documents that outlive it (statics) still forget
  // their lines in their destructors.
  static auto* cache = new std::map<ChainKey, ChainLines>;
  return *cache;
}

uint64_t compositions = 0;

// The composed chain of story `story` of `content`.  Answered from the
// cache while the story's revision and the document's items stay; boxes
// whose geometry changes forget it (InvalidateComposition).
const ChainLines& ChainOfStory(const DocumentContent& content, const Story& story) {
  const ChainKey key{content.composition.value(), story.id};
  ChainLines& chain = Cache()[key];
  if (chain.composed && chain.revision == story.revision &&
      chain.items_version == content.items_version && chain.items == content.boxes.size()) {
    return chain;
  }
  const std::vector<const Box*> members = content.ChainOf(story.id);
  chain.boxes.clear();
  chain.places.clear();
  for (const Box* member : members) {
    if (member->kind != kTextItem) continue;
    chain.places.emplace(member->id, chain.boxes.size());
    chain.boxes.push_back({member->id, member->bounds, member->inset});
  }
  chain.ends_chain = !members.empty() && members.back()->kind == kTextItem;
  chain.starts.clear();
  chain.overflows = false;
  if (chain.boxes.empty()) {
    chain.lines.clear();
  } else {
    Compose(content, story, key, &chain);
    for (std::size_t i = 0; i < chain.lines.size(); ++i) {
      if (!chain.lines[i].empty()) chain.starts.emplace_back(chain.lines[i].front().offset, i);
    }
    ++compositions;
  }
  chain.composed = true;
  chain.revision = story.revision;
  chain.items_version = content.items_version;
  chain.items = content.boxes.size();
  return chain;
}

// The chain box `box_id` shows, composed, and the box's place in it; null
// for an item that shows no text.
const ChainLines* ChainOfBox(const DocumentContent& content, int32_t box_id, std::size_t* index) {
  const Box* box = content.FindBox(box_id);
  if (box == nullptr || box->kind != kTextItem || box->story == 0) return nullptr;
  const Story* story = content.FindStory(box->story);
  if (story == nullptr) return nullptr;
  const ChainLines& chain = ChainOfStory(content, *story);
  const auto place = chain.places.find(box_id);
  if (place == chain.places.end()) return nullptr;
  *index = place->second;
  return &chain;
}

// Forgets the lines kept under document key `key`; the memory of the last
// layout stays for its next one unless the document is `gone`.
void Forget(uint64_t key, bool gone) {
  auto& cache = Cache();
  KeptLayout& kept = Kept();
  if (kept.owner.first == key) {
    if (gone) {
      kept = KeptLayout{};
    } else if (auto chain = cache.find(kept.owner); chain != cache.end() && kept.lines.empty()) {
      kept.lines = std::move(chain->second.lines);
    }
  }
  cache.erase(cache.lower_bound({key, std::numeric_limits<int32_t>::min()}),
              cache.upper_bound({key, std::numeric_limits<int32_t>::max()}));
}

uint64_t NextKey() {
  static uint64_t next = 0;
  return ++next;
}

}  // namespace

std::vector<XTLineRecord> BoxLines(const DocumentContent& content, int32_t box_id) {
  const std::vector<XTLineRecord>* lines = LinesOfBox(content, box_id);
  return lines != nullptr ? *lines : std::vector<XTLineRecord>{};
}

const std::vector<XTLineRecord>* LinesOfBox(const DocumentContent& content, int32_t box_id) {
  std::size_t index = 0;
  const ChainLines* chain = ChainOfBox(content, box_id, &index);
  return chain != nullptr ? &chain->lines[index] : nullptr;
}

bool ChainOverflows(const DocumentContent& content, int32_t box_id) {
  std::size_t index = 0;
  const ChainLines* chain = ChainOfBox(content, box_id, &index);
  return chain != nullptr && chain->overflows;
}

bool LineOfUnit(const DocumentContent& content, const Story& story, int32_t position,
                LinePlace* place) {
  const ChainLines& chain = ChainOfStory(content, story);
  // The last box whose first line starts at or before the unit, then its
  // last line that does.
  auto box = std::upper_bound(chain.starts.begin(), chain.starts.end(), position,
                              [](int32_t at, const std::pair<int32_t, std::size_t>& start) {
                                return at < start.first;
                              });
  if (box == chain.starts.begin()) return false;
  const std::size_t index = std::prev(box)->second;
  const std::vector<XTLineRecord>& lines = chain.lines[index];
  auto line = std::upper_bound(lines.begin(), lines.end(), position,
                               [](int32_t at, const XTLineRecord& record) { return at < record.offset; });
  const XTLineRecord& found = *std::prev(line);
  // The end of the text belongs to the chain's last line.
  const bool last = line == lines.end() && index + 1 == chain.boxes.size() && chain.ends_chain;
  if (position >= found.offset + found.length && !(last && position == story.length())) {
    return false;
  }
  place->box = chain.boxes[index].id;
  place->line = static_cast<std::size_t>(std::prev(line) - lines.begin());
  place->lines = &lines;
  return true;
}


CompositionKey::CompositionKey() : value_(NextKey()) {}
CompositionKey::CompositionKey(const CompositionKey&) : value_(NextKey()) {}
CompositionKey& CompositionKey::operator=(const CompositionKey&) {
  Forget(value_, true);
  value_ = NextKey();
  return *this;
}
CompositionKey::~CompositionKey() { Forget(value_, true); }

void InvalidateComposition(const DocumentContent& content) { Forget(content.composition.value(), false); }

uint64_t CompositionCount() { return compositions; }

uint64_t CompositionAllocations() { return allocations; }

}  // namespace xthost
