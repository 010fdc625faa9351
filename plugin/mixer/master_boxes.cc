#include "plugin/mixer/master_boxes.h"

#include <algorithm>
#include <iomanip>
#include <map>
#include <sstream>
#include <vector>

#include "plugin/mixer/api_failure.h"
#include "plugin/mixer/box_registries.h"
#include "plugin/mixer/doc_view.h"
#include "plugin/mixer/master_trace.h"
#include "plugin/qapi/story_runs.h"
#include "support/host_calls.h"
#include "support/host_link.h"

const char16_t kMasterProbeText[] = u"#$_@?&#";

namespace {

const char kSource[] = "Mixer";
const char kFunction[] = "PreprocessMasterBoxes";

// The fixed lines the reports of the passes name.
enum ReportLine : int {
  kLineMasterCount = 1622,
  kLineProbeString = 1630,
  kLinePageSpread = 1644,
  kLineMasterTest = 1649,
  kLinePageName = 1655,
  kLineFirstBox = 1668,
  kLineNextBox = 1671,
  kLineItemTest = 1676,
  kLineStory = 1690,
  kLineInsert = 1712,
  kLineRead = 1720,
  kLineReadString = 1723,
  kLineCompare = 1726,
  kLineDelete = 1731,
  kLineReleaseRead = 1735,
  kLineReleaseProbe = 1748,
};

// The stories the first pass put the probe text in front of (a story once
// per insertion), until the second pass has taken it out again.
std::vector<int32_t>& ProbedStories() {
  static std::vector<int32_t> stories;
  return stories;
}

// Takes one entry of `story` off ProbedStories; false when it has none.
bool Unrecord(int32_t story) {
  std::vector<int32_t>& stories = ProbedStories();
  const auto found = std::find(stories.begin(), stories.end(), story);
  if (found == stories.end()) return false;
  stories.erase(found);
  return true;
}

// What taking the probe text out of a story came to.
enum class Removal { kTakenOut, kNotThere, kFailed };

// One pass over the master pages.  The first pass ends at its first
// failure; the second keeps going.  Either way the first error is kept.
class MasterPass {
 public:
  explicit MasterPass(bool second) : second_(second), link_(XT()) {}

  int32_t Run();

  // The second pass's end, whichever way its walk ended: the probe text is
  // taken out of every story the walk left with one, through the story
  // alone (no view switch).  What cannot be taken out is reported, and so
  // counted: a document holding it must not be saved.  Empties
  // ProbedStories.
  void TakeOutLeftProbes();

 private:
  // Reports a non-zero `result` and keeps the first; true when it failed.
  bool Failed(int32_t result, int line) {
    if (result == kXTOk) return false;
    ReportApiFailure(ApiPolicy::kReturnError, kSource, line, kFunction);
    if (error_ == kXTOk) error_ = result;
    return true;
  }
  // Whether a failure ends the pass.
  bool Stops() const { return !second_ && error_ != kXTOk; }

  void VisitPage(int16_t page);
  void VisitBox(XTItem box, int16_t page);
  // The pages and their boxes.
  void Walk();
  Removal RemoveProbe(XTTextRef text, int32_t length);
  void Switch(int32_t index, int32_t* failure) {
    const int32_t result = xt_viewgotomaster(view_, index);
    if (result != kXTOk && error_ == kXTOk) error_ = result;
    *failure = result;
  }

