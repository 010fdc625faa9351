#include "plugin/mixer/mapper.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "framework/failures.h"
#include "plugin/mixer/api_failure.h"
#include "plugin/mixer/box_registries.h"
#include "plugin/mixer/box_tags.h"
#include "plugin/mixer/brenix_box.h"
#include "plugin/mixer/doc_view.h"
#include "plugin/mixer/host_pages.h"
#include "plugin/mixer/master_boxes.h"
#include "plugin/mixer/master_class.h"
#include "plugin/mixer/mixer_boxes.h"
#include "plugin/mixer/story_units.h"
#include "plugin/qapi/mixer_services.h"
#include "plugin/qapi/q_handle.h"
#include "plugin/qapi/qapi_trace.h"
#include "plugin/qapi/quark_doc.h"
#include "plugin/qapi/story_runs.h"
#include "plugin/xtension/breakpoint.h"
#include "support/brenix_interface.h"
#include "support/host_link.h"
#include "support/host_result.h"
#include "support/program_log.h"
#include "support/settings.h"

namespace {

// The module name and the fixed line numbers of the failure reports.
const char kSource[] = "Filter_BX";
constexpr int kLineFindBoxMaster = 665;
constexpr int kLineFindBoxLayout = 671;
constexpr int kLineConnectMasters = 1105;
constexpr int kLineConnectCount = 1109;
constexpr int kLineConnectTest = 1113;
constexpr int kLineConnectLayout = 1121;
constexpr int kLineConnectPreprocess = 1140;
constexpr int kLineUnusedMasters = 1231;
constexpr int kLineUnusedCount = 1234;
constexpr int kLineUnusedTest = 1243;
constexpr int kLineUnusedItems = 1253;
constexpr int kLineUnusedItemTest = 1266;
constexpr int kLineUnusedTextBox = 1273;
constexpr int kLineUnusedLayout = 1327;
constexpr int kLineSlugMasters = 1345;
constexpr int kLineSlugCount = 1349;
constexpr int kLineSlugTest = 1356;
constexpr int kLineSlugLayout = 1364;
constexpr int kLinePatchDocument = 1375;
constexpr int kLinePatchState = 1379;
constexpr int kLinePatchView = 1385;
constexpr int kLinePatchLayout = 1398;
constexpr int kLineUnInstallLayout = 1460;

// Deeper anchored items than this are not followed.
constexpr int32_t kMaxAnchorDepth = 1000;
// A box made only of this many repeats of one character or pair, or more,
// is not taken.
constexpr int32_t kRepeatLimit = 20;

const XTLayoutSuite& Layout() { return *XT().lgk2; }

bool Ask(const char* name, int32_t (*call)(XTItem, uint8_t*), XTItem item) {
  uint8_t answer = 0;
  return call != nullptr && HostCall(name, call(item, &answer)) == kXTOk && answer != 0;
}
// Plain text and page-number characters: no object of their own.
bool IsPlainRun(uint32_t opcode) {
  return opcode == kXTOpText || (opcode >= kXTOpPageLast && opcode <= kXTOpPageNext);
}

bool IsTextBox(XTItem item) { return Ask("is_text_box", Layout().is_text_box, item); }
bool IsGroup(XTItem item) { return Ask("is_group", Layout().is_group, item); }

bool IsMasterItem(XTItem item, int32_t* result) {
  uint8_t answer = 0;
  *result = HostCall("is_master_item", Layout().is_master_item(item, 0, &answer));
  return *result == kXTOk && answer != 0;
}

XTItem ParentOf(XTItem box) {
  XTItem parent = 0;
  if (HostCall("parent_item", Layout().parent_item(box, &parent)) != kXTOk) return 0;
  return parent;
}

int32_t StoryOf(XTItem box) {
  int32_t story = 0;
  if (HostCall("item_story", Layout().item_story(box, &story)) != kXTOk) return 0;
  return story;
}

// The members of a group, back to front, the group itself left out.
std::vector<XTItem> MembersOf(XTItem group) {
  std::vector<XTItem> members;
  uint16_t count = 0;
  QHandle block = QHandle::Adopt(GetGroupMembers(group, &count));
  const auto* bytes = static_cast<const uint8_t*>(block.Data());
  if (bytes == nullptr) return members;
  count = static_cast<uint16_t>(std::min<uint32_t>(count, block.Size() / sizeof(XTItem)));
  for (uint16_t i = 0; i < count; ++i) {
    XTItem member = 0;
    std::memcpy(&member, bytes + i * sizeof member, sizeof member);
    if (member != group) members.push_back(member);
  }
  return members;
}

// The master spread the page of a layout box is based on; 0 when the host
// cannot tell.
int16_t MasterSpreadOfBox(XTItem box) {
  XTItemLocation location{};
  if (HostCall("item_location", Layout().item_location(box, 0, &location)) != kXTOk) return 0;
  QHandle table;
  if (QHandle::TryAllocate(0, &table) != kXTOk) return 0;
  uint32_t count = 0;
  if (HostCall("spread_pages", Layout().spread_pages(location.spread_low, table.Get(), &count)) != kXTOk) return 0;
  XTPageEntry entry;
  if (location.page < 0 || static_cast<uint32_t>(location.page) >= count ||
      !table.CopyOut(static_cast<uint32_t>(location.page) * sizeof entry, &entry, sizeof entry))
    return 0;
  return entry.master;
}

// The text-pattern test of a box's story, over UTF-16 units: white units
// (0x20 and below) are stepped over; the text is a pattern while every
// non-white unit repeats the first one, or the first pair of units.
class TextPattern {
 public:
  // Scans the units of one text run.
  void Scan(const std::u16string& units) {
    const size_t size = units.size();
    for (size_t i = 0; i < size && pattern_; ++i) {
      const char16_t unit = units[i];
      if (unit <= 0x20) continue;
      ++count_;
      const bool pairFollows = i + 1 < size && units[i + 1] > 0x20;
      if (count_ == 1) {
        first_ = unit;
        if (pairFollows && units[i + 1] != unit) {
          second_ = units[i + 1];
          hasSecond_ = true;
          ++i;
        }
        continue;
      }
      if (unit != first_) {
        pattern_ = false;
      } else if (hasSecond_) {
        if (i + 1 < size && units[i + 1] == second_) {
          ++i;
        } else {
          pattern_ = false;
        }
      }
    }
  }
  // Taken: some non-white text that is not 20 or more repeats.
  bool Taken() const { return !pattern_ || (count_ >= 1 && count_ < kRepeatLimit); }

