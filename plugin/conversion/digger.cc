#include "plugin/conversion/digger.h"

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <string>

#include "kxt/attrs_set.h"
#include "plugin/conversion/x_attribs.h"
#include "plugin/mixer/brenix_box.h"
#include "plugin/mixer/mapper.h"
#include "plugin/mixer/story_units.h"
#include "plugin/mixer/text_copy.h"
#include "plugin/qapi/box_call.h"
#include "plugin/qapi/host_text.h"
#include "plugin/qapi/qapi_trace.h"
#include "plugin/qapi/quark_doc.h"
#include "support/error_record.h"
#include "support/host_link.h"
#include "support/program_log.h"
#include "support/settings.h"

namespace {

const char kSource[] = "Digger2";

// The plug-in's own mark on an object while it is copied.
constexpr int32_t kCopyMark = 0x414B42;

// Paragraph attribute codes applied after a paragraph's style sheet, in
// this order.
constexpr int32_t kParagraphCodes[] = {
    0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F,
    0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x23, 0x3A,
    0x22, 0x3C, 0x2A, 0x3B, 0x29, 0x3D, 0x20, 0x21, 0x24, 0x25, 0x26, 0x27, 0x28, 0x2B,
    0x2C, 0x2D};

// The paragraph style of the first run of the current paragraph, and the
// probes copied so far (process-wide).
uint16_t gParagraphStyle = 0xFFFF;
uint32_t gProbeCount = 0;

// The shared gathering buffer.
char16_t gBuffer[Digger::kBufferUnits];

int32_t StoryOfBox(XTItem box) {
  int32_t story = 0;
  if (box == 0 || XT().lgk2 == nullptr || XT().lgk2->item_story(box, &story) != kXTOk) return 0;
  return story;
}

// The error report of a badly sized or empty record: records nothing.
void ReportBadRecord(const char* what) {
  QapiError(ErrorRecord{1004, MsgString::Create(what)});
}

// A run's attribute set as the appliers read it.
class RunAttrs : public AttrLookup {
 public:
  explicit RunAttrs(BX_KXT::Import::IRun& run) : mRun(run) {}
  const char16_t* Lookup(const char16_t* name) override { return mRun.GetAttr(name); }

 private:
  BX_KXT::Import::IRun& mRun;
};

// The "%8d" text of an id.
std::u16string FormatId(int32_t id) {
  char text[16];
  std::snprintf(text, sizeof text, "%8d", id);
  return std::u16string(text, text + std::char_traits<char>::length(text));
}

}  // namespace

void Digger::PositionRecord::Place(int32_t shift, int32_t host, bool lowerCount) {
  if ((placed == -1 || placed == -2) && start + shift <= host) placed = shift;
  if (lowerCount) --count;
}

Digger::Digger(XTItem box, Mapper& mapper, XAttribs& applier, const std::deque<Segment>& segments,
               bool testParagraphStyle)
    : mBox(box),
      mMapper(mapper),
      mApplier(applier),
      mQueue(StoryOfBox(box), true),
      mStory(mQueue.storyId),
      mStoryId(mQueue.storyId),
      mStoryEnd(mStory.textLength),
      mSegments(segments),
      mTestParagraphStyle(testParagraphStyle) {
  for (const Segment& segment : mSegments) {
    if (segment.kind < 0) continue;
    const Key key{segment.kind, segment.value};
    const auto found = mAnchors.find(key);
    if (found != mAnchors.end()) {
      ++found->second.count;
    } else {
      mAnchors.emplace(key, PositionRecord{segment.kind, segment.value, segment.a, segment.b});
    }
  }
}

bool Digger::Finish() {
  if (mFinished) return true;
  mFinished = true;
  while (mCursor < mSegments.size()) Next();
  mAnchors.clear();
  return mQueue.Apply();
}

