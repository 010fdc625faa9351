#include "support/reg_key.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/common/files.h"
#include "tests/common/processes.h"
#include "tests/common/registry_root.h"
#include "tests/common/temp_dir.h"

namespace fs = std::filesystem;

namespace {

using testutil::ReadFile;
using testutil::RunTogether;
using testutil::WriteFile;

// IsBatchMode decides once per process, so every case that calls it runs in
// children (RunTogether, InChild); this process never calls it.
int InChild(const std::function<int()>& body) { return RunTogether(1, body)[0]; }

// Exit code of a child: bit 0 the first answer, bit 1 the second.
int Answers(bool first, bool second) { return (first ? 1 : 0) | (second ? 2 : 0); }

// The first answer of a child (as Answers) and the program log it wrote in
// a folder of its own.
std::string FirstAnswerAndLog(int* answers) {
  const testutil::TempDir logFolder("reg_key_log");
  *answers = InChild([&logFolder] {
    if (chdir(logFolder.path().c_str()) != 0) return 90;
    return Answers(IsBatchMode(), false);
  });
  return ReadFile(logFolder.File("BrenixLogfile.txt"));
}

class RegKeyTest : public testing::Test {
 protected:
  fs::path Maker() const { return fs::path(root_) / "HKEY_LOCAL_MACHINE" / "SOFTWARE" / "PELMO Translation Technology"; }
  fs::path Flag() const { return Maker() / "Brenix 50 Batch Mode"; }
  // What the launcher does.
  void RaiseFlag() const { fs::create_directories(Flag()); }

