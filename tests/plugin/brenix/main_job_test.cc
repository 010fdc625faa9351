// The main job's steps (tools/main_job.sh, what tools/run.sh runs after
// building) over this build: the sample exported through the menu with its
// side outputs, translated, imported into a new document and listed.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/common/files.h"
#include "tests/common/kxt_witness_py.h"
#include "tests/common/run_command.h"
#include "tests/common/temp_dir.h"
#include "tests/plugin/brenix/ui_run_util.h"

namespace {

namespace fs = std::filesystem;
using testutil::ReadFile;
using testutil::ShellQuote;

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Runs the main job over the fixture `sample` into `out`; what it printed.
std::string RunMainJob(const fs::path& out, const std::string& sample, int* status) {
  const fs::path build = fs::path(XTHOST_PROGRAM).parent_path().parent_path();
  return testutil::RunCommand(
      "XTHOST_CLOCK='2026-12-07 12:00:00' " + ShellQuote(std::string(BRENIX_TOP) + "/tools/main_job.sh") + " " +
          ShellQuote(build.string()) + " " + ShellQuote(out.string()) + " " +
          ShellQuote(std::string(BRENIX_TEST_DATA) + "/" + sample),
      status);
}

TEST(MainJob, ExportsTranslatesImportsAndListsTheSample) {
  testutil::TempDir dir("brenix-main-job");
  const fs::path out = fs::path(dir.path()) / "out";
  int status = 0;
  const std::string stdout_text = RunMainJob(out, "doc_brochure.json", &status);
  ASSERT_EQ(status, 0) << stdout_text;

  // One announced line per step, in order.
  std::vector<std::string> steps;
  for (const std::string& line : ui_run::SplitLines(stdout_text)) {
    if (line.rfind("== ", 0) == 0) steps.push_back(line.substr(0, 7));
  }
  EXPECT_EQ(steps, (std::vector<std::string>{"== 1/6 ", "== 2/6 ", "== 3/6 ", "== 4/6 ", "== 5/6 ", "== 6/6 "}));
  EXPECT_EQ(Count(stdout_text, "text \"Export done\""), 3u) << stdout_text;
  EXPECT_EQ(Count(stdout_text, "alert 512 \"Conversion finished.\""), 1u) << stdout_text;
  EXPECT_EQ(Count(stdout_text, "text \"Import done\""), 1u) << stdout_text;

  // The listed stories are the translated ones: each word carries the
  // pseudo-translation's two characters.
  EXPECT_NE(stdout_text.find("paragraph 0 [0,20) format 1 style 2 \"Brenix\xC3\xA9\xE4\xB8\xAD Brochure\xC3\xA9\xE4\xB8\xAD\\x0d\""),
            std::string::npos)
      << stdout_text;
  EXPECT_NE(stdout_text.find("Starting export ..."), std::string::npos);
  EXPECT_NE(stdout_text.find("Starting import ..."), std::string::npos);

  // The files, checked by their own readers.
  const std::string name = "doc_brochure";
  EXPECT_EQ(ReadFile(out / (name + ".kxq")).substr(0, 4), "\xD0\xCF\x11\xE0");
  EXPECT_EQ(ReadFile(out / (name + "_translated.kxq")).substr(0, 4), "\xD0\xCF\x11\xE0");
  EXPECT_EQ(ReadFile(out / (name + ".krm")).substr(0, 2), "\xFF\xFE");
  EXPECT_EQ(ReadFile(out / (name + ".coo")).rfind("<?xml", 0), 0u);
  const std::string text =
      testutil::RunCommand("pdftotext " + ShellQuote((out / "pdf" / (name + ".pdf")).string()) + " -", &status);
  EXPECT_EQ(status, 0);
  EXPECT_NE(text.find("Brenix Brochure"), std::string::npos) << text;
  EXPECT_TRUE(fs::exists(out / (name + "_translated.qxp")));

  // No host call failed: the answers "not there" that the PDF probe and
  // the presets get are expected ones, and the PDF part logs no error.
  for (const char* log : {"export.log", "import.log"}) {
    const std::string text = ReadFile(out / log);
    EXPECT_FALSE(text.empty()) << log;
    EXPECT_EQ(text.find("ERROR: host call"), std::string::npos) << log << ":\n" << text;
  }
  const std::string exportLog = ReadFile(out / "export.log");
  const std::size_t pdfPart = exportLog.find("Starting PDF creation ...");
  ASSERT_NE(pdfPart, std::string::npos) << exportLog;
  EXPECT_EQ(exportLog.find("ERROR", pdfPart), std::string::npos) << exportLog.substr(pdfPart);
}

// Groups of a text box and a picture anchored in a used and in an unused
// master box: the menu export places every master story on its master
// page, and the import finds the group's text box on that page again.
TEST(MainJob, GroupsAnchoredInMasterBoxesComeBackTranslated) {
  testutil::TempDir dir("brenix-main-job");
  const fs::path out = fs::path(dir.path()) / "out";
  int status = 0;
  const std::string stdout_text = RunMainJob(out, "doc_master_groups.json", &status);
  ASSERT_EQ(status, 0) << stdout_text;
  EXPECT_EQ(Count(stdout_text, "text \"Import done\""), 1u) << stdout_text;
  EXPECT_EQ(ReadFile(out / "import.log").find("is not found"), std::string::npos) << ReadFile(out / "import.log");
  // Both captions come back pseudo-translated, each word marked.
  const std::string mark = "\xC3\xA9\xE4\xB8\xAD";
  for (const char* word : {"used", "unused"}) {
    const std::string caption = std::string(" ") + word + mark + " master" + mark + "\"";
    EXPECT_NE(stdout_text.find(caption), std::string::npos) << caption << "\n" << stdout_text;
  }

  // Pages, story by story: the copy of the used master box on page 1, the
  // box on page 2, then the group's text box and its holder on "A-Master"
  // (the first user master, 1) and on "B-Unused" (2).  The container's
  // stories and the coordinates file's paragraphs (one each) agree.
  const std::vector<std::string> expected = {"1", "2", "1", "1", "2", "2"};
  std::vector<std::string> stories;
  for (const std::string& line :
       testutil::WitnessLines(testutil::kKxtDumpPy, (out / "doc_master_groups.kxq").string())) {
    const size_t at = line.find("\"sectional_pos\": \"");
    if (line.rfind("story ", 0) == 0 && at != std::string::npos) {
      stories.push_back(line.substr(at + 18, line.find('"', at + 18) - at - 18));
    }
  }
  EXPECT_EQ(stories, expected);
  const std::string coordinates = ReadFile(out / "doc_master_groups.coo");
  std::vector<std::string> paragraphs;
  for (size_t at = coordinates.find(" page=\""); at != std::string::npos; at = coordinates.find(" page=\"", at + 1)) {
    paragraphs.push_back(coordinates.substr(at + 7, coordinates.find('"', at + 7) - at - 7));
  }
  EXPECT_EQ(paragraphs, expected) << coordinates;
}

}  // namespace
