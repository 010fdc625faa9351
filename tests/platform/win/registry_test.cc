#include "platform/win/registry.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "tests/common/files.h"
#include "tests/common/processes.h"
#include "tests/common/registry_root.h"

namespace fs = std::filesystem;
using namespace win;

namespace {

using testutil::Entries;
using testutil::ReadFile;
using testutil::RunTogether;
using testutil::WriteFile;

class RegistryTest : public testing::Test {
 protected:
  void TearDown() override {
    for (HKey key : open_) RegCloseKey(key);
    fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add);  // for the folder's removal
  }
  fs::path Hive() const { return fs::path(root_) / "HKEY_LOCAL_MACHINE"; }

  HKey Create(const char* path, uint32_t access = kKeyAllAccess, uint32_t* disposition = nullptr) {
    HKey key = 0;
    EXPECT_EQ(RegCreateKeyEx(kHKeyLocalMachine, path, 0, nullptr, 0, access, nullptr, &key, disposition), 0) << path;
    open_.push_back(key);
    return key;
  }
  int32_t Open(const char* path, uint32_t access, HKey* key) {
    const int32_t code = RegOpenKeyEx(kHKeyLocalMachine, path, 0, access, key);
    if (code == 0) open_.push_back(*key);
    return code;
  }
  int32_t SetText(HKey key, const char* name, const std::string& text) {
    return RegSetValueEx(key, name, 0, kRegSz, reinterpret_cast<const uint8_t*>(text.c_str()),
                         static_cast<uint32_t>(text.size() + 1));
  }
  std::string Query(HKey key, const char* name, int32_t* code, uint32_t* type = nullptr) {
    uint8_t buffer[256];
    uint32_t size = sizeof buffer;
    *code = RegQueryValueEx(key, name, nullptr, type, buffer, &size);
    return *code == 0 ? std::string(reinterpret_cast<char*>(buffer), size) : std::string();
  }

  const testutil::RegistryRoot registry_;
  const std::string root_ = registry_.path();
  std::vector<HKey> open_;
};

TEST_F(RegistryTest, CreateMakesEveryKeyAsAFolderAndReportsTheDisposition) {
  uint32_t disposition = 0;
  Create("SOFTWARE\\Maker Co\\Flag", kKeyAllAccess, &disposition);
  EXPECT_EQ(disposition, kRegCreatedNewKey);
  EXPECT_TRUE(fs::is_directory(Hive() / "SOFTWARE" / "Maker Co" / "Flag"));
  Create("SOFTWARE\\Maker Co", kKeyAllAccess, &disposition);
  EXPECT_EQ(disposition, kRegOpenedExistingKey);
}

TEST_F(RegistryTest, KeysMadeOnDiskInAnotherCaseAreFoundAndReused) {
  fs::create_directories(Hive() / "Software" / "Pelmo");  // what a launcher does
  HKey key = 0;
  EXPECT_EQ(Open("SOFTWARE\\PELMO", kKeyRead, &key), 0);
  uint32_t disposition = 0;
  Create("software\\pelmo\\New Key", kKeyAllAccess, &disposition);
  EXPECT_EQ(disposition, kRegCreatedNewKey);
  EXPECT_EQ(Entries(Hive()), std::set<std::string>{"Software"});
  EXPECT_EQ(Entries(Hive() / "Software" / "Pelmo"), std::set<std::string>{"New Key"});
}

TEST_F(RegistryTest, OpenFailsForMissingKeysAndBadNames) {
  HKey key = 0;
  EXPECT_EQ(Open("Nothing\\Here", kKeyRead, &key), kErrorFileNotFound);
  EXPECT_EQ(Open("a\\\\b", kKeyRead, &key), kErrorInvalidParameter);
  EXPECT_EQ(Open("\\a", kKeyRead, &key), kErrorInvalidParameter);
  EXPECT_EQ(Open(std::string(256, 'k').c_str(), kKeyRead, &key), kErrorInvalidParameter);
  EXPECT_EQ(RegOpenKeyEx(0x1234, "x", 0, kKeyRead, &key), kErrorInvalidHandle);
  EXPECT_EQ(RegCreateKeyEx(kHKeyLocalMachine, "x", 0, nullptr, 0, kKeyRead, nullptr, nullptr, nullptr),
            kErrorInvalidParameter);
}

