// Writing then reading one 64 MiB stream through the storage layer, against
// writing then reading the same bytes with plain file I/O.  BM_Ratio reports
// the storage layer's time over plain I/O's as the counter "ratio".
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/ole/ole.h"
#include "tests/common/temp_dir.h"

namespace {

constexpr size_t kStreamSize = size_t{64} << 20;
constexpr size_t kPiece = size_t{64} << 10;

const std::vector<char>& Data() {
  static const std::vector<char> data = [] {
    std::vector<char> d(kStreamSize);
    uint32_t x = 1;
    for (char& c : d) {
      x = x * 1103515245u + 12345u;
      c = static_cast<char>(x >> 23);
    }
    return d;
  }();
  return data;
}

void Fail(benchmark::State& state, const char* what) { state.SkipWithError(what); }

bool PlainRound(const std::string& path, std::vector<char>& buffer) {
  const std::vector<char>& data = Data();
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  for (size_t at = 0; at < data.size(); at += kPiece) {
    if (write(fd, data.data() + at, kPiece) != static_cast<ssize_t>(kPiece)) return close(fd), false;
  }
  if (close(fd) != 0) return false;
  fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  size_t total = 0;
  for (ssize_t n; (n = read(fd, buffer.data(), kPiece)) > 0;) total += static_cast<size_t>(n);
  close(fd);
  return total == data.size();
}

bool CompoundRound(const std::string& path, std::vector<char>& buffer) {
  const std::vector<char>& data = Data();
  ole::Storage* root = nullptr;
  ole::Stream* stream = nullptr;
  if (ole::CreateDocfile(path.c_str(), 0x1011, &root) != ole::S_OK) return false;
  bool ok = root->CreateStream(u"data", 0x1011, &stream) == ole::S_OK;
  for (size_t at = 0; ok && at < data.size(); at += kPiece) {
    ok = stream->Write(data.data() + at, kPiece, nullptr) == ole::S_OK;
  }
  if (stream != nullptr) stream->Release();
  ok = ok && root->Commit() == ole::S_OK;
  root->Release();
  if (!ok || ole::OpenDocfile(path.c_str(), 0x20, &root) != ole::S_OK) return false;
  stream = nullptr;
  size_t total = 0;
  if (root->OpenStream(u"data", 0x10, &stream) == ole::S_OK) {
    uint32_t got = 0;
    while (stream->Read(buffer.data(), kPiece, &got) == ole::S_OK && got > 0) total += got;
    stream->Release();
  }
  root->Release();
  return total == data.size();
}

void BM_PlainFile(benchmark::State& state) {
  std::string path = testutil::ProcessTempPath("ole_bench_plain");
  std::vector<char> buffer(kPiece);
  for (auto _ : state) {
    if (!PlainRound(path, buffer)) Fail(state, "plain I/O failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * 2 * kStreamSize));
  unlink(path.c_str());
}

void BM_CompoundFile(benchmark::State& state) {
  std::string path = testutil::ProcessTempPath("ole_bench_compound");
  std::vector<char> buffer(kPiece);
  for (auto _ : state) {
    if (!CompoundRound(path, buffer)) Fail(state, "compound file failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * 2 * kStreamSize));
  unlink(path.c_str());
}

// Both rounds in each iteration, alternating, so both meet the same machine
// state; the iteration time is the compound round's.
void BM_Ratio(benchmark::State& state) {
  std::string plain = testutil::ProcessTempPath("ole_bench_plain");
  std::string compound = testutil::ProcessTempPath("ole_bench_compound");
  std::vector<char> buffer(kPiece);
  double plain_seconds = 0, compound_seconds = 0;
  using Clock = std::chrono::steady_clock;
  for (auto _ : state) {
    auto t0 = Clock::now();
    bool ok = PlainRound(plain, buffer);
    auto t1 = Clock::now();
    ok = CompoundRound(compound, buffer) && ok;
    auto t2 = Clock::now();
    if (!ok) Fail(state, "a round failed");
    plain_seconds += std::chrono::duration<double>(t1 - t0).count();
    compound_seconds += std::chrono::duration<double>(t2 - t1).count();
    state.SetIterationTime(std::chrono::duration<double>(t2 - t1).count());
  }
  state.counters["plain_ms"] = 1000 * plain_seconds / static_cast<double>(state.iterations());
  state.counters["compound_ms"] = 1000 * compound_seconds / static_cast<double>(state.iterations());
  state.counters["ratio"] = compound_seconds / plain_seconds;
  unlink(plain.c_str());
  unlink(compound.c_str());
}

BENCHMARK(BM_PlainFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompoundFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ratio)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
