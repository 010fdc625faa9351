// The export fixture (a Mac document in millimetres with a decimal comma:
// tabs, non-breaking runs, column and box breaks, page numbers, a unique id
// in both layouts, an anchored box, a hidden pair, font names beyond ASCII,
// a missing font, conflicting and mixed faces, every colour model and a
// failing one, own-script records, an empty story) exported through the
// harness and read back by the Python witness.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "host/host.h"
#include "tests/common/export_document.h"
#include "tests/common/kxt_witness_py.h"
#include "tests/common/python.h"
#include "tests/common/stored_copy_py.h"
#include "tests/plugin/conversion/export_harness.h"
#include "tests/plugin/conversion/exported_fixture.h"
#include "tests/plugin/mixer/mixer_host_util.h"

namespace {

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  return out;
}

using ExportFixture = ExportedFixture;

TEST_F(ExportFixture, TheWitnessDumpIsTheCheckedOne) {
  EXPECT_EQ(result.layouts, 2);
  EXPECT_EQ(result.maxUniqueId, 4711);
  const std::vector<std::string> lines = testutil::WitnessLines(testutil::kKxtDumpPy, target);
  const std::vector<std::string> checked = SplitLines(FixtureText("doc_export.dump"));
  EXPECT_EQ(lines, checked) << Joined(lines);
}

TEST_F(ExportFixture, TheStoredDocumentIsTheSavedFile) {
  ASSERT_TRUE(result.stored);
  const std::string same = testutil::PythonOutput(
      testutil::kStoredCopyPy + "import sys\nprint(*stored_against_saved(sys.argv[1], sys.argv[2]))\n",
      {target, host.Path("export.qxp")});
  EXPECT_EQ(same, "789c True ['0:-1', '0:-2', '1:-1', '1:-2']\n");
}

// Walked in Python over the in-force dump: each hidden id has exactly one
// "start" and, in a later run, one "end".
TEST_F(ExportFixture, AHiddenPairGivesOneStartThenOneEnd) {
  const std::string pairs = testutil::PythonOutput(
      testutil::kKxtDumpPy.substr(0, testutil::kKxtDumpPy.find("if __name__")) + R"PY(
import collections
seen = collections.defaultdict(list)
for n, line in enumerate(dump(sys.argv[1])):
    if line.startswith('run ') and ' RefPoints style ' in line:
        rest = line.split(' RefPoints style ', 1)[1].split(' ', 1)[1]
        for pid, _, kind in json.JSONDecoder().raw_decode(rest)[0]:
            seen[pid].append((kind, n))
for pid, marks in sorted(seen.items()):
    print(' '.join(k for k, _ in marks), marks[0][1] < marks[-1][1])
)PY",
      {target});
  EXPECT_EQ(pairs, "start end True\n");
}

// The benchmark's generated document: every story with its ten
// paragraphs of three runs (the tenth with a fourth, non-breaking one).
TEST(GeneratedDocument, ExportsEveryStoryAndParagraph) {
  MixerHost host;
  static XTRegisterRec record = xthost::MakeRegisterRec();
  XT().registration = &record;
  host.OpenText("generated.qxp", testutil::ExportDocument(6));
  LogCapture log;
  const std::string target = host.Path("generated.kxq");
  ASSERT_TRUE(export_test::ExportCurrentProject(target).stored);
  std::map<std::string, int> counts;
  int nonBreaking = 0;
  for (const std::string& line : testutil::WitnessLines(testutil::kKxtDumpPy, target)) {
    ++counts[line.substr(0, line.find(' '))];
    nonBreaking += line.find(R"(Unicodes style - "\tno\u00a0break")") != std::string::npos;
  }
  EXPECT_EQ(counts["story"], 6);
  EXPECT_EQ(counts["paragraph"], 60);
  EXPECT_EQ(counts["run"], 6 * (9 * 3 + 4));
  EXPECT_EQ(nonBreaking, 6);
}

}  // namespace

// The typeface a font name becomes, worked out in Python apart from the
// export: a font of its own script (the host's double-byte scripts) keeps
// its name's bytes in its script's Windows code page, one unit each; any
// other name of this Mac document goes to Windows-1252 ('?' where that
// cannot hold a character) and its bytes above 0x7F to Mac Roman as iconv
// converts them (None where iconv cannot tell: the table's own choice).
const char kTypefacePy[] = R"PY(
import subprocess
OWN = {1: 'cp932', 2: 'cp950', 3: 'cp949', 25: 'cp936'}
def typeface_units(font):
    name = font['name']
    if font.get('script') in OWN:
        return [chr(b) for b in name.encode(OWN[font['script']])], 'own'
    units, kind = [], 'ascii'
    for c in name:
        if ord(c) < 0x80:
            units.append(c)
            continue
        try:
            b = c.encode('cp1252')
        except UnicodeEncodeError:
            units.append('?')
            kind = 'replaced'
            continue
        mac = subprocess.run(['iconv', '-f', 'CP1252', '-t', 'MACINTOSH'], input=b, capture_output=True)
        units.append(chr(mac.stdout[0]) if mac.returncode == 0 and len(mac.stdout) == 1 else None)
        kind = 'converted'
    return units, kind
