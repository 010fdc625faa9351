// Loading an ini file of N sections with two keys each, N from 5 000 to
// 40 000: the load must take time in proportion to N (the fitted complexity
// is printed as "BigO"), and a look-up must not grow with N.
#include <benchmark/benchmark.h>

#include <string>

#include "support/data_file.h"
#include "tests/common/files.h"
#include "tests/common/temp_dir.h"

namespace {

std::string IniText(int64_t sections) {
  std::string text;
  for (int64_t i = 0; i < sections; ++i) {
    const std::string n = std::to_string(i);
    text += "; section " + n + "\n[Section" + n + "]\nFirst=" + n + "\nSecond=value " + n + "\n";
  }
  return text;
}

void LoadSections(benchmark::State& state) {
  const testutil::TempDir dir("bench_data_file");
  const std::string path = dir.File("big.ini");
  testutil::WriteFile(path, IniText(state.range(0)));
  for (auto _ : state) {
    CDataFile ini;
    if (!ini.Load(path)) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(ini.SectionCount());
  }
  state.SetComplexityN(state.range(0));
}
BENCHMARK(LoadSections)->RangeMultiplier(2)->Range(5000, 40000)->Unit(benchmark::kMillisecond)->Complexity();

void LookUpInLargeFile(benchmark::State& state) {
  const testutil::TempDir dir("bench_data_file");
  const std::string path = dir.File("big.ini");
  testutil::WriteFile(path, IniText(state.range(0)));
  CDataFile ini;
  ini.Load(path);
  const std::string last = "SECTION" + std::to_string(state.range(0) - 1);
  for (auto _ : state) benchmark::DoNotOptimize(ini.GetValue("second", last));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(LookUpInLargeFile)->RangeMultiplier(2)->Range(5000, 40000)->Complexity();

}  // namespace

BENCHMARK_MAIN();
