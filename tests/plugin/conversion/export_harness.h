// The KXT export's container part without dialogs, over the in-process
// stand-in: WriteKxtBook (the steps the export command runs) into a new
// container at `target`, then the container finished.  The document is
// saved after its last layout and stays open.  Only for tests and
// benchmarks, which may ask for the seconds of each phase.
#pragma once

#include <chrono>
#include <cstdint>
#include <set>
#include <string>

#include "plugin/conversion/export_layouts.h"
#include "plugin/conversion/kxt_export.h"
#include "plugin/qapi/quark_doc.h"

namespace export_test {

using HarnessPhases = ExportPhases;

struct HarnessResult {
  int32_t layouts = 0;
  int32_t maxUniqueId = 0;
  bool stored = false;
};

inline HarnessResult ExportCurrentProject(const std::string& target, HarnessPhases* phases = nullptr) {
  const RefHandle<QuarkDoc> document = RefHandle<QuarkDoc>::Adopt(new QuarkDoc());
  std::set<int32_t> uniqueIds;
  BX_KXT::Export::Ref<BX_KXT::Export::IBook> book = BX_KXT::Export::CreateExportBook(target.c_str());
  KxtBookOptions options;
  options.phases = phases;
  const KxtBookResult written = WriteKxtBook(document, book, &uniqueIds, options);
  const auto start = std::chrono::steady_clock::now();
  book = nullptr;
  if (phases != nullptr) phases->finish += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  HarnessResult result;
  result.layouts = written.layouts.written;
  result.maxUniqueId = written.layouts.maxUniqueId;
  result.stored = written.stored;
  return result;
}

}  // namespace export_test
