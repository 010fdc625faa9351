// Story runs: a story's text reference and length (StoryRuns), its
// paragraph-run and character-run tables and an 8-bit copy of its text
// (StoryRunIterator), and the walk from boundary to boundary, where a
// paragraph run or a character run ends (StoryRunPosition).
//
// The text-change counter tells every snapshot when the host text under it
// may have moved: each change of story text the plug-in makes through the
// host adds 1 (NoteTextChange), and a snapshot whose stamp differs is
// fetched again (RefreshIfStale) before its next host text call.
//
// A walk:
//   StoryRunIterator it(story);
//   StoryRunPosition pos;
//   StoryRunIterator::Begin(pos, it);
//   while (it.HasMore(pos)) {
//     ... it.NextBoundary(pos), it.CurrentStyle(pos), pos.format,
//         it.runs.GetText(pos, ...), it.Text() from pos.boundary ...
//     it.Advance(pos);
//   }
// The tables and the text copy are those of construction; only the snapshot
// follows later changes.  Host thread only.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "platform/xt/xt_doc_suites.h"
#include "plugin/qapi/q_handle.h"

// The text-change counter: 0 at load.
extern uint32_t gTextChangeCounter;
inline void NoteTextChange() { ++gTextChangeCounter; }

struct StoryRunPosition;
class StoryRunIterator;

// The snapshot of one story of the current document.
class StoryRuns {
 public:
  // Stores the id, fetches (a story id of 0 or less fetches nothing and
  // leaves reference and length 0) and keeps copies of the length and the
  // two further values.  Leaves the host's tool mode at 1.
  explicit StoryRuns(int32_t storyId);

  // Fetches again and restamps; a tool mode other than 1 is set to 1 for
  // the fetch and put back afterwards.
  void Refresh();
  bool IsStale() const { return stamp != gTextChangeCounter; }
  void RefreshIfStale() {
    if (IsStale()) Refresh();
  }

  // The character-attribute record of the walk's current character run,
  // into `record` (116 bytes), with a copy of the walk's attribute word
  // passed in; the word the host gives back goes to `word` when given.
  // Refreshes first when stale.  The host's result.
  int32_t GetText(const StoryRunPosition& position, XTCharAttrRecord* record, uint16_t* word);

  // The numbers of the story's paragraph runs and character runs as the
  // host counts them, asked at the first call after each fetch; 0 for a
  // table the host cannot give.
  struct RunCounts {
    uint32_t paragraphs = 0;
    uint32_t characters = 0;
  };
  const RunCounts& Counts();

  int32_t storyId = 0;
  XTTextRef textRef = 0;
  int32_t textLength = 0;
  int32_t firstBox = 0;   // the two further values the host gives with the
  int32_t document = 0;   // text: the story's first box, the document
  // Taken once at construction and never refreshed.
  int32_t walkLength = 0;
  int32_t firstBoxAtStart = 0;
  int32_t documentAtStart = 0;
  uint32_t stamp = 0;

 private:
  void Fetch();

  RunCounts counts_;
  bool counted_ = false;  // counts_ belong to the last fetch
};

// One run table of a story, in its own host block.
class RunTable {
 public:
  enum Kind { kParagraphs, kCharacters };

  // Fetches the table of `storyId` (through a snapshot of its own), drops
  // trailing zero-length runs and reports inner ones (QuarkInternalError,
  // "plugin\\qapi\\QHandle", line 119; they stay).  A host failure throws
  // std::bad_alloc.
  RunTable(int32_t storyId, Kind kind);

  uint32_t count() const { return count_; }
  // Entry `index` (below count()): its first word (format or attribute
  // index) and its length (a negative one counts as 0).
  int32_t Index(uint32_t index) const { return Word(index, 0); }
  int32_t Length(uint32_t index) const { return std::max(Word(index, 1), 0); }

 private:
  // Inline: walks over whole tables read every entry.
  int32_t Word(uint32_t index, uint32_t word) const {
    int32_t value = 0;
    std::memcpy(&value, data_ + (std::size_t{index} * words_ + word) * 4, 4);
    return value;
  }

  QHandle handle_;
  uint32_t count_ = 0;
  uint32_t words_ = 0;  // words per entry
  const unsigned char* data_ = nullptr;  // the block, read in place
};

// The walk state, kept by the caller and bound by StoryRunIterator::Begin.
struct StoryRunPosition {
  XTParaFormatRecord format{};  // first, so the walk state can stand for it
  const RunTable* paragraphs = nullptr;
  int32_t paragraphStart = 0;
  uint32_t paragraphIndex = 0;
  const RunTable* characters = nullptr;
  int32_t characterStart = 0;
  uint32_t characterIndex = 0;
  uint16_t word = 0;
  int32_t boundary = 0;
  int32_t limit = 0;
  StoryRunIterator* iterator = nullptr;
};
static_assert(offsetof(StoryRunPosition, format) == 0, "the walk state begins with the record");

class StoryRunIterator {
 public:
  // The snapshot, the paragraph runs, the character runs, then the text
  // copy (walkLength + 1 bytes, NUL-terminated).  A failure to fetch a
  // table throws std::bad_alloc; what was built is released.
  explicit StoryRunIterator(int32_t storyId);
  StoryRunIterator(const StoryRunIterator&) = delete;
  StoryRunIterator& operator=(const StoryRunIterator&) = delete;

  // Binds `position` to `iterator` at the start of the story and fetches the
  // first paragraph's format record (a story without paragraphs leaves the
  // record zeroed).
  static void Begin(StoryRunPosition& position, StoryRunIterator& iterator);

  // While the current character run starts before the walk limit and lies
  // inside its table.
  bool HasMore(const StoryRunPosition& position) const;
  // The nearer of the current paragraph run's end and the current character
  // run's end.  Ends count only up to the walk limit, and past the last
  // paragraph run the paragraph counts as running to the walk limit, so a
  // walk never reads past a table or the text copy.
  int32_t NextBoundary(const StoryRunPosition& position) const;
  // Moves to the next boundary: steps every run that ends there (the
  // paragraph run not when the last character run ended), fetching the next
  // paragraph's format record when its format index differs.
  void Advance(StoryRunPosition& position);
  // Whether the current paragraph run ends at or before the end of the
  // current character run.
  bool RunEndsInParagraph(const StoryRunPosition& position) const;
  // The low 16 bits of the current character run's attribute index.
  uint16_t CurrentStyle(const StoryRunPosition& position) const;
  // The current run's opcode (the 32-bit word at byte 28 of its
  // character-attribute record; XTTextOpcode), 0 when the host gives none.
  uint32_t CurrentText(const StoryRunPosition& position);
  uint32_t CurrentOpcode(const StoryRunPosition& position) { return CurrentText(position); }

  // The 8-bit copy of the text (low byte of each character).
  const char* Text() const { return text_.get(); }

  StoryRuns runs;
  RunTable paragraphs;
  RunTable characters;

 private:
  int32_t ParagraphEnd(const StoryRunPosition& position) const;
  int32_t CharacterEnd(const StoryRunPosition& position) const;

  std::unique_ptr<char[]> text_;
};
