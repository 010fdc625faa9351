#include "plugin/mixer/mixer_boxes.h"

#include <cstring>
#include <iomanip>
#include <ostream>
#include <string>

#include "plugin/mixer/host_texts.h"
#include "plugin/qapi/q_handle.h"
#include "plugin/qapi/qapi_trace.h"
#include "support/host_link.h"
#include "support/host_result.h"
#include "support/program_log.h"

namespace {

const char kSource[] = "Mixer";
constexpr int kLineNoNewBoxRecord = 521;
constexpr int kLineNoBox = 537;
constexpr int32_t kFailed = 12;
constexpr int32_t kPoint = 0x10000;
constexpr int32_t kScratchSize = 40 * kPoint;
constexpr size_t kStyleNameUnits = 64;

// How a shape is treated while a box is enlarged.
enum class ShapeKind { kUntouched, kSimple, kComplex };

struct ShapeInfo {
  const char* name;  // null: no log line
  ShapeKind kind;
};

ShapeInfo ShapeOf(uint8_t shape) {
  static const ShapeInfo kShapes[] = {
      {"INVALID", ShapeKind::kUntouched},
      {"INVALID", ShapeKind::kUntouched},
      {"INVALID", ShapeKind::kUntouched},
      {"INVALID", ShapeKind::kUntouched},
      {"INVALID", ShapeKind::kUntouched},
      {nullptr, ShapeKind::kSimple},  // the plain rectangle goes unlogged
      {"Rectangle (convex)", ShapeKind::kSimple},
      {"Rectangle (concave)", ShapeKind::kSimple},
      {"Rectangle (straight)", ShapeKind::kSimple},
      {"Oval", ShapeKind::kSimple},
      {"Orthopolygon", ShapeKind::kComplex},
      {"Spline", ShapeKind::kComplex},
      {"User", ShapeKind::kComplex},
  };
  if (shape < sizeof kShapes / sizeof kShapes[0]) return kShapes[shape];
  return {"UNKNOWN", ShapeKind::kUntouched};
}

// Writes `text` in `width` columns, aligned by `adjust`; the stream's own
// alignment stays as it was.
std::ostream& Field(std::ostream& out, int width, const char* text,
                    std::ios_base::fmtflags adjust = std::ios_base::left) {
  const std::ios_base::fmtflags flags = out.flags();
  out.setf(adjust, std::ios_base::adjustfield);
  out << std::setw(width) << text;
  out.flags(flags);
  return out;
}

void LogStep(const char* step, const char* text) { ProgramLog() << step << text << std::endl; }

// Saves and clears the record word, or puts the saved one back.
void SwapRecordWord(XTBoxRecord& record, uint32_t* savedWord, bool restore) {
  if (savedWord == nullptr) return;
  if (restore) {
    record.record_word = *savedWord;
  } else {
    *savedWord = record.record_word;
    record.record_word = 0;
  }
}

}  // namespace

XTItem CreateScratchTextBox() {
  const XTLayoutSuite* layout = XT().lgk2;
  if (layout == nullptr) return 0;
  XTHandle made = 0;
  if (HostCall("new_box_record", layout->new_box_record(3, 5, &made)) != kXTOk || made == 0) {
    QuarkInternalError(kSource, kLineNoNewBoxRecord);
    return 0;
  }
  const QHandle block = QHandle::Adopt(made);
  auto* record = static_cast<XTNewBoxRecord*>(block.Data());
  if (record == nullptr || block.Size() < sizeof(XTNewBoxRecord)) {
    QuarkInternalError(kSource, kLineNoNewBoxRecord);
    return 0;
  }
  record->bounds[0] = 0;
  record->bounds[1] = 0;
  record->bounds[2] = kScratchSize;
  record->bounds[3] = kScratchSize;
  record->runaround = 0;
  record->frame = 4 * kPoint;
  record->scale = kPoint;
  record->columns = 0;
  record->content = 6;
  XTItem box = 0;
  const int32_t created = HostCall("create_box", layout->create_box(block.Get(), &box));
  if (created != kXTOk || box == 0) {
    // The host numbers items up to 32767 and never gives a number twice.
    if (created == kXTErrRefused) {
      ProgramLog() << "ERROR: the document has no free item ids left for the export's working boxes" << std::endl;
    }
    QuarkInternalError(kSource, kLineNoBox);
    return 0;
  }
  return box;
}