  const testutil::RegistryRoot registry_;
  const std::string root_ = registry_.path();
};

TEST_F(RegKeyTest, WithoutTheFlagThereIsNoBatchModeAndTheAnswerStays) {
  const int answers = InChild([] {
    const bool first = IsBatchMode();
    RegKey maker = RegKey::OpenMakerKey();
    RegKey flag(maker.Handle(), kBatchModeKeyName, 0, win::kKeyAllAccess);  // raised too late
    return Answers(first, IsBatchMode());
  });
  EXPECT_EQ(answers, Answers(false, false));
  EXPECT_TRUE(fs::is_directory(Maker()));  // made, empty
  EXPECT_TRUE(fs::is_empty(Flag()));
}

TEST_F(RegKeyTest, TheFirstInstanceClaimsARaisedFlag) {
  RaiseFlag();
  const int answers = InChild([this] {
    const bool first = IsBatchMode();
    fs::remove_all(root_);  // the second answer needs no registry
    return Answers(first, IsBatchMode());
  });
  EXPECT_EQ(answers, Answers(true, true));
  RaiseFlag();
  const int again = InChild([] { return Answers(IsBatchMode(), false); });
  EXPECT_EQ(again, Answers(true, false));
  // The claim: "Brenix", a text value "Started" with its NUL.
  EXPECT_EQ(ReadFile(Flag() / "\\Brenix"), std::string("\x01\0\0\0Started\0", 12));
  // A later process finds the claim and stays out.
  EXPECT_EQ(InChild([] { return Answers(IsBatchMode(), false); }), Answers(false, false));
}

TEST_F(RegKeyTest, AClaimOfAnyTypeOrCaseCounts) {
  RaiseFlag();
  WriteFile(Flag() / "\\BRENIX", std::string("\x04\0\0\0\x01\0\0\0", 8));
  EXPECT_EQ(InChild([] { return Answers(IsBatchMode(), false); }), Answers(false, false));
  EXPECT_EQ(ReadFile(Flag() / "\\BRENIX"), std::string("\x04\0\0\0\x01\0\0\0", 8));
}

TEST_F(RegKeyTest, OfTwentyHostsAskingAtOnceExactlyOneTakesTheBatchRun) {
  RaiseFlag();
  const std::vector<int> codes = RunTogether(20, [] { return IsBatchMode() ? 1 : 0; });
  int batch = 0;
  for (int code : codes) {
    EXPECT_TRUE(code == 0 || code == 1) << code;
    batch += code;
  }
  EXPECT_EQ(batch, 1);
}

TEST_F(RegKeyTest, RegistryFailuresDecideTheAnswerSilently) {
  // No registry can be made at all: false.
  const std::string blocked = root_ + "/file";
  WriteFile(blocked, "x");
  setenv("BRENIX_REGISTRY_ROOT", (blocked + "/registry").c_str(), 1);
  EXPECT_EQ(InChild([] { return Answers(IsBatchMode(), false); }), Answers(false, false));
  setenv("BRENIX_REGISTRY_ROOT", root_.c_str(), 1);

  // A user who may not write the flag key: the flag was found, so true.
  RaiseFlag();
  for (fs::path p = Flag().parent_path(); p.string().size() >= root_.size(); p = p.parent_path()) {
    fs::permissions(p, fs::perms::all);
  }
  fs::permissions(Flag(), fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
  const auto asOtherUser = [] {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return 90;
    return Answers(IsBatchMode(), false);
  };
  EXPECT_EQ(InChild(asOtherUser), Answers(true, false));
  EXPECT_FALSE(fs::exists(Flag() / "\\Brenix"));

  // One who may not write the maker key: false.
  fs::permissions(Maker(), fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
  EXPECT_EQ(InChild(asOtherUser), Answers(false, false));
}

TEST_F(RegKeyTest, ClearingTheFlagDeletesEverythingBelowIt) {
  RaiseFlag();
  fs::create_directories(Flag() / "Jobs" / "One");
  fs::create_directories(Flag() / "Jobs" / "Two");
  fs::create_directories(Flag() / "Other");
  WriteFile(Flag() / "Jobs" / "One" / "\\v", std::string("\x01\0\0\0x\0", 6));
  const int answers = InChild([] {
    const bool first = IsBatchMode();
    ClearBatchModeFlag();
    return Answers(first, IsBatchMode());
  });
  EXPECT_EQ(answers, Answers(true, true));
  EXPECT_FALSE(fs::exists(Flag()));
  EXPECT_TRUE(fs::is_directory(Maker()));
  // Without a flag there is nothing to do, and nothing is thrown.
  ClearBatchModeFlag();
  EXPECT_FALSE(fs::exists(Flag()));
}

// A folder whose name decodes to one starting with NUL read as "", which
// opened the flag key again: clearing the flag recursed until the stack gave
// out.  Now the clearing ends; the odd folder keeps the flag key in place,
// but not its claim, and the log says what stayed: the next run claims the
// flag again instead of taking it for another's.
TEST_F(RegKeyTest, ClearingAFlagWithFoldersThatNameNoKeyEnds) {
  RaiseFlag();
  fs::create_directories(Flag() / "%00" / "%00");
  fs::create_directories(Flag() / "Jobs");
  fs::create_directory_symlink(".", Flag() / "Loop");
  const testutil::TempDir logFolder("reg_key_log");
  const int answers = InChild([&logFolder] {
    if (chdir(logFolder.path().c_str()) != 0) return 90;
    const bool first = IsBatchMode();
    ClearBatchModeFlag();
    RegKey maker = RegKey::OpenMakerKey();
    return Answers(first, maker.DeleteTree("") == win::kErrorInvalidParameter);
  });
  EXPECT_EQ(answers, Answers(true, true));
  EXPECT_FALSE(fs::exists(Flag() / "Jobs"));
  EXPECT_TRUE(fs::is_directory(Flag() / "%00"));
  EXPECT_FALSE(fs::exists(Flag() / "\\Brenix"));
  EXPECT_EQ(ReadFile(logFolder.File("BrenixLogfile.txt")),
            "ERROR: the batch mode flag \"Brenix 50 Batch Mode\" could not be removed (registry error 5)\n");
  EXPECT_EQ(InChild([] { return Answers(IsBatchMode(), false); }), Answers(true, false));
}

// A claim value that is there but damaged gives interactive mode and says
// why in the program log.
TEST_F(RegKeyTest, ADamagedFlagFallsBackToInteractiveModeWithALogLine) {
  const std::vector<std::pair<const char*, std::function<void(const fs::path&)>>> damages = {
      {"too short", [](const fs::path& value) { WriteFile(value, "ab"); }},
      {"a folder", [](const fs::path& value) { fs::create_directory(value); }},
      {"a pipe", [](const fs::path& value) { ASSERT_EQ(mkfifo(value.c_str(), 0600), 0); }},
      {"a link", [](const fs::path& value) { fs::create_symlink("/dev/zero", value); }},
  };
  for (const auto& [what, damage] : damages) {
    SCOPED_TRACE(what);
    fs::remove_all(Flag());
    RaiseFlag();
    damage(Flag() / "\\Brenix");
    int answers = -1;
    EXPECT_EQ(FirstAnswerAndLog(&answers),
              "ERROR: the batch mode flag \"Brenix 50 Batch Mode\" holds a damaged value \"Brenix\" "
              "(registry error 1009): running interactively\n");
    EXPECT_EQ(answers, Answers(false, false));
  }
}

// A flag key that is a link or a file is no flag: interactive mode, and the
// log says why.
TEST_F(RegKeyTest, AFlagKeyThatIsNoFolderOfItsOwnFallsBackWithALogLine) {
  const std::vector<std::pair<const char*, std::function<void()>>> damages = {
      {"a link", [this] { fs::create_directory_symlink(Maker() / "Elsewhere", Flag()); }},
      {"a file", [this] { WriteFile(Flag(), "x"); }},
  };
  for (const auto& [what, damage] : damages) {
    SCOPED_TRACE(what);
    fs::remove_all(Maker());
    fs::create_directories(Maker() / "Elsewhere");
    damage();
    int answers = -1;
    EXPECT_EQ(FirstAnswerAndLog(&answers),
              "ERROR: the batch mode flag \"Brenix 50 Batch Mode\" is not a registry key (registry error 1009): "
              "running interactively\n");
    EXPECT_EQ(answers, Answers(false, false));
    EXPECT_TRUE(fs::is_empty(Maker() / "Elsewhere"));  // nothing claimed through the link
  }
}

TEST_F(RegKeyTest, TheKeyClassCarriesTheRegistryCalls) {
  RegKey key(win::kHKeyLocalMachine, "Test\\Key", 0, win::kKeyAllAccess);
  const win::HKey held = key.Handle();
  // A failed open keeps the key held.
  EXPECT_EQ(key.Create(win::kHKeyLocalMachine, "Bad\\\\Name", nullptr, 0, win::kKeyAllAccess, nullptr),
            win::kErrorInvalidParameter);
  EXPECT_EQ(key.Handle(), held);
  uint32_t disposition = 0;
  EXPECT_EQ(key.Create(win::kHKeyLocalMachine, "test\\key", nullptr, 0, win::kKeyAllAccess, nullptr, &disposition), 0);
  EXPECT_EQ(disposition, static_cast<uint32_t>(win::kRegOpenedExistingKey));
  EXPECT_EQ(win::RegCloseKey(held), win::kErrorInvalidHandle);  // closed when replaced

  std::string text = "unchanged";
  EXPECT_FALSE(key.QueryString(text, "Name"));
  EXPECT_EQ(text, "unchanged");
  key.SetString("Name", "value");
  EXPECT_TRUE(key.QueryString(text, "NAME"));
  EXPECT_EQ(text, "value");
  EXPECT_FALSE(key.SetStringIfAbsent("name", "other"));
  EXPECT_TRUE(key.SetStringIfAbsent("Second", "x"));

  EXPECT_TRUE(RegKey::KeyExists(win::kHKeyLocalMachine, "TEST\\KEY"));
  EXPECT_FALSE(RegKey::KeyExists(win::kHKeyLocalMachine, "Test\\Nothing"));
  RegKey test(win::kHKeyLocalMachine, "Test", 0, win::kKeyAllAccess);
  EXPECT_EQ(test.DeleteTree("Nothing"), win::kErrorFileNotFound);
  EXPECT_THROW(test.DeleteTreeOrThrow("Nothing"), uint32_t);

  RegKey reader;
  reader.Create(win::kHKeyLocalMachine, "Test\\Key", nullptr, 0, win::kKeyRead, nullptr);
  try {
    reader.SetString("Name", "x");
    ADD_FAILURE() << "no throw";
  } catch (uint32_t code) {
    EXPECT_EQ(code, static_cast<uint32_t>(win::kErrorAccessDenied));
  }
  EXPECT_THROW(RegKey(win::kHKeyLocalMachine, "", 0, win::kKeyAllAccess).CreateOrThrow(0x1234, "x", 0, 0), uint32_t);

  RegKey moved = std::move(key);
  EXPECT_EQ(key.Handle(), 0u);
  EXPECT_TRUE(moved.QueryString(text, "Second"));
  moved.Close();
  EXPECT_EQ(moved.Handle(), 0u);
}

}  // namespace
