#include "plugin/conversion/exporter.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "framework/failures.h"
#include "plugin/conversion/run_buffer.h"
#include "plugin/conversion/x_attribs.h"
#include "plugin/mixer/brenix_box.h"
#include "plugin/mixer/hidden.h"
#include "plugin/mixer/master_class.h"
#include "plugin/mixer/master_trace.h"
#include "plugin/qapi/q_handle.h"
#include "plugin/qapi/story_runs.h"
#include "support/brenix_interface.h"
#include "support/host_link.h"
#include "support/host_result.h"
#include "support/program_log.h"
#include "support/settings.h"

using BX_KXT::Export::IAttrs;
using BX_KXT::Export::IDoc;
using BX_KXT::Export::IPara;
using BX_KXT::Export::IStory;
using BX_KXT::Export::Ref;

namespace {

std::u16string Wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

bool SkipProcessHidden() {
  static const bool skip = Settings::Instance().IsSkipProcessHidden();
  return skip;
}

const char16_t* PageNumberData(uint32_t code) {
  switch (code) {
    case kXTOpPageLast: return u"Last";
    case kXTOpPageCurrent: return u"Curr";
    default: return u"Next";
  }
}

// The current box and its text selection when an analysis begins, put
// back when it is done: the analysis makes each story's box current.
class KeptSelection {
 public:
  KeptSelection() {
    const XTSelectionSuite* selection = XT().lgh2;
    if (selection == nullptr || HostCall("current_box", selection->current_box(&box_)) != kXTOk) box_ = 0;
    uint8_t open = 0;
    int32_t story = 0;
    textOpen_ = box_ != 0 && HostCall("text_open", selection->text_open(box_, &open)) == kXTOk && open != 0 &&
                HostCall("text_selection", selection->text_selection(&story, &start_, &end_)) == kXTOk;
  }
  // A failure is counted: the document would be saved with another box current.
  void Restore() const {
    const XTSelectionSuite* selection = XT().lgh2;
    if (selection == nullptr) return;
    if (box_ == 0) {
      // No box was current: none is after the analysis either.
      HostCall("set_current_box", selection->set_current_box(0));
    } else if (textOpen_) {
      HostCall("select_text", selection->select_text(box_, start_, end_));
    } else {
      HostCall("set_current_box", selection->set_current_box(box_));
    }
  }

 private:
  XTBox box_ = 0;
  bool textOpen_ = false;
  int32_t start_ = 0;
  int32_t end_ = 0;
};

}  // namespace

// One segment of the story walk and what it is written into.
struct Exporter::Segment {
  Segment(StoryRunIterator& i, StoryRunPosition& p) : iterator(i), position(p) {}
  StoryRunIterator& iterator;
  StoryRunPosition& position;
  Ref<IPara> paragraph;
  int32_t paragraphNumber = 0;
  int32_t storyId = 0;
  XTItem box = 0;
  int32_t uniqueId = -1;
  MasterBoxClass boxClass = kLayoutBoxNotLinked;
  uint32_t code = 0;
  int32_t end = 0;
  // Open hidden-text markers before the segment, nested.
  int32_t hiddenDepth = 0;
  std::unique_ptr<XAttribs> record;
};

void WriteRunAttributes(const XAttribs& record, IAttrs& run) { WriteAttributeSet(record, run, record.codePage); }

std::unique_ptr<Exporter> Exporter::Create(RefHandle<QuarkDoc> document, Ref<IDoc> writer,
                                           std::set<int32_t>* uniqueIds) {
  if (!document || !writer) return nullptr;
  return std::unique_ptr<Exporter>(new Exporter(std::move(document), std::move(writer), uniqueIds));
}

Exporter::Exporter(RefHandle<QuarkDoc> document, Ref<IDoc> writer, std::set<int32_t>* uniqueIds)
    : mDocument(std::move(document)), mWriter(std::move(writer)), mUniqueIds(uniqueIds) {
  const KeptSelection kept;
  mMapper.Analyze();
  // The user's document keeps nothing of the analysis's current box.
  kept.Restore();
}

void Exporter::RemoveWorkingBoxes() {
  if (auto* box = dynamic_cast<BrenixBoxExp*>(mMapper.PrivateBox())) box->RemoveBoxes();
}

std::vector<XTItem> Exporter::WorkingBoxes() const {
  if (const auto* box = dynamic_cast<const BrenixBoxExp*>(mMapper.PrivateBox())) return box->Boxes();
  return {};
}

std::vector<XTItem> Exporter::MakeWorkingBoxes() {
  const KeptSelection kept;
  Mapper mapper;
  mapper.InstallWorkingBoxes();
  kept.Restore();
  if (const auto* box = dynamic_cast<const BrenixBoxExp*>(mapper.PrivateBox())) return box->Boxes();
  return {};
}

void Exporter::DeleteWorkingBoxes(const std::vector<XTItem>& boxes) {
  if (boxes.empty()) return;
  Mapper mapper;
  for (const XTItem box : boxes) DeleteWorkingBox(mapper, box);
}

Exporter::~Exporter() noexcept(false) {
  mDocument.Reset();
  mWriter.reset();
}

