// Failures told with their reasons, the way a user meets them through the
// menu: a host call that fails under a file dialog, the text converter or
// the memory manager ends the command in its failure dialog with an
// "ERROR:" line naming what failed (a cancelled dialog is no error).  (An
// export into a full file system: tests/plugin/brenix/output_faults_test.cc.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui_run_util.h"

namespace {

using namespace ui_run;

const char kExtended[] =
    "[Options]\nextendedInterface = True\naddMenuItemExportCoords = True\naddMenuItemExportKrm = True\n";

enum class Command { kContainer, kCoordinates, kXTags, kImport };

const char* Item(Command command) {
  switch (command) {
    case Command::kContainer: return "Export current document";
    case Command::kCoordinates: return "Export PDF coordinates";
    case Command::kXTags: return "Export XTags";
    case Command::kImport: return "Import Solvane file";
  }
  return "";
}

// The command through the menu with the answers a user gives.
std::vector<std::string> Commands(Command command, const fs::path& root, const std::string& answer) {
  if (command == Command::kImport) {
    return {"--answer", answer.empty() ? (root / "doc.kxq").string() : answer, "--answer",
            (root / "out.qxp").string(), "--answer", "OK", "start", "menu", Item(command)};
  }
  return {"--answer", answer.empty() ? (root / "out" / "t.out").string() : answer, "start", "open", "doc.qxp",
          "menu", Item(command)};
}

TEST(FailureMessages, EachFailureEndsInItsDialogWithAnErrorLineSayingWhatFailed) {
  const std::string document = ReadFile(fs::path(BRENIX_TEST_DATA) / "doc_pdf.json");
  struct Case {
    const char* failing;  // XTHOST_FAIL, or "" for none
    Command command;
    const char* answer;   // the dialog's answer, "" for the usual
    const char* said;     // in the program log; "" for no "ERROR:" line at all
  };
  const Case cases[] = {
      {"run_save_dialog:1", Command::kContainer, "", "ERROR: the file dialog \"Solvane output file name:\" failed"},
      {"new_file_dialog:*", Command::kCoordinates, "",
       "ERROR: the file dialog \"Coordinates output file name:\" failed"},
      {"chosen_spec:1", Command::kXTags, "", "ERROR: the file dialog \"KRM output file name:\" failed"},
      {"run_open_dialog:1", Command::kImport, "", "ERROR: the file dialog \"Choose Solvane file to import:\" failed"},
      {"run_save_dialog:1", Command::kImport, "", "ERROR: the file dialog \"Output document name:\" failed"},
      {"convert_from_text:*", Command::kXTags, "", "ERROR: host call convert_from_text failed"},
      {"new_handle:*", Command::kImport, "", "ERROR: host call new_handle failed"},
      {"", Command::kContainer, "cancel", ""},
      {"", Command::kImport, "cancel", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.failing) + " " + Item(c.command) + " " + c.answer);
    Installation install(kExtended);
    WriteFile(install.root() / "doc.qxp", document);
    fs::create_directory(install.root() / "out");
    if (c.command == Command::kImport) {
      ASSERT_EQ(LastDialog(RunHost(install, Commands(Command::kContainer, install.root(),
                                                     (install.root() / "doc.kxq").string()))),
                "Export done");
    }
    std::vector<std::string> env;
    if (*c.failing != '\0') env.push_back(std::string("XTHOST_FAIL=") + c.failing);
    const HostRun run = RunHost(install, Commands(c.command, install.root(), c.answer), env);
    EXPECT_TRUE(Clean(run)) << run.errors;
    EXPECT_EQ(LastDialog(run), c.command == Command::kImport ? "Import failed" : "Export failed");
    if (*c.said == '\0') {
      EXPECT_EQ(run.log.find("ERROR:"), std::string::npos) << run.log;
    } else {
      EXPECT_NE(run.log.find(c.said), std::string::npos) << run.log;
    }
  }
}

}  // namespace