TEST_F(RegistryTest, ValuesKeepTypeAndBytesAndNamesIgnoreCase) {
  HKey key = Create("Values");
  const uint8_t blob[] = {0, 1, 2, 0xFF, 0};
  ASSERT_EQ(RegSetValueEx(key, "Blob", 0, kRegBinary, blob, sizeof blob), 0);
  // On disk: the type, little-endian, then the bytes.
  EXPECT_EQ(ReadFile(Hive() / "Values" / "\\Blob"), std::string("\x03\0\0\0\0\x01\x02\xFF\0", 9));

  uint32_t type = 0;
  uint32_t size = 0;
  EXPECT_EQ(RegQueryValueEx(key, "BLOB", nullptr, &type, nullptr, &size), 0);
  EXPECT_EQ(type, static_cast<uint32_t>(kRegBinary));
  EXPECT_EQ(size, 5u);
  uint8_t small[4];
  size = sizeof small;
  EXPECT_EQ(RegQueryValueEx(key, "blob", nullptr, nullptr, small, &size), kErrorMoreData);
  EXPECT_EQ(size, 5u);

  // Replacing by another letter case keeps one value, under its first name.
  ASSERT_EQ(SetText(key, "bLOB", "text"), 0);
  EXPECT_EQ(Entries(Hive() / "Values"), std::set<std::string>{"\\Blob"});
  int32_t code = 0;
  EXPECT_EQ(Query(key, "Blob", &code, &type), std::string("text", 5));
  EXPECT_EQ(type, static_cast<uint32_t>(kRegSz));

  EXPECT_EQ(Query(key, "Missing", &code), "");
  EXPECT_EQ(code, kErrorFileNotFound);
  // The unnamed value and a subkey of a value's name live side by side.
  ASSERT_EQ(SetText(key, nullptr, "default"), 0);
  Create("Values\\Blob");
  EXPECT_EQ(Query(key, "", &code), std::string("default", 8));
  EXPECT_EQ(Query(key, "Blob", &code), std::string("text", 5));
  // Deleting a value, by any letter case, leaves the subkey of its name.
  EXPECT_EQ(RegDeleteValue(key, "BLOB"), kErrorSuccess);
  EXPECT_EQ(RegDeleteValue(key, "Blob"), kErrorFileNotFound);
  EXPECT_EQ(Entries(Hive() / "Values"), (std::set<std::string>{"\\", "Blob"}));
}

TEST_F(RegistryTest, NamesWithSlashesAndPercentSignsRoundTrip) {
  HKey key = Create("a/b%c");
  EXPECT_TRUE(fs::is_directory(Hive() / "a%2Fb%25c"));
  ASSERT_EQ(SetText(key, "x/y", "1"), 0);
  EXPECT_TRUE(fs::is_regular_file(Hive() / "a%2Fb%25c" / "\\x%2Fy"));
  int32_t code = 0;
  EXPECT_EQ(Query(key, "X/Y", &code), std::string("1", 2));

  char name[32];
  uint32_t length = sizeof name;
  EXPECT_EQ(RegEnumKeyEx(kHKeyLocalMachine, 0, name, &length), 0);
  EXPECT_STREQ(name, "a/b%c");
  EXPECT_EQ(length, 5u);
}

// Folders an outside hand left in a key whose names are no key's name, and
// links to folders: enumeration skips them and no key path reaches them, so
// no walk over the tree comes back to where it was.
TEST_F(RegistryTest, FoldersThatNameNoKeyAreNotKeys) {
  HKey key = Create("Odd");
  Create("Odd\\Real");
  for (const char* folder : {"%00", "a%00b", "%2E", "%2E%2E", "%5C", "x%5Cy"}) {
    fs::create_directory(Hive() / "Odd" / folder);
  }
  fs::create_directory_symlink(".", Hive() / "Odd" / "Loop");
  fs::create_directory_symlink("Real", Hive() / "Odd" / "Alias");
  char name[64];
  uint32_t length = sizeof name;
  ASSERT_EQ(RegEnumKeyEx(key, 0, name, &length), 0);
  EXPECT_STREQ(name, "Real");
  length = sizeof name;
  EXPECT_EQ(RegEnumKeyEx(key, 1, name, &length), kErrorNoMoreItems);

  HKey opened = 0;
  EXPECT_EQ(Open("Odd\\Loop", kKeyRead, &opened), kErrorBadDb);
  EXPECT_EQ(Open("Odd\\Alias", kKeyRead, &opened), kErrorBadDb);
  for (const char* path : {"Odd\\.", "Odd\\..", "Odd\\\\Real", "Odd\\"}) {
    EXPECT_EQ(Open(path, kKeyRead, &opened), kErrorInvalidParameter) << path;
    EXPECT_EQ(RegCreateKeyEx(kHKeyLocalMachine, path, 0, nullptr, 0, kKeyAllAccess, nullptr, &opened, nullptr),
              kErrorInvalidParameter)
        << path;
  }
  // Deleting a leaf never follows a link out of the key.
  WriteFile(Hive() / "Odd" / "Real" / "\\kept", std::string("\x01\0\0\0", 4));
  EXPECT_EQ(RegDeleteKey(key, "Alias"), kErrorBadDb);
  EXPECT_TRUE(fs::exists(Hive() / "Odd" / "Real" / "\\kept"));
}

