// Write failures: the file on disk stays as it was, the failure is reported
// by Commit with the right result, and no work file is left behind once the
// file is released.
#include <gtest/gtest.h>
#include <dirent.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "ole_test_util.h"
#include "platform/ole/ole.h"

namespace oletest {
namespace {

using namespace ole;

std::vector<std::string> Listing(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string n = e->d_name;
      if (n != "." && n != "..") names.push_back(n);
    }
    closedir(d);
  }
  return names;
}

// The names of the root's streams in the file on disk.
std::vector<std::u16string> OnDisk(const std::string& file) {
  std::vector<std::u16string> names;
  Ref<Storage> root;
  EXPECT_EQ(OpenDocfile(file.c_str(), 0x20, root.Out()), S_OK);
  if (!root) return names;
  Ref<ElementEnum> e;
  EXPECT_EQ(root->EnumElements(e.Out()), S_OK);
  StatStg stat;
  while (e->Next(1, &stat, nullptr) == S_OK) names.push_back(stat.name);
  return names;
}

// Lowers the file-size limit for the life of the object.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    old_handler_ = signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &old_);
    rlimit lower = old_;
    lower.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &lower);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    signal(SIGXFSZ, old_handler_);
  }

 private:
  rlimit old_;
  sighandler_t old_handler_;
};

TEST(FileIo, WriteFaultKeepsTheOldFile) {
  TempDir dir;
  std::string file = dir.File("f.ole");
  Ref<Storage> root;
  ASSERT_EQ(CreateDocfile(file.c_str(), 0x1011, root.Out()), S_OK);
  PutStream(root.get(), u"first", "1");
  ASSERT_EQ(root->Commit(), S_OK);
  PutStream(root.get(), u"second", Pattern(300000, 1));
  {
    FileSizeLimit limit(100000);
    EXPECT_EQ(root->Commit(), STG_E_WRITEFAULT);
  }
  EXPECT_EQ(OnDisk(file), std::vector<std::u16string>{u"first"});
  // The failed write is still owed: the next Commit makes it.
  ASSERT_EQ(root->Commit(), S_OK);
  EXPECT_EQ(OnDisk(file), (std::vector<std::u16string>{u"first", u"second"}));

  // A failing write at the last release cannot be reported; nothing is lost
  // on disk either.
  PutStream(root.get(), u"third", Pattern(300000, 2));
  {
    FileSizeLimit limit(100000);
    root.Reset();
  }
  EXPECT_EQ(OnDisk(file), (std::vector<std::u16string>{u"first", u"second"}));
  EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"f.ole"});
}

TEST(FileIo, FolderGoneBeforeCommit) {
  TempDir dir;
  std::string folder = dir.File("sub");
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  std::string file = folder + "/f.ole";
  Ref<Storage> root;
  ASSERT_EQ(CreateDocfile(file.c_str(), 0x1011, root.Out()), S_OK);
  PutStream(root.get(), u"s", "x");
  int status = 0;
  RunCommand("rm -rf " + ShellQuote(folder), &status);
  EXPECT_EQ(root->Commit(), STG_E_PATHNOTFOUND);
}

// A full disk: run again inside a private 256 KiB tmpfs, where that can be
// had (a user and mount namespace); skipped elsewhere.
TEST(FileIo, MediumFullKeepsTheOldFile) {
  const char* full = getenv("OLE_TEST_FULL_DIR");
  if (full == nullptr) {
    TempDir mount_point;
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    self[n] = '\0';
    std::string inner = "mount -t tmpfs -o size=256k tmpfs " + ShellQuote(mount_point.path()) +
                        " || exit 99; OLE_TEST_FULL_DIR=" + ShellQuote(mount_point.path()) + " exec " +
                        ShellQuote(self) + " --gtest_filter=FileIo.MediumFullKeepsTheOldFile";
    int status = 0;
    std::string out = RunCommand("unshare -rm sh -c " + ShellQuote(inner), &status, true);
    if (out.find("[==========]") == std::string::npos) GTEST_SKIP() << "no private tmpfs here: " << out;
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(out.find("[  SKIPPED ]"), std::string::npos) << out;
    return;
  }
  std::string file = std::string(full) + "/f.ole";
  Ref<Storage> root;
  ASSERT_EQ(CreateDocfile(file.c_str(), 0x1011, root.Out()), S_OK);
  PutStream(root.get(), u"first", Pattern(100000, 1));
  ASSERT_EQ(root->Commit(), S_OK);
  PutStream(root.get(), u"second", Pattern(100000, 2));
  EXPECT_EQ(root->Commit(), STG_E_MEDIUMFULL);
  EXPECT_EQ(OnDisk(file), std::vector<std::u16string>{u"first"});
  ASSERT_EQ(root->DestroyElement(u"first"), S_OK);
  EXPECT_EQ(root->Commit(), S_OK);
  EXPECT_EQ(OnDisk(file), std::vector<std::u16string>{u"second"});
  root.Reset();
  EXPECT_EQ(Listing(full), std::vector<std::string>{"f.ole"});
}

}  // namespace
}  // namespace oletest
