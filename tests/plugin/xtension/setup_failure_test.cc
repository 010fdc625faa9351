// A registration that fails after the plug-in object was built (the storage
// layer would not initialise) refuses with the setup message and leaves
// nothing of the object behind: no action or button, no callback manager,
// no registry batch flag, no temporary log folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/ole/ole.h"
#include "plugin/xtension/actions.h"
#include "plugin/xtension/brenix.h"
#include "plugin/xtension/cb_manager.h"
#include "ui_session_util.h"

namespace {

namespace fs = std::filesystem;

// What of the plug-in object is still there, one word each.
std::string Leftovers() {
  std::string text;
  if (Brenix::Instance()) text += "object ";
  if (GetBeepAction()) text += "beep ";
  if (GetExportAction()) text += "export-button ";
  if (ImportAction::Instance()) text += "import ";
  if (IdleAction::Instance()) text += "idle ";
  if (RangeAction::Instance()) text += "range ";
  if (ProgressAction::Instance()) text += "progress ";
  if (CBManager::Instance() != nullptr) text += "manager ";
  if (fs::exists("registry/HKEY_LOCAL_MACHINE/SOFTWARE/PELMO Translation Technology/"
                 "Brenix 50 Batch Mode")) {
    text += "batch-flag ";
  }
  if (fs::exists("logs") && !fs::is_empty("logs")) text += "log-folder ";
  return text + "\n";
}

Session FailingStorage() {
  Session session;
  session.beforeStart = [] { ole::FailNextInitialize(ole::E_OUTOFMEMORY); };
  return session;
}

const std::vector<std::string> kOutcome = {"show ", "registration brenix ->", "module ",
                                           "shutdown"};

TEST(SetupFailure, TheStorageLayerFailingEndsThePluginObject) {
  Session session = FailingStorage();
  session.batchFlag = true;
  const std::string out = RunSession(session, [](xthost::Host&) { return Leftovers(); });
  EXPECT_EQ(Lines(out, kOutcome),
            (std::vector<std::string>{"show \"Brenix setup failed\"",
                                      "registration brenix -> 0x51000401"}));
  EXPECT_EQ(BodyResult(out), "\n");
  // The object was built (its live-object report) and ended (its own).
  const std::string merged = MergedOf(out) + ErrorsOf(out);
  const std::size_t built = merged.find("InitBrenix");
  ASSERT_NE(built, std::string::npos) << merged;
  EXPECT_NE(merged.find("DeinitBrenix", built), std::string::npos) << merged;
}

TEST(SetupFailure, TheServerLogFolderGoesWithTheObject) {
  Session session = FailingStorage();
  session.settings =
      "[Server]\nserverMode = True\nactivateServerLog = True\n[Path]\nLogPath = logs\n";
  session.files = {{"logs/keep.txt", ""}};
  const std::string out = RunSession(session, [](xthost::Host&) {
    // Only the file put there before the start is left.
    fs::remove("logs/keep.txt");
    return Leftovers();
  });
  EXPECT_EQ(BodyResult(out), "\n");
  EXPECT_EQ(Lines(out, {"registration brenix ->"}),
            (std::vector<std::string>{"registration brenix -> 0x51000401"}));
}

TEST(SetupFailure, AStorageLayerThatInitialisesKeepsTheObjectUntilShutDown) {
  Session session;
  session.batchFlag = true;
  const std::string out = RunSession(session, [](xthost::Host&) { return Leftovers(); });
  EXPECT_EQ(BodyResult(out),
            "object beep export-button import idle range progress manager batch-flag \n");
  EXPECT_EQ(Lines(out, {"show ", "registration brenix ->"}),
            (std::vector<std::string>{"registration brenix -> 0x00000000"}));
}

}  // namespace
