// Suites of text: host strings, path objects, text converters, the error
// state and the alert parameter texts.
#include <cstring>

#include "host/host.h"
#include "host/suite_tables.h"
#include "host/utf.h"
#include "platform/win/code_pages.h"

namespace xthost {
namespace {

// --- QSB1: host strings ---

int32_t NewStringFromText(const char* text, int32_t encoding, int32_t length, XTString* string) {
  Host& host = Host::Current();
  if (host.Fails("new_string_from_text")) return kXTErrInjected;
  if (string == nullptr || length < 0 || (text == nullptr && length > 0)) return kXTErrParam;
  if (encoding != kXTEncodingNarrow && encoding != kXTEncodingWindows1252) return kXTErrRefused;
  std::u16string units;
  if (!Utf8ToUtf16(std::string(text ? text : "", static_cast<std::size_t>(length)), &units)) {
    return kXTErrParam;
  }
  *string = host.strings.Add(std::move(units));
  return kXTOk;
}

int32_t NewString(const char16_t* text, int32_t length, XTString* string) {
  Host& host = Host::Current();
  if (host.Fails("new_string")) return kXTErrInjected;
  if (string == nullptr || length < 0 || (text == nullptr && length > 0)) return kXTErrParam;
  *string = host.strings.Add(std::u16string(text ? text : u"", static_cast<std::size_t>(length)));
  return kXTOk;
}

int32_t StringLength(XTString string, int32_t* length) {
  Host& host = Host::Current();
  if (host.Fails("string_length")) return kXTErrInjected;
  const std::u16string* units = host.strings.Find(string);
  if (units == nullptr || length == nullptr) return kXTErrParam;
  *length = static_cast<int32_t>(units->size());
  return kXTOk;
}

int32_t CopyString(XTString string, char16_t* buffer, int32_t capacity) {
  Host& host = Host::Current();
  if (host.Fails("copy_string")) return kXTErrInjected;
  const std::u16string* units = host.strings.Find(string);
  if (units == nullptr || buffer == nullptr || capacity < 0 ||
      units->size() + 1 > static_cast<std::size_t>(capacity)) {
    return kXTErrParam;
  }
  std::memcpy(buffer, units->data(), units->size() * sizeof(char16_t));
  buffer[units->size()] = u'\0';
  return kXTOk;
}

int32_t DisposeString(XTString string) {
  Host& host = Host::Current();
  if (host.Fails("dispose_string")) return kXTErrInjected;
  // A path object's text is borrowed: only the path object disposes of it.
  if (host.IsBorrowedString(string)) return kXTErrParam;
  return host.strings.Remove(string) ? kXTOk : kXTErrParam;
}

// --- QSC1: path objects ---

int32_t NewPath(XTPath* path) {
  Host& host = Host::Current();
  if (host.Fails("new_path")) return kXTErrInjected;
  if (path == nullptr) return kXTErrParam;
  PathObject object;
  object.text = host.strings.Add(std::u16string());
  *path = host.paths.Add(object);
  return kXTOk;
}

int32_t PathString(XTPath path, XTString* text) {
  Host& host = Host::Current();
  if (host.Fails("path_string")) return kXTErrInjected;
  const PathObject* object = host.paths.Find(path);
  if (object == nullptr || text == nullptr) return kXTErrParam;
  *text = object->text;
  return kXTOk;
}

int32_t DisposePath(XTPath path) {
  Host& host = Host::Current();
  if (host.Fails("dispose_path")) return kXTErrInjected;
  const PathObject* object = host.paths.Find(path);
  if (object == nullptr) return kXTErrParam;
  host.strings.Remove(object->text);
  host.paths.Remove(path);
  return kXTOk;
}

// --- LTA1: text converters ---

int32_t NewConverter(int32_t encoding, XTConverter* converter) {
  Host& host = Host::Current();
  if (converter == nullptr) return kXTErrParam;
  *converter = -1;
  if (host.Fails("new_converter")) return kXTErrInjected;
  if (encoding != kXTEncodingNarrow && encoding != kXTEncodingWindows1252) return kXTErrRefused;
  *converter = host.converters.Add(encoding);
  return kXTOk;
}

// The converter's encoding as a code page of platform/win (the narrow
// encoding is UTF-8); 0 for an unknown converter.
uint32_t CodePageOf(Host& host, XTConverter converter) {
  const int32_t* encoding = host.converters.Find(converter);
  if (encoding == nullptr) return 0;
  return *encoding == kXTEncodingWindows1252 ? win::kCodePageWestern : win::kCodePageUtf8;
}

int32_t ConvertToText(XTConverter converter, const char16_t* text, int32_t count, char* out,
                      int32_t* out_length) {
  Host& host = Host::Current();
  if (host.Fails("convert_to_text")) return kXTErrInjected;
  const uint32_t codePage = CodePageOf(host, converter);
  if (codePage == 0 || count < 0 || (text == nullptr && count > 0) || out == nullptr || out_length == nullptr) {
    return kXTErrParam;
  }
  std::string bytes;
  if ((count > 0 && !win::WideToMultiByte(codePage, text, static_cast<std::size_t>(count), bytes)) ||
      *out_length < 0 || bytes.size() + 1 > static_cast<std::size_t>(*out_length)) {
    return kXTErrParam;
  }
  std::memcpy(out, bytes.c_str(), bytes.size() + 1);
  *out_length = static_cast<int32_t>(bytes.size() + 1);
  return kXTOk;
}

int32_t ConvertFromText(XTConverter converter, const char* text, int32_t count, char16_t* out,
                        int32_t* out_units) {
  Host& host = Host::Current();
  if (host.Fails("convert_from_text")) return kXTErrInjected;
  const uint32_t codePage = CodePageOf(host, converter);
  if (codePage == 0 || count < 0 || (text == nullptr && count > 0) || out_units == nullptr || *out_units < 0 ||
      (out == nullptr && *out_units > 0)) {
    return kXTErrParam;
  }
  std::u16string units;
  if ((count > 0 && !win::MultiByteToWide(codePage, text, static_cast<std::size_t>(count), units)) ||
      units.size() > static_cast<std::size_t>(*out_units)) {
    return kXTErrParam;
  }
  if (!units.empty()) std::memcpy(out, units.data(), units.size() * sizeof(char16_t));
  *out_units = static_cast<int32_t>(units.size());
  return kXTOk;
}

int32_t DisposeConverter(XTConverter converter) {
  Host& host = Host::Current();
  if (host.Fails("dispose_converter")) return kXTErrInjected;
  return host.converters.Remove(converter) ? kXTOk : kXTErrParam;
}

// --- XRSa: the error state ---

void SetError(int32_t error) {
  Host& host = Host::Current();
  if (host.Fails("set_error")) return;
  host.error_state = error;
}

int32_t CurrentError() {
  Host& host = Host::Current();
  if (host.Fails("current_error")) return kXTErrInjected;
  return host.error_state;
}

void ReportError() {
  Host& host = Host::Current();
  if (host.Fails("report_error")) return;
  host.transcript().Line("error " + std::to_string(host.error_state) + " reported");
}

// --- XESa: alert parameter texts ---

int32_t SetParamTexts(XTString text3, XTString text0, XTString text1, XTString text2) {
  Host& host = Host::Current();
  if (host.Fails("set_param_texts")) return kXTErrInjected;
  const XTString ids[4] = {text0, text1, text2, text3};
  std::array<std::u16string, 4> texts;
  std::string line = "alert texts";
  for (int i = 0; i < 4; ++i) {
    const std::u16string* units = host.strings.Find(ids[i]);
    std::string narrow;
    if (units == nullptr || !Utf16ToUtf8(*units, &narrow)) return kXTErrParam;
    texts[i] = *units;
    line += " " + Transcript::Quote(narrow);
  }
  host.app().alert_texts = texts;
  host.transcript().Line(line);
  return kXTOk;
}

}  // namespace

const XTStringSuite kStringSuite = {kXTSuiteQSB1, NewStringFromText, NewString,
                                    StringLength, CopyString,        DisposeString};
const XTPathSuite kPathSuite = {kXTSuiteQSC1, NewPath, PathString, DisposePath};
const XTConverterSuite kConverterSuite = {kXTSuiteLTA1, NewConverter, ConvertToText,
                                          DisposeConverter, ConvertFromText};
const XTErrorSuite kErrorSuite = {kXTTableXRSa, SetError, CurrentError, ReportError};
const XTAlertTextSuite kAlertTextSuite = {kXTTableXESa, SetParamTexts};

}  // namespace xthost
