// The main job with each host entry it calls made to fail once: no crash,
// no hang, the document unchanged, and every failure that changes what the
// user gets, or that leaves a host object behind, named in the program log.
// And a start-up whose control file is no file.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "ui_run_util.h"

namespace {

using namespace ui_run;

// Every host entry the main job calls.
const char* const kCalled[] = {
    "acquire_suite", "alert", "application_folder", "close_module", "convert_to_text", "copy_string",
    "current_document", "current_error", "dispose_converter", "dispose_file", "dispose_menu", "dispose_path",
    "dispose_string", "enable_item", "file_spec", "full_path", "handshake", "insert_item", "message_beep",
    "new_converter", "new_file", "new_menu", "new_menu_id", "new_path", "new_string", "new_string_from_text",
    "open_module", "path_string", "place_menu", "query_xtension", "register_callback", "register_registration",
    "register_reservation", "reserve_id", "resolve_name", "run_dialog", "send_request", "set_error",
    "set_param_texts", "set_priority", "string_length", "xtension_suite_code",
};

// Entries whose failure the plug-in cannot see: the beep answers nothing.
const std::set<std::string> kUnseen = {"message_beep"};

// The plug-in's name of a call where it differs from the host's.
std::string CallName(const std::string& entry) {
  return entry == "register_registration" ? "register_module" : entry;
}

// The settings make the menu depend on the settings file being found.
const char kSettings[] = "[Options]\nextendedInterface=True\n";

// The export is cancelled at its save dialog (closing the unchanged
// document), then the export to Solvane is given a file that is no
// document, which it reports in an alert.
std::vector<std::string> MainJob() {
  return {"--answer", "cancel", "--answer", "OK", "--answer", "bad.qxp", "start", "open", "doc.json",
          "stories", "menus", "menu", "Export current document", "menu", "Export to Solvane", "idle", "3",
          "quit"};
}

// What the user gets: the transcript without the injected failure's own
// line and the host's count of objects left, the installation's folder name
// made the same for every run.
std::vector<std::string> WhatTheUserGets(const Installation& install, const HostRun& run) {
  const std::string folder = install.root().filename().string();
  std::vector<std::string> lines;
  for (std::string line : run.transcript) {
    if (line.rfind("fail ", 0) == 0 || line.rfind("handles ", 0) == 0 || line.rfind("ui left ", 0) == 0) continue;
    for (std::size_t at = line.find(folder); at != std::string::npos; at = line.find(folder)) {
      line.replace(at, folder.size(), "INSTALLATION");
    }
    lines.push_back(line);
  }
  return lines;
}

// Whether the log has a host-call failure line naming `entry`.
bool Named(const std::string& log, const std::string& entry) {
  for (const std::string& line : SplitLines(log)) {
    if (line.rfind("ERROR: host call ", 0) == 0 && line.find(entry) != std::string::npos) return true;
  }
  return false;
}

TEST(HostFailureSweep, EveryEntryOfTheMainJobFailingOnce) {
  const std::string document = ReadFile(std::string(BRENIX_TEST_DATA) + "/doc_brochure.json");
  Installation clean(kSettings);
  WriteFile(clean.root() / "doc.json", document);
  WriteFile(clean.root() / "bad.qxp", "not a document");
  const HostRun baseline = RunHost(clean, MainJob());
  ASSERT_TRUE(Clean(baseline)) << baseline.errors;
  ASSERT_EQ(baseline.log.find("ERROR:"), std::string::npos) << baseline.log;
  const std::vector<std::string> expected = WhatTheUserGets(clean, baseline);

  int changes = 0;
  for (const std::string entry : kCalled) {
    SCOPED_TRACE(entry);
    Installation install(kSettings);
    WriteFile(install.root() / "doc.json", document);
    WriteFile(install.root() / "bad.qxp", "not a document");
    const HostRun run = RunHost(install, MainJob(), {"XTHOST_FAIL=" + entry + ":1"});
    // Nothing crashed, nothing leaked, the run ended.
    EXPECT_TRUE(run.status == 0 || run.status == 1) << run.status << "\n" << run.errors;
    EXPECT_EQ(run.errors.find("Sanitizer"), std::string::npos) << run.errors;
    EXPECT_EQ(run.errors.find("runtime error"), std::string::npos) << run.errors;
    // The entry is one the main job calls.
    EXPECT_NE(std::find(run.transcript.begin(), run.transcript.end(), "fail " + entry + " #1"), run.transcript.end());
    EXPECT_EQ(ReadFile(install.root() / "doc.json"), document);

    const bool changed = WhatTheUserGets(install, run) != expected;
    changes += changed ? 1 : 0;
    const bool leftBehind = !run.transcript.empty() && run.transcript.back() != baseline.transcript.back();
    if ((changed || leftBehind || entry.rfind("dispose_", 0) == 0) && !kUnseen.count(entry)) {
      EXPECT_TRUE(Named(run.log, CallName(entry))) << "changed=" << changed << " left=" << leftBehind << "\n" << run.log;
    }
  }
  // The comparison sees the failures (most of them change the run).
  EXPECT_GT(changes, 25);
}

// A settings file whose control-file path names a pipe used to hold the
// start-up for ever, and /dev/zero to fill memory: the plug-in now starts,
// idles and shuts down with its defaults.
TEST(HostileControlFile, APipeOrADeviceDoesNotHoldUpTheStartUp) {
  for (const std::string control : {"pipe", "/dev/zero"}) {
    SCOPED_TRACE(control);
    Installation install;
    if (control == "pipe") {
      ASSERT_EQ(mkfifo((install.root() / "pipe").c_str(), 0600), 0);
    }
    install.WriteSettings("[Path]\nBatchFilePath=" + (control == "pipe" ? (install.root() / "pipe").string() : control) +
                          "\n");
    const HostRun run = RunHost(install, {"start", "idle", "2", "quit"});
    EXPECT_TRUE(Clean(run)) << run.errors;
    EXPECT_EQ(run.transcript.back(), kNoHandles);
    EXPECT_NE(std::find(run.transcript.begin(), run.transcript.end(), "registration libbrenix.so -> 0x00000000"),
              run.transcript.end());
  }
}

}  // namespace
