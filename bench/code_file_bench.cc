// The code file and its folders at container scale: 100 000 logical streams
// of 100 bytes each, in 10 folders of 10 sub-folders of 1000 streams, written
// and read back, stored and with compression.  Reports the cost per stream
// (written and read back) and the peak memory of the round trip against the
// 10 MB of payload.  Targets, stored: at most 1.2 microseconds per stream,
// peak memory under 10 times the payload.
//
// The compound file is kept in memory (a sub-storage of a scratch file that
// is only written to disk at exit), so the figures are those of the code
// file, its folders and the storage layer's in-memory streams.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>

#include "framework/code_file.h"
#include "framework/code_folder.h"
#include "framework/ole_storage.h"
#include "tests/common/scratch_storage.h"

namespace {

// Heap bytes in use, and their peak, counted by the global allocation
// functions below.
size_t g_heapInUse = 0;
size_t g_heapPeak = 0;

}  // namespace

void* operator new(size_t n) {
  void* p = std::malloc(n == 0 ? 1 : n);
  if (p == nullptr) throw std::bad_alloc();
  g_heapInUse += malloc_usable_size(p);
  g_heapPeak = std::max(g_heapPeak, g_heapInUse);
  return p;
}
void* operator new[](size_t n) { return operator new(n); }
void operator delete(void* p) noexcept {
  if (p == nullptr) return;
  g_heapInUse -= malloc_usable_size(p);
  std::free(p);
}
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, size_t) noexcept { operator delete(p); }
void operator delete[](void* p, size_t) noexcept { operator delete(p); }

namespace {

constexpr int kFolders = 10;
constexpr int kSubFolders = 10;
constexpr int kStreamsPerFolder = 1000;
constexpr int kStreams = kFolders * kSubFolders * kStreamsPerFolder;
constexpr uint32_t kStreamSize = 100;

// Text-like payload that differs from stream to stream.
void Payload(int n, char* out) {
  static const char kWords[] = "the code file packs many named logical streams into one stream ";
  const int shift = n % 50;
  for (uint32_t i = 0; i < kStreamSize; ++i) out[i] = kWords[(i + shift) % (sizeof kWords - 1)];
  std::snprintf(out, 12, "%011d", n);
}

// The peak resident size of this process so far, in kB.
long PeakResidentKB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.compare(0, 6, "VmHWM:") == 0) return std::stol(line.substr(6));
  }
  return 0;
}

void Write(OLEStorage& storage, bool compress) {
  CF_OutStorage* writer = CreateCodeFile(storage, compress);
  CF_OutFolder* root = CreateCodeFolder(*writer);
  char data[kStreamSize];
  char name[16];
  int n = 0;
  for (int f = 0; f < kFolders; ++f) {
    CF_OutFolder* folder = root->CreateFolder("Folder", f);
    for (int s = 0; s < kSubFolders; ++s) {
      CF_OutFolder* sub = folder->CreateFolder("Story", s);
      for (int i = 0; i < kStreamsPerFolder; ++i, ++n) {
        std::snprintf(name, sizeof name, "m_Text%d", i);
        CF_OutStream* stream = sub->CreateStream(name, 0, CF_DecideAtFirstFlush);
        Payload(n, data);
        stream->PutData(data, kStreamSize);
        delete stream;
      }
      delete sub;
    }
    delete folder;
  }
  delete root;
  delete writer;
}

void Read(OLEStorage& storage) {
  CF_InStorage* reader = OpenCodeFile(storage);
  CF_InFolder* root = OpenCodeFolder(*reader);
  char expected[kStreamSize];
  char got[kStreamSize + 1];
  char name[16];
  int n = 0;
  for (int f = 0; f < kFolders; ++f) {
    CF_InFolder* folder = root->OpenFolder("Folder", f);
    for (int s = 0; s < kSubFolders; ++s) {
      CF_InFolder* sub = folder->OpenFolder("Story", s);
      for (int i = 0; i < kStreamsPerFolder; ++i, ++n) {
        std::snprintf(name, sizeof name, "m_Text%d", i);
        CF_InStream* stream = sub->OpenStream(name, 0);
        Payload(n, expected);
        if (stream == nullptr || stream->GetData(got, kStreamSize + 1) != kStreamSize ||
            std::memcmp(got, expected, kStreamSize) != 0) {
          throw std::runtime_error("stream read back differs: " + std::to_string(n));
        }
        delete stream;
      }
      delete sub;
    }
    delete folder;
  }
  delete root;
  delete reader;
}

void BM_WriteAndReadBack(benchmark::State& state) {
  static testutil::ScratchStorage scratch("bench_code_file");
  const bool compress = state.range(0) != 0;
  size_t heapGrowth = 0;
  for (auto _ : state) {
    const size_t before = g_heapInUse;
    g_heapPeak = before;
    {
      OLEStorage storage(scratch.root(), u"container", kOLECreate);
      Write(storage, compress);
      Read(storage);
    }
    heapGrowth = std::max(heapGrowth, g_heapPeak - before);
  }
  const double payload = double(kStreams) * kStreamSize;
  state.counters["time_per_stream"] = benchmark::Counter(
      double(kStreams) * double(state.iterations()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::OneK::kIs1000);
  state.counters["heap_peak_MB"] = double(heapGrowth) / 1e6;
  state.counters["heap_peak_x_payload"] = double(heapGrowth) / payload;
  state.counters["process_peak_MB"] = double(PeakResidentKB()) / 1e3;
  state.SetLabel(compress ? "compressed (decided per stream)" : "stored");
}

}  // namespace

BENCHMARK(BM_WriteAndReadBack)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

BENCHMARK_MAIN();
