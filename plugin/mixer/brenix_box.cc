#include "plugin/mixer/brenix_box.h"

#include <cstring>
#include <exception>
#include <ostream>
#include <stdexcept>

#include "plugin/mixer/box_tags.h"
#include "plugin/mixer/mapper.h"
#include "plugin/mixer/mixer_boxes.h"
#include "plugin/mixer/story_units.h"
#include "plugin/mixer/text_copy.h"
#include "plugin/qapi/box_call.h"
#include "plugin/qapi/qapi_trace.h"
#include "plugin/qapi/quark_doc.h"
#include "plugin/qapi/story_runs.h"
#include "plugin/xtension/breakpoint.h"
#include "support/brenix_interface.h"
#include "support/host_calls.h"
#include "support/host_link.h"
#include "support/host_result.h"
#include "support/program_log.h"
#include "support/settings.h"

namespace {

const char kSource[] = "BrenixBox";

int32_t StoryOfBox(XTItem box) {
  int32_t story = 0;
  if (box == 0 || XT().lgk2 == nullptr || HostCall("item_story", XT().lgk2->item_story(box, &story)) != kXTOk) return 0;
  return story;
}

int32_t StoryLength(int32_t story) {
  StoryRuns runs(story);
  return runs.textLength;
}

// Moves a new walk of its story to the run that holds unit `at` (to the
// end when none does).
void WalkTo(StoryRunIterator& iterator, StoryRunPosition& position, int32_t at) {
  StoryRunIterator::Begin(position, iterator);
  while (iterator.HasMore(position) && iterator.NextBoundary(position) <= at)
    iterator.Advance(position);
}

// The character record of unit `at` of `story`; zero when there is none.
XTCharAttrRecord RecordAt(int32_t story, int32_t at) {
  StoryRunIterator iterator(story);
  StoryRunPosition position;
  WalkTo(iterator, position, at);
  XTCharAttrRecord record{};
  if (iterator.HasMore(position)) iterator.runs.GetText(position, &record, nullptr);
  return record;
}

// Whether two records agree in the 28 words the host applies to a range.
bool SameFormat(const XTCharAttrRecord& a, const XTCharAttrRecord& b) {
  return std::memcmp(&a, &b, 28 * 4) == 0;
}

bool ContentToolOn() {
  int32_t mode = 0;
  return XT().lgh2 != nullptr && XT().lgh2->tool_mode(&mode) == kXTOk && mode == 1;
}

// Replaces the `count` units at `at` of `story` by one blank with the
// format of the first of them, as plain text: the blank typed behind that
// unit takes its format (an object's opcode not), then the units go.
void MakePlainUnit(int32_t story, int32_t at, int32_t count) {
  const XTStoryTextSuite* text = XT().lgf2;
  StoryRuns runs(story);
  const char16_t blank = u' ';
  const bool done = text != nullptr &&
                    HostCall("insert_text", text->insert_text(runs.textRef, at + 1, &blank, 1)) == kXTOk &&
                    HostCall("delete_text", text->delete_text(runs.textRef, at, at + 1)) == kXTOk &&
                    (count < 2 || HostCall("delete_text", text->delete_text(runs.textRef, at + 1, at + count)) == kXTOk);
  NoteTextChange();
  if (!done) throw std::runtime_error("a probe could not be made plain text");
}

// Gives the paragraphs of `box`'s story the paragraph style sheet
// "Normal" when the document has one; a host step that fails is traced.
void ApplyNormalStyle(XTItem box, int32_t story) {
  XTString name = 0;
  if (NewHostString("Normal", &name) != kXTOk) return;
  uint32_t id = 0;
  const bool found = FindStyleSheetByName(name, nullptr, &id);
  if (XT().qsb1 != nullptr) XT().qsb1->dispose_string(name);
  if (!found) return;
  StoryRuns runs(story);
  const HostLink& link = XT();
  if (link.lgh2 == nullptr || link.lgf2 == nullptr ||
      link.lgh2->select_text(box, 0, runs.textLength) != kXTOk ||
      link.lgf2->apply_style_sheet(runs.textRef, static_cast<uint16_t>(id), 1) != kXTOk)
    QuarkInternalError(kSource, 330);
}

}  // namespace

std::vector<XTItem>& ScratchBoxes() {
  static std::vector<XTItem> boxes;
  return boxes;
}

// --- BrenixBox::Probe ---

BrenixBox::Probe::Probe(XTItem sampleBox, int32_t sampleStory, int32_t sampleStart,
                        int32_t sampleLength)
    : box(sampleBox), story(sampleStory), start(sampleStart), length(sampleLength) {}

