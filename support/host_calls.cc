#include "support/host_calls.h"

#include <climits>
#include <vector>

#include "platform/win/code_pages.h"
#include "support/conversion_state.h"
#include "support/error_names.h"
#include "support/host_link.h"
#include "support/host_result.h"

const char kApiCheckText[] = "debug_check(APIERR): Something strange happend!";

int32_t ConvertUnicodeToText(int32_t count, const char16_t* text16, int32_t* outLength, char* out,
                             bool* converted, int32_t encoding) {
  const XTErrorSuite* errors = XT().errors;
  const XTConverterSuite* converters = XT().lta1;
  if (errors == nullptr || converters == nullptr) return TraceLevel(kXTErrNoSuite, kApiCheckText);
  errors->set_error(0);

  int32_t bad = 0;
  if (converted == nullptr) {
    bad = 8;
  } else {
    *converted = false;
    if (count <= 0) {
      bad = 4;
    } else if (text16 == nullptr) {
      bad = 5;
    } else if (outLength == nullptr || *outLength <= 0) {
      bad = 6;
    } else if (out == nullptr) {
      bad = 7;
    }
  }
  if (bad != 0) {
    errors->set_error(bad);
    errors->report_error();
    return TraceLevel(errors->current_error(), kApiCheckText);
  }

  XTConverter converter = -1;
  int32_t result = HostCall("new_converter", converters->new_converter(encoding, &converter));
  // A host that answers success without a converter has failed all the same.
  if (result == kXTOk && converter == -1) result = kXTErrParam;
  if (result == kXTOk) {
    int32_t length = *outLength;
    result = HostCall("convert_to_text", converters->convert_to_text(converter, text16, count, out, &length));
    if (result == kXTOk) {
      *outLength = length - 1;  // the terminator is not counted
      *converted = true;
    }
    CleanUp("dispose_converter", converters->dispose_converter(converter));
  }
  errors->set_error(result);
  // The host's error state is the answer; one that does not hold what was
  // just set means the host's error calls failed.
  const int32_t state = errors->current_error();
  if (state != result) HostCall("set_error/current_error", state);
  return TraceLevel(state, kApiCheckText);
}

int32_t HostStringToStd(XTString hostString, std::string& out, bool* converted) {
  bool ignored = false;
  if (converted == nullptr) converted = &ignored;
  const XTStringSuite* strings = XT().qsb1;
  if (strings == nullptr) return TraceLevel(kXTErrNoSuite, kApiCheckText);

  int32_t length = 0;
  int32_t result = HostCall("string_length", strings->string_length(hostString, &length));
  // Up to three bytes of UTF-8 per unit, and the terminator.
  if (result == kXTOk && (length < 0 || length > (INT32_MAX - 2) / 3)) result = kXTErrParam;
  if (result != kXTOk) return TraceLevel(result, kApiCheckText);
  if (length == 0) {
    out.clear();
    *converted = true;
    return TraceLevel(kXTOk, kApiCheckText);
  }
  std::vector<char16_t> units(static_cast<std::size_t>(length) + 1);
  result = HostCall("copy_string", strings->copy_string(hostString, units.data(), length + 1));
  if (result == kXTOk) {
    int32_t outLength = length * 3 + 2;
    std::vector<char> bytes(static_cast<std::size_t>(outLength));
    result = ConvertUnicodeToText(length, units.data(), &outLength, bytes.data(), converted,
                                  kXTEncodingNarrow);
    if (result == kXTOk) out.assign(bytes.data());
  }
  return TraceLevel(result, kApiCheckText);
}

int32_t NewHostString(const std::string& text, XTString* string) {
  const XTStringSuite* strings = XT().qsb1;
  if (strings == nullptr) return kXTErrNoSuite;
  std::u16string units;
  if (!win::MultiByteToWide(win::kCodePageSystem, text.data(), text.size(), units)) {
    return kXTErrParam;
  }
  return HostCall("new_string", strings->new_string(units.data(), static_cast<int32_t>(units.size()), string));
}

int32_t CallHostWithStrings(const std::string& t1, const std::string& t2, const std::string& t3,
                            const std::string& t4) {
  const XTStringSuite* strings = XT().qsb1;
  const XTAlertTextSuite* alerts = XT().alert_texts;
  if (strings == nullptr || alerts == nullptr) return TraceLevel(kXTErrNoSuite, kApiCheckText);
  const std::string* texts[4] = {&t1, &t2, &t3, &t4};
  XTString made[4] = {0, 0, 0, 0};
  int32_t result = kXTOk;
  bool all = true;
  for (int i = 0; i < 4; ++i) {
    const int32_t r = NewHostString(*texts[i], &made[i]);
    if (r != kXTOk) made[i] = 0;
    all = all && r == kXTOk;
    FirstFailure(result, r);
  }
  if (all) FirstFailure(result, HostCall("set_param_texts", alerts->set_param_texts(made[3], made[0], made[1], made[2])));
  for (XTString string : made) {
    if (string != 0) CleanUp("dispose_string", strings->dispose_string(string));
  }
  return TraceLevel(result, kApiCheckText);
}

void ResetConversionState() {
  CurrentConversionState() = ConversionState();
  CallHostWithStrings("", "", "", "");
}

int32_t CloseCurrentProject(int32_t project, int32_t mode) {
  const XTProjectSuite* projects = XT().projects;
  if (projects == nullptr) return TraceLevel(kXTErrNoSuite, kApiCheckText);
  XTProject target = project;
  if (project == -1 || project == -2) {
    const int32_t result = projects->current_project(&target);
    if (result != kXTOk) return TraceLevel(result, "No current project available for close!");
  }
  return TraceLevel(projects->close_project(target, mode), "Close project error!");
}

int32_t HostCallSlot79(int32_t a, int32_t b, int32_t c, int32_t d) {
  const XTNoteSuite* notes = XT().notes;
  if (notes == nullptr) return kXTErrNoSuite;
  return notes->note_values(b, c, a, d);
}
