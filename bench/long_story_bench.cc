// Export and import of long stories against the same text in many short
// ones, side by side in one run (tests/common/long_story_document.h):
//
// BM_Chain/N: one story linked through N boxes, one a page ("chain"),
// against N pages with a box and a story each ("pages"), and both again at
// 2N, each exported and imported back.  Counters (seconds, medians of three
// rounds): chain, pages, chain_2n, pages_2n for the export and import_chain,
// import_pages, import_chain_2n, import_pages_2n for the import; x_pages and
// x_import_pages, chain against pages (target at most 3); x_double,
// x_double_pages and x_import_double, the time at 2N against N (target at
// most 2.3).
//
// BM_LongStory/C: one story of C units in 100-unit paragraphs ("story")
// against the same paragraphs in C / 100 stories ("stories"), exported
// through the test harness and imported back into the same document, and
// both again at 2C.  Counters: export, import, export_stories,
// import_stories; x_export and x_import, the story against the stories
// (target at most 3); x_double_export and x_double_import, the story's
// time at 2C against C (target at most 2.3).
//
// BM_LongImport/C: the import of one story of C, 2C, 4C and 8C units
// (import_1, import_2, import_4, import_8; medians of three rounds);
// x_8, 8C against C (target at most 9.6), and x_double, the largest step
// from one size to the next (target at most 2.3); the same for the
// process's CPU time (cpu_1 to cpu_8, x_8_cpu, x_double_cpu).
//
// Every import grows overflowing boxes, as the main job's settings have it.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_document.h"
#include "tests/common/bench_timing.h"
#include "tests/common/long_story_document.h"
#include "tests/plugin/conversion/export_harness.h"

namespace {

double Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct Times {
  double exported = 0;
  double imported = 0;
  double import_cpu = 0;  // the process's CPU seconds
};

// Exports `text` as a document and, when `import`, imports the container
// back into the same document.
Times ExportAndImport(const std::string& text, bool import) {
  bench::OpenDocument open(text);
  const std::string& target = open.target;
  Times times;
  auto start = std::chrono::steady_clock::now();
  testutil::Require(export_test::ExportCurrentProject(target).stored, "the document was not stored");
  times.exported = Since(start);
  if (!import) return times;
  start = std::chrono::steady_clock::now();
  const std::clock_t cpu = std::clock();
  testutil::Require(bench::ImportContainer(target, true), "a story was not imported");
  times.import_cpu = static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC;
  times.imported = Since(start);
  return times;
}

using Rounds = std::vector<std::vector<double>>;  // per round, the figures

double MedianOf(const Rounds& rounds, const std::function<double(const std::vector<double>&)>& of) {
  std::vector<double> values;
  for (const std::vector<double>& r : rounds) values.push_back(of(r));
  return testutil::Median(values);
}

void BM_Chain(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::string texts[4] = {testutil::ChainedDocument(n, true), testutil::ChainedDocument(n, false),
                                testutil::ChainedDocument(2 * n, true),
                                testutil::ChainedDocument(2 * n, false)};
  Rounds rounds;  // per text its export, then per text its import
  for (auto _ : state) {
    rounds.emplace_back(8);
    for (int i = 0; i < 4; ++i) {
      const Times times = ExportAndImport(texts[i], true);
      rounds.back()[static_cast<std::size_t>(i)] = times.exported;
      rounds.back()[static_cast<std::size_t>(4 + i)] = times.imported;
    }
  }
  const char* names[8] = {"chain",        "pages",        "chain_2n",        "pages_2n",
                          "import_chain", "import_pages", "import_chain_2n", "import_pages_2n"};
  for (std::size_t i = 0; i < 8; ++i) {
    state.counters[names[i]] = MedianOf(rounds, [i](const std::vector<double>& r) { return r[i]; });
  }
  // Ratios of figures `a` against `b`, from the export (0) or the import (4).
  auto ratio = [&](std::size_t a, std::size_t b) {
    return MedianOf(rounds, [a, b](const std::vector<double>& r) { return r[a] / r[b]; });
  };
  state.counters["x_pages"] = ratio(0, 1);
  state.counters["x_double"] = ratio(2, 0);
  state.counters["x_double_pages"] = ratio(3, 1);
  state.counters["x_import_pages"] = ratio(4, 5);
  state.counters["x_import_double"] = ratio(6, 4);
}
BENCHMARK(BM_Chain)->Arg(625)->Arg(2000)->Arg(8000)->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_LongStory(benchmark::State& state) {
  const int paragraphs = static_cast<int>(state.range(0) / 100);
  const std::string texts[3] = {testutil::LongStoryDocument(paragraphs, 1),
                                testutil::LongStoryDocument(paragraphs, paragraphs),
                                testutil::LongStoryDocument(2 * paragraphs, 1)};
  Rounds rounds;  // story export, import; stories export, import; 2C export, import
  for (auto _ : state) {
    rounds.emplace_back();
    for (const std::string& text : texts) {
      const Times times = ExportAndImport(text, true);
      rounds.back().push_back(times.exported);
      rounds.back().push_back(times.imported);
    }
  }
  const char* names[6] = {"export", "import", "export_stories", "import_stories", "export_2c", "import_2c"};
  for (int i = 0; i < 6; ++i) {
    state.counters[names[i]] = MedianOf(rounds, [i](const std::vector<double>& r) { return r[i]; });
  }
  state.counters["x_export"] = MedianOf(rounds, [](const std::vector<double>& r) { return r[0] / r[2]; });
  state.counters["x_import"] = MedianOf(rounds, [](const std::vector<double>& r) { return r[1] / r[3]; });
  state.counters["x_double_export"] =
      MedianOf(rounds, [](const std::vector<double>& r) { return r[4] / r[0]; });
  state.counters["x_double_import"] =
      MedianOf(rounds, [](const std::vector<double>& r) { return r[5] / r[1]; });
}
BENCHMARK(BM_LongStory)->Arg(250000)->Arg(1000000)->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_LongImport(benchmark::State& state) {
  const int paragraphs = static_cast<int>(state.range(0) / 100);
  std::vector<std::string> texts;
  for (int times = 1; times <= 8; times *= 2) texts.push_back(testutil::LongStoryDocument(times * paragraphs, 1));
  Rounds rounds;  // per round the wall times, then the CPU times
  for (auto _ : state) {
    rounds.emplace_back(8);
    for (std::size_t i = 0; i < 4; ++i) {
      const Times times = ExportAndImport(texts[i], true);
      rounds.back()[i] = times.imported;
      rounds.back()[4 + i] = times.import_cpu;
    }
  }
  const char* names[8] = {"import_1", "import_2", "import_4", "import_8", "cpu_1", "cpu_2", "cpu_4", "cpu_8"};
  for (std::size_t i = 0; i < 8; ++i) {
    state.counters[names[i]] = MedianOf(rounds, [i](const std::vector<double>& r) { return r[i]; });
  }
  for (const std::size_t f : {std::size_t{0}, std::size_t{4}}) {  // the wall times, the CPU times
    const std::string suffix = f == 0 ? "" : "_cpu";
    state.counters["x_8" + suffix] = MedianOf(rounds, [f](const std::vector<double>& r) { return r[f + 3] / r[f]; });
    state.counters["x_double" + suffix] = MedianOf(rounds, [f](const std::vector<double>& r) {
      return std::max({r[f + 1] / r[f], r[f + 2] / r[f + 1], r[f + 3] / r[f + 2]});
    });
  }
}
BENCHMARK(BM_LongImport)->Arg(1000000)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
