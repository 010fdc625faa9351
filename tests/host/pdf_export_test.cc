// The host's output styles and PDF export without a plug-in: the style
// reader on good and bad documents, the list, the export of a two-page
// layout checked by pdfinfo and pdftotext, the log beside it, the name used
// as given or with ".pdf", no output file, and new projects.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "host/document_ops.h"
#include "host/linked_host_util.h"
#include "host/output_styles.h"
#include "host/pdf_commands.h"
#include "host/suite_tables.h"
#include "tests/common/run_command.h"

namespace xthost {
namespace {

std::string Shell(const std::string& command) {
  int status = 0;
  const std::string out = testutil::RunCommand(command, &status);
  EXPECT_EQ(status, 0) << command;
  return out;
}

TEST(OutputStyles, ReaderTakesStylesWithNameAndMediumAndRefusesTheRest) {
  struct Row {
    std::string name, text;
    bool read;
    std::vector<std::string> names;  // name/medium/title
  };
  const std::vector<Row> rows = {
      {"two styles",
       "<?xml version=\"1.0\"?><OutputStyles><OutputStyle Name=\"A &amp; B\" OutputMedia=\"XPDF\">"
       "<OutputSettings XTid=\"XABL\"/><OutputSettings XTid=\"XPDF\"><DocInfo Author=\"Me\" Title=\"T\"/>"
       "</OutputSettings></OutputStyle><Other/><OutputStyle Name=\"Print\" OutputMedia=\"XPRT\"/></OutputStyles>",
       true, {"A & B/XPDF/T", "Print/XPRT/"}},
      {"no styles", "<OutputStyles/>", true, {}},
      {"not XML", "<OutputStyles><OutputStyle", false, {}},
      {"empty", "", false, {}},
      {"other root", "<Styles><OutputStyle Name=\"A\" OutputMedia=\"XPDF\"/></Styles>", false, {}},
      {"no name", "<OutputStyles><OutputStyle OutputMedia=\"XPDF\"/></OutputStyles>", false, {}},
      {"bad medium", "<OutputStyles><OutputStyle Name=\"A\" OutputMedia=\"PDF\"/></OutputStyles>", false, {}},
      {"external entity",
       "<!DOCTYPE OutputStyles [<!ENTITY x SYSTEM \"/etc/passwd\">]>"
       "<OutputStyles><OutputStyle Name=\"&x;\" OutputMedia=\"XPDF\"/></OutputStyles>",
       false, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<OutputStyle> styles;
    std::string error;
    EXPECT_EQ(ReadOutputStyles(row.text.data(), row.text.size(), &styles, &error), row.read) << error;
    EXPECT_EQ(error.empty(), row.read);
    std::vector<std::string> names;
    for (const OutputStyle& style : styles) {
      std::string medium(reinterpret_cast<const char*>(&style.medium), 4);
      names.push_back(style.name + "/" + medium + "/" + style.title);
    }
    EXPECT_EQ(names, row.names);
  }
}

TEST(OutputStyles, TheListHasOneDefaultPdfStyleAndEachNameOnce) {
  OutputStyleList list;
  ASSERT_EQ(list.styles().size(), 1u);
  ASSERT_NE(list.DefaultOf(MediumCode("XPDF")), nullptr);
  const OutputStyle pdf = *list.DefaultOf(MediumCode("XPDF"));
  EXPECT_EQ(pdf.name, kDefaultPdfStyleName);
  EXPECT_EQ(MediumCode("XPDF"), kXTMediumPdf);
  OutputStyle mine;
  mine.name = "Mine";
  mine.medium = kXTMediumPdf;
  mine.default_style = true;  // only the host's own style is a default
  const int32_t id = list.Add(mine);
  EXPECT_NE(id, 0);
  EXPECT_EQ(list.Add(mine), 0);
  EXPECT_EQ(list.DefaultOf(kXTMediumPdf)->id, pdf.id);
  EXPECT_EQ(list.FindName("Mine")->id, id);
  EXPECT_EQ(list.FindName("mine"), nullptr);
}

class PdfExport : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(temp_ / "doc.qxp", ReadFile(std::string(BRENIX_TEST_DATA) + "/doc_pdf.json"));
    std::string error;
    ASSERT_EQ(OpenDocumentFile(host(), temp_ / "doc.qxp", 0, &id_, &error), kXTOk) << error;
    host().app().clock = Clock(HostTime{2026, 3, 4, 5, 6, 7});
    linked_.Clear();
  }
  void TearDown() override { unsetenv("XTHOST_PDF_ADD_EXTENSION"); }
  Host& host() { return linked_.host(); }