 private:
  bool pattern_ = true;
  int32_t count_ = 0;
  char16_t first_ = 0;
  char16_t second_ = 0;
  bool hasSecond_ = false;
};

// Documents analysed in MultiDoc mode, for the progress window.
uint32_t gAnalysedDocuments = 0;

}  // namespace

Mapper::Mapper() = default;

Mapper::~Mapper() {
  mPrivateBox.reset();
  if (mProgress) mProgress->Close();
}

uint16_t Mapper::MasterSpreadOf(int32_t id) const {
  const auto found = mStoryMasterPages.find(id);
  return found == mStoryMasterPages.end() ? 0 : found->second;
}

void Mapper::EnterMasterPage(int32_t id, uint16_t spread) { mStoryMasterPages.emplace(id, spread); }

void Mapper::MakeProgress() {
  const bool multiDoc = BrenixInterface::Instance()->multiDocMode;
  const char* title = "Analyzing document";
  if (!multiDoc) {
    mProgressSteps = 100;
  } else if (!mProgress) {
    mProgressSteps = ++gAnalysedDocuments;
  } else {
    title = "Analyzing next document";
  }
  std::unique_ptr<ProgressBar> next = std::make_unique<ProgressBar>(title, mProgressSteps);
  if (mProgress) mProgress->Close();
  mProgress = std::move(next);
  mProgress->SetValue(1);
}

void Mapper::SetProgress(uint32_t value) {
  if (mProgress) mProgress->SetValue(value);
}