namespace {

// The first paragraph style sheet, in index order, that `match` (record,
// id) takes, its record and id through the pointers given: kXTOk, else the
// host's first failure (style_count's, or that of a sheet it did not give,
// which the walk passes over), else kXTErrNotFound.
template <typename Match>
int32_t FindParagraphStyleSheet(const Match& match, XTStyleRecord* record, uint32_t* id) {
  const XTLayoutSuite* layout = XT().lgk2;
  if (layout == nullptr) return kXTErrNoSuite;
  int32_t count = 0;
  int32_t failure = layout->style_count(1, &count);
  if (failure != kXTOk) return failure;
  for (int32_t index = 0; index < count; ++index) {
    XTStyleRecord found{};
    uint32_t foundId = 0;
    const int32_t result = layout->style_sheet(1, index, &found, &foundId);
    FirstFailure(failure, result);
    if (result != kXTOk || !match(found, foundId)) continue;
    if (record != nullptr) *record = found;
    if (id != nullptr) *id = foundId;
    return kXTOk;
  }
  return failure != kXTOk ? failure : kXTErrNotFound;
}

}  // namespace

bool FindStyleSheetByName(XTString name, XTStyleRecord* record, uint32_t* id) {
  const std::u16string wanted = HostStringToWide(name);
  if (XT().lgk2 == nullptr || wanted.empty() || wanted.size() > kStyleNameUnits) return false;
  return FindParagraphStyleSheet(
             [&wanted](const XTStyleRecord& found, uint32_t) {
               return std::memcmp(found.name, wanted.data(), wanted.size() * sizeof(char16_t)) == 0;
             },
             record, id) == kXTOk;
}

int32_t FindStyleSheetById(uint32_t id, XTStyleRecord* record) {
  return FindParagraphStyleSheet([id](const XTStyleRecord&, uint32_t foundId) { return foundId == id; }, record,
                                 nullptr);
}

void CreateRgbColor(uint32_t rgb, const char* name, uint16_t* id, int32_t list) {
  const XTLayoutSuite* layout = XT().lgk2;
  if (layout == nullptr) return;
  int32_t entry = kXTNoColor;
  if (layout->new_color(list, &entry) != kXTOk || entry == kXTNoColor) return;
  layout->set_color_name(list, entry, name != nullptr ? name : "");
  uint32_t value = 0;
  if (layout->convert_color(kXTColorModelRgb, rgb, &value) != kXTOk) return;
  if (layout->set_color_value(list, entry, value) != kXTOk) return;
  if (id != nullptr) *id = static_cast<uint16_t>(entry);
}

int32_t GetBoxBounds(XTItem box, int32_t* left, int32_t* top, int32_t* right, int32_t* bottom) {
  const XTLayoutSuite* layout = XT().lgk2;
  if (box == 0 || layout == nullptr) return kFailed;
  XTHandle made = 0;
  if (HostCall("box_record", layout->box_record(box, &made)) != kXTOk || made == 0) return kFailed;
  QHandle block = QHandle::Adopt(made);
  const auto* record = static_cast<const XTBoxRecord*>(block.Data());
  if (record == nullptr || block.Size() < sizeof(XTBoxRecord)) return kFailed;
  if (top != nullptr) *top = record->bounds[0];
  if (left != nullptr) *left = record->bounds[1];
  if (bottom != nullptr) *bottom = record->bounds[2];
  if (right != nullptr) *right = record->bounds[3];
  return block.Dispose();
}

int32_t GetBoxPageBounds(XTItem box, int32_t* left, int32_t* top, int32_t* right, int32_t* bottom) {
  const XTLayoutSuite* layout = XT().lgk2;
  if (box == 0 || layout == nullptr) return kFailed;
  XTItemLocation location{};
  if (HostCall("item_location", layout->item_location(box, 0, &location)) != kXTOk) return kFailed;
  const int32_t spread =
      static_cast<int32_t>(uint32_t(location.spread_high) << 16 | location.spread_low);
  QHandle table;
  if (QHandle::TryAllocate(0, &table) != kXTOk) return kFailed;
  uint32_t count = 0;
  if (HostCall("spread_pages", layout->spread_pages(spread, table.Get(), &count)) != kXTOk) return kFailed;
  XTPageEntry entry;
  if (location.page < 0 || static_cast<uint32_t>(location.page) >= count ||
      !table.CopyOut(static_cast<uint32_t>(location.page) * sizeof entry, &entry, sizeof entry))
    return kFailed;
  if (top != nullptr) *top = entry.top;
  if (left != nullptr) *left = entry.left;
  if (bottom != nullptr) *bottom = entry.bottom;
  if (right != nullptr) *right = entry.right;
  return kXTOk;
}

