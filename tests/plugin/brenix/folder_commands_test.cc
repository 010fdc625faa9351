// The folder commands in one host run with scripted answers: the
// multi-document export through its dialogs, the overwrite question (a
// "Cancel" in the KXQ and PDF dialog runs neither export; a later "Yes"
// replaces the targets), path fields set up with the host and undoing
// typing, browsed folders saved in the settings file, and a field that
// cannot be filled after an earlier command.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/common/export_document.h"
#include "ui_run_util.h"

namespace {

using namespace ui_run;

// The transcript lines that hold `part`.
std::vector<std::string> With(const HostRun& run, const std::string& part) {
  std::vector<std::string> kept;
  for (const std::string& line : run.transcript) {
    if (line.find(part) != std::string::npos) kept.push_back(line);
  }
  return kept;
}

TEST(FolderCommands, CancelThenYesAndPathFields) {
  Installation install("[Options]\nextendedInterface = True\n");
  const std::string document = ReadFile(fs::path(BRENIX_TEST_DATA) / "doc_minimal.json");
  const std::string source = (install.root() / "src").string();
  const std::string kxq = (install.root() / "T").string();
  const std::string pdf = (install.root() / "P").string();
  for (const std::string& folder : {source, kxq, pdf}) fs::create_directories(folder);
  WriteFile(source + "/a.qxp", document);
  WriteFile(source + "/c.qxp", document);
  WriteFile(kxq + "/a.kxq", "old a");
  WriteFile(kxq + "/c.kxq", "old c");
  WriteFile(kxq + "/other.kxq", "not a target");
  const std::string menu = "Export multiple documents";
  std::vector<std::string> args;
  for (const std::string& answer : {
           // KXQ and PDF: both folders browsed, then "Cancel" for the KXQ target.
           source, std::string("Generate KXQ files;Generate PDF files;OK"), std::string("#1012;#1013;Export"),
           kxq, pdf, std::string("Cancel"),
           // KXQ alone: typing into the field is undone, then "Yes".
           source, std::string("Generate KXQ files;OK"), std::string("#1009=typed;Export"),
           std::string("Yes"), std::string("OK")}) {
    args.insert(args.end(), {"--answer", answer});
  }
  args.insert(args.end(), {"start", "menu", menu, "menu", menu});
  const HostRun run = RunHost(install, args);
  ASSERT_TRUE(Clean(run)) << run.errors;

  // The browsed folders are kept in brenix.ini.
  const std::string settings = ReadFile(install.root() / "XTensions" / "brenix.ini");
  EXPECT_NE(settings.find(kxq), std::string::npos) << settings;
  EXPECT_NE(settings.find(pdf), std::string::npos) << settings;
  // Typed text gave way to the stored path at once.
  const std::vector<std::string> fields = With(run, " item 1009 ");
  ASSERT_GE(fields.size(), 2u);
  EXPECT_NE(fields[fields.size() - 2].find(" item 1009 set \"typed\""), std::string::npos)
      << fields[fields.size() - 2];
  EXPECT_NE(fields.back().find(" item 1009 text \"" + kxq + "\""), std::string::npos) << fields.back();

  // Prepared: each "..." button and each path field set up with the host.
  for (const char* button : {"1012", "1013", "1008"}) {
    EXPECT_EQ(With(run, std::string(" item ") + button + " button \"...\" browses").size(), 1u) << button;
  }
  const std::vector<std::string> pathFields = {"1010 field \"\"", "1011 field \"\"", "1009 field \"" + kxq + "\""};
  for (const std::string& field : pathFields) {
    EXPECT_EQ(With(run, " item " + field + " setup 32 80 1000 0 6553600 26").size(), 1u) << field;
  }
  // Fields without a path of their own tell the host at first display (2),
  // and so does each stored choice (4); the second command's field shows
  // its stored path and tells nothing.
  std::vector<std::string> notices;
  for (const std::string& line : With(run, " notice ")) notices.push_back(line.substr(line.find(" notice ")));
  EXPECT_EQ(notices, (std::vector<std::string>{" notice 2", " notice 2", " notice 4", " notice 4"}));

  // Two overwrite questions; only the second command converted.
  EXPECT_EQ(With(run, " resource 111 ").size(), 2u);
  EXPECT_EQ(Count(run.log, "IMPORT/EXPORT-FILES"), 1u) << run.log;
  EXPECT_FALSE(fs::exists(pdf + "/a.pdf"));
  EXPECT_EQ(ReadFile(kxq + "/a.kxq").substr(0, 4), "\xD0\xCF\x11\xE0");
  EXPECT_EQ(ReadFile(kxq + "/c.kxq").substr(0, 4), "\xD0\xCF\x11\xE0");
  EXPECT_EQ(ReadFile(kxq + "/other.kxq"), "not a target");
  EXPECT_EQ(Only(run, {"alert 512 \"Conversion finished.\""}).size(), 1u);
  EXPECT_EQ(run.transcript.back(), kNoHandles);
}

}  // namespace

