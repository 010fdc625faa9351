// Round trips through the menu of the built xthost: small documents with
// objects side by side, objects followed by equal texts, a paragraph
// without tab stops under a style sheet with some, a special character
// right after an object, a non-breaking hyphen, and column and box breaks
// inside a paragraph and at the end of a run and of the story over two
// chained boxes.  Each is exported, imported untouched and imported after a
// pseudo-translation; a Python reader of the saved documents compares every
// story with the source.
// Paragraph sheets behind a character sheet, and a sheet name longer than
// the host's record: the container's style names.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "tests/common/kxt_pseudo_py.h"
#include "tests/common/kxt_witness_py.h"
#include "tests/common/python.h"
#include "tools/kxtpseudo/kxt_pseudo.h"
#include "ui_run_util.h"

namespace {

using namespace ui_run;

// compare.py SOURCE RESULT MODE: one line per difference between the
// stories of SOURCE and those of RESULT (host documents as saved), nothing
// when they agree.  Every unit is compared with its character attributes
// (object and opcode included), every paragraph with its format (tab stops
// included).  MODE "untouched" expects the source; "translated" expects
// each run of plain text in the pseudo-translation the container carried.
// A unique-id tag counts by its number ("%8d" comes back), and with
// "nonbreaking" U+00A0 counts as a blank and only blanks and hyphens keep
// the non-breaking flag (the container carries it on them alone); with
// "hidden" the text between hidden-text markers stays untranslated.  Any
// character with the plug-in's mark is a difference.
const std::string kComparePy = testutil::kPseudoRulePy + R"PY(
import json, sys
source, result = (json.load(open(p, encoding='utf-8')) for p in sys.argv[1:3])
mode = sys.argv[3]
nonbreaking = 'nonbreaking' in sys.argv[4:]
def attributes(doc):
    table = doc.get('characterAttributes') or [{}]
    full = []
    for a in table:
        b = {'font': 0, 'faces': 0, 'size': 12, 'shift': 0, 'color': 0, 'style': 0, 'kerning': 0,
             'tracking': 0, 'flags': 0, 'script': 0, 'region': 0, 'opcode': 0, 'object': 0, 'mark': 0}
        b.update(a)
        full.append(b)
    return full
def formats(doc):
    table = doc.get('paragraphFormats') or [{}]
    full = []
    for f in table:
        g = {'style': 0, 'alignment': 0, 'leftIndent': 0, 'rightIndent': 0, 'firstIndent': 0, 'leading': 0,
             'spaceBefore': 0, 'spaceAfter': 0, 'hj': 0, 'flags': 0, 'tabs': []}
        g.update(f)
        full.append(g)
    return full
def runs(doc, story):
    table = attributes(doc)
    out, at = [], 0
    for index, length in story['runs']:
        a = dict(table[index])
        text = story['text'][at:at + length]
        at += length
        if a['opcode'] == 136:
            text = '#' + str(int(text[1:]))
        if length:
            out.append([text, a])
    return out
def units(rs):
    out = []
    for text, a in rs:
        for c in text:
            b = dict(a)
            if nonbreaking:
                c = ' ' if c == '\u00a0' else c
                if c not in ' -':
                    b['flags'] &= ~0x80
            out.append((c, tuple(sorted(b.items()))))
    return out
def paragraphs(doc, story):
    table = formats(doc)
    return [table[index] for index, length in story['paragraphs']]
stories = {s['id']: s for s in result.get('stories', [])}
for story in source.get('stories', []):
    got = stories.get(story['id'])
    if got is None:
        print('story', story['id'], 'missing')
        continue
    want = runs(source, story)
    depth = 0
    for i, (text, a) in enumerate(want):
        depth += ('hidden' in sys.argv[4:]) * {0x20: 1, 0x40: -1}.get(a['opcode'] & 0x60, 0)
        want[i] = [pseudo(text) if mode == 'translated' and a['opcode'] == 0 and depth <= 0 else text, a]
    have = runs(result, got)
    for text, a in have:
        if a['mark']:
            print('story', story['id'], 'mark', hex(a['mark']), 'on', repr(text))
    if units(want) != units(have):
        print('story', story['id'], 'units', want, '!=', have)
    if paragraphs(source, story) != paragraphs(result, got):
        print('story', story['id'], 'paragraphs', paragraphs(source, story), '!=', paragraphs(result, got))
)PY";

