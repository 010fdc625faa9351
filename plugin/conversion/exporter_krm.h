// Stand-in until the XTags exporter lands: the interface the export command
// uses, writing the header and an empty block per layout.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <string_view>

#include "plugin/qapi/quark_doc.h"

class WideTextStream {
 public:
  explicit WideTextStream(std::ostream& bytes) : mBytes(bytes) {}
  WideTextStream(const WideTextStream&) = delete;
  WideTextStream& operator=(const WideTextStream&) = delete;

  WideTextStream& operator<<(std::u16string_view text) {
    for (char16_t unit : text) {
      mBytes.put(static_cast<char>(unit & 0xFF));
      mBytes.put(static_cast<char>(unit >> 8));
    }
    return *this;
  }
  bool Flush() {
    mBytes.flush();
    if (!mBytes) mBad = true;
    return !mBad;
  }
  bool good() const { return !mBad; }

 private:
  std::ostream& mBytes;
  bool mBad = false;
};

class ExporterKrm {
 public:
  static std::unique_ptr<ExporterKrm> Create(RefHandle<QuarkDoc> document, WideTextStream* out,
                                             std::set<int32_t>*) {
    if (!document || out == nullptr) return nullptr;
    return std::unique_ptr<ExporterKrm>(new ExporterKrm(out));
  }
  void WriteFile() { *mOut << u"<KRM>\n</KRM>\n"; }

  int32_t layoutKind = 0;
  int32_t layoutIndex = 0;
  int32_t highestUniqueId = 0;

 private:
  explicit ExporterKrm(WideTextStream* out) : mOut(out) {}
  WideTextStream* mOut;
};

inline void WriteKrmHeader(WideTextStream& out, const std::string& sourcePath) {
  out << u"\uFEFF<Header>\n<QxpSource>\"" << std::u16string(sourcePath.begin(), sourcePath.end())
      << u"\"</QxpSource>\n</Header>\n";
}
