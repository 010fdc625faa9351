// A book of 10 000 stories of 20 paragraphs with 3 text runs each, written
// through the version-2 element model the way the export writes it, then
// read back the way the import reads it.  Counters: seconds of each half,
// the container's size and the process's peak resident memory.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "framework/ole_storage.h"
#include "kxt/book.h"
#include "kxt/element_model.h"
#include "kxt/kxt_storage.h"
#include "tests/common/temp_dir.h"

namespace {

constexpr int32_t kStories = 10000;
constexpr int32_t kParagraphs = 20;
constexpr int32_t kRuns = 3;

// The text of a run: about a line of text.
const std::u16string kText = u"The quick brown fox jumps over the lazy dog, again and again. ";

void WriteBook(const std::string& path) {
  OLEStorage root(path.c_str(), kOLECreate);
  KXT_Handle<KXT_OutStorage2> storage(CreateKXT2(root, false));
  KXT_Book_Out2 book(storage->CreateKXTFolder2());
  KXT_StringsMap& map = book.StringsMap();
  book.SaveAttrsSet("Attrs{}");
  KXT_DocumentsSet_Out2 docs(book.CreateDocumentsSet("DocumentsSet/"), "Document[]/");
  KXT_Document_Out2 doc(docs.CreateElement(0));
  doc.AttrsSet().AddAttr(u"codepage", u"1252", map);
  doc.SaveAttrsSet("Attrs{}");
  KXT_StylesSet_Out2 styles(doc.CreateStylesSet("StylesSet/"), "StyleInfo[]/");
  for (int32_t s = 0; s < 4; ++s) {
    KXT_StyleInfo_Out2 style(styles.CreateElement(s));
    style.SaveThisStyleRef(s, "ThisStyleRef");
    if (s > 0) style.SaveBaseStyleRef(0, "BaseStyleRef");
  }
  KXT_StoriesSet_Out2 stories(doc.CreateStoriesSet("StoriesSet/"), "Story[]/");
  for (int32_t s = 0; s < kStories; ++s) {
    KXT_Story_Out2 story(stories.CreateElement(s));
    story.AttrsSet().AddAttr(u"width", u"420", map);
    story.SaveAttrsSet("Attrs{}");
    KXT_ParagraphsSet_Out2 paras(story.CreateParagraphsSet("ParagraphsSet/"), "Paragraph[]/");
    for (int32_t p = 0; p < kParagraphs; ++p) {
      KXT_Paragraph_Out2 para(paras.CreateElement(p));
      para.SaveStyleRef(p % 4, "StyleRef");
      for (int32_t r = 0; r < kRuns; ++r) {
        KXT_UnicodesRun_Out2 run(para.CreateTextRun(r, "TextRun[]/"));
        {
          KXT_Handle<KXT_OutStream2> text = run.CreateUnicodes("!1:Unicodes");
          dynamic_cast<KXT_Out<unsigned short>&>(*text).PutData(
              reinterpret_cast<const unsigned short*>(kText.data()), static_cast<uint32_t>(kText.size()));
        }
        if (r == 1) {
          run.SaveStyleRef(3, "StyleRef");
          run.AttrsSet().AddAttr(u"bold", u"on", map);
          run.SaveAttrsSet("Attrs{}");
        }
      }
    }
  }
}

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

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void BM_WriteThenReadBook(benchmark::State& state) {
  const std::string path = testutil::ProcessTempPath("kxt_book_bench", ".kxt");
  double writing = 0, reading = 0;
  size_t units = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    WriteBook(path);
    writing += Seconds(start);
    start = std::chrono::steady_clock::now();
    units = ReadBook(path);
    reading += Seconds(start);
    if (units != size_t{kStories} * kParagraphs * kRuns * kText.size()) state.SkipWithError("text lost");
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["write_s"] = writing / n;
  state.counters["read_s"] = reading / n;
  state.counters["units_read"] = static_cast<double>(units);
  state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(path)) / (1 << 20);
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024;  // kilobytes on Linux
  std::remove(path.c_str());
}

BENCHMARK(BM_WriteThenReadBook)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
