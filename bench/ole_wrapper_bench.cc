// Writing and then reading one 64 MiB stream through the storage wrappers
// (OLEStorage, OLEStream: a compound file written whole when its root goes)
// against writing and reading the same bytes as a plain file.  The wrappers
// should cost at most 1.5 times the plain file I/O.  The same work through
// the storage layer's own interface shows what the wrappers add to it.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/ole_storage.h"
#include "framework/ole_stream.h"
#include "platform/ole/ole.h"
#include "tests/common/temp_dir.h"

namespace {

constexpr size_t kSize = 64u << 20;
constexpr uint32_t kChunk = 64u << 10;

const std::vector<uint8_t>& Data() {
  static const std::vector<uint8_t> data = [] {
    std::vector<uint8_t> bytes(kSize);
    std::mt19937 rng(7);
    for (auto& b : bytes) b = static_cast<uint8_t>(rng());
    return bytes;
  }();
  return data;
}

void BM_WrapperWriteRead(benchmark::State& state) {
  const std::vector<uint8_t>& data = Data();
  const std::string path = testutil::ProcessTempPath("ole_wrapper_bench", ".kxt");
  std::vector<uint8_t> buffer(kChunk);
  for (auto _ : state) {
    {
      OLEStorage root(path.c_str(), kOLECreate);
      OLEStream stream(root, u"Data", kOLECreate);
      for (size_t done = 0; done < kSize; done += kChunk) stream.PutData(data.data() + done, kChunk);
    }  // the root writes the file here
    size_t total = 0;
    {
      OLEStorage root(path.c_str(), kOLERead);
      OLEStream stream(root, u"Data", kOLERead);
      while (uint32_t got = stream.GetData(buffer.data(), kChunk)) total += got;
    }
    if (total != kSize) throw std::runtime_error("short read");
    benchmark::DoNotOptimize(buffer.data());
  }
  std::remove(path.c_str());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kSize * 2);
}

void BM_StorageLayerWriteRead(benchmark::State& state) {
  const std::vector<uint8_t>& data = Data();
  const std::string path = testutil::ProcessTempPath("ole_layer_bench", ".kxt");
  std::vector<uint8_t> buffer(kChunk);
  for (auto _ : state) {
    ole::Storage* root = nullptr;
    ole::Stream* stream = nullptr;
    if (ole::CreateDocfile(path.c_str(), kOLECreate | ole::STGM_SHARE_EXCLUSIVE, &root) != ole::S_OK ||
        root->CreateStream(u"Data", kOLECreate | ole::STGM_SHARE_EXCLUSIVE, &stream) != ole::S_OK) {
      throw std::runtime_error("cannot create");
    }
    for (size_t done = 0; done < kSize; done += kChunk) stream->Write(data.data() + done, kChunk, nullptr);
    stream->Release();
    if (root->Commit() != ole::S_OK) throw std::runtime_error("write failed");
    root->Release();
    if (ole::OpenDocfile(path.c_str(), ole::STGM_SHARE_DENY_WRITE, &root) != ole::S_OK ||
        root->OpenStream(u"Data", ole::STGM_SHARE_EXCLUSIVE, &stream) != ole::S_OK) {
      throw std::runtime_error("cannot open");
    }
    size_t total = 0;
    uint32_t got = 0;
    while (stream->Read(buffer.data(), kChunk, &got) == ole::S_OK && got > 0) total += got;
    stream->Release();
    root->Release();
    if (total != kSize) throw std::runtime_error("short read");
    benchmark::DoNotOptimize(buffer.data());
  }
  std::remove(path.c_str());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kSize * 2);
}

void BM_PlainFileWriteRead(benchmark::State& state) {
  const std::vector<uint8_t>& data = Data();
  const std::string path = testutil::ProcessTempPath("ole_wrapper_bench", ".bin");
  std::vector<uint8_t> buffer(kChunk);
  for (auto _ : state) {
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) throw std::runtime_error("cannot create");
    for (size_t done = 0; done < kSize; done += kChunk) std::fwrite(data.data() + done, 1, kChunk, out);
    if (std::fclose(out) != 0) throw std::runtime_error("write failed");
    FILE* in = std::fopen(path.c_str(), "rb");
    if (!in) throw std::runtime_error("cannot open");
    size_t total = 0;
    while (size_t got = std::fread(buffer.data(), 1, kChunk, in)) total += got;
    std::fclose(in);
    if (total != kSize) throw std::runtime_error("short read");
    benchmark::DoNotOptimize(buffer.data());
  }
  std::remove(path.c_str());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kSize * 2);
}

BENCHMARK(BM_WrapperWriteRead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StorageLayerWriteRead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlainFileWriteRead)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