  const bool second_;
  const HostLink& link_;
  int32_t view_ = 0;
  XTString probe_ = 0;
  int32_t error_ = kXTOk;
  int32_t boxIndex_ = 0;
  int32_t textIndex_ = 0;
  int32_t emptyIndex_ = 0;
};

int32_t MasterPass::Run() {
  if (link_.lgk2 == nullptr || link_.lgf2 == nullptr || link_.qsb1 == nullptr) return kXTErrNoSuite;
  Walk();
  if (second_) TakeOutLeftProbes();
  return error_;
}

void MasterPass::TakeOutLeftProbes() {
  std::vector<int32_t> left;
  left.swap(ProbedStories());
  if (link_.lgf2 == nullptr || link_.qsb1 == nullptr) return;
  for (const int32_t story : left) {
    XTTextRef text = 0;
    int32_t length = 0;
    int32_t ignored = 0;
    if (!Failed(link_.lgf2->story_text(story, &text, &length, &ignored, &ignored), kLineStory) &&
        length > 0) {
      RemoveProbe(text, length);
    }
  }
}

void MasterPass::Walk() {
  uint32_t document = 0;
  view_ = xt_getdocviewref(&document);
  int16_t count = 0;
  if (Failed(link_.lgk2->master_count(&count), kLineMasterCount)) return;
  if (Failed(link_.qsb1->new_string(kMasterProbeText, kMasterProbeLength, &probe_),
             kLineProbeString)) {
    return;
  }
  for (int16_t page = 3; page <= count && !Stops(); ++page) {
    int32_t shown = kXTOk;
    Switch(page - 2, &shown);
    if (shown != kXTOk) {
      if (second_) continue;
      break;
    }
    VisitPage(page);
    if (Stops()) break;
    int32_t back = kXTOk;
    Switch(0, &back);
  }
  // The probe string goes also when the pass ended early.
  Failed(link_.qsb1->dispose_string(probe_), kLineReleaseProbe);
  probe_ = 0;
  if (Stops()) return;
  int32_t back = kXTOk;
  Switch(0, &back);
}

void MasterPass::VisitPage(int16_t page) {
  const XTLayoutSuite& layout = *link_.lgk2;
  XTPageRef reference = 0;
  int32_t spread = 0;
  if (Failed(layout.page_reference(page, &reference), kLinePageSpread) ||
      Failed(layout.page_master(reference, &spread), kLinePageSpread)) {
    return;
  }
  uint8_t isMaster = 0;
  if (Failed(layout.is_master_spread(spread, 0, &isMaster), kLineMasterTest) || isMaster == 0)
    return;

  // The name only shows that the page can be named.
  XTString name = 0;
  if (Failed(layout.master_name(page, &name), kLinePageName)) return;
  std::string text;
  if (HostStringToStd(name, text) != kXTOk) text = "MASTERPAGE NAME FAILED!";
  if (Failed(link_.qsb1->dispose_string(name), kLinePageName)) return;

  boxIndex_ = textIndex_ = emptyIndex_ = 0;
  XTItem box = 0;
  int32_t result = layout.first_page_item(page, 0, &box);
  if (result != kXTErrNoItem && Failed(result, kLineFirstBox)) return;
  while (box > 0 && !Stops()) {
    VisitBox(box, page);
    if (Stops()) return;
    XTItem next = 0;
    result = layout.next_page_item(box, &next);
    if (result != kXTErrNoItem && Failed(result, kLineNextBox)) return;
    box = result == kXTOk ? next : 0;
  }
}

void MasterPass::VisitBox(XTItem box, int16_t page) {
  uint8_t isMaster = 0;
  if (Failed(link_.lgk2->is_master_item(box, 0, &isMaster), kLineItemTest) || isMaster == 0)
    return;
  ++boxIndex_;
  const ct_Box record(box, 0);
  if (!record.IsTextBox()) return;
  ++textIndex_;
  LogMasterPageTrace(record, "MASTERBOX", boxIndex_);
  LogMasterPageTrace(record, "MPTEXTBOX", textIndex_);

  int32_t story = 0;
  XTTextRef text = 0;
  int32_t length = 0;
  int32_t ignored = 0;
  if (Failed(link_.lgk2->item_story(box, &story), kLineStory) ||
      Failed(link_.lgf2->story_text(story, &text, &length, &ignored, &ignored), kLineStory)) {
    return;
  }
  BoxPairRegistry().try_emplace(box, box, static_cast<uint16_t>(page - 2));
  if (length <= 0) {
    LogMasterPageTrace(record, "Ignoring empty text box from masterpage", ++emptyIndex_);
    return;
  }
  if (second_) {
    // Only a story the first pass changed loses the probe text; one that
    // still holds it after a failure stays recorded for TakeOutLeftProbes.
    if (Unrecord(story) && RemoveProbe(text, length) == Removal::kFailed)
      ProbedStories().push_back(story);
  } else if (!Failed(link_.lgf2->insert_text(text, 0, kMasterProbeText, kMasterProbeLength),
                     kLineInsert)) {
    ProbedStories().push_back(story);
    NoteTextChange();
  }
}

Removal MasterPass::RemoveProbe(XTTextRef text, int32_t length) {
  // A story shorter than the probe cannot begin with it.
  const int32_t count = std::min(length, kMasterProbeLength);
  char16_t units[kMasterProbeLength] = {};
  if (Failed(link_.lgf2->read_text(text, 0, count, units), kLineRead)) return Removal::kFailed;
  const XTStringSuite& strings = *link_.qsb1;
  XTString head = 0;
  if (Failed(strings.new_string(units, count, &head), kLineReadString)) return Removal::kFailed;
  int32_t headLength = 0;
  char16_t copy[kMasterProbeLength + 1] = {};
  Removal removal = Removal::kNotThere;
  if (Failed(strings.string_length(head, &headLength), kLineCompare)) {
    removal = Removal::kFailed;
  } else if (headLength == kMasterProbeLength) {
    if (Failed(strings.copy_string(head, copy, kMasterProbeLength + 1), kLineCompare)) {
      removal = Removal::kFailed;
    } else if (std::equal(copy, copy + kMasterProbeLength, kMasterProbeText)) {
      removal = Failed(link_.lgf2->delete_text(text, 0, kMasterProbeLength), kLineDelete)
                    ? Removal::kFailed
                    : Removal::kTakenOut;
      if (removal == Removal::kTakenOut) NoteTextChange();
    }
  }
  // Releasing the copy of the story's head takes nothing out of the story.
  Failed(strings.dispose_string(head), kLineReleaseRead);
  return removal;
}

// Rows of one table by spread, in the order added within a spread.
using SummaryRows = std::multimap<int16_t, std::string>;

std::string Rule(char c) { return "\n" + std::string(80, c) + "\n"; }

std::string Hex(XTItem box) {
  std::ostringstream text;
  text << std::hex << static_cast<uint32_t>(box);
  return text.str();
}

}  // namespace

