#include "plugin/qapi/box_call.h"

#include "support/host_link.h"

int32_t QapiBoxCall4(uint32_t value) {
  if (const XTBoxSuite* boxes = XT().boxes) boxes->refresh_box(value);
  return 0;
}
