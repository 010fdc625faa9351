#include "plugin/conversion/box_geometry.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <locale>
#include <sstream>
#include <vector>

#include "plugin/mixer/host_texts.h"
#include "plugin/qapi/q_handle.h"
#include "plugin/qapi/quark_doc.h"
#include "support/host_link.h"

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

// Rectangles as floats in the user's unit.
struct Rect {
  float top = 0;
  float left = 0;
  float bottom = 0;
  float right = 0;
};

Rect ToFloats(const int32_t* r) { return Rect{FixedToFloat(r[0]), FixedToFloat(r[1]), FixedToFloat(r[2]), FixedToFloat(r[3])}; }

bool BoxRecordOf(XTItem box, XTBoxRecord* record) {
  const XTLayoutSuite* layout = XT().lgk2;
  XTHandle made = 0;
  if (box == 0 || layout == nullptr || layout->box_record(box, &made) != kXTOk || made == 0) return false;
  QHandle block = QHandle::Adopt(made);
  if (block.Data() == nullptr || block.Size() < sizeof(XTBoxRecord)) return false;
  std::memcpy(record, block.Data(), sizeof *record);
  return true;
}

// The box's page as the user numbers it and the page's rectangle.
bool PageOf(XTItem box, int32_t masterIndex, int32_t* number, Rect* page) {
  const XTLayoutSuite* layout = XT().lgk2;
  XTPageInfo info{};
  if (layout->page_info(box, &info) != kXTOk) return false;
  int32_t p = info.page_number;
  if (masterIndex != 0) {
    // Master pages are numbered by their spread, the user masters from 3: the
    // ordinal among the user masters is what the master view counts.
    p = (p > 2000 ? info.spread : p) - 2;
  } else if (p > 2000) {
    QHandle list;
    uint32_t count = 0;
    if (QHandle::TryAllocate(0, &list) == kXTOk &&
        layout->spread_page_numbers(info.spread, list.Get(), &count) == kXTOk && count > 0 &&
        list.Size() >= count * sizeof(int16_t)) {
      int16_t entry = 0;
      const uint32_t at = info.side < 0 ? 0 : count - 1;
      std::memcpy(&entry, static_cast<const uint8_t*>(list.Data()) + at * sizeof entry, sizeof entry);
      p = entry;
    }
  }
  QHandle table;
  uint32_t count = 0;
  if (QHandle::TryAllocate(0, &table) != kXTOk || layout->spread_pages(info.spread, table.Get(), &count) != kXTOk ||
      info.page < 0 || static_cast<uint32_t>(info.page) >= count || table.Size() < count * sizeof(XTPageEntry)) {
    return false;
  }
  XTPageEntry entry;
  std::memcpy(&entry, static_cast<const uint8_t*>(table.Data()) + info.page * sizeof(XTPageEntry), sizeof entry);
  *number = p;
  *page = Rect{FixedToFloat(entry.top), FixedToFloat(entry.left), FixedToFloat(entry.bottom), FixedToFloat(entry.right)};
  return true;
}

constexpr float kDegree = 0.01745f;

// The box part of both modes: record, page, and the top-left corner of the
// box turned about its centre; the box's and the page's rectangles and the
// angle go to the caller.
BoxGeometry BoxPart(XTItem box, int32_t masterIndex, Rect* rect, Rect* page, float* angle) {
  BoxGeometry g;
  XTBoxRecord record{};
  if (XT().lgk2 == nullptr || !BoxRecordOf(box, &record)) return g;
  float a = FixedToFloat(record.rotation);
  if (a < 0) a += 360;
  *rect = ToFloats(record.shape == 5 ? record.bounds : record.enclosing);
  if (!PageOf(box, masterIndex, &g.sectionalPos, page)) return g;
  g.found = true;
  g.angle = static_cast<int32_t>(a);
  *angle = a;
  const float left = rect->left - page->left;
  const float top = rect->top - page->top;
  g.x = static_cast<int32_t>(left);
  g.y = static_cast<int32_t>(top);
  if (g.angle != 0) {
    const float hx = -std::fabs(rect->right - rect->left) * 0.5f;
    const float hy = std::fabs(rect->bottom - rect->top) * 0.5f;
    const float r = a * kDegree;
    const float t1 = std::cos(r) * hx - std::sin(r) * hy;
    const float t2 = std::sin(r) * hx + std::cos(r) * hy;
    g.x = static_cast<int32_t>(left + t1 - hx);
    g.y = static_cast<int32_t>(top + hy - t2);
  }
  g.width = std::abs(static_cast<int32_t>(rect->right - rect->left));
  g.height = std::abs(static_cast<int32_t>(rect->bottom - rect->top));
  return g;
}

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

}  // namespace

float FixedToFloat(int32_t value) {
  const XTLayoutSuite* layout = XT().lgk2;
  XTString string = 0;
  if (layout == nullptr || layout->format_measure(value, 100, &string) != kXTOk) return 0;
  std::string text;
  for (char16_t c : TakeHostString(string)) text += c < 0x80 ? static_cast<char>(c) : ' ';
  const std::string::size_type comma = text.find(',');
  if (comma != std::string::npos) text[comma] = '.';
  std::istringstream in(text);
  in.imbue(std::locale::classic());
  float number = 0;
  if (!(in >> number)) return 0;
  return number;
}

BoxGeometry ComputeBoxGeometry(XTItem box, int32_t masterIndex) {
  Rect rect;
  Rect page;
  float angle = 0;
  return BoxPart(box, masterIndex, &rect, &page, &angle);
}

