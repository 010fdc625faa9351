// The export of one layout of the current document into a container
// document: the Mapper's analysis at construction, then every story in the
// Mapper's order (Run), each written by ProcessStory with its properties,
// paragraphs, runs, objects and positions.
//
// A story element carries "story_type" (layout_prn, layout_web or
// layout_cur and the whole layout index), "story_sub_type" of master boxes,
// the layer (extended interface) and the box position; each paragraph its
// style name, position and "uniqID" of a unique-id tag.  Unique ids are
// written once per export: the set is shared by the exporters of one
// export run.  Facade failures pass through Run.  Host thread only.
//
// The side outputs (coordinates, XTags) are subclasses built without a
// container document: the same analysis, story order and walk, with no
// elements made; a subclass writes each paragraph's end its own way.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <vector>

#include "plugin/conversion/box_geometry.h"
#include "plugin/conversion/kxt_export.h"
#include "plugin/mixer/mapper.h"
#include "plugin/qapi/quark_doc.h"

class StoryRunIterator;
struct StoryRunPosition;
class XAttribs;

class Exporter {
 public:
  enum LayoutKind : int32_t { kNoLayout = 0, kPrintLayout = 1, kWebLayout = 2, kCurrentLayout = 3 };

  // A new exporter over the current document (its full analysis), or null
  // when either reference is empty.  The references are the exporter's.
  // The analysis's working boxes stay until RemoveWorkingBoxes; the
  // content boxes keep their tags.
  static std::unique_ptr<Exporter> Create(RefHandle<QuarkDoc> document,
                                          BX_KXT::Export::Ref<BX_KXT::Export::IDoc> writer,
                                          std::set<int32_t>* uniqueIds);
  // Releases the references; the tags stay in the document.
  virtual ~Exporter() noexcept(false);
  Exporter(const Exporter&) = delete;
  Exporter& operator=(const Exporter&) = delete;

  // Writes every story in index order; 0.
  int32_t Run();
  // Writes story `index` shown in `box`.
  void ProcessStory(int32_t index, XTItem box);
  // Deletes the working boxes once the walk is done: they have given each
  // character style its probe, and the document the export saves keeps
  // nothing of them.  (Deleting them before the walk would make the host
  // lay the stories out anew while they are walked.)
  void RemoveWorkingBoxes();
  // The working boxes the analysis made and still in the document.
  std::vector<XTItem> WorkingBoxes() const;
  // The working boxes of the current layout, whose boxes carry an
  // export's tags, made again from its stories (for the stored copy of a
  // document whose boxes went before a save); the current box and
  // selection stay as they were.  The boxes made.
  static std::vector<XTItem> MakeWorkingBoxes();
  // Deletes working boxes of any layout (DeleteWorkingBox).
  static void DeleteWorkingBoxes(const std::vector<XTItem>& boxes);

  Mapper& mapper() { return mMapper; }

  int32_t layoutKind = kNoLayout;
  int32_t layoutIndex = 0;
  int32_t highestUniqueId = 0;
  ParagraphPosition lastParagraph;

 protected:
  // `writer` may be empty here: then no element is made.
  Exporter(RefHandle<QuarkDoc> document, BX_KXT::Export::Ref<BX_KXT::Export::IDoc> writer,
           std::set<int32_t>* uniqueIds);

  // What the walk knows at the end of a paragraph that had segments.
  struct ParagraphEnd {
    StoryGeometry* geometry;  // of the story's box, for the walk
    int32_t first;     // the paragraph's first unit in the story
    int32_t uniqueId;  // of its unique-id tag, -1 without one
    uint16_t sheet;    // the paragraph style sheet its format names, 0 for none
    BX_KXT::Export::IPara* element;  // null without a container document
  };
  // Writes the paragraph's style name and position onto its element.
  virtual void EndParagraph(const ParagraphEnd& end);
  // Whether a unique id read now goes into the shared set.
  virtual bool AcceptsUniqueIds() const { return true; }
  // Calls `story` for every story in index order, showing the progress
  // (30 towards 70) unless in MultiDoc mode or without a story count.
  void ForEachStory(const std::function<void(int32_t index, XTItem box)>& story);

 private:
  struct Segment;
  void WriteSegment(Segment& segment);
  void WriteUniqueId(Segment& segment);
  int32_t WriteHiddenObject(Segment& segment);

  Mapper mMapper;  // first: destroyed last
  RefHandle<QuarkDoc> mDocument;
  BX_KXT::Export::Ref<BX_KXT::Export::IDoc> mWriter;
  std::set<int32_t>* mUniqueIds;
  MeasureNumbers mMeasures;  // for every story's geometry: the document stays as it is
  SheetNames mSheetNames;    // for every paragraph's style name: the same
};

// The run's character attributes with the record's code page.
void WriteRunAttributes(const XAttribs& record, BX_KXT::Export::IAttrs& run);
