#include "plugin/conversion/import_anchors.h"

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "plugin/mixer/mapper.h"
#include "plugin/qapi/box_call.h"
#include "plugin/qapi/mixer_services.h"
#include "plugin/qapi/q_story.h"
#include "plugin/qapi/story_runs.h"
#include "support/error_record.h"
#include "support/host_link.h"
#include "support/host_result.h"
#include "support/program_log.h"

namespace {

using namespace BX_KXT::Import;

enum RefName : int32_t { kPoint = 1, kStart = 2, kEnd = 3 };

// The failure of a damaged container: filter error 1004 ("KXT Error").
ErrorRecord Damaged(const std::string& what) { return ErrorRecord{1004, MsgString::Create(what.c_str())}; }

std::string Where(int32_t paragraph, int32_t run) {
  return "paragraph " + std::to_string(paragraph) + ", run " + std::to_string(run);
}

// Plug-in objects carry codes 0x424B41xx.
constexpr uint32_t kPluginObjectMask = 0xFFFFFF00u;
constexpr uint32_t kPluginObjectCode = 0x424B4100u;

int32_t StoryOfBox(XTBox box) {
  const XTSelectionSuite* selection = XT().lgh2;
  int32_t story = 0;
  if (selection == nullptr || box == 0 || HostCall("story_of_box", selection->story_of_box(box, &story)) != kXTOk)
    return 0;
  return story;
}

XTBox CurrentBox() {
  const XTSelectionSuite* selection = XT().lgh2;
  XTBox box = 0;
  if (selection != nullptr) HostCall("current_box", selection->current_box(&box));
  return box;
}

// Selection (0, 0) in the box's story, on a fresh snapshot.
void ResetSelection(XTBox box, int32_t story) {
  StoryRuns snapshot(story);
  snapshot.RefreshIfStale();
  if (const XTSelectionSuite* selection = XT().lgh2) selection->select_text(box, 0, 0);
}

}  // namespace

AnchorCollector::AnchorCollector(IStory& story) { complete_ = Collect(story); }

bool AnchorCollector::HasAnchors() const {
  return std::any_of(begin(), end(), [](const Segment& s) { return s.kind >= 0; });
}

bool AnchorCollector::Collect(IStory& story) {
  std::map<int32_t, int32_t> names;
  const std::pair<const char16_t*, int32_t> known[] = {{u"point", kPoint}, {u"start", kStart}, {u"end", kEnd}};
  for (const auto& [text, name] : known) {
    const int32_t id = story.FindString(text);
    if (id != -1) names.emplace(id, name);
  }
  bool complete = true;
  // Per id, the plan indices of its starts not yet closed, latest last.
  std::map<int32_t, std::vector<size_t>> open;

  for (int32_t j = 0;; ++j) {
    Ref<IPara> para = story.OpenPara(j);
    if (!para) {
      if (story.OpenPara(j + 1)) throw Damaged("paragraph " + std::to_string(j) + " is missing");
      break;
    }
    for (int32_t k = 0;; ++k) {
      Ref<IRun> run = para->OpenRun(k);
      if (!run) {
        if (para->OpenRun(k + 1)) throw Damaged(Where(j, k) + " is missing");
        break;
      }
      switch (run->Kind()) {
        case kRunUnicodes:
        case kRunMultibytes:
        case kRunWideMultibytes:
        case kRunSpecialChars:
          push_back(Segment{kTextSegment, 0, j, k});
          break;
        case kRunPlaceHolders: {
          PlaceHolderUnit unit{};
          while (run->Read(&unit)) push_back(Segment{unit.objectFolderId, kAnchorPoint, j, k});
          break;
        }
        case kRunRefPoints: {
          RefPointUnit unit{};
          while (run->Read(&unit)) {
            const auto name = names.find(unit.refTypeRef);
            if (name == names.end()) {
              // Every reference point the export writes is a "point", a
              // "start" or an "end": its marker would be lost unseen.
              throw Damaged(Where(j, k) + ": a reference point of an unknown kind");
            }
            const int32_t id = unit.objectFolderId;
            if (name->second == kPoint) {
              push_back(Segment{id, kAnchorPoint, j, k});
            } else if (name->second == kStart) {
              open[id].push_back(size());
              push_back(Segment{id, kAnchorStart, j, k});
            } else {
              auto starts = open.find(id);
              if (starts == open.end() || starts->second.empty()) {
                complete = false;
                continue;
              }
              starts->second.pop_back();
              push_back(Segment{id, kAnchorEnd, j, k});
            }
          }
          break;
        }
        default:
          // Text that is there but cannot be read would be lost without a
          // word: the container is damaged.
          if (run->Damaged()) throw Damaged(Where(j, k) + ": its text stream is damaged");
          break;
      }
    }
    push_back(Segment{kParagraphEnd, 0, j, -1});
  }

  // A start never closed stays where it is: the text behind it was hidden
  // to the story's end when it was exported, and stays so.
  for (const auto& [id, starts] : open) {
    for (size_t i = 0; i < starts.size(); ++i) {
      ProgramLog() << "*** Hidden text without end: id=" << id << " is hidden to the end of its story"
                   << std::endl;
    }
  }
  return complete;
}

XTBox MakeBoxCurrent(XTBox box) {
  const int32_t story = StoryOfBox(box);
  if (story == 0) return CurrentBox();
  return Mixer::MakeCurrent(story);
}

CurrentBoxGuard::~CurrentBoxGuard() {
  try {
    if (box_ != 0) MakeBoxCurrent(box_);
  } catch (...) {
    // A box that cannot be made current again leaves the current one.
  }
}

ImpSentry::ImpSentry(XTBox box, Mapper& mapper) : box_(box), mapper_(mapper) {
  CurrentBoxGuard previous(MakeBoxCurrent(box_));
  const int32_t story = StoryOfBox(box_);
  ResetSelection(box_, story);
  if (QapiBoxCall4(0) == 0) NoteTextChange();
  RemoveStrayObjects();
}

ImpSentry::~ImpSentry() {
  try {
    CurrentBoxGuard previous(MakeBoxCurrent(box_));
    ResetSelection(box_, StoryOfBox(box_));
  } catch (...) {
    // The selection is a courtesy; the import's result stands.
  }
}

void ImpSentry::RemoveStrayObjects() {
  const int32_t story = StoryOfBox(box_);
  if (story == 0) return;
  QStory strays(story, true);
  {
    StoryRunIterator iterator(story);
    StoryRunPosition position;
    StoryRunIterator::Begin(position, iterator);
    while (iterator.HasMore(position)) {
      const uint32_t code = iterator.CurrentOpcode(position);
      if (code == 0 || (code >= 5 && code <= 7)) {
        iterator.Advance(position);
        continue;
      }
      const int32_t start = position.boundary;
      const int32_t end = iterator.NextBoundary(position);
      // Moves the walk past the run (and past a pair it reads).
      const HiddenRun known = mapper_.CollectHidden(iterator, position);
      if (known.id == -1 && (code & kPluginObjectMask) == kPluginObjectCode) strays.AddRange(start, end);
    }
  }
  if (!strays.ranges.empty()) strays.Apply();
}