int32_t Mapper::Analyze() {
  UnInstall();
  Mixer::EnsureContentTool();
  mNextStoryId = 0;
  mAnchorFailures = 0;
  mStoryCount = -777;
  mcntMasterPages = 0;
  mMasterView = 0;
  mStoryMasterPages.clear();
  mUsedMasterBoxes.clear();
  mAnchoredBoxes.clear();
  mHidden.Clear();
  MakeProgress();

  if (GetCurrentDocumentId() < 0 || XT().lgk2 == nullptr) return 0;
  int16_t spreads = 0;
  if (HostCall("spread_count", Layout().spread_count(&spreads)) != kXTOk) return 0;
  uint32_t visited = 0;
  for (int32_t spread = 1; spread <= spreads; ++spread) {
    XTItem item = 0;
    if (HostCall("first_item", Layout().first_item(spread, &item), kXTErrNoItem) != kXTOk) continue;
    while (item != 0) {
      if (IsTextBox(item)) AnaliseText(item, 0, 0);
      SetProgress(static_cast<uint32_t>(std::lround(visited * 10.0 / (visited + 100))));
      ++visited;
      XTItem next = 0;
      if (HostCall("next_item", Layout().next_item(item, &next), kXTErrNoItem) != kXTOk) break;
      item = next;
    }
  }
  FindBoxFromUnusedMP(true);
  SetProgress(10);
  mPrivateBox.reset();
  mPrivateBox = BrenixBox::Install(*this);
  Mixer::EnsureContentTool();
  return Connect() ? mStoryCount : 0;
}

namespace {

// Whether `story` holds `item` anchored in it (the host's answer, so that a
// chain of many boxes costs no walk of its story per box).
bool AnchoredIn(int32_t story, XTItem item) {
  if (story <= 0 || item == 0) return false;
  uint16_t anchor = 0;
  return HostCall("anchor_story", Layout().anchor_story(item, &anchor)) == kXTOk && anchor == story;
}

}  // namespace

bool Mapper::AnaliseText(XTItem box, int32_t depth, int16_t masterIndex) {
  // A later box of a chain is reached through the chain's first box, unless
  // that one is anchored in the chain's own story: then nothing reaches it,
  // and this box stands for the story.
  if (const XTItem parent = ParentOf(box); parent != 0 && !AnchoredIn(StoryOf(box), parent)) return false;
  if (masterIndex != 0 && XT().lgh2 != nullptr) HostCall("set_current_box", XT().lgh2->set_current_box(box));
  int32_t id = -1;
  if (GetBoxId(box, &id)) {
    if (masterIndex != 0) EnterMasterPage(id, static_cast<uint16_t>(masterIndex));
    return true;
  }

  const int32_t story = StoryOf(box);
  TextPattern pattern;
  std::list<XTItem> untaken;
  if (story > 0) {
    StoryRunIterator iterator(story);
    StoryRunPosition position;
    StoryRunIterator::Begin(position, iterator);
    while (iterator.HasMore(position)) {
      const int32_t start = position.boundary;
      const int32_t end = iterator.NextBoundary(position);
      const uint32_t opcode = iterator.CurrentOpcode(position);
      if (opcode == kXTOpText) {
        pattern.Scan(ReadStoryUnits(iterator.runs, start, end));
      } else if (opcode == kXTOpAnchoredBox) {
        if (depth > kMaxAnchorDepth) {
          ProgramLog() << "#######stack overflows soon########" << '\n' << std::flush;
        } else if (const XTItem anchored = AnchoredItemAt(story, start)) {
          // A text box anchored in the story it shows is that story again.
          const bool own = IsTextBox(anchored) && StoryOf(anchored) == story;
          if (own || !AnaliseAnchored(anchored, depth, masterIndex)) untaken.push_back(anchored);
        } else {
          ProgramLog() << "#######AnchBox is not AnchBox######, lives remain: " << mAnchorFailures
                       << '\n'
                       << "start=" << start << "    Story size=" << iterator.runs.textLength
                       << '\n'
                       << std::flush;
          ++mAnchorFailures;
        }
      }
      iterator.Advance(position);
    }
  }
  if (!pattern.Taken()) return false;

  mAnchoredBoxes.splice(mAnchoredBoxes.end(), untaken);
  id = mNextStoryId++;
  Link(box, id);
  if (masterIndex != 0) {
    EnterMasterPage(id, static_cast<uint16_t>(masterIndex));
    return true;
  }
  XTItem master = 0;
  uint8_t follows = 0;
  if (HostCall("master_item", Layout().master_item(box, &master, &follows)) == kXTOk && master != 0) {
    UsedMasterBox record{};
    GetBoxBounds(box, &record.bounds[0], &record.bounds[1], &record.bounds[2], &record.bounds[3]);
    mUsedMasterBoxes.emplace(MasterSpreadOfBox(box), record);
  }
  return true;
}

