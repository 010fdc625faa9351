// The host's box notices reach the plug-in inside xthost: typing into a
// master box makes the host report its copies (kind 501) and the copy that
// follows it (kind 106), which the plug-in registers and traces at
// masterPageLogMode 4.
#include <gtest/gtest.h>

#include "ui_run_util.h"

namespace {

using namespace ui_run;

TEST(BoxNotices, RegisteredAndTracedInsideTheHostsChange) {
  Installation install("[Options]\nmasterPageLogMode=4\n");
  WriteFile(install.root() / "layouts.qxp",
            ReadFile(fs::path(BRENIX_TEST_DATA) / "doc_layouts.json"));
  const HostRun run = RunHost(install, {"start", "open", "layouts.qxp", "type", "1", "0", "X",
                                        "type", "1", "0", "Y", "type", "12", "0", "Z", "quit"});
  ASSERT_EQ(run.status, 0) << run.errors;
  // Master box 1 (item 0x10001): its following copy 10 and its edited copy
  // 63, each time the master changes; box 12 is no master's.
  const std::string once =
      "\nSRCBOX 1: 10001\n\nDSTBOX 1: 1000a\n"
      "\nRegister linked layout box as AUTOTEXT BOX: 1000a\n"
      "\nSRCBOX 0: 10001\n\nDSTBOX 0: 1003f\n";
  const std::string again =
      "\nSRCBOX 0: 10001\n\nDSTBOX 0: 1000a\n"
      "\nLinked layout box already registered as AUTOTEXT BOX: 1000a\n"
      "\nSRCBOX 0: 10001\n\nDSTBOX 0: 1003f\n";
  EXPECT_NE(run.log.find(once + again), std::string::npos) << run.log;
  EXPECT_EQ(run.log.find("not available yet"), std::string::npos) << run.log;
  EXPECT_EQ(Only(run, {"notify"}),
            (std::vector<std::string>{"notify 501 1 10", "notify 106 10", "notify 501 1 63",
                                      "notify 501 1 10", "notify 106 10", "notify 501 1 63"}));
}

}  // namespace
