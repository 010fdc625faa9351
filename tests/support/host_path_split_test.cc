// Splitting host paths into folder, name and three-letter extension.
#include <gtest/gtest.h>

#include "support/host_file_spec.h"

namespace {

struct Split {
  bool ok;
  std::string folder, name, extension;
};

Split SplitOf(const std::string& path, bool withExtension, bool requireExtension,
              bool forwardSlash = true) {
  Split s{false, "-", "-", "-"};
  s.ok = SplitHostPath(path, s.folder, s.name, withExtension ? &s.extension : nullptr, forwardSlash,
                       requireExtension);
  return s;
}

TEST(SplitHostPath, FolderNameAndExtension) {
  Split s = SplitOf("/a/b/file.qxp", true, true);
  EXPECT_TRUE(s.ok);
  EXPECT_EQ(s.folder, "/a/b");
  EXPECT_EQ(s.name, "file");
  EXPECT_EQ(s.extension, "qxp");
  // Without an extension output the name keeps it.
  s = SplitOf("/a/b/file.qxp", false, true);
  EXPECT_TRUE(s.ok);
  EXPECT_EQ(s.name, "file.qxp");
  // The separator is "/" whatever the flag says.
  s = SplitOf("/a/b/file.qxp", true, false, false);
  EXPECT_EQ(s.folder, "/a/b");
  EXPECT_EQ(s.name, "file");
  // Right under the root.
  s = SplitOf("/file.qxp", true, true);
  EXPECT_TRUE(s.ok);
  EXPECT_EQ(s.folder, "/");
  EXPECT_EQ(s.name, "file");
}

TEST(SplitHostPath, OnlyAThreeLetterExtensionOfTheLastComponentCounts) {
  Split s = SplitOf("/a/file.qxpx", true, false);
  EXPECT_TRUE(s.ok);
  EXPECT_EQ(s.extension, "");
  EXPECT_EQ(s.name, "file.qxpx");
  s = SplitOf("/a/x.dir/file", true, false);
  EXPECT_TRUE(s.ok);
  EXPECT_EQ(s.folder, "/a/x.dir");
  EXPECT_EQ(s.name, "file");
  EXPECT_EQ(s.extension, "");
  // "c/d" after the last dot is no extension.
  s = SplitOf("/x/ab.c/d", true, false);
  EXPECT_EQ(s.folder, "/x/ab.c");
  EXPECT_EQ(s.name, "d");
  EXPECT_EQ(s.extension, "");
}

TEST(SplitHostPath, FailsWithoutWhatItNeeds) {
  // A required extension that is not there: false and nothing stored.
  for (const char* path : {"/a/file", "/a/file.qxpx", "/a/x.dir/file"}) {
    const Split s = SplitOf(path, true, true);
    EXPECT_FALSE(s.ok) << path;
    EXPECT_EQ(s.folder, "-") << path;
    EXPECT_EQ(s.extension, "-") << path;
  }
  EXPECT_FALSE(SplitOf("file.qxp", true, true).ok);  // no folder
  EXPECT_FALSE(SplitOf("/a/", true, false).ok);      // no name
  EXPECT_FALSE(SplitOf("", true, false).ok);
  EXPECT_FALSE(SplitOf("/a/.qxp", true, true).ok);  // nothing before the dot
}

}  // namespace