bool Mapper::AnaliseAnchored(XTItem item, int32_t depth, int16_t masterIndex) {
  if (IsTextBox(item)) return AnaliseText(item, depth + 1, masterIndex);
  if (IsGroup(item)) {
    const std::vector<XTItem> members = MembersOf(item);
    for (auto member = members.rbegin(); member != members.rend(); ++member)
      AnaliseAnchored(*member, depth, masterIndex);
  }
  return false;
}

void Mapper::EnterTaggedIds(XTItem item, uint16_t spread, int32_t depth) {
  if (depth > kMaxAnchorDepth) return;
  if (IsGroup(item)) {
    for (const XTItem member : MembersOf(item)) EnterTaggedIds(member, spread, depth);
    return;
  }
  if (!IsTextBox(item)) return;
  int32_t id = -1;
  if (GetBoxId(item, &id)) EnterMasterPage(id, spread);
  const int32_t story = StoryOf(item);
  if (story <= 0) return;
  StoryRunIterator iterator(story);
  StoryRunPosition position;
  StoryRunIterator::Begin(position, iterator);
  while (iterator.HasMore(position)) {
    if (iterator.CurrentOpcode(position) == kXTOpAnchoredBox) {
      if (const XTItem anchored = AnchoredItemAt(story, position.boundary)) {
        EnterTaggedIds(anchored, spread, depth + 1);
      }
    }
    iterator.Advance(position);
  }
}

XTItem Mapper::FindBox(int32_t id) {
  if (XTItem box = FindBoxByTag32(kBoxIdTagKey, id)) return box;
  int32_t view = static_cast<int32_t>(xt_getdocviewref());
  const auto found = mStoryMasterPages.find(id);
  if (found == mStoryMasterPages.end()) {
    if (xt_viewgotomaster(view, 0) != kXTOk) {
      ReportApiFailure(ApiPolicy::kReturnValue, kSource, kLineFindBoxLayout, "Mapper::FindBox");
      return 0;
    }
    mMasterView = 0;
    return FindBoxByTag32(kBoxIdTagKey, id);
  }
  if (xt_viewgotomaster(view, found->second - 2) != kXTOk) {
    ReportApiFailure(ApiPolicy::kReturnValue, kSource, kLineFindBoxMaster, "Mapper::FindBox");
    return 0;
  }
  mMasterView = 1;
  return FindBoxByTag32(kBoxIdTagKey, id);
}

void Mapper::Link(XTItem box, int32_t id) {
  SetBoxTag16(box, kBoxMarkerTagKey, kBoxMarkerValue);
  SetBoxTag32(box, kBoxIdTagKey, id);
  if (FindBox(id) != box) QuarkInternalError(kSource, 610);
}

void Mapper::Unlink(XTItem box) {
  ClearBoxTag(box, kBoxIdTagKey);
  ClearBoxTag(box, kBoxMarkerTagKey);
  int32_t id = 0;
  if (GetBoxId(box, &id)) QuarkInternalError(kSource, 620);
}

