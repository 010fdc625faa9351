// The two passes over the text boxes of the master pages that let the host
// report which layout boxes come from them, and the summary of what it
// reported.  Host thread only.
#pragma once

#include <cstdint>
#include <string>

// The seven units the first pass puts in front of every non-empty master
// text box's story: "#$_@?&#".
extern const char16_t kMasterProbeText[];
constexpr int32_t kMasterProbeLength = 7;

// Walks the master pages 3..n of the current document: each text box that
// passes the host's master-item test is traced and registered in
// BoxPairRegistry (a box already there keeps its entry).  The first pass
// (`secondPass` false) inserts the probe text at the start of each
// non-empty one's story, which makes the host send its box notices, and
// records the story; the second pass deletes it again from each recorded
// story that still begins with it (a story the first pass did not reach
// keeps its text, even one beginning with the probe), and at its end takes
// it out, story by story, of the recorded stories its walk could not
// reach or clean.  Leaves the view on the layout.  0, or the host's error
// of the first failing call (reported with "RETURN_ERROR" under testMode
// bit 0, and counted in HostFailureCount, so that a probe text that could
// not be taken out fails the command before the document is saved).  The
// first pass stops at its first failure; the second pass never stops at
// one.  Callers run the second pass after every first pass, failed or not.
int32_t PreprocessMasterBoxes(bool secondPass);

// Both passes, the second after the first whatever it answered (and the
// probe texts taken out also when an exception leaves them): the first
// error, else 0.
int32_t PreprocessMasterBoxesTwice();

// The summary of BoxPairRegistry: the master boxes' table, with
// `withLayoutBoxes` the layout boxes' table, with `withStoryIds` a story
// id column in each; rows in ascending spread order.
std::string PrintMasterpageSummary(bool withLayoutBoxes, bool withStoryIds);
