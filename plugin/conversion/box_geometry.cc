#include "plugin/conversion/box_geometry.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <locale>
#include <sstream>
#include <vector>

#include "plugin/mixer/host_texts.h"
#include "plugin/mixer/mixer_boxes.h"
#include "plugin/qapi/q_handle.h"
#include "plugin/qapi/quark_doc.h"
#include "support/host_link.h"
#include "support/host_result.h"

namespace {

std::u16string Number(int32_t value) {
  const std::string text = std::to_string(value);
  return std::u16string(text.begin(), text.end());
}

void AddNumber(BX_KXT::Export::IAttrs& set, const char16_t* name, int32_t value) {
  set.AddAttr(name, Number(value).c_str());
}

// Takes a host string: its units, then disposes of it.
std::u16string TakeHostString(XTString string) {
  std::u16string text = HostStringToWide(string);
  if (string != 0 && XT().qsb1 != nullptr) XT().qsb1->dispose_string(string);
  return text;
}

bool BoxRecordOf(XTItem box, XTBoxRecord* record) {
  const XTLayoutSuite* layout = XT().lgk2;
  XTHandle made = 0;
  if (box == 0 || layout == nullptr || HostCall("box_record", layout->box_record(box, &made)) != kXTOk || made == 0)
    return false;
  QHandle block = QHandle::Adopt(made);
  return block.CopyOut(0, record, sizeof *record);
}

constexpr float kDegree = 0.01745f;

void WritePosition(BX_KXT::Export::IAttrs& set, int32_t x, int32_t y, int32_t width, int32_t height) {
  AddNumber(set, u"horizontal_pos", x);
  AddNumber(set, u"vertical_pos", y);
  AddNumber(set, u"width", width);
  AddNumber(set, u"height", height);
}

void WritePageAndAngle(BX_KXT::Export::IAttrs& set, const BoxGeometry& g) {
  AddNumber(set, u"sectional_pos", g.sectionalPos);
  if (g.angle != 0) AddNumber(set, u"angle", g.angle);
}

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The number a stream in the "C" locale reads from `text`, when the text is
// plain: blanks, an optional '-', digits with at most one '.', then the end
// or something that cannot continue a number.  False for other texts.
bool ReadPlainNumber(const std::string& text, float* number) {
  const char* at = text.data();
  const char* end = at + text.size();
  while (at != end && IsBlank(*at)) ++at;
  const char* start = at;
  if (at != end && *at == '-') ++at;
  const char* digits = at;
  bool point = false;
  for (; at != end; ++at) {
    if (*at == '.' && !point) {
      point = true;
    } else if (*at < '0' || *at > '9') {
      break;
    }
  }
  if (at - digits == (point ? 1 : 0)) return false;  // no digit
  if (at != end && (*at == '.' || *at == 'e' || *at == 'E' || *at == 'x' || *at == 'X' || *at == '+' ||
                    *at == '-')) {
    return false;
  }
  return std::from_chars(start, at, *number).ec == std::errc();
}

}  // namespace

float FixedToFloat(int32_t value) {
  const XTLayoutSuite* layout = XT().lgk2;
  XTString string = 0;
  if (layout == nullptr || HostCall("format_measure", layout->format_measure(value, 100, &string)) != kXTOk) return 0;
  std::string text;
  for (char16_t c : TakeHostString(string)) text += c < 0x80 ? static_cast<char>(c) : ' ';
  const std::string::size_type comma = text.find(',');
  if (comma != std::string::npos) text[comma] = '.';
  float number = 0;
  if (ReadPlainNumber(text, &number)) return number;
  std::istringstream in(text);
  in.imbue(std::locale::classic());
  if (!(in >> number)) return 0;
  return number;
}

StoryGeometry::StoryGeometry(XTItem box, int32_t masterIndex, MeasureNumbers* measures)
    : box_(box), masterIndex_(masterIndex), measures_(measures != nullptr ? measures : &ownMeasures_) {
  const XTLayoutSuite* layout = XT().lgk2;
  hasStory_ = layout != nullptr && HostCall("item_story", layout->item_story(box, &story_)) == kXTOk;
}

bool StoryGeometry::StoryOf(int32_t* story) const {
  *story = story_;
  return hasStory_;
}

