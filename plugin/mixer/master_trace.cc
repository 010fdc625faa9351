#include "plugin/mixer/master_trace.h"

#include <ostream>
#include <vector>

#include "plugin/qapi/story_runs.h"
#include "support/host_calls.h"
#include "support/host_link.h"
#include "support/program_log.h"
#include "support/settings.h"

const char kEmptyStoryText[] = "#-#-#- WARNING: EMPTY STORY -#-#-#";

namespace {

// The masterPageLogMode of the first trace, kept for the process.
int32_t TraceMode() {
  static const int32_t mode = Settings::Instance().GetMasterPageLogMode();
  return mode;
}

// The units of a story as narrow text, through a host string.
std::string NarrowText(const std::u16string& units) {
  const XTStringSuite* strings = XT().qsb1;
  if (strings == nullptr) return std::string();
  XTString string = 0;
  std::string text;
  if (strings->new_string(units.data(), static_cast<int32_t>(units.size()), &string) == kXTOk) {
    HostStringToStd(string, text);
    strings->dispose_string(string);
  }
  return text;
}

}  // namespace

void LogMasterPageTrace(XTItem box, const std::string& label, int32_t number) {
  const int32_t mode = TraceMode();
  if (mode < 4) return;
  static const std::string rule = "\n" + std::string(80, '~') + "\n";
  std::ostream& log = ProgramLog();
  log << std::endl << label;
  if (number >= 0) log << ' ' << number;
  log << ": " << std::hex << static_cast<uint32_t>(box) << std::dec;
  if (mode == 4) {
    log << std::endl;
  } else {
    log << rule << GetBoxStoryText(box) << rule;
  }
}

void LogMasterPageTrace(const ct_Box& box, const std::string& label, int32_t number) {
  LogMasterPageTrace(box.box, label, number);
}

std::string GetBoxStoryText(const XTItem& box) {
  const HostLink& link = XT();
  int32_t story = 0;
  if (link.lgk2 == nullptr || link.lgk2->item_story(box, &story) != kXTOk || story <= 0)
    return kEmptyStoryText;
  StoryRuns runs(story);
  runs.RefreshIfStale();
  if (runs.textLength < 1 || link.lgf2 == nullptr) return kEmptyStoryText;
  std::u16string units(static_cast<std::size_t>(runs.textLength), u'\0');
  if (link.lgf2->read_text(runs.textRef, 0, runs.textLength, units.data()) != kXTOk)
    return kEmptyStoryText;
  return NarrowText(units);
}
