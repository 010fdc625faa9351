// The xthost command that selects text, run with the plug-in loaded: the
// selection it makes is the one the saved document holds (Python's json
// module as the witness), and a range it cannot make stops the run.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "ui_run_util.h"

namespace {

using namespace ui_run;

const std::string kBrochure = std::string(BRENIX_TEST_DATA) + "/doc_brochure.json";

TEST(XthostSelect, SelectsInTheFirstBoxOfTheStoryAndSavesIt) {
  Installation install;
  fs::copy_file(kBrochure, install.root() / "brochure.qxp");
  const HostRun run = RunHost(install, {"start", "open", "brochure.qxp", "select", "4", "6", "17",
                                        "save", "quit"});
  EXPECT_TRUE(Clean(run)) << run.errors;
  EXPECT_EQ(Only(run, {"open document", "select", "save document", "registration libbrenix.so ->"}),
            (std::vector<std::string>{"registration libbrenix.so -> 0x00000000",
                                      "open document 1 \"brochure.qxp\" flags 0",
                                      "select story 4 6 17 box 5",
                                      "save document 1 \"brochure.qxp\""}));
  // Everything else of the document is as it was.
  const std::string check =
      "import json,sys\n"
      "a=json.load(open(sys.argv[1])); b=json.load(open(sys.argv[2]))\n"
      "a.update(currentBox=5, textOpen=True, selection=[6, 17])\n"
      "sys.exit(0 if a == b else 1)\n";
  const std::string saved = (install.root() / "brochure.qxp").string();
  const std::string command =
      std::string(BRENIX_PYTHON) + " -c '" + check + "' '" + kBrochure + "' '" + saved + "'";
  EXPECT_EQ(std::system(command.c_str()), 0) << ReadFile(saved);
}

TEST(XthostSelect, ARangeThatCannotBeSelectedStopsTheRun) {
  Installation install;
  fs::copy_file(kBrochure, install.root() / "brochure.qxp");
  struct Case {
    std::vector<std::string> commands;
    std::string line;
  };
  const Case cases[] = {
      {{"select", "1", "0", "1"}, "select failed: no current document"},
      {{"open", "brochure.qxp", "select", "9", "0", "1"}, "select failed: no box shows story 9"},
      {{"open", "brochure.qxp", "select", "1", "5", "200"},
       "select failed: no range [5,200) in story 1 of length 121"},
      {{"open", "brochure.qxp", "select", "1", "7", "6"},
       "select failed: no range [7,6) in story 1 of length 121"},
      {{"open", "brochure.qxp", "select", "1", "-1", "6"},
       "select failed: no range [-1,6) in story 1 of length 121"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"start"};
    args.insert(args.end(), c.commands.begin(), c.commands.end());
    args.push_back("save");
    const HostRun run = RunHost(install, args);
    EXPECT_EQ(run.status, 1) << c.line;
    EXPECT_EQ(Only(run, {"select", "save"}), std::vector<std::string>{c.line});
  }
  // Not a story and two whole numbers: the command line is refused.
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"select", "1", "2"}, {"select", "1", "x", "2"},
        {"select", "1", "2", "99999999999"}}) {
    EXPECT_EQ(RunHost(install, args).status, 2) << args[2];
  }
}

}  // namespace
