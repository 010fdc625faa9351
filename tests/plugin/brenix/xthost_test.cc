// The plug-in library inside the stand-in host program: its export, a clean
// run from activation to unload, and one run per registration failure.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/common/run_command.h"
#include "ui_run_util.h"

namespace {

using namespace ui_run;

// The run of `args` with the fail plan `fail` (see host/fail_plan.h).
HostRun RunFailing(const Installation& install, std::vector<std::string> args,
                   const std::string& fail) {
  return RunHost(install, std::move(args), {"XTHOST_FAIL=" + fail});
}

const std::vector<std::string> kOutcome = {"activate libbrenix.so ->",
                                           "reservation libbrenix.so ->",
                                           "registration libbrenix.so ->",
                                           "callback ",
                                           "request ",
                                           "show "};

TEST(Library, ExportsTheEntryUnmangled) {
  int status = -1;
  const std::string text = testutil::RunCommand(
      "readelf --dyn-syms -W " + testutil::ShellQuote(BRENIX_LIBRARY), &status);
  ASSERT_EQ(status, 0);
  bool found = false;
  for (const std::string& line : SplitLines(text)) {
    std::istringstream words(line);
    std::vector<std::string> w;
    for (std::string word; words >> word;) w.push_back(word);
    // Num: Value Size Type Bind Vis Ndx Name
    if (w.size() == 8 && w[7] == "XTActivateCallback") {
      found = true;
      EXPECT_EQ(w[3], "FUNC");
      EXPECT_EQ(w[4], "GLOBAL");
      EXPECT_EQ(w[5], "DEFAULT");
      EXPECT_NE(w[6], "UND");
    }
  }
  EXPECT_TRUE(found) << text.substr(0, 2000);
}

TEST(Xthost, ActivatesIdlesShutsDownAndUnloadsCleanly) {
  Installation install;
  const HostRun run = RunHost(install, {"start", "idle", "3", "quit"});
  EXPECT_EQ(run.status, 0) << run.errors;
  EXPECT_TRUE(Clean(run)) << run.errors;

  std::vector<std::string> ids;
  for (const std::string& line : Only(run, {"reserve id "})) ids.push_back(line.substr(11));
  ASSERT_EQ(ids.size(), 15u);
  std::vector<std::string> expected = {"activate libbrenix.so -> 0x00000000",
                                       "reservation libbrenix.so -> 0x00000000",
                                       "callback 618 5 200 0",
                                       "callback 4 5 200 0",
                                       "callback " + ids[0] + " 5 200 0",
                                       "callback 134 5 200 0"};
  for (int i = 1; i < 15; ++i) expected.push_back("callback " + ids[i] + " 5 200 0");
  for (const char* line :
       {"callback 6 5 200 0", "callback 7 5 200 0", "callback 10 5 200 0", "callback 681 5 200 0",
        "callback 501 5 200 0", "callback 106 5 10 0", "request 2323 0 1", "request 2322 0 1",
        "registration libbrenix.so -> 0x00000000"}) {
    expected.push_back(line);
  }
  EXPECT_EQ(Only(run, kOutcome), expected);
  EXPECT_EQ(Only(run, {"idle", "quit", "module", "shutdown", "unload", "handles"}),
            (std::vector<std::string>{
                "module open 1 1", "idle 3", "quit", "module close 1", "shutdown libbrenix.so -> 0",
                "unload libbrenix.so",
                kNoHandles}));
  // The plug-in object is built and ended, leaving nothing behind.
  EXPECT_NE(run.errors.find("brenix.cc["), std::string::npos) << run.errors;
  EXPECT_TRUE(EndedWithNothingAllocated(run)) << run.errors;
}

TEST(Xthost, RefusedHandshake) {
  Installation install;
  const HostRun run = RunFailing(install, {"start", "idle", "1"}, "handshake:1");
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(Clean(run)) << run.errors;
  EXPECT_EQ(Only(run, kOutcome), (std::vector<std::string>{"show \"Brenix activation failed\"",
                                                           "activate libbrenix.so -> 0x51000401"}));
  EXPECT_NE(run.errors.find("Brenix activation failed"), std::string::npos);
}

TEST(Xthost, SetupFailures) {
  // A suite missing, a bound table missing, an XTension look-up failing.
  for (const char* fail :
       {"acquire_suite/QSB1:1", "acquire_suite/XFJj:1", "query_xtension/QLY:1"}) {
    Installation install;
    const HostRun run = RunFailing(install, {"start", "idle", "1", "quit"}, fail);
    EXPECT_EQ(run.status, 0) << fail;
    EXPECT_TRUE(Clean(run)) << run.errors;
    EXPECT_EQ(Only(run, kOutcome),
              (std::vector<std::string>{
                  "activate libbrenix.so -> 0x00000000", "reservation libbrenix.so -> 0x00000000",
                  "show \"Brenix setup failed\"", "registration libbrenix.so -> 0x51000401"}))
        << fail;
  }
}

// Activation used to drop these three results: after a failed reservation
// registration the plug-in registered fifteen callbacks of kind 0, after a
// failed module registration it never set up, and nothing said why.
TEST(Xthost, ActivationFailuresRefuseWithTheMessageAndALogLine) {
  const struct {
    const char* fail;
    const char* call;
  } cases[] = {{"set_priority:1", "set_priority"},
               {"register_registration:1", "register_module"},
               {"register_reservation:1", "register_reservation"},
               {"handshake:1", "handshake"}};
  for (const auto& c : cases) {
    Installation install;
    const HostRun run = RunFailing(install, {"start", "idle", "1", "quit"}, c.fail);
    EXPECT_TRUE(Clean(run)) << c.fail << run.errors;
    EXPECT_EQ(Only(run, kOutcome), (std::vector<std::string>{"show \"Brenix activation failed\"",
                                                             "activate libbrenix.so -> 0x51000401"}))
        << c.fail;
    EXPECT_NE(run.log.find(std::string("ERROR: host call ") + c.call + " failed: "), std::string::npos)
        << c.fail << "\n" << run.log;
    EXPECT_EQ(run.transcript.back(), kNoHandles) << c.fail;
  }
}

// A refused host id stops the reservation with a log line; no callback is
// ever registered under an id that was not reserved.
TEST(Xthost, AFailedReservationRegistersNoCallbackOfKindZero) {
  Installation install;
  const HostRun run = RunFailing(install, {"start", "idle", "1", "quit"}, "reserve_id:4");
  EXPECT_TRUE(Clean(run)) << run.errors;
  EXPECT_EQ(Only(run, {"callback 0 ", "reservation libbrenix.so ->", "registration"}),
            (std::vector<std::string>{"reservation libbrenix.so -> 0x51000401"}));
  EXPECT_NE(run.log.find("ERROR: host call reserve_id failed: -5000"), std::string::npos) << run.log;
}

TEST(Xthost, FailedSecondPassIsSilent) {
  Installation install;
  const HostRun run = RunFailing(install, {"start", "quit"}, "acquire_suite/LGF2:2");
  EXPECT_TRUE(Clean(run)) << run.errors;
  const std::vector<std::string> lines =
      Only(run, {"callback 681", "callback 501", "callback 106", "request", "show",
                 "registration libbrenix.so ->"});
  EXPECT_EQ(lines, (std::vector<std::string>{"request 2323 0 1", "request 2322 0 1",
                                             "registration libbrenix.so -> 0x00000000"}));
}

TEST(Xthost, FailedClosingRequest) {
  Installation install;
  const HostRun run = RunFailing(install, {"start", "quit"}, "send_request/2322:1");
  EXPECT_TRUE(Clean(run)) << run.errors;
  EXPECT_EQ(Only(run, {"request", "show", "registration libbrenix.so ->", "shutdown", "unload"}),
            (std::vector<std::string>{"request 2323 0 1", "registration libbrenix.so -> 0x51000401",
                                      "shutdown libbrenix.so -> 0", "unload libbrenix.so"}));
}

TEST(Xthost, RefusesBadCommandLinesAndMissingFolders) {
  Installation install;
  EXPECT_EQ(RunHost(install, {"start", "idle"}).status, 2);
  EXPECT_EQ(RunHost(install, {"fly"}).status, 2);
  EXPECT_EQ(RunFailing(install, {"start"}, "handshake").status, 2);
  fs::remove_all(install.root() / "XTensions");
  const HostRun run = RunHost(install, {"start"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.errors.find("XTensions"), std::string::npos);
}

}  // namespace
