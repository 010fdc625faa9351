// Alerts: every message the plug-in has for a user.
//
// In unattended work (MultiDoc, batch or server mode) nobody is there to
// read an alert: its texts go to the program log as
// "\nSUPPRESSED MESSAGE BOX:\t" and the four texts separated by tabs.  In
// batch and server mode that is all, whatever the force flags say; in
// MultiDoc mode a force flag shows the alert as well.  Host thread only.
#pragma once

#include <cstdint>
#include <string>

// The resource id the call sites name (accepted, not passed on).
constexpr int32_t kAlertResource = 22100;

// Whether the run counts as batch: the registry batch flag is this
// process's, or the batch control file holds an Export or Import job.
bool RunCountsAsBatch();

// Shows an alert whose lines are text0 + text1 + text2 and text3 (the
// host's parameter texts ^0 to ^3), then empties the parameter texts.
// 0 when suppressed or shown, 12 when the host refused the alert, else the
// host's error from setting the texts.
int32_t ShowAlert(int32_t alertId, const std::string& text0, const std::string& text1,
                  const std::string& text2, const std::string& text3, bool force1, bool force2,
                  bool force3);

// The question alert 22200 with the texts ^0 to ^3 and the buttons Cancel
// and Continue: kAlertContinue when the user pressed Continue, else
// kAlertCancel (also when nobody is there to answer, or the host refused).
constexpr int32_t kAlertCancel = 1;
constexpr int32_t kAlertContinue = 2;
int32_t AskToContinue(const std::string& text0, const std::string& text1, const std::string& text2,
                      const std::string& text3);
