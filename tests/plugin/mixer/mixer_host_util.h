// The document host of the qapi tests with the layout and item-data suites
// bound as well, the testMode setting switched by a settings file of the
// test's own, and fixtures written from JSON text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "support/host_link.h"
#include "tests/plugin/qapi/doc_host_util.h"

class MixerHost : public DocHost {
 public:
  explicit MixerHost(const std::string& fail = "");
  // Writes `json` as `name` in the temporary folder and opens it as the
  // current document.
  int32_t OpenText(const std::string& name, const std::string& json);
  // Loads a settings file holding testMode = `value`.
  void SetTestMode(int value);
  // Memory blocks, strings and polygons the host still holds.
  std::size_t OpenHandles();
};

// The item handle of item `id` of document `document`.
inline int32_t ItemHandle(int32_t document, int32_t id) { return document << 16 | id; }