BoxGeometry ComputeParagraphGeometry(XTItem box, int32_t masterIndex, int32_t first) {
  const XTLayoutSuite* layout = XT().lgk2;
  int32_t story = 0;
  if (layout == nullptr || layout->item_story(box, &story) != kXTOk) return BoxGeometry{};
  QHandle table;
  if (QHandle::TryAllocate(0, &table) != kXTOk) return BoxGeometry{};
  int32_t index = first;
  XTItem shown = 0;
  if (layout->line_query(story, &index, table.Get(), &shown) != kXTOk || shown == 0) return BoxGeometry{};
  const uint32_t count = table.Size() / sizeof(XTLineRecord);
  std::vector<XTLineRecord> lines(count);
  if (count > 0) std::memcpy(lines.data(), table.Data(), count * sizeof(XTLineRecord));
  uint32_t at = 0;
  while (at < count && (lines[at].offset != first || lines[at].vertical >= kXTOversetLine)) ++at;
  if (at == count) return BoxGeometry{};
  Rect rect;
  Rect page;
  float angle = 0;
  BoxGeometry g = BoxPart(shown, masterIndex, &rect, &page, &angle);
  if (!g.found) return g;
  // The first line's top-left corner, turned about the box's centre.
  const float w = std::fabs(rect.right - rect.left);
  const float h = std::fabs(rect.bottom - rect.top);
  const float dx = FixedToFloat(lines[at].x) - w * 0.5f;
  const float dy = h * 0.5f - FixedToFloat(lines[at].vertical);
  const float r = (g.angle != 0 ? angle : 0) * kDegree;
  const float rx = std::cos(r) * dx - std::sin(r) * dy;
  const float ry = std::sin(r) * dx + std::cos(r) * dy;
  g.x = static_cast<int32_t>(rect.left - page.left + w * 0.5f + rx);
  g.y = static_cast<int32_t>(rect.top - page.top + h * 0.5f - ry);
  float widest = 0;
  uint32_t last = at;
  for (uint32_t i = at; i < count && lines[i].vertical < kXTOversetLine && lines[i].paragraph == lines[at].paragraph; ++i) {
    widest = std::fmax(widest, FixedToFloat(lines[i].width));
    last = i;
  }
  g.width = std::abs(static_cast<int32_t>(widest));
  g.height = std::abs(static_cast<int32_t>(FixedToFloat(lines[last].vertical + lines[last].height) - FixedToFloat(lines[at].vertical)));
  return g;
}

void WriteBoxPosition(XTItem box, BX_KXT::Export::IAttrs& story, int32_t masterIndex) {
  const BoxGeometry g = ComputeBoxGeometry(box, masterIndex);
  if (!g.found) return;
  WritePageAndAngle(story, g);
  WritePosition(story, g.x, g.y, g.width, g.height);
}

std::u16string ParagraphStyleName(int32_t story, int32_t first, int32_t end) {
  const XTLayoutSuite* layout = XT().lgk2;
  int32_t index = 0;
  if (layout == nullptr || layout->paragraph_style_index(story, first, end, &index) != kXTOk || index < 1) {
    return std::u16string();
  }
  XTStyleRecord record{};
  uint32_t id = 0;
  if (layout->style_sheet(1, index - 1, &record, &id) != kXTOk) return std::u16string();
  size_t length = 0;
  while (length < 64 && record.name[length] != 0) ++length;
  return std::u16string(record.name, length);
}

void WriteParagraphPosition(XTItem box, BX_KXT::Export::IAttrs& paragraph, int32_t masterIndex, int32_t first,
                            ParagraphPosition& last) {
  const XTLayoutSuite* layout = XT().lgk2;
  int32_t story = 0;
  if (layout == nullptr || layout->item_story(box, &story) != kXTOk) return;
  const std::u16string style = ParagraphStyleName(story, first, first);
  if (!style.empty()) paragraph.AddAttr(u"stylename", style.c_str());
  const ParagraphPlace place = PlaceParagraph(box, masterIndex, first, last);
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

ParagraphPlace PlaceParagraph(XTItem box, int32_t masterIndex, int32_t first, ParagraphPosition& last) {
  ParagraphPlace place;
  place.geometry = ComputeParagraphGeometry(box, masterIndex, first);
  place.shown = place.geometry.found;
  if (place.shown) {
    const BoxGeometry& g = place.geometry;
    last = ParagraphPosition{g.x, g.y, g.width, g.height};
    return place;
  }
  // Not shown (overset): the page of the story's box, the last position.
  place.geometry = ComputeBoxGeometry(box, masterIndex);
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
    if (layout->is_text_box(box, &text) != kXTOk || text == 0) return false;
  }
  if (skipMaster) {
    uint8_t master = 0;
    if (layout->is_master_item(box, 0, &master) != kXTOk || master != 0) return false;
  }
  bool named = false;
  int32_t layer = 0;
  XTString name = 0;
  if (layout->item_layer(box, &layer) == kXTOk &&
      layout->layer_name(GetCurrentDocumentId(), layer, &name) == kXTOk) {
    story.AddAttr(u"layer_name", TakeHostString(name).c_str());
    named = true;
  }
  uint8_t visible = 0;
  if (layout->item_on_visible_layer(box, &visible) != kXTOk) return false;
  story.AddAttr(u"layer_visibility", visible != 0 ? u"show" : u"hide");
  return named;
}
