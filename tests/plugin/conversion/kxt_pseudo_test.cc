// Pseudo-translated containers: the rule against its Python twin, and the
// copy of the exported fixture compared with its source by python3-olefile
// and the twin (only Unicodes runs differ, each as the twin rewrites it;
// --identity changes nothing); the program's exit statuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/failures.h"
#include "host/host.h"
#include "tests/common/files.h"
#include "tests/common/kxt_pseudo_py.h"
#include "tests/common/python.h"
#include "tests/common/run_command.h"
#include "tests/plugin/conversion/export_harness.h"
#include "tests/plugin/mixer/mixer_host_util.h"
#include "tools/kxtpseudo/kxt_pseudo.h"

namespace {

TEST(PseudoText, AgreesWithTheTwinAndTheHandWrittenCases) {
  using namespace std::string_literals;
  const std::u16string e = u"\u00e9\u4e2d";
  struct Case {
    std::u16string in, out;
  };
  const Case cases[] = {
      {u"", u""},
      {u"Hello world", u"Hello" + e + u" world" + e},
      {u"  page 12, line 3.", u"  page" + e + u" 12" + u"," + e + u" line" + e + u" 3" + u"." + e},
      {u"a\u00a0b\tc\rd\u0000e"s, u"a" + e + u"\u00a0b" + e + u"\tc" + e + u"\rd" + e + u"\u0000e"s + e},
      {u"!\u0021\u0020\u00a1", u"!!" + e + u" \u00a1" + e},
      {u"12 34", u"12 34"},
      {u"\u4e2d\u6587\U0001F600", u"\u4e2d\u6587\U0001F600" + e},
  };
  std::vector<std::string> inputs;
  std::string expected;
  for (const Case& c : cases) {
    EXPECT_EQ(kxtpseudo::PseudoText(c.in), c.out);
    std::string hex;
    for (char16_t unit : c.in) hex += std::to_string(unit) + ",";
    inputs.push_back(hex);
    for (char16_t unit : kxtpseudo::PseudoText(c.in)) expected += std::to_string(unit) + ",";
    expected += "\n";
  }
  const std::string twin = testutil::PythonOutput(testutil::kPseudoRulePy + R"PY(
import sys
for arg in sys.argv[1:]:
    text = ''.join(chr(int(u)) for u in arg.split(',') if u)
    out = pseudo(text).encode('utf-16-le', 'surrogatepass')
    print(''.join('%d,' % int.from_bytes(out[i:i + 2], 'little') for i in range(0, len(out), 2)))
)PY",
                                                  inputs);
  EXPECT_EQ(twin, expected);
}

class PseudoFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    static XTRegisterRec record = xthost::MakeRegisterRec();
    XT().registration = &record;
    host.Open("doc_export.json", "export.qxp");
    ASSERT_TRUE(export_test::ExportCurrentProject(source).stored);
  }

  // The twin's comparison lines.
  std::string Compare(const std::string& copy, bool identity) {
    std::vector<std::string> args = {source, copy};
    if (identity) args.push_back("identity");
    return testutil::PythonOutput(testutil::kPseudoComparePy, args);
  }

  MixerHost host;
  LogCapture log;
  const std::string source = host.Path("export.kxq");
};

TEST_F(PseudoFixture, OnlyUnicodesRunsChangeEachAsTheTwinRewritesIt) {
  const std::string copy = host.Path("pseudo.kxq");
  kxtpseudo::PseudoTranslate(source, copy, false);
  const std::string lines = Compare(copy, false);
  int streams = 0, unicodes = 0, changed = 0;
  ASSERT_EQ(std::sscanf(lines.c_str(), "streams %d unicodes %d changed %d", &streams, &unicodes, &changed), 3)
      << lines;
  EXPECT_EQ(lines.find('\n'), lines.size() - 1) << lines;
  EXPECT_GT(unicodes, 10);
  EXPECT_GT(changed, unicodes / 2);
  EXPECT_LE(changed, unicodes);
}

TEST_F(PseudoFixture, TheIdentityCopyAndTheProgramChangeNothing) {
  const std::string copy = host.Path("same.kxq");
  int status = -1;
  testutil::RunCommand(std::string(KXTPSEUDO_PROGRAM) + " " + testutil::ShellQuote(source) + " " +
                           testutil::ShellQuote(copy) + " --identity",
                       &status);
  ASSERT_EQ(status, 0);
  const std::string lines = Compare(copy, true);
  EXPECT_NE(lines.find(" changed 0\n"), std::string::npos) << lines;
  EXPECT_EQ(lines.find('\n'), lines.size() - 1) << lines;
}

TEST_F(PseudoFixture, TheProgramRefusesBadArgumentsAndBadFiles) {
  const std::string plain = host.Path("plain.txt");
  testutil::WriteFile(plain, "no container");
  const std::string program = KXTPSEUDO_PROGRAM;
  struct Case {
    std::string args;
    int status;
  };
  const Case cases[] = {
      {"", 2},
      {testutil::ShellQuote(source), 2},
      {testutil::ShellQuote(source) + " x.kxq --other", 2},
      {testutil::ShellQuote(source) + " " + testutil::ShellQuote(source), 1},
      {testutil::ShellQuote(plain) + " " + testutil::ShellQuote(host.Path("out.kxq")), 1},
      {testutil::ShellQuote(host.Path("missing.kxq")) + " " + testutil::ShellQuote(host.Path("out2.kxq")), 1},
  };
  const std::string before = testutil::ReadFile(source);
  for (const Case& c : cases) {
    int status = -1;
    testutil::RunCommand(program + " " + c.args, &status);
    EXPECT_EQ(status, c.status) << c.args;
  }
  EXPECT_EQ(testutil::ReadFile(source), before);
}

}  // namespace
