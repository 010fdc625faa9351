// Generated stand-in documents of long stories (the host document format's
// JSON), for the measurements and the output digests of long texts:
//
// - ChainedDocument: `boxes` text boxes of 540 by 120 points, one a page,
//   with four 100-unit paragraphs each; `chained` links them all into one
//   story of 4 * boxes paragraphs, else every box has a story of its own.
//   Each box shows its four paragraphs (two lines each) in both cases.
// - LongStoryDocument: `paragraphs` paragraphs of 100 units in `stories`
//   stories (a share each), every story in a box of its own, four boxes a
//   page; one story lets nearly all of its text run overset.
//
// A paragraph is three runs: 88 plain units, "again" in bold, " ends." and
// its return (a story's last paragraph has no return).
#pragma once

#include <string>

namespace testutil {

namespace long_story {

inline std::string Head(int pages) {
  std::string out = R"({"format": "xthost document", "version": 1,
  "fonts": [{"id": 3, "name": "Times"}, {"id": 5, "name": "Arial"}],
  "characterAttributes": [{"font": 3}, {"font": 5, "faces": 1}],
  "layouts": [{"name": "Print", "spreads": [)";
  for (int s = 0; s < pages; ++s) out += s ? ", {\"pages\": [{}]}" : "{\"pages\": [{}]}";
  return out + "]}],\n  \"boxes\": [";
}

inline std::string Box(int id, int story, int spread, int top, int height) {
  return "{\"id\": " + std::to_string(id) + ", \"story\": " + std::to_string(story) +
         ", \"spread\": " + std::to_string(spread) + ", \"bounds\": [36, " + std::to_string(top) +
         ", 576, " + std::to_string(top + height) + "]}";
}

// A story of `paragraphs` paragraphs.
inline std::string Story(int id, int paragraphs) {
  const std::string plain = "The quick brown fox jumps over the lazy dog ";  // 44 units
  std::string text, paras, runs;
  for (int p = 0; p < paragraphs; ++p) {
    const bool end = p + 1 < paragraphs;
    text += plain + plain + "again ends." + (end ? "\\r" : "");
    const char* sep = p ? ", " : "";
    paras += sep + std::string("[0, ") + (end ? "100" : "99") + "]";
    runs += sep + std::string("[0, 88], [1, 5], [0, ") + (end ? "7" : "6") + "]";
  }
  return "{\"id\": " + std::to_string(id) + ", \"text\": \"" + text + "\", \"paragraphs\": [" + paras +
         "], \"runs\": [" + runs + "]}";
}

}  // namespace long_story

inline std::string ChainedDocument(int boxes, bool chained) {
  std::string out = long_story::Head(boxes);
  for (int i = 0; i < boxes; ++i) {
    out += (i ? ",\n    " : "") + long_story::Box(i + 1, chained ? 1 : i + 1, i + 1, 36, 120);
  }
  out += "],\n  \"stories\": [";
  for (int i = 0; i < (chained ? 1 : boxes); ++i) {
    out += (i ? ",\n    " : "") + long_story::Story(i + 1, chained ? 4 * boxes : 4);
  }
  return out + "]}\n";
}

inline std::string LongStoryDocument(int paragraphs, int stories) {
  std::string out = long_story::Head((stories + 3) / 4);
  for (int i = 0; i < stories; ++i) {
    out += (i ? ",\n    " : "") + long_story::Box(i + 1, i + 1, i / 4 + 1, 36 + (i % 4) * 180, 170);
  }
  out += "],\n  \"stories\": [";
  for (int i = 0; i < stories; ++i) {
    const int share = paragraphs / stories + (i < paragraphs % stories ? 1 : 0);
    out += (i ? ",\n    " : "") + long_story::Story(i + 1, share);
  }
  return out + "]}\n";
}

}  // namespace testutil
