#include "plugin/conversion/run_buffer.h"

#include <cstring>
#include <exception>

#include "plugin/qapi/host_text.h"
#include "plugin/qapi/q_handle.h"
#include "plugin/qapi/story_runs.h"
#include "support/host_link.h"
#include "support/host_result.h"

namespace {

using BX_KXT::Export::Ref;

constexpr uint32_t kCodePageUtf16 = 1200;
constexpr uint32_t kCodePageSymbol = 5;
constexpr char16_t kParagraphEnd = 0x0D;
constexpr uint8_t kColumnBreak = 0x0B;
constexpr uint8_t kFrameBreak = 0x0C;

// Kinds of the host character map's entries.
constexpr int32_t kKindSpecial = 0x4000000;
constexpr int32_t kKindMapped = 0x1000000;
constexpr int32_t kKindVariantMapped = 0x1000001;
constexpr int32_t kKindKept = 0x2000000;
constexpr int32_t kKindLineEnd = 0x8000000;
constexpr int32_t kKindBreak = 0x10000000;

// Units below this that the host character map leaves alone (not reserved,
// no paragraph end, no entry), by non-breaking flag: the common case, looked
// up once.
constexpr char16_t kPlainBelow = 0x100;

struct PlainUnits {
  bool plain[2][kPlainBelow] = {};
  PlainUnits() {
    for (int nonBreaking = 0; nonBreaking < 2; ++nonBreaking) {
      for (char16_t c = 0; c < kPlainBelow; ++c) {
        plain[nonBreaking][c] = !CharMap::IsReserved(c, 0) && c != kParagraphEnd &&
                                CharMap::FindByFlag(c, nonBreaking) == nullptr;
      }
    }
  }
};

// The table of plain units for a non-breaking flag; null for a flag that
// is neither 0 nor 1, which leaves no unit plain.
const bool* PlainTable(int nonBreaking) {
  static const PlainUnits units;
  return nonBreaking == 0 || nonBreaking == 1 ? units.plain[nonBreaking] : nullptr;
}

bool IsPlain(const bool* table, char16_t c) { return table != nullptr && c < kPlainBelow && table[c]; }

}  // namespace

RunBuffer::RunBuffer(Ref<BX_KXT::Export::IPara> paragraph, const XAttribs& record, uint32_t n)
    : paragraph_(std::move(paragraph)),
      record_(record),
      buffer_(new uint8_t[2 * static_cast<std::size_t>(n) + 1]),
      capacity_(2 * n),
      codePage_(record.codePage) {}

RunBuffer::~RunBuffer() noexcept(false) {
  if (std::uncaught_exceptions() == 0) Flush();
}

void RunBuffer::Switch(uint32_t codePage, uint32_t encoding) {
  if (codePage == codePage_ && encoding == encoding_) return;
  Flush();
  codePage_ = codePage;
  encoding_ = encoding;
}

void RunBuffer::Append(const void* bytes, uint32_t n) {
  if (fill_ + n > capacity_) return;  // never: no unit adds more than two bytes
  std::memcpy(buffer_.get() + fill_, bytes, n);
  fill_ += n;
}

void RunBuffer::AddUnit(char16_t unit, uint32_t codePage) {
  Switch(codePage, kRunUnicodes);
  Append(&unit, sizeof unit);
}

void RunBuffer::AddUnitInCodePage(char16_t unit, uint32_t codePage) {
  AddUnit(unit, codePage == 0xFFFF ? 1252 : codePage);
}

void RunBuffer::AddSpecial(uint8_t byte, uint32_t codePage) {
  // Breaks gather in runs of their own, which carry their attributes.
  const bool isBreak = byte == kColumnBreak || byte == kFrameBreak;
  if (fill_ > 0 && encoding_ == kRunSpecialChars && isBreak != breaks_) Flush();
  Switch(codePage, kRunSpecialChars);
  breaks_ = isBreak;
  Append(&byte, 1);
}

void RunBuffer::AddWide(char16_t unit, uint32_t codePage) {
  Switch(codePage, kRunWideMultibytes);
  Append(&unit, sizeof unit);
}

