// The log files refuse a link at their names: the program log and the
// server log, each over a symbolic link to someone else's file, a dangling
// symbolic link and a second name (hard link) of someone else's file.
// Each is refused with a line on standard error and the other file stays
// as it was; a plain file there is emptied and written as before.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "support/CnvTools.h"
#include "support/program_log.h"
#include "tests/common/files.h"
#include "tests/common/temp_dir.h"

namespace {

enum class At { kPlainFile, kSymbolicLink, kDanglingLink, kHardLink };

// Puts `at` at `folder`/`name`; "victim" beside it is someone else's file.
void Make(const std::string& folder, const std::string& name, At at) {
  const std::string path = folder + "/" + name;
  const std::string victim = folder + "/victim";
  testutil::WriteFile(victim, "someone else's");
  switch (at) {
    case At::kPlainFile: testutil::WriteFile(path, "an earlier log\n"); break;
    case At::kSymbolicLink: ASSERT_EQ(::symlink(victim.c_str(), path.c_str()), 0); break;
    case At::kDanglingLink: ASSERT_EQ(::symlink((folder + "/nothing").c_str(), path.c_str()), 0); break;
    case At::kHardLink: ASSERT_EQ(::link(victim.c_str(), path.c_str()), 0); break;
  }
}

TEST(LogFiles, ALinkAtTheNameIsRefusedWithALineOnStandardError) {
  // Each child is forked from this process, which never opens the program
  // log: every child opens it anew.
  GTEST_FLAG_SET(death_test_style, "fast");
  struct Case {
    const char* name;
    At at;
  };
  const Case cases[] = {{"a plain file", At::kPlainFile},
                        {"a symbolic link", At::kSymbolicLink},
                        {"a dangling symbolic link", At::kDanglingLink},
                        {"a hard link", At::kHardLink}};
  for (const bool server : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(server ? "server log, " : "program log, ") + c.name);
      const testutil::TempDir dir("log_links");
      const std::string folder = dir.path();
      const std::string name = server ? "BX9_srv.log" : "BrenixLogfile.txt";
      Make(folder, name, c.at);
      const std::string refused = std::string("Brenix: the ") + (server ? "server log " : "program log ") + folder +
                                  "/" + name + " cannot be created: a link is at its name; it is not written\n";
      const testing::Matcher<const std::string&> said =
          c.at == At::kPlainFile
              ? testing::Matcher<const std::string&>(testing::Not(testing::HasSubstr("cannot be created")))
              : testing::Matcher<const std::string&>(testing::HasSubstr(refused));
      EXPECT_EXIT(
          {
            const std::string& given = folder;
            if (::chdir(given.c_str()) != 0) std::_Exit(3);
            if (server) {
              ct_Folder<std::string> root(given.substr(given.rfind('/') + 1), given.substr(0, given.rfind('/')),
                                          false, false);
              ct_LogFile<std::string> log(name, &root);
              log.WriteRecord("here", "a record");
            } else {
              ProgramLog() << "a record" << std::endl;
            }
            std::exit(0);
          },
          testing::ExitedWithCode(0), said);
      EXPECT_EQ(testutil::ReadFile(folder + "/victim"), "someone else's");
      if (c.at == At::kPlainFile) {
        const std::string log = testutil::ReadFile(folder + "/" + name);
        EXPECT_EQ(log.find("an earlier log"), std::string::npos) << log;
        EXPECT_NE(log.find("a record"), std::string::npos) << log;
      }
    }
  }
}

}  // namespace
