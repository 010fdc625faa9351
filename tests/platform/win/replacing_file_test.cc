// The replacing file: a new exclusive file beside the target, put in its
// place only by Commit.
#include "platform/win/replacing_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "tests/common/files.h"
#include "tests/common/temp_dir.h"

namespace {

namespace fs = std::filesystem;

TEST(ReplacingFile, LinksAtItsCandidateNamesAreNeverFollowed) {
  testutil::TempDir dir;
  const fs::path folder = dir.path();
  testutil::WriteFile((folder / "victim").string(), "someone else's");
  // The names the first files of this process would take.
  for (int n = 1; n <= 20; ++n) {
    fs::create_symlink(folder / "victim", folder / (".~" + std::to_string(::getpid()) + "-" + std::to_string(n)));
  }
  win::ReplacingFile file((folder / "out.txt").string());
  ASSERT_TRUE(file.ok()) << file.Reason();
  file.stream() << "the output";
  EXPECT_TRUE(file.Commit()) << file.Reason();
  EXPECT_EQ(testutil::ReadFile((folder / "victim").string()), "someone else's");
  EXPECT_EQ(testutil::ReadFile((folder / "out.txt").string()), "the output");
  EXPECT_EQ(testutil::Entries(folder.string()).size(), 22u);  // victim, 20 links, out.txt
}

TEST(ReplacingFile, TheTargetChangesOnlyByACommitThatSucceeds) {
  struct Case {
    const char* name;
    bool directory;  // a folder at the target's name
    bool commit;
    bool replaced;
    int error;
  };
  const Case cases[] = {
      {"committed over a file", false, true, true, 0},
      {"discarded", false, false, false, 0},
      {"committed onto a folder", true, true, false, EISDIR},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testutil::TempDir dir;
    const std::string target = (fs::path(dir.path()) / std::string(250, 'n')).string();
    if (c.directory) {
      fs::create_directory(target);
    } else {
      testutil::WriteFile(target, "before");
      ::chmod(target.c_str(), 0640);
    }
    {
      win::ReplacingFile file(target);
      ASSERT_TRUE(file.ok()) << file.Reason();
      EXPECT_TRUE(file.Write("after", 5));
      EXPECT_EQ(fs::path(file.path()).parent_path(), fs::path(target).parent_path());
      if (c.commit) {
        EXPECT_EQ(file.Commit(), c.replaced);
      }
      EXPECT_EQ(file.error(), c.error);
    }
    EXPECT_EQ(testutil::Entries(dir.path()).size(), 1u) << "only the target";
    if (c.directory) {
      EXPECT_TRUE(fs::is_directory(target));
      continue;
    }
    EXPECT_EQ(testutil::ReadFile(target), c.replaced ? "after" : "before");
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
  }
}

}  // namespace
