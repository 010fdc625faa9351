#include "host/pdf_export.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "host/compose.h"
#include "host/layout_walk.h"
#include "host/utf.h"
#include "platform/win/replacing_file.h"

namespace xthost {
namespace {

struct SurfaceDeleter {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextDeleter {
  void operator()(cairo_t* c) const { cairo_destroy(c); }
};
struct LayoutDeleter {
  void operator()(PangoLayout* l) const { g_object_unref(l); }
};
struct FontDeleter {
  void operator()(PangoFontDescription* f) const { pango_font_description_free(f); }
};

// cairo's output: the bytes go to the file; a failed write fails cairo's.
cairo_status_t WriteToFile(void* file, const unsigned char* data, unsigned int length) {
  return static_cast<win::ReplacingFile*>(file)->Write(data, length) ? CAIRO_STATUS_SUCCESS
                                                                      : CAIRO_STATUS_WRITE_ERROR;
}

double Points(int32_t fixed) { return fixed / 65536.0; }

// Which units of a story are drawn: plain text (opcode 0) outside hidden
// text, returns aside.
std::vector<bool> DrawnUnits(const DocumentContent& content, const Story& story) {
  std::vector<bool> drawn(story.text.size(), false);
  std::size_t at = 0;
  int depth = 0;
  for (const CharacterRun& run : story.runs) {
    uint32_t opcode = 0;
    if (run.attributes >= 0 && static_cast<std::size_t>(run.attributes) < content.attributes.size()) {
      opcode = content.attributes[static_cast<std::size_t>(run.attributes)].opcode;
    }
    const uint32_t marker = opcode & 0x60;
    for (int32_t i = 0; i < run.length && at < drawn.size(); ++i, ++at) {
      if (marker == 0x20) {
        ++depth;
      } else if (marker == 0x40) {
        if (depth > 0) --depth;
      } else if (marker == 0 && depth == 0 && opcode == kXTOpText) {
        drawn[at] = story.text[at] != Story::kReturn;
      }
    }
  }
  return drawn;
}

// The attribute record of each unit.
std::vector<int32_t> UnitAttributes(const Story& story) {
  std::vector<int32_t> out(story.text.size(), 0);
  std::size_t at = 0;
  for (const CharacterRun& run : story.runs) {
    for (int32_t i = 0; i < run.length && at < out.size(); ++i) out[at++] = run.attributes;
  }
  return out;
}

std::string FontFamily(const DocumentContent& content, uint16_t id) {
  std::string family;
  for (const Font& font : content.fonts) {
    if (font.id == id && Utf16ToUtf8(font.name, &family)) break;
  }
  // fontconfig takes the first family it has.
  return family.empty() ? "DejaVu Sans" : family + ",DejaVu Sans";
}

void SetColor(cairo_t* cr, const DocumentContent& content, uint16_t id) {
  uint32_t rgb = 0;
  for (const Color& color : content.colors) {
    if (color.id == id) rgb = color.value;
  }
  cairo_set_source_rgb(cr, ((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0);
}

// Draws units [start, end) of one attribute record from x on the baseline;
// the new x.
double DrawSegment(cairo_t* cr, const DocumentContent& content, const XTCharAttrRecord& attrs,
                   const std::u16string& units, double x, double baseline) {
  std::string text;
  if (!Utf16ToUtf8(units, &text) || text.empty()) return x;
  std::unique_ptr<PangoLayout, LayoutDeleter> layout(pango_cairo_create_layout(cr));
  std::unique_ptr<PangoFontDescription, FontDeleter> font(pango_font_description_new());
  pango_font_description_set_family(font.get(), FontFamily(content, attrs.font).c_str());
  pango_font_description_set_weight(font.get(), (attrs.faces & 1) ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_font_description_set_style(font.get(), (attrs.faces & 2) ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
  const double size = attrs.size > 0 ? Points(attrs.size) : 12.0;
  pango_font_description_set_absolute_size(font.get(), size * PANGO_SCALE);
  pango_layout_set_font_description(layout.get(), font.get());
  pango_layout_set_text(layout.get(), text.c_str(), static_cast<int>(text.size()));
  SetColor(cr, content, attrs.color);
  const double ascent = pango_layout_get_baseline(layout.get()) / static_cast<double>(PANGO_SCALE);
  cairo_move_to(cr, x, baseline - ascent);
  pango_cairo_show_layout(cr, layout.get());
  int width = 0;
  pango_layout_get_size(layout.get(), &width, nullptr);
  return x + width / static_cast<double>(PANGO_SCALE);
}

// Draws the lines of text box `box`, its top left corner at (left, top) of
// the page.
void DrawBox(cairo_t* cr, const DocumentContent& content, const Box& box, double left, double top) {
  const Story* story = nullptr;
  for (const Story& each : content.stories) {
    if (each.id == box.story) story = &each;
  }
  if (story == nullptr) return;
  const std::vector<bool> drawn = DrawnUnits(content, *story);
  const std::vector<int32_t> attributes = UnitAttributes(*story);
  const double width = Points(box.bounds[2] - box.bounds[0]);
  const double height = Points(box.bounds[3] - box.bounds[1]);
  cairo_save(cr);
  cairo_translate(cr, left + width / 2, top + height / 2);
  cairo_rotate(cr, -Points(box.rotation) * M_PI / 180.0);
  cairo_translate(cr, -width / 2, -height / 2);
  for (const XTLineRecord& line : BoxLines(content, box.id)) {
    if (line.vertical >= kXTOversetLine) continue;
    double x = Points(line.x);
    const double baseline = Points(line.baseline);
    const int32_t end = std::min<int32_t>(line.offset + line.length, story->length());
    int32_t at = std::max<int32_t>(line.offset, 0);
    while (at < end) {
      if (!drawn[static_cast<std::size_t>(at)]) {
        ++at;
        continue;
      }
      const int32_t record = attributes[static_cast<std::size_t>(at)];
      std::u16string units;
      for (; at < end && drawn[static_cast<std::size_t>(at)] && attributes[static_cast<std::size_t>(at)] == record;
           ++at) {
        const char16_t unit = story->text[static_cast<std::size_t>(at)];
        units += unit == u'\t' ? u' ' : unit;
      }
      if (record >= 0 && static_cast<std::size_t>(record) < content.attributes.size()) {
        x = DrawSegment(cr, content, content.attributes[static_cast<std::size_t>(record)], units, x, baseline);
      }
    }
  }
  cairo_restore(cr);
}

std::string IsoDate(const HostTime& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
  return text;
}

}  // namespace

bool WriteLayoutPdf(const DocumentContent& content, const std::string& path, const OutputStyle& style,
                    const HostTime& date, std::string* error, int* system_error, const std::string& like) {
  if (content.layouts.empty() || content.current_layout < 0 ||
      static_cast<std::size_t>(content.current_layout) >= content.layouts.size()) {
    *error = "the document has no layout";
    return false;
  }
  const int32_t layout_index = content.current_layout;
  const Layout& layout = content.layouts[static_cast<std::size_t>(layout_index)];
  if (layout.PageCount() == 0) {
    *error = "the layout has no page";
    return false;
  }
  win::ReplacingFile file(path, "", like);
  const auto fileFailed = [&] {
    *error = file.Reason();
    if (system_error != nullptr) *system_error = file.error();
    return false;
  };
  if (!file.ok()) return fileFailed();
  std::unique_ptr<cairo_surface_t, SurfaceDeleter> surface(
      cairo_pdf_surface_create_for_stream(WriteToFile, &file, 1, 1));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
    *error = "cannot write the file";
    return false;
  }
  cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_TITLE, style.title.c_str());
  cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_AUTHOR, style.author.c_str());
  cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_CREATE_DATE, IsoDate(date).c_str());
  cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_MOD_DATE, IsoDate(date).c_str());
  std::unique_ptr<cairo_t, ContextDeleter> cr(cairo_create(surface.get()));
  for (std::size_t s = 0; s < layout.spreads.size(); ++s) {
    const int32_t spread = static_cast<int32_t>(s) + 1;
    for (std::size_t p = 0; p < layout.spreads[s].pages.size(); ++p) {
      const Page& page = layout.spreads[s].pages[p];
      cairo_pdf_surface_set_size(surface.get(), Points(page.width), Points(page.height));
      const std::array<int32_t, 4> rect = PageRect(layout, false, spread, static_cast<int32_t>(p));
      cairo_save(cr.get());
      cairo_rectangle(cr.get(), 0, 0, Points(page.width), Points(page.height));
      cairo_clip(cr.get());
      for (const int32_t id : SpreadItems(content, layout_index, false, spread)) {
        const Box* box = content.FindBox(id);
        if (box == nullptr || box->kind != kTextItem || box->story == 0) continue;
        const ItemPlace place = PlaceOf(content, *box);
        if (place.pasteboard || place.page != static_cast<int32_t>(p)) continue;
        DrawBox(cr.get(), content, *box, Points(box->bounds[0] - rect[0]), Points(box->bounds[1] - rect[1]));
      }
      cairo_restore(cr.get());
      cairo_show_page(cr.get());
    }
  }
  cr.reset();
  cairo_surface_finish(surface.get());
  // The file keeps the reason of a write that failed.
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS && file.ok()) {
    *error = std::string("cairo: ") + cairo_status_to_string(cairo_surface_status(surface.get()));
    return false;
  }
  if (!file.Commit()) return fileFailed();
  return true;
}

}  // namespace xthost
