// Activation and registration against the stand-in host in this process:
// the order of everything registered, and what each failure shows and
// returns.  Each run happens in a child process, since registration and
// shut-down end process-wide state for good.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "host/host.h"
#include "platform/xt/xt_records.h"
#include "plugin/xtension/cb_manager.h"
#include "plugin/xtension/entry.h"
#include "plugin/xtension/isolated_util.h"
#include "support/host_link.h"
#include "tests/common/registry_root.h"

namespace {

class MenuProbe : public CallBack<xtaddmenuitemsrec*> {
 public:
  explicit MenuProbe(bool throws) : throws_(throws) {}
  int32_t Handle(xtaddmenuitemsrec*) override {
    if (throws_) throw 3;
    return 0;
  }

 private:
  bool throws_;
};

struct Outcome {
  std::vector<std::string> lines;  // the transcript
  std::vector<std::string> ids;    // the reserved ids, as text
};

// Activates the plug-in in a stand-in host with the fail plan `fail`.  With
// `fillSlots` the callback manager holds objects for kinds 10, 6 and 7 (as
// the plug-in object and the menus leave it).  `afterStart` runs before the
// host quits and may add lines.
Outcome Activate(const std::string& fail, bool fillSlots,
                 std::string (*afterStart)(xthost::Host&) = nullptr) {
  const std::string text = InChild([&] {
    // The plug-in object asks the registry for the batch flag: a registry
    // of the child's own.
    const testutil::RegistryRoot registry;
    std::ostringstream out;
    xthost::HostOptions options;
    options.transcript = &out;
    std::string error;
    if (!xthost::FailPlan::Parse(fail, &options.fail, &error)) return "bad plan " + error;
    xthost::Host host(std::move(options));
    if (fillSlots) {
      SetHostCallback(10, RefHandle<CBGlue>::Adopt(new MenuProbe(false)));
      SetHostCallback(6, RefHandle<CBGlue>::Adopt(new MenuProbe(false)));
      SetHostCallback(7, RefHandle<CBGlue>::Adopt(new MenuProbe(false)));
    }
    host.StartLinked("brenix", XTActivateCallback);
    std::string extra = afterStart ? afterStart(host) : "";
    host.Quit();
    std::string ids;
    for (int32_t id : XT().reserved_ids) ids += std::to_string(id) + " ";
    return out.str() + extra + "ids " + ids + "\n";
  });
  Outcome outcome;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("ids ", 0) == 0) {
      std::istringstream words(line.substr(4));
      for (std::string id; words >> id;) outcome.ids.push_back(id);
    } else {
      outcome.lines.push_back(line);
    }
  }
  return outcome;
}

// The lines that start with one of `prefixes`, in order.
std::vector<std::string> Only(const Outcome& outcome, std::vector<std::string> prefixes) {
  std::vector<std::string> kept;
  for (const std::string& line : outcome.lines) {
    for (const std::string& prefix : prefixes) {
      if (line.rfind(prefix, 0) == 0) {
        kept.push_back(line);
        break;
      }
    }
  }
  return kept;
}

const std::vector<std::string> kOutcomeLines = {"activate brenix ->",
                                                "reservation brenix ->",
                                                "registration brenix ->",
                                                "callback ",
                                                "request ",
                                                "show "};

// What a full registration registers and sends, in the order the plug-in
// makes its calls, with the reserved ids the plug-in was given.
std::vector<std::string> FullRegistration(const std::vector<std::string>& ids, bool slots,
                                          bool lastThree) {
  // The plug-in object registers the menu command while it is built.
  std::vector<std::string> expected = {"activate brenix -> 0x00000000",
                                       "reservation brenix -> 0x00000000",
                                       "callback 618 5 200 0",
                                       "callback 4 5 200 0",
                                       "callback " + ids.at(0) + " 5 200 0",
                                       "callback 134 5 200 0"};
  for (int i = 1; i < 15; ++i) expected.push_back("callback " + ids.at(i) + " 5 200 0");
  if (slots) {
    for (const char* kind : {"6", "7", "10"})
      expected.push_back(std::string("callback ") + kind + " 5 200 0");
  }
  if (lastThree) {
    expected.push_back("callback 681 5 200 0");
    expected.push_back("callback 501 5 200 0");
    expected.push_back("callback 106 5 10 0");
  }
  expected.push_back("request 2323 0 1");
  expected.push_back("request 2322 0 1");
  expected.push_back("registration brenix -> 0x00000000");
  return expected;
}

