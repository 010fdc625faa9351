// Code files below the code-file writer: a raw code-file stream with its
// summary set, and a receiver that lists what an enumeration reports.
#pragma once

#include <cstdint>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "framework/code_file.h"
#include "framework/ole_storage.h"
#include "framework/property_set.h"
#include "tests/common/ole_streams.h"

namespace testutil {

// Puts `bytes` as the "SolvaneCodeFile" stream of `storage`, with a summary
// set giving the format version major.minor (a negative part is left out).
inline void PutCodeFileStream(OLEStorage& storage, const std::string& bytes, int major, int minor) {
  PutStreamBytes(storage, u"SolvaneCodeFile", bytes);
  PropertySet summary(u"\x0005SolvaneSummaryInformation");
  if (major >= 0) summary += Property(3001, Variant(static_cast<uint16_t>(major)));
  if (minor >= 0) summary += Property(3000, Variant(static_cast<uint16_t>(minor)));
  summary.Put(storage);
}

// Keeps every (name, id) an enumeration reports and stops it after `limit`.
struct IdCollector : CF_EnumerableInStorage::IdentifierReceiver {
  explicit IdCollector(size_t limit = SIZE_MAX) : limit(limit) {}
  bool Receive(const char* name, int32_t id) override {
    seen.emplace_back(name, id);
    return seen.size() < limit;
  }
  std::vector<std::pair<std::string, int32_t>> seen;
  size_t limit;
};

}  // namespace testutil
