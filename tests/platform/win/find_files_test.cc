// Folder enumeration: entries in name order without "." and "..", hidden
// names, folders told from files without following links, one-entry
// searches, and a folder that cannot be read.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/win/find_files.h"
#include "tests/common/files.h"
#include "tests/common/temp_dir.h"

namespace {

using Listing = std::vector<std::pair<std::string, uint32_t>>;

Listing List(const std::string& pattern) {
  win::FindFiles search(pattern);
  Listing entries;
  win::FindEntry entry;
  while (search.Next(entry)) entries.emplace_back(entry.name, entry.attributes);
  return entries;
}

TEST(FindFilesTest, ListsAFolderInNameOrderWithAttributes) {
  testutil::TempDir dir;
  for (const char* name : {"b.qxp", "A.KXQ", ".hidden.qxp", "a.kxq"}) testutil::WriteFile(dir.File(name), "x");
  ASSERT_EQ(::mkdir(dir.File("sub").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(dir.File(".dot").c_str(), 0755), 0);
  ASSERT_EQ(::symlink(dir.File("sub").c_str(), dir.File("link").c_str()), 0);

  using win::kFileAttributeDirectory;
  using win::kFileAttributeHidden;
  using win::kFileAttributeNormal;
  const Listing expected = {
      {".dot", kFileAttributeDirectory | kFileAttributeHidden},
      {".hidden.qxp", kFileAttributeNormal | kFileAttributeHidden},
      {"A.KXQ", kFileAttributeNormal},
      {"a.kxq", kFileAttributeNormal},
      {"b.qxp", kFileAttributeNormal},
      // A link to a folder is an entry of its own, never a folder.
      {"link", kFileAttributeNormal},
      {"sub", kFileAttributeDirectory},
  };
  EXPECT_EQ(List(dir.path() + "/*"), expected);
}

TEST(FindFilesTest, OneEntrySearchesAndMissingFolders) {
  testutil::TempDir dir;
  testutil::WriteFile(dir.File("one.qxp"), "x");
  const struct {
    std::string pattern;
    bool valid;
    Listing entries;
  } cases[] = {
      {dir.File("one.qxp"), true, {{"one.qxp", win::kFileAttributeNormal}}},
      {dir.path(), true, {{dir.path().substr(dir.path().rfind('/') + 1), win::kFileAttributeDirectory}}},
      {dir.File("none.qxp"), false, {}},
      {dir.File("none") + "/*", false, {}},
      {"", false, {}},
  };
  for (const auto& c : cases) {
    win::FindFiles search(c.pattern);
    EXPECT_EQ(search.Valid(), c.valid) << c.pattern;
    EXPECT_EQ(List(c.pattern), c.entries) << c.pattern;
  }
}

TEST(FindFilesTest, AnEntryThatVanishesIsSkipped) {
  testutil::TempDir dir;
  testutil::WriteFile(dir.File("a"), "x");
  testutil::WriteFile(dir.File("b"), "x");
  win::FindFiles search(dir.path() + "/*");
  ASSERT_EQ(::unlink(dir.File("a").c_str()), 0);
  win::FindEntry entry;
  ASSERT_TRUE(search.Next(entry));
  EXPECT_EQ(entry.name, "b");
  EXPECT_FALSE(search.Next(entry));
}

}  // namespace
