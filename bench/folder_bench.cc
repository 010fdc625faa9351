// One folder conversion (host documents to KXQ) over folders of 10, 100 and
// 1000 generated documents of 20 stories each (tests/common/
// export_document.h), generated afresh for each run, in one process with
// the in-process stand-in host; against one FolderUtils::ProcessConversion
// of the same document in the same run.  No plug-in object is built in
// this process, so the export action itself does not run: the figures are
// what the driver adds per file (its scan entry, the status window, the
// request, the target path and folder, opening the document and closing the
// document the action left open).
//
// Counters: per_doc_ms, the folder conversion's time per document;
// single_ms, one ProcessConversion; x_single, per_doc against single
// (target at most 1.5; and per_doc at 1000 within 1.2x of that at 10);
// left_open, host documents open after the run (must be 0).
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "plugin/conversion/conversion_globals.h"
#include "plugin/conversion/folder_conversion.h"
#include "plugin/conversion/single_conversion.h"
#include "plugin/qapi/quark_doc.h"
#include "support/host_file_spec.h"
#include "tests/common/export_document.h"
#include "tests/common/files.h"
#include "tests/common/temp_dir.h"
#include "tests/plugin/qapi/doc_host_util.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

XTFileSpec SpecOf(const std::string& path) {
  XTFileSpec spec{};
  xt_fsmakefsspec(0, 0, path, spec, true, false, false, nullptr, 0, false, nullptr);
  return spec;
}

void BM_FolderConversion(benchmark::State& state) {
  const int documents = static_cast<int>(state.range(0));
  const std::string document = testutil::ExportDocument(20);
  LogCapture log;
  DocHost host;
  double folderSeconds = 0, singleSeconds = 0;
  for (auto _ : state) {
    testutil::TempDir dir("folder_bench");
    const std::string source = dir.path() + "/src", target = dir.path() + "/T";
    std::filesystem::create_directories(source);
    std::filesystem::create_directories(target);
    for (int i = 0; i < documents; ++i) testutil::WriteFile(source + "/d" + std::to_string(i) + ".qxp", document);
    OverwriteFlags.SetAll(1);
    const auto t0 = std::chrono::steady_clock::now();
    FolderUtils::ProcessConversion(source + "/d0.qxp", target + "/single.kxq", kFileKindQxp, kFileKindKxq);
    const auto t1 = std::chrono::steady_clock::now();
    HostDocFolderSpec() = SpecOf(source);
    KxqFolderSpec = SpecOf(target);
    OverwriteFlags.SetAll(1);
    FolderConversion(HostDocFolderSpec(), KxqFolderSpec, kFileKindQxp, kFileKindKxq, false);
    const auto t2 = std::chrono::steady_clock::now();
    singleSeconds += Seconds(t0, t1);
    folderSeconds += Seconds(t1, t2);
    state.SetIterationTime(Seconds(t1, t2));
  }
  const double n = static_cast<double>(state.iterations());
  const double perDoc = folderSeconds / n / documents;
  state.counters["per_doc_ms"] = 1000 * perDoc;
  state.counters["single_ms"] = 1000 * singleSeconds / n;
  state.counters["x_single"] = perDoc / (singleSeconds / n);
  state.counters["left_open"] = GetDocumentCount();
}

}  // namespace

BENCHMARK(BM_FolderConversion)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

BENCHMARK_MAIN();
