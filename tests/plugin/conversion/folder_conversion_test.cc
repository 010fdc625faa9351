// The folder driver's pure parts and its scan and target clearing: the
// target path over both settings, the progress title, the scan of a source
// tree (hidden entries, links, long paths, extensions without case), and
// the removal of exactly the targets a run will write.
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "plugin/conversion/conversion_globals.h"
#include "plugin/conversion/conversion_types.h"
#include "plugin/conversion/folder_conversion.h"
#include "tests/common/files.h"
#include "tests/common/log_capture.h"
#include "tests/common/temp_dir.h"
#include "tests/plugin/qapi/doc_host_util.h"

namespace {

TEST(FolderTargetPathTest, FollowsBothSettings) {
  const struct {
    std::string folder, root, source;
    FileKind kind;
    bool map, include;
    std::string expected;
  } cases[] = {
      {"/t", "/in/jobs", "/in/jobs/x/y.qxp", kFileKindKxq, true, false, "/t/x/y.kxq"},
      {"/t", "/in/jobs", "/in/jobs/x/y.qxp", kFileKindKxq, true, true, "/t/jobs/x/y.kxq"},
      {"/t", "/in/jobs", "/in/jobs/x/y.qxp", kFileKindKxq, false, true, "/t/jobs/y.kxq"},
      {"/t", "/in/jobs", "/in/jobs/x/y.qxp", kFileKindKxq, false, false, "/t/y.kxq"},
      // Separators at the ends of the folders change nothing.
      {"/t/", "/in/jobs/", "/in/jobs/x/y.qxp", kFileKindKxq, true, true, "/t/jobs/x/y.kxq"},
      {"/", "/in", "/in/y.qxp", kFileKindPdf, false, false, "/y.pdf"},
      // A source outside the root keeps only its name.
      {"/t", "/in/job", "/in/jobs/y.qxp", kFileKindKxq, true, false, "/t/y.kxq"},
      // Only the last component's extension is replaced, whatever its case.
      {"/t", "/in", "/in/v1.2/Y.QXP", kFileKindKxq, true, false, "/t/v1.2/Y.kxq"},
      {"/t", "/k", "/k/a.KXQ", kFileKindQxp, true, false, "/t/a.qxp"},
      {"/t", "/in", "/in/v1.2/readme", kFileKindKxq, true, false, ""},
      {"/t", "/in", "/in/readme", kFileKindKxq, false, false, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FolderTargetPath(c.folder, c.root, c.source, c.kind, c.map, c.include), c.expected)
        << c.source << " map " << c.map << " include " << c.include;
  }
}

TEST(ProgressTitleTest, PadsTheIndexToTheTotal) {
  const struct {
    uint32_t total, index, type;
    bool server;
    std::string expected;
  } cases[] = {
      {12, 7, kConvertToPdf, false, "Export to PDF -> analysing file  7 of 12"},
      {1, 1, kConvertToXTags, false, "Export to XTags.1 of 1"},
      {100, 5, kConvertToKxq, false, "Export to Solvane -> analysing file   5 of 100"},
      {1, 1, kConvertToCoordinates, false, "Export to Coordinates.1 of 1"},
      {3, 2, kConvertImport, false, "Import to Quark 2 of 3 files"},
      {12, 7, kConvertToPdf, true, "Export to PDF -> analysing file "},
      {3, 2, kConvertImport, true, "Import to Quark "},
      {1, 1, kConvertNone, false, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ProgressTitleText(c.total, c.index, c.type, c.server), c.expected) << c.expected;
  }
}

TEST(HiddenOrSystemTest, ReadsTheTwoBits) {
  EXPECT_FALSE(IsHiddenOrSystem(0x80));
  EXPECT_FALSE(IsHiddenOrSystem(0x10 | 0x1));
  EXPECT_TRUE(IsHiddenOrSystem(0x2));
  EXPECT_TRUE(IsHiddenOrSystem(0x4 | 0x10));
}

// A source tree: visible and hidden files, a text file, a hidden folder, a
// link to a folder and a path longer than 260 characters.
class ScanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = dir_.path() + "/src";
    for (const char* folder : {"/src", "/src/sub", "/src/.hid", "/elsewhere"}) {
      ASSERT_EQ(::mkdir((dir_.path() + folder).c_str(), 0755), 0);
    }
    longFolder_ = root_;
    while (longFolder_.size() < 300) {
      longFolder_ += "/folder_with_a_rather_long_name_" + std::to_string(longFolder_.size());
      ASSERT_EQ(::mkdir(longFolder_.c_str(), 0755), 0);
    }
    for (const std::string& file : {root_ + "/a.qxp", root_ + "/sub/b.qxp", root_ + "/.hidden.qxp",
                                    root_ + "/notes.txt", root_ + "/.hid/c.qxp", longFolder_ + "/long.qxp",
                                    root_ + "/A.KXQ", root_ + "/b.kxq", root_ + "/.h.kxq",
                                    root_ + "/c.kxq.bak", dir_.path() + "/elsewhere/linked.qxp"}) {
      testutil::WriteFile(file, "x");
    }
    ASSERT_EQ(::symlink((dir_.path() + "/elsewhere").c_str(), (root_ + "/link").c_str()), 0);
    SourceFileList.clear();
  }

  std::vector<std::string> Scan(const std::string& folder, FileKind kind, bool recursive) {
    SourceFileList.clear();
    const int count = ScanFolderPath(folder, kind, recursive, false);
    EXPECT_EQ(count, static_cast<int>(SourceFileList.size()));
    return SourceFileList;
  }

  testutil::TempDir dir_;
  std::string root_, longFolder_;
};