Digger::~Digger() {
  try {
    Finish();
  } catch (...) {
    ProgramLog() << "ERROR: Digger: the untranslated text of story " << mStoryId
                 << " could not be removed" << std::endl;
  }
}

int32_t Digger::CursorStart() const {
  return mCursor < mSegments.size() ? mSegments[mCursor].a : mStoryEnd;
}

int32_t Digger::SegmentEnd(size_t index) const {
  return index + 1 < mSegments.size() ? mSegments[index + 1].a : mStoryEnd;
}

void Digger::QueueSegment(size_t index) {
  if (mSegments[index].kind == kKeptSegment) return;
  mQueue.AddRange(mShift + mSegments[index].a, mShift + SegmentEnd(index));
  if (mSegments[index].kind == kTextSegment) mPlainUnit = mShift + mSegments[index].a;
}

void Digger::StoryChanged() {
  NoteTextChange();
  if (QapiBoxCall4(0) == 0) NoteTextChange();
}

bool Digger::Check(const char* call, int32_t result) {
  if (HostCall(call, result) == kXTOk) return true;
  mFailed = true;
  return false;
}

bool Digger::Select(int32_t start, int32_t end) {
  const XTSelectionSuite* selection = XT().lgh2;
  return Check("select_text", selection ? selection->select_text(mBox, start, end) : kXTErrNoSuite);
}

bool Digger::ReadAttributes(XTCharAttrRecord* record) {
  const XTTextAttributeSuite* attributes = XT().lgg2;
  return Check("selection_attributes",
               attributes ? attributes->selection_attributes(record) : kXTErrNoSuite);
}

bool Digger::SetAttribute(int32_t attribute, int32_t value) {
  mStory.RefreshIfStale();
  const XTStoryTextSuite* text = XT().lgf2;
  return Check("set_text_attribute",
               text ? text->set_text_attribute(mStory.textRef, attribute, value, 0) : kXTErrNoSuite);
}

bool Digger::InsertUnits(const char16_t* units, int32_t count) {
  mStory.RefreshIfStale();
  const XTStoryTextSuite* text = XT().lgf2;
  const int32_t before = mStory.textLength;
  return Inserted("insert_text",
                  text ? text->insert_text(mStory.textRef, InsertionPosition(), units, count) : kXTErrNoSuite,
                  before);
}

bool Digger::InsertObject(uint32_t code, const std::u16string& payload) {
  mStory.RefreshIfStale();
  const XTStoryTextSuite* text = XT().lgf2;
  const int32_t before = mStory.textLength;
  return Inserted("insert_text_object",
                  text ? text->insert_text_object(mStory.textRef, InsertionPosition(), code, payload.data(),
                                                  static_cast<int32_t>(payload.size()))
                       : kXTErrNoSuite,
                  before);
}

bool Digger::Inserted(const char* call, int32_t result, int32_t before) {
  if (!Check(call, result)) return false;
  StoryChanged();
  mStory.RefreshIfStale();
  // The story grew by what the host inserted: later positions move by that.
  mShift += mStory.textLength - before;
  return true;
}

bool Digger::InsertCarrierSpace() {
  const int32_t at = InsertionPosition();
  if (!InsertUnits(u" ", 1)) return false;
  mQueue.AddRange(at, at + 1);
  return true;
}

int32_t Digger::InsertCarrier(XTCharAttrRecord* attributes) {
  const int32_t at = InsertionPosition();
  if (!InsertCarrierSpace()) return -1;
  if (attributes->opcode == kXTOpText) return at;
  // The host may make the space part of the object it follows, and the
  // run's text typed behind it too: a plain unit of the story copied
  // behind the space carries instead (both are queued).
  XTCharAttrRecord space{};
  if (!Select(at, at + 1) || !ReadAttributes(&space) || space.opcode == kXTOpText) return at;
  const int32_t plain = PlainUnit();
  if (plain < 0 || !CopyUnits(plain, plain + 1, at + 1)) {
    ProgramLog() << "*** Story " << mStoryId << ": no plain character to carry the text behind the object at "
                 << at << std::endl;
    return at;
  }
  mQueue.AddRange(at + 1, at + 2);
  mShift += 1;
  // The typeface step compares with the carrier's own attributes.
  if (Select(at + 1, at + 2)) ReadAttributes(attributes);
  return at + 1;
}

