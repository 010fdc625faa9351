// The open and save dialogs of a request, their prompts and filters.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "plugin/qapi/file_dialogs.h"
#include "support/brenix_interface.h"
#include "support/host_file_spec.h"
#include "ui_session_util.h"

namespace {

namespace fs = std::filesystem;

TEST(FileTypeFilter, KrmBeforeCoordinatesBeforeSolvane) {
  EXPECT_STREQ(FileTypeFilter(true, true, true).name, "KRM Files");
  EXPECT_STREQ(FileTypeFilter(true, true, false).name, "Coordinate Files");
  EXPECT_STREQ(FileTypeFilter(true, false, false).name, "Solvane Files");
  EXPECT_STREQ(FileTypeFilter(false, false, false).name, "Quark Files");
  EXPECT_STREQ(kQuarkFilter.type, "QXP");
  EXPECT_STREQ(kSolvaneFilter.type, "kxq");
  EXPECT_STREQ(kCoordinatesFilter.type, "coo");
  EXPECT_STREQ(kKrmFilter.type, "krm");
}

TEST(OpenDialog, ChoosesAFileOrLeavesThePathAlone) {
  Session session;
  session.files = {{"docs/a.qxp", "x"}};
  session.answers = {"docs/a.qxp", "cancel", "docs/missing.kxq"};
  const std::string out = RunSession(session, [](xthost::Host&) {
    std::string path = "unchanged";
    std::string text = ChooseDocumentToExport(path) ? "chosen " : "not ";
    text += (path == (fs::current_path() / "docs/a.qxp").string() ? "a.qxp" : path) + "\n";
    path = "unchanged";
    text += ChooseFileToImport(path) ? "chosen " : "not ";
    text += path + "\n";
    text += ChooseFileToImport(path) ? "chosen " : "not ";
    text += path + "\n";
    text += ChooseFileToImport(path) ? "chosen " : "not ";
    return text + path + "\n";
  });
  EXPECT_EQ(BodyResult(out), "chosen a.qxp\nnot unchanged\nnot unchanged\nnot unchanged\n");
  const std::vector<std::string> lines = Lines(out, {"open dialog \""});
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "open dialog \"Choose Quark document to export:\" filter \"Quark Files\" QXP",
                       "open dialog \"Choose Solvane file to import:\" filter \"Solvane Files\" kxq",
                       "open dialog \"Choose Solvane file to import:\" filter \"Solvane Files\" kxq",
                       "open dialog \"Choose Solvane file to import:\" filter \"Solvane Files\" kxq"}));
  EXPECT_EQ(Lines(out, {"open dialog c", "open dialog n"}),
            (std::vector<std::string>{"open dialog cancelled",
                                      "open dialog no file \"docs/missing.kxq\": cancelled",
                                      "open dialog no answer left: cancelled"}));
  EXPECT_EQ(Lines(out, {"ui left"}).size(), 0u);
}

TEST(OpenDialog, MultiDocModeAsksForABookAndForSolvaneFiles) {
  const std::string out = RunSession(Session(), [](xthost::Host&) {
    const bool on = true;
    BrenixInterface::Instance()->SetMultiDocMode(on);
    std::string path;
    ChooseDocumentToExport(path);
    ChooseFileToImport(path);
    return std::string();
  });
  EXPECT_EQ(Lines(out, {"open dialog \""}),
            (std::vector<std::string>{
                "open dialog \"Choose Quark book to export:\" filter \"Quark Files\" QXP",
                "open dialog \"Import Solvane Files\" filter \"Solvane Files\" kxq"}));
}

// A spec of `path` through the host.
XTFileSpec SpecOf(const std::string& path) {
  XTFileSpec spec{};
  xt_fsmakefsspec(0, 0, path, spec, true, false, false, nullptr, 0, false, nullptr);
  return spec;
}

std::string Name(const XTFileSpec& spec) {
  std::string name;
  GetRecordName(spec, name);
  return name;
}

TEST(SaveDialog, ProposesTheKindsExtensionAndTakesTheChoice) {
  Session session;
  session.files = {{"work/story.qxp", "x"}};
  session.answers = {"", "work/other.coo", "cancel"};
  const std::string out = RunSession(session, [](xthost::Host&) {
    std::string text;
    // An empty answer names no file: the dialog is cancelled.
    XTFileSpec spec = SpecOf("work/story.qxp");
    text += AskKxtOutputName(spec) ? "saved " : "not ";
    text += Name(spec) + "\n";
    text += AskCoordinatesOutputName(spec) ? "saved " : "not ";
    text += Name(spec) + "\n";
    text += AskKrmOutputName(spec) ? "saved " : "not ";
    text += Name(spec) + "\n";
    // Without an answer the proposal is taken.
    text += AskImportOutputName(spec) ? "saved " : "not ";
    text += Name(spec) + "\n";
    return text;
  });
  EXPECT_EQ(BodyResult(out), "not story.qxp\nsaved other.coo\nnot other.coo\nsaved other.qxp\n");
  std::vector<std::string> prompts;
  for (const std::string& line : Lines(out, {"save dialog \""})) {
    prompts.push_back(line.substr(0, line.find('"', 13) + 1) + line.substr(line.rfind(" filter")));
  }
  EXPECT_EQ(prompts, (std::vector<std::string>{
                         "save dialog \"Solvane output file name:\" filter \"Solvane Files\" kxq",
                         "save dialog \"Coordinates output file name:\" filter \"Coordinate Files\" coo",
                         "save dialog \"KRM output file name:\" filter \"KRM Files\" krm",
                         "save dialog \"Output document name:\" filter \"Quark Files\" QXP"}));
  const std::vector<std::string> lines = Lines(out, {"save dialog \""});
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_NE(lines[0].find("/work/story.kxq\""), std::string::npos) << lines[0];
  EXPECT_NE(lines[3].find("/work/other.qxp\""), std::string::npos) << lines[3];
  EXPECT_TRUE(Lines(out, {"ui left"}).empty());
  EXPECT_NE(MergedOf(out).find("handles strings=0 paths=0 converters=0 files=0"), std::string::npos);
}

}  // namespace
