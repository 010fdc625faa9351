#include "host/story.h"

#include <algorithm>

namespace xthost {
namespace {

int32_t CountReturns(const std::u16string& text, std::size_t from, std::size_t to) {
  return static_cast<int32_t>(
      std::count(text.begin() + static_cast<std::ptrdiff_t>(from),
                 text.begin() + static_cast<std::ptrdiff_t>(to), Story::kReturn));
}

}  // namespace

Story::Story(int32_t story_id) : id(story_id), paragraphs{{0, 0}}, runs{{0, 0}} {}

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
  std::vector<int32_t> formats = Formats();
  const std::size_t paragraph = static_cast<std::size_t>(CountReturns(text, 0, at));
  const int32_t added = CountReturns(units, 0, units.size());
  formats.insert(formats.begin() + static_cast<std::ptrdiff_t>(paragraph + 1),
                 static_cast<std::size_t>(added), formats[paragraph]);

  // The run of the character before the insertion grows (the first
  // character's run at the start; the only run of an empty story).
  const int32_t before = text.empty() ? -1 : (position > 0 ? position - 1 : 0);
  std::size_t index = 0;
  if (before >= 0) {
    int32_t start = 0;
    for (; index < runs.size(); ++index) {
      if (before < start + runs[index].length) break;
      start += runs[index].length;
    }
    index = std::min(index, runs.size() - 1);
  }
  runs[index].length += static_cast<int32_t>(units.size());
  text.insert(at, units);
  // Text without a return only lengthens its paragraph.
  if (added == 0 && paragraph < paragraphs.size()) {
    paragraphs[paragraph].length += static_cast<int32_t>(units.size());
  } else {
    SetParagraphs(formats);
  }
  NormalizeRuns();
  ++version;
  return true;
}

bool Story::Delete(int32_t start, int32_t end) {
  if (start < 0 || start > end || end > length()) return false;
  if (start == end) return true;
  std::vector<int32_t> formats = Formats();
  const std::size_t from = static_cast<std::size_t>(start);
  const std::size_t to = static_cast<std::size_t>(end);
  const std::size_t paragraph = static_cast<std::size_t>(CountReturns(text, 0, from));
  const std::size_t joined = static_cast<std::size_t>(CountReturns(text, from, to));
  formats.erase(formats.begin() + static_cast<std::ptrdiff_t>(paragraph + 1),
                formats.begin() + static_cast<std::ptrdiff_t>(paragraph + 1 + joined));

  int32_t run_start = 0;
  for (CharacterRun& run : runs) {
    const int32_t run_end = run_start + run.length;
    const int32_t overlap = std::min(run_end, end) - std::max(run_start, start);
    run_start = run_end;
    if (overlap > 0) run.length -= overlap;
  }
  text.erase(from, to - from);
  if (joined == 0 && paragraph < paragraphs.size()) {
    paragraphs[paragraph].length -= static_cast<int32_t>(to - from);
  } else {
    SetParagraphs(formats);
  }
  NormalizeRuns();
  ++version;
  return true;
}

bool Story::ChangeAttributes(int32_t start, int32_t end,
                             const std::function<int32_t(int32_t)>& change) {
  if (start < 0 || start > end || end > length()) return false;
  if (start == end) return true;
  std::vector<CharacterRun> pieces;
  pieces.reserve(runs.size() + 2);
  int32_t run_start = 0;
  for (const CharacterRun& run : runs) {
    const int32_t run_end = run_start + run.length;
    if (run_end <= start || run_start >= end) {
      pieces.push_back(run);  // untouched
    } else {
      const int32_t cut1 = std::max(start, run_start);
      const int32_t cut2 = std::min(end, run_end);
      if (cut1 > run_start) pieces.push_back({run.attributes, cut1 - run_start});
      pieces.push_back({change(run.attributes), cut2 - cut1});
      if (run_end > cut2) pieces.push_back({run.attributes, run_end - cut2});
    }
    run_start = run_end;
  }
  runs = std::move(pieces);
  NormalizeRuns();
  return true;
}

int32_t Story::AttributesAt(int32_t position) const {
  if (text.empty() || runs.empty()) return runs.empty() ? 0 : runs.front().attributes;
  position = std::clamp(position, 0, length() - 1);
  int32_t start = 0;
  for (const CharacterRun& run : runs) {
    if (position < start + run.length) return run.attributes;
    start += run.length;
  }
  return runs.back().attributes;
}

std::vector<int32_t> Story::Formats() const {
  std::vector<int32_t> formats;
  for (const ParagraphRun& run : paragraphs) formats.push_back(run.format);
  if (formats.empty()) formats.push_back(0);
  return formats;
}

void Story::SetParagraphs(const std::vector<int32_t>& formats) {
  paragraphs.clear();
  std::size_t start = 0;
  for (std::size_t i = 0; i < formats.size(); ++i) {
    std::size_t end = text.size();
    if (i + 1 < formats.size()) end = text.find(kReturn, start) + 1;
    paragraphs.push_back({formats[i], static_cast<int32_t>(end - start)});
    start = end;
  }
}

void Story::NormalizeRuns() {
  // In place: runs only ever merge.
  const int32_t first = runs.empty() ? 0 : runs.front().attributes;
  std::size_t kept = 0;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const CharacterRun run = runs[i];
    if (run.length == 0) continue;
    if (kept > 0 && runs[kept - 1].attributes == run.attributes) {
      runs[kept - 1].length += run.length;
    } else {
      runs[kept++] = run;
    }
  }
  runs.resize(kept);
  if (runs.empty()) runs.push_back({first, 0});
}

}  // namespace xthost
