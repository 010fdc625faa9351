// The import of generated documents (text boxes of stories of P paragraphs
// of five runs each, default settings) right after their export in the same
// process: the export through the test harness, then the Importer over the
// container's first document into the same, saved, host document.
//
// Counters, averaged over three rounds: export and import (seconds),
// x_export (import against export; target at most 3 for 200 stories), units
// (the container's text units), us_per_unit and calls_per_unit (host entry
// calls of the import per unit).
// Targets: 800 stories at most 4.6 times the time of 200; stories of 160
// paragraphs against stories of 20: calls per unit within 5 %, time per unit
// at most 3 times.
//
// BM_ImportFitting/N: N pages, each with a text box of 100 x 20 pt holding
// "One line only" and a group of two empty boxes (locked on the last page
// only), exported, pseudo-translated (so that every box overflows) and
// imported back with boxes growing, as the main job does.  Counters,
// medians of three rounds: export, import (seconds) and x_export.
// Targets: 4,000 boxes within 5.5 times the time of 1,000 and within 3
// times their own export.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>
#include <memory>
#include <string>

#include "bench/bench_document.h"
#include "tests/plugin/conversion/export_harness.h"
#include "tools/kxtpseudo/kxt_pseudo.h"

namespace {

// `stories` text boxes, four to a one-page spread, each with its own story
// of `paragraphs` paragraphs of five runs (plain and bold by turns); the
// number of text units in *units.
std::string GeneratedDocument(int stories, int paragraphs, int64_t* units) {
  const char* const pieces[5] = {"The quick brown fox ", "jumps", " over the lazy dog ",
                                 "again", " and again."};
  std::string out = R"({"format": "xthost document", "version": 1,
  "fonts": [{"id": 3, "name": "Times"}, {"id": 5, "name": "Arial"}],
  "characterAttributes": [{"font": 3}, {"font": 5, "faces": 1}],
  "styleSheets": [{"id": 1, "kind": "paragraph", "name": "Normal", "record": 0}],
  "paragraphFormats": [{"style": 1}],
  "layouts": [{"name": "Print", "spreads": [)";
  for (int s = 0; s < (stories + 3) / 4; ++s) out += s ? ", {\"pages\": [{}]}" : "{\"pages\": [{}]}";
  out += "]}],\n  \"boxes\": [";
  for (int i = 0; i < stories; ++i) {
    const int top = 36 + (i % 4) * 180;
    out += (i ? ", " : "") + std::string("{\"id\": ") + std::to_string(i + 1) + ", \"story\": " +
           std::to_string(i + 1) + ", \"spread\": " + std::to_string(i / 4 + 1) +
           ", \"bounds\": [36, " + std::to_string(top) + ", 576, " + std::to_string(top + 170) + "]}";
  }
  out += "],\n  \"stories\": [";
  *units = 0;
  for (int i = 0; i < stories; ++i) {
    std::string text, paras, runs;
    for (int p = 0; p < paragraphs; ++p) {
      const bool end = p + 1 < paragraphs;
      int length = 0;
      for (int r = 0; r < 5; ++r) {
        const int n = static_cast<int>(std::char_traits<char>::length(pieces[r])) + (r == 4 && end);
        text += pieces[r];
        runs += std::string(runs.empty() ? "" : ", ") + "[" + std::to_string(r % 2) + ", " +
                std::to_string(n) + "]";
        length += n;
      }
      if (end) text += "\\r";
      paras += std::string(p ? ", " : "") + "[0, " + std::to_string(length) + "]";
      *units += length;
    }
    out += std::string(i ? ",\n    " : "") + "{\"id\": " + std::to_string(i + 1) + ", \"text\": \"" +
           text + "\", \"paragraphs\": [" + paras + "], \"runs\": [" + runs + "]}";
  }
  return out + "]}\n";
}

double Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_Import(benchmark::State& state) {
  const int stories = static_cast<int>(state.range(0));
  const int paragraphs = static_cast<int>(state.range(1));
  int64_t units = 0;
  const std::string text = GeneratedDocument(stories, paragraphs, &units);
  double exported = 0, imported = 0;
  uint64_t calls = 0;
  for (auto _ : state) {
    bench::OpenDocument open(text);
    const std::string& target = open.target;
    auto start = std::chrono::steady_clock::now();
    if (!export_test::ExportCurrentProject(target).stored) state.SkipWithError("not stored");
    exported += Since(start);

    start = std::chrono::steady_clock::now();
    const uint64_t before = open.host.host().EntryCalls();
    if (!bench::ImportContainer(target)) state.SkipWithError("a story was not imported");
    calls += open.host.host().EntryCalls() - before;
    imported += Since(start);
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["export"] = exported / n;
  state.counters["import"] = imported / n;
  state.counters["x_export"] = imported / exported;
  state.counters["units"] = static_cast<double>(units);
  state.counters["us_per_unit"] = imported / n / static_cast<double>(units) * 1e6;
  state.counters["calls_per_unit"] = static_cast<double>(calls) / n / static_cast<double>(units);
}
BENCHMARK(BM_Import)
    ->Args({200, 20})
    ->Args({800, 20})
    ->Args({25, 160})
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

// `pages` one-page spreads, each with a text box of 100 x 20 pt whose
// story is "One line only" and a group of two empty boxes, locked on the
// last page only.
std::string FittingDocument(int pages) {
  std::string out = R"({"format": "xthost document", "version": 1,
  "styleSheets": [{"id": 1, "kind": "paragraph", "name": "Normal", "record": 0}],
  "paragraphFormats": [{"style": 1}],
  "layouts": [{"name": "Print", "spreads": [)";
  for (int s = 0; s < pages; ++s) out += s ? ", {\"pages\": [{}]}" : "{\"pages\": [{}]}";
  out += "]}],\n  \"boxes\": [";
  std::string stories;
  for (int i = 0; i < pages; ++i) {
    const std::string spread = ", \"spread\": " + std::to_string(i + 1);
    const int id = 4 * i + 1;
    out += std::string(i ? ",\n    " : "") + "{\"id\": " + std::to_string(id) + ", \"story\": " +
           std::to_string(i + 1) + spread + ", \"bounds\": [36, 36, 136, 56]}, {\"id\": " +
           std::to_string(id + 1) + ", \"kind\": \"group\"" + spread + ", \"bounds\": [200, 200, 300, 300]" +
           (i + 1 == pages ? ", \"locked\": true}" : "}");
    for (int m = 2; m <= 3; ++m) {
      out += ", {\"id\": " + std::to_string(id + m) + ", \"kind\": \"empty\", \"group\": " +
             std::to_string(id + 1) + spread + ", \"bounds\": [200, " + std::to_string(100 + 100 * m) +
             ", 300, " + std::to_string(150 + 100 * m) + "]}";
    }
    stories += std::string(i ? ",\n    " : "") + "{\"id\": " + std::to_string(i + 1) +
               R"(, "text": "One line only", "paragraphs": [[0, 13]], "runs": [[0, 13]]})";
  }
  return out + "],\n  \"stories\": [" + stories + "]}\n";
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

void BM_ImportFitting(benchmark::State& state) {
  const std::string text = FittingDocument(static_cast<int>(state.range(0)));
  std::vector<double> exported, imported;
  for (auto _ : state) {
    bench::OpenDocument open(text);
    const std::string& target = open.target;
    auto start = std::chrono::steady_clock::now();
    if (!export_test::ExportCurrentProject(target).stored) state.SkipWithError("not stored");
    exported.push_back(Since(start));
    const std::string translated = open.host.Path("translated.kxq");
    kxtpseudo::PseudoTranslate(target, translated, false);
    start = std::chrono::steady_clock::now();
    if (!bench::ImportContainer(translated, true)) state.SkipWithError("a story was not imported");
    imported.push_back(Since(start));
  }
  state.counters["export"] = Median(exported);
  state.counters["import"] = Median(imported);
  state.counters["x_export"] = Median(imported) / Median(exported);
}
BENCHMARK(BM_ImportFitting)->Arg(1000)->Arg(4000)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
