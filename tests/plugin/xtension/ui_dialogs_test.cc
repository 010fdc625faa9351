// Alerts and the plug-in's dialogs through the stand-in host: suppression
// in each mode, default answers, the dialog callbacks and the host's
// dialog engine they talk to.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugin/qapi/ui_alert.h"
#include "plugin/qapi/ui_dialogs.h"
#include "support/brenix_interface.h"
#include "ui_session_util.h"

namespace {

const char kServer[] = "[Server]\nserverMode = True\n";

std::string Show(int number, const int32_t* defaultAnswer, bool inMultiDoc, bool inBatch,
                 bool inServer) {
  int32_t answer = -7;
  const int32_t result = ShowDialog(number, 0, &answer, defaultAnswer, inMultiDoc, inBatch, inServer);
  return "result " + std::to_string(result) + " answer " + std::to_string(answer) + "\n";
}

TEST(ShowDialog, SuppressedInBatchModeAnswersTheDefaultWhateverItsFlags) {
  Session session;
  session.batchFlag = true;
  const std::string out = RunSession(session, [](xthost::Host&) {
    const int32_t two = 2;
    std::string text = Show(kDialogExportDone, &two, true, true, true);
    return text + Show(kDialogSaveChanged, nullptr, false, false, false);
  });
  EXPECT_EQ(BodyResult(out), "result 0 answer 2\nresult 0 answer 0\n");
  EXPECT_NE(MergedOf(out).find("\nSUPPRESSED DIALOG:\tResult\t->\tExport done\n"
                               "\nSUPPRESSED DIALOG:\t\t->\tFile was changed. Save it?\n"),
            std::string::npos)
      << out;
  EXPECT_TRUE(Lines(out, {"dialog"}).empty()) << out;
}

TEST(ShowDialog, SuppressedInServerModeEvenWithItsServerFlag) {
  Session session;
  session.settings = kServer;
  const std::string out = RunSession(session, [](xthost::Host&) {
    const int32_t one = 1;
    return Show(kDialogOverwriteKxq, &one, false, false, true);
  });
  EXPECT_EQ(BodyResult(out), "result 0 answer 1\n");
  EXPECT_NE(MergedOf(out).find("\nSUPPRESSED DIALOG:\tOverwrite files?\t->\t\n"), std::string::npos);
  EXPECT_TRUE(Lines(out, {"dialog"}).empty());
}

TEST(ShowDialog, MultiDocModeSuppressesUnlessAFlagShowsIt) {
  Session session;
  session.answers = {"OK", "OK"};
  const std::string out = RunSession(session, [](xthost::Host&) {
    const bool on = true;
    BrenixInterface::Instance()->SetMultiDocMode(on);
    const int32_t two = 2;
    std::string text = Show(kDialogImportDone, &two, false, false, false);  // log only
    text += Show(kDialogImportDone, &two, false, true, false);               // log, then shown
    text += Show(kDialogImportFailed, &two, true, false, false);              // shown only
    return text;
  });
  EXPECT_EQ(BodyResult(out), "result 0 answer 2\nresult 0 answer 1\nresult 0 answer 1\n");
  const std::string merged = MergedOf(out);
  const std::string logged = "\nSUPPRESSED DIALOG:\tResult\t->\tImport done\n";
  ASSERT_NE(merged.find(logged), std::string::npos);
  EXPECT_NE(merged.find(logged, merged.find(logged) + 1), std::string::npos);
  EXPECT_EQ(merged.find("Import failed\n"), std::string::npos);
  EXPECT_EQ(Lines(out, {"dialog 1 text", "dialog 2 text", "dialog 3 text"}),
            (std::vector<std::string>{"dialog 1 text \"Import done\"",
                                      "dialog 2 text \"Import failed\""}));
}

TEST(ShowDialog, OverwriteQuestionsSetTheCancelFlag) {
  Session session;
  session.answers = {"Cancel", "No", "Yes", "#1016"};
  const std::string out = RunSession(session, [](xthost::Host&) {
    std::string text;
    for (int number : {kDialogOverwriteKxq, kDialogOverwritePdf, kDialogOverwriteQxp,
                       kDialogOverwritePdf}) {
      OverwriteCancelFlag() = 5;
      int32_t answer = -1;
      ShowDialog(number, 0, &answer, nullptr, false, false, false);
      text += std::to_string(answer) + " " + std::to_string(OverwriteCancelFlag()) + "\n";
    }
    return text;
  });
  // Cancel: 0 and the flag set; No: 0 and the flag cleared; Yes: 1, flag
  // untouched.
  EXPECT_EQ(BodyResult(out), "0 1\n0 0\n1 5\n0 1\n");
  EXPECT_EQ(Lines(out, {"dialog 1 item 1021", "dialog 2 item 1016", "dialog 3 item 1019"}),
            (std::vector<std::string>{"dialog 1 item 1021 button \"Cancel\" cancel",
                                      "dialog 1 item 1021 pressed",
                                      "dialog 2 item 1016 button \"Cancel\" cancel",
                                      "dialog 3 item 1019 button \"Cancel\" cancel"}));
}

TEST(ShowDialog, WithoutAnswersTheDefaultButtonAnswersAndTheTranscriptSaysSo) {
  const std::string out = RunSession(Session(), [](xthost::Host&) {
    std::string text = Show(kDialogOverwriteQxp, nullptr, false, false, false);
    return text + Show(kDialogSaveChanged, nullptr, false, false, false);
  });
  // The overwrite question's default is "No", the save question's "Cancel
  // Export" (which ends it with 1, the answer the export reads as cancel):
  // what changes nothing.
  EXPECT_EQ(BodyResult(out), "result 0 answer 0\nresult 0 answer 1\n");
  EXPECT_EQ(Lines(out, {"dialog 1 no answer", "dialog 2 no answer"}),
            (std::vector<std::string>{"dialog 1 no answer left: default \"No\"",
                                      "dialog 2 no answer left: default \"Cancel Export\""}));
}

TEST(ShowDialog, AnswersNameItemsByLabelOrNumberAndBadStepsAreSkipped) {
  Session session;
  session.answers = {"Generate KXQ files=2; Nothing; #1002; OK ; Cancel", "Export"};
  const std::string out = RunSession(session, [](xthost::Host&) {
    return Show(kDialogExportSource, nullptr, true, false, false);
  });
  EXPECT_EQ(BodyResult(out), "result 0 answer 1\n");
  EXPECT_EQ(Lines(out, {"dialog 1 item 100", "dialog 1 has", "dialog 2 open", "dialog 1 closed"}),
            (std::vector<std::string>{
                "dialog 1 item 1004 button \"OK\" default", "dialog 1 item 1005 button \"Cancel\"",
                "dialog 1 item 1001 check box \"Generate KXQ files\" 0",
                "dialog 1 item 1002 check box \"Generate PDF files\" 0",
                "dialog 1 item 1001 takes 0 or 1, not \"2\"", "dialog 1 has no item \"Nothing\"",
                "dialog 1 item 1002 set 1", "dialog 1 item 1004 pressed",
                "dialog 2 open 1008 resource 113 \"Target folder for PDF\"",
                "dialog 1 closed -> 1"}));
}

TEST(OpeningDialog, ClicksAwayTheHostsAlertOnIdle) {
  const std::string out = RunSession(Session(), [](xthost::Host& host) {
    host.ui().RaiseHostAlert("QuarkXPress Passport (tm)", "The document uses fonts not present.");
    host.ui().RaiseHostAlert("Another window", "stays");
    int32_t answer = -1;
    const int32_t result = ShowDialog(kDialogOpening, 0, &answer, nullptr, false, false, false);
    std::string left;
    for (const auto& [id, window] : host.ui().Windows().items()) left += window.title + ";";
    return std::to_string(result) + " " + std::to_string(answer) + " " + left + "\n";
  });
  EXPECT_EQ(BodyResult(out), "0 0 Another window;\n");
  EXPECT_EQ(Lines(out, {"host alert", "dialog 3"}),
            (std::vector<std::string>{
                "host alert 1 \"QuarkXPress Passport (tm)\" \"The document uses fonts not present.\"",
                "host alert 2 \"Another window\" \"stays\"", "dialog 3 open 1014 resource 106",
                "dialog 3 text \"Opening...\"", "dialog 3 idle", "host alert 1 dismissed",
                "dialog 3 no answer left: ended by the host with 0", "dialog 3 closed -> 0"}));
}

TEST(ShowAlert, SuppressedInServerModeWhateverItsForceFlags) {
  Session session;
  session.settings = kServer;
  const std::string out = RunSession(session, [](xthost::Host&) {
    return std::to_string(ShowAlert(kAlertResource, "a", "b", "c", "d", true, true, true)) + "\n";
  });
  EXPECT_EQ(BodyResult(out), "0\n");
  EXPECT_NE(MergedOf(out).find("\nSUPPRESSED MESSAGE BOX:\ta\tb\tc\td\n"), std::string::npos);
  EXPECT_TRUE(Lines(out, {"alert"}).empty()) << out;
}

TEST(ShowAlert, MultiDocModeLogsItAndAForceFlagShowsItToo) {
  Session session;
  session.answers = {"Cancel"};
  const std::string out = RunSession(session, [](xthost::Host&) {
    const bool on = true;
    BrenixInterface::Instance()->SetMultiDocMode(on);
    std::string text = std::to_string(ShowAlert(kAlertResource, "one", "", "", "", false, false, false));
    text += " " + std::to_string(ShowAlert(kAlertResource, "two", "2", "", "last", false, true, false));
    return text + "\n";
  });
  EXPECT_EQ(BodyResult(out), "0 0\n");
  EXPECT_NE(MergedOf(out).find("\nSUPPRESSED MESSAGE BOX:\tone\t\t\t\n"), std::string::npos);
  EXPECT_NE(MergedOf(out).find("\nSUPPRESSED MESSAGE BOX:\ttwo\t2\t\tlast\n"), std::string::npos);
  EXPECT_EQ(Lines(out, {"alert"}),
            (std::vector<std::string>{"alert texts \"two\" \"2\" \"\" \"last\"",
                                      "alert 512 \"two2\" \"last\"",
                                      "alert answer \"Cancel\" is no button: default \"OK\"",
                                      "alert texts \"\" \"\" \"\" \"\""}));
}

TEST(ShowAlert, RefusedByTheHostAnswers12AndStillEmptiesTheTexts) {
  const std::string out = RunSession(Session(), [](xthost::Host& host) {
    xthost::FailPlan plan;
    std::string error;
    xthost::FailPlan::Parse("alert:1,set_param_texts:3", &plan, &error);
    host.SetFailPlan(plan);
    std::string text = std::to_string(ShowAlert(kAlertResource, "x", "", "", "", false, false, false));
    // The third setting of texts (the first of this alert) fails.
    text += " " + std::to_string(ShowAlert(kAlertResource, "y", "", "", "", false, false, false));
    return text + "\n";
  });
  EXPECT_EQ(BodyResult(out), "12 -5000\n");
  EXPECT_NE(MergedOf(out).find("ERROR: host call alert failed: 0\n"), std::string::npos);
  EXPECT_NE(MergedOf(out).find("ERROR: host call set_param_texts failed: -5000\n"), std::string::npos);
  EXPECT_EQ(Lines(out, {"alert", "fail"}),
            (std::vector<std::string>{"alert texts \"x\" \"\" \"\" \"\"", "fail alert #1",
                                      "alert texts \"\" \"\" \"\" \"\"", "fail set_param_texts #3"}));
}

// A text that could not be given back used to hide the alert it was made
// for; now the alert is shown and the failure logged.
TEST(ShowAlert, AFailedReleaseOfATextStillShowsTheAlert) {
  const std::string out = RunSession(Session(), [](xthost::Host& host) {
    xthost::FailPlan plan;
    std::string error;
    xthost::FailPlan::Parse("dispose_string:1", &plan, &error);
    host.SetFailPlan(plan);
    return std::to_string(ShowAlert(kAlertResource, "x", "", "", "", false, false, false)) + "\n";
  });
  EXPECT_EQ(BodyResult(out), "0\n");
  EXPECT_EQ(Lines(out, {"alert 512", "fail"}),
            (std::vector<std::string>{"fail dispose_string #1", "alert 512 \"x\" \"\""}));
  EXPECT_NE(MergedOf(out).find("ERROR: host call dispose_string failed: -5000\n"), std::string::npos);
}

TEST(ShowAlert, ShownInteractively) {
  Session session;
  session.answers = {"OK"};
  const std::string out = RunSession(session, [](xthost::Host&) {
    return std::to_string(ShowAlert(kAlertResource, "Text ", "one", ".", "Two", false, false, false)) +
           "\n";
  });
  EXPECT_EQ(BodyResult(out), "0\n");
  EXPECT_EQ(Lines(out, {"alert 512", "alert answer"}),
            (std::vector<std::string>{"alert 512 \"Text one.\" \"Two\"", "alert answer \"OK\""}));
  EXPECT_EQ(MergedOf(out).find("SUPPRESSED"), std::string::npos);
}

}  // namespace
