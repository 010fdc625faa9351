#include "plugin/conversion/export_layouts.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <memory>
#include <ostream>
#include <string>

#include "plugin/conversion/exporter.h"
#include "plugin/conversion/qxp_writer.h"
#include "plugin/qapi/ui_host.h"
#include "support/host_link.h"
#include "support/host_result.h"
#include "support/program_log.h"

namespace {

constexpr uint32_t kWebLayoutType = 0x5857'4542;  // 'XWEB'

// Adds the seconds of its lifetime to *total (when given).
class PhaseClock {
 public:
  explicit PhaseClock(double* total) : total_(total) {}
  ~PhaseClock() {
    if (total_ != nullptr) {
      *total_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }
  }
  PhaseClock(const PhaseClock&) = delete;
  PhaseClock& operator=(const PhaseClock&) = delete;

 private:
  double* total_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

double* Phase(ExportPhases* phases, double ExportPhases::*phase) {
  return phases != nullptr ? &(phases->*phase) : nullptr;
}

// Makes the document id `id` current on the wrapper and in the host.
void MakeLayoutCurrent(QuarkDoc& document, int16_t id) {
  document.documentId = id;
  document.MakeCurrent();
}

// Makes the first layout current again when the loop ends, however it ends.
class InitialLayout {
 public:
  explicit InitialLayout(QuarkDoc& document) : document_(document), id_(GetCurrentDocumentId()) {}
  ~InitialLayout() { MakeLayoutCurrent(document_, id_); }
  InitialLayout(const InitialLayout&) = delete;
  InitialLayout& operator=(const InitialLayout&) = delete;
  int16_t id() const { return id_; }

 private:
  QuarkDoc& document_;
  int16_t id_;
};

// Deletes the output's exporter when the layout is done, however it ends;
// while an exception unwinds, a second one from the exporter is dropped.
class ExporterScope {
 public:
  explicit ExporterScope(LayoutOutput& output) : output_(output) {}
  ~ExporterScope() noexcept(false) {
    if (std::uncaught_exceptions() == unwinding_) {
      output_.Release();
      return;
    }
    try {
      output_.Release();
    } catch (...) {
    }
  }
  ExporterScope(const ExporterScope&) = delete;
  ExporterScope& operator=(const ExporterScope&) = delete;

 private:
  LayoutOutput& output_;
  int unwinding_ = std::uncaught_exceptions();
};

void RunExporter(Exporter& exporter) { exporter.Run(); }

// One Exporter per layout, writing into the container document.
using KxtLayouts = ExporterLayouts<Exporter, BX_KXT::Export::Ref<BX_KXT::Export::IDoc>, RunExporter>;

}  // namespace

LayoutLoop ExportLayouts(const RefHandle<QuarkDoc>& document, LayoutOutput& output,
                         std::set<int32_t>* uniqueIds, const LayoutLoopOptions& options) {
  LayoutLoop loop;
  const InitialLayout initial(*document);
  const XTLayoutSuite* layouts = XT().lgk2;
  const XTProject project = QueryCurrentDocument();
  if (layouts == nullptr || HostCall("layout_count", layouts->layout_count(project, &loop.count)) != kXTOk) {
    loop.count = 0;
  }
  for (int32_t i = 0; i < loop.count; ++i) {
    XTLayout layout = 0;
    int16_t id = 0;
    if (HostCall("layout_at", layouts->layout_at(project, i, &layout)) != kXTOk ||
        HostCall("layout_document", layouts->layout_document(layout, &id)) != kXTOk) {
      break;
    }
    if (options.saveEachLayout && HostFailureCount() == options.failuresBefore) document->SaveIfInteractive();
    MakeLayoutCurrent(*document, id);
    const ExporterScope scope(output);
    bool made = false;
    {
      const PhaseClock clock(Phase(options.phases, &ExportPhases::analysis));
      made = output.Create(document, uniqueIds);
    }
    if (!made) {
      loop.invalid = true;
      break;
    }
    uint32_t type = 0;
    const int32_t kind =
        id == initial.id() ? Exporter::kCurrentLayout
        : HostCall("layout_type", layouts->layout_type(layout, &type)) == kXTOk && type == kWebLayoutType
            ? Exporter::kWebLayout
            : Exporter::kPrintLayout;
    {
      const PhaseClock clock(Phase(options.phases, &ExportPhases::walk));
      loop.maxUniqueId = std::max(loop.maxUniqueId, output.Run(kind, i));
    }
    ++loop.written;
    if (i == loop.count - 1) {
      MakeLayoutCurrent(*document, initial.id());
      if (options.afterLast) options.afterLast(loop.maxUniqueId, output.Progress());
    }
  }
  return loop;
}

bool SaveAfterLastLayout(QuarkDoc& document, bool close, uint32_t failuresBefore) {
  if (HostFailureCount() != failuresBefore) {
    ProgramLog() << "ERROR: a host call failed during the export; the document is not saved and stays open"
                 << std::endl;
    return false;
  }
  if (!document.Save()) {
    ProgramLog() << "ERROR: the document could not be saved after its last layout; it stays open"
                 << std::endl;
    return false;
  }
  if (close) document.windowFlag = true;
  return true;
}

KxtBookResult WriteKxtBook(const RefHandle<QuarkDoc>& document,
                           const BX_KXT::Export::Ref<BX_KXT::Export::IBook>& book,
                           std::set<int32_t>* uniqueIds, const KxtBookOptions& options) {
  using namespace BX_KXT::Export;
  KxtBookResult result;
  book->AddAttr(u"source_data_type", GetVersionString().c_str());
  Ref<IDoc> doc = book->NewDocument(0);
  doc->AddAttr(u"source_platform", document->PlatformFlag() ? u"mac" : u"win");
  {
    KxtLayouts output(doc);
    LayoutLoopOptions loop;
    loop.saveEachLayout = options.saveEachLayout;
    loop.failuresBefore = options.failuresBefore;
    loop.phases = options.phases;
    loop.afterLast = [&](int32_t maxUniqueId, ProgressBar* progress) {
      const std::string text = std::to_string(maxUniqueId);
      book->AddAttr(u"maxuniqID", std::u16string(text.begin(), text.end()).c_str());
      const PhaseClock clock(Phase(options.phases, &ExportPhases::store));
      if (!SaveAfterLastLayout(*document, options.closeDocument, options.failuresBefore)) {
        result.saveFailed = true;
        return;
      }
      XTFileSpec spec{};
      if (document->GetFileSpec(spec) != 0) {
        ProgramLog() << "ERROR: the saved document's file spec could not be had; it is not stored"
                     << std::endl;
        result.storeFailed = true;
        return;
      }
      Writer writer(spec, progress);
      book->StoreQXP(0, &writer);
      result.stored = true;
    };
    result.layouts = ExportLayouts(document, output, uniqueIds, loop);
  }
  const PhaseClock clock(Phase(options.phases, &ExportPhases::finish));
  doc = nullptr;
  return result;
}
