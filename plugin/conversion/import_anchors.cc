#include "plugin/conversion/import_anchors.h"

#include <algorithm>
#include <map>
#include <vector>

#include "plugin/qapi/box_call.h"
#include "plugin/qapi/mixer_services.h"
#include "plugin/qapi/story_runs.h"
#include "support/host_link.h"

namespace {

constexpr int32_t kPoint = 1;
constexpr int32_t kStart = 2;
constexpr int32_t kEnd = 3;

// The values a plan anchor shares with its host segment.
constexpr int32_t kStartValue = 1;
constexpr int32_t kEndValue = 0;
constexpr int32_t kOtherValue = 1000;

int32_t StoryOfBox(XTItem box) {
  int32_t story = 0;
  if (box == 0 || XT().lgk2 == nullptr || XT().lgk2->item_story(box, &story) != kXTOk) return 0;
  return story;
}

// Makes the box current and its selection (0, 0); the box current before.
XTBox ResetSelection(XTItem box) {
  const int32_t story = StoryOfBox(box);
  const XTBox previous = Mixer::MakeCurrent(story);
  if (const XTSelectionSuite* selection = XT().lgh2) selection->select_text(box, 0, 0);
  if (QapiBoxCall4(0) == 0) NoteTextChange();
  return previous;
}

void MakeBoxCurrent(XTBox box) {
  if (box != 0 && XT().lgh2 != nullptr) XT().lgh2->set_current_box(box);
}

}  // namespace

AnchorCollector::AnchorCollector(BX_KXT::Import::IStory& story) : mStory(story) { Collect(); }

bool AnchorCollector::Collect() {
  plan.clear();
  std::map<int32_t, int32_t> names;
  const std::pair<const char16_t*, int32_t> known[] = {
      {u"point", kPoint}, {u"start", kStart}, {u"end", kEnd}};
  for (const auto& [name, kind] : known) {
    const int32_t number = mStory.FindString(name);
    if (number != -1) names[number] = kind;
  }
  bool ok = true;
  std::map<int32_t, std::vector<size_t>> openStarts;
  std::vector<size_t> dropped;
  for (int32_t j = 0;; ++j) {
    const BX_KXT::Import::Handle<BX_KXT::Import::IPara> para = mStory.OpenPara(j);
    if (!para) break;
    for (int32_t k = 0;; ++k) {
      const BX_KXT::Import::Handle<BX_KXT::Import::IRun> run = para->OpenRun(k);
      if (!run) break;
      const BX_KXT::Import::ImportRunKind kind = run->Kind();
      if (kind >= BX_KXT::Import::kRunUnicodes && kind <= BX_KXT::Import::kRunSpecialChars) {
        plan.push_back({StorySegment::kText, 0, j, k});
      } else if (kind == BX_KXT::Import::kRunPlaceHolders) {
        int32_t record[2] = {0, 0};
        while (run->Read(record)) plan.push_back({record[1], kOtherValue, j, k});
      } else if (kind == BX_KXT::Import::kRunRefPoints) {
        int32_t record[3] = {0, 0, 0};
        while (run->Read(record)) {
          const int32_t id = record[2];
          const auto name = names.find(record[0]);
          if (name == names.end()) {
            ok = false;
          } else if (name->second == kPoint) {
            plan.push_back({id, kOtherValue, j, k});
          } else if (name->second == kStart) {
            openStarts[id].push_back(plan.size());
            plan.push_back({id, kStartValue, j, k});
          } else if (openStarts[id].empty()) {
            ok = false;
          } else {
            openStarts[id].pop_back();
            plan.push_back({id, kEndValue, j, k});
          }
        }
      }
    }
    plan.push_back({StorySegment::kParagraphEnd, 0, j, -1});
  }
  for (const auto& entry : openStarts) dropped.insert(dropped.end(), entry.second.begin(), entry.second.end());
  std::sort(dropped.rbegin(), dropped.rend());
  for (const size_t index : dropped) plan.erase(plan.begin() + static_cast<std::ptrdiff_t>(index));
  return ok;
}

ImpSentry::ImpSentry(XTItem box, Importer& importer) : mBox(box), mImporter(importer) {
  MakeBoxCurrent(ResetSelection(mBox));
}

ImpSentry::~ImpSentry() {
  try {
    MakeBoxCurrent(ResetSelection(mBox));
  } catch (...) {
  }
}
