// LZ_OutStream and LZ_InStream against the same work done with zlib calls
// directly (level default, window 15, memory level 8), over 64 MiB of
// text-like data.  The streams should cost at most 10% over plain zlib.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/lz_stream.h"

namespace {

constexpr size_t kSize = 64u << 20;
constexpr uint32_t kReadChunk = 64u << 10;

// Prose-like text: a Zipf-like pick from a few thousand made-up words, with
// capitals, punctuation, numbers and line breaks.
const std::string& Text() {
  static const std::string text = [] {
    std::mt19937 rng(42);
    static const char* const kSyllables[] = {"ka", "lo", "mi", "ter", "sen", "a",  "de", "ru",
                                             "no", "pa", "st", "ing", "er", "on", "ve", "qu"};
    std::vector<std::string> words(4000);
    for (auto& w : words) {
      const int n = 1 + rng() % 4;
      for (int i = 0; i < n; ++i) w += kSyllables[rng() % 16];
    }
    std::string out;
    out.reserve(kSize + 64);
    bool sentence_start = true;
    while (out.size() < kSize) {
      // Small indices far more often than large ones.
      const double u = std::uniform_real_distribution<double>(0, 1)(rng);
      std::string word = words[static_cast<size_t>(u * u * u * words.size())];
      if (sentence_start) word[0] = static_cast<char>(word[0] - 'a' + 'A');
      out += word;
      sentence_start = false;
      const unsigned r = rng() % 40;
      if (r == 0) {
        out += ".\n";
        sentence_start = true;
      } else if (r < 3) {
        out += ". ";
        sentence_start = true;
      } else if (r < 5) {
        out += ", ";
      } else if (r == 5) {
        out += ' ' + std::to_string(rng() % 10000) + ' ';
      } else {
        out += ' ';
      }
    }
    out.resize(kSize);
    return out;
  }();
  return text;
}

// Targets and sources over memory that cost as little as possible.
struct BufferSink : OutStream {
  std::string& out;
  explicit BufferSink(std::string& o) : out(o) {}
  void PutData(const void* data, uint32_t n) override { out.append(static_cast<const char*>(data), n); }
};

struct BufferSource : InStream {
  const std::string& in;
  size_t at = 0;
  explicit BufferSource(const std::string& i) : in(i) {}
  uint32_t GetData(void* buffer, uint32_t n) override {
    const size_t count = std::min<size_t>(n, in.size() - at);
    std::memcpy(buffer, in.data() + at, count);
    at += count;
    return static_cast<uint32_t>(count);
  }
};

void RawDeflate(const std::string& plain, std::string& out) {
  z_stream zs{};
  if (deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("deflateInit2");
  out.resize(deflateBound(&zs, plain.size()));
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
  zs.avail_in = static_cast<uInt>(plain.size());
  zs.next_out = reinterpret_cast<Bytef*>(&out[0]);
  zs.avail_out = static_cast<uInt>(out.size());
  if (deflate(&zs, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate");
  out.resize(zs.total_out);
  deflateEnd(&zs);
}

void RawInflate(const std::string& compressed, std::string& out) {
  z_stream zs{};
  if (inflateInit2(&zs, 15) != Z_OK) throw std::runtime_error("inflateInit2");
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
  zs.avail_in = static_cast<uInt>(compressed.size());
  zs.next_out = reinterpret_cast<Bytef*>(&out[0]);
  zs.avail_out = static_cast<uInt>(out.size());
  if (inflate(&zs, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("inflate");
  inflateEnd(&zs);
}

void StreamDeflate(const std::string& plain, std::string& out) {
  out.clear();
  BufferSink sink(out);
  LZ_OutStream* stream = LZ_OutStream::New(sink, LZ_DefaultCompression, LZ_MaxWindowBits,
                                           LZ_DefaultMemoryLevel);
  stream->PutData(plain.data(), static_cast<uint32_t>(plain.size()));
  delete stream;
}

void StreamInflate(const std::string& compressed, std::string& out) {
  BufferSource source(compressed);
  LZ_InStream_Impl stream(source, LZ_MaxWindowBits);
  size_t at = 0;
  while (at < out.size()) {
    const uint32_t got = stream.GetData(&out[at], kReadChunk);
    if (got == 0) break;
    at += got;
  }
  if (at != out.size()) throw std::runtime_error("short");
}

void Check(const std::string& round_trip, benchmark::State& state) {
  if (round_trip != Text()) state.SkipWithError("round trip differs");
}

void BM_Deflate_Raw(benchmark::State& state) {
  std::string compressed;
  for (auto _ : state) RawDeflate(Text(), compressed);
  state.SetBytesProcessed(int64_t(state.iterations()) * kSize);
  state.counters["ratio"] = double(kSize) / compressed.size();
}

void BM_Deflate_Streams(benchmark::State& state) {
  std::string compressed;
  compressed.reserve(kSize / 2);
  for (auto _ : state) StreamDeflate(Text(), compressed);
  state.SetBytesProcessed(int64_t(state.iterations()) * kSize);
  state.counters["ratio"] = double(kSize) / compressed.size();
}

void BM_Inflate_Raw(benchmark::State& state) {
  std::string compressed, plain(kSize, '\0');
  RawDeflate(Text(), compressed);
  for (auto _ : state) RawInflate(compressed, plain);
  state.SetBytesProcessed(int64_t(state.iterations()) * kSize);
  Check(plain, state);
}

void BM_Inflate_Streams(benchmark::State& state) {
  std::string compressed, plain(kSize, '\0');
  RawDeflate(Text(), compressed);
  for (auto _ : state) StreamInflate(compressed, plain);
  state.SetBytesProcessed(int64_t(state.iterations()) * kSize);
  Check(plain, state);
}

void BM_RoundTrip_Raw(benchmark::State& state) {
  std::string compressed, plain(kSize, '\0');
  for (auto _ : state) {
    RawDeflate(Text(), compressed);
    RawInflate(compressed, plain);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kSize);
  Check(plain, state);
}

void BM_RoundTrip_Streams(benchmark::State& state) {
  std::string compressed, plain(kSize, '\0');
  compressed.reserve(kSize / 2);
  for (auto _ : state) {
    StreamDeflate(Text(), compressed);
    StreamInflate(compressed, plain);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kSize);
  Check(plain, state);
}

void Prepare(const benchmark::State&) { Text(); }

}  // namespace

BENCHMARK(BM_Deflate_Raw)->Unit(benchmark::kMillisecond)->Setup(Prepare)->MinTime(3);
BENCHMARK(BM_Deflate_Streams)->Unit(benchmark::kMillisecond)->Setup(Prepare)->MinTime(3);
BENCHMARK(BM_Inflate_Raw)->Unit(benchmark::kMillisecond)->Setup(Prepare)->MinTime(3);
BENCHMARK(BM_Inflate_Streams)->Unit(benchmark::kMillisecond)->Setup(Prepare)->MinTime(3);
BENCHMARK(BM_RoundTrip_Raw)->Unit(benchmark::kMillisecond)->Setup(Prepare)->MinTime(3);
BENCHMARK(BM_RoundTrip_Streams)->Unit(benchmark::kMillisecond)->Setup(Prepare)->MinTime(3);

BENCHMARK_MAIN();
