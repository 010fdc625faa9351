// One folder conversion (host documents to KXQ) over folders of 10, 100 and
// 1000 generated documents of 20 stories each (tests/common/
// export_document.h), generated afresh for each run, in one process: the
// stand-in host with the plug-in object started, MultiDoc mode on, so the
// export action really runs for every file; against one
// FolderUtils::ProcessConversion of the same document in the same run.
//
// Counters: per_doc_ms, the folder conversion's time per document;
// single_ms, one ProcessConversion; x_single, per_doc against single
// (target at most 1.5; and per_doc at 1000 within 1.2x of that at 10);
// per_doc_cpu_ms, single_cpu_ms and x_single_cpu, the same in the process's
// CPU time, which a busy machine disturbs less than the wall clock;
// converted, the containers written per run (must be the folder's size);
// max_open, the most host documents open at once during the run, read from
// the transcript (must be 1: no document is left open between files);
// left_open, documents open after the run (must be 0).
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "host/host.h"
#include "plugin/conversion/conversion_globals.h"
#include "plugin/conversion/folder_conversion.h"
#include "plugin/conversion/single_conversion.h"
#include "plugin/qapi/ui_resources.h"
#include "plugin/xtension/entry.h"
#include "support/brenix_interface.h"
#include "support/host_file_spec.h"
#include "support/program_log.h"
#include "tests/common/export_document.h"
#include "tests/common/files.h"
#include "tests/common/temp_dir.h"

namespace {

namespace fs = std::filesystem;

// The session every benchmark shares: its own folder as the current folder
// (settings, program log, registry), the host with the plug-in started.
struct BenchSession {
  testutil::TempDir folder{"folder_bench"};
  std::ostringstream transcript;
  std::ostringstream log;
  std::unique_ptr<xthost::Host> host;

  BenchSession() {
    if (chdir(folder.path().c_str()) != 0) throw std::runtime_error("cannot enter " + folder.path());
    setenv("BRENIX_REGISTRY_ROOT", folder.File("registry").c_str(), 1);
    fs::create_directories("XTensions");
    ProgramLog().rdbuf(log.rdbuf());
    xthost::HostOptions options;
    options.transcript = &transcript;
    host = std::make_unique<xthost::Host>(std::move(options));
    host->ui().SetLinkedResources(&XTDialogResources);
    host->StartLinked("brenix", XTActivateCallback);
    const bool on = true;
    BrenixInterface::Instance()->SetMultiDocMode(on);
  }
  ~BenchSession() {
    host->Quit();
    host.reset();
    if (chdir("/") != 0) std::perror("chdir");
  }
  BenchSession(const BenchSession&) = delete;
  BenchSession& operator=(const BenchSession&) = delete;

  // Drops what the transcript and the log hold so far.
  void Clear() {
    transcript.str("");
    log.str("");
  }
};

BenchSession* session = nullptr;

double Seconds(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

// The CPU time the process has used so far, in seconds.
double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
}

XTFileSpec SpecOf(const std::string& path) {
  XTFileSpec spec{};
  xt_fsmakefsspec(0, 0, path, spec, true, false, false, nullptr, 0, false, nullptr);
  return spec;
}

// The most documents open at once, from the transcript's open and close lines.
int MostOpen(const std::string& transcript) {
  std::istringstream lines(transcript);
  int open = 0, most = 0;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("open document ", 0) == 0 && line.find(" already open") == std::string::npos) {
      most = std::max(most, ++open);
    } else if (line.rfind("close document ", 0) == 0) {
      --open;
    }
  }
  return most;
}

int Containers(const std::string& folder) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator(folder)) count += entry.path().extension() == ".kxq";
  return count;
}

void BM_FolderConversion(benchmark::State& state) {
  const int documents = static_cast<int>(state.range(0));
  const std::string document = testutil::ExportDocument(20);
  double folderSeconds = 0, singleSeconds = 0, folderCpu = 0, singleCpu = 0;
  int converted = 0, mostOpen = 0;
  for (auto _ : state) {
    testutil::TempDir dir("folder_bench_run");
    const std::string source = dir.path() + "/src", target = dir.path() + "/T", single = dir.path() + "/S";
    for (const std::string& folder : {source, target, single}) fs::create_directories(folder);
    for (int i = 0; i < documents; ++i) testutil::WriteFile(source + "/d" + std::to_string(i) + ".qxp", document);
    session->Clear();
    const double c0 = CpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    const bool one = FolderUtils::ProcessConversion(source + "/d0.qxp", single + "/d0.kxq", kFileKindQxp,
                                                    kFileKindKxq);
    const auto t1 = std::chrono::steady_clock::now();
    const double c1 = CpuSeconds();
    HostDocFolderSpec() = SpecOf(source);
    KxqFolderSpec = SpecOf(target);
    OverwriteFlags.SetAll(1);
    FolderConversion(HostDocFolderSpec(), KxqFolderSpec, kFileKindQxp, kFileKindKxq, false);
    const auto t2 = std::chrono::steady_clock::now();
    const double c2 = CpuSeconds();
    singleCpu += c1 - c0;
    folderCpu += c2 - c1;
    if (!one) state.SkipWithError("ProcessConversion failed");
    singleSeconds += Seconds(t0, t1);
    folderSeconds += Seconds(t1, t2);
    state.SetIterationTime(Seconds(t1, t2));
    converted = Containers(target);
    mostOpen = std::max(mostOpen, MostOpen(session->transcript.str()));
  }
  const double n = static_cast<double>(state.iterations());
  const double perDoc = folderSeconds / n / documents;
  state.counters["per_doc_ms"] = 1000 * perDoc;
  state.counters["single_ms"] = 1000 * singleSeconds / n;
  state.counters["x_single"] = perDoc / (singleSeconds / n);
  const double perDocCpu = folderCpu / n / documents;
  state.counters["per_doc_cpu_ms"] = 1000 * perDocCpu;
  state.counters["single_cpu_ms"] = 1000 * singleCpu / n;
  state.counters["x_single_cpu"] = perDocCpu / (singleCpu / n);
  state.counters["converted"] = converted;
  state.counters["max_open"] = mostOpen;
  state.counters["left_open"] = static_cast<double>(session->host->app().documents.size());
  if (converted != documents) state.SkipWithError("not every document was converted");
}

}  // namespace

BENCHMARK(BM_FolderConversion)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  BenchSession shared;
  session = &shared;
  benchmark::RunSpecifiedBenchmarks();
  session = nullptr;
  benchmark::Shutdown();
  return 0;
}
