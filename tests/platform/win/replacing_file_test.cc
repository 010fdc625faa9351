// The replacing file: a new exclusive file beside the target, put in its
// place only by Commit (the other faults are met end to end in
// tests/plugin/brenix/output_faults_test.cc; a replaced file's mode in
// tests/support/data_file_test.cc).
#include "platform/win/replacing_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>

#include <filesystem>
#include <string>

#include "tests/common/files.h"
#include "tests/common/temp_dir.h"

// How many renames of this program renamed a file that another open
// description could lock right then (a sweep of leftovers could remove).
int g_unlocked = 0;

extern "C" int rename(const char* from, const char* to) {
  const int fd = ::open(from, O_RDONLY | O_CLOEXEC);
  g_unlocked += ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  ::close(fd);
  return static_cast<int>(::syscall(SYS_renameat, AT_FDCWD, from, AT_FDCWD, to));
}

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

// Until it has the target's name the output stays locked, also when a
// writer built it anew at the temporary name (as the compound-file layer
// does).
TEST(ReplacingFile, TheOutputStaysLockedUntilItHasTheTargetsName) {
  for (const bool anew : {false, true}) {
    testutil::TempDir dir;
    const fs::path folder = dir.path();
    win::ReplacingFile file((folder / "out.txt").string());
    testutil::WriteFile(anew ? (folder / "work").string() : file.path(), "the output");
    if (anew) std::rename((folder / "work").c_str(), file.path().c_str());
    g_unlocked = 0;
    EXPECT_TRUE(file.Commit()) << file.Reason();
    EXPECT_EQ(g_unlocked, 0) << anew;
    EXPECT_EQ(testutil::ReadFile((folder / "out.txt").string()), "the output");
  }
}

}  // namespace
