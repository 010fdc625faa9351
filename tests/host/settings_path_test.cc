// The settings file's default path, asked of the stand-in host: the relative
// name resolved against the host application's folder, which is the folder
// that holds the host's XTensions folder, not the current folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host/linked_host_util.h"
#include "support/host_calls.h"
#include "support/host_file_spec.h"
#include "support/host_link.h"
#include "support/program_log.h"
#include "support/settings.h"
#include "tests/common/log_capture.h"

namespace {

namespace fs = std::filesystem;

bool HasLine(const LinkedHost& host, const std::string& line) {
  const std::vector<std::string> lines = host.Lines();
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The path of the location a file object names, through its spec.
std::string PathOf(XTFile file) {
  XTFileSpec spec{};
  std::string path;
  if (XT().files->file_spec(file, &spec) != kXTOk || FSSpecToPath(path, spec) != kXTOk) return "?";
  return path;
}

// An installation folder "app" with its XTensions folder, away from the
// current folder of the test.
class AppFolder : public testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(temp_ / "app/XTensions");
    fs::create_directories(temp_ / "app/Docs");
    ASSERT_NE(fs::current_path(), fs::path(temp_ / "app"));
  }
  std::string Xtensions() const { return temp_ / "app/XTensions"; }
  std::string IniPath() const { return temp_ / "app/XTensions/brenix.ini"; }

  TempFolder temp_;
};

TEST_F(AppFolder, TheHostSetsAFileObjectToTheFolderAboveItsXTensions) {
  // A trailing "/" on the XTensions folder names the same folder.
  LinkedHost host("", "", Xtensions() + "/");
  const XTFileSuite& files = *XT().files;
  XTFile file = 0;
  ASSERT_EQ(files.new_file(&file), kXTOk);
  EXPECT_EQ(files.application_folder(file), kXTOk);
  EXPECT_EQ(PathOf(file), temp_ / "app");
  EXPECT_TRUE(HasLine(host, "file application folder \"app\""));

  XTString name = 0;
  ASSERT_EQ(NewHostString("XTensions/../Docs/a.qxp", &name), kXTOk);
  EXPECT_EQ(files.resolve_name(file, name), kXTOk);
  EXPECT_EQ(PathOf(file), temp_ / "app/Docs/a.qxp");  // the file need not exist
  EXPECT_TRUE(HasLine(host, "file resolve \"XTensions/../Docs/a.qxp\""));
  EXPECT_EQ(XT().qsb1->dispose_string(name), kXTOk);
  EXPECT_EQ(files.dispose_file(file), kXTOk);
  EXPECT_EQ(host.OpenHandles(), 0u);
}

TEST_F(AppFolder, ResolvingRefusesBadNamesAndUnsetObjects) {
  LinkedHost host("", "", Xtensions());
  const XTFileSuite& files = *XT().files;
  XTFile file = 0;
  ASSERT_EQ(files.new_file(&file), kXTOk);
  XTString relative = 0, absolute = 0, empty = 0;
  ASSERT_EQ(NewHostString("XTensions", &relative), kXTOk);
  ASSERT_EQ(NewHostString("/etc/passwd", &absolute), kXTOk);
  ASSERT_EQ(NewHostString("", &empty), kXTOk);

  EXPECT_EQ(files.resolve_name(file, relative), kXTErrParam);  // not pointed anywhere yet
  EXPECT_EQ(files.application_folder(file + 100), kXTErrParam);
  ASSERT_EQ(files.application_folder(file), kXTOk);
  EXPECT_EQ(files.resolve_name(file, absolute), kXTErrBadName);
  EXPECT_EQ(files.resolve_name(file, empty), kXTErrBadName);
  EXPECT_EQ(files.resolve_name(file, relative + 100), kXTErrParam);
  EXPECT_EQ(files.resolve_name(file + 100, relative), kXTErrParam);
  // A refused name leaves the object where it was.
  EXPECT_EQ(PathOf(file), temp_ / "app");

  for (XTString s : {relative, absolute, empty}) EXPECT_EQ(XT().qsb1->dispose_string(s), kXTOk);
  EXPECT_EQ(files.dispose_file(file), kXTOk);
}

