// Typing into a long story shown by a long chain: 10,000 inserts of ten
// units into a 1 MB story (UTF-16) that runs through 400 text boxes, then
// one overflow query, against the same inserts into a story no box shows.
// Composition waits for the query, so the chain should cost little more
// than the inserts themselves.  BM_Ratio reports both times and their ratio
// (the counter "ratio"); BM_ComposeOnce the one composition of the chain.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "host/compose.h"

namespace {

constexpr std::size_t kStoryUnits = (std::size_t{1} << 20) / 2;  // 1 MB of UTF-16
constexpr int kBoxes = 400;
constexpr int kInserts = 10000;
const std::u16string kTyped = u"typed text";  // ten units

int32_t Fixed(int points) { return points << 16; }

// Words of 2 to 9 letters, a return after every 60th.
std::u16string StoryText() {
  std::u16string text;
  text.reserve(kStoryUnits);
  uint32_t x = 1;
  for (int word = 1; text.size() < kStoryUnits; ++word) {
    x = x * 1103515245u + 12345u;
    const std::size_t letters = 2 + (x >> 16) % 8;
    for (std::size_t i = 0; i < letters; ++i) text += static_cast<char16_t>(u'a' + (x >> (i + 8)) % 26);
    text += word % 60 == 0 ? u'\r' : u' ';
  }
  text.resize(kStoryUnits);
  return text;
}

// A document with story 1 holding the text; with `boxes`, a chain of 300 by
// 300 point text boxes shows it (more text than they hold).
xthost::DocumentContent MakeDocument(bool boxes) {
  xthost::DocumentContent content;
  content.stories.emplace_back(1);
  content.stories.front().Insert(0, StoryText());
  for (int i = 0; boxes && i < kBoxes; ++i) {
    xthost::Box box;
    box.id = i + 1;
    box.story = 1;
    box.spread = i + 1;
    box.bounds = {Fixed(36), Fixed(36), Fixed(336), Fixed(336)};
    content.boxes.push_back(box);
  }
  return content;
}

// The inserts at pseudo-random places; with a chain, the overflow query.
// Whether the text overflows.
bool Type(xthost::DocumentContent& content) {
  xthost::Story& story = content.stories.front();
  uint32_t x = 7;
  for (int i = 0; i < kInserts; ++i) {
    x = x * 1103515245u + 12345u;
    story.Insert(static_cast<int32_t>(x % static_cast<uint32_t>(story.length() + 1)), kTyped);
  }
  return !content.boxes.empty() && xthost::ChainOverflows(content, 1);
}

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

// Both runs in each iteration, so both meet the same machine state; the
// iteration time is the chain's.
void BM_Ratio(benchmark::State& state) {
  const xthost::DocumentContent plain = MakeDocument(false);
  const xthost::DocumentContent chained = MakeDocument(true);
  double floor_seconds = 0, chain_seconds = 0;
  for (auto _ : state) {
    xthost::DocumentContent a = plain;
    xthost::DocumentContent b = chained;
    const auto t0 = Clock::now();
    Type(a);
    const auto t1 = Clock::now();
    if (!Type(b)) state.SkipWithError("the chain should overflow");
    const auto t2 = Clock::now();
    floor_seconds += Seconds(t0, t1);
    chain_seconds += Seconds(t1, t2);
    state.SetIterationTime(Seconds(t1, t2));
    xthost::InvalidateComposition(b);
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["floor_ms"] = 1000 * floor_seconds / n;
  state.counters["chain_ms"] = 1000 * chain_seconds / n;
  state.counters["ratio"] = chain_seconds / floor_seconds;
}

void BM_ComposeOnce(benchmark::State& state) {
  xthost::DocumentContent content = MakeDocument(true);
  for (auto _ : state) {
    xthost::InvalidateComposition(content);
    benchmark::DoNotOptimize(xthost::ChainOverflows(content, 1));
  }
  xthost::InvalidateComposition(content);
}

BENCHMARK(BM_Ratio)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);
BENCHMARK(BM_ComposeOnce)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
