// A book of 1,000 and of 10,000 stories of 20 paragraphs with 3 text runs
// each, written through the version-2 element model the way the export
// writes it, then read back the way the import reads it; beside it, in the
// same run, the floor: the same text deflated (level -1, window 15, memory
// level 8) into a plain file and inflated back.
//
// Counters, medians of five rounds: seconds of each half, the round trip
// against the floor (x_floor, with the rounds' least and greatest beside it;
// target at most 8), microseconds per story (target: flat from
// 1,000 to 10,000 stories within 1.2x), the container's size and the peak
// resident memory while writing it against that size (target at most 1.3).
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/ole_storage.h"
#include "kxt/book.h"
#include "kxt/element_model.h"
#include "kxt/kxt_storage.h"
#include "tests/common/bench_timing.h"
#include "tests/common/big_book.h"
#include "tests/common/temp_dir.h"

namespace {

using testutil::kBigBookParagraphs;
using testutil::kBigBookRuns;

// Reads every element, attribute, style reference and text back; returns
// the number of text units read.
size_t ReadBook(const std::string& path) {
  OLEStorage root(path.c_str(), kOLERead);
  KXT_Handle<KXT_InStorage2> storage(OpenKXT2(root));
  KXT_Book_In2 book(storage->OpenKXTFolder2());
  const KXT_StringsMap& map = book.StringsMap();
  KXT_DocumentsSet_In2 docs(book.OpenDocumentsSet("DocumentsSet/"), "Document[]/");
  KXT_Document_In2 doc(docs.OpenElement(0));
  doc.LoadAttrsSet("Attrs{}");
  doc.AttrsSet().DefineBaseAttrsSet(&book.AttrsSet());
  KXT_StoriesSet_In2 stories(doc.OpenStoriesSet("StoriesSet/"), "Story[]/");
  size_t units = 0;
  unsigned short buffer[512];
  for (int32_t s = 0;; ++s) {
    KXT_Story_In2 story(stories.OpenElement(s));
    if (!story.Valid()) break;
    story.LoadAttrsSet("Attrs{}");
    story.AttrsSet().DefineBaseAttrsSet(&doc.AttrsSet());
    KXT_ParagraphsSet_In2 paras(story.OpenParagraphsSet("ParagraphsSet/"), "Paragraph[]/");
    for (int32_t p = 0;; ++p) {
      KXT_Paragraph_In2 para(paras.OpenElement(p));
      if (!para.Valid()) break;
      int32_t style = -1;
      para.LoadStyleRef(style, "StyleRef");
      para.LoadAttrsSet("Attrs{}");
      para.AttrsSet().DefineBaseAttrsSet(&story.AttrsSet());
      for (int32_t r = 0;; ++r) {
        KXT_TextRun_In2 run(para.OpenTextRun(r, "TextRun[]/"));
        if (!run.Valid()) break;
        run.LoadStyleRef(style, "StyleRef");
        run.LoadAttrsSet("Attrs{}");
        run.AttrsSet().DefineBaseAttrsSet(&para.AttrsSet());
        benchmark::DoNotOptimize(run.AttrsSet().GetAttrValue(u"bold", map));
        KXT_Handle<KXT_InStream2> text = run.OpenUnicodes("!1:Unicodes");
        if (!text) continue;
        auto& in = dynamic_cast<KXT_In<unsigned short>&>(*text);
        for (uint32_t n; (n = in.GetData(buffer, 512)) > 0;) units += n;
      }
    }
  }
  return units;
}

// The floor: every run's text deflated into a plain file, then read back and
// inflated; returns the number of text units read.
size_t FloorRoundTrip(const std::string& path, int32_t stories) {
  const std::u16string& text = testutil::BigBookText();
  const size_t runs = size_t(stories) * kBigBookParagraphs * kBigBookRuns;
  std::vector<unsigned char> out(1 << 16);
  {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) throw std::runtime_error("cannot write " + path);
    z_stream z{};
    deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY);
    for (size_t r = 0; r <= runs; ++r) {
      const bool last = r == runs;
      z.next_in = last ? nullptr : reinterpret_cast<Bytef*>(const_cast<char16_t*>(text.data()));
      z.avail_in = last ? 0 : static_cast<uInt>(text.size() * 2);
      do {
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
        std::fwrite(out.data(), 1, out.size() - z.avail_out, file);
      } while (z.avail_out == 0);
    }
    deflateEnd(&z);
    std::fclose(file);
  }
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) throw std::runtime_error("cannot read " + path);
  z_stream z{};
  inflateInit2(&z, 15);
  std::vector<unsigned char> in(1 << 16);
  size_t bytes = 0;
  int status = Z_OK;
  while (status == Z_OK) {
    z.next_in = in.data();
    z.avail_in = static_cast<uInt>(std::fread(in.data(), 1, in.size(), file));
    if (z.avail_in == 0) break;
    do {
      z.next_out = out.data();
      z.avail_out = static_cast<uInt>(out.size());
      status = inflate(&z, Z_NO_FLUSH);
      bytes += out.size() - z.avail_out;
    } while (status == Z_OK && z.avail_out == 0);
  }
  inflateEnd(&z);
  std::fclose(file);
  std::remove(path.c_str());
  return bytes / 2;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Starts a new measure of the peak resident size (from the current size).
void ResetPeakResident() { std::ofstream("/proc/self/clear_refs") << "5"; }

// The peak resident size since the last reset, in bytes.
double PeakResident() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.compare(0, 6, "VmHWM:") == 0) return std::stod(line.substr(6)) * 1024;
  }
  return 0;
}

void BM_WriteThenReadBook(benchmark::State& state) {
  const int32_t stories = static_cast<int32_t>(state.range(0));
  const size_t expected = size_t(stories) * kBigBookParagraphs * kBigBookRuns * testutil::BigBookText().size();
  const std::string path = testutil::ProcessTempPath("kxt_book_bench", ".kxt");
  // Each round measures the floor, the writing and the reading in turn; the
  // counters are medians over the rounds, so one disturbed round on a shared
  // machine does not decide the figures.
  std::vector<double> writing, reading, floor, ratio;
  double peak = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    if (FloorRoundTrip(path + ".z", stories) != expected) state.SkipWithError("floor text lost");
    floor.push_back(Seconds(start));
    ResetPeakResident();
    start = std::chrono::steady_clock::now();
    testutil::WriteBigBook(path, stories);
    writing.push_back(Seconds(start));
    peak = std::max(peak, PeakResident());
    start = std::chrono::steady_clock::now();
    if (ReadBook(path) != expected) state.SkipWithError("text lost");
    reading.push_back(Seconds(start));
    ratio.push_back((writing.back() + reading.back()) / floor.back());
  }
  using testutil::Median;
  const double size = static_cast<double>(std::filesystem::file_size(path));
  state.counters["write_s"] = Median(writing);
  state.counters["read_s"] = Median(reading);
  state.counters["floor_s"] = Median(floor);
  state.counters["x_floor"] = Median(ratio);
  state.counters["x_floor_min"] = *std::min_element(ratio.begin(), ratio.end());
  state.counters["x_floor_max"] = *std::max_element(ratio.begin(), ratio.end());
  state.counters["us_per_story"] = (Median(writing) + Median(reading)) / stories * 1e6;
  state.counters["file_MB"] = size / (1 << 20);
  state.counters["write_peak_rss_MB"] = peak / (1 << 20);
  state.counters["rss_x_file"] = peak / size;
  std::remove(path.c_str());
}

BENCHMARK(BM_WriteThenReadBook)->Arg(1000)->Arg(10000)->Unit(benchmark::kSecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