// A value file that is not a plain file, or too short to hold its type, is
// damaged: reads say so, and a write that must not replace it finds it there.
TEST_F(RegistryTest, DamagedValueFilesReadAsDamaged) {
  HKey key = Create("Damaged");
  const fs::path folder = Hive() / "Damaged";
  fs::create_directory(folder / "\\Folder");
  ASSERT_EQ(mkfifo((folder / "\\Pipe").c_str(), 0600), 0);
  WriteFile(folder / "\\Target", std::string("\x01\0\0\0x\0", 6));
  fs::create_symlink("\\Target", folder / "\\Link");
  WriteFile(folder / "\\Short", "ab");
  for (const char* name : {"Folder", "Pipe", "Link", "Short"}) {
    int32_t code = 0;
    Query(key, name, &code);
    EXPECT_EQ(code, kErrorBadDb) << name;
    const uint8_t byte = 1;
    EXPECT_EQ(RegCreateValueIfAbsent(key, name, kRegBinary, &byte, 1), kErrorAlreadyExists) << name;
  }
  // Only a value's own file is deleted, never what took its place.
  EXPECT_EQ(RegDeleteValue(key, "Folder"), kErrorBadDb);
  EXPECT_EQ(RegDeleteValue(key, "Link"), kErrorBadDb);
  EXPECT_TRUE(fs::is_directory(folder / "\\Folder"));
  EXPECT_TRUE(fs::is_symlink(folder / "\\Link"));
}

TEST_F(RegistryTest, EnumerationIsOrderedWithoutRegardToCase) {
  HKey key = Create("List");
  Create("List\\beta");
  Create("List\\Alpha");
  Create("List\\GAMMA");
  SetText(key, "NotAKey", "v");
  std::vector<std::string> names;
  char name[16];
  uint32_t length = sizeof name;
  for (uint32_t i = 0; (length = sizeof name, RegEnumKeyEx(key, i, name, &length)) == 0; ++i) names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "beta", "GAMMA"}));
  length = sizeof name;
  EXPECT_EQ(RegEnumKeyEx(key, 3, name, &length), kErrorNoMoreItems);
  length = 5;  // "Alpha" needs 6 with its NUL
  EXPECT_EQ(RegEnumKeyEx(key, 0, name, &length), kErrorMoreData);
}

TEST_F(RegistryTest, DeleteRemovesOnlyLeafKeysWithTheirValues) {
  HKey leaf = Create("Tree\\Branch\\Leaf");
  SetText(leaf, "v", "x");
  HKey tree = Create("Tree");
  EXPECT_EQ(RegDeleteKey(tree, "branch"), kErrorAccessDenied);
  EXPECT_EQ(RegDeleteKey(tree, "BRANCH\\leaf"), 0);
  EXPECT_FALSE(fs::exists(Hive() / "Tree" / "Branch" / "Leaf"));
  EXPECT_EQ(RegDeleteKey(tree, "Branch"), 0);
  EXPECT_EQ(RegDeleteKey(tree, "Branch"), kErrorFileNotFound);
  EXPECT_EQ(RegDeleteKey(tree, ""), kErrorInvalidParameter);
  EXPECT_EQ(Entries(Hive() / "Tree"), std::set<std::string>{});
}

