// The Mapper's analysis of a generated layout against its floor.
//
// The layout: N text boxes on N / 4 spreads, N / 20 of them holding an
// anchored text box, 3N / 20 holding a hidden pair, and N / 5 of them
// copies of N / 100 master boxes.  The floor opens the document and walks
// every story once with StoryRunIterator; the measured run opens it, runs
// Mapper::Analyze and asks FindBox for every id up to the count.
// BM_Ratio reports both times and "ratio" (target: 10 at most);
// BM_Analyze/2000 and /4000 the analysis alone (target: 4,000 boxes 2.5
// times the 2,000-box time at most); BM_Floor/2000 and /4000 the story walk
// alone.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "host/document_ops.h"
#include "host/host.h"
#include "plugin/mixer/mapper.h"
#include "plugin/qapi/story_runs.h"
#include "support/host_link.h"

namespace {

// Attributes: 0 text, 1 opening marker, 2 closing marker, 3.. anchored
// box i.
std::string Layout(int boxes) {
  const int spreads = boxes / 4;
  const int anchored = boxes / 20;
  const int hidden = boxes * 3 / 20;
  const int masters = boxes / 100;
  const int copies = boxes / 5;
  std::string attrs = R"([{"font": 3}, {"font": 3, "opcode": 32}, {"font": 3, "opcode": 64})";
  std::string items;
  std::string stories;
  int nextId = 1;
  const auto story = [&](int id, const std::string& text, const std::string& runs, size_t units) {
    stories += (stories.empty() ? "" : ",\n") + std::string(R"({"id": )") + std::to_string(id) +
               R"(, "text": ")" + text + R"(", "paragraphs": [[0, )" + std::to_string(units) +
               R"(]], "runs": [)" + runs + "]}";
  };
  const auto box = [&](int id, const std::string& extra, int left, int top) {
    items += (items.empty() ? "" : ",\n") + std::string(R"({"id": )") + std::to_string(id) +
             R"(, "story": )" + std::to_string(id) + extra + R"(, "bounds": [)" +
             std::to_string(left) + ", " + std::to_string(top) + ", " + std::to_string(left + 200) +
             ", " + std::to_string(top + 100) + "]}";
  };
  const std::string body = "Text of a box with words enough to be taken ";
  for (int m = 0; m < masters; ++m) {
    const std::string text = "Master text " + std::to_string(m);
    box(nextId, R"(, "master": true, "spread": 3)", 36, 36 + 10 * m);
    story(nextId, text, "[0, " + std::to_string(text.size()) + "]", text.size());
    ++nextId;
  }
  for (int i = 0; i < boxes; ++i) {
    const int id = nextId++;
    const int spread = 1 + i % spreads;
    const int slot = i / spreads;
    std::string extra = R"(, "spread": )" + std::to_string(spread);
    std::string text = body + std::to_string(i);
    std::string runs = "[0, " + std::to_string(text.size()) + "]";
    if (i < copies) extra += R"(, "masterItem": )" + std::to_string(1 + i % masters);
    if (i >= copies && i < copies + anchored) {
      const int holder = i - copies;
      const int anchoredId = 30000 + holder;
      attrs += R"(, {"font": 3, "opcode": 1, "object": )" + std::to_string(anchoredId) + "}";
      text += "\\u0001.";
      runs += ", [" + std::to_string(3 + holder) + ", 1], [0, 1]";
      items += ",\n" + std::string(R"({"id": )") + std::to_string(anchoredId) + R"(, "story": )" +
               std::to_string(anchoredId) + R"(, "bounds": [0, 0, 100, 20]})";
      const std::string inner = "Anchored text " + std::to_string(holder);
      story(anchoredId, inner, "[0, " + std::to_string(inner.size()) + "]", inner.size());
    } else if (i >= copies + anchored && i < copies + anchored + hidden) {
      const std::string key = std::to_string(1000 + i);
      text += "(" + key + " hidden )" + key + " tail";
      runs += ", [1, 5], [0, 8], [2, 5], [0, 5]";
    }
    box(id, extra, 36 + 220 * slot, 36);
    const size_t units = text.size() - (text.find("\\u0001") != std::string::npos ? 5 : 0);
    story(id, text, runs, units);
  }
  std::string spreadList;
  for (int s = 0; s < spreads; ++s) spreadList += std::string(s ? ", " : "") + R"({"pages": [{"master": 3}]})";
  return R"({"format": "xthost document", "version": 1,
    "layouts": [{"name": "Bench", "spreads": [)" +
         spreadList + R"(], "masters": [{"name": "A-Master"}]}],
    "characterAttributes": )" +
         attrs + "],\n\"boxes\": [" + items + "],\n\"stories\": [" + stories + "]}";
}

// A stand-in host bound into the plug-in's host link, with the document
// written once to a file.
class BenchHost {
 public:
  explicit BenchHost(int boxes)
      : folder_(std::filesystem::temp_directory_path() /
                ("brenix-mapper-bench-" + std::to_string(boxes))) {
    std::filesystem::create_directories(folder_);
    setenv("BRENIX_REGISTRY_ROOT", folder_.c_str(), 1);
    path_ = (folder_ / "layout.json").string();
    std::ofstream(path_, std::ios::binary) << Layout(boxes);
  }
  ~BenchHost() {
    XT() = HostLink();
    host_.reset();
    std::filesystem::remove_all(folder_);
  }

  // A new host with the document open as the current one.
  void Open() {
    XT() = HostLink();
    host_.reset();
    transcript_.str("");
    xthost::HostOptions options;
    options.transcript = &transcript_;
    host_ = std::make_unique<xthost::Host>(std::move(options));
    const XTRegisterRec record = xthost::MakeRegisterRec();
    HostLink& link = XT();
    AcquireSuite(record, kXTSuiteQSC1, link.qsc1);
    AcquireSuite(record, kXTSuiteQSB1, link.qsb1);
    AcquireSuite(record, kXTSuiteLGJ2, link.lgj2);
    AcquireSuite(record, kXTTableXFJj, link.files);
    AcquireSuite(record, kXTTableXRSa, link.errors);
    AcquireSuite(record, kXTTableXMFe, link.folder_specs);
    AcquireSuite(record, kXTSuiteLGE2, link.lge2);
    AcquireSuite(record, kXTSuiteLGF2, link.lgf2);
    AcquireSuite(record, kXTSuiteLGG2, link.lgg2);
    AcquireSuite(record, kXTSuiteLGH2, link.lgh2);
    AcquireSuite(record, kXTSuiteLGI2, link.lgi2);
    AcquireSuite(record, kXTSuiteLGK2, link.lgk2);
    AcquireSuite(record, kXTSuiteLGL2, link.lgl2);
    AcquireSuite(record, kXTSuiteLTA1, link.lta1);
    AcquireSuite(record, kXTTableXDDg, link.documents);
    AcquireSuite(record, kXTTableXPJc, link.projects);
    AcquireSuite(record, kXTTableXBXa, link.boxes);
    int32_t id = 0;
    std::string error;
    if (xthost::OpenDocumentFile(*host_, path_, 31, &id, &error) != kXTOk) {
      std::fprintf(stderr, "%s\n", error.c_str());
      std::abort();
    }
  }

  // Every story walked once.
  void WalkStories() {
    for (const auto& story : xthost::CurrentContent(*host_)->stories) {
      StoryRunIterator iterator(story.id);
      StoryRunPosition position;
      StoryRunIterator::Begin(position, iterator);
      while (iterator.HasMore(position)) {
        benchmark::DoNotOptimize(iterator.CurrentOpcode(position));
        iterator.Advance(position);
      }
    }
  }

  // Analyze and FindBox for every id; the story count.
  int32_t Analyze() {
    Mapper mapper;
    const int32_t count = mapper.Analyze();
    for (int32_t id = 0; id <= count; ++id) benchmark::DoNotOptimize(mapper.FindBox(id));
    return count;
  }

 private:
  std::filesystem::path folder_;
  std::string path_;
  std::ostringstream transcript_;  // kept short: emptied at every Open
  std::unique_ptr<xthost::Host> host_;
};

using Clock = std::chrono::steady_clock;
double Seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

void BM_Ratio(benchmark::State& state) {
  BenchHost host(2000);
  double floorSeconds = 0, mapperSeconds = 0;
  int32_t count = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    host.Open();
    host.WalkStories();
    const auto middle = Clock::now();
    host.Open();
    count = host.Analyze();
    const auto end = Clock::now();
    floorSeconds += Seconds(start, middle);
    mapperSeconds += Seconds(middle, end);
    state.SetIterationTime(Seconds(middle, end));
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["floor_ms"] = floorSeconds / n * 1000;
  state.counters["mapper_ms"] = mapperSeconds / n * 1000;
  state.counters["ratio"] = mapperSeconds / floorSeconds;
  state.counters["stories"] = count;
}
BENCHMARK(BM_Ratio)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_Analyze(benchmark::State& state) {
  BenchHost host(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    host.Open();
    state.ResumeTiming();
    benchmark::DoNotOptimize(host.Analyze());
  }
}
BENCHMARK(BM_Analyze)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond)->Iterations(3);

// The floor alone, for its own growth with the layout.
void BM_Floor(benchmark::State& state) {
  BenchHost host(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    host.Open();
    state.ResumeTiming();
    host.WalkStories();
  }
}
BENCHMARK(BM_Floor)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