void Digger::Next() {
  if (mCursor >= mSegments.size()) return;
  for (; mCursor < mSegments.size(); ++mCursor) {
    const Segment& segment = mSegments[mCursor];
    if (segment.kind == kParagraphEnd) {
      ++mCursor;
      return;
    }
    if (segment.kind >= 0) {
      const auto found = mAnchors.find(Key{segment.kind, segment.value});
      if (found != mAnchors.end()) found->second.Place(mShift, InsertionPosition(), false);
    }
    QueueSegment(mCursor);
  }
}

bool Digger::Locate(const Segment& record, bool maySkip) {
  const Key key{record.kind, record.value};
  for (;;) {
    const auto found = mAnchors.find(key);
    if (found == mAnchors.end()) return false;
    if (mCursor < mSegments.size()) {
      const Segment& current = mSegments[mCursor];
      if (current.kind >= 0 && Key{current.kind, current.value} == key) {
        found->second.Place(mShift, InsertionPosition(), true);
        ++mCursor;
        return true;
      }
    }
    if (maySkip) {
      const int32_t before = InsertionPosition();
      while (mCursor < mSegments.size() &&
             (mSegments[mCursor].kind == kTextSegment || mSegments[mCursor].kind == kKeptSegment)) {
        QueueSegment(mCursor);
        ++mCursor;
      }
      if (InsertionPosition() < before) QuarkInternalError(kSource, 722);
      maySkip = false;
      continue;
    }
    if (mCursor >= mSegments.size() || mSegments[mCursor].kind < 0) break;
    const Segment& other = mSegments[mCursor];
    const auto otherRecord = mAnchors.find(Key{other.kind, other.value});
    if (otherRecord == mAnchors.end()) {
      QuarkInternalError(kSource, 456);
      break;
    }
    if (otherRecord->second.count > 0) break;
    // An object no plan record asks for any more: it goes with the old text.
    otherRecord->second.Place(mShift, InsertionPosition(), false);
    QueueSegment(mCursor);
    ++mCursor;
    maySkip = true;
  }

  PositionRecord& sought = mAnchors.find(key)->second;
  if (!InsertCarrierSpace()) return false;
  sought.Place(mShift, InsertionPosition(), true);
  MoveObject(sought);
  return true;
}

void Digger::MoveObject(PositionRecord& record) {
  const int32_t target = InsertionPosition();
  const int32_t from = record.Position(mShift);
  const int32_t length = record.end - record.start;
  if (from == target || length <= 0) return;
  XTCharAttrRecord attributes{};
  if (!Select(from, from + 1) || !ReadAttributes(&attributes)) return;
  const int32_t remembered = attributes.mark;
  if (!SetAttribute(kXTAttrPrivate, kCopyMark)) return;
  // The object's first unit, then the rest of it; the shift follows each
  // copy that arrived.  An object after the target moves on by what is
  // copied before it.
  const int32_t moved = from > target ? 1 : 0;
  int32_t copied = 0;
  if (CopyUnits(from, from + 1, target)) {
    mShift += 1;
    copied = 1;
    if (length > 1 && CopyUnits(from + moved + 1, from + moved + length, target + 1)) {
      mShift += length - 1;
      copied = length;
    }
  }
  // Neither the copy nor the original keeps the mark, whatever arrived: an
  // original placed before (a record the plan names twice) stays in the
  // story.
  if (copied > 0 && Select(target, target + copied)) SetAttribute(kXTAttrPrivate, remembered);
  const int32_t original = from > target ? from + copied : from;
  if (Select(original, original + 1)) SetAttribute(kXTAttrPrivate, remembered);
}