TEST_F(RegistryTest, HandlesCarryTheirAccess) {
  Create("Rights");
  HKey reader = 0;
  ASSERT_EQ(Open("Rights", kKeyRead, &reader), 0);
  EXPECT_EQ(SetText(reader, "v", "x"), kErrorAccessDenied);
  HKey child = 0;
  EXPECT_EQ(RegCreateKeyEx(reader, "Child", 0, nullptr, 0, kKeyRead, nullptr, &child, nullptr), kErrorAccessDenied);
  HKey writer = 0;
  ASSERT_EQ(Open("Rights", kKeySetValue, &writer), 0);
  EXPECT_EQ(SetText(writer, "v", "x"), 0);
  int32_t code = 0;
  Query(writer, "v", &code);
  EXPECT_EQ(code, kErrorAccessDenied);
  char name[8];
  uint32_t length = sizeof name;
  EXPECT_EQ(RegEnumKeyEx(writer, 0, name, &length), kErrorAccessDenied);

  EXPECT_EQ(RegCloseKey(writer), 0);
  EXPECT_EQ(RegCloseKey(writer), kErrorInvalidHandle);
  EXPECT_EQ(SetText(writer, "v", "x"), kErrorInvalidHandle);
  EXPECT_EQ(RegCloseKey(kHKeyLocalMachine), 0);
}

TEST_F(RegistryTest, AFolderWithoutWriteAccessRefusesFullAccess) {
  Create("Locked");
  fs::permissions(root_, fs::perms::all);
  fs::permissions(Hive(), fs::perms::all);
  fs::permissions(Hive() / "Locked", fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                                         fs::perms::others_exec);
  // As a user who may not write there (the superuser may write anywhere).
  const std::vector<int> codes = RunTogether(1, [] {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return 90;
    HKey key = 0;
    const int32_t full = RegOpenKeyEx(kHKeyLocalMachine, "Locked", 0, kKeyAllAccess, &key);
    const int32_t read = RegOpenKeyEx(kHKeyLocalMachine, "LOCKED", 0, kKeyRead, &key);
    return full == kErrorAccessDenied && read == 0 ? 0 : 91;
  });
  EXPECT_EQ(codes, std::vector<int>{0});
  fs::permissions(Hive() / "Locked", fs::perms::owner_all);
}

TEST_F(RegistryTest, DamagedValueFilesAreReportedNotTrusted) {
  HKey key = Create("Damaged");
  WriteFile(Hive() / "Damaged" / "\\Short", "ab");
  int32_t code = 0;
  Query(key, "short", &code);
  EXPECT_EQ(code, kErrorBadDb);
  WriteFile(Hive() / "Damaged" / "\\Empty", std::string("\x07\0\0\0", 4));
  uint32_t type = 0;
  EXPECT_EQ(Query(key, "Empty", &code, &type), "");
  EXPECT_EQ(code, 0);
  EXPECT_EQ(type, 7u);
}

TEST_F(RegistryTest, CreateValueIfAbsentNeverReplaces) {
  HKey key = Create("Claim");
  const uint8_t first[] = {'A', 0};
  const uint8_t second[] = {'B', 0};
  EXPECT_EQ(RegCreateValueIfAbsent(key, "Owner", kRegSz, first, 2), 0);
  EXPECT_EQ(RegCreateValueIfAbsent(key, "OWNER", kRegSz, second, 2), kErrorAlreadyExists);
  int32_t code = 0;
  EXPECT_EQ(Query(key, "owner", &code), std::string("A", 2));
  EXPECT_EQ(Entries(Hive() / "Claim"), std::set<std::string>{"\\Owner"});  // no temporary file left
}

TEST_F(RegistryTest, OfTwentyProcessesRacingForOneValueExactlyOneWins) {
  Create("Race");
  const std::vector<int> codes = RunTogether(20, [] {
    HKey key = 0;
    if (RegOpenKeyEx(kHKeyLocalMachine, "RACE", 0, kKeyAllAccess, &key) != 0) return 99;
    const uint8_t data[] = {static_cast<uint8_t>(getpid() & 0xFF)};
    const int32_t code = RegCreateValueIfAbsent(key, "winner", kRegBinary, data, 1);
    return code == 0 ? 1 : code == kErrorAlreadyExists ? 0 : 98;
  });
  int winners = 0;
  for (int code : codes) {
    EXPECT_TRUE(code == 0 || code == 1) << code;
    winners += code == 1;
  }
  EXPECT_EQ(winners, 1);
}

TEST_F(RegistryTest, TheRootFollowsTheEnvironment) {
  unsetenv("BRENIX_REGISTRY_ROOT");
  setenv("XDG_STATE_HOME", root_.c_str(), 1);
  Create("FromState");
  EXPECT_TRUE(fs::is_directory(fs::path(root_) / "brenix" / "registry" / "HKEY_LOCAL_MACHINE" / "FromState"));
  unsetenv("XDG_STATE_HOME");
}

}  // namespace