bool RunBuffer::AddChar(char16_t c, int nonBreaking) {
  if (IsPlain(PlainTable(nonBreaking), c)) return false;
  if (CharMap::IsReserved(c, 0)) {
    AddWide(c, kCodePageSymbol);
    return true;
  }
  // A paragraph end is an element of its own, in every kind of run.
  if (c == kParagraphEnd) return true;
  uint32_t cp = codePage_;
  if (cp == kCodePageSymbol) cp = record_.codePage;
  const CharMapEntry* e = CharMap::FindByFlag(c, nonBreaking);
  if (e == nullptr) return false;
  const int32_t kind = static_cast<int32_t>(e->flags);
  if (kind == kKindSpecial || kind == kKindBreak) {
    // Column and frame breaks go as the special characters of their rows
    // ("column_break", "frame_break"), which the import puts back: left
    // out, the user's breaks were lost in every round trip.
    AddSpecial(static_cast<uint8_t>(c), cp);
  } else if (kind < kKindMapped) {
    // dropped
  } else if (kind == kKindMapped || kind == kKindVariantMapped || kind == kKindLineEnd) {
    AddUnitInCodePage(e->unicode, cp);
  } else if (kind == kKindKept) {
    AddUnit(e->unicode != 0 ? e->unicode : c, kCodePageSymbol);
  }
  return true;
}

void RunBuffer::AddText(const char16_t* units, uint32_t n, int nonBreaking) {
  const bool* table = PlainTable(nonBreaking);
  for (uint32_t i = 0; i < n;) {
    uint32_t plain = i;
    while (plain < n && IsPlain(table, units[plain])) ++plain;
    if (plain > i) {
      Switch(kCodePageUtf16, kRunUnicodes);
      Append(units + i, 2 * (plain - i));
      i = plain;
      continue;
    }
    if (!AddChar(units[i], nonBreaking)) AddUnit(units[i], kCodePageUtf16);
    ++i;
  }
}

void RunBuffer::Flush() {
  if (fill_ == 0) return;
  const uint32_t bytes = fill_;
  fill_ = 0;
  Ref<BX_KXT::Export::IAttrs> run;
  switch (encoding_) {
    case kRunUnicodes:
      run = paragraph_->NewUnicodesRun(buffer_.get(), bytes, -1);
      break;
    case kRunMultibytes:
      run = paragraph_->NewMultibytesRun(buffer_.get(), bytes, -1);
      break;
    case kRunWideMultibytes:
      run = paragraph_->NewWideMultibytesRun(buffer_.get(), bytes / 2, -1);
      break;
    case kRunSpecialChars: {
      Ref<BX_KXT::Export::IRun<CF_SpecialChar>> specials;
      for (uint32_t i = 0; i < bytes; ++i) {
        const SpecialChar* row = SpecialCharTable::FindByCode(buffer_[i]);
        if (row == nullptr) continue;
        if (!specials) specials = paragraph_->NewSpecialCharsRun(-1);
        BX_KXT::Export::PutSpecialChar(specials, row->name, row->variant);
      }
      // A break keeps the attributes the user gave it; the other special
      // characters take those where the import puts them.
      if (specials && breaks_) WriteAttributeSet(record_, *specials, codePage_);
      return;
    }
    default:
      return;
  }
  WriteAttributeSet(record_, *run, codePage_);
}

void WriteTextRun(Ref<BX_KXT::Export::IPara> paragraph, StoryRunPosition position, const XAttribs& record) {
  StoryRunIterator* iterator = position.iterator;
  if (iterator == nullptr) return;
  const int32_t first = position.boundary;
  const int32_t end = iterator->NextBoundary(position);
  if (end <= first) return;
  const uint32_t n = static_cast<uint32_t>(end - first);
  RunBuffer buffer(std::move(paragraph), record, n);
  const XTStoryTextSuite* story = XT().lgf2;
  if (story == nullptr) return;
  QHandle block;
  if (QHandle::TryAllocate(2 * n + 2, &block) != kXTOk) return;
  iterator->runs.RefreshIfStale();
  auto* units = static_cast<char16_t*>(block.Data());
  if (units == nullptr) return;
  if (HostCall("read_text", story->read_text(iterator->runs.textRef, first, static_cast<int32_t>(n), units)) != kXTOk)
    return;
  units[n] = 0;
  const int nonBreaking = (record.record.flags & kXTCharNonBreaking) != 0 ? 1 : 0;
  buffer.AddText(units, n, nonBreaking);
}
