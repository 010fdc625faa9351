// The replacing file: a new exclusive file beside the target, put in its
// place only by Commit (the other faults are met end to end in
// tests/plugin/brenix/output_faults_test.cc; a replaced file's mode in
// tests/support/data_file_test.cc).
#include "platform/win/replacing_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

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

}  // namespace
