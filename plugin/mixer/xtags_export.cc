#include "plugin/mixer/xtags_export.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "plugin/mixer/api_failure.h"
#include "support/host_link.h"
#include "support/host_result.h"
#include "support/program_log.h"

namespace {

constexpr char16_t kFilterName[] = u"XPress Tags";
constexpr char16_t kEncodingName[] = u"Windows Latin (Windows-1252)";
constexpr uint32_t kExportOptions = 0x40000002;  // header, to the installed writer

// The capture of one export: the fixed buffer, its fill count and whether a
// chunk was dropped (then every later chunk is dropped too, so the text
// stays a prefix).
uint8_t gCapture[kXTagsCaptureBytes];
uint32_t gFill = 0;
bool gDropped = false;

// The one the filter's bytes are copied into after the export.
struct ExportRecord {
  int32_t story;
  uint32_t count;
  std::vector<uint8_t> bytes;
};

const XTTextExportSuite* Filters() { return AcquireOnFirstUse(XT().text_export, kXTTableXTXf); }

// The host's filter named "XPress Tags", 0 when there is none.
XTExportFilter FindTagsFilter(const XTTextExportSuite& filters) {
  const XTStringSuite* strings = XT().qsb1;
  if (strings == nullptr) return 0;
  XTExportFilter filter = 0;
  if (HostCall("first_filter", filters.first_filter(&filter)) != kXTOk) return 0;
  while (filter != 0) {
    XTString name = 0;
    if (HostCall("filter_name", filters.filter_name(filter, &name)) == kXTOk) {
      int32_t length = 0;
      std::u16string text;
      if (strings->string_length(name, &length) == kXTOk && length >= 0) {
        text.resize(static_cast<size_t>(length) + 1);
        if (strings->copy_string(name, text.data(), length + 1) != kXTOk) text.clear();
        text.resize(std::min(text.size(), static_cast<size_t>(length)));
      }
      CleanUp("dispose_string", strings->dispose_string(name));
      if (text == kFilterName) return filter;
    }
    XTExportFilter next = 0;
    if (HostCall("next_filter", filters.next_filter(filter, &next)) != kXTOk) return 0;
    filter = next;
  }
  return 0;
}

// Runs the filter on the record's story into the capture buffer and copies
// what was caught into the record.  False when the text is not whole.
bool ExportStoryWithXTagsFilter(ExportRecord& record) {
  const XTTextExportSuite* filters = Filters();
  const XTStringSuite* strings = XT().qsb1;
  const XTExportFilter filter = filters != nullptr ? FindTagsFilter(*filters) : 0;
  if (filter == 0 || strings == nullptr) {
    ProgramLog() << "\nERROR: XTag export failed - no export filter \"XPress Tags\"!\n" << std::flush;
    return false;
  }
  gFill = 0;
  gDropped = false;
  XTExportWriter previous = nullptr;
  if (HostCall("set_export_writer", filters->set_export_writer(CaptureExportBytes, &previous)) != kXTOk) {
    return false;
  }
  XTString encoding = 0;
  int32_t result = HostCall("new_string", strings->new_string(kEncodingName, std::char_traits<char16_t>::length(kEncodingName), &encoding));
  if (result == kXTOk) {
    const XTFileSpec nowhere{};
    result = HostCall("export_story", filters->export_story(record.story, filter, &nowhere, kExportOptions, encoding));
    CleanUp("dispose_string", strings->dispose_string(encoding));
  }
  record.count = gFill;
  record.bytes.assign(gCapture, gCapture + gFill);
  CleanUp("set_export_writer", filters->set_export_writer(previous, nullptr));
  if (result != kXTOk) ProgramLog() << "\nERROR: XTag export failed - the export reported " << result << "\n" << std::flush;
  return result == kXTOk && !gDropped;
}

// The record's bytes as UTF-16 through the host's Windows-1252 converter;
// false (with the API-failure report) when the conversion failed.
bool ConvertExportBytes(const ExportRecord& record, std::u16string* text) {
  const XTConverterSuite* converters = XT().lta1;
  XTConverter converter = -1;
  bool done = false;
  std::u16string units(record.count, u'\0');
  int32_t count = static_cast<int32_t>(record.count);
  if (converters != nullptr &&
      HostCall("new_converter", converters->new_converter(kXTEncodingWindows1252, &converter)) == kXTOk) {
    done = HostCall("convert_from_text",
                    converters->convert_from_text(converter, reinterpret_cast<const char*>(record.bytes.data()),
                                                  static_cast<int32_t>(record.count), units.data(), &count)) == kXTOk;
    CleanUp("dispose_converter", converters->dispose_converter(converter));
  }
  if (!done) {
    ReportApiFailure(ApiPolicy::kReturnValue, "Mixer", 2240, "ExportToTag");
    return false;
  }
  // Up to the first 0 unit.
  units.resize(std::min(static_cast<size_t>(count), units.find(u'\0')));
  *text = std::move(units);
  return true;
}

}  // namespace

int32_t CaptureExportBytes(const void* bytes, const int32_t* count) {
  if (count == nullptr) return 0;
  const int32_t n = *count;
  if (gDropped || (n > 0 && gFill + static_cast<uint32_t>(n) >= kXTagsCaptureBytes)) {
    if (!gDropped) ProgramLog() << "\nERROR: XTag export failed - Buffer overflow!\n" << std::flush;
    gDropped = true;
  } else if (n >= 1 && bytes != nullptr) {
    std::memcpy(gCapture + gFill, bytes, static_cast<size_t>(n));
    gFill += static_cast<uint32_t>(n);
  }
  return 0;
}

XTagsText ExportToTag(int32_t story) {
  ExportRecord record{story, 0, {}};
  XTagsText out;
  out.whole = ExportStoryWithXTagsFilter(record);
  if (record.count == 0) return out;
  if (!ConvertExportBytes(record, &out.text)) out.whole = false;
  return out;
}
