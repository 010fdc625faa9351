// With SkipProcessHidden set (read once per process, so a program of its
// own), hidden-text markers and object runs leave a log line each and the
// words between markers are not written; the rest is written as always.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "host/host.h"
#include "support/settings.h"
#include "tests/common/kxt_witness_py.h"
#include "tests/plugin/conversion/export_harness.h"
#include "tests/plugin/mixer/mixer_host_util.h"

namespace {

TEST(StorySkipHidden, MarkersLeaveALogLineAndNoRun) {
  MixerHost host;
  static XTRegisterRec record = xthost::MakeRegisterRec();
  XT().registration = &record;
  const std::string settings = host.Path("settings.ini");
  std::ofstream(settings, std::ios::binary) << "[QUARK]\nSkipProcessHidden=True\n";
  ASSERT_TRUE(Settings::Instance().Load(settings, false));
  ASSERT_TRUE(Settings::Instance().IsSkipProcessHidden());
  host.Open("doc_layouts.json", "layouts.qxp");
  LogCapture log;
  const std::string target = host.Path("skip.kxq");
  export_test::ExportCurrentProject(target);
  std::vector<std::string> runs;
  for (const std::string& line : testutil::WitnessLines(testutil::kKxtDumpPy, target)) {
    if (line.rfind("run 0.5.", 0) == 0 && line.find(" Unicodes ") != std::string::npos) {
      runs.push_back(line.substr(line.find(' ', 4)));
    }
  }
  // The story of hidden pairs (the last one never closed) gives its visible words alone.
  std::vector<std::string> expected;
  for (const std::string w : {"A ", " B ", " C ", " D "}) expected.push_back(" Unicodes style - \"" + w + "\" {}");
  EXPECT_EQ(runs, expected);
  const std::string text = log.Text();
  EXPECT_NE(text.find("*** Object(s) not been exported: para=0  opcode=32\n"), std::string::npos) << text;
  EXPECT_NE(text.find("*** Object(s) not been exported: para=0  opcode=64\n"), std::string::npos) << text;
}

}  // namespace