def typeface_matches(have, units):
    return have is not None and len(have) == len(units) and all(u is None or h == u for h, u in zip(have, units))
)PY";

// Each font's typeface in the container is the one worked out in Python.
TEST_F(ExportFixture, TypefacesAgreeWithIconvAndTheFontsCodePage) {
  const std::string checked = testutil::PythonOutput(
      testutil::kKxtDumpPy.substr(0, testutil::kKxtDumpPy.find("if __name__")) + kTypefacePy + R"PY(
faces = set()
for line in dump(sys.argv[1], True):
    if line.startswith('run '):
        faces.add(json.loads(line[line.rindex(' {') + 1:]).get('typeface'))
kinds = []
for font in json.load(open(sys.argv[2]))['fonts']:
    units, kind = typeface_units(font)
    if len([f for f in faces if typeface_matches(f, units)]) != 1:
        print('no single typeface for', ascii(font['name']))
    kinds.append(kind)
print(' '.join(sorted(kinds)))
)PY",
      {target, std::string(BRENIX_TEST_DATA) + "/doc_export.json"});
  EXPECT_EQ(checked, "ascii converted converted own replaced\n");
}

// For every text run, the attributes in force (walked in Python) are those
// of the host record the fixture gives the run's characters: each run's
// text is found, in order, in its story's text (non-breaking spaces and
// hyphens as the non-breaking flag maps them), skipping paragraph ends,
// control characters and the characters of special runs.
TEST_F(ExportFixture, AttributesInForceAreTheHostRecords) {
  const std::string report = testutil::PythonOutput(
      testutil::kKxtDumpPy.substr(0, testutil::kKxtDumpPy.find("if __name__")) + kTypefacePy + R"PY(
fixture = json.load(open(sys.argv[2]))
fonts = {f['id']: f for f in fixture['fonts']}
colors = {c['id']: c for c in fixture['colors']}
records = fixture['characterAttributes']
named = {'QRGB', 'QHSB', 'QLAB', 'QCMK', 'QDVN', 'QXYZ', 'QMLT', 'QGRY', 'PnHx'}
def expected(index):
    r = records[index]
    faces = r.get('faces', 0)
    faces = 0 if faces == 0xFFFF else faces
    out = {'size': str(round(r.get('size', 12) * 2)), 'kerning': str(r.get('kerning', 0)),
           'tracking': str(r.get('tracking', 0)),
           'bold': 'on' if faces & 1 else 'off', 'italic': 'on' if faces & 2 else 'off',
           'outline': 'on' if faces & 8 else 'off'}
    color = colors.get(r.get('color', 0))
    if color is None:
        out['color_type'] = ''
    else:
        model = color.get('model', 'QRGB')
        out['color_type'] = (model[1:] if model[0] == 'Q' else model) if model in named else ''
        out['color_name'] = color['name']
    font = fonts.get(r.get('font', 0))
    out['typeface'] = typeface_units(font)[0] if font else list('Unknown Font %d' % r.get('font', 0))
    return out
def host_units(story):
    # (unit as exported, record index, plain text?) for each unit of the story.
    text, out, at = story.get('text', ''), [], 0
    for index, length in story.get('runs', []):
        r = records[index]
        for c in text[at:at + length]:
            if r.get('flags', 0) & 128:
                c = {' ': '\u00a0', '-': '\u2011'}.get(c, c)
            plain = r.get('opcode', 0) == 0 and (c == '\t' or ord(c) >= 0x20)
            out.append((c, index, plain))
        at += length
    return out
lines = dump(sys.argv[1], True)
stories = {}
for line in lines:
    if line.startswith('run ') and ' Unicodes style ' in line:
        key = line.split(' ')[1].rsplit('.', 2)[0]
        rest = line.split(' Unicodes style ', 1)[1].split(' ', 1)[1]
        text, end = json.JSONDecoder().raw_decode(rest)
        stories.setdefault(key, []).append((line.split(' ')[1], text, json.loads(rest[end:])))
checked = 0
for key, runs in sorted(stories.items()):
    found = None
    for story in fixture['stories']:
        units, at, matched = host_units(story), 0, []
        for name, text, attrs in runs:
            while at < len(units) and not units[at][2]:
                at += 1
            span = units[at:at + len(text)]
            if ''.join(u[0] for u in span) != text or len({u[1] for u in span}) != 1:
                matched = None
                break
            matched.append((name, span[0][1], attrs))
            at += len(text)
        if matched:
            found = matched
            break
    if found is None:
        print('no host story for', key)
        continue
    for name, index, attrs in found:
        for attr, value in expected(index).items():
            have = attrs.get(attr)
            if attr == 'typeface':
                if not typeface_matches(have, value):
                    print(name, attr, ascii(have), ascii(value))
            elif have != value:
                print(name, attr, ascii(have), ascii(value))
        checked += 1
print('runs', checked)
)PY",
      {target, std::string(BRENIX_TEST_DATA) + "/doc_export.json"});
  size_t runs = 0;
  for (const std::string& line : SplitLines(FixtureText("doc_export.dump"))) {
    runs += line.find(" Unicodes style ") != std::string::npos;
  }
  EXPECT_EQ(report, "runs " + std::to_string(runs) + "\n");
}
