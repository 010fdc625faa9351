// The layouts of the current project written one after another, the part
// the export commands and the export tests share: each layout made current
// in turn, its exporter made and run, the first layout made current again
// after the last one.  WriteKxtBook adds what a KXT container holds around
// that: book and document properties, "maxuniqID", and the document as
// saved after its last layout.  Facade and exporter failures pass through.
// Host thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "platform/xt/xt_layout_suites.h"
#include "plugin/conversion/kxt_export.h"
#include "plugin/qapi/progress_bar.h"
#include "plugin/qapi/quark_doc.h"
#include "support/host_result.h"

// Seconds spent in each phase, for the benchmarks: the analyses (making
// the exporters), the story walks, saving and storing the document,
// finishing the container.
struct ExportPhases {
  double analysis = 0, walk = 0, store = 0, finish = 0;
};

// The exporter of one layout at a time.
class LayoutOutput {
 public:
  virtual ~LayoutOutput() noexcept(false) = default;
  // Makes the exporter of the current layout; false when it cannot be made.
  virtual bool Create(const RefHandle<QuarkDoc>& document, std::set<int32_t>* uniqueIds) = 0;
  // Writes the layout with its kind (Exporter::LayoutKind) and index, then
  // deletes the working boxes when `removeBoxes`; the highest unique id the
  // exporter met.
  virtual int32_t Run(int32_t kind, int32_t index, bool removeBoxes) = 0;
  // The working boxes of the exporter made last still in the document.
  virtual std::vector<XTItem> WorkingBoxes() = 0;
  // Deletes the exporter.
  virtual void Release() = 0;
  // The progress indicator of the exporter made last; null without one.
  virtual ProgressBar* Progress() = 0;
};

// One exporter of type E per layout, made by E::Create (document, `writer`,
// unique ids) and run by `Write`.
template <typename E, typename W, void (*Write)(E&)>
class ExporterLayouts final : public LayoutOutput {
 public:
  explicit ExporterLayouts(W writer) : writer_(std::move(writer)) {}
  bool Create(const RefHandle<QuarkDoc>& document, std::set<int32_t>* uniqueIds) override {
    exporter_ = E::Create(document, writer_, uniqueIds);
    return exporter_ != nullptr;
  }
  int32_t Run(int32_t kind, int32_t index, bool removeBoxes) override {
    exporter_->layoutKind = kind;
    exporter_->layoutIndex = index;
    Write(*exporter_);
    if (removeBoxes) exporter_->RemoveWorkingBoxes();
    return exporter_->highestUniqueId;
  }
  std::vector<XTItem> WorkingBoxes() override { return exporter_ ? exporter_->WorkingBoxes() : std::vector<XTItem>(); }
  void Release() override { exporter_.reset(); }
  ProgressBar* Progress() override { return exporter_ ? exporter_->mapper().Progress() : nullptr; }

 private:
  W writer_;
  std::unique_ptr<E> exporter_;
};

struct LayoutLoop {
  int32_t count = 0;        // layouts of the project
  int32_t written = 0;      // layouts written
  int32_t maxUniqueId = 0;  // the highest unique id of all of them
  bool invalid = false;     // an exporter could not be made: the loop stopped there
  // The last layout (from 0) before which the document was saved
  // (saveEachLayout): its file holds the tags and item ids of the layouts
  // before that one.  -1 when no save was made.
  int32_t savedBefore = -1;
  std::vector<int16_t> boxesRemoved;  // layout documents whose working boxes went after the walk
  std::vector<XTItem> workingBoxes;   // the working boxes kept, of every layout
};

struct LayoutLoopOptions {
  // Saves the document before each layout (QuarkDoc::SaveIfInteractive),
  // while no host call failed since `failuresBefore`.
  bool saveEachLayout = false;
  // The host-call failures counted (HostFailureCount) before the export:
  // once one more has failed, the document is not saved any more, since
  // that call may have left a temporary change of the analysis in it (and
  // the command fails).
  uint32_t failuresBefore = HostFailureCount();
  ExportPhases* phases = nullptr;
  // The working boxes of each layout stay after its walk (for a stored copy
  // of the document that carries them), unless the document is saved
  // before the next layout.  afterLast takes care of them; when the loop
  // ends before it, they are deleted.
  bool keepWorkingBoxes = false;
  // Runs after the last layout, with the first layout current again, the
  // highest unique id, the progress indicator of that layout's exporter
  // and the loop so far, before the exporter is deleted.
  std::function<void(int32_t maxUniqueId, ProgressBar* progress, const LayoutLoop& loop)> afterLast;
};


// Every layout of the current project through `output`.  The layout that
// was current at the start is current again at the end, also when the loop
// stopped early.
LayoutLoop ExportLayouts(const RefHandle<QuarkDoc>& document, LayoutOutput& output,
                         std::set<int32_t>* uniqueIds, const LayoutLoopOptions& options);

// Saves the document after its last layout was written (QuarkDoc::Save),
// unless a host call failed since `failuresBefore` (HostFailedSince);
// only when it was saved and `close` is set is the document flagged to
// close when its wrapper is released.  False, with an "ERROR:" line in the
// program log, when it was not saved: the document stays open, and the
// line says what the saves before the layouts of `loop` stored.
bool SaveAfterLastLayout(QuarkDoc& document, bool close, uint32_t failuresBefore, const LayoutLoop& loop);

struct KxtBookOptions {
  bool saveEachLayout = false;   // as LayoutLoopOptions
  uint32_t failuresBefore = HostFailureCount();  // as LayoutLoopOptions
  bool closeDocument = false;    // close the document after it was stored
  ExportPhases* phases = nullptr;
};

struct KxtBookResult {
  LayoutLoop layouts;
  bool stored = false;      // the saved document is in the container
  bool saveFailed = false;  // the save after the last layout failed or was not made
  bool storeFailed = false;  // saved, but its file could not be named to store it
  std::string storeFailure;  // why the document was not stored, when storeFailed
};

// Into `book`: "source_data_type"; a document with "source_platform"; every
// layout through its own Exporter; after the last one "maxuniqID" and the
// document stored as stream 0 with the working boxes of every layout
// (a copy the host writes for that into a file of its own beside the
// document's, which keeps its own file), then the working boxes deleted
// and the document saved (SaveAfterLastLayout) while another thread
// compresses the copy from its file.  Nothing is stored when that save
// fails.  An "ERROR:" line and storeFailed when the copy cannot be saved;
// a failed read of it is raised after the save.
// The container document is released at the end; the book stays the
// caller's.
// A project without layouts gives the properties and an empty document.
KxtBookResult WriteKxtBook(const RefHandle<QuarkDoc>& document,
                           const BX_KXT::Export::Ref<BX_KXT::Export::IBook>& book,
                           std::set<int32_t>* uniqueIds, const KxtBookOptions& options);
