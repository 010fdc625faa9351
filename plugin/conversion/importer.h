// The Importer: writes the translated stories of one container document
// back into the open host document, story by story, into the box each story
// came from.  Around each story it unlocks a locked story, optionally
// enlarges the box for the time of the import, grows a box whose text
// overflows (AutomaticResizeOfFrames) and locks the story again.
//
// FixedStory is the list of host segments of one story (text, paragraph
// ends, anchored objects) that the Digger walks.
// Host thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "plugin/conversion/box_fitting.h"
#include "plugin/conversion/kxt_import.h"
#include "plugin/conversion/import_anchors.h"
#include "plugin/conversion/x_attribs.h"
#include "plugin/mixer/mapper.h"
#include "plugin/qapi/quark_doc.h"

class Importer : public Mapper {
 public:
  // Makes `document` current, resets its state flags and numbers the tagged
  // stories (Mapper::Connect); a document without working boxes gets them
  // from its stories (BrenixBoxImp::MakePalette), as each layout does when
  // the import moves to it.
  Importer(RefHandle<QuarkDoc> document, BX_KXT::Import::Ref<BX_KXT::Import::IDoc> container,
           bool resizeBoxes, bool testParagraphStyle, bool uniqueIds, bool newMasterPages);
  ~Importer();

  // Imports every story of the container document.  Afterwards
  // StoryWithoutBox tells whether some story found no box (or a layout the
  // document lacks); the rest is imported all the same.  A failed host
  // call (a text call, a deletion, a view switch) is counted
  // (support/host_result.h), and a view that cannot be switched ends the
  // import of the stories.  A damaged container
  // (a story, paragraph or run missing between others, a run without
  // content) throws ErrorRecord 1004, as its reader's failures pass.
  void Run();
  // Imports one container story into the text box `box`.
  void ProcessStory(BX_KXT::Import::IStory& story, XTItem box);

  bool StoryWithoutBox() const { return mStoryWithoutBox; }

 private:
  // A box given the bounds of its page for the time of its import.
  struct Enlargement {
    bool active = false;
    int32_t bounds[4] = {0, 0, 0, 0};  // left, top, right, bottom
    uint32_t savedWord = 0;
    uint32_t savedShape = 0;
  };

  void OpenProgress();
  void CloseProgress();
  // `plan` is the story's, read once for the enlargement and the import.  A
  // box the host would not take back (UnusableBoxShape) is not enlarged,
  // with a WARNING; a refused restore is logged and counted as a failed call.
  void Enlarge(const AnchorCollector& plan, XTItem box, Enlargement& enlargement);
  void Restore(XTItem box, Enlargement& enlargement);
  // Imports the story of a box; false when a view switch failed.
  bool ImportBox(BX_KXT::Import::IStory& story, const AnchorCollector& plan, XTItem box,
                 int32_t kind, uint16_t spread, Enlargement& enlargement);
  void ImportStory(BX_KXT::Import::IStory& story, const AnchorCollector& plan, XTItem box,
                   Enlargement* enlargement);
  void NoBox(int32_t index, const char* why);
  // Makes the document of another layout current, with its own analysis;
  // the tags of the layout left stay.
  void SwitchLayout(int16_t document);
  // Removes the tags and working boxes of every layout (`layouts` from the
  // document `layoutBase`; the current one alone when either is unknown),
  // then makes the layout current again that was current at the start.
  void UnInstallLayouts(int16_t layoutBase, int32_t layouts);

  RefHandle<QuarkDoc> mDocument;
  BX_KXT::Import::Ref<BX_KXT::Import::IDoc> mContainer;
  std::unique_ptr<XAttribs> mApplier;
  bool mResizeBoxes;
  bool mTestParagraphStyle;
  bool mUniqueIds;
  bool mNewMasterPages;
  bool mStoryWithoutBox = false;
  LockedGroups mLockedGroups;  // found once per import: locks do not change while it runs
  std::unique_ptr<ProgressBar> mProgress;
  int16_t mConnected = -1;  // the layout document the analysis belongs to
  int16_t mInitialLayout = -1;  // the layout document current at the start
};

// A new Importer, or null, counted as a failed host call, when memory or a
// host block runs out.
std::unique_ptr<Importer> CreateImporter(RefHandle<QuarkDoc> document,
                                         BX_KXT::Import::Ref<BX_KXT::Import::IDoc> container,
                                         bool resizeBoxes, bool testParagraphStyle,
                                         bool uniqueIds, bool newMasterPages);

// The host segments of the story of `box`: plain text (kText), the return
// that ends each host paragraph run (kParagraphEnd) and each other object
// run, as its hidden id with the hidden kind of its own opcode.  Page
// numbers count as text.  An anchored item that the container story's
// `plan` does not name by its own id, but by the id of the first item
// followed by the same text, takes that id: older containers gave all such
// items that one id.  Kept segments (kKeptSegment), which the import leaves
// in place: with `keepObjects`, each object but an anchored item or a
// unique-id tag that `plan` does not name; and, when `plan` carries no
// words between hidden-text markers (an export with SkipProcessHidden
// leaves them out), the text between markers that are named or kept.
class FixedStory {
 public:
  FixedStory(XTItem box, Mapper& mapper, const std::deque<Segment>* plan = nullptr, bool keepObjects = false);
  std::deque<Segment> segments;
};

// The layout number of a "story_type" value: "layout_prn", "layout_web" or
// "layout_cur" followed by a decimal number; -1 for anything else.
int32_t ParseStoryLayout(const std::u16string& storyType);
