#include "plugin/mixer/text_copy.h"

#include "plugin/qapi/box_call.h"
#include "plugin/qapi/story_runs.h"
#include "support/host_link.h"
#include "support/host_result.h"

namespace {

constexpr int32_t kFailed = 12;

int32_t Signed(uint32_t value) { return static_cast<int32_t>(value); }

}  // namespace

int32_t QapiTextCall47(uint32_t document, uint32_t story, uint32_t start, uint32_t end,
                       uint32_t toDocument, uint32_t toStory, uint32_t position) {
  const XTStoryTextSuite* text = XT().lgf2;
  if (text == nullptr || text->copy_text == nullptr) return kFailed;
  const int32_t answer = text->copy_text(Signed(document), Signed(story), Signed(start), Signed(end),
                                         Signed(toDocument), Signed(toStory), Signed(position));
  // The host answers 1 for a copy made.
  if (answer != 1) {
    LogHostFailure("copy_text", answer);
    return kFailed;
  }
  NoteTextChange();
  return 0;
}

int32_t QapiStoryCall35(uint32_t story, uint32_t start, uint32_t end, uint32_t toStory,
                        uint32_t position) {
  const XTStoryTextSuite* text = XT().lgf2;
  if (text == nullptr || text->copy_story_text == nullptr) return kXTErrNoSuite;
  const int32_t result = text->copy_story_text(Signed(story), Signed(start), Signed(end),
                                               Signed(toStory), Signed(position));
  if (result != kXTOk) return result;
  QapiBoxCall4(0);
  NoteTextChange();
  return 1;
}
