// The XTags file of a generated document of 200 stories whose tags are
// about 100 kB each (tests/common/export_document.h, 940 paragraphs a
// story): ExporterKrm::WriteFile, that is ExportToTag of every story
// through the host's filter and the KRM writing, against its floor in the
// same run: the host's filter writing each story's tags to memory, one
// table decode from Windows-1252 and one fwrite of the UTF-16 units.
//
// Counters (seconds): analysis (building the exporter), krm (WriteFile),
// floor; x_floor = krm / floor (target at most 1.5); tags_kb, the mean
// size of a story's tags.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <set>
#include <string>

#include "host/document_ops.h"
#include "host/text_export.h"
#include "platform/win/code_pages.h"
#include "plugin/conversion/exporter_krm.h"
#include "tests/common/export_document.h"
#include "tests/plugin/mixer/mixer_host_util.h"

namespace {

double Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_XTagsFile(benchmark::State& state) {
  const int stories = static_cast<int>(state.range(0));
  const std::string text = testutil::ExportDocument(stories, 940);
  double analysis = 0, krm = 0, floor = 0, tagBytes = 0;
  for (auto _ : state) {
    MixerHost host;
    static XTRegisterRec record = xthost::MakeRegisterRec();
    XT().registration = &record;
    host.OpenText("generated.qxp", text);
    const std::string path = host.Path("generated.krm");

    // The floor: the filter into memory, a table decode, one fwrite.
    auto start = std::chrono::steady_clock::now();
    {
      std::FILE* file = std::fopen(host.Path("floor.krm").c_str(), "wb");
      for (const xthost::Story& story : host.content().stories) {
        const std::string tags = xthost::TagNotation(host.content(), story, xthost::kTextWindows1252, true);
        std::u16string units;
        win::MultiByteToWide(win::kCodePageWestern, tags.data(), tags.size(), units);
        std::fwrite(units.data(), sizeof(char16_t), units.size(), file);
        tagBytes += static_cast<double>(tags.size());
      }
      std::fclose(file);
    }
    floor += Since(start);

    std::set<int32_t> ids;
    std::ofstream bytes(path, std::ios::binary | std::ios::trunc);
    WideTextStream out(bytes);
    WriteKrmHeader(out, "/generated.qxp");
    start = std::chrono::steady_clock::now();
    std::unique_ptr<ExporterKrm> exporter =
        ExporterKrm::Create(RefHandle<QuarkDoc>::Adopt(new QuarkDoc()), &out, &ids);
    analysis += Since(start);
    start = std::chrono::steady_clock::now();
    exporter->WriteFile();
    krm += Since(start);
    if (!out.good()) state.SkipWithError("the XTags file was not written whole");
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["analysis"] = analysis / n;
  state.counters["krm"] = krm / n;
  state.counters["floor"] = floor / n;
  state.counters["x_floor"] = krm / floor;
  state.counters["tags_kb"] = tagBytes / n / stories / 1000;
}

}  // namespace

BENCHMARK(BM_XTagsFile)->Arg(200)->Iterations(3)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