float StoryGeometry::Measure(int32_t value) {
  const auto found = measures_->find(value);
  if (found != measures_->end()) return found->second;
  const float number = FixedToFloat(value);
  measures_->emplace(value, number);
  return number;
}

// The box's page as the user numbers it and the page's rectangle.
bool StoryGeometry::PageOf(XTItem box, int32_t* number, Rect* page) {
  const XTLayoutSuite* layout = XT().lgk2;
  XTPageInfo info{};
  if (HostCall("page_info", layout->page_info(box, &info)) != kXTOk) return false;
  int32_t p = info.page_number;
  if (masterIndex_ != 0) {
    // Master pages are numbered by their spread, the user masters from 3: the
    // ordinal among the user masters is what the master view counts.
    p = (p > 2000 ? info.spread : p) - 2;
  } else if (p > 2000) {
    QHandle list;
    uint32_t count = 0;
    if (QHandle::TryAllocate(0, &list) == kXTOk &&
        HostCall("spread_page_numbers", layout->spread_page_numbers(info.spread, list.Get(), &count)) == kXTOk &&
        count > 0) {
      int16_t entry = 0;
      const uint32_t at = info.side < 0 ? 0 : count - 1;
      if (list.CopyOut(at * sizeof entry, &entry, sizeof entry)) p = entry;
    }
  }
  QHandle table;
  uint32_t count = 0;
  if (QHandle::TryAllocate(0, &table) != kXTOk ||
      HostCall("spread_pages", layout->spread_pages(info.spread, table.Get(), &count)) != kXTOk || info.page < 0 ||
      static_cast<uint32_t>(info.page) >= count) {
    return false;
  }
  XTPageEntry entry;
  if (!table.CopyOut(static_cast<uint32_t>(info.page) * sizeof entry, &entry, sizeof entry)) return false;
  *number = p;
  *page = Rect{Measure(entry.top), Measure(entry.left), Measure(entry.bottom), Measure(entry.right)};
  return true;
}

// The box part of both modes: record, page, and the top-left corner of the
// box turned about its centre.
const StoryGeometry::Part& StoryGeometry::PartOf(XTItem box) {
  const auto known = partIndex_.find(box);
  if (known != partIndex_.end()) return parts_[known->second];
  Part part;
  part.box = box;
  BoxGeometry& g = part.geometry;
  XTBoxRecord record{};
  if (XT().lgk2 != nullptr && BoxRecordOf(box, &record)) {
    // The rotation is in 16.16 degrees, whatever unit the document measures
    // lengths in.
    float a = static_cast<float>(record.rotation) / 65536.0f;
    if (a < 0) a += 360;
    const int32_t* r = record.shape == 5 ? record.bounds : record.enclosing;
    part.rect = Rect{Measure(r[0]), Measure(r[1]), Measure(r[2]), Measure(r[3])};
    if (PageOf(box, &g.sectionalPos, &part.page)) {
      const Rect& rect = part.rect;
      const Rect& page = part.page;
      g.found = true;
      g.angle = static_cast<int32_t>(a);
      part.angle = a;
      const float left = rect.left - page.left;
      const float top = rect.top - page.top;
      g.x = static_cast<int32_t>(left);
      g.y = static_cast<int32_t>(top);
      if (g.angle != 0) {
        const float hx = -std::fabs(rect.right - rect.left) * 0.5f;
        const float hy = std::fabs(rect.bottom - rect.top) * 0.5f;
        const float turn = a * kDegree;
        const float t1 = std::cos(turn) * hx - std::sin(turn) * hy;
        const float t2 = std::sin(turn) * hx + std::cos(turn) * hy;
        g.x = static_cast<int32_t>(left + t1 - hx);
        g.y = static_cast<int32_t>(top + hy - t2);
      }
      g.width = std::abs(static_cast<int32_t>(rect.right - rect.left));
      g.height = std::abs(static_cast<int32_t>(rect.bottom - rect.top));
    }
  }
  partIndex_.emplace(box, parts_.size());
  parts_.push_back(part);
  return parts_.back();
}

BoxGeometry StoryGeometry::Box() { return PartOf(box_).geometry; }

