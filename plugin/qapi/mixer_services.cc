#include "plugin/qapi/mixer_services.h"

#include <cstring>

#include "framework/failures.h"
#include "support/host_file_spec.h"
#include "support/host_link.h"
#include "support/paths.h"

namespace {

// Both bounded copies: unit by unit, the terminator included, never at or
// past the capacity.
template <class Unit>
void CopyBoundedUnits(uint32_t maxLen, Unit* text, const Unit* source) {
  if (maxLen == 0) return;
  text[0] = source[0];
  for (uint32_t i = 1; text[i - 1] != Unit(0); ++i) {
    if (i >= maxLen) {
      AssertFail(__FILE__, __LINE__, "theLen < mMaxLen");
      text[maxLen - 1] = Unit(0);
      return;
    }
    text[i] = source[i];
  }
}

}  // namespace

namespace Mixer {

void CopyBoundedWide(uint32_t maxLen, char16_t* text, const char16_t* source) {
  CopyBoundedUnits(maxLen, text, source);
}

void CopyBounded(uint32_t maxLen, char* text, const char* source) {
  CopyBoundedUnits(maxLen, text, source);
}

bool EnsureContentTool() {
  const XTSelectionSuite* selection = XT().lgh2;
  if (selection == nullptr) return false;
  int32_t mode = 0;
  if (selection->tool_mode(&mode) != kXTOk) return false;
  if (mode == 1) return true;
  return selection->set_tool_mode(1) == kXTOk;
}

XTBox MakeCurrent(int32_t storyId) {
  const XTSelectionSuite* selection = XT().lgh2;
  if (selection == nullptr) return 0;
  EnsureContentTool();
  XTBox previous = 0;
  HostCall("current_box", selection->current_box(&previous));
  XTBox box = 0;
  if (selection->box_of_story(storyId, &box) != kXTOk || box == 0) return previous;
  if (previous != box) HostCall("set_current_box", selection->set_current_box(box));
  uint8_t open = 0;
  if (HostCall("text_open", selection->text_open(box, &open)) == kXTOk && open == 0)
    HostCall("open_text", selection->open_text(box));
  return previous;
}

}  // namespace Mixer

int32_t GetCurrentDocumentLocation(std::string* name, std::string* folder) {
  if (name == nullptr || folder == nullptr) return 12;
  const HostLink& link = XT();
  if (link.projects == nullptr || link.lgi2 == nullptr || link.files == nullptr) return kXTErrNoSuite;
  XTProject project = 0;
  int32_t result = link.projects->current_project(&project);
  if (result != kXTOk) return result;
  XTFileSpec spec{};
  result = link.lgi2->project_file_spec(project, &spec);
  if (result != kXTOk) return result;
  // The name as the host's file object gives it; the folder from the
  // spec's full path.
  XTFile file = 0;
  result = link.files->new_file(&file);
  if (result != kXTOk) return result;
  std::string fileName;
  int32_t folderId = 0;
  result = link.files->set_file_spec(file, &spec);
  if (result == kXTOk) result = FileSpecToNameAndFolder(file, &fileName, &folderId);
  link.files->dispose_file(file);
  std::string path;
  if (result == kXTOk) result = FSSpecToPath(path, spec);
  if (result != kXTOk) return result;
  CutAtLast(path, kPathSeparator, true);
  *name = fileName;
  *folder = path;
  return kXTOk;
}
