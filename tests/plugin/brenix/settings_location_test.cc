// Where xthost's plug-in finds brenix.ini: in the XTensions folder the host
// was started with, whatever the current folder of the run.
#include <gtest/gtest.h>

#include "ui_run_util.h"

namespace {

using namespace ui_run;

const std::vector<std::string> kBasicMenu = {"3 \" Export current document\" disabled",
                                             "4 \" Export to Solvane\" enabled",
                                             "5 \" Import Solvane file\" enabled"};

// The run's current folder holds an XTensions folder with a settings file of
// its own; the host is pointed at another installation, "app", whose
// settings file turns extended mode and both export items on.
class ElsewhereInstallation : public testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(app_ / "XTensions");
    fs::copy_file(BRENIX_LIBRARY, app_ / "XTensions" / "libbrenix.so");
    WriteFile(app_ / "XTensions" / "brenix.ini", kSettings);
    install_.WriteSettings(kDecoy);
  }
  // The host takes the last --xtensions of its command line.
  HostRun Run(const std::vector<std::string>& env = {}) {
    return RunHost(install_,
                   {"--xtensions", (app_ / "XTensions").string(), "start", "menus", "quit"}, env);
  }

  static constexpr const char* kSettings =
      "[Options]\nextendedInterface=True\naddMenuItemExportCoords=True\n"
      "addMenuItemExportKrm=True\n";
  static constexpr const char* kDecoy = "[Options]\nextendedInterface=False\n";
  Installation install_;  // the current folder of the run
  const fs::path app_ = install_.root() / "app";
};

TEST_F(ElsewhereInstallation, TheSettingsBesideTheHostsXTensionsFolderAreRead) {
  const HostRun run = Run();
  ASSERT_TRUE(Clean(run)) << run.errors;
  EXPECT_EQ(Only(run, {"file application folder", "file resolve"}),
            (std::vector<std::string>{"file application folder \"app\"",
                                      "file resolve \"XTensions/brenix.ini\""}));
  EXPECT_EQ(Listed(run), kFullMenuWithoutDocument);
  ASSERT_FALSE(run.transcript.empty());
  EXPECT_EQ(run.transcript.back(), kNoHandles);
}

TEST_F(ElsewhereInstallation, AHostThatCannotNameTheFileLeavesTheDefaultsAndNoObjects) {
  for (const char* fail : {"application_folder:1", "resolve_name:1"}) {
    const HostRun run = Run({std::string("XTHOST_FAIL=") + fail});
    ASSERT_TRUE(Clean(run)) << fail << run.errors;
    EXPECT_EQ(Listed(run), kBasicMenu) << fail;
    ASSERT_FALSE(run.transcript.empty());
    EXPECT_EQ(run.transcript.back(), kNoHandles) << fail;
  }
}

}  // namespace
