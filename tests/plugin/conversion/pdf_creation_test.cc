// PDF creation through the in-process host with the continuation routine
// registered as the plug-in registers it: the PDF checked by pdfinfo and
// pdftotext, the probe of the PDF mode, the output-style presets in the
// host's list, and every way out of CreatePdf leaving PdfPending clear, the
// user's documents open when they have changes, and no partial target.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "host/pdf_commands.h"
#include "host/suite_tables.h"
#include "plugin/conversion/conversion_globals.h"
#include "plugin/conversion/pdf_creation.h"
#include "plugin/conversion/pdf_style_presets.h"
#include "plugin/qapi/file_spec.h"
#include "plugin/qapi/host_file_probe.h"
#include "support/conversion_state.h"
#include "support/host_link.h"
#include "tests/common/files.h"
#include "tests/common/run_command.h"
#include "tests/plugin/qapi/doc_host_util.h"

std::string FixtureText(const std::string& name);

namespace {

namespace fs = std::filesystem;

int32_t RegisterContinuation(XTRegisterRec* record) {
  return record->register_callback(kXTPdfContinuation, ContinuePdfExport, 5, 200, 0);
}
int32_t ActivatePdfOnly(XTActivateRec* record) {
  return record->register_module(RegisterContinuation, 0, 0, 0) == kXTOk ? 0 : 1;
}

// What `tool` prints for the file at `path` (then `tail`); fails the test
// when it fails.
std::string Tool(const std::string& tool, const std::string& path, const std::string& tail = "") {
  int status = 0;
  const std::string out = testutil::RunCommand(tool + " " + testutil::ShellQuote(path) + tail, &status);
  EXPECT_EQ(status, 0) << tool << " " << path;
  return out;
}

// XTHOST_PDF_ADD_EXTENSION while the object lives.
class AddExtension {
 public:
  explicit AddExtension(bool on) {
    if (on) setenv("XTHOST_PDF_ADD_EXTENSION", "1", 1);
  }
  ~AddExtension() { unsetenv("XTHOST_PDF_ADD_EXTENSION"); }
};

class PdfCreation : public ::testing::Test {
 protected:
  PdfCreation() : docs_(std::make_unique<DocHost>()) {
    fs::create_directories(docs_->Path("tmp"));
    fs::create_directories(docs_->Path("out"));
    host().app().temp_folder = docs_->Path("tmp");
    AcquireSuite(xthost::MakeRegisterRec(), kXTSuiteXPDF, XT().xpdf);
    host().StartLinked("pdf", ActivatePdfOnly);
    testutil::WriteFile(docs_->Path("src.qxp"), FixtureText("doc_pdf.json"));
    PdfStepMode = 3;
    PdfPending = false;
    OverwriteFlags.SetAll(1);
    CurrentRequest().Reset();
    docs_->Clear();
  }
  ~PdfCreation() override { CurrentRequest().Reset(); }

  xthost::Host& host() { return docs_->host(); }
  std::string Path(const std::string& name) const { return docs_->Path(name); }
  void Request(const std::string& source, const std::string& target) {
    ASSERT_EQ(CurrentRequest().source.SetFromPath(source), kXTOk);
    ASSERT_EQ(CurrentRequest().target.SetFromPath(target), kXTOk);
  }
  bool HasStyle(const std::string& name) { return host().app().output_styles.FindName(name) != nullptr; }
  std::string Transcript() const {
    std::string text;
    for (const std::string& line : docs_->Lines()) text += line + "\n";
    return text;
  }