int32_t Exporter::Run() {
  ForEachStory([this](int32_t index, XTItem box) { ProcessStory(index, box); });
  return 0;
}

void Exporter::ForEachStory(const std::function<void(int32_t index, XTItem box)>& story) {
  int32_t i = 0;
  XTItem box = mMapper.FindBox(i);
  const BrenixInterface* modes = BrenixInterface::Instance();
  while (box != 0) {
    // A story count of 0 (an analysis that failed after tagging) shows
    // nothing rather than dividing by it.
    const int32_t n = mMapper.StoryCount();
    if (!(modes != nullptr && modes->multiDocMode) && n > 0) {
      mMapper.ShowProgress(static_cast<uint32_t>(40u * static_cast<uint32_t>(i) / static_cast<uint32_t>(n) + 30u));
    }
    story(i, box);
    ++i;
    box = mMapper.FindBox(i);
  }
}

void Exporter::EndParagraph(const ParagraphEnd& end) {
  if (end.element != nullptr) {
    WriteParagraphPosition(*end.geometry, *end.element, end.first, end.sheet, mSheetNames, lastParagraph);
  }
}

void Exporter::ProcessStory(int32_t index, XTItem box) {
  const XTLayoutSuite* layout = XT().lgk2;
  // The element comes first whatever the host says: story numbers in the
  // container stay those of the Mapper.
  Ref<IStory> story = mWriter ? mWriter->NewStory(index) : nullptr;
  int32_t storyId = 0;
  if (layout == nullptr || layout->item_story(box, &storyId) != kXTOk || storyId <= 0) {
    ProgramLog() << "ERROR: no story for box " << box << " of story " << index << "\n" << std::flush;
    return;
  }
  StoryRunIterator iterator(storyId);

  static const char16_t* const kTypes[] = {nullptr, u"layout_prn", u"layout_web", u"layout_cur"};
  if (story && layoutKind >= kPrintLayout && layoutKind <= kCurrentLayout) {
    const std::u16string type = kTypes[layoutKind] + Wide(std::to_string(layoutIndex));
    story->AddAttr(u"story_type", type.c_str());
  }

  // Every box on a master spread, used or not and anchored ones too, is
  // placed on its master page: the page's ordinal among the user masters,
  // never the number of a layout page.
  const int32_t masterIndex = mMapper.MasterSpreadOf(index);
  MasterBoxClass boxClass = kLayoutBoxNotLinked;
  if (Settings::Instance().GetMasterPageMode() == 1) {
    boxClass = ClassifyBox(box, nullptr);
    if (story && boxClass == kMasterBoxUsed) story->AddAttr(u"story_sub_type", u"master_page");
    if (story && boxClass == kMasterBoxNotUsed) story->AddAttr(u"story_sub_type", u"master_page_no_use");
  } else {
    XTHandle made = 0;
    if (HostCall("box_record", layout->box_record(box, &made)) == kXTOk && made != 0) {
      QHandle block = QHandle::Adopt(made);
      XTBoxRecord record{};
      block.CopyOut(0, &record, sizeof record);
      if (story && record.master_page != 0) {
        story->AddAttr(u"story_sub_type", mMapper.ShowsMasterView() ? u"master_page_no_use" : u"master_page");
      }
    }
  }

  StoryGeometry geometry(box, masterIndex, &mMeasures);
  if (story) {
    const BrenixInterface* modes = BrenixInterface::Instance();
    if (modes != nullptr && modes->extendedMode) WriteLayerProperties(box, *story, false, false);
    WriteBoxPosition(geometry, *story);
  }

  StoryRunPosition position;
  StoryRunIterator::Begin(position, iterator);
  Segment segment(iterator, position);
  segment.storyId = storyId;
  segment.box = box;
  segment.boxClass = boxClass;
  const BrenixBox* privateBox = mMapper.PrivateBox();
  const bool documentFlag = !mDocument->PlatformFlag();
  for (int32_t p = 0; iterator.HasMore(position); ++p) {
    segment.paragraph = story ? story->NewParagraph(p, -1) : nullptr;
    segment.paragraphNumber = p;
    segment.uniqueId = -1;
    const uint32_t startParagraph = position.paragraphIndex;
    const int32_t first = position.boundary;
    // The walk fetched the paragraph's format record on entering it.
    const uint16_t sheet = position.format.style;
    bool any = false;
    while (iterator.HasMore(position) && position.paragraphIndex == startParagraph) {
      any = true;
      segment.end = iterator.NextBoundary(position);
      const int32_t value = privateBox != nullptr ? privateBox->ProbeOfStyle(iterator.CurrentStyle(position)) : -1;
      const HostTextRecord text = MakeHostTextRecord(position, mDocument->fonts(), value, documentFlag);
      segment.record = std::make_unique<XAttribs>(text);
      segment.code = iterator.CurrentOpcode(position);
      WriteSegment(segment);
    }
    if (any) EndParagraph(ParagraphEnd{&geometry, first, segment.uniqueId, sheet, segment.paragraph.get()});
    segment.paragraph = nullptr;
  }
}

