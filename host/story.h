// A story of a host document: UTF-16 text with its paragraph runs and its
// character runs.
//
// Paragraphs end with a carriage return (U+000D); the story has one
// paragraph run per paragraph, so one more than it has returns, and the last
// one is empty when the text ends with a return (an empty story has one
// empty paragraph).  Character runs cover the text in order; a run of length
// 0 stands only where a document said so (until a change reaches it), or
// alone in an empty story (the attributes typing would take there).  Formats and attributes are indices
// into the document's tables.
//
// Every change keeps these rules and advances `version`, by which text
// references tell that the text moved under them.  Every change of the
// text, the paragraph runs or the character runs also gives the story a
// new `revision`, one no story had before, by which the host's cached lines
// tell that the story changed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/gap_buffer.h"
#include "host/text_buffer.h"

namespace xthost {

struct ParagraphRun {
  int32_t format = 0;  // index into the document's paragraph formats
  int32_t length = 0;
  bool operator==(const ParagraphRun& o) const { return format == o.format && length == o.length; }
};

struct CharacterRun {
  int32_t attributes = 0;  // index into the document's character attributes
  int32_t length = 0;
  bool operator==(const CharacterRun& o) const {
    return attributes == o.attributes && length == o.length;
  }
};

class Story {
 public:
  static constexpr char16_t kReturn = u'\r';

  // An empty story: one empty paragraph of format 0, one empty run of
  // attributes 0.
  explicit Story(int32_t id = 0);

  int32_t id = 0;
  uint32_t options = 0;  // option bits (see XTTextBufferSuite::story_option)
  TextBuffer text;
  std::vector<ParagraphRun> paragraphs;
  // In a gap buffer, like the text: an import changes the runs from the
  // front to the back, and the runs after each change do not move.
  GapBuffer<std::vector<CharacterRun>> runs;
  uint32_t version = 0;  // advances with every change of the text
  uint64_t revision;     // new with every change (Touch)

  // Takes a new revision: for code that changes the vectors above itself.
  // Unless `lengths_changed` is false (formats or attributes changed in
  // place), the places the look-ups below start from are forgotten.
  void Touch(bool lengths_changed = true);

  int32_t length() const { return static_cast<int32_t>(text.size()); }

  // Whether the rules above hold, with `formats` and `attributes` entries in
  // the document's tables; else false with the reason in *error.
  bool Check(std::size_t formats, std::size_t attributes, std::string* error) const;

  // Inserts `units` at `position` (0 to length).  The new characters take
  // the attributes of the character before them (of the first character at
  // position 0); each return in them starts a paragraph of the format of the
  // paragraph it was typed into.  False, changing nothing, for a position
  // outside the text.
  bool Insert(int32_t position, const std::u16string& units);

  // Deletes the characters from `start` up to `end`; a paragraph whose
  // return goes joins the next one and keeps its own format.  False,
  // changing nothing, unless 0 <= start <= end <= length.
  bool Delete(int32_t start, int32_t end);

  // Gives the characters from `start` up to `end` the attribute index that
  // `change` makes of their present one, splitting runs at the range's ends
  // and merging neighbours that end up alike.  False, changing nothing, for
  // a range outside the text.  The version does not change: the text stays.
  bool ChangeAttributes(int32_t start, int32_t end, const std::function<int32_t(int32_t)>& change);

  // The attribute index of the character at `position`, or of the one
  // before it at the end of the text.
  int32_t AttributesAt(int32_t position) const;

  // The index of the paragraph holding `position` (a position right after
  // a return is in the next one; the end of the text in the last one), its
  // first character's position in *start.
  std::size_t ParagraphAt(int32_t position, int32_t* start) const;
  // The index of the first character run that ends after `position` (the
  // number of runs when none does), its first character's position in
  // *start (the text's length for none).
  std::size_t RunAt(int32_t position, int32_t* start) const;

 private:
  // A run or paragraph index with its first character's position, known to
  // hold for one revision.  Look-ups start from the last one, and each
  // change leaves one before the place it changed, so that work which moves
  // along the text does not count from its start at each step.
  struct Finger {
    uint64_t revision = 0;
    std::size_t index = 0;
    int32_t start = 0;
  };
  template <class Table>
  static std::size_t Locate(const Table& table, Finger* finger, uint64_t revision,
                            int32_t position, int32_t* start);
  // Drops the empty runs among the runs [from, to) and their neighbours
  // (one stays when the text is empty), and merges those neighbours with
  // equal attributes.  Runs elsewhere stay as they are.  `from_start` is
  // the position of run `from` (at most the number of runs); the run
  // finger is left before the runs it changed.
  Finger NormalizeRuns(std::size_t from, std::size_t to, int32_t from_start);
  // The same for runs [from, to) replaced by `pieces` first: the runs after
  // them do not move (the table's gap takes up the difference).
  Finger ReplaceRuns(std::size_t from, std::size_t to, int32_t from_start,
                     const std::vector<CharacterRun>& pieces);

  mutable Finger run_finger_;
  mutable Finger paragraph_finger_;
};

}  // namespace xthost
