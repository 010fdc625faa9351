// The KXT export's container part without dialogs, over the in-process
// stand-in: book and document properties, every layout of the current
// project through its own Exporter (layout kinds as the export command
// chooses them), "maxuniqID" and the saved document stored after the last
// layout, then the container finished.  Only for tests and benchmarks,
// which may ask for the seconds of each phase.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <set>
#include <string>

#include "plugin/conversion/exporter.h"
#include "plugin/conversion/kxt_export.h"
#include "plugin/conversion/qxp_writer.h"
#include "plugin/qapi/quark_doc.h"
#include "plugin/qapi/ui_host.h"
#include "support/host_link.h"

namespace export_test {

// Seconds: the Mapper's analyses, the story walks writing the elements,
// saving and storing the document, finishing the container.
struct HarnessPhases {
  double analysis = 0, walk = 0, store = 0, finish = 0;
};

class PhaseClock {
 public:
  explicit PhaseClock(double* total) : total_(total) {}
  ~PhaseClock() {
    if (total_ != nullptr) total_[0] += std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }

 private:
  double* total_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

struct HarnessResult {
  int32_t layouts = 0;
  int32_t maxUniqueId = 0;
  bool stored = false;
};

inline HarnessResult ExportCurrentProject(const std::string& target, HarnessPhases* phases = nullptr) {
  HarnessResult result;
  const RefHandle<QuarkDoc> document = RefHandle<QuarkDoc>::Adopt(new QuarkDoc());
  std::set<int32_t> uniqueIds;
  using namespace BX_KXT::Export;
  Ref<IBook> book = CreateExportBook(target.c_str());
  book->AddAttr(u"source_data_type", GetVersionString().c_str());
  Ref<IDoc> doc = book->NewDocument(0);
  doc->AddAttr(u"source_platform", document->PlatformFlag() ? u"mac" : u"win");

  const XTLayoutSuite* layout = XT().lgk2;
  const int16_t initial = GetCurrentDocumentId();
  const XTProject project = QueryCurrentDocument();
  int32_t count = 0;
  if (layout->layout_count(project, &count) != kXTOk) count = 0;
  for (int32_t i = 0; i < count; ++i) {
    XTLayout handle = 0;
    int16_t id = 0;
    uint32_t type = 0;
    if (layout->layout_at(project, i, &handle) != kXTOk || layout->layout_document(handle, &id) != kXTOk) break;
    document->documentId = id;
    document->MakeCurrent();
    std::unique_ptr<Exporter> exporter;
    {
      PhaseClock clock(phases ? &phases->analysis : nullptr);
      exporter = Exporter::Create(document, doc, &uniqueIds);
    }
    if (!exporter) break;
    layout->layout_type(handle, &type);
    exporter->layoutKind = id == initial ? Exporter::kCurrentLayout
                           : type == 0x5857'4542 /* 'XWEB' */ ? Exporter::kWebLayout
                                                             : Exporter::kPrintLayout;
    exporter->layoutIndex = i;
    {
      PhaseClock clock(phases ? &phases->walk : nullptr);
      exporter->Run();
    }
    result.maxUniqueId = std::max(result.maxUniqueId, exporter->highestUniqueId);
    ++result.layouts;
    if (i == count - 1) {
      document->documentId = initial;
      document->MakeCurrent();
      const std::string maxId = std::to_string(result.maxUniqueId);
      book->AddAttr(u"maxuniqID", std::u16string(maxId.begin(), maxId.end()).c_str());
      PhaseClock clock(phases ? &phases->store : nullptr);
      SaveCurrentDocument();
      XTFileSpec spec{};
      if (document->GetFileSpec(spec) == 0) {
        Writer writer(spec, nullptr);
        book->StoreQXP(0, &writer);
        result.stored = true;
      }
    }
  }
  document->documentId = initial;
  document->MakeCurrent();
  PhaseClock clock(phases ? &phases->finish : nullptr);
  doc = nullptr;
  book = nullptr;
  return result;
}

}  // namespace export_test