  std::unique_ptr<DocHost> docs_;
};

TEST_F(PdfCreation, CreatePdfExportsEveryPageWithTheChosenStyleAndClosesTheSource) {
  for (uint32_t preset = kPdfStyleHigh; preset <= kPdfStyleLow; ++preset) {
    EXPECT_TRUE(WritePdfStylePreset(preset));
  }
  PdfStepMode = 2;
  Request(Path("src.qxp"), Path("out/a.pdf"));
  LogCapture log;
  EXPECT_TRUE(CreatePdf(false));
  EXPECT_FALSE(PdfPending);
  EXPECT_EQ(CurrentRequest().target.GetFullPath(), Path("out/a.pdf"));

  const std::string info = Tool("pdfinfo -f 1 -l 2", Path("out/a.pdf"));
  EXPECT_NE(info.find("Pages:           2\n"), std::string::npos) << info;
  EXPECT_NE(info.find("Page    1 size:  612 x 792 pts"), std::string::npos) << info;
  EXPECT_NE(info.find("Page    2 size:  400 x 600 pts"), std::string::npos) << info;
  // pdfOutputStyle defaults to the Medium preset.
  EXPECT_NE(info.find("Title:           Brenix Medium\n"), std::string::npos) << info;
  const std::string text = Tool("pdftotext", Path("out/a.pdf"), " -");
  for (const char* shown : {"Headline", "Body words here", "Turned", "Fits here", "Second line", "Third line"}) {
    EXPECT_NE(text.find(shown), std::string::npos) << shown << " in\n" << text;
  }
  for (const char* hidden : {"Overset", "Pasteboard"}) {
    EXPECT_EQ(text.find(hidden), std::string::npos) << hidden << " in\n" << text;
  }
  EXPECT_FALSE(testutil::Exists(Path("out/a.pdf_pdf.log")));
  EXPECT_TRUE(host().app().documents.empty());
  const std::string logged = log.Text();
  for (const char* line : {"Starting PDF creation ...\n", "Source:   ", "... finished.\n"}) {
    EXPECT_NE(logged.find(line), std::string::npos) << line << " in\n" << logged;
  }
  EXPECT_NE(logged.find("Target:   " + Path("out/a.pdf")), std::string::npos) << logged;
}

TEST_F(PdfCreation, TheModeDecidesTheNameHandedAndThePdfLandsAtTheTarget) {
  struct Row {
    int32_t mode;
    bool hostAdds;
    std::string handed;  // as the host's transcript names it: a name of the export's own beside the target
  };
  const std::vector<Row> rows = {{2, false, "\\.~[0-9]+-[0-9]+"}, {0, false, "\\.~[0-9]+-[0-9]+"},
                                 {1, true, "\\.~[0-9]+-[0-9]+\\.pdf"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.mode);
    AddExtension add(row.hostAdds);
    PdfStepMode = row.mode;
    fs::remove(Path("out/a.pdf"));
    Request(Path("src.qxp"), Path("out/a.pdf"));
    docs_->Clear();
    EXPECT_TRUE(CreatePdf(false));
    EXPECT_TRUE(testutil::Exists(Path("out/a.pdf")));
    EXPECT_FALSE(testutil::Exists(Path("out/a")));
    EXPECT_EQ(CurrentRequest().target.GetFullPath(), Path("out/a.pdf"));
    EXPECT_TRUE(std::regex_search(Transcript(), std::regex("to \"" + row.handed + "\" style"))) << Transcript();
    EXPECT_EQ(std::distance(fs::directory_iterator(Path("out")), fs::directory_iterator()), 1);
  }
}

TEST_F(PdfCreation, TargetFromProjectCutsFourCharacterExtensionsAndAddsPdfByMode) {
  struct Row {
    std::string target;
    int32_t mode;
    std::string expected;
  };
  const std::vector<Row> rows = {
      {"a.pdf", 1, "a"},          {"a.pdf", 3, "a"},          {"a.pdf", 2, "a.pdf"},
      {"a.pdf", 0, "a.pdf"},      {"a.qxp", 2, "a.pdf"},      {"a.pdfx", 1, "a.pdfx"},
      {"a.pdfx", 2, "a.pdfx.pdf"}, {"x.kxq", 3, "x"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.target + " mode " + std::to_string(row.mode));
    PdfStepMode = row.mode;
    Request(Path("src.qxp"), Path("out/" + row.target));
    std::string path = "unchanged";
    EXPECT_EQ(CnvTools::SetTargetFromProject(path), kXTOk);
    EXPECT_EQ(path, Path("out/" + row.expected));
    EXPECT_EQ(CurrentRequest().target.GetFullPath(), path);
  }
}

TEST_F(PdfCreation, FailuresReturnFalseLeaveNoTargetAndClearThePendingMark) {
  struct Row {
    std::string name, fail, source;
    bool targetExists;
    std::string logged;
  };
  const std::vector<Row> rows = {
      {"missing source", "", "missing.qxp", false, "Unable to open apparently invalid source file!"},
      {"no file object", "new_file:1", "src.qxp", false, "Unable to open apparently invalid source file!"},
      {"no spec", "make_spec:1", "src.qxp", false, "Unable to open apparently invalid source file!"},
      {"target exists", "", "src.qxp", true, "Target already exists!"},
      {"export fails", "export_project:1", "src.qxp", false, "PDF creation failed!"},
      {"no output file", "set_output_file:1", "src.qxp", false, "PDF creation failed!"},
      {"no target path", "file_spec:*", "src.qxp", false, "PDF creation failed!"},
      {"close fails", "close_project:1", "src.qxp", false, "PDF creation failed!"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    PdfStepMode = 2;
    OverwriteFlags.pdfTarget = row.targetExists ? 0 : 1;
    fs::remove(Path("out/a.pdf"));
    if (row.targetExists) testutil::WriteFile(Path("out/a.pdf"), "user's file");
    Request(Path(row.source), Path("out/a.pdf"));
    docs_->Fail(row.fail);
    LogCapture log;
    EXPECT_FALSE(CreatePdf(false));
    docs_->Fail("");
    EXPECT_FALSE(PdfPending);
    EXPECT_NE(log.Text().find(row.logged), std::string::npos) << log.Text();
    if (row.targetExists) {
      EXPECT_EQ(testutil::ReadFile(Path("out/a.pdf")), "user's file");
    } else if (row.name != "close fails") {
      EXPECT_FALSE(testutil::Exists(Path("out/a.pdf")));
    }
    // Only a failed close leaves the (unchanged) source open.
    EXPECT_EQ(host().app().documents.size(), row.name == "close fails" ? 1u : 0u);
    for (const xthost::Document& document : std::vector<xthost::Document>(host().app().documents)) {
      host().app().CloseDocument(document.id);
    }
  }
}

TEST_F(PdfCreation, AChangedSourceThatWasOpenStaysOpenAndThePdfCountsAsMade) {
  const int32_t id = docs_->Open("doc_pdf.json", "src.qxp");
  docs_->content().flags = 1;
  PdfStepMode = 2;
  Request(Path("src.qxp"), Path("out/a.pdf"));
  EXPECT_TRUE(CreatePdf(false));
  EXPECT_TRUE(testutil::Exists(Path("out/a.pdf")));
  ASSERT_NE(host().app().FindDocument(id), nullptr);
  EXPECT_EQ(host().app().FindDocument(id)->content->flags, 1u);
  EXPECT_FALSE(PdfPending);
}

TEST_F(PdfCreation, ADocumentThatMayHaveChangesIsLeftOpenAndTheLogSaysSo) {
  PdfStepMode = 2;
  Request(Path("src.qxp"), Path("out/a.pdf"));
  // The host cannot tell whether the opened source changed.
  docs_->Fail("state_flags:1");
  LogCapture log;
  EXPECT_TRUE(CreatePdf(false));
  EXPECT_TRUE(testutil::Exists(Path("out/a.pdf")));
  EXPECT_EQ(host().app().documents.size(), 1u);
  EXPECT_NE(log.Text().find("NOTICE:   Source has unsaved changes: left open."), std::string::npos) << log.Text();
  EXPECT_NE(log.Text().find("... finished."), std::string::npos);
}

TEST_F(PdfCreation, TheChangedCurrentDocumentIsNeverClosed) {
  // The export finds the current document changed (as it is when the host
  // makes an open file current instead of opening it again).
  const int32_t id = docs_->Open("doc_pdf.json", "other.qxp");
  docs_->content().flags = 2;
  PdfStepMode = 2;
  OverwriteFlags.pdfTarget = 0;
  testutil::WriteFile(Path("out/a.pdf"), "user's file");
  Request(Path("missing.qxp"), Path("out/a.pdf"));
  EXPECT_FALSE(CreatePdf(true));
  ASSERT_NE(host().app().FindDocument(id), nullptr);
  EXPECT_FALSE(PdfPending);
  EXPECT_EQ(testutil::ReadFile(Path("out/a.pdf")), "user's file");
}

TEST_F(PdfCreation, ContinuationActsOnlyWhilePendingAndInStateThree) {
  PdfStepMode = 2;
  Request(Path("src.qxp"), Path("out/a.pdf"));
  struct Row {
    bool pending;
    int32_t state;
  };
  for (const Row& row : std::vector<Row>{{false, 3}, {true, 2}, {true, 0}}) {
    SCOPED_TRACE(std::to_string(row.pending) + " " + std::to_string(row.state));
    PdfPending = row.pending;
    XTPdfRec record{kXTPdfContinuation, 1, row.state};
    docs_->Clear();
    EXPECT_EQ(ContinuePdfExport(&record), 0);
    EXPECT_EQ(Transcript(), "");
    EXPECT_EQ(CurrentRequest().target.GetFullPath(), Path("out/a.pdf"));
  }
  PdfPending = false;
  // An export the user starts: the routine leaves the host's choice alone.
  docs_->Open("doc_pdf.json", "src.qxp");
  EXPECT_TRUE(xthost::RunPdfCommand(host(), "pdf", Path("out/user.pdf")));
  EXPECT_TRUE(testutil::Exists(Path("out/user.pdf")));
  EXPECT_NE(Transcript().find("style \"" + std::string(xthost::kDefaultPdfStyleName) + "\""), std::string::npos);
  EXPECT_EQ(CurrentRequest().target.GetFullPath(), Path("out/a.pdf"));
  EXPECT_FALSE(testutil::Exists(Path("out/a.pdf")));
}

TEST_F(PdfCreation, ProbeFindsTheModeInAFolderOfItsOwnAndLeavesTheUsersFiles) {
  // Decoys in the PDF folder: the probe never goes there.
  PdfFolderPath = Path("out");
  for (const char* name : {"dummy.qxp", "dummy.pdf", "dummy"}) testutil::WriteFile(Path("out/") + name, name);
  // A link where the presets once went, to a file of someone else's: the
  // presets go to a folder of the run's own and never through it.
  testutil::WriteFile(Path("victim"), "someone else's");
  fs::create_symlink(Path("victim"), Path("tmp/BX_PdfStyle_Medium.xml"));
  struct Row {
    std::string name;
    bool hostAdds;
    std::string fail;
    int32_t mode;
  };
  const std::vector<Row> rows = {
      {"host writes the name", false, "", 2},
      {"host adds .pdf", true, "", 1},
      {"export fails", false, "export_project:*", 0},
      {"no project", false, "new_project:1", 0},
      {"not saved", false, "save_document:1", 0},
      {"no output file", false, "set_output_file:*", 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    AddExtension add(row.hostAdds);
    docs_->Fail(row.fail);
    EXPECT_EQ(ProbePdfMode(3), row.mode);
    docs_->Fail("");
    EXPECT_FALSE(PdfPending);
    EXPECT_TRUE(host().app().documents.empty());
    EXPECT_EQ(testutil::Entries(Path("tmp")), (std::set<std::string>{"BX_PdfStyle_Medium.xml"}))
        << "the probe's and the presets' folders are gone";
    EXPECT_EQ(testutil::ReadFile(Path("victim")), "someone else's");
    for (const char* name : {"dummy.qxp", "dummy.pdf", "dummy"}) {
      EXPECT_EQ(testutil::ReadFile(Path("out/") + name), name);
    }
  }
  for (const char* style : {"Brenix High", "Brenix Medium", "Brenix Low"}) EXPECT_TRUE(HasStyle(style)) << style;
  // Known modes need no probe.
  for (const auto& [given, answer] : std::vector<std::pair<int32_t, int32_t>>{{0, 0}, {2, 0}, {1, 3}, {7, 3}}) {
    EXPECT_EQ(ProbePdfMode(given), answer) << given;
  }
}

TEST_F(PdfCreation, PresetsKeepAUsersStyleOfTheSameNameAndSelectIt) {
  testutil::WriteFile(Path("user.xml"),
                      "<OutputStyles><OutputStyle Name=\"Brenix High\" OutputMedia=\"XPDF\">"
                      "<OutputSettings XTid=\"XPDF\"><DocInfo Title=\"The user's own\"/></OutputSettings>"
                      "</OutputStyle></OutputStyles>");
  int32_t added = 0;
  std::string error;
  ASSERT_EQ(xthost::ImportOutputStyles(host(), Path("user.xml"), &added, &error), kXTOk) << error;
  const xthost::OutputStyle* user = host().app().output_styles.FindName("Brenix High");
  ASSERT_NE(user, nullptr);
  const int32_t userId = user->id;

  EXPECT_FALSE(WritePdfStylePreset(kPdfStyleHigh));  // written, not imported
  EXPECT_EQ(host().app().output_styles.FindName("Brenix High")->title, "The user's own");
  EXPECT_EQ(ImportOutputStyleFile(Path("tmp/BX_PdfStyle_High.xml"), "Brenix High"), 12);
  EXPECT_TRUE(OutputStyleExists("Brenix High"));
  EXPECT_FALSE(OutputStyleExists("Brenix high"));

  const int32_t fallback = host().app().output_styles.DefaultOf(kXTMediumPdf)->id;
  struct Row {
    uint32_t preset;
    int32_t result;
    int32_t selected;
  };
  // Low was never imported: the host's default PDF style.
  for (const Row& row : std::vector<Row>{{1, 0, userId}, {0, 0, fallback}, {3, 0, fallback}, {4, 12, 0}}) {
    SCOPED_TRACE(row.preset);
    host().app().output_styles.selected = 0;
    EXPECT_EQ(ApplyPdfOutputStyle(row.preset), row.result);
    EXPECT_EQ(host().app().output_styles.selected, row.selected);
  }
  docs_->Fail("style_list:*");
  EXPECT_EQ(ApplyPdfOutputStyle(1), 12);
  docs_->Fail("default_style:*");
  EXPECT_EQ(ApplyPdfOutputStyle(0), 12);
  docs_->Fail("");

  EXPECT_FALSE(WritePdfStylePreset(4));
  EXPECT_FALSE(WritePdfStylePreset(kPdfStyleDefault));  // an empty file, no style
  EXPECT_EQ(testutil::Entries(Path("tmp")), std::set<std::string>{});
  EXPECT_EQ(host().app().output_styles.styles().size(), 2u);
}

TEST_F(PdfCreation, ProbeHostFileGivesTheFirstStatusThatIsNotZero) {
  testutil::WriteFile(Path("out/there"), "x");
  struct Row {
    std::string name, path, fail;
    int32_t result;
    bool remains;
  };
  const std::vector<Row> rows = {
      {"removed", "out/there", "", 0, false},
      {"missing", "out/there", "", kXTErrNotFound, false},
      {"no folder", "nowhere/there", "", kXTErrNoFolder, false},
      {"no file object", "out/kept", "new_file:1", kXTErrInjected, true},
      {"not deleted", "out/kept", "delete_file:1", kXTErrInjected, true},
  };
  testutil::WriteFile(Path("out/kept"), "x");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    docs_->Fail(row.fail);
    EXPECT_EQ(CnvTools::ProbeHostFile(Path(row.path)), row.result);
    EXPECT_EQ(testutil::Exists(Path(row.path)), row.remains);
  }
  docs_->Fail("");
  EXPECT_EQ(host().files.size(), 0u);
}

}  // namespace