  TempFolder temp_;
  LinkedHost linked_;
  int32_t id_ = 0;
};

TEST_F(PdfExport, OnePagePerLayoutPageWithTheTextTheBoxesShow) {
  ASSERT_TRUE(RunPdfCommand(host(), "pdf", temp_ / "out.pdf"));
  const std::string info = Shell("pdfinfo -f 1 -l 2 " + testutil::ShellQuote(temp_ / "out.pdf"));
  for (const std::string& line : std::vector<std::string>{"Pages:           2\n", "Page    1 size:  612 x 792 pts", "Page    2 size:  400 x 600 pts",
        "Title:           " + std::string(kDefaultPdfStyleName) + "\n", "Author:          xthost\n",
        "CreationDate:    Wed Mar  4 05:06:07 2026"}) {
    EXPECT_NE(info.find(line), std::string::npos) << line << " in\n" << info;
  }
  // Page by page: the overset line and the pasteboard box are not drawn.
  const std::string first = Shell("pdftotext -f 1 -l 1 " + testutil::ShellQuote(temp_ / "out.pdf") + " -");
  const std::string second = Shell("pdftotext -f 2 -l 2 " + testutil::ShellQuote(temp_ / "out.pdf") + " -");
  for (const char* text : {"Headline", "Body words here", "Turned"}) {
    EXPECT_NE(first.find(text), std::string::npos) << text << " in\n" << first;
  }
  EXPECT_EQ(second, "Fits here\nSecond line\nThird line\n\n\f");
  EXPECT_EQ(first.find("Pasteboard"), std::string::npos);
  const std::string fonts = Shell("pdffonts " + testutil::ShellQuote(temp_ / "out.pdf"));
  EXPECT_NE(fonts.find("DejaVuSerif-Italic"), std::string::npos) << fonts;
  EXPECT_NE(fonts.find("Bold"), std::string::npos) << fonts;
  EXPECT_EQ(ReadFile(temp_ / "out.pdf_pdf.log"),
            "2026-03-04 05:06:07 PDF export of document " + std::to_string(id_) + "\nstyle: " +
                kDefaultPdfStyleName + "\npages: 2\nfile: " + (temp_ / "out.pdf") + "\n");
  EXPECT_EQ(linked_.Lines().back(),
            "pdf export document " + std::to_string(id_) + " to \"out.pdf\" style \"" + kDefaultPdfStyleName +
                "\" pages 2");
}

TEST_F(PdfExport, TheNameIsUsedAsGivenUnlessTheHostIsToldToAddPdf) {
  ASSERT_TRUE(RunPdfCommand(host(), "pdf", temp_ / "plain"));
  EXPECT_TRUE(Exists(temp_ / "plain"));
  EXPECT_FALSE(Exists(temp_ / "plain.pdf"));
  setenv("XTHOST_PDF_ADD_EXTENSION", "1", 1);
  ASSERT_TRUE(RunPdfCommand(host(), "pdf", temp_ / "added"));
  EXPECT_TRUE(Exists(temp_ / "added.pdf"));
  EXPECT_FALSE(Exists(temp_ / "added"));
  EXPECT_TRUE(Exists(temp_ / "added_pdf.log"));
  WriteFile(temp_ / "private", "");  // at the name given a private file: the PDF and its log are private
  ASSERT_TRUE(::chmod((temp_ / "private").c_str(), 0600) == 0 && RunPdfCommand(host(), "pdf", temp_ / "private"));
  struct stat pdf {}, log {};
  EXPECT_TRUE(!::stat((temp_ / "private.pdf").c_str(), &pdf) && !::stat((temp_ / "private_pdf.log").c_str(), &log) &&
              ((pdf.st_mode | log.st_mode) & 077) == 0);
}

TEST_F(PdfExport, WithoutAnOutputFileOrADocumentTheExportFails) {
  std::string error;
  EXPECT_EQ(ExportPdf(host(), id_, "", &error), kXTErrNotFound);
  EXPECT_EQ(error, "no output file");
  EXPECT_EQ(kPdfSuite.export_project(id_, kXTExportPdf, 0xFFFF), kXTErrNotFound);
  EXPECT_EQ(kPdfSuite.export_project(id_, 0x12345678, 0xFFFF), kXTErrRefused);
  EXPECT_EQ(ExportPdf(host(), 999, temp_ / "x.pdf", &error), kXTErrParam);
  EXPECT_NE(ExportPdf(host(), id_, temp_ / "missing/x.pdf", &error), kXTOk);
  EXPECT_FALSE(Exists(temp_ / "missing"));
  EXPECT_EQ(testutil::Entries(temp_.path()), (std::set<std::string>{"doc.qxp"}));
  CloseDocument(host(), id_, "test");
  EXPECT_FALSE(RunPdfCommand(host(), "pdf", temp_ / "y.pdf"));
  EXPECT_EQ(linked_.Lines().back(), "pdf failed: no current document");
}

TEST_F(PdfExport, ImportedStylesAreListedAndAStyleNameStaysTheFirstOnes) {
  WriteFile(temp_ / "styles.xml",
            "<OutputStyles><OutputStyle Name=\"Brenix High\" OutputMedia=\"XPDF\"/>"
            "<OutputStyle Name=\"Proof\" OutputMedia=\"XPRT\"/></OutputStyles>");
  ASSERT_TRUE(RunPdfCommand(host(), "import-output-styles", temp_ / "styles.xml"));
  ASSERT_TRUE(RunPdfCommand(host(), "import-output-styles", temp_ / "styles.xml"));
  ASSERT_TRUE(RunPdfCommand(host(), "output-styles", ""));
  EXPECT_EQ(linked_.Lines(), (std::vector<std::string>{
                                 "output styles imported 2 from \"styles.xml\"",
                                 "output styles imported 0 from \"styles.xml\"",
                                 "output style 1 \"" + std::string(kDefaultPdfStyleName) + "\" medium XPDF default",
                                 "output style 2 \"Brenix High\" medium XPDF",
                                 "output style 3 \"Proof\" medium XPRT",
                             }));
  WriteFile(temp_ / "bad.xml", "<OutputStyles>");
  EXPECT_FALSE(RunPdfCommand(host(), "import-output-styles", temp_ / "bad.xml"));
  EXPECT_FALSE(RunPdfCommand(host(), "import-output-styles", temp_ / "none.xml"));
}

TEST_F(PdfExport, NewProjectsTakeTheirSizeAndRefuseMarginsThatLeaveNoRoom) {
  constexpr int32_t pt = 1 << 16;
  struct Row {
    std::string name;
    int32_t width, height;
    std::vector<int32_t> margins;
    bool made;
  };
  const std::vector<Row> rows = {
      {"Dummy Project", 576 * pt, 792 * pt, {36 * pt, 36 * pt, 36 * pt, 36 * pt}, true},
      {"", 576 * pt, 792 * pt, {0, 0, 0, 0}, false},
      {"Flat", 576 * pt, 0, {0, 0, 0, 0}, false},
      {"Negative", 576 * pt, 792 * pt, {-1, 0, 0, 0}, false},
      {"Crowded", 100 * pt, 792 * pt, {0, 50 * pt, 0, 50 * pt}, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    int32_t id = 0;
    std::string error;
    const int32_t result = NewProjectDocument(host(), row.name, "Dummy Print Layout", row.width, row.height,
                                              row.margins.data(), &id, &error);
    EXPECT_EQ(result == kXTOk, row.made) << error;
    if (!row.made) continue;
    EXPECT_EQ(host().app().current_document, id);
    const DocumentContent& content = *ContentOf(host(), id);
    EXPECT_TRUE(content.untitled);
    ASSERT_EQ(content.layouts.size(), 1u);
    EXPECT_EQ(content.layouts[0].name, u"Dummy Print Layout");
    ASSERT_EQ(content.layouts[0].PageCount(), 1);
    EXPECT_EQ(content.layouts[0].spreads[0].pages[0].width, row.width);
    EXPECT_EQ(content.layouts[0].spreads[0].pages[0].height, row.height);
    // An untitled project saves only to a file it is given.
    EXPECT_EQ(SaveDocument(host(), id, "", &error), kXTErrNotFound);
    EXPECT_EQ(SaveDocument(host(), id, temp_ / "dummy.qxp", &error), kXTOk) << error;
  }
}

}  // namespace
}  // namespace xthost