const char* UnusableBoxShape(XTItem box) {
  const XTLayoutSuite* layout = XT().lgk2;
  if (box == 0 || layout == nullptr) return nullptr;
  XTHandle made = 0;
  if (HostCall("box_record", layout->box_record(box, &made)) != kXTOk || made == 0) return nullptr;
  const QHandle block = QHandle::Adopt(made);
  XTBoxRecord record;
  if (!block.CopyOut(0, &record, sizeof record)) return nullptr;
  if (record.bounds[2] <= record.bounds[0] || record.bounds[3] <= record.bounds[1]) return "it has no size";
  if (record.polygon == 0) return nullptr;
  QHandle points;
  uint32_t count = 0;
  if (QHandle::TryAllocate(0, &points) != kXTOk) {
    NoteHostFailure();
    return nullptr;
  }
  if (HostCall("polygon_points", layout->polygon_points(record.polygon, points.Get(), &count)) != kXTOk)
    return nullptr;
  return count < 3 ? "its polygon has fewer than three points" : nullptr;
}

int32_t FixComplexBoxShape(XTItem box, int32_t left, int32_t top, int32_t right, int32_t bottom,
                           uint32_t* savedWord, uint32_t* savedShape, bool restore) {
  const HostLink& link = XT();
  const XTLayoutSuite* layout = link.lgk2;
  if (box == 0 || layout == nullptr) return kFailed;
  XTHandle made = 0;
  // The caller reports a record it could not have; the failure is counted.
  if (const int32_t result = layout->box_record(box, &made); result != kXTOk || made == 0) {
    if (result != kXTOk) NoteHostFailure();
    return kFailed;
  }
  // Owns the record from here on: every way out releases it.
  QHandle block = QHandle::Adopt(made);
  XTBoxRecord record;
  if (!block.CopyOut(0, &record, sizeof record)) return kFailed;

  const ShapeInfo shape = ShapeOf(record.shape);
  std::ostream& log = ProgramLog();
  if (shape.name != nullptr) {
    Field(log, 20, "Box shape type: ");
    Field(log, 8, " -> ");
    Field(log, 44, shape.name);
    Field(log, 8, " <- ", std::ios_base::right) << std::endl;
  }

  int32_t content = 0;
  if (layout->content_kind(box, &content) != kXTOk || content < 5 || content > 11) return kFailed;

  XTPolygon madePolygon = 0;  // the temporary polygon this call makes
  if (shape.kind == ShapeKind::kSimple) {
    SwapRecordWord(record, savedWord, restore);
    record.bounds[0] = top;
    record.bounds[1] = left;
    record.bounds[2] = bottom;
    record.bounds[3] = right;
  } else if (shape.kind == ShapeKind::kComplex && !restore) {
    Field(log, 16, "ATTENTION - ");
    Field(log, 64, "Complex box shape treated with hidden-workaround") << std::endl;
    SwapRecordWord(record, savedWord, false);
    if (savedShape != nullptr) *savedShape = static_cast<uint32_t>(record.polygon);
    // A closed rectangle of (vertical, horizontal) points, one point off.
    const int32_t v0 = top + kPoint, v1 = bottom + kPoint;
    const int32_t h0 = left + kPoint, h1 = right + kPoint;
    const int32_t points[10] = {v0, h0, v0, h1, v1, h1, v1, h0, v0, h0};
    if (layout->new_polygon(points, 5, &madePolygon) != kXTOk) return kFailed;
    record.polygon = madePolygon;
    LogStep("STEP 1/2: ", "Replace with pseudo-rectangular shape (5 points).");
  } else if (shape.kind == ShapeKind::kComplex) {
    // The box's temporary shape is the host's copy of the polygon made
    // when it was installed; the saved one takes its place.
    if (savedShape != nullptr) record.polygon = static_cast<XTPolygon>(*savedShape);
    SwapRecordWord(record, savedWord, true);
    LogStep("STEP 2/2: ", "Restore original complex shape.");
  }

  if (!block.CopyIn(0, &record, sizeof record)) {
    if (madePolygon != 0) layout->dispose_polygon(madePolygon);
    return kFailed;
  }
  int16_t constraint = 0;
  const int32_t stored = layout->store_box_record(block.Get(), box, 0, 1, &constraint);
  // The host keeps its own copy of a stored polygon's points.
  if (madePolygon != 0) layout->dispose_polygon(madePolygon);
  if (stored == kXTOk) return 0;
  if (constraint == 0) return kFailed;
  log << "WARNING: "
      << "Constraint violation for box " << box << ":\t" << constraint << std::endl;
  return 1;
}
