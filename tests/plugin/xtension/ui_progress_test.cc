// The progress and status windows, the progress-status action, the version
// text, wide formatting, the preference guard and the box refresh.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "plugin/qapi/progress_bar.h"
#include "plugin/qapi/ui_host.h"
#include "plugin/xtension/actions.h"
#include "plugin/xtension/brenix.h"
#include "support/settings.h"
#include "ui_session_util.h"

namespace {

// The values the progress control of window 1 was set to, in order.
std::vector<std::string> BarValues(const std::string& out) {
  std::vector<std::string> values;
  const std::string prefix = "window 1 item 1 progress ";
  for (const std::string& line : Lines(out, {prefix})) values.push_back(line.substr(prefix.size()));
  return values;
}

TEST(ProgressBar, HundredStepsShowEverySecondStep) {
  const std::string out = RunSession(Session(), [](xthost::Host&) {
    std::string text;
    ProgressBar bar("Converting", 100);
    text += bar.Step(1) ? "2 " : "- ";  // 2%: not shown yet
    text += ProgressWindow() == 0 ? "closed " : "open ";
    for (uint32_t n = 3; n <= 100; ++n) bar.SetValue(n);
    text += std::to_string(bar.ShownPercentage()) + " ";
    bar.Close();
    text += ProgressWindow() == 0 ? "closed\n" : "open\n";
    return text;
  });
  // The window opens with the third step, titled, and shows 3, 5, ..., 99;
  // the last step differs by 1 only, and the window closes.
  EXPECT_EQ(BodyResult(out), "2 closed 99 closed\n");
  EXPECT_EQ(Lines(out, {"window 1 open", "window 1 item 2 text", "window 1 closed"}),
            (std::vector<std::string>{"window 1 open 1000 resource 22300",
                                      "window 1 item 2 text \"Converting\"", "window 1 closed"}));
  std::vector<std::string> expected;
  for (int percent = 3; percent <= 99; percent += 2) expected.push_back(std::to_string(percent) + "/100");
  EXPECT_EQ(BarValues(out), expected);
}

TEST(ProgressBar, TwoHundredStepsMoveTheBarInStepsOfTwoPercent) {
  const std::string out = RunSession(Session(), [](xthost::Host&) {
    ProgressBar bar("Long", 200);
    for (int i = 0; i < 12; ++i) bar.Step(1);
    return std::to_string(bar.Current()) + "\n";
  });
  // Step 5 is 2.5%, shown as 3; step 9 is 4.5%, shown as 5; step 13 is 6.5%.
  EXPECT_EQ(BodyResult(out), "13\n");
  EXPECT_EQ(BarValues(out), (std::vector<std::string>{"3/100", "5/100", "7/100"}));
  // The bar goes with the ProgressBar.
  EXPECT_EQ(Lines(out, {"window 1 closed"}).size(), 1u);
}

TEST(ProgressBar, RefusesStepsBackwardsAndPastTheEnd) {
  const std::string out = RunSession(Session(), [](xthost::Host&) {
    ProgressBar bar("x", 10);
    std::string text;
    text += bar.SetValue(5) ? "t" : "f";
    text += bar.SetValue(4) ? "t" : "f";
    text += bar.SetValue(11) ? "t" : "f";
    text += bar.SetValue(10) ? "t" : "f";
    text += bar.Step(1) ? "t" : "f";
    text += " " + std::to_string(bar.Current()) + "\n";
    ProgressBar empty("none", 0);
    text += empty.SetValue(1) ? "t\n" : "f\n";
    return text;
  });
  EXPECT_EQ(BodyResult(out), "tfftf 10\nf\n");
  EXPECT_EQ(BarValues(out), (std::vector<std::string>{"50/100", "100/100"}));
}

TEST(StatusWindow, OpensShownAndIgnoresValuesPastItsMaximum) {
  const std::string out = RunSession(Session(), [](xthost::Host& host) {
    const XTWindow window = OpenStatusDialog();
    SetStatusDialogText(window, "file 1 of 3");
    UpdateStatusDialog(window, 3, 1);
    UpdateStatusDialog(window, 3, 4);
    const int drawing = host.ui().Windows().items().at(window).drawing;
    CloseStatusDialog(window);
    return std::to_string(window) + " " + std::to_string(drawing) + "\n";
  });
  EXPECT_EQ(BodyResult(out), "1 0\n");
  EXPECT_EQ(Lines(out, {"window 1"}),
            (std::vector<std::string>{"window 1 open 1000 resource 22300",
                                      // The window's callback prepares its two items.
                                      "window 1 item 2 value 1", "window 1 item 1 value 0",
                                      "window 1 shown", "window 1 item 2 text \"\"",
                                      "window 1 item 1 progress 0/100",
                                      "window 1 item 2 text \"file 1 of 3\"",
                                      "window 1 item 1 progress 1/3", "window 1 closed"}));
}

TEST(ProgressAction, OpensTheProgressWindowWithItsTitleOnce) {
  const std::string out = RunSession(Session(), [](xthost::Host& host) {
    XTVoidRec record{0};
    Swing::Perform<ProgressAction>(&record);
    Swing::Perform<ProgressAction>(&record);
    std::string text = std::to_string(ProgressWindow()) + " ";
    text += host.ui().Windows().items().at(ProgressWindow()).items.at(1).text + "\n";
    ProgressBar bar("Later", 10);
    bar.SetValue(5);  // the open window is the one that moves
    bar.Close();
    return text;
  });
  EXPECT_EQ(BodyResult(out), "1 Brenix Progress:\n");
  EXPECT_EQ(Lines(out, {"alert texts \"Brenix", "window 1 open", "window 1 item 1 progress",
                        "window 1 closed"}),
            (std::vector<std::string>{"alert texts \"Brenix Progress:\" \"\" \"\" \"\"",
                                      "window 1 open 1000 resource 22300",
                                      "alert texts \"Brenix Progress:\" \"\" \"\" \"\"",
                                      "window 1 item 1 progress 50/100",
                                      "window 1 item 1 progress 100/100", "window 1 closed"}));
}

TEST(VersionString, NamesTheHostVersionAndTheMasterPageMode) {
  const std::string out = RunSession(Session(), [](xthost::Host& host) {
    std::string text;
    for (uint32_t version : {0x09050000u, 0x0A01001Au}) {
      host.app().version = version;
      std::string narrow;
      for (char16_t c : GetVersionString()) narrow += static_cast<char>(c);
      text += narrow + "\n";
    }
    xthost::FailPlan plan;
    std::string error;
    xthost::FailPlan::Parse("host_version:*", &plan, &error);
    host.SetFailPlan(plan);
    std::string narrow;
    for (char16_t c : GetVersionString()) narrow += static_cast<char>(c);
    return text + narrow + "\n";
  });
  EXPECT_EQ(BodyResult(out),
            "QuarkXpress 9.5 Win [Brenix 9.0.3.38 , QSDK 90]{MB=1}\n"
            "QuarkXpress 10.1r26 Win [Brenix 9.0.3.38 , QSDK 90]{MB=1}\n"
            "QuarkXpress  Win [Brenix 9.0.3.38 , QSDK 90]{MB=1}\n");
}

TEST(VersionString, ReadsTheMasterPageModeOnce) {
  Session session;
  session.settings = "[Options]\nmasterPageMode = 0\n";
  const std::string out = RunSession(session, [](xthost::Host&) {
    const std::u16string first = GetVersionString();
    Settings::Instance().SetValue(SettingsKey::masterPageMode, "1", true, false);
    const std::u16string second = GetVersionString();
    return std::string(first == second ? "same " : "differ ") +
           (first.find(u"{MB=0}") != std::u16string::npos ? "MB=0\n" : "other\n");
  });
  EXPECT_EQ(BodyResult(out), "same MB=0\n");
}

TEST(FormatToBuffer, FormatsWideAndCutsToTheCapacity) {
  char16_t buffer[8];
  EXPECT_EQ(FormatToBuffer(buffer, 8, u"%d.%d %s", 9, 5, "r"), 5);
  EXPECT_EQ(std::u16string(buffer), u"9.5 r");
  EXPECT_EQ(FormatToBuffer(buffer, 4, u"%s", "\xC3\xA4-long"), 3);
  EXPECT_EQ(std::u16string(buffer), u"\u00E4-l");
  EXPECT_EQ(FormatToBuffer(buffer, 1, u"abc"), 0);
  EXPECT_EQ(buffer[0], u'\0');
  buffer[0] = u'x';
  EXPECT_EQ(FormatToBuffer(buffer, 0, u"abc"), 0);
  EXPECT_EQ(buffer[0], u'x');
}

TEST(HostFlagGuard, SwitchesOffWhatWasOnAndRestoresItEvenAfterAFailure) {
  const std::string out = RunSession(Session(), [](xthost::Host& host) {
    std::string text;
    try {
      HostFlagGuard guard;
      guard.Suspend();
      text += host.ui().Preference(kXTPrefAutoSave) ? "on " : "off ";
      throw std::runtime_error("the export failed");
    } catch (const std::runtime_error&) {
    }
    text += host.ui().Preference(kXTPrefAutoSave) ? "on " : "off ";
    text += host.ui().Preference(kXTPrefAutoBackup) ? "on\n" : "off\n";
    HostFlagGuard twice;
    twice.Suspend();
    twice.Restore();
    twice.Restore();
    return text;
  });
  EXPECT_EQ(BodyResult(out), "off on off\n");
  // The auto backup preference was off: it is left alone.
  EXPECT_EQ(Lines(out, {"preference"}),
            (std::vector<std::string>{"preference \"auto save\" off", "preference \"auto save\" on",
                                      "preference \"auto save\" off", "preference \"auto save\" on"}));
}

TEST(HostCheckCounter, StepsRefreshTheBoxAndWrapToFalse) {
  const std::string out = RunSession(Session(), [](xthost::Host& host) {
    uint32_t counter = 0xFFFFFFFEu;
    std::string text = HostCheckCounter::Step(counter, 1) ? "t" : "f";
    text += HostCheckCounter::Step(counter, 1) ? "t" : "f";
    text += " " + std::to_string(counter) + " " + std::to_string(host.ui().box_refreshes) + "\n";
    return text;
  });
  EXPECT_EQ(BodyResult(out), "tf 0 2\n");
}

}  // namespace
