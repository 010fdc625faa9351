#include "host/story.h"

#include <algorithm>

namespace xthost {
namespace {

int32_t CountReturns(const TextBuffer& text, std::size_t from, std::size_t to) {
  return static_cast<int32_t>(text.count(from, to, Story::kReturn));
}

// Revisions are never reused, so a story made in place of another never
// passes for it.
uint64_t NextRevision() {
  static uint64_t last = 0;
  return ++last;
}

}  // namespace

Story::Story(int32_t story_id)
    : id(story_id), paragraphs{{0, 0}}, runs(std::vector<CharacterRun>{{0, 0}}), revision(NextRevision()) {}

void Story::Touch(bool lengths_changed) {
  const uint64_t old = revision;
  revision = NextRevision();
  if (lengths_changed) return;
  if (run_finger_.revision == old) run_finger_.revision = revision;
  if (paragraph_finger_.revision == old) paragraph_finger_.revision = revision;
}

bool Story::Check(std::size_t formats, std::size_t attributes, std::string* error) const {
  auto fail = [&](const std::string& why) {
    *error = "story " + std::to_string(id) + ": " + why;
    return false;
  };
  const std::size_t returns = static_cast<std::size_t>(CountReturns(text, 0, text.size()));
  if (paragraphs.size() != returns + 1) {
    return fail("has " + std::to_string(paragraphs.size()) + " paragraph runs for " +
                std::to_string(returns + 1) + " paragraphs");
  }
  std::size_t start = 0;
  for (std::size_t i = 0; i < paragraphs.size(); ++i) {
    const ParagraphRun& run = paragraphs[i];
    if (run.format < 0 || static_cast<std::size_t>(run.format) >= formats) {
      return fail("paragraph " + std::to_string(i) + " has no format " +
                  std::to_string(run.format));
    }
    if (run.length < 0 || start + static_cast<std::size_t>(run.length) > text.size()) {
      return fail("paragraph " + std::to_string(i) + " does not fit the text");
    }
    const std::size_t end = start + static_cast<std::size_t>(run.length);
    const bool last = i + 1 == paragraphs.size();
    // The returns were counted above: each paragraph but the last must end
    // with one, and then none is left for the inside of any.
    if (last ? end != text.size() : (end == start || text[end - 1] != kReturn)) {
      return fail("paragraph " + std::to_string(i) + " does not end at a return");
    }
    start = end;
  }
  if (runs.empty()) return fail("has no character runs");
  std::size_t covered = 0;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    if (runs[i].attributes < 0 || static_cast<std::size_t>(runs[i].attributes) >= attributes) {
      return fail("run " + std::to_string(i) + " has no attributes " +
                  std::to_string(runs[i].attributes));
    }
    if (runs[i].length < 0) return fail("run " + std::to_string(i) + " has a negative length");
    covered += static_cast<std::size_t>(runs[i].length);
  }
  if (covered != text.size()) {
    return fail("runs cover " + std::to_string(covered) + " of " + std::to_string(text.size()) +
                " characters");
  }
  return true;
}

bool Story::Insert(int32_t position, const std::u16string& units) {
  if (position < 0 || position > length()) return false;
  if (units.empty()) return true;
  const std::size_t at = static_cast<std::size_t>(position);

  // Each return typed starts a paragraph of the format of the one typed
  // into: that paragraph is cut at the returns.
  int32_t paragraph_start = 0;
  const std::size_t paragraph = ParagraphAt(position, &paragraph_start);
  const int32_t size = static_cast<int32_t>(units.size());
  std::size_t cut = units.find(kReturn);
  if (cut == std::u16string::npos) {
    paragraphs[paragraph].length += size;
  } else {
    const ParagraphRun typed_into = paragraphs[paragraph];
    const int32_t head = position - paragraph_start;
    std::vector<ParagraphRun> pieces{{typed_into.format, head + static_cast<int32_t>(cut) + 1}};
    for (std::size_t next; (next = units.find(kReturn, cut + 1)) != std::u16string::npos; cut = next) {
      pieces.push_back({typed_into.format, static_cast<int32_t>(next - cut)});
    }
    pieces.push_back(
        {typed_into.format, size - static_cast<int32_t>(cut) - 1 + typed_into.length - head});
    paragraphs[paragraph] = pieces.front();
    paragraphs.insert(paragraphs.begin() + static_cast<std::ptrdiff_t>(paragraph) + 1,
                      pieces.begin() + 1, pieces.end());
  }

  // The run of the character before the insertion grows (the first
  // character's run at the start; the only run of an empty story).
  const int32_t before = text.empty() ? -1 : (position > 0 ? position - 1 : 0);
  std::size_t index = 0;
  int32_t run_start = 0;
  if (before >= 0) {
    index = RunAt(before, &run_start);
    if (index >= runs.size()) {
      index = runs.size() - 1;
      run_start -= runs[index].length;
    }
  }
  runs[index].length += size;
  text.insert(at, units);
  const Finger run = NormalizeRuns(index, index + 1, run_start);
  ++version;
  Touch();
  // The paragraph typed into starts where it did.
  paragraph_finger_ = {revision, paragraph, paragraph_start};
  run_finger_ = {revision, run.index, run.start};
  return true;
}

