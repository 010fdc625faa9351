// Menu commands and idle time inside one process, where the transcript and
// the program log arrive in one stream in the order they were written.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "plugin/xtension/actions.h"
#include "plugin/xtension/idle_action.h"
#include "plugin/xtension/menus.h"
#include "support/brenix_interface.h"
#include "ui_session_util.h"

namespace {

const char kExtended[] = "[Options]\nextendedInterface = True\n";

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

TEST(MenuCommand, WorkingActionRunsBeforeTheBeep) {
  const std::string out = RunSession(Session(), [](xthost::Host& host) {
    host.ui().ChooseMenuItem("Import Solvane file");
    return std::string();
  });
  // The import, its file dialog cancelled: its beep and result dialog, all
  // before the button's beep.
  EXPECT_EQ(Lines(out, {"menu command", "beep", "dialog 1 closed"}),
            (std::vector<std::string>{"menu command 1 5", "beep 0", "dialog 1 closed -> 1", "beep 0"}));
}

TEST(MenuCommand, MultiDocModeLeftOnIsSwitchedOffFirst) {
  Session session;
  session.settings = kExtended;
  const std::string out = RunSession(session, [](xthost::Host& host) {
    const bool on = true;
    BrenixInterface::Instance()->SetMultiDocMode(on);
    host.ui().ChooseMenuItem("Import multiple Solvane files");
    return std::string();
  });
  EXPECT_EQ(Lines(out, {"MultiDoc", "menu command", "dialog 1 open", "dialog 1 closed"}),
            (std::vector<std::string>{"MultiDoc mode:\tON", "menu command 1 7", "MultiDoc mode:\tOFF",
                                      "MultiDoc mode:\tON",
                                      "dialog 1 open 1010 resource 115 \"Import Solvane Files\"",
                                      "dialog 1 closed -> 1", "MultiDoc mode:\tOFF"}));
}

TEST(MenuCommand, ItemsNeverAddedAreNeitherMatchedNorEnabled) {
  Session session;
  // The export settings without extended mode: items 6 and 7 are not added.
  session.settings = "[Options]\naddMenuItemExportCoords = True\naddMenuItemExportKrm = True\n";
  const std::string out = RunSession(session, [](xthost::Host& host) {
    host.ui().ShowMenus();
    xthandlecommandrec command{};
    command.kind = kXTMenuCommand;
    command.menu = 1;
    command.command_id = 0;
    host.Deliver(&command);
    std::string text = std::to_string(Menus::ItemId(6)) + " " + std::to_string(Menus::ItemId(7));
    // The buttons follow the document all the same.
    text += CoordinatesButton::Instance()->IsEnabled() ? " enabled" : " disabled";
    return text + "\n";
  });
  EXPECT_EQ(BodyResult(out), "0 0 disabled\n");
  EXPECT_EQ(Lines(out, {"menu 1 item", "beep", "alert"}),
            (std::vector<std::string>{"menu 1 item 3 \" Export current document\"",
                                      "menu 1 item 4 \" Export to Solvane\"",
                                      "menu 1 item 5 \" Import Solvane file\"",
                                      "menu 1 item 3 disable"}));
}

TEST(MenuCommand, MultipleExportOpensItsDialogOnlyWithTheFoldersSpec) {
  Session session;
  session.settings = kExtended;
  session.answers = {".", ".", "Cancel"};
  const std::string out = RunSession(session, [](xthost::Host& host) {
    xthost::FailPlan plan;
    std::string error;
    // First the folder's spec cannot be made, then its path.
    xthost::FailPlan::Parse("make_spec_in_folder:1,full_path:1", &plan, &error);
    host.SetFailPlan(plan);
    host.ui().ChooseMenuItem("Export multiple documents");
    host.ui().ChooseMenuItem("Export multiple documents");
    std::ifstream settings("XTensions/brenix.ini");
    std::string text((std::istreambuf_iterator<char>(settings)), std::istreambuf_iterator<char>());
    return std::filesystem::current_path().string() + "\n" +
           (text.find("SourceBookPath") == std::string::npos ? "unchanged\n" : "stored\n");
  });
  const std::string result = BodyResult(out);
  const std::string folder = result.substr(0, result.find('\n'));
  EXPECT_EQ(result.substr(folder.size() + 1), "unchanged\n");
  EXPECT_EQ(Lines(out, {"menu command", "fail", "folder dialog ->", "dialog 1 open",
                        "dialog 1 closed", "MultiDoc"}),
            (std::vector<std::string>{
                "menu command 1 5", "MultiDoc mode:\tON", "folder dialog -> \"" + folder + "\"",
                "fail make_spec_in_folder #1", "MultiDoc mode:\tOFF", "menu command 1 5",
                "MultiDoc mode:\tON", "folder dialog -> \"" + folder + "\"", "fail full_path #1",
                "dialog 1 open 1006 resource 108 \"Export Current Source Folder\"",
                "dialog 1 closed -> 0", "MultiDoc mode:\tOFF"}))
      << out;
}

XTIdleRec Idle() { return XTIdleRec{kXTIdle, 1}; }

TEST(IdleAction, AHaltedServerAsksForOneQuitOnly) {
  Session session;
  session.settings = "[Server]\nserverMode = True\n";
  const std::string out = RunSession(session, [](xthost::Host& host) {
    int calls = 0;
    SetServerStandIn([&calls](uint32_t) {
      ++calls;
      return true;
    });
    // The host stops idling once asked to quit; deliver three more anyway.
    for (int i = 0; i < 3; ++i) {
      XTIdleRec idle = Idle();
      host.Deliver(&idle);
    }
    SetServerStandIn(nullptr);
    return std::to_string(calls) + "\n";
  });
  EXPECT_EQ(BodyResult(out), "1\n");
  EXPECT_EQ(Lines(out, {"quit requested"}).size(), 1u);
  EXPECT_EQ(Count(ErrorsOf(out), "Quark shutdown started ..."), 1u);
  EXPECT_EQ(Count(ErrorsOf(out), "Server DOWN"), 1u);
}

TEST(IdleAction, AServerThatThrowsIsLaunchedAgainOnItsPort) {
  // A port above 65535 is passed as 0, which the server reads as its default.
  for (const auto& [setting, port] : {std::pair<const char*, const char*>{"65535", "65535"}, {"70000", "0"}}) {
    Session session;
    session.settings = std::string("[Server]\nserverMode = True\nlistenPort = ") + setting + "\n";
    const std::string out = RunSession(session, [](xthost::Host& host) {
      std::string ports;
      SetServerStandIn([&ports](uint32_t port) -> bool {
        ports += std::to_string(port) + " ";
        throw std::runtime_error("the server failed");
      });
      host.Idle(3);
      SetServerStandIn(nullptr);
      return ports + "\n";
    });
    const std::string p = std::string(port) + " ";
    EXPECT_EQ(BodyResult(out), p + p + p + "\n");
    EXPECT_EQ(Count(ErrorsOf(out), "Server DOWN"), 3u);
    EXPECT_TRUE(Lines(out, {"quit requested"}).empty());
  }
}

TEST(IdleAction, ALaunchBatchFileIsReloadedUntilItHoldsTheNextJob) {
  const std::string job =
      "[General]\nMode = Export\nWaitOnIdle = True\n[Path]\nSource = in\nTarget = out\n";
  Session session;
  session.settings = "[Path]\nBatchFilePath = batch/job.ini\n";
  // The source folder holds nothing the job converts.
  session.files = {{"batch/job.ini", job}, {"in/.keep", ""}};
  const std::string out = RunSession(session, [&job](xthost::Host& host) {
    host.Idle(1);  // the job's step; the job ends and its file goes
    std::string text = std::filesystem::exists("batch/job.ini") ? "kept " : "gone ";
    host.Idle(2);  // waiting: the file is looked for again
    std::ofstream("batch/job.ini") << job;
    host.Idle(1);  // found: the new job is active
    host.Idle(1);  // its step
    text += std::filesystem::exists("batch/job.ini") ? "kept\n" : "gone\n";
    return text;
  });
  EXPECT_EQ(BodyResult(out), "gone gone\n");
  EXPECT_EQ(Count(MergedOf(out), "SUPPRESSED MESSAGE BOX:\tConversion finished."), 2u) << out;
  EXPECT_TRUE(Lines(out, {"quit requested"}).empty());
}

TEST(IdleAction, WithoutALaunchFileTheHostIsAskedToQuitOnce) {
  Session session;
  session.settings = "[Path]\nBatchFilePath = batch/job.ini\n";
  session.files = {{"batch/job.ini", "[General]\nMode = Import\n[Path]\nSource = in\nTarget = out\n"},
                   {"in/.keep", ""}};
  const std::string out = RunSession(session, [](xthost::Host& host) {
    for (int i = 0; i < 4; ++i) {
      XTIdleRec idle = Idle();
      host.Deliver(&idle);
    }
    return std::string();
  });
  EXPECT_EQ(Count(MergedOf(out), "SUPPRESSED MESSAGE BOX:\tConversion finished."), 1u);
  EXPECT_EQ(Lines(out, {"quit requested"}).size(), 1u);
}

}  // namespace
