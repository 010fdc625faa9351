// The import plan of one container story (AnchorCollector) and the guard
// around the import of one box (ImpSentry, BoxScope).  Host thread only.
#pragma once

#include <cstdint>

#include "platform/xt/xt_layout_suites.h"
#include "plugin/conversion/kxt_import.h"
#include "plugin/conversion/story_segments.h"

class Importer;

// The plan: in order, the text runs to write ({kText, -, paragraph, run}),
// each paragraph's end ({kParagraphEnd, -, paragraph, -1}) and the
// reference points and place holders to put in place ({id, value}: 1
// "start", 0 "end", 1000 "point" and place holders).  An "end" without an
// open "start" and a "start" never closed are left out.
class AnchorCollector {
 public:
  explicit AnchorCollector(BX_KXT::Import::IStory& story);
  // Builds the plan again; true when every reference point had a known name
  // and every "end" an open "start".
  bool Collect();

  StorySegments plan;

 private:
  BX_KXT::Import::IStory& mStory;
};

// Makes `box` current with its selection at (0, 0) for the import of its
// story, and again when the import ends; the box that was current before is
// current in between.
class ImpSentry {
 public:
  ImpSentry(XTItem box, Importer& importer);
  Importer& Owner() const { return mImporter; }
  ~ImpSentry();
  ImpSentry(const ImpSentry&) = delete;
  ImpSentry& operator=(const ImpSentry&) = delete;

 private:
  XTItem mBox;
  Importer& mImporter;
};