int32_t StoryGeometry::FindLine(int32_t first) const {
  if (linesOrdered_) {
    const auto line = std::lower_bound(lines_.begin(), lines_.end(), first,
                                       [](const XTLineRecord& record, int32_t at) { return record.offset < at; });
    return line != lines_.end() && line->offset == first && line->vertical < kXTOversetLine
               ? static_cast<int32_t>(line - lines_.begin())
               : -1;
  }
  for (std::size_t at = 0; at < lines_.size(); ++at) {
    if (lines_[at].offset == first && lines_[at].vertical < kXTOversetLine) return static_cast<int32_t>(at);
  }
  return -1;
}

bool StoryGeometry::HoldsUnit(int32_t first) const {
  if (!linesOrdered_) return false;
  const auto after = std::upper_bound(lines_.begin(), lines_.end(), first,
                                      [](int32_t at, const XTLineRecord& record) { return at < record.offset; });
  return after != lines_.begin() && first < std::prev(after)->offset + std::prev(after)->length;
}

BoxGeometry StoryGeometry::Paragraph(int32_t first) {
  if (!hasStory_) return BoxGeometry{};
  int32_t at = shown_ != 0 ? FindLine(first) : -1;
  // A unit in a line of the table held (an overset one, say) is shown by
  // that table's box: the host would answer with the same table again.
  if (at < 0 && shown_ != 0 && HoldsUnit(first)) return BoxGeometry{};
  if (at < 0) {
    // Not among the lines fetched: ask the host for the box showing it.
    const XTLayoutSuite* layout = XT().lgk2;
    QHandle table;
    if (QHandle::TryAllocate(0, &table) != kXTOk) return BoxGeometry{};
    int32_t index = first;
    XTItem shown = 0;
    if (HostCall("line_query", layout->line_query(story_, &index, table.Get(), &shown), kXTErrNoItem) != kXTOk ||
        shown == 0)
      return BoxGeometry{};
    const uint32_t count = table.Size() / sizeof(XTLineRecord);
    lines_.resize(count);
    if (count > 0 && !table.CopyOut(0, lines_.data(), count * sizeof(XTLineRecord))) {
      lines_.clear();
      return BoxGeometry{};
    }
    shown_ = shown;
    linesOrdered_ = true;
    for (std::size_t i = 1; i < lines_.size() && linesOrdered_; ++i) {
      linesOrdered_ = lines_[i - 1].offset < lines_[i].offset;
    }
    at = FindLine(first);
    if (at < 0) return BoxGeometry{};
  }
  const Part& part = PartOf(shown_);
  BoxGeometry g = part.geometry;
  if (!g.found) return g;
  const Rect& rect = part.rect;
  const Rect& page = part.page;
  const XTLineRecord& line = lines_[static_cast<std::size_t>(at)];
  // The first line's top-left corner, turned about the box's centre.
  const float w = std::fabs(rect.right - rect.left);
  const float h = std::fabs(rect.bottom - rect.top);
  const float dx = Measure(line.x) - w * 0.5f;
  const float dy = h * 0.5f - Measure(line.vertical);
  const float r = (g.angle != 0 ? part.angle : 0) * kDegree;
  const float rx = std::cos(r) * dx - std::sin(r) * dy;
  const float ry = std::sin(r) * dx + std::cos(r) * dy;
  g.x = static_cast<int32_t>(rect.left - page.left + w * 0.5f + rx);
  g.y = static_cast<int32_t>(rect.top - page.top + h * 0.5f - ry);
  float widest = 0;
  std::size_t last = static_cast<std::size_t>(at);
  for (std::size_t i = last; i < lines_.size() && lines_[i].vertical < kXTOversetLine &&
                             lines_[i].paragraph == line.paragraph;
       ++i) {
    widest = std::fmax(widest, Measure(lines_[i].width));
    last = i;
  }
  g.width = std::abs(static_cast<int32_t>(widest));
  g.height = std::abs(static_cast<int32_t>(Measure(lines_[last].vertical + lines_[last].height) - Measure(line.vertical)));
  return g;
}

BoxGeometry ComputeBoxGeometry(XTItem box, int32_t masterIndex) { return StoryGeometry(box, masterIndex).Box(); }

BoxGeometry ComputeParagraphGeometry(XTItem box, int32_t masterIndex, int32_t first) {
  return StoryGeometry(box, masterIndex).Paragraph(first);
}