bool Digger::CopyUnits(int32_t start, int32_t end, int32_t to) {
  mStory.RefreshIfStale();
  bool copied = false;
  if (Settings::Instance().IsUseObsoleteCopyText()) {
    const int16_t document = GetCurrentDocumentId();
    copied = Check("copy_text", QapiTextCall47(document, mStoryId, start, end, document, mStoryId, to));
  } else {
    copied = Check("copy_story_text",
                   QapiStoryCall35(mStoryId, start, end, mStoryId, to) == 1 ? kXTOk : kXTErrRefused);
  }
  if (copied) StoryChanged();
  return copied;
}

int32_t Digger::PlainUnit() {
  // The first unit of the next untranslated text, else of the last one
  // passed (queued text stays where it is until the end).
  int32_t candidates[2] = {-1, mPlainUnit};
  for (size_t i = mCursor; i < mSegments.size(); ++i) {
    if (mSegments[i].kind != kTextSegment) continue;
    candidates[0] = mShift + mSegments[i].a;
    break;
  }
  for (const int32_t at : candidates) {
    XTCharAttrRecord record{};
    mStory.RefreshIfStale();
    if (at >= 0 && ReadStoryUnits(mStory, at, at + 1) != u"\r" && Select(at, at + 1) &&
        ReadAttributes(&record) && record.opcode == kXTOpText) {
      return at;
    }
  }
  return -1;
}

void Digger::InsertHidden(int32_t id) {
  const std::u16string text = FormatId(id);
  if (text.size() > 8) {
    ProgramLog() << "*** Unique id " << id << " is wider than eight characters: not inserted"
                 << std::endl;
    return;
  }
  if (!Select(InsertionPosition(), InsertionPosition())) return;
  if (!InsertObject(kXTOpUniqueIdTag, text)) return;
  // Read the object back: it must stand where it went in.
  const int32_t at = InsertionPosition() - static_cast<int32_t>(text.size()) - 1;
  uint32_t code = 0;
  char16_t payload[16] = {};
  int32_t length = 0;
  mStory.RefreshIfStale();
  const XTStoryTextSuite* story = XT().lgf2;
  Check("text_object", story ? story->text_object(mStory.textRef, at, &code, payload, 16, &length)
                             : kXTErrNoSuite);
  Select(InsertionPosition(), InsertionPosition());
}

void Digger::Flush(const char16_t* units, int32_t count, bool flagged) {
  if (count <= 0) return;
  const int32_t at = InsertionPosition();
  XTCharAttrRecord before{};
  if (!Select(at, at) || !ReadAttributes(&before)) return;
  if (!InsertUnits(units, count)) return;
  const int32_t end = InsertionPosition();
  // Text typed behind a marked character would carry the mark on.
  if (before.mark != 0 && Select(at, end)) SetAttribute(kXTAttrPrivate, 0);
  // The flag where the units ask for it, and only there: text typed behind
  // a non-breaking carrier would take it on.
  const bool nonBreaking = (before.flags & kXTCharNonBreaking) != 0;
  if (flagged != nonBreaking && Select(at, end)) {
    SetAttribute(kXTAttrFaces, flagged ? before.faces | kXTFacesNonBreaking : before.faces);
  }
}

void Digger::ApplyParagraphStyle(uint16_t style, const XTParaFormatRecord& format) {
  const int32_t at = InsertionPosition();
  if (!Select(at, at)) return;
  mStory.RefreshIfStale();
  const XTStoryTextSuite* text = XT().lgf2;
  if (text == nullptr) return;
  Check("apply_style_sheet", text->apply_style_sheet(mStory.textRef, style, 1));
  XTParaFormatRecord copy = format;
  for (const int32_t code : kParagraphCodes) {
    uint16_t* narrow = nullptr;
    int32_t* wide = nullptr;
    if (!XTParaAttributeField(copy, code, &narrow, &wide)) continue;
    const int32_t value = narrow != nullptr ? *narrow : *wide;
    Check("set_paragraph_attribute", text->set_paragraph_attribute(mStory.textRef, code, value));
  }
  // The paragraph's own tab set, none included: the style sheet brought its
  // own, which a paragraph without tab stops does not have.
  if (format.tab_count <= kXTMaxTabs) {
    Check("set_paragraph_tabs", text->set_paragraph_tabs(mStory.textRef, format.tabs, format.tab_count));
  }
}