void Mapper::FindBoxFromUnusedMP(bool analyse) {
  const char* const function = "Mapper::FindBoxFromUnusedMP";
  const auto fail = [function](int line) {
    ReportApiFailure(ApiPolicy::kReturnEmpty, kSource, line, function);
  };
  int32_t view = static_cast<int32_t>(xt_getdocviewref());
  if (xt_viewgotomaster(view, 1) != kXTOk) return fail(kLineUnusedMasters);
  int16_t count = 0;
  if (Layout().master_count(&count) != kXTOk) return fail(kLineUnusedCount);
  mcntMasterPages = 0;
  for (int32_t spread = 1; spread <= count; ++spread, ++mcntMasterPages) {
    uint8_t isMaster = 0;
    if (Layout().is_master_spread(spread, 0, &isMaster) != kXTOk) return fail(kLineUnusedTest);
    if (isMaster == 0) continue;
    XTItem item = 0;
    const int32_t first = Layout().first_item(spread, &item);
    if (first == kXTErrNoItem) continue;
    if (first != kXTOk) return fail(kLineUnusedItems);
    while (item > 0) {
      int32_t result = kXTOk;
      const bool masterItem = IsMasterItem(item, &result);
      if (result != kXTOk) return fail(kLineUnusedItemTest);
      uint8_t textBox = 0;
      if (masterItem && Layout().is_text_box(item, &textBox) != kXTOk)
        return fail(kLineUnusedTextBox);
      if (masterItem && textBox != 0) {
        if (analyse) {
          AnaliseText(item, 0, static_cast<int16_t>(spread));
        } else {
          // Items anchored in a master box, and the members of anchored
          // groups, lie on its master spread too.
          EnterTaggedIds(item, static_cast<uint16_t>(spread), 0);
        }
      }
      XTItem next = 0;
      if (HostCall("next_item", Layout().next_item(item, &next), kXTErrNoItem) != kXTOk) break;
      item = next;
    }
  }
  if (xt_viewgotomaster(view, 0) != kXTOk) fail(kLineUnusedLayout);
}

XTItem Mapper::FindSlugFromMP(uint32_t key, uint16_t marker) {
  const char* const function = "Mapper::FindSlugFromMP";
  int32_t view = static_cast<int32_t>(xt_getdocviewref());
  if (xt_viewgotomaster(view, 1) != kXTOk) {
    ReportApiFailure(ApiPolicy::kReturnValue, kSource, kLineSlugMasters, function);
    return 0;
  }
  int16_t count = 0;
  if (Layout().master_count(&count) != kXTOk) {
    ReportApiFailure(ApiPolicy::kReturnValue, kSource, kLineSlugCount, function);
    return 0;
  }
  for (int32_t spread = 1; spread <= count; ++spread) {
    uint8_t isMaster = 0;
    if (Layout().is_master_spread(spread, 0, &isMaster) != kXTOk) {
      ReportApiFailure(ApiPolicy::kReturnValue, kSource, kLineSlugTest, function);
      return 0;
    }
    if (isMaster == 0) continue;
    if (XTItem box = FindBoxByTag16(key, marker)) return box;
  }
  if (xt_viewgotomaster(view, 0) != kXTOk)
    ReportApiFailure(ApiPolicy::kReturnValue, kSource, kLineSlugLayout, function);
  return 0;
}

void Mapper::SetCurrentBoxes() {
  const XTSelectionSuite* selection = XT().lgh2;
  if (selection == nullptr) return;
  for (int32_t i = 0;; ++i) {
    const XTItem box = FindBox(i);
    if (box == 0) break;
    StoryRuns runs(StoryOf(box));
    const StoryRuns::RunCounts& counts = runs.Counts();
    if (counts.paragraphs == 0 && counts.characters == 0) continue;
    if (HostCall("set_current_box", selection->set_current_box(box)) == kXTOk) {
      if (!Mixer::EnsureContentTool()) QuarkInternalError(kSource, 760);
      HostCall("select_text", selection->select_text(box, 0, 0));
    } else {
      ProgramLog() << "Unable to set curbox(" << std::hex << box << std::dec
                   << "),   storyID=" << i << std::flush;
      BreakPoint_BX();
    }
  }
}

void Mapper::MasterPatch() {
  const char* const function = "Mapper::MasterPatch";
  if (GetCurrentDocumentId() < 0) {
    ReportApiFailure(ApiPolicy::kReturnEmpty, kSource, kLinePatchDocument, function);
    return;
  }
  int32_t state = 0;
  if (QueryDocumentState(&state) != kXTOk) {
    ReportApiFailure(ApiPolicy::kReturnEmpty, kSource, kLinePatchState, function);
    return;
  }
  bool masters = false;
  if (IsMasterView(&masters) != kXTOk) {
    ReportApiFailure(ApiPolicy::kReturnEmpty, kSource, kLinePatchView, function);
    return;
  }
  if (!masters) return;
  int32_t view = static_cast<int32_t>(xt_getdocviewref());
  if (xt_viewgotomaster(view, 0) != kXTOk)
    ReportApiFailure(ApiPolicy::kReturnEmpty, kSource, kLinePatchLayout, function);
}