struct RoundTrip {
  const char* document;  // in tests/data/roundtrip
  const char* options;   // for the comparison
  const char* styles = nullptr;  // each paragraph's "stylename" in the container and a blank ("-": none)
  const char* settings = "";
};

// Each paragraph's "stylename" in the container (element witness).
std::string StyleNames(const fs::path& kxq) {
  std::string names;
  const std::regex name("\"stylename\": \"([^\"]*)\"");
  std::smatch m;
  for (const std::string& line : testutil::WitnessLines(testutil::kKxtDumpPy, kxq.string())) {
    if (line.rfind("paragraph ", 0) == 0) names += std::regex_search(line, m, name) ? m[1].str() + " " : "- ";
  }
  return names;
}

TEST(RoundTripObjects, EachStoryComesBackAsItWasExportedUntouchedAndTranslated) {
  const RoundTrip cases[] = {
      // Two anchored pictures, then two one-unit objects, side by side.
      {"f2_adjacent_anchors.json", ""},
      {"f2_adjacent_objects.json", ""},
      // Two objects followed by the same text, behind a unique-id tag.
      {"f3_equal_keys.json", ""},
      // A paragraph without tab stops under a style sheet with one.
      {"f4_style_sheet_tabs.json", ""},
      // A special character right after an object.
      {"f6_special_after_object.json", ""},
      // Blanks and a hyphen under the non-breaking flag.
      {"f10_non_breaking_hyphen.json", "nonbreaking"},
      // Column and box breaks within a run, at its end, and the story's
      // last unit in a run of its own.
      {"f12_column_and_box_breaks.json", ""},
      // Paragraphs named after their own sheet behind a character sheet.
      {"f11_body_after_character_sheet.json", "", "Body "},
      {"f11_body_among_four_sheets.json", "", "Body Body "},
      // A name cut at the host record's 64 units in the middle of a pair
      // loses the pair's first half too.
      {"f13_style_name_cut_in_a_pair.json", "", "Heading sheet whose name is longer than the record it goes in:  "},
      // With SkipProcessHidden, hidden words (also around paragraph ends) and objects stay.
      {"f14_skip_hidden.json", "hidden", nullptr, "SkipProcessHidden=True\n"},
  };
  const fs::path data = fs::path(BRENIX_TEST_DATA) / "roundtrip";
  for (const RoundTrip& c : cases) {
    SCOPED_TRACE(c.document);
    Installation install(std::string("[QUARK]\nSetUniqueID=True\n") + c.settings);
    const fs::path source = install.root() / "source.qxp";
    WriteFile(source, ReadFile(data / c.document));
    const fs::path kxq = install.root() / "source.kxq";
    const HostRun exported = RunHost(install, {"--answer", kxq.string(), "--answer", "OK", "start", "open",
                                               source.string(), "menu", "Export current document"});
    ASSERT_EQ(exported.status, 0) << exported.errors;
    EXPECT_EQ(Only(exported, {"dialog 2 text"}), (std::vector<std::string>{"dialog 2 text \"Export done\""}));
    EXPECT_EQ(exported.log.find("ERROR"), std::string::npos) << exported.log;
    if (c.styles != nullptr) {
      EXPECT_EQ(StyleNames(kxq), c.styles);
    }
    const fs::path translated = install.root() / "translated.kxq";
    kxtpseudo::PseudoTranslate(kxq.string(), translated.string(), false);

    for (const char* mode : {"untouched", "translated"}) {
      SCOPED_TRACE(mode);
      const bool untouched = std::string(mode) == "untouched";
      const fs::path target = install.root() / (std::string(mode) + ".qxp");
      const HostRun imported =
          RunHost(install, {"--answer", (untouched ? kxq : translated).string(), "--answer", target.string(),
                            "--answer", "OK", "start", "menu", "Import Solvane file"});
      ASSERT_EQ(imported.status, 0) << imported.errors;
      EXPECT_EQ(Only(imported, {"dialog 1 text"}), (std::vector<std::string>{"dialog 1 text \"Import done\""}));
      EXPECT_EQ(imported.log.find("not been imported"), std::string::npos) << imported.log;
      EXPECT_EQ(testutil::PythonOutput(kComparePy, {source.string(), target.string(), mode, c.options}), "");
    }
  }
}

}  // namespace