void WriteBoxPosition(StoryGeometry& geometry, BX_KXT::Export::IAttrs& story) {
  const BoxGeometry g = geometry.Box();
  if (!g.found) return;
  WritePageAndAngle(story, g);
  WritePosition(story, g.x, g.y, g.width, g.height);
}

std::u16string ParagraphStyleName(uint16_t sheet, SheetNames& names) {
  constexpr size_t kStyleNameUnits = sizeof XTStyleRecord::name / sizeof XTStyleRecord::name[0];
  if (sheet == 0) return std::u16string();
  const auto known = names.find(sheet);
  if (known != names.end()) return known->second;
  XTStyleRecord record{};
  const int32_t found = HostCall("style_sheet", FindStyleSheetById(sheet, &record), kXTErrNotFound);
  if (found != kXTOk && found != kXTErrNotFound) return std::u16string();
  size_t length = 0;
  while (length < kStyleNameUnits && record.name[length] != 0) ++length;
  // A name the record cut may end with the first half of a pair, half a
  // character the container must not get.
  if (length == kStyleNameUnits && record.name[length - 1] >= 0xD800 && record.name[length - 1] <= 0xDBFF) --length;
  return names.emplace(sheet, std::u16string(record.name, length)).first->second;
}

void WriteParagraphPosition(StoryGeometry& geometry, BX_KXT::Export::IAttrs& paragraph, int32_t first,
                            uint16_t sheet, SheetNames& names, ParagraphPosition& last) {
  int32_t story = 0;
  if (!geometry.StoryOf(&story)) return;
  const std::u16string style = ParagraphStyleName(sheet, names);
  if (!style.empty()) paragraph.AddAttr(u"stylename", style.c_str());
  const ParagraphPlace place = PlaceParagraph(geometry, first, last);
  const BoxGeometry& g = place.geometry;
  if (g.found) WritePageAndAngle(paragraph, g);
  if (!place.shown) {
    WritePosition(paragraph, g.x, g.y, g.width, g.height);
    return;
  }
  AddNumber(paragraph, u"vertical_pos", g.y);
  AddNumber(paragraph, u"horizontal_pos", g.x);
  AddNumber(paragraph, u"width", g.width);
  AddNumber(paragraph, u"height", g.height);
}

ParagraphPlace PlaceParagraph(StoryGeometry& geometry, int32_t first, ParagraphPosition& last) {
  ParagraphPlace place;
  place.geometry = geometry.Paragraph(first);
  place.shown = place.geometry.found;
  if (place.shown) {
    const BoxGeometry& g = place.geometry;
    last = ParagraphPosition{g.x, g.y, g.width, g.height};
    return place;
  }
  // Not shown (overset): the page of the story's box, the last position.
  place.geometry = geometry.Box();
  place.geometry.x = last.x;
  place.geometry.y = last.y;
  place.geometry.width = last.width;
  place.geometry.height = last.height;
  return place;
}

bool WriteLayerProperties(XTItem box, BX_KXT::Export::IAttrs& story, bool skipNonText, bool skipMaster) {
  const XTLayoutSuite* layout = XT().lgk2;
  if (box == 0 || layout == nullptr) return false;
  if (skipNonText) {
    uint8_t text = 0;
    if (HostCall("is_text_box", layout->is_text_box(box, &text)) != kXTOk || text == 0) return false;
  }
  if (skipMaster) {
    uint8_t master = 0;
    if (HostCall("is_master_item", layout->is_master_item(box, 0, &master)) != kXTOk || master != 0) return false;
  }
  bool named = false;
  int32_t layer = 0;
  XTString name = 0;
  if (HostCall("item_layer", layout->item_layer(box, &layer)) == kXTOk &&
      HostCall("layer_name", layout->layer_name(GetCurrentDocumentId(), layer, &name)) == kXTOk) {
    story.AddAttr(u"layer_name", TakeHostString(name).c_str());
    named = true;
  }
  uint8_t visible = 0;
  if (HostCall("item_on_visible_layer", layout->item_on_visible_layer(box, &visible)) != kXTOk) return false;
  story.AddAttr(u"layer_visibility", visible != 0 ? u"show" : u"hide");
  return named;
}
