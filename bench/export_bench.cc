// The export of generated documents of 2,000 and 10,000 stories of 10
// paragraphs (tests/common/export_document.h) through the test harness,
// against its floor in the same run: the same element tree, read back from
// the export beforehand, written straight through the version-2 element
// model, with the same saved document deflated (level -1, window 15, memory
// level 8) into the same stream beside it.
//
// Counters, medians of five rounds after one not counted (seconds):
// analysis, walk (story walk writing the elements), store (saving and
// storing the document), finish (completing the container); floor_write
// and floor_store; x_floor, the export without its
// analysis against the floor (target at most 1.5), and x_floor_all with
// it; peak_mb, the peak resident memory so far, and container_mb.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <zlib.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/ole_storage.h"
#include "framework/ole_stream.h"
#include "kxt/book.h"
#include "kxt/element_model.h"
#include "kxt/kxt_storage.h"
#include "bench/bench_document.h"
#include "tests/common/bench_timing.h"
#include "tests/common/export_document.h"
#include "tests/common/files.h"
#include "tests/kxt/element_model_util.h"
#include "tests/plugin/conversion/export_harness.h"

namespace {

using namespace element_test;

void PutAttrs(KXT_ProcessorWithAttrs_Out2& element, const Attrs& attrs, KXT_StringsMap& map) {
  if (attrs.empty()) return;
  Fill(element.AttrsSet(), attrs, map);
  element.SaveAttrsSet("Attrs{}");
}

void WriteRun(KXT_Paragraph_Out2& para, int32_t index, const Run& rm, KXT_StringsMap& map) {
  KXT_Handle<KXT_OutFolder2> folder = para.CreateTextRun(index, "TextRun[]/");
  const char* item = ItemName(rm.kind);
  auto finish = [&](KXT_TextRun_Out2& run) {
    if (rm.style) run.SaveStyleRef(*rm.style, "StyleRef");
    PutAttrs(run, rm.attrs, map);
  };
  switch (rm.kind) {
    case RunKind::kUnicodes: {
      KXT_UnicodesRun_Out2 run(folder);
      PutAll(*run.CreateUnicodes(item), reinterpret_cast<const unsigned short*>(rm.units.data()), rm.units.size());
      finish(run);
      break;
    }
    case RunKind::kSpecialChars: {
      KXT_SpecialCharsRun_Out2 run(folder);
      PutRecords(*run.CreateSpecialChars(item), rm.kind, rm.records);
      finish(run);
      break;
    }
    case RunKind::kRefPoints: {
      KXT_RefPointsRun_Out2 run(folder);
      PutRecords(*run.CreateRefPoints(item), rm.kind, rm.records);
      finish(run);
      break;
    }
    case RunKind::kPlaceHolders: {
      KXT_PlaceHoldersRun_Out2 run(folder);
      PutRecords(*run.CreatePlaceHolders(item), rm.kind, rm.records);
      finish(run);
      break;
    }
    default:
      throw std::runtime_error("no such run in an export");
  }
}

// Deflates `data` as the export stores a document.
void StoreDeflated(OLEStorage& templates, const std::string& data) {
  OLEStream stream(templates, u"0", kOLECreate);
  z_stream z{};
  if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw std::runtime_error("deflateInit2");
  }
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  unsigned char out[1 << 16];
  int status = Z_OK;
  while (status != Z_STREAM_END) {
    z.next_out = out;
    z.avail_out = sizeof out;
    status = deflate(&z, Z_FINISH);
    stream.PutData(out, static_cast<uint32_t>(sizeof out - z.avail_out));
  }
  deflateEnd(&z);
}

