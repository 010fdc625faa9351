#include "plugin/qapi/box_call.h"

#include "support/host_link.h"

int32_t QapiBoxCall4(uint32_t value) {
  if (const XTBoxSuite* boxes = XT().boxes) boxes->refresh_box(value);
  return 0;
}

uint32_t QapiBoxUpdateWord() {
  const XTBoxSuite* boxes = XT().boxes;
  if (boxes == nullptr || boxes->update_word == nullptr) return static_cast<uint32_t>(kXTErrNoSuite);
  uint32_t word = 0;
  const int32_t result = boxes->update_word(&word);
  return result == kXTOk ? word : static_cast<uint32_t>(result);
}