void Digger::PrepareUnit(BX_KXT::Import::IRun& run, bool& paragraphFlag) {
  int32_t probe = -1;
  if (run.GetNumericAttr(u"private", probe) && probe >= 0) {
    XTParaFormatRecord format{};
    bool haveFormat = false;
    if (mTestParagraphStyle) {
      // The format of the host paragraph that holds the insertion position,
      // asked for that position alone (the story's whole paragraph table for
      // every unit made a long story's import quadratic).
      mStory.RefreshIfStale();
      const XTStoryTextSuite* text = XT().lgf2;
      int32_t formatIndex = 0;
      const int32_t found = text != nullptr
                                ? HostCall("paragraph_format_at",
                                           text->paragraph_format_at(mStory.textRef, InsertionPosition(),
                                                                     &formatIndex),
                                           kXTErrNoItem)
                                : kXTErrNoSuite;
      if (found != kXTOk && found != kXTErrNoItem) mFailed = true;
      const XTTextAttributeSuite* attributes = XT().lgg2;
      XTAttrContext context = 0;
      uint16_t word = 0;
      if (found == kXTOk && attributes != nullptr &&
          Check("attribute_context", attributes->attribute_context(mStory.textRef, &context)) &&
          Check("paragraph_format", attributes->paragraph_format(context, formatIndex, &format, &word))) {
        haveFormat = true;
        if (!paragraphFlag) {
          gParagraphStyle = word;
          paragraphFlag = true;
        }
      }
    }
    ++gProbeCount;
    BrenixBox* box = mMapper.PrivateBox();
    const int32_t at = InsertionPosition();
    const int32_t copied = box != nullptr ? box->CopyProbe(probe, mStoryId, at) : 0;
    const auto* samples = dynamic_cast<const BrenixBoxImp*>(box);
    if (copied <= 0 && samples != nullptr && static_cast<size_t>(probe) < samples->ProbeCount()) {
      // A sample that exists but did not arrive: the host refused the copy.
      Check(Settings::Instance().IsUseObsoleteCopyText() ? "copy_text" : "copy_story_text",
            kXTErrRefused);
    }
    if (copied > 0) {
      mQueue.AddRange(at, at + copied);
      mShift += copied;
      StoryChanged();
    }
    if (mTestParagraphStyle && haveFormat && gParagraphStyle != 0xFFFF) {
      ApplyParagraphStyle(gParagraphStyle, format);
    }
  }

  // The carrier: a space behind the probe that takes the run's typeface and
  // attributes, which the run's text then takes from it.  It goes in first,
  // whatever the typeface step then returns: the host sets a text attribute
  // only on the characters selected (at a bare insertion point it changes
  // nothing), so the typeface is set on the selected carrier, compared with
  // the carrier's attributes.  When the typeface step fails the
  // carrier stays queued, takes no further attributes, and the failure is
  // counted; the run's text still goes in behind it.
  const int32_t at = InsertionPosition();
  XTCharAttrRecord record{};
  if (!Select(at, at) || !ReadAttributes(&record)) return;
  const int32_t carrier = InsertCarrier(&record);
  if (carrier < 0 || !Select(carrier, carrier + 1)) return;
  RunAttrs set(run);
  if (!Check("set_text_attribute", ApplyTypeface(mApplier, set, record)) || !ReadAttributes(&record)) return;
  ApplyAttributes(mApplier, set, record);
  if (QapiBoxCall4(0) == 0) NoteTextChange();
}