BrenixBox::Probe::Probe(StoryRunIterator& iterator, StoryRunPosition& position, XTItem sampleBox)
    : box(sampleBox), story(iterator.runs.storyId), start(position.boundary) {
  const int32_t end = iterator.NextBoundary(position);
  length = end - start;
  iterator.runs.GetText(position, &format, nullptr);
  opcode = format.opcode;
  style = iterator.CurrentStyle(position);
  if (opcode != kXTOpText) return;
  const XTItemDataSuite* data = XT().lgl2;
  const std::u16string units = ReadStoryUnits(iterator.runs, start, end);
  for (size_t i = 0; i < units.size(); ++i) {
    if (units[i] != u' ') continue;
    const int32_t at = start + static_cast<int32_t>(i);
    int32_t next = at + 1;
    if (data != nullptr && data->next_boundary(story, at, 1, 0, &next) != kXTOk) next = at + 1;
    start = at;
    length = std::min(next, end) - at;
    if (length >= 3) QuarkInternalError(kSource, 160);
    found = true;
    return;
  }
}

int32_t BrenixBox::Probe::CopyTo(int32_t toStory, int32_t position) const {
  try {
    const int16_t document = GetCurrentDocumentId();
    if (position < 0) position = StoryLength(toStory);
    const uint32_t end = static_cast<uint32_t>(start + length);
    if (Settings::Instance().IsUseObsoleteCopyText()) {
      if (QapiTextCall47(document, story, start, end, document, toStory, position) != 0) return 0;
    } else {
      StoryRuns from(story);
      StoryRuns to(toStory);
      from.Refresh();
      to.Refresh();
      if (QapiStoryCall35(story, start, end, toStory, position) != 1) return 0;
    }
    return length;
  } catch (...) {
    return 0;
  }
}

uint16_t BrenixBox::Probe::Style() const {
  StoryRunIterator iterator(story);
  StoryRunPosition position;
  WalkTo(iterator, position, start);
  if (!iterator.HasMore(position) || iterator.NextBoundary(position) < start + length)
    QuarkInternalError(kSource, 210);
  return iterator.CurrentStyle(position);
}

// --- BrenixBox ---

BrenixBox::~BrenixBox() = default;
int32_t BrenixBox::ProbeOfStyle(uint16_t) const { return -1; }
int32_t BrenixBox::CopyProbe(int32_t, int32_t, int32_t) { return -1; }

std::unique_ptr<BrenixBox> BrenixBox::Install(Mapper& mapper) {
  try {
    return std::make_unique<BrenixBoxExp>(mapper);
  } catch (const std::exception& failure) {
    ProgramLog() << "ERROR: BrenixBox::Install: " << failure.what() << '\n' << std::flush;
  } catch (...) {
    ProgramLog() << "ERROR: BrenixBox::Install: unknown failure\n" << std::flush;
  }
  return nullptr;
}

std::unique_ptr<BrenixBox> BrenixBox::MakeImport(Mapper& mapper) {
  return std::make_unique<BrenixBoxImp>(mapper);
}

// --- BrenixBoxImp ---

BrenixBoxImp::BrenixBoxImp(Mapper& mapper) : mMapper(mapper) { Read(); }

void BrenixBoxImp::Read() {
  mProbes.clear();
  mBox = mMapper.FindBox(-2);
  mUnit = 2;
  if (mBox == 0) {
    mBox = mMapper.FindBox(-1);
    mUnit = 1;
  }
  if (mBox == 0) {
    mUnit = 0;
    return;
  }
  const int32_t story = StoryOfBox(mBox);
  const int32_t length = StoryLength(story);
  const int32_t unit = static_cast<int32_t>(mUnit);
  for (int32_t i = 0; (i + 1) * unit <= length; ++i) mProbes.emplace_back(mBox, story, i * unit, unit);
}

void BrenixBoxImp::MakePalette() {
  // The export side's object goes at once; the boxes it made stay.
  if (mBox == 0 && Install(mMapper) != nullptr) Read();
}

int32_t BrenixBoxImp::CopyProbe(int32_t index, int32_t story, int32_t position) {
  if (index < 0 || static_cast<size_t>(index) >= mProbes.size()) return 0;
  return mProbes[static_cast<size_t>(index)].CopyTo(story, position);
}

// --- BrenixBoxExp ---

BrenixBoxExp::BrenixBoxExp(Mapper& mapper) : mMapper(mapper) {
  mUnit = 1;
  // New boxes go on the first page of the layout.
  mMapper.MasterPatch();
  mFirstBox = CreateScratchTextBox();
  if (mFirstBox != 0) ScratchBoxes().push_back(mFirstBox);
  mSecondBox = CreateScratchTextBox();
  if (mSecondBox != 0) ScratchBoxes().push_back(mSecondBox);
  // A box made alone, or boxes left half filled, would stay in the
  // document (and an import would take them for a palette).
  if (mFirstBox == 0 || mSecondBox == 0) {
    RemoveBoxes();
    throw std::runtime_error("no scratch text box was made");
  }
  try {
    mMapper.Link(mFirstBox, -1);
    mMapper.Link(mSecondBox, -2);
    mMapper.SetCurrentBoxes();
    CollectProbes();
    FillFirstBox();
    FillSecondBox();
  } catch (...) {
    RemoveBoxes();
    throw;
  }
  mBox = mSecondBox;
  for (size_t n = 0; n < mProbes.size(); ++n)
    mStyleProbes.emplace(mProbes[n].style, static_cast<int32_t>(n));
}