// The floor: the element tree written straight, the document beside it.
void WriteFloor(const Book& model, const std::string& saved, const std::string& path, double* write,
                double* store) {
  const auto start = std::chrono::steady_clock::now();
  OLEStorage root(path.c_str(), kOLECreate);
  KXT_Handle<KXT_OutStorage2> storage(CreateKXT2(root, false));
  {
    KXT_Book_Out2 book(storage->CreateKXTFolder2());
    KXT_StringsMap& map = book.StringsMap();
    for (const auto& a : model.attrs) {
      const char16_t* old = book.AttrsSet().GetAttrValue(a.first.c_str(), map);
      if (old == nullptr || a.second != old) book.AttrsSet().AddAttr(a.first.c_str(), a.second.c_str(), map);
    }
    book.SaveAttrsSet("Attrs{}");
    KXT_DocumentsSet_Out2 docs(book.CreateDocumentsSet("DocumentsSet/"), "Document[]/");
    const Document& dm = model.documents.at(0);
    KXT_Document_Out2 doc(docs.CreateElement(0));
    PutAttrs(doc, dm.attrs, map);
    KXT_StoriesSet_Out2 stories(doc.CreateStoriesSet("StoriesSet/"), "Story[]/");
    for (size_t s = 0; s < dm.stories.size(); ++s) {
      const Story& sm = dm.stories[s];
      KXT_Story_Out2 story(stories.CreateElement(static_cast<int32_t>(s)));
      PutAttrs(story, sm.attrs, map);
      KXT_ParagraphsSet_Out2 paras(story.CreateParagraphsSet("ParagraphsSet/"), "Paragraph[]/");
      for (size_t p = 0; p < sm.paragraphs.size(); ++p) {
        const Paragraph& pm = sm.paragraphs[p];
        KXT_Paragraph_Out2 para(paras.CreateElement(static_cast<int32_t>(p)));
        if (pm.style) para.SaveStyleRef(*pm.style, "StyleRef");
        PutAttrs(para, pm.attrs, map);
        for (size_t r = 0; r < pm.runs.size(); ++r) WriteRun(para, static_cast<int32_t>(r), pm.runs[r], map);
      }
    }
    const auto stored = std::chrono::steady_clock::now();
    OLEStorage templates(*storage->PrivateData(), u"BrenixExportTemplates", kOLECreate);
    StoreDeflated(templates, saved);
    *store = std::chrono::duration<double>(std::chrono::steady_clock::now() - stored).count();
  }
  storage.reset();
  *write = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() - *store;
}

double PeakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;
}

// The seconds of one export and of its floor.
struct Round {
  export_test::HarnessPhases phases;
  double floorWrite = 0, floorStore = 0, containerMb = 0;
  double Exported() const { return phases.walk + phases.store + phases.finish; }
  double Floor() const { return floorWrite + floorStore; }
};

bool ExportAndFloor(const std::string& text, Round* round) {
  bench::OpenDocument open(text);
  const std::string& target = open.target;
  const export_test::HarnessResult result = export_test::ExportCurrentProject(target, &round->phases);
  round->containerMb = std::filesystem::file_size(target) / 1048576.0;

  const Book model = ReadV2(target);
  const std::string saved = testutil::ReadFile(open.host.Path("generated.qxp"));
  WriteFloor(model, saved, open.host.Path("floor.kxq"), &round->floorWrite, &round->floorStore);
  return result.stored;
}

void BM_Export(benchmark::State& state) {
  const int stories = static_cast<int>(state.range(0));
  const std::string text = testutil::ExportDocument(stories);
  // A first round, not counted, so that the export does not pay alone for
  // the process's first touch of the memory both sides then reuse.
  Round warmUp;
  ExportAndFloor(text, &warmUp);
  // The counters are medians over the rounds, so one disturbed round on a
  // shared machine does not decide the figures.
  std::vector<Round> rounds;
  for (auto _ : state) {
    rounds.emplace_back();
    if (!ExportAndFloor(text, &rounds.back())) state.SkipWithError("the document was not stored");
  }
  const auto median = [&rounds](double (*of)(const Round&)) {
    std::vector<double> values;
    for (const Round& r : rounds) values.push_back(of(r));
    return testutil::Median(values);
  };
  state.counters["analysis"] = median([](const Round& r) { return r.phases.analysis; });
  state.counters["walk"] = median([](const Round& r) { return r.phases.walk; });
  state.counters["store"] = median([](const Round& r) { return r.phases.store; });
  state.counters["finish"] = median([](const Round& r) { return r.phases.finish; });
  state.counters["floor_write"] = median([](const Round& r) { return r.floorWrite; });
  state.counters["floor_store"] = median([](const Round& r) { return r.floorStore; });
  state.counters["x_floor"] = median([](const Round& r) { return r.Exported() / r.Floor(); });
  state.counters["x_floor_all"] = median([](const Round& r) { return (r.Exported() + r.phases.analysis) / r.Floor(); });
  state.counters["peak_mb"] = PeakMegabytes();
  state.counters["container_mb"] = rounds.empty() ? 0 : rounds.back().containerMb;
}
BENCHMARK(BM_Export)->Arg(2000)->Arg(10000)->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