TEST(Registration, RegistersEverythingInOrder) {
  const Outcome outcome = Activate("", true);
  ASSERT_EQ(outcome.ids.size(), 15u);
  EXPECT_EQ(Only(outcome, kOutcomeLines), FullRegistration(outcome.ids, true, true));

  // The handshake and the two routines, reservation called first.
  EXPECT_EQ(Only(outcome, {"handshake", "priority", "register ", "reserve id"}).front(),
            "handshake 0x00595043 0 11 0x40e70014 0 -> accepted");
  const std::vector<std::string> routines = Only(outcome, {"priority", "register "});
  EXPECT_EQ(routines,
            (std::vector<std::string>{"priority 200", "register registration routine 5 200 0",
                                      "register reservation routine 5 200 0"}));
  EXPECT_EQ(Only(outcome, {"reserve id"}).size(), 15u);

  // Suites and tables: both binding passes, the XTension look-ups between.
  const std::vector<std::string> twenty = {"LTA1", "LTB1", "LTC1", "LTD1", "LGA2", "LGB2", "LGC2",
                                           "LGD2", "LGE2", "LGF2", "LGG2", "LGH2", "LGI2", "LGJ2",
                                           "LGK2", "LGL2", "QSA1", "QSC1", "QSB1", "LOA1"};
  const std::vector<std::string> tables = {"XFJj", "XRSa", "XESa", "XDDg", "XMFe", "XCMe", "XMDs",
                                           "XPJc", "XMNu", "XDLg", "XFDl", "XAPp", "XBXa"};
  std::vector<std::string> expected;
  for (const auto& code : twenty) expected.push_back("acquire " + code);
  for (const auto& code : tables) expected.push_back("acquire " + code);
  for (const char* line : {"xtension XPTA suite XPTa", "acquire XPTa", "xtension XPTA present",
                           "xtension QLY present", "xtension QLYI suite QLYa", "acquire QLYa",
                           "xtension XPDF present", "xtension XPDF suite XPDa", "acquire XPDa"}) {
    expected.push_back(line);
  }
  for (const auto& code : twenty) expected.push_back("acquire " + code);
  for (const auto& code : tables) expected.push_back("acquire " + code);
  for (const char* code : {"LTA1", "LTB1", "LTC1", "LTD1", "QSA1", "QSC1", "QSB1"}) {
    expected.push_back(std::string("acquire ") + code);
  }
  EXPECT_EQ(Only(outcome, {"acquire ", "xtension "}), expected);
}

TEST(Registration, ModuleHandleOpenedAfterSetupAndGivenBackDuringShutDown) {
  const Outcome outcome = Activate("", false);
  const std::vector<std::string> lines = Only(
      outcome, {"module ", "callback 4 ", "xtension XPDF suite", "shutdown", "unload", "quit"});
  EXPECT_EQ(lines, (std::vector<std::string>{"xtension XPDF suite XPDa", "module open 1 1",
                                             "callback 4 5 200 0", "quit", "module close 1",
                                             "shutdown brenix -> 0", "unload brenix"}));
  EXPECT_EQ(outcome.lines.back(),
            "handles strings=0 paths=0 converters=0 files=0 modules=0 documents=0");
  // The plug-in object fills the manager's slots 6, 7 and 10 itself.
  EXPECT_EQ(Only(outcome, kOutcomeLines), FullRegistration(outcome.ids, true, true));
}

TEST(Registration, RefusedHandshakeShowsOnlyTheActivationMessage) {
  const Outcome outcome = Activate("handshake:1", true);
  EXPECT_EQ(Only(outcome, kOutcomeLines),
            (std::vector<std::string>{"show \"Brenix activation failed\"",
                                      "activate brenix -> 0x51000401"}));
  EXPECT_TRUE(Only(outcome, {"register ", "priority", "reserve", "acquire"}).empty());
}

