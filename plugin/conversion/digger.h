// The Digger: replaces the text of one host story by the translated runs of
// its container story, in place.
//
// It walks the host segments of the story (FixedStory) with a cursor.
// Translated text goes in at the insertion position (the untranslated start
// of the current segment plus the units inserted so far), directly behind a
// carrier character that gives it its format: a copy of the run's probe from
// the working box and a temporary space that takes the run's attributes.
// Every untranslated segment the cursor passes (but a kept one, which stays
// where it is) and every carrier is queued; anchored objects are copied
// from their old place to the cursor.  The queued ranges leave the story
// only when the Digger goes, in one pass from the back.  A host text call
// that fails is logged and remembered (Failed()); the walk goes on.  Host
// thread only.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <utility>

#include "platform/xt/xt_layout_suites.h"
#include "plugin/conversion/kxt_import.h"
#include "plugin/conversion/import_anchors.h"
#include "plugin/qapi/q_story.h"
#include "plugin/qapi/story_runs.h"

class Mapper;
class XAttribs;

class Digger {
 public:
  // Units gathered before one insertion.
  static constexpr int32_t kBufferUnits = 1023;

  // Where an anchored object of the story stands: its untranslated range
  // and, once the cursor has passed it or it was placed, the shift that
  // applies to it (-1 while not placed).  `count` is the plan records it
  // still expects.
  struct PositionRecord {
    int32_t id = 0;
    int32_t value = 0;
    int32_t start = 0;
    int32_t end = 0;
    int32_t placed = -1;
    int32_t count = 1;

    int32_t Position(int32_t shift) const { return start + (placed >= 0 ? placed : shift); }
    // Sets the offset to `shift` when not placed and start + shift <= host.
    void Place(int32_t shift, int32_t host, bool lowerCount);
  };

  // The Digger of `box`'s story over its host `segments` (kept by
  // reference); `mapper` gives the working box.
  Digger(XTItem box, Mapper& mapper, XAttribs& applier, const std::deque<Segment>& segments,
         bool testParagraphStyle);
  // Finishes every remaining segment and deletes the queued ranges, once;
  // false when the host refused the deletions.
  bool Finish();
  // Finish, when it was not called.  Never throws.
  ~Digger();
  Digger(const Digger&) = delete;
  Digger& operator=(const Digger&) = delete;

  // Finishes the current host paragraph: its remaining segments are queued
  // and the cursor steps over its end.
  void Next();
  // Places the anchored object of plan record {kind, value} at the
  // insertion position; false when the story has no such object.
  bool Locate(const Segment& record, bool maySkip);
  // Inserts the unique-id object of `id` ("%8d") at the insertion position;
  // an id wider than eight characters is logged and not inserted.
  void InsertHidden(int32_t id);
  // Writes one container run at the insertion position.  `paragraphFlag`
  // tells whether a run of this paragraph was written before, and is set.
  // Throws ErrorRecord 1003 for an oversized record, 1004 for a special
  // character of a damaged container (a name the strings map or the table
  // of special characters lacks).
  void PutUnit(BX_KXT::Import::IRun& run, bool& paragraphFlag, bool lastOfParagraph);

  // The untranslated start of the current segment (the story end past the
  // last) and the host position that stands for it.
  int32_t CursorStart() const;
  int32_t InsertionPosition() const { return mShift + CursorStart(); }
  int32_t Shift() const { return mShift; }
  size_t Cursor() const { return mCursor; }
  // Whether a host text call failed.
  bool Failed() const { return mFailed; }
  int32_t StoryId() const { return mStoryId; }

 private:
  using Key = std::pair<int32_t, int32_t>;

  int32_t SegmentEnd(size_t index) const;
  void QueueSegment(size_t index);
  // Host calls of the walk; each failure is logged and remembered.
  bool Check(const char* call, int32_t result);
  bool Select(int32_t start, int32_t end);
  bool ReadAttributes(XTCharAttrRecord* record);
  bool SetAttribute(int32_t attribute, int32_t value);
  // Inserts `count` units; the shift grows by the units the story gained.
  bool InsertUnits(const char16_t* units, int32_t count);
  // Inserts a text object; the shift grows by the units the story gained.
  bool InsertObject(uint32_t code, const std::u16string& payload);
  // After an insertion call: its result checked; on success the story
  // re-read and the shift grown by the units it gained.
  bool Inserted(const char* call, int32_t result, int32_t before);
  // A temporary space at the insertion position, queued at once.
  bool InsertCarrierSpace();
  // The carrier of a run's text at the insertion position, `attributes`
  // being those read there: a temporary space, followed by a copy of a
  // plain unit when the space became part of an object (`attributes` are
  // then the copy's); its position, -1 when nothing went in.
  int32_t InsertCarrier(XTCharAttrRecord* attributes);
  // A unit of the story that is plain text (no return), for a carrier: -1
  // when none is known.
  int32_t PlainUnit();
  // Copies units of the story within it (the copy call the settings name);
  // false when the host refused.
  bool CopyUnits(int32_t start, int32_t end, int32_t to);
  void Flush(const char16_t* units, int32_t count, bool flagged);
  void PrepareUnit(BX_KXT::Import::IRun& run, bool& paragraphFlag);
  // The style sheet `style`, then the paragraph attributes of `format` and
  // its tab set (none when it has no tab stops) at the insertion position.
  void ApplyParagraphStyle(uint16_t style, const XTParaFormatRecord& format);
  void MoveObject(PositionRecord& record);
  void PutUnicodes(BX_KXT::Import::IRun& run, bool checkMap);
  void PutMultibytes(BX_KXT::Import::IRun& run);
  void PutSpecialChars(BX_KXT::Import::IRun& run);
  void StoryChanged();

  XTItem mBox;
  Mapper& mMapper;
  XAttribs& mApplier;
  QStory mQueue;
  StoryRuns mStory;
  int32_t mStoryId;
  int32_t mStoryEnd;
  int32_t mShift = 0;
  const std::deque<Segment>& mSegments;
  size_t mCursor = 0;
  // The host position of the first unit of the last untranslated text
  // queued (-1: none yet).
  int32_t mPlainUnit = -1;
  std::map<Key, PositionRecord> mAnchors;
  bool mTestParagraphStyle;
  bool mFailed = false;
  bool mFinished = false;
};
