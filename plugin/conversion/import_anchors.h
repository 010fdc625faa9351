// The import plan of one container story and the guards around the import
// of one host box.
//
// AnchorCollector reads a container story once and lists, in order, the
// text runs to write, the paragraph ends and the anchors (reference points
// and place holders) to put in place.  An anchor's value is the hidden kind
// of the host object it stands for (StyleFlags::HiddenKind): "start" 1 (the
// opening marker), "end" 0 (the closing one), "point" and place holders
// 1000.  An "end" closes the most recent open "start" of its id; an "end"
// without one is dropped, and a "start" never closed is removed at the end.
//
// ImpSentry prepares the box's story before the import (selection at 0,
// stray plug-in objects removed) and resets the selection afterwards;
// CurrentBoxGuard makes a box current again when it ends.  Host thread only.
#pragma once

#include <cstdint>
#include <deque>

#include "platform/xt/xt_doc_suites.h"
#include "plugin/conversion/kxt_import.h"

class Mapper;

// One record of a host-segment list or a container plan.
struct Segment {
  int32_t kind;   // kTextSegment, kParagraphEnd, kKeptSegment, or an anchor's id (>= 0)
  int32_t value;  // an anchor's hidden kind
  int32_t a;      // plan: paragraph index; host: start
  int32_t b;      // plan: run index (-1 at a paragraph end); host: end
};

// A kept segment is host content the import passes and leaves in place.
enum : int32_t { kKeptSegment = -4, kTextSegment = -3, kParagraphEnd = -2 };
enum : int32_t { kAnchorEnd = 0, kAnchorStart = 1, kAnchorPoint = 1000 };

class AnchorCollector : public std::deque<Segment> {
 public:
  // Builds the plan of `story` at once.  A "start" never closed stays in
  // the plan (its hidden text runs to the story's end) and is logged.
  // Throws ErrorRecord 1004 for a damaged story: a run without content, a
  // paragraph or run missing between others, a reference point whose kind
  // is none of "point", "start" and "end".
  explicit AnchorCollector(BX_KXT::Import::IStory& story);

  // Whether every "end" had an open "start".
  bool Complete() const { return complete_; }
  // Whether the plan holds an anchor (a record of kind >= 0).
  bool HasAnchors() const;

 private:
  bool Collect(BX_KXT::Import::IStory& story);

  bool complete_ = false;
};

// Makes `box` current again when it ends (a box of 0 changes nothing).
class CurrentBoxGuard {
 public:
  explicit CurrentBoxGuard(XTBox box) : box_(box) {}
  ~CurrentBoxGuard();
  CurrentBoxGuard(const CurrentBoxGuard&) = delete;
  CurrentBoxGuard& operator=(const CurrentBoxGuard&) = delete;

 private:
  XTBox box_;
};

// Makes the story of `box` the current text (content tool, text opened);
// returns the box that was current before (0: none).
XTBox MakeBoxCurrent(XTBox box);

class ImpSentry {
 public:
  // With `box` current for the time: selection (0, 0), the box refreshed,
  // and the plug-in's objects (codes 0x424B41xx) that `mapper` does not
  // know as hidden runs deleted from the story.  The previous box is made
  // current again.
  ImpSentry(XTBox box, Mapper& mapper);
  // Selection (0, 0) again, the previous box current afterwards.  Never
  // raises.
  ~ImpSentry();
  ImpSentry(const ImpSentry&) = delete;
  ImpSentry& operator=(const ImpSentry&) = delete;

 private:
  void RemoveStrayObjects();

  XTBox box_;
  Mapper& mapper_;
};