void Mapper::UnInstall() {
  // The working boxes go: samples taken from them would name nothing.
  mPrivateBox.reset();
  MasterPatch();
  const auto nextMarked = [this] {
    if (XTItem box = FindBoxByTag16(kBoxMarkerTagKey, kBoxMarkerValue)) return box;
    return FindSlugFromMP(kBoxMarkerTagKey, kBoxMarkerValue);
  };
  // Each box is handled once: a box whose tags the host keeps would
  // otherwise be found again for ever.
  std::set<XTItem> handled;
  for (XTItem box = nextMarked(); box != 0; box = nextMarked()) {
    if (!handled.insert(box).second) {
      ProgramLog() << "ERROR: Mapper::UnInstall: box " << std::hex << box << std::dec
                   << " could not be untagged\n"
                   << std::flush;
      break;
    }
    int32_t id = 0;
    if (!GetBoxId(box, &id)) {
      ClearBoxTag(box, kBoxMarkerTagKey);
    } else if (id < 0) {
      if (HostCall("delete_item", Layout().delete_item(box)) != kXTOk) {
        ProgramLog() << "ERROR: Mapper::UnInstall: working box " << std::hex << box << std::dec
                     << " could not be deleted\n"
                     << std::flush;
        Unlink(box);
      } else if (FindBox(id) != 0) {
        QuarkInternalError(kSource, 1440);
      }
    } else {
      Unlink(box);
    }
  }
  int32_t view = static_cast<int32_t>(xt_getdocviewref());
  if (xt_viewgotomaster(view, 0) != kXTOk)
    ReportApiFailure(ApiPolicy::kReturnEmpty, kSource, kLineUnInstallLayout, "Mapper::UnInstall");
  Disconnect();
}

bool Mapper::InstallWorkingBoxes() {
  MasterPatch();
  FindBoxFromUnusedMP(false);
  mPrivateBox.reset();
  mPrivateBox = BrenixBox::Install(*this);
  MasterPatch();
  return mPrivateBox != nullptr;
}

void Mapper::Disconnect() {
  mPrivateBox.reset();
  // The master pages named here are those of this layout: another layout
  // may have none of them.
  mStoryMasterPages.clear();
  mStoryCount = 0;
  mNextStoryId = 0;
  mAnchorFailures = 0;
  mCounter1 = 0;
  mCounter2 = 0;
}