TEST_F(AppFolder, TheSettingsFileIsFoundBesideTheXTensionsNotInTheCurrentFolder) {
  LinkedHost host("", "", Xtensions());
  EXPECT_EQ(Settings::GetSettingsFilePath(), IniPath());
  EXPECT_TRUE(HasLine(host, "file resolve \"XTensions/brenix.ini\""));
  EXPECT_EQ(host.OpenHandles(), 0u);

  std::ofstream(IniPath()) << "[Options]\nextendedInterface=True\n";
  Settings store;
  EXPECT_TRUE(store.IsLoaded());
  EXPECT_TRUE(store.IsExtendedInterface());
  EXPECT_EQ(host.OpenHandles(), 0u);
}

TEST(SettingsPath, WithTheDefaultXTensionsFolderItIsUnderTheCurrentFolder) {
  TempFolder temp;
  fs::create_directory(temp / "XTensions");
  const fs::path previous = fs::current_path();
  fs::current_path(temp.path());
  {
    LinkedHost host;
    EXPECT_EQ(Settings::GetSettingsFilePath(), temp / "XTensions/brenix.ini");
    EXPECT_EQ(host.OpenHandles(), 0u);
  }
  fs::current_path(previous);
}

// A failed step gives no path; a failed release after the path was found
// keeps the path (the settings file is still read) and only its object.
TEST_F(AppFolder, AnyFailingHostStepGivesNoPathAndAFailedReleaseKeepsIt) {
  struct Step {
    const char* rule;
    std::size_t left;  // host objects left: a refused release keeps its object
    bool found;
  };
  const Step steps[] = {
      {"new_string:1", 0, false},       {"new_file:1", 0, false},        {"application_folder:1", 0, false},
      {"resolve_name:1", 0, false},     {"file_spec:1", 0, false},       {"new_string:2", 0, false},
      {"new_path:1", 0, false},         {"full_path:1", 0, false},       {"path_string:1", 0, false},
      {"string_length:1", 0, false},    {"copy_string:1", 0, false},     {"new_converter:1", 0, false},
      {"convert_to_text:1", 0, false},  {"dispose_converter:1", 1, true}, {"dispose_path:1", 2, true},
      {"dispose_string:1", 1, true},    {"dispose_string:2", 1, true},   {"dispose_file:1", 1, true},
  };
  for (const Step& step : steps) {
    LinkedHost host(step.rule, "", Xtensions());
    std::string fired = std::string("fail ") + step.rule;
    fired.replace(fired.find(':'), 1, " #");
    EXPECT_EQ(Settings::GetSettingsFilePath(), step.found ? Xtensions() + "/brenix.ini" : "") << step.rule;
    EXPECT_TRUE(HasLine(host, fired)) << step.rule;
    EXPECT_EQ(host.OpenHandles(), step.left) << step.rule;
  }
}

// A name inside a folder the application's folder lacks is not there: no
// path, every host object given back, and no failed host call in the log
// (a spec the host cannot make for another reason is one).
TEST_F(AppFolder, ANameInAFolderTheApplicationLacksGivesNoPathAndNoFailure) {
  {
    LinkedHost host("", "", Xtensions());
    LogCapture log;
    EXPECT_EQ(ResolveApplicationPath("Profiles/Generic RGB.icc"), "");
    EXPECT_EQ(log.Text(), "");
    EXPECT_EQ(host.OpenHandles(), 0u);
  }
  {
    LinkedHost host("file_spec:1", "", Xtensions());
    LogCapture log;
    EXPECT_EQ(ResolveApplicationPath("Docs/a.icc"), "");
    EXPECT_EQ(log.Text(), "ERROR: host call file_spec failed: " + std::to_string(kXTErrInjected) + "\n");
  }
  LinkedHost host("", "", Xtensions());
  // A missing file in a folder that is there still has its path.
  EXPECT_EQ(ResolveApplicationPath("Docs/missing.icc"), temp_ / "app/Docs/missing.icc");
  EXPECT_EQ(host.OpenHandles(), 0u);
}

TEST(SettingsPath, WithoutTheFileSuitesThereIsNoPath) {
  LinkedHost host;
  XT().files = nullptr;
  EXPECT_EQ(Settings::GetSettingsFilePath(), "");
  EXPECT_EQ(host.OpenHandles(), 0u);
}

}  // namespace