TEST_F(ScanTest, ListsVisibleFilesInNameOrder) {
  const std::string& r = root_;
  // Host documents: every visible file, whatever its extension; the link is
  // a file entry and its folder is never entered.
  EXPECT_EQ(Scan(r, kFileKindQxp, false),
            (std::vector<std::string>{r + "/A.KXQ", r + "/a.qxp", r + "/b.kxq", r + "/c.kxq.bak", r + "/link",
                                      r + "/notes.txt"}));
  const std::vector<std::string> recursive = Scan(r, kFileKindQxp, true);
  EXPECT_EQ(recursive.size(), 9u);
  EXPECT_EQ(recursive.front(), r + "/.hid/c.qxp");
  EXPECT_NE(std::find(recursive.begin(), recursive.end(), longFolder_ + "/long.qxp"), recursive.end());
  EXPECT_NE(std::find(recursive.begin(), recursive.end(), r + "/sub/b.qxp"), recursive.end());
  for (const std::string& path : recursive) EXPECT_EQ(path.find("linked"), std::string::npos) << path;
  // Containers by their extension, without regard to case.
  EXPECT_EQ(Scan(r, kFileKindKxq, true), (std::vector<std::string>{r + "/A.KXQ", r + "/b.kxq"}));
}

// While it lives, a process running as root is refused folders without
// permissions as anybody else is (its effective capabilities to pass over
// them are off).
class FolderPermissionsCount {
 public:
  FolderPermissionsCount() {
    ::syscall(SYS_capget, &header_, saved_);
    __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
    reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    ::syscall(SYS_capset, &header_, reduced);
  }
  ~FolderPermissionsCount() { ::syscall(SYS_capset, &header_, saved_); }
  FolderPermissionsCount(const FolderPermissionsCount&) = delete;
  FolderPermissionsCount& operator=(const FolderPermissionsCount&) = delete;

 private:
  __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct saved_[2] = {};
};

// A sub-folder that cannot be read is named in the log with the system's
// reason; the rest of the tree is listed.  The folder named for the scan
// is followed when it is a link.
TEST_F(ScanTest, UnreadableSubFoldersAreLoggedAndLinkedRootsFollowed) {
  ASSERT_EQ(::mkdir((root_ + "/locked").c_str(), 0755), 0);
  testutil::WriteFile(root_ + "/locked/x.kxq", "x");
  ASSERT_EQ(::chmod((root_ + "/locked").c_str(), 0), 0);
  LogCapture log;
  std::vector<std::string> found;
  {
    const FolderPermissionsCount permissions;
    found = Scan(root_, kFileKindKxq, true);
  }
  ::chmod((root_ + "/locked").c_str(), 0755);
  EXPECT_EQ(found, (std::vector<std::string>{root_ + "/A.KXQ", root_ + "/b.kxq"}));
  EXPECT_EQ(log.Text(), "ERROR: Folder \"" + root_ + "/locked\" cannot be read: Permission denied\n");
  // Through the link in the tree: a file entry of its own, not entered;
  // named for the scan: the folder it leads to.
  EXPECT_EQ(Scan(root_ + "/link", kFileKindQxp, true), std::vector<std::string>{root_ + "/link/linked.qxp"});
}

