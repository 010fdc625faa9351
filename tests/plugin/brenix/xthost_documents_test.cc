// The xthost program's document commands: open, stories, save, close, with
// Python's json module as the witness that a saved document equals the one
// opened, item by item.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/common/files.h"
#include "tests/common/temp_dir.h"
#include "ui_run_util.h"

namespace {

namespace fs = std::filesystem;

// A scratch folder for the host's runs, with an empty XTensions folder.
class Folder {
 public:
  Folder() { fs::create_directory(root() / "XTensions"); }
  fs::path operator/(const std::string& name) const { return root() / name; }
  fs::path root() const { return dir_.path(); }

 private:
  testutil::TempDir dir_{"brenix-xthost"};
};

// Runs a program in `folder`; its exit status (-1 when it did not exit).
int RunIn(const Folder& folder, std::vector<std::string> args) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(folder.root().c_str()) != 0) _exit(126);
    if (!std::freopen("stderr.txt", "w", stderr)) _exit(126);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> Host(const Folder& folder, const std::vector<std::string>& commands,
                              int* status) {
  std::vector<std::string> args = {XTHOST_PROGRAM, "--transcript", "transcript.txt"};
  args.insert(args.end(), commands.begin(), commands.end());
  *status = RunIn(folder, args);
  return ui_run::SplitLines(testutil::ReadFile(folder / "transcript.txt"));
}

TEST(XthostDocuments, OpenShowSaveAndClose) {
  Folder folder;
  const std::string fixture = std::string(BRENIX_TEST_DATA) + "/doc_brochure.json";
  fs::copy_file(fixture, folder / "brochure.qxp");
  int status = 0;
  const std::vector<std::string> lines =
      Host(folder, {"open", "brochure.qxp", "stories", "save", "close"}, &status);
  EXPECT_EQ(status, 0) << testutil::ReadFile(folder / "stderr.txt");
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines.front(), "open document 1 \"brochure.qxp\" flags 0");
  auto has = [&](const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  };
  EXPECT_TRUE(has("story 1 length 121"));
  EXPECT_TRUE(has("  paragraph 0 [0,16) format 1 style 2 \"Brenix Brochure\\x0d\""));
  EXPECT_TRUE(has("  run 2 [25,26) attributes 3 font 3 faces 0x0000 size 12 shift 0 color 0 "
                  "flags 0x0080 opcode 0 object 0 \" \""));
  EXPECT_TRUE(has("  run 7 [59,60) attributes 4 font 3 faces 0x0000 size 12 shift 0 color 0 "
                  "flags 0x0000 opcode 6 object 0 \"\\x02\""));
  EXPECT_TRUE(has("story 2 length 0"));
  EXPECT_TRUE(has("  run 1 [4,4) attributes 8 font 9 faces 0x0000 size 10 shift 0 color 0 "
                  "flags 0x0000 opcode 0 object 0 \"\""));
  EXPECT_TRUE(has("save document 1 \"brochure.qxp\""));
  EXPECT_TRUE(has("close document 1 \"brochure.qxp\" closed"));

  // The witness: the saved file holds the same items as the fixture.
  const int same = RunIn(folder, {"/usr/bin/python3", "-c",
                                "import json,sys; a=json.load(open(sys.argv[1])); "
                                "b=json.load(open(sys.argv[2])); sys.exit(0 if a==b else 1)",
                                fixture, (folder / "brochure.qxp").string()});
  EXPECT_EQ(same, 0);
}

TEST(XthostDocuments, CommandsThatCannotRunStopTheHost) {
  Folder folder;
  std::ofstream(folder / "bad.qxp") << "{\"format\": \"xthost document\"}";
  int status = 0;
  std::vector<std::string> lines = Host(folder, {"open", "bad.qxp", "stories"}, &status);
  EXPECT_EQ(status, 1);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "open failed: \"bad.qxp\" document: has no version");
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "story 1 length 0"), 0);

  lines = Host(folder, {"save"}, &status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(lines.front(), "save failed: no current document");
  lines = Host(folder, {"open"}, &status);
  EXPECT_EQ(status, 2);
}

}  // namespace