TEST(Registration, SetupFailuresShowTheSetupMessage) {
  for (const char* fail :
       {"acquire_suite/LTA1:1", "acquire_suite/LGC2:1", "acquire_suite/LOA1:1",
        "acquire_suite/XFJj:1", "acquire_suite/XPJc:1", "xtension_suite_code/XPTA:1",
        "acquire_suite/XPTa:1", "query_xtension/XPTA:1", "query_xtension/QLY:1",
        "xtension_suite_code/QLYI:1", "acquire_suite/QLYa:1", "query_xtension/XPDF:1",
        "xtension_suite_code/XPDF:1", "acquire_suite/XPDa:1"}) {
    const Outcome outcome = Activate(fail, true);
    EXPECT_EQ(Only(outcome, kOutcomeLines),
              (std::vector<std::string>{
                  "activate brenix -> 0x00000000", "reservation brenix -> 0x00000000",
                  "show \"Brenix setup failed\"", "registration brenix -> 0x51000401"}))
        << fail;
    EXPECT_TRUE(Only(outcome, {"module "}).empty()) << fail;
  }
}

TEST(Registration, AFailedSecondPassLeavesOutOnlyTheLastThree) {
  for (const char* fail : {"acquire_suite/LTA1:2", "acquire_suite/LOA1:2", "acquire_suite/XPJc:2",
                           "acquire_suite/LTA1:3", "acquire_suite/QSB1:3"}) {
    const Outcome outcome = Activate(fail, true);
    ASSERT_EQ(outcome.ids.size(), 15u) << fail;
    EXPECT_EQ(Only(outcome, kOutcomeLines), FullRegistration(outcome.ids, true, false)) << fail;
  }
}

TEST(Registration, AFailedClosingRequestRefusesWithoutAMessage) {
  Outcome outcome = Activate("send_request/2323:1", true);
  std::vector<std::string> lines = Only(outcome, {"request ", "show ", "registration brenix ->"});
  EXPECT_EQ(lines, (std::vector<std::string>{"registration brenix -> 0x51000401"}));
  outcome = Activate("send_request/2322:1", true);
  lines = Only(outcome, {"request ", "show ", "registration brenix ->"});
  EXPECT_EQ(lines,
            (std::vector<std::string>{"request 2323 0 1", "registration brenix -> 0x51000401"}));
  // The shut-down callback was registered: the host hands it over as it
  // lets the plug-in go, and the module handle comes back.
  EXPECT_EQ(Only(outcome, {"module close", "shutdown"}),
            (std::vector<std::string>{"module close 1", "shutdown brenix -> 0"}));
}

TEST(Registration, ReservationStopsAtTheFirstRefusal) {
  const Outcome outcome = Activate("reserve_id:4", true);
  EXPECT_EQ(Only(outcome, {"reserve id"}).size(), 3u);
  EXPECT_EQ(Only(outcome, kOutcomeLines),
            (std::vector<std::string>{"activate brenix -> 0x00000000",
                                      "reservation brenix -> 0x51000401"}));
}

TEST(Registration, ARefusedCallbackDoesNotStopTheOthers) {
  const Outcome outcome = Activate("register_callback/4:1,register_callback/7:1", true);
  std::vector<std::string> expected = FullRegistration(outcome.ids, true, true);
  expected.erase(std::find(expected.begin(), expected.end(), "callback 4 5 200 0"));
  expected.erase(std::find(expected.begin(), expected.end(), "callback 7 5 200 0"));
  EXPECT_EQ(Only(outcome, kOutcomeLines), expected);
}

std::string DeliverToThrowingSlot(xthost::Host& host) {
  SetHostCallback(6, RefHandle<CBGlue>::Adopt(new MenuProbe(true)));
  xtaddmenuitemsrec record{kXTAddMenuItems};
  XTVoidRec query{kXTQuery134};
  XTDialogRec dialog{};
  int32_t resource = 0;
  dialog.kind = XT().reserved_ids[14];
  dialog.message = kXTDialogAskResource;
  dialog.resource = &resource;
  std::string text = "menu answer " + std::to_string(host.Deliver(&record)) + "\n";
  text += "query answer " + std::to_string(host.Deliver(&query)) + "\n";
  const int32_t answer = host.Deliver(&dialog);
  text += "dialog answer " + std::to_string(answer) + " resource " + std::to_string(resource) +
          " handled " + std::to_string(dialog.handled) + "\n";
  return text;
}

TEST(Registration, CallbacksNeverThrowIntoTheHost) {
  const Outcome outcome = Activate("", true, DeliverToThrowingSlot);
  EXPECT_EQ(Only(outcome, {"menu answer", "query answer", "dialog answer"}),
            (std::vector<std::string>{"menu answer 0", "query answer 0",
                                      "dialog answer 0 resource 106 handled 1"}));
}

}  // namespace
