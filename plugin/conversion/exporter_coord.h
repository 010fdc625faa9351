// Stand-in until the coordinates exporter lands: the interface the export
// command uses, writing the header and no paragraph lines.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <set>
#include <string>

#include "plugin/qapi/quark_doc.h"

class ExporterCoord {
 public:
  static std::unique_ptr<ExporterCoord> Create(RefHandle<QuarkDoc> document, std::ostream* out,
                                               std::set<int32_t>*) {
    if (!document || out == nullptr) return nullptr;
    return std::unique_ptr<ExporterCoord>(new ExporterCoord());
  }
  int32_t Run() { return 0; }

  int32_t layoutKind = 0;
  int32_t layoutIndex = 0;
  int32_t highestUniqueId = 0;
};

inline void WriteCoordinatesHeader(std::ostream& out, const std::string& sourcePath) {
  const std::string hyphens(80, '-');
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<!--\n" << hyphens
      << "\nParagraph coordinates:\n" << sourcePath << "\n" << hyphens << "\n-->\n" << std::flush;
}
