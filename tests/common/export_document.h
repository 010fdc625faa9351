// A generated stand-in document for export measurements: `stories` text
// boxes, four to a spread, each holding its own story of `paragraphs`
// paragraphs, the last without a paragraph end.  A paragraph has three
// runs: plain text, a bold run in another font, plain text again; every
// tenth paragraph ends with a fourth, non-breaking run that starts with a
// tab.  The text is the host document format's JSON.
#pragma once

#include <string>

namespace testutil {

inline std::string ExportDocument(int stories, int paragraphs = 10) {
  // Each piece with its length in units (an escape such as "\\r" is one).
  const std::string first = "The quick brown fox jumps over the lazy dog ";
  const std::string bold = "again";
  const std::string last = " and again.";
  const std::string nb = "\\tno break";
  const int plain = static_cast<int>(first.size()), strong = static_cast<int>(bold.size());
  const int tail = static_cast<int>(last.size()), nbLength = 9;
  const int spreads = (stories + 3) / 4;
  std::string out = R"({"format": "xthost document", "version": 1,
  "fonts": [{"id": 3, "name": "Times"}, {"id": 5, "name": "Arial"}],
  "characterAttributes": [{"font": 3}, {"font": 5, "faces": 1, "size": 10}, {"font": 3, "flags": 128}],
  "layouts": [{"name": "Print", "spreads": [)";
  for (int s = 0; s < spreads; ++s) out += s ? ", {\"pages\": [{}]}" : "{\"pages\": [{}]}";
  out += "]}],\n  \"boxes\": [";
  for (int i = 0; i < stories; ++i) {
    const int top = 36 + (i % 4) * 180;
    out += (i ? ",\n    " : "") + std::string(R"({"id": )") + std::to_string(i + 1) + R"(, "story": )" +
           std::to_string(i + 1) + R"(, "spread": )" + std::to_string(i / 4 + 1) + R"(, "bounds": [36, )" +
           std::to_string(top) + ", 576, " + std::to_string(top + 170) + "]}";
  }
  out += "],\n  \"stories\": [";
  for (int i = 0; i < stories; ++i) {
    std::string text, paras, runs;
    for (int p = 0; p < paragraphs; ++p) {
      const int end = p == paragraphs - 1 ? 0 : 1;  // the paragraph end
      const bool withTab = p % 10 == 9;
      text += first + bold + last + (withTab ? nb : "") + (end ? "\\r" : "");
      const int length = plain + strong + tail + (withTab ? nbLength : 0) + end;
      paras += (p ? ", [0, " : "[0, ") + std::to_string(length) + "]";
      runs += (p ? ", [0, " : "[0, ") + std::to_string(plain) + "], [1, " + std::to_string(strong) + "], [0, " +
              std::to_string(tail + (withTab ? 0 : end)) + "]" +
              (withTab ? ", [2, " + std::to_string(nbLength + end) + "]" : "");
    }
    out += (i ? ",\n    " : "") + std::string(R"({"id": )") + std::to_string(i + 1) + R"(, "text": ")" + text +
           R"(", "paragraphs": [)" + paras + R"(], "runs": [)" + runs + "]}";
  }
  out += "],\n  \"currentBox\": 1}\n";
  return out;
}

}  // namespace testutil