int32_t PreprocessMasterBoxes(bool secondPass) { return MasterPass(secondPass).Run(); }

namespace {

// Takes out, when the passes are left by an exception, the probe text the
// first pass put in; after a second pass there is none left to take out.
class ProbeRemoval {
 public:
  ProbeRemoval() = default;
  ~ProbeRemoval() {
    if (ProbedStories().empty()) return;
    try {
      MasterPass(true).TakeOutLeftProbes();
    } catch (...) {
      ProbedStories().clear();
    }
  }
  ProbeRemoval(const ProbeRemoval&) = delete;
  ProbeRemoval& operator=(const ProbeRemoval&) = delete;
};

}  // namespace

int32_t PreprocessMasterBoxesTwice() {
  const ProbeRemoval removal;
  const int32_t first = PreprocessMasterBoxes(false);
  const int32_t second = PreprocessMasterBoxes(true);
  return first != kXTOk ? first : second;
}

std::string PrintMasterpageSummary(bool withLayoutBoxes, bool withStoryIds) {
  static const std::string hashRule = Rule('#');
  static const std::string dashRule = Rule('-');
  std::ostringstream masters;
  std::ostringstream layouts;
  masters << hashRule << "Masterpage Summary:" << "\n";
  masters << std::setw(80) << "Master Boxes" << dashRule << std::setw(20) << "MBoxID"
          << std::setw(10) << "Spread";
  if (withStoryIds) masters << std::setw(10) << "StoryID";
  masters << std::setw(10) << "Usages" << std::setw(20) << "MSpreadName" << dashRule;
  if (withLayoutBoxes) {
    layouts << "\n" << std::setw(80) << "Layout Boxes" << dashRule << std::setw(10) << "BoxID"
            << std::setw(10) << "MBoxID" << std::setw(10) << "Spread";
    if (withStoryIds) layouts << std::setw(10) << "StoryID";
    layouts << std::setw(10) << "Auto" << std::setw(20) << "MSpreadName" << dashRule;
  }

  SummaryRows masterRows;
  SummaryRows layoutRows;
  const BoxLinkSet& linked = LinkedBoxRegistry();
  for (const auto& [handle, master] : BoxPairRegistry()) {
    std::ostringstream row;
    row << std::setw(20) << Hex(handle) << std::setw(10) << master.Spread();
    if (withStoryIds) row << std::setw(10) << master.id;
    row << std::setw(10) << master.users.size() << std::setw(20) << master.spreadName << "\n";
    masterRows.emplace(master.Spread(), row.str());
    if (!withLayoutBoxes) continue;
    const BoxLinkSet users = master.users;
    for (const BoxLinkRecord& user : users) {
      std::ostringstream line;
      line << std::setw(10) << Hex(user.item) << std::setw(10) << Hex(handle) << std::setw(10)
           << user.record.Spread();
      if (withStoryIds) line << std::setw(10) << user.record.id;
      line << std::setw(10) << (linked.count(user.item) != 0 ? "   +   " : "   -   ")
           << std::setw(20) << master.spreadName << "\n";
      layoutRows.emplace(user.record.Spread(), line.str());
    }
  }
  for (const auto& row : masterRows) masters << row.second;
  for (const auto& row : layoutRows) layouts << row.second << "\n";
  layouts << hashRule << "\n";
  return masters.str() + layouts.str();
}