namespace {

// With the source folder's name in the target, the overwrite check looks
// into that sub-folder (the only place holding containers) and the
// containers land there.
TEST(FolderCommands, SourceFolderNameInTheTarget) {
  Installation install("[Options]\nextendedInterface = True\nincludeSourceFolderInTarget = True\n");
  const std::string source = (install.root() / "jobs").string();
  const std::string kxq = (install.root() / "T").string();
  fs::create_directories(source);
  fs::create_directories(kxq + "/jobs");
  WriteFile(source + "/a.qxp", ReadFile(fs::path(BRENIX_TEST_DATA) / "doc_minimal.json"));
  WriteFile(kxq + "/jobs/a.kxq", "old a");
  const HostRun run = RunHost(install, {"--answer", source, "--answer", "Generate KXQ files;OK", "--answer",
                                        "#1008;Export", "--answer", kxq, "--answer", "Yes", "--answer", "OK",
                                        "start", "menu", "Export multiple documents"});
  ASSERT_TRUE(Clean(run)) << run.errors;
  EXPECT_EQ(With(run, " resource 111 ").size(), 1u);
  EXPECT_EQ(ReadFile(kxq + "/jobs/a.kxq").substr(0, 4), "\xD0\xCF\x11\xE0");
  EXPECT_FALSE(fs::exists(kxq + "/a.kxq"));
}

}  // namespace

namespace {

// The import dialog leaves its target in the second folder record; in the
// KXQ and PDF dialog run next, the KXQ folder (deleted since) cannot be
// filled, so the PDF field stays empty: the PDF files go to the PDF folder
// of the settings, not to the import's target.
TEST(FolderCommands, AnUnfilledFieldKeepsNoFolderOfAnEarlierCommand) {
  Installation install;
  const std::string source = (install.root() / "src").string();
  const std::string empty = (install.root() / "E").string();
  const std::string documents = (install.root() / "D").string();
  const std::string kxq = (install.root() / "gone" / "K").string();
  const std::string pdf = (install.root() / "P").string();
  for (const std::string& folder : {source, empty, documents, pdf}) fs::create_directories(folder);
  WriteFile(source + "/a.qxp", testutil::ExportDocument(2, 2));
  install.WriteSettings("[Options]\nextendedInterface = True\n[Path]\nSourceKXQPath = " + empty +
                        "\nTargetBookPath = " + documents + "\nTargetKXQPath = " + kxq + "\nTargetPDFPath = " + pdf +
                        "\n");
  const HostRun run = RunHost(install, {"--answer", "Import", "--answer", "OK", "--answer", source, "--answer",
                                        "Generate KXQ files;Generate PDF files;OK", "--answer", "Export", "start",
                                        "menu", "Import multiple Solvane files", "menu", "Export multiple documents"});
  ASSERT_TRUE(Clean(run)) << run.errors;
  EXPECT_EQ(ReadFile(pdf + "/a.pdf").substr(0, 5), "%PDF-");
  EXPECT_FALSE(fs::exists(documents + "/a.pdf"));
  EXPECT_EQ(ReadFile(kxq + "/a.kxq").substr(0, 4), "\xD0\xCF\x11\xE0");
}

}  // namespace
