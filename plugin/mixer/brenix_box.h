// The working text boxes: a palette of character formats inside the host
// document, one sample (probe) per character style of the exported
// stories.  Export builds two scratch boxes tagged -1 (one unit per probe)
// and -2 (two units per probe), in probe order, each unit a plain
// character carrying its probe's format (a page-number object, or a
// character the host copied whole, becomes a blank of that format), box -2
// with the paragraph style sheet "Normal" when the document has one; the
// container names a format by its probe's index.  Import finds the boxes
// again by their tags (or makes them again, MakePalette) and copies probe
// i wherever a run of format i is written.  Host thread only.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/xt/xt_doc_suites.h"
#include "platform/xt/xt_layout_suites.h"

class Mapper;
class StoryRunIterator;
struct StoryRunPosition;

class BrenixBox {
 public:
  // One sample: where it lies and the run it was taken from.
  struct Probe {
    // The run at `position` of the story of `box`: a plain-text run's
    // sample is its first blank and what follows it up to the next
    // boundary (found set); a run without a blank keeps the whole run.
    Probe(StoryRunIterator& iterator, StoryRunPosition& position, XTItem box);
    Probe(XTItem box, int32_t story, int32_t start, int32_t length);

    // Copies the sample to `position` of `story` (-1: its end), with the
    // copy call useObsoleteCopyText selects: the units copied, 0 on failure.
    int32_t CopyTo(int32_t story, int32_t position) const;
    // The character style of the run at the sample's start.
    uint16_t Style() const;

    XTItem box = 0;
    int32_t story = 0;
    int32_t start = 0;
    int32_t length = 0;
    uint32_t opcode = 0;
    uint16_t style = 0;
    XTCharAttrRecord format{};
    bool found = false;
  };

  BrenixBox() = default;
  virtual ~BrenixBox();
  BrenixBox(const BrenixBox&) = delete;
  BrenixBox& operator=(const BrenixBox&) = delete;

  // The probe of character style `style`; -1 for none.
  virtual int32_t ProbeOfStyle(uint16_t style) const;
  // Copies probe `index` to `position` of `story`: the units copied; -1
  // here, 0 for an index out of range.
  virtual int32_t CopyProbe(int32_t index, int32_t story, int32_t position);

  // The export side for `mapper`'s analysis; null (the reason logged as an
  // "ERROR:" line) when it cannot be built.
  static std::unique_ptr<BrenixBox> Install(Mapper& mapper);
  // The import side over the working boxes found in the document.
  static std::unique_ptr<BrenixBox> MakeImport(Mapper& mapper);

  XTItem Box() const { return mBox; }
  uint32_t Unit() const { return mUnit; }

 protected:
  XTItem mBox = 0;
  uint32_t mUnit = 0;
};

// Export: fills the working boxes from the stories of the Mapper.
class BrenixBoxExp : public BrenixBox {
 public:
  // Makes, tags and fills the two boxes; throws std::runtime_error with the
  // reason when the host makes no box or a copy fails.
  explicit BrenixBoxExp(Mapper& mapper);
  int32_t ProbeOfStyle(uint16_t style) const override;
  size_t ProbeCount() const { return mProbes.size(); }
  // Deletes both boxes (and their stories) from the document; the style
  // table stays, so ProbeOfStyle answers as before.  A box the host does
  // not delete loses its tags, with an "ERROR:" line in the program log.
  void RemoveBoxes();
  // The boxes made (none after RemoveBoxes).
  std::vector<XTItem> Boxes() const;

 private:
  void CollectProbes();
  void FillFirstBox();
  void FillSecondBox();

  Mapper& mMapper;
  std::map<uint16_t, int32_t> mStyleProbes;
  std::vector<Probe> mProbes;
  XTItem mFirstBox = 0;
  XTItem mSecondBox = 0;
};

// Import: probe i covers units [i * unit, i * unit + unit) of the working
// box's story.
class BrenixBoxImp : public BrenixBox {
 public:
  explicit BrenixBoxImp(Mapper& mapper);
  int32_t CopyProbe(int32_t index, int32_t story, int32_t position) override;
  size_t ProbeCount() const { return mProbes.size(); }
  // For a document saved without working boxes (containers written while
  // the stored copy was saved without them):
  // makes them again from its stories, as the export made them, and reads
  // them; run before any story changes, the probes then match the indexes
  // the export wrote.  Nothing when the document has a working box.  The
  // boxes stay until Mapper::UnInstall; a failure is logged as an "ERROR:"
  // line and leaves no probe.
  void MakePalette();

 private:
  void Read();

  Mapper& mMapper;
  std::vector<Probe> mProbes;
};

// The scratch boxes the export side made in this process, in order.
std::vector<XTItem>& ScratchBoxes();

// Deletes working box `box` (and its story); a box the host does not
// delete loses its tags, with an "ERROR:" line in the program log.
void DeleteWorkingBox(Mapper& mapper, XTItem box);