void DeleteWorkingBox(Mapper& mapper, XTItem box) {
  // A box that stays would be saved with the user's document: the failed
  // call is counted, so the command fails.
  if (XT().lgk2 == nullptr || HostCall("delete_item", XT().lgk2->delete_item(box)) != kXTOk) {
    ProgramLog() << "ERROR: BrenixBox: working box " << std::hex << box << std::dec
                 << " could not be deleted\n"
                 << std::flush;
    mapper.Unlink(box);
  }
}

std::vector<XTItem> BrenixBoxExp::Boxes() const {
  std::vector<XTItem> boxes;
  for (const XTItem box : {mFirstBox, mSecondBox}) {
    if (box != 0) boxes.push_back(box);
  }
  return boxes;
}

void BrenixBoxExp::RemoveBoxes() {
  for (XTItem* box : {&mFirstBox, &mSecondBox}) {
    if (*box != 0) DeleteWorkingBox(mMapper, *box);
    *box = 0;
  }
  mBox = 0;
}

int32_t BrenixBoxExp::ProbeOfStyle(uint16_t style) const {
  const auto found = mStyleProbes.find(style);
  return found == mStyleProbes.end() ? -1 : found->second;
}

void BrenixBoxExp::CollectProbes() {
  std::map<uint16_t, size_t> byStyle;
  for (int32_t i = 0;; ++i) {
    const XTItem box = mMapper.FindBox(i);
    if (box == 0) break;
    const int32_t story = StoryOfBox(box);
    if (story <= 0) continue;
    StoryRunIterator iterator(story);
    StoryRunPosition position;
    StoryRunIterator::Begin(position, iterator);
    for (; iterator.HasMore(position); iterator.Advance(position)) {
      if (iterator.NextBoundary(position) <= position.boundary) continue;
      const uint32_t opcode = iterator.CurrentOpcode(position);
      if (opcode != kXTOpText && (opcode < kXTOpPageLast || opcode > kXTOpPageNext)) continue;
      Probe probe(iterator, position, box);
      const auto known = byStyle.find(probe.style);
      if (known == byStyle.end()) {
        byStyle.emplace(probe.style, mProbes.size());
        mProbes.push_back(probe);
        continue;
      }
      Probe& recorded = mProbes[known->second];
      if (!recorded.found && (probe.found || probe.length < recorded.length)) recorded = probe;
    }
  }
}

// Box -1: one plain unit of each probe, in probe order.  A copy the host
// widened (a whole character where one unit was asked for) is checked
// against the probe's format; it and the copy of a page-number object
// become one blank of that format.
void BrenixBoxExp::FillFirstBox() {
  const int32_t story = StoryOfBox(mFirstBox);
  if (StoryLength(story) != 0) QuarkInternalError(kSource, 300);
  int32_t total = 0;
  for (Probe& probe : mProbes) {
    const Probe unit(probe.box, probe.story, probe.start, 1);
    const int32_t copied = unit.CopyTo(story, total);
    const int32_t grown = StoryLength(story) - total;
    if (copied != 1 || grown < 1) throw std::runtime_error("a probe could not be copied");
    if (grown != copied) {
      for (int32_t at = total; at < total + grown; ++at) {
        if (SameFormat(RecordAt(story, at), probe.format)) continue;
        BreakPoint_BX("GroupPatch_Jap1 FAILED");
        break;
      }
    }
    if (grown != 1 || probe.opcode != kXTOpText) MakePlainUnit(story, total, grown);
    ++total;
    probe.box = mFirstBox;
    probe.story = story;
    probe.start = total - 1;
    probe.length = 1;
    if (StoryLength(story) != total || !ContentToolOn() || QapiBoxUpdateWord() != 0) BreakPoint_BX();
  }
}

// Box -2: the "Normal" style sheet first, then each unit of box -1 twice,
// in probe order, each copy with its probe's format.
void BrenixBoxExp::FillSecondBox() {
  const int32_t story = StoryOfBox(mSecondBox);
  ApplyNormalStyle(mSecondBox, story);
  const bool progress = !BrenixInterface::Instance()->multiDocMode;
  const size_t count = mProbes.size();
  int32_t total = 0;
  for (size_t n = 0; n < count; ++n) {
    for (int copy = 0; copy < 2; ++copy, ++total) {
      if (mProbes[n].CopyTo(story, total) != 1)
        throw std::runtime_error("a probe could not be copied twice");
    }
    if (progress) mMapper.ShowProgress(static_cast<uint32_t>(10 * n / count + 20));
  }
  if (StoryLength(story) != 2 * static_cast<int32_t>(count)) QuarkInternalError(kSource, 340);
}