void Exporter::WriteSegment(Segment& s) {
  // With SkipProcessHidden the words of hidden text (and page numbers in
  // it) are left out: the import keeps them where they are, between their
  // markers, which are written as always so that the text around them
  // goes back in its place.
  const bool text = s.code == kXTOpText || (s.code >= kXTOpPageLast && s.code <= kXTOpPageNext);
  if (SkipProcessHidden() && text && s.hiddenDepth > 0) {
    s.iterator.Advance(s.position);
    return;
  }
  if (StyleFlags::HiddenKind(s.code) == 1) ++s.hiddenDepth;
  if (StyleFlags::HiddenKind(s.code) == 0 && s.hiddenDepth > 0) --s.hiddenDepth;
  // Without an element only the unique ids are read (and anchored objects
  // checked); the iterator still goes through every segment.
  if (!s.paragraph && s.code != kXTOpAnchoredBox && s.code != kXTOpUniqueIdTag) {
    s.iterator.Advance(s.position);
    return;
  }
  switch (s.code) {
    case kXTOpText:
      if (s.boxClass == kAutotextBoxLinked) {
        LogMasterPageTrace(s.box, "Export => skipping autotext box", -1);
      } else {
        WriteTextRun(s.paragraph, s.position, *s.record);
      }
      break;
    case kXTOpAnchoredBox: {
      // The lookup reads the run's key, which may take in the text after
      // the box's own run: the walk goes on right after that run.
      const StoryRunPosition start = s.position;
      const int32_t at = s.position.boundary;
      int32_t id = -1;
      const bool found = mMapper.LookupHidden(s.iterator, s.position, &id);
      s.position = start;
      if (!found) {
        // An anchored item the analysis did not register has no id a place
        // holder could name: it is left out.
        ProgramLog() << "ERROR: anchored object without id: story=" << s.storyId << " para=" << s.paragraphNumber
                     << " pos=" << at << "\n"
                     << std::flush;
        break;
      }
      if (s.paragraph) BX_KXT::Export::PutPlaceHolder(s.paragraph->NewPlaceHoldersRun(-1), id, nullptr);
      break;
    }
    case kXTOpPageLast:
    case kXTOpPageCurrent:
    case kXTOpPageNext: {
      Ref<BX_KXT::Export::IRun<CF_SpecialChar>> run = s.paragraph->NewSpecialCharsRun(-1);
      for (int32_t i = s.position.boundary; i < s.end; ++i) {
        BX_KXT::Export::PutSpecialChar(run, u"page_number", PageNumberData(s.code));
      }
      WriteRunAttributes(*s.record, *run);
      break;
    }
    case kXTOpUniqueIdTag:
      WriteUniqueId(s);
      break;
    default:
      if (SkipProcessHidden()) {
        // Its content is not exported; the marker or object is, so that
        // the import leaves it in place.
        ProgramLog() << "*** Object(s) not been exported: para=" << s.paragraphNumber << "  opcode=" << s.code << "\n"
                     << std::flush;
      }
      {
        // As for an anchored box: the key may reach past the marker's run.
        const StoryRunPosition start = s.position;
        WriteHiddenObject(s);
        s.position = start;
      }
      break;
  }
  s.iterator.Advance(s.position);
}

void Exporter::WriteUniqueId(Segment& s) {
  // The tag is nine units: a marker and eight digits, read only within the
  // segment and the story.
  const int32_t first = s.position.boundary;
  const int32_t limit = std::min(s.end, s.iterator.runs.walkLength);
  if (first < 0 || limit - first < 9) return;
  char digits[9] = {};
  std::memcpy(digits, s.iterator.Text() + first + 1, 8);
  int id = -1;
  if (std::sscanf(digits, "%8d", &id) != 1) return;
  if (id > highestUniqueId) highestUniqueId = id;
  if (id == -1 || !AcceptsUniqueIds()) return;
  s.uniqueId = id;
  if (mUniqueIds == nullptr || !mUniqueIds->insert(id).second || !s.paragraph) return;
  s.paragraph->AddAttr(u"uniqID", Wide(std::to_string(id)).c_str());
}

int32_t Exporter::WriteHiddenObject(Segment& s) {
  const HiddenRun run = mMapper.CollectHidden(s.iterator, s.position);
  if (run.id == -1) return -1;
  const uint32_t f = StyleFlags::ToggleHidden(run.info.flags);
  if ((f & 0xE0) == 0) {
    Ref<BX_KXT::Export::IRun<CF_PlaceHolder>> holder = s.paragraph->NewPlaceHoldersRun(-1);
    BX_KXT::Export::PutPlaceHolder(holder, run.id, nullptr);
    WriteRunAttributes(*s.record, *holder);
    return run.id;
  }
  if ((f & 0x60) == 0x20) return run.id;
  const char16_t* kind = u"point";
  if ((f & 0x60) == 0x40) {
    // Each marker by its own run: the opening one starts the pair.
    kind = (s.code & 0x60) == StyleFlags::kHiddenOpen ? u"start" : u"end";
  }
  BX_KXT::Export::PutRefPoint(s.paragraph->NewRefPointsRun(-1), run.id, kind);
  return run.id;
}