bool Mapper::Connect() {
  const char* const function = "Mapper::Connect";
  MasterPatch();
  FindBoxFromUnusedMP(false);
  if (!mPrivateBox) {
    SetCurrentBoxes();
    mPrivateBox = BrenixBox::MakeImport(*this);
    if (!mPrivateBox) AssertFail(__FILE__, __LINE__, "mPrivateBox.get()");
  }
  // The story of every id, as it is counted.
  std::vector<int32_t> stories;
  const auto countStories = [this, &stories] {
    for (XTItem box; (box = FindBox(mNextStoryId)) != 0; ++mNextStoryId)
      stories.push_back(StoryOf(box));
  };
  mNextStoryId = 0;
  mStoryCount = 0;
  mAnchorFailures = 0;
  countStories();

  int32_t view = static_cast<int32_t>(xt_getdocviewref());
  if (xt_viewgotomaster(view, 1) != kXTOk) {
    ReportApiFailure(ApiPolicy::kReturnValue, kSource, kLineConnectMasters, function);
    return false;
  }
  int16_t count = 0;
  if (Layout().master_count(&count) != kXTOk) {
    ReportApiFailure(ApiPolicy::kReturnError, kSource, kLineConnectCount, function);
    return false;
  }
  for (int32_t spread = 1; spread <= count; ++spread) {
    uint8_t isMaster = 0;
    if (Layout().is_master_spread(spread, 0, &isMaster) != kXTOk) {
      // Reported; the count goes on with the next spread.
      ReportApiFailure(ApiPolicy::kCheckOnly, kSource, kLineConnectTest, function);
      continue;
    }
    if (isMaster != 0) countStories();
  }
  view = static_cast<int32_t>(xt_getdocviewref());
  if (xt_viewgotomaster(view, 0) != kXTOk) {
    ReportApiFailure(ApiPolicy::kReturnValue, kSource, kLineConnectLayout, function);
    return false;
  }
  if (mNextStoryId == 0) return false;
  mStoryCount = mNextStoryId;

  // Anchored items: a tagged one under its own id, the others numbered on.
  // Stories with object runs other than anchored items are noted for the
  // second walk.
  mHidden.Clear();
  std::vector<int32_t> withObjects;
  for (const int32_t story : stories) {
    if (story <= 0) continue;
    StoryRunIterator iterator(story);
    StoryRunPosition position;
    StoryRunIterator::Begin(position, iterator);
    bool objects = false;
    while (iterator.HasMore(position)) {
      const uint32_t opcode = iterator.CurrentOpcode(position);
      if (opcode != kXTOpAnchoredBox) {
        objects = objects || !IsPlainRun(opcode);
        iterator.Advance(position);
        continue;
      }
      objects = true;
      const XTItem anchored = AnchoredItemAt(story, position.boundary);
      int32_t id = mNextStoryId;
      const bool tagged = anchored != 0 && GetBoxId(anchored, &id);
      Hidden::RegisterRun(mHidden, iterator, position, id);
      if (!tagged) ++mNextStoryId;
    }
    if (objects) withObjects.push_back(story);
  }
  mExtendedStoryCount = mNextStoryId;

  // Hidden text and the other object runs.
  for (const int32_t story : withObjects) {
    StoryRunIterator iterator(story);
    StoryRunPosition position;
    StoryRunIterator::Begin(position, iterator);
    while (iterator.HasMore(position)) {
      const uint32_t opcode = iterator.CurrentOpcode(position);
      if (IsPlainRun(opcode)) {
        iterator.Advance(position);
      } else if (opcode == kXTOpAnchoredBox) {
        Hidden::RegisterRun(mHidden, iterator, position, mNextStoryId);
      } else if (Hidden::RegisterRun(mHidden, iterator, position, mNextStoryId)) {
        ++mNextStoryId;
      }
    }
  }

  // The walks above step over the text a key reads, and refuse a key met
  // before: an object right beside another one, and a further object of
  // a story with the key of an earlier one, are numbered here, after every
  // other, so that the ids of all other objects stay as before.
  for (const int32_t story : withObjects) {
    Hidden::IndexStory(mHidden, story, [this](const HiddenRunInfo& key, const StoryRunPosition&) {
      int32_t id = mNextStoryId;
      const bool tagged = key.opcode == kXTOpAnchoredBox && key.item != 0 && GetBoxId(key.item, &id);
      if (Hidden::RegisterKey(mHidden, key, id) && !tagged) ++mNextStoryId;
    });
  }

  // Master-page mode 1: let the host report the copies of the master boxes.
  Settings& settings = Settings::Instance();
  if (settings.GetMasterPageMode() != 1) return true;
  EmptyBoxRegistries();
  if (PreprocessMasterBoxesTwice() != 0) {
    ReportApiFailure(ApiPolicy::kReturnValue, kSource, kLineConnectPreprocess, function);
    return false;
  }
  static const int32_t logMode = settings.GetMasterPageLogMode();
  if (logMode == 0) return true;
  if (logMode >= 3) AssignBoxStoryIds(*this);
  ProgramLog() << PrintMasterpageSummary(logMode >= 2, logMode >= 3) << std::flush;
  return true;
}

HiddenRun Mapper::CollectHidden(StoryRunIterator& iterator, StoryRunPosition& position) {
  return Hidden::FindRun(mHidden, iterator, position);
}

bool Mapper::LookupHidden(StoryRunIterator& iterator, StoryRunPosition& position, int32_t* id) {
  const HiddenRun run = Hidden::FindRun(mHidden, iterator, position);
  if (run.id == -1) return false;
  if (id != nullptr) *id = run.id;
  return true;
}
