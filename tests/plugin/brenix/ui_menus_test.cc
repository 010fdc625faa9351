// The menu "Brenix 9" as xthost shows it: its three forms, items enabled
// with and without a document, a command firing its button's listeners in
// order, and MultiDoc mode around the two multi-document dialogs.
#include <gtest/gtest.h>

#include "ui_run_util.h"

namespace {

using namespace ui_run;

const char kExtended[] = "[Options]\nextendedInterface = True\n";
const char kExtendedWithExports[] =
    "[Options]\nextendedInterface = True\naddMenuItemExportCoords = True\n"
    "addMenuItemExportKrm = True\n";

TEST(Menu, WithoutExtendedModeHoldsThreeItems) {
  Installation install;
  const HostRun run = RunHost(install, {"start", "menus", "quit"});
  ASSERT_TRUE(Clean(run)) << run.errors;
  EXPECT_EQ(Only(run, {"menu 1 new", "menu 1 placed", "menu 1 item"}),
            (std::vector<std::string>{"menu 1 new id 1 \"Brenix 9\"", "menu 1 placed 9",
                                      "menu 1 item 3 \" Export current document\"",
                                      "menu 1 item 4 \" Export to Solvane\"",
                                      "menu 1 item 5 \" Import Solvane file\"",
                                      "menu 1 item 3 disable"}));
  // Without a document the export of the current one is disabled.
  EXPECT_EQ(Listed(run), (std::vector<std::string>{"3 \" Export current document\" disabled",
                                                   "4 \" Export to Solvane\" enabled",
                                                   "5 \" Import Solvane file\" enabled"}));
  // The menu goes back to the host while the plug-in shuts down, before
  // the module handle does.
  EXPECT_EQ(Only(run, {"quit", "menu 1 removed", "module close", "shutdown", "ui left"}),
            (std::vector<std::string>{"quit", "menu 1 removed", "module close 1",
                                      "shutdown libbrenix.so -> 0"}));
}

TEST(Menu, ExtendedModeAddsTheMultiDocumentItems) {
  Installation install;
  install.WriteSettings(kExtended);
  const HostRun run = RunHost(install, {"start", "menus"});
  ASSERT_TRUE(Clean(run)) << run.errors;
  EXPECT_EQ(Listed(run), (std::vector<std::string>{"3 \" Export current document\" disabled",
                                                   "4 \" Export to Solvane\" enabled",
                                                   "5 \" Export multiple documents\" enabled",
                                                   "6 \" Import Solvane file\" enabled",
                                                   "7 \" Import multiple Solvane files\" enabled"}));
  EXPECT_NE(run.log.find("\nExtended mode:\tON\n"), std::string::npos) << run.log;
}

TEST(Menu, ExportItemsFollowTheirSettingsAndTheDocument) {
  Installation install;
  install.WriteSettings(kExtendedWithExports);
  WriteFile(install.root() / "doc.json", "{\"format\": \"xthost document\", \"version\": 1}\n");
  const HostRun run = RunHost(install, {"start", "menus", "open", "doc.json", "menus"});
  ASSERT_TRUE(Clean(run)) << run.errors;
  const std::vector<std::string> listed = Listed(run);
  ASSERT_EQ(listed.size(), 14u);
  EXPECT_EQ(std::vector<std::string>(listed.begin(), listed.begin() + 7),
            kFullMenuWithoutDocument);
  // Once a document is open, the next update enables the three exports.
  EXPECT_EQ(std::vector<std::string>(listed.begin() + 7, listed.end()),
            (std::vector<std::string>{"3 \" Export current document\" enabled",
                                      "4 \" Export PDF coordinates\" enabled",
                                      "5 \" Export XTags\" enabled",
                                      "6 \" Export to Solvane\" enabled",
                                      "7 \" Export multiple documents\" enabled",
                                      "8 \" Import Solvane file\" enabled",
                                      "9 \" Import multiple Solvane files\" enabled"}));
}

TEST(Menu, DisabledItemsAndUnknownTitlesRunNothing) {
  Installation install;
  const HostRun run = RunHost(install, {"start", "menu", "Export current document", "menu",
                                        "Export multiple documents"});
  ASSERT_TRUE(Clean(run)) << run.errors;
  EXPECT_EQ(Only(run, {"menu \"", "menu command", "beep", "alert", "dialog"}),
            (std::vector<std::string>{"menu \"Export current document\" disabled",
                                      "menu \"Export multiple documents\" not found"}));
}

TEST(Menu, ACommandFiresItsWorkingActionThenTheBeep) {
  Installation install;
  WriteFile(install.root() / "bad.qxp", "not a document");
  const HostRun run = RunHost(install, {"--answer", "bad.qxp", "start", "menu", " Export to Solvane "});
  ASSERT_TRUE(Clean(run)) << run.errors;
  // The update callback runs before the command; the export to Solvane
  // (action 11) asks for the document, cannot open the one chosen and says
  // so; the beep comes last.
  EXPECT_EQ(Between(run, "menu choose \" Export to Solvane \"", "quit"),
            (std::vector<std::string>{"menu choose \" Export to Solvane \"",
                                      "menu 1 item 3 disable",
                                      "menu command 1 4",
                                      "open dialog \"Choose Quark document to export:\" filter \"Quark Files\" QXP",
                                      "open dialog -> \"" + (install.root() / "bad.qxp").string() + "\"",
                                      "preference \"auto save\" off",
                                      "window 1 open 1014 resource 106",
                                      "window 1 shown",
                                      "window 1 closed",
                                      "alert texts \"Unable to open the file: '\" \"bad.qxp\" \"'\" \"\"",
                                      "alert 512 \"Unable to open the file: 'bad.qxp'\" \"\"",
                                      "alert no answer left: default \"OK\"",
                                      "alert texts \"\" \"\" \"\" \"\"",
                                      "preference \"auto save\" on",
                                      "beep 0"}));
  EXPECT_EQ(run.log, "\nExtended mode:\tOFF\n\nServer mode:\tOFF\n");
}

TEST(Menu, ImportFileFiresTheImportThenTheBeep) {
  Installation install;
  const HostRun run = RunHost(install, {"--answer", "OK", "--answer", "OK", "start", "menu",
                                        "Import Solvane file"});
  ASSERT_TRUE(Clean(run)) << run.errors;
  EXPECT_EQ(Only(run, {"alert 512", "alert answer", "dialog 1 text", "dialog 1 answer",
                       "dialog 1 closed", "beep"}),
            (std::vector<std::string>{"beep 0", "dialog 1 text \"Import failed\"",
                                      "dialog 1 answer \"OK\"", "dialog 1 closed -> 1",
                                      "beep 0"}));
  // "OK" names no file, so the import ends as cancelled: its own beep and
  // result come first.
}

TEST(Menu, MultipleExportRunsItsDialogsInMultiDocMode) {
  Installation install;
  install.WriteSettings(kExtended);
  fs::create_directory(install.root() / "books");
  const std::string books = (install.root() / "books").string();
  const HostRun run = RunHost(
      install, {"--answer", "books", "--answer", "Generate KXQ files=1;Generate PDF files=1;OK",
                "start", "menu", "Export multiple documents"});
  ASSERT_TRUE(Clean(run)) << run.errors;
  EXPECT_EQ(Between(run, "menu command 1 5", "quit"),
            (std::vector<std::string>{
                "menu command 1 5",
                "folder dialog \"Browse for Source Folder with QXP files\" at \"\"",
                "folder dialog -> \"" + books + "\"",
                "dialog 1 open 1006 resource 108 \"Export Current Source Folder\"",
                "dialog 1 item 1004 button \"OK\" default",
                "dialog 1 item 1005 button \"Cancel\"",
                "dialog 1 item 1001 check box \"Generate KXQ files\" 0",
                "dialog 1 item 1002 check box \"Generate PDF files\" 0",
                "dialog 1 answer \"Generate KXQ files=1;Generate PDF files=1;OK\"",
                "dialog 1 item 1001 set 1",
                "dialog 1 item 1002 set 1",
                "dialog 1 item 1004 pressed",
                // Ended with OK: both boxes ticked ask for both target folders.
                "dialog 2 open 1009 resource 114 \"Target folder for KXQ/PDF\"",
                // Neither path field has a path of its own.
                "dialog 2 notice 2",
                "dialog 2 notice 2",
                "dialog 2 item 1004 button \"Export\" default",
                "dialog 2 item 1005 button \"Cancel\"",
                "dialog 2 item 1012 button \"...\" browses",
                "dialog 2 item 1010 field \"\" setup 32 80 1000 0 6553600 26",
                "dialog 2 text \"Target folder for KXQ files\"",
                "dialog 2 item 1013 button \"...\" browses",
                "dialog 2 item 1011 field \"\" setup 32 80 1000 0 6553600 26",
                "dialog 2 text \"Target folder for PDF files\"",
                "dialog 2 no answer left: default \"Export\"",
                "dialog 2 item 1004 pressed",
                // No target folder was chosen: nothing converts, and the
                // user is told so, not that the conversion finished.
                "alert texts \"Export failed for folder: \" \"" + books + "\" \"\\x0aNo target folder given!\" \"\"",
                "alert 512 \"Export failed for folder: " + books + "\\x0aNo target folder given!\" \"\"",
                "alert no answer left: default \"OK\"",
                "alert texts \"\" \"\" \"\" \"\"",
                "alert texts \"\" \"\" \"\" \"\"",
                "dialog 2 closed -> 1",
                "dialog 1 closed -> 1",
            }));
  EXPECT_EQ(run.log,
            "\nExtended mode:\tON\n\nServer mode:\tOFF\n\nMultiDoc mode:\tON\nERROR: No target folder given!\n"
            "\nSUPPRESSED MESSAGE BOX:\tExport failed for folder: \t" + books +
                "\t\nNo target folder given!\t\n\nMultiDoc mode:\tOFF\n");
  // The chosen folder is kept for the next time.
  EXPECT_NE(ReadFile(install.root() / "XTensions" / "brenix.ini").find("SourceBookPath=" + books),
            std::string::npos);
}

TEST(Menu, OneCheckBoxAsksForOneTargetFolderAndCancelAsksForNone) {
  Installation install;
  install.WriteSettings(kExtended);
  fs::create_directory(install.root() / "books");
  const HostRun run =
      RunHost(install, {"--answer", "books", "--answer", "Generate PDF files;OK", "--answer",
                        "Export", "--answer", "OK", "--answer", "books", "--answer",
                        "Generate KXQ files=1;Cancel",
                        "start", "menu", "Export multiple documents", "menu",
                        "Export multiple documents"});
  ASSERT_TRUE(Clean(run)) << run.errors;
  EXPECT_EQ(Only(run, {"dialog 1 open", "dialog 2 open", "dialog 3 open", "dialog 4 open",
                       "dialog 1 closed", "dialog 2 closed", "dialog 3 closed"}),
            (std::vector<std::string>{
                "dialog 1 open 1006 resource 108 \"Export Current Source Folder\"",
                "dialog 2 open 1008 resource 113 \"Target folder for PDF\"",
                "dialog 2 closed -> 1", "dialog 1 closed -> 1",
                "dialog 3 open 1006 resource 108 \"Export Current Source Folder\"",
                "dialog 3 closed -> 0"}));
}

TEST(Menu, CancelledFolderChoiceOpensNoDialog) {
  Installation install;
  install.WriteSettings(kExtended + std::string("[Path]\nSourceBookPath = /nowhere\n"));
  const HostRun run =
      RunHost(install, {"--answer", "cancel", "start", "menu", "Export multiple documents"});
  ASSERT_TRUE(Clean(run)) << run.errors;
  EXPECT_EQ(Only(run, {"folder dialog", "dialog"}),
            (std::vector<std::string>{
                "folder dialog \"Browse for Source Folder with QXP files\" at \"/nowhere\"",
                "folder dialog cancelled"}));
  EXPECT_EQ(run.log,
            "\nExtended mode:\tON\n\nServer mode:\tOFF\n\nMultiDoc mode:\tON\n\nMultiDoc mode:\tOFF\n");
  EXPECT_NE(ReadFile(install.root() / "XTensions" / "brenix.ini").find("/nowhere"),
            std::string::npos);
}

TEST(Menu, MultipleImportRunsTheImportFolderDialogInMultiDocMode) {
  Installation install;
  install.WriteSettings(kExtended);
  const HostRun run = RunHost(install, {"--answer", "Cancel", "start", "menu",
                                        "Import multiple Solvane files"});
  ASSERT_TRUE(Clean(run)) << run.errors;
  EXPECT_EQ(Only(run, {"dialog 1 open", "dialog 1 answer", "dialog 1 item 1022 pressed",
                       "dialog 1 closed"}),
            (std::vector<std::string>{"dialog 1 open 1010 resource 115 \"Import Solvane Files\"",
                                      "dialog 1 answer \"Cancel\"", "dialog 1 item 1022 pressed",
                                      "dialog 1 closed -> 0"}));
  EXPECT_EQ(run.log,
            "\nExtended mode:\tON\n\nServer mode:\tOFF\n\nMultiDoc mode:\tON\n\nMultiDoc mode:\tOFF\n");
}

}  // namespace
