// Where a story's box and each paragraph's first line sit on their page, in
// the document's measurement unit, and the box's layer.
//
// The geometry is computed once into a BoxGeometry value, which the story
// writer puts onto the container's elements ("sectional_pos", "angle" when
// not 0, "horizontal_pos", "vertical_pos", "width", "height", each a whole
// decimal number) and which the coordinates file can write under names of
// its own.  Host measures become numbers through the host's own formatter
// (FixedToFloat), so they are in the unit the user sees; the box's rotation
// is an angle, always in degrees.  Host failures
// leave values out or at 0; nothing is raised here but the facade's
// exceptions.  Host thread only.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/xt/xt_layout_suites.h"
#include "plugin/conversion/kxt_export.h"

// A 16.16 host measure as the host shows it to the user (two decimals, its
// decimal separator, its unit), read back as a number in the "C" locale; 0
// when the host cannot format it or the text is no number.
float FixedToFloat(int32_t value);

struct BoxGeometry {
  bool found = false;        // false: the host gave no box record or page
  int32_t sectionalPos = 0;  // the page a user sees; master pages: their ordinal (first user master 1)
  int32_t angle = 0;         // whole degrees, 0-359
  int32_t x = 0;             // from the page's left edge
  int32_t y = 0;             // from the page's top edge
  int32_t width = 0;
  int32_t height = 0;
};

// The last paragraph position the story writer wrote, repeated for a
// paragraph whose first line the host does not show.
struct ParagraphPosition {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
};

// The numbers of measures (FixedToFloat) as the host formatted them, by
// value; they hold while the document's unit and separator stay.
using MeasureNumbers = std::unordered_map<int32_t, float>;

// The geometry of one story's box and of its paragraphs during one story
// walk.  What it asks the host is kept for the walk: each measure's number,
// each box's part and the line table last fetched, which serves every
// paragraph whose first line it holds.  The document must not change while
// it lives.
class StoryGeometry {
 public:
  // `masterIndex` is the master spread of the story, 0 on the layout.  With
  // `measures` the numbers are kept there, for walks after this one.
  StoryGeometry(XTItem box, int32_t masterIndex, MeasureNumbers* measures = nullptr);
  StoryGeometry(const StoryGeometry&) = delete;
  StoryGeometry& operator=(const StoryGeometry&) = delete;

  // The box's geometry.  A box on the pasteboard of the layout takes the
  // first page number of its spread when it lies left of the spread's first
  // page, else the last.
  BoxGeometry Box();
  // The geometry of the paragraph starting at unit `first`: page and angle
  // of the box that shows the line, position of the first line's top-left
  // corner (turned about the box's centre with the box), width of its widest
  // line and height from its first line's top to its last line's bottom.
  // found is false when no line shows that unit (overset text included).
  BoxGeometry Paragraph(int32_t first);
  // The story the box shows; false when the host cannot tell.
  bool StoryOf(int32_t* story) const;

 private:
  struct Rect {
    float top = 0;
    float left = 0;
    float bottom = 0;
    float right = 0;
  };
  // A box's geometry with its rectangle, its page's and its angle.
  struct Part {
    XTItem box = 0;
    BoxGeometry geometry;
    Rect rect;
    Rect page;
    float angle = 0;
  };

  float Measure(int32_t value);
  const Part& PartOf(XTItem box);
  bool PageOf(XTItem box, int32_t* number, Rect* page);
  // The index in lines_ of the shown line starting at `first`, or -1.
  int32_t FindLine(int32_t first) const;
  // Whether a line of lines_ holds unit `first` (known only for a table
  // ordered by offset).
  bool HoldsUnit(int32_t first) const;

  XTItem box_;
  int32_t masterIndex_;
  int32_t story_ = 0;
  bool hasStory_ = false;
  MeasureNumbers ownMeasures_;
  MeasureNumbers* measures_;  // ownMeasures_ or the caller's
  std::vector<Part> parts_;
  std::unordered_map<XTItem, std::size_t> partIndex_;  // box -> its part
  std::vector<XTLineRecord> lines_;
  XTItem shown_ = 0;  // the box lines_ belongs to; 0: none fetched
  bool linesOrdered_ = false;  // offsets rise through lines_
};

// One question without a walk: StoryGeometry(box, masterIndex).Box() and
// .Paragraph(first).
BoxGeometry ComputeBoxGeometry(XTItem box, int32_t masterIndex);
BoxGeometry ComputeParagraphGeometry(XTItem box, int32_t masterIndex, int32_t first);

// Writes "sectional_pos", "angle" (when not 0), "horizontal_pos",
// "vertical_pos", "width" and "height" of a story's box.
void WriteBoxPosition(StoryGeometry& geometry, BX_KXT::Export::IAttrs& story);

// The names of paragraph style sheets by id as the host gave them; they
// hold while the document's sheets stay.
using SheetNames = std::unordered_map<uint16_t, std::u16string>;

// Writes "stylename", the name of paragraph style sheet `sheet` (the one
// the paragraph's format names; none for 0 or a sheet not found), and the
// position of the paragraph that starts at unit `first` of the geometry's
// story; a paragraph without a shown first line gets `last` again.  `last`
// takes what was written.
void WriteParagraphPosition(StoryGeometry& geometry, BX_KXT::Export::IAttrs& paragraph, int32_t first,
                            uint16_t sheet, SheetNames& names, ParagraphPosition& last);

// Where the paragraph starting at unit `first` of the geometry's story is
// written: its first line's geometry when shown; else (overset) page and
// angle of the story's box (found false when unknown) with `last`'s
// position.  `last` takes a shown position.
struct ParagraphPlace {
  BoxGeometry geometry;
  bool shown = false;
};
ParagraphPlace PlaceParagraph(StoryGeometry& geometry, int32_t first, ParagraphPosition& last);

// "layer_name" and "layer_visibility" ("show"/"hide") of the box; each is
// left out when the host cannot tell.  True only when both were written.
// The skip flags refuse non-text boxes and master boxes.
bool WriteLayerProperties(XTItem box, BX_KXT::Export::IAttrs& story, bool skipNonText,
                          bool skipMaster);

// The name of paragraph style sheet `sheet`, found by its id among the
// paragraph sheets (whatever sheets of other kinds stand before it) and
// kept in `names`; empty for 0, an id no paragraph sheet has, or a host
// failure (logged and not kept).  A name as long as the host record holds
// (64 units) loses a last unit that is the first half of a surrogate pair.
std::u16string ParagraphStyleName(uint16_t sheet, SheetNames& names);