TEST_F(ScanTest, FilesAsFoldersAndStopAtFirst) {
  EXPECT_EQ(Scan(root_ + "/a.qxp", kFileKindKxq, false), std::vector<std::string>{root_ + "/a.qxp"});
  EXPECT_TRUE(Scan(root_ + "/.hidden.qxp", kFileKindQxp, false).empty());
  EXPECT_TRUE(Scan(root_ + "/none", kFileKindQxp, true).empty());
  SourceFileList.clear();
  EXPECT_EQ(ScanFolderPath(root_, kFileKindKxq, false, true), 1);
  EXPECT_EQ(ScanFolderPath(root_ + "/sub", kFileKindKxq, true, true), 0);
  EXPECT_EQ(ScanFolderPath(root_ + "/sub", kFileKindPdf, false, true), 0);
  // A recursive check finds a file deep down, and lists nothing.
  std::filesystem::create_directories(dir_.path() + "/deep/inner");
  testutil::WriteFile(dir_.path() + "/deep/inner/x.kxq", "x");
  EXPECT_EQ(ScanFolderPath(dir_.path() + "/deep", kFileKindKxq, true, true), 1);
  EXPECT_EQ(ScanFolderPath(dir_.path() + "/deep", kFileKindKxq, false, true), 0);
  EXPECT_TRUE(SourceFileList.empty());
}

// Targets of a run under the default settings (sub-folders mapped, source
// folder not included).
class PrepareTargetsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = host_.Path("src");
    target_ = host_.Path("T");
    std::filesystem::create_directories(target_ + "/sub");
    for (const char* name : {"/a.kxq", "/sub/b.kxq", "/b.kxq"}) testutil::WriteFile(target_ + name, name);
    SourceFileList = {root_ + "/a.qxp", root_ + "/sub/b.qxp", root_ + "/c.qxp"};
    LockedTargetList = {"stale"};
    OverwriteFlags.SetAll(0);
  }
  void TearDown() override {
    OverwriteFlags.SetAll(0);
    SourceFileList.clear();
    LockedTargetList.clear();
  }

  DocHost host_;
  std::string root_, target_;
};

// The targets of the run are counted and none is removed: each is
// replaced only by its whole new file.
TEST_F(PrepareTargetsTest, CountsTheTargetsOfTheRunAndRemovesNone) {
  OverwriteFlags.kxqTarget = 1;
  EXPECT_EQ(PrepareTargets(target_, root_, kFileKindKxq), 2);
  for (const char* name : {"/a.kxq", "/sub/b.kxq", "/b.kxq"}) {
    EXPECT_EQ(testutil::ReadFile(target_ + name), name);
  }
  EXPECT_TRUE(LockedTargetList.empty());
}

TEST_F(PrepareTargetsTest, ReadsTheFlagOfTheTargetKind) {
  OverwriteFlags.importTarget = 1;
  OverwriteFlags.pdfTarget = 1;
  EXPECT_EQ(PrepareTargets(target_, root_, kFileKindKxq), 0);
  EXPECT_TRUE(testutil::Exists(target_ + "/a.kxq"));
  EXPECT_TRUE(testutil::Exists(target_ + "/sub/b.kxq"));
}

// A folder at a target's name cannot be replaced by a file: listed, and
// left where it is.
TEST_F(PrepareTargetsTest, ListsTargetsThatCannotBeReplaced) {
  OverwriteFlags.kxqTarget = 1;
  std::filesystem::create_directories(target_ + "/c.kxq/inside");
  EXPECT_EQ(PrepareTargets(target_, root_, kFileKindKxq), 2);
  EXPECT_EQ(LockedTargetList, std::vector<std::string>{target_ + "/c.kxq"});
  EXPECT_TRUE(testutil::IsDirectory(target_ + "/c.kxq/inside"));
  EXPECT_EQ(testutil::ReadFile(target_ + "/a.kxq"), "/a.kxq");
}

}  // namespace
