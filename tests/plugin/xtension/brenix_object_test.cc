// The plug-in object's own pieces: the numbered checkpoint, the action
// titles, the actions' global access and their wiring.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "plugin/xtension/action_titles.h"
#include "plugin/xtension/actions.h"
#include "plugin/xtension/breakpoint.h"
#include "plugin/xtension/isolated_util.h"
#include "support/program_log.h"
#include "ui_session_util.h"

namespace {

TEST(BreakPoint, CountsFromZeroInHexadecimal) {
  const std::string text = InChild([] {
    std::ostringstream log;
    ProgramLog().rdbuf(log.rdbuf());
    std::string returned;
    returned += std::to_string(BreakPoint_BX()) + " ";
    for (int i = 0; i < 9; ++i) BreakPoint_BX();
    returned += std::to_string(BreakPoint_BX("Face conflict")) + " ";
    returned += std::to_string(BreakPoint_BX(""));
    return returned + "\n" + log.str();
  });
  std::istringstream lines(text);
  std::vector<std::string> all;
  for (std::string line; std::getline(lines, line);) all.push_back(line);
  ASSERT_EQ(all.size(), 13u) << text;
  EXPECT_EQ(all[0], "0 10 11");
  EXPECT_EQ(all[1], "######## BreakPoint_BX:0");
  EXPECT_EQ(all[10], "######## BreakPoint_BX:9");
  EXPECT_EQ(all[11], "######## BreakPoint_BX:a Face conflict");
  EXPECT_EQ(all[12], "######## BreakPoint_BX:b ");
}

TEST(ActionTitles, NameTheMenuItemsAndNumberTheRest) {
  EXPECT_STREQ(ActionTitle(4), " About Brenix");
  EXPECT_STREQ(ActionTitle(5), " Export current document");
  EXPECT_STREQ(ActionTitle(6), " Export PDF coordinates");
  EXPECT_STREQ(ActionTitle(7), " Export XTags");
  EXPECT_STREQ(ActionTitle(8), " Export multiple documents");
  EXPECT_STREQ(ActionTitle(10), " Export to Solvane");
  EXPECT_STREQ(ActionTitle(15), " Import Solvane file");
  EXPECT_STREQ(ActionTitle(16), " Import multiple Solvane files");
  for (int id : {1, 9, 11, 31, 34, 36}) EXPECT_EQ(ActionTitle(id), nullptr) << id;
  const RefHandle<OpenAndExportAction> action = RefHandle<OpenAndExportAction>::Adopt(new OpenAndExportAction);
  EXPECT_STREQ(action->Name().Text(), " Action 11");
  const RefHandle<ImportButton> button = RefHandle<ImportButton>::Adopt(new ImportButton);
  EXPECT_STREQ(button->Name().Text(), " Import Solvane file");
}

TEST(Actions, WithoutThePluginObjectNothingIsThere) {
  EXPECT_FALSE(GetBeepAction());
  EXPECT_FALSE(GetExportAction());
  XTVoidRec record{0};
  NotifyBeep(&record);  // nothing to perform
  PerformExportAction(&record);
  EXPECT_FALSE(GetKxtExportAction());
  EXPECT_FALSE(GetExportCoordsAction());
  EXPECT_FALSE(GetExportXTagsAction());
  EXPECT_FALSE(GetImportAction());
  PerformKxtExportAction(nullptr);
  PerformExportCoordsAction(nullptr);
  PerformExportXTagsAction(nullptr);
  PerformImportAction(nullptr);
}

TEST(PluginObject, PerformWrappersRunTheirActionAndLeaveItsCountAlone) {
  const std::string out = RunSession(Session(), [](xthost::Host&) {
    std::string text;
    auto counts = [] {
      return std::to_string(ExportAction::Instance()->RefCount()) + "," +
             std::to_string(CoordinatesAction::Instance()->RefCount()) + "," +
             std::to_string(XTagsAction::Instance()->RefCount()) + "," +
             std::to_string(ImportAction::Instance()->RefCount()) + "," +
             std::to_string(ExportButton::Instance()->RefCount());
    };
    const std::string before = counts();
    PerformKxtExportAction(nullptr);
    PerformExportCoordsAction(nullptr);
    PerformExportXTagsAction(nullptr);
    PerformImportAction(nullptr);
    PerformExportAction(nullptr);  // the KXT export, then the beep
    text += before == counts() ? "same counts\n" : "counts " + before + " -> " + counts() + "\n";
    return text;
  });
  EXPECT_EQ(BodyResult(out), "same counts\n");
  // Without a document each export and the import fail; the button's beep
  // comes last.
  std::vector<std::string> exportFailed, importFailed;
  for (const std::string& line : Lines(out, {"dialog"})) {
    if (line.find(" text \"Export failed\"") != std::string::npos) exportFailed.push_back(line);
    if (line.find(" text \"Import failed\"") != std::string::npos) importFailed.push_back(line);
  }
  EXPECT_EQ(exportFailed.size(), 4u) << out;
  EXPECT_EQ(importFailed.size(), 1u) << out;
  EXPECT_EQ(Lines(out, {"beep"}).size(), 2u) << out;
}

std::string Listeners() {
  std::string text;
  text += std::to_string(ExportButton::Instance()->ListenerCount()) + " ";
  text += std::to_string(CoordinatesButton::Instance()->ListenerCount()) + " ";
  text += std::to_string(XTagsButton::Instance()->ListenerCount()) + " ";
  text += std::to_string(ExportToButton::Instance()->ListenerCount()) + " ";
  text += std::to_string(MultipleExportButton::Instance()->ListenerCount()) + " ";
  text += std::to_string(ImportButton::Instance()->ListenerCount()) + " ";
  text += std::to_string(MultipleImportButton::Instance()->ListenerCount()) + " ";
  text += std::to_string(Swing::AbstractButton<XTIdleRec*, 31>::Instance()->ListenerCount());
  return text + "\n";
}

TEST(PluginObject, WiresEveryButtonToItsActionAndTheBeep) {
  const std::string out = RunSession(Session(), [](xthost::Host&) {
    std::string text = Listeners();
    // Without its beep a button fires its working action only.
    XTVoidRec record{0};
    RefHandle<BeepAction> beep = GetBeepAction();
    ExportToButton::Instance()->RemoveListener(ExportToButton::Listener(beep));
    beep.Reset();
    Swing::Perform<ExportToButton>(&record);
    // The about action is the beep.
    Swing::Perform<AboutAction>(&record);
    return text;
  });
  // Without a settings file no idle listener is wired.
  EXPECT_EQ(BodyResult(out), "2 2 2 2 2 2 2 0\n");
  // Open-and-export asks for the document; no answer cancels it.
  EXPECT_EQ(Lines(out, {"open dialog", "beep"}),
            (std::vector<std::string>{"open dialog \"Choose Quark document to export:\" filter \"Quark Files\" QXP",
                                      "open dialog no answer left: cancelled", "beep 0"}));
}

TEST(PluginObject, InServerModeTheIdleActionListensWithoutABatchFile) {
  Session session;
  session.settings = "[Server]\nserverMode = True\n[Path]\nBatchFilePath = batch/job.ini\n";
  session.files = {{"batch/job.ini", "[General]\nMode = Export\n[Path]\nSource = a\nTarget = b\n"}};
  const std::string out = RunSession(session, [](xthost::Host&) {
    std::ifstream job("batch/job.ini");
    const std::string text((std::istreambuf_iterator<char>(job)), std::istreambuf_iterator<char>());
    // The control file was neither opened nor marked active.
    return Listeners() + (text.find("Active") == std::string::npos ? "untouched\n" : "active\n");
  });
  EXPECT_EQ(BodyResult(out), "2 2 2 2 2 2 2 1\nuntouched\n");
}

TEST(PluginObject, ABatchFolderWithoutAJobStillWatchesIdleTime) {
  Session session;
  session.settings = "[Path]\nBatchFilePath = batch/none.ini\n";
  session.files = {{"batch/other.txt", ""}};
  const std::string out = RunSession(session, [](xthost::Host&) { return Listeners(); });
  EXPECT_EQ(BodyResult(out), "2 2 2 2 2 2 2 1\n");
}

TEST(PluginObject, AMissingBatchFolderLeavesIdleTimeAlone) {
  Session session;
  session.settings = "[Path]\nBatchFilePath = nowhere/job.ini\n";
  const std::string out = RunSession(session, [](xthost::Host&) { return Listeners(); });
  EXPECT_EQ(BodyResult(out), "2 2 2 2 2 2 2 0\n");
}

}  // namespace
