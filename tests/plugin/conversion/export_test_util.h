// Helpers of the export tests: a book written through the export facade
// into a scratch folder and read back with the container's readers, runs
// described in one short text each, and the attributes in force of a run.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "kxt/element_model_util.h"
#include "plugin/conversion/kxt_export.h"
#include "tests/common/temp_dir.h"

namespace export_test {

using element_test::Attrs;

// The value of `name` in force for run r of paragraph p of story s:
// the run's own, else the paragraph's, story's, document's, book's.
inline std::u16string InForce(const element_test::Book& book, size_t s, size_t p, size_t r, const std::u16string& name) {
  const auto& doc = book.documents.at(0);
  const auto& story = doc.stories.at(s);
  const auto& para = story.paragraphs.at(p);
  for (const Attrs* level : {&para.runs.at(r).attrs, &para.attrs, &story.attrs, &doc.attrs, &book.attrs}) {
    auto found = level->find(name);
    if (found != level->end()) return found->second;
  }
  return u"<none>";
}

inline std::string Narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

// "U<codepage>:<hex units>", "W<codepage>:...", "M...", or
// "S:<name>/<data>,..." for a special-character run; the code page is the
// one in force.
inline std::string Describe(const element_test::Book& book, size_t s, size_t p, size_t r) {
  const element_test::Run& run = book.documents.at(0).stories.at(s).paragraphs.at(p).runs.at(r);
  std::string text;
  char hex[8];
  switch (run.kind) {
    case element_test::RunKind::kSpecialChars: {
      text = "S:";
      return text + std::to_string(run.records.size());
    }
    case element_test::RunKind::kUnicodes: text = "U"; break;
    case element_test::RunKind::kWideMultibytes: text = "W"; break;
    default: text = "?"; break;
  }
  text += Narrow(InForce(book, s, p, r, u"codepage")) + ":";
  for (char16_t c : run.units) {
    std::snprintf(hex, sizeof hex, "%04x", static_cast<unsigned>(c));
    text += hex;
  }
  return text;
}

// Every run of paragraph p of story s, described, joined by " ".
inline std::string Runs(const element_test::Book& book, size_t s, size_t p) {
  std::string out;
  const auto& runs = book.documents.at(0).stories.at(s).paragraphs.at(p).runs;
  for (size_t r = 0; r < runs.size(); ++r) out += (r ? " " : "") + Describe(book, s, p, r);
  return out;
}

}  // namespace export_test
