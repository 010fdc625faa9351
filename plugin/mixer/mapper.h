// The Mapper: which text boxes of the current document take part in a
// conversion, the dense story id 0, 1, 2, ... of each, and the box of any
// story found again, on the layout or on a master page.
//
// Chosen boxes carry the box tags (box_tags.h); the tags stay in the
// document after the Mapper goes, until the next UnInstall.  FindBox
// switches the host's view between the layout and the master pages as it
// needs, and leaves it where the box it returns lies.  One Mapper per
// document being converted; host thread only; not copied.
//
// Order of story ids (exports and imports rely on it):
//  1. UnInstall removes the tags and working boxes of an earlier analysis.
//  2. The layout spreads of the current layout are walked 1..N, items in
//     the host's stacking order.  For each text box without a parent item
//     (a box that already carries an id tag keeps it):
//     - its story is scanned first; an anchored item met there, in story
//       order, is analysed before the box holding it (an anchored text box
//       recursively, an anchored group through its members from last to
//       first), so a taken anchored box gets its id before its holder;
//     - then the box itself takes the next id, if it is taken.
//  3. Master spreads that pass the host's master-page test are walked the
//     same way, over their items that pass the item master test; each id
//     also goes into the story-to-master-page map, anchored boxes under
//     their holder's spread.
//  4. Never taken: items other than text boxes, boxes with a parent item
//     (later boxes of a linked chain: the chain's story has the id of its
//     first box), boxes without a non-white character, and boxes made only
//     of 20 or more repeats of one character or one pair of characters.
//  5. The working boxes -1 and -2 are made last and are not counted.
//  6. Connect counts the dense ids 0..n-1, then walks stories 0..n-1 in
//     order.  Anchored items: a tagged one is registered under its own id,
//     an untagged one gets n, n+1, ... in the order met.  Then hidden-text
//     pairs and other object runs (opcodes 2-4 and above 7) take the next
//     ids, one per new key (hidden.h); anchored runs are registered again
//     without advancing.
//  7. An import runs Connect alone: the ids come from the stored tags.
#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <memory>

#include "platform/xt/xt_layout_suites.h"
#include "plugin/mixer/hidden.h"
#include "plugin/qapi/progress_bar.h"

class BrenixBox;
class StoryRunIterator;
struct StoryRunPosition;

// Bounds of a layout box made from a master item, by the master spread of
// its page: left, top, right, bottom in 16.16 points.
struct UsedMasterBox {
  int32_t bounds[4];
};

class Mapper {
 public:
  Mapper();
  ~Mapper();
  Mapper(const Mapper&) = delete;
  Mapper& operator=(const Mapper&) = delete;

  // Full analysis of the current document for export: the story count, 0
  // when no story was found or a host step failed.
  int32_t Analyze();
  // Numbers the stories of a document whose boxes are tagged, registers
  // hidden text and anchored items, and in master-page mode 1 prepares the
  // master boxes.  False when there is no story or a host step failed.
  bool Connect();
  // The box of story `id` (the working boxes: -1, -2), 0 for none; the view
  // moves to the layout or to the box's master page.
  XTItem FindBox(int32_t id);
  // Removes the working boxes and every tag a former analysis left; a later
  // Connect takes the working boxes it then finds.
  void UnInstall();
  // Forgets the analysis of the current layout (its working-box object,
  // story-to-master-page map and counts) and leaves the document as it is:
  // its tags and working boxes stay for a later Connect, as when the import
  // moves to another layout before this one's stories are in.
  void Disconnect();
  // Makes the working boxes of a layout whose boxes carry an export's tags
  // again, as Analyze made them from the same stories; false when they
  // could not be made (logged).  The boxes stay when the Mapper goes.
  bool InstallWorkingBoxes();
  // Brings a view that shows the master pages back to the layout.
  void MasterPatch();
  // The text boxes of the master spreads: analysed (true) or only entered
  // in the story-to-master-page map (false).
  void FindBoxFromUnusedMP(bool analyse);
  // The first box of the master spreads whose tag `key` holds `marker`; the
  // view stays on the master pages when one is found.
  XTItem FindSlugFromMP(uint32_t key, uint16_t marker);
  // Tags `box` as the box of story `id`.
  void Link(XTItem box, int32_t id);
  // Removes both tags of `box`.
  void Unlink(XTItem box);
  // Makes every story's box the host's current box once.
  void SetCurrentBoxes();
  // The hidden-text record of the run at `position` (id -1: none); the
  // walk moves past that run.
  HiddenRun CollectHidden(StoryRunIterator& iterator, StoryRunPosition& position);
  // True and its id when the run at `position` is registered.
  bool LookupHidden(StoryRunIterator& iterator, StoryRunPosition& position, int32_t* id);
  // Whether a text box is taken (master index: its master spread, 0 on the
  // layout); anchored items of its story are analysed first.
  bool AnaliseText(XTItem box, int32_t depth, int16_t masterIndex);
  // The same for an item anchored in a story, inside a box of master
  // spread `masterIndex` (0 on the layout).
  bool AnaliseAnchored(XTItem item, int32_t depth, int16_t masterIndex = 0);

  // Results for the conversions.
  int32_t StoryCount() const { return mStoryCount; }
  int32_t ExtendedStoryCount() const { return mExtendedStoryCount; }
  uint16_t MasterPageCount() const { return mcntMasterPages; }
  bool ShowsMasterView() const { return mMasterView != 0; }
  BrenixBox* PrivateBox() const { return mPrivateBox.get(); }
  int32_t AnchorFailures() const { return mAnchorFailures; }
  // The master spread of story `id`, 0 when it lies on the layout.
  uint16_t MasterSpreadOf(int32_t id) const;
  const std::multimap<int16_t, UsedMasterBox>& UsedMasterBoxes() const { return mUsedMasterBoxes; }
  const HiddenTable& HiddenRuns() const { return mHidden; }
  // Moves the analysis's progress window to step `value` of 100.
  void ShowProgress(uint32_t value) { SetProgress(value); }
  // The analysis's progress indicator; null before the analysis made it.
  ProgressBar* Progress() const { return mProgress.get(); }

 private:
  void EnterMasterPage(int32_t id, uint16_t spread);
  // Enters under master spread `spread` the id of `item` when it is a
  // tagged text box, and of every text box anchored in its story or in a
  // group, recursively (groups through their members).
  void EnterTaggedIds(XTItem item, uint16_t spread, int32_t depth);
  void SetProgress(uint32_t value);
  void MakeProgress();

  std::unique_ptr<ProgressBar> mProgress;
  uint16_t mcntMasterPages = 0;
  uint8_t mMasterView = 0;
  std::map<int32_t, uint16_t> mStoryMasterPages;
  std::multimap<int16_t, UsedMasterBox> mUsedMasterBoxes;
  int32_t mStoryCount = 0;
  int32_t mExtendedStoryCount = 0;
  int32_t mNextStoryId = 0;
  int32_t mAnchorFailures = 0;
  std::list<XTItem> mAnchoredBoxes;
  HiddenTable mHidden;
  std::unique_ptr<BrenixBox> mPrivateBox;
  uint32_t mCounter1 = 0;
  uint32_t mCounter2 = 0;
  uint32_t mProgressSteps = 100;  // the progress window's step count
};