void Digger::PutUnit(BX_KXT::Import::IRun& run, bool& paragraphFlag, bool /*lastOfParagraph*/) {
  PrepareUnit(run, paragraphFlag);
  switch (run.Kind()) {
    case BX_KXT::Import::kRunUnicodes:
      PutUnicodes(run, true);
      break;
    case BX_KXT::Import::kRunMultibytes:
      PutMultibytes(run);
      break;
    case BX_KXT::Import::kRunWideMultibytes:
      PutUnicodes(run, false);
      break;
    case BX_KXT::Import::kRunSpecialChars:
      PutSpecialChars(run);
      break;
    default:
      break;
  }
}

void Digger::PutUnicodes(BX_KXT::Import::IRun& run, bool checkMap) {
  // Units gather while they agree on the non-breaking flag; each gathering
  // goes in with its own flag.
  int32_t count = 0;
  bool gatheredFlagged = false;
  uint16_t unit = 0;
  while (run.Read(&unit)) {
    if (unit == 0) {
      ReportBadRecord("empty unit");
      continue;
    }
    char16_t value = static_cast<char16_t>(unit);
    bool flagged = false;
    if (checkMap) {
      if (const CharMapEntry* entry = CharMap::Find(value)) {
        if (CharMap::IsReserved(value, 1)) value = static_cast<char16_t>(entry->code);
        flagged = (entry->flags & 1) != 0;
      }
    }
    if (count == kBufferUnits || (count > 0 && flagged != gatheredFlagged)) {
      Flush(gBuffer, count, gatheredFlagged);
      count = 0;
    }
    gBuffer[count++] = value;
    gatheredFlagged = flagged;
  }
  Flush(gBuffer, count, gatheredFlagged);
}

void Digger::PutMultibytes(BX_KXT::Import::IRun& run) {
  std::u16string units;
  if (!BX_KXT::Import::ReadMultibytesText(run, units)) {
    ProgramLog() << "*** Multibyte run of story " << mStoryId << " in an unknown code page ("
                 << BX_KXT::Import::RunCodePage(run) << "): not imported" << std::endl;
    return;
  }
  units.erase(std::remove(units.begin(), units.end(), u'\0'), units.end());
  for (size_t done = 0; done < units.size(); done += kBufferUnits) {
    const size_t n = std::min<size_t>(kBufferUnits, units.size() - done);
    Flush(units.data() + done, static_cast<int32_t>(n), false);
  }
}

void Digger::PutSpecialChars(BX_KXT::Import::IRun& run) {
  int32_t record[2] = {0, 0};
  int32_t count = 0;
  while (run.Read(record)) {
    if (record[0] == 0 && record[1] == 0) ReportBadRecord("empty special character");
    const char16_t* name = run.GetString(record[0]);
    const char16_t* variant = record[1] == -1 ? nullptr : run.GetString(record[1]);
    // A name outside the strings map, or one no special character has,
    // comes from a damaged container: its character would be lost unseen.
    if (name == nullptr || (record[1] != -1 && variant == nullptr)) {
      throw ErrorRecord{1004, MsgString::Create("a special character outside the strings map")};
    }
    const SpecialChar* entry = SpecialCharTable::Insert(name, variant);
    if (entry == nullptr) throw ErrorRecord{1004, MsgString::Create("an unknown special character")};
    if (entry->pageKind == 0) {
      if (count == kBufferUnits) {
        Flush(gBuffer, count, false);
        count = 0;
      }
      gBuffer[count++] = static_cast<char16_t>(entry->code);
      continue;
    }
    Flush(gBuffer, count, false);
    count = 0;
    if (Select(InsertionPosition(), InsertionPosition())) InsertObject(entry->pageKind, u"");
  }
  Flush(gBuffer, count, false);
}
