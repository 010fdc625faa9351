// A job folder's mark against a server starting at the instant the job
// marks its folder: a probe that runs while the mark is made (this
// program's flock runs it before the job's first lock in the folder) never
// takes the live job's folder, its files or its mark.
#include "shared/server/job_folder_lock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "tests/common/files.h"
#include "tests/common/temp_dir.h"

namespace {

namespace fs = std::filesystem;

// Run (once) before the next lock of a file in `g_folder`.
std::function<void(int fd)> g_probe;
std::string g_folder;

}  // namespace

extern "C" int flock(int fd, int operation) {
  char path[4096];
  const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path);
  if (g_probe && n > 0 && std::string(path, static_cast<std::size_t>(n)).rfind(g_folder + "/", 0) == 0) {
    const std::function<void(int)> probe = std::move(g_probe);
    g_probe = nullptr;
    probe(fd);
  }
  return static_cast<int>(::syscall(SYS_flock, fd, operation));
}

namespace {

TEST(JobFolderLock, AProbeWhileTheMarkIsMadeLeavesTheLiveJobItsFolderAndItsMark) {
  struct Case {
    const char* name;
    std::function<void(const fs::path& base, int fd)> probe;
  };
  const Case cases[] = {
      {"a server starts and removes dead jobs' folders", [](const fs::path& base, int) { RemoveDeadJobFolders(base.string(), true); }},
      {"a server starts and removes dead jobs' partial files",
       [](const fs::path& base, int) { RemoveDeadJobFolders(base.string(), false); }},
      // A probe holds the lock of the file the job is about to lock.
      {"a probe holds the lock", [](const fs::path&, int fd) {
         const int other = ::open(("/proc/self/fd/" + std::to_string(fd)).c_str(), O_RDONLY | O_CLOEXEC);
         ASSERT_EQ(::syscall(SYS_flock, other, LOCK_EX | LOCK_NB), 0);
         g_probe = [other](int) { ::close(other); };
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testutil::TempDir base;
    const fs::path folder = fs::path(base.path()) / "PELMO_20240307090501_LIVEJOBQWERTYUIO";
    fs::create_directories(folder / "incoming");
    testutil::WriteFile((folder / "incoming" / ".AbCdEfGhIjKlM").string(), "received so far");
    g_folder = fs::canonical(folder).string();
    g_probe = [&](int fd) { c.probe(base.path(), fd); };
    {
      JobFolderLock lock(folder.string());
      g_probe = nullptr;
      EXPECT_EQ(testutil::ReadFile((folder / "incoming" / ".AbCdEfGhIjKlM").string()), "received so far");
      const int mark = ::open((folder / ".server.pid").c_str(), O_RDONLY | O_CLOEXEC);
      EXPECT_GE(mark, 0) << "the mark";
      EXPECT_NE(::syscall(SYS_flock, mark, LOCK_EX | LOCK_NB), 0) << "the mark unlocked";
      if (mark >= 0) ::close(mark);
      EXPECT_EQ(testutil::Entries(folder.string()), (std::set<std::string>{".server.pid", "incoming"}));
    }
    EXPECT_EQ(testutil::Entries(folder.string()), std::set<std::string>{"incoming"});
  }
}

}  // namespace