bool Story::Delete(int32_t start, int32_t end) {
  if (start < 0 || start > end || end > length()) return false;
  if (start == end) return true;
  const std::size_t from = static_cast<std::size_t>(start);
  const std::size_t to = static_cast<std::size_t>(end);

  // The paragraph the range starts in takes in those whose returns go, and
  // keeps its own format.
  int32_t paragraph_start = 0;
  const std::size_t paragraph = ParagraphAt(start, &paragraph_start);
  const std::size_t joined = static_cast<std::size_t>(CountReturns(text, from, to));
  int32_t merged = 0;
  for (std::size_t i = paragraph; i <= paragraph + joined; ++i) merged += paragraphs[i].length;
  paragraphs[paragraph].length = merged - (end - start);
  const auto first_joined = paragraphs.begin() + static_cast<std::ptrdiff_t>(paragraph) + 1;
  paragraphs.erase(first_joined, first_joined + static_cast<std::ptrdiff_t>(joined));

  std::size_t first = runs.size(), last = 0;  // the runs that lose characters
  int32_t first_start = 0;
  // Runs before this one end at or before the range.
  int32_t run_start = 0;
  for (std::size_t i = RunAt(start, &run_start); i < runs.size() && run_start < end; ++i) {
    const int32_t run_end = run_start + runs[i].length;
    const int32_t overlap = std::min(run_end, end) - std::max(run_start, start);
    run_start = run_end;
    if (overlap > 0) {
      if (first > i) first_start = run_start - runs[i].length;
      runs[i].length -= overlap;
      first = std::min(first, i);
      last = i + 1;
    }
  }
  if (first == runs.size()) {  // no run lost a character: the runs do not cover the text
    first_start = 0;
    for (const CharacterRun& run : runs) first_start += run.length;
  }
  text.erase(from, to - from);
  const Finger run = NormalizeRuns(first, last, first_start);
  ++version;
  Touch();
  // The paragraph the range starts in starts where it did.
  paragraph_finger_ = {revision, paragraph, paragraph_start};
  run_finger_ = {revision, run.index, run.start};
  return true;
}

bool Story::ChangeAttributes(int32_t start, int32_t end,
                             const std::function<int32_t(int32_t)>& change) {
  if (start < 0 || start > end || end > length()) return false;
  if (start == end) return true;
  // Only the runs the range touches, [first, last), are cut and changed.
  int32_t first_start = 0;
  const std::size_t first = RunAt(start, &first_start);
  std::size_t last = first;
  for (int32_t at = first_start; last < runs.size() && at < end; ++last) at += runs[last].length;
  if (first == last) return true;  // not reached: the range holds characters

  std::vector<CharacterRun> pieces;
  pieces.reserve(last - first + 2);
  int32_t run_start = first_start;
  for (std::size_t i = first; i < last; ++i) {
    const CharacterRun run = runs[i];
    const int32_t run_end = run_start + run.length;
    const int32_t cut1 = std::max(start, run_start);
    const int32_t cut2 = std::min(end, run_end);
    if (cut1 > run_start) pieces.push_back({run.attributes, cut1 - run_start});
    pieces.push_back({change(run.attributes), cut2 - cut1});
    if (run_end > cut2) pieces.push_back({run.attributes, run_end - cut2});
    run_start = run_end;
  }
  const Finger run = ReplaceRuns(first, last, first_start, pieces);
  Touch(false);  // the paragraphs stay as they are
  run_finger_ = {revision, run.index, run.start};
  return true;
}

int32_t Story::AttributesAt(int32_t position) const {
  if (text.empty() || runs.empty()) return runs.empty() ? 0 : runs.front().attributes;
  position = std::clamp(position, 0, length() - 1);
  int32_t start = 0;
  const std::size_t index = RunAt(position, &start);
  return index < runs.size() ? runs[index].attributes : runs.back().attributes;
}

template <class Table>
std::size_t Story::Locate(const Table& table, Finger* finger, uint64_t revision,
                          int32_t position, int32_t* start) {
  std::size_t index = 0;
  int32_t at = 0;
  if (finger->revision == revision && finger->index <= table.size()) {
    index = finger->index;
    at = finger->start;
  }
  // Back to an entry that starts at or before the position: those before
  // it end there or earlier.  Then on to the first that ends after it.
  while (index > 0 && position < at) at -= table[--index].length;
  while (index < table.size() && position >= at + table[index].length) at += table[index++].length;
  *finger = {revision, index, at};
  *start = at;
  return index;
}

std::size_t Story::RunAt(int32_t position, int32_t* start) const {
  return Locate(runs, &run_finger_, revision, position, start);
}

std::size_t Story::ParagraphAt(int32_t position, int32_t* start) const {
  // A position right after a return is in the paragraph that follows it.
  *start = 0;
  if (paragraphs.empty()) return 0;
  const std::size_t index = Locate(paragraphs, &paragraph_finger_, revision, position, start);
  if (index + 1 < paragraphs.size()) return index;
  if (index >= paragraphs.size()) *start -= paragraphs.back().length;
  return paragraphs.size() - 1;
}

Story::Finger Story::NormalizeRuns(std::size_t from, std::size_t to, int32_t from_start) {
  from = std::min(from, runs.size());
  to = std::max(from, std::min(to, runs.size()));
  std::vector<CharacterRun> same;
  same.reserve(to - from);
  for (std::size_t i = from; i < to; ++i) same.push_back(runs[i]);
  return ReplaceRuns(from, to, from_start, same);
}

Story::Finger Story::ReplaceRuns(std::size_t from, std::size_t to, int32_t from_start,
                                 const std::vector<CharacterRun>& pieces) {
  // The runs as they are to be: runs [0, from), the pieces, runs [to, ...),
  // read through `at` without being put together.
  const std::size_t size = runs.size() - (to - from) + pieces.size();
  auto at = [&](std::size_t i) -> const CharacterRun& {
    return i < from ? runs[i] : i < from + pieces.size() ? pieces[i - from] : runs[i - pieces.size() + (to - from)];
  };
  // Widened by a run each side (and by the empty runs there): a changed run
  // can merge only with those.
  const int32_t typing = runs.empty() ? 0 : runs.front().attributes;
  std::size_t first = from;
  std::size_t last = from + pieces.size();
  int32_t start = from_start;
  if (first > 0) {
    first = std::min(first, size) - 1;
    start -= at(first).length;
  }
  while (first > 0 && at(first).length == 0) start -= at(--first).length;
  last = std::min(last + 1, size);
  while (last < size && at(last - 1).length == 0) ++last;
  last = std::max(last, first);
  std::vector<CharacterRun> kept;
  kept.reserve(last - first);
  for (std::size_t i = first; i < last; ++i) {
    const CharacterRun& run = at(i);
    if (run.length == 0) continue;
    if (!kept.empty() && kept.back().attributes == run.attributes) {
      kept.back().length += run.length;
    } else {
      kept.push_back(run);
    }
  }
  // Runs [first, old_last) of the present table give way to the kept ones:
  // the runs after them do not move (the gap of the table takes the
  // difference).
  // (`last` is never inside the pieces: it is at least one past them.)
  const std::size_t old_last = last - pieces.size() + (to - from);
  runs.replace(first, old_last - first, kept.begin(), kept.end());
  if (runs.empty()) {
    runs.push_back({typing, 0});
    return {};
  }
  // The runs before `first` did not change, nor where run `first` starts.
  return {0, first, start};
}

}  // namespace xthost
