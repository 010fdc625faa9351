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
#include "tests/common/kxt_witness_py.h"
#include "tests/common/python.h"
#include "tests/plugin/conversion/export_harness.h"
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

class ExportFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    static XTRegisterRec record = xthost::MakeRegisterRec();
    XT().registration = &record;  // the export tables are acquired on first use
    host.Open("doc_export.json", "export.qxp");
    result = export_test::ExportCurrentProject(target);
  }

  MixerHost host;
  LogCapture log;
  const std::string target = host.Path("export.kxq");
  export_test::HarnessResult result;
};

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
      "import sys, zlib, olefile\n"
      "data = olefile.OleFileIO(sys.argv[1]).openstream("
      "'SolvanePluginPrivateData/BrenixExportTemplates/0').read()\n"
      "print(data[:2].hex(), zlib.decompress(data) == open(sys.argv[2], 'rb').read())\n",
      {target, host.Path("export.qxp")});
  EXPECT_EQ(same, "789c True\n");
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

}  // namespace

// Every byte of a font name above 0x7F that iconv converts from Windows-1252
// to Mac Roman is the typeface's unit there; ASCII stays.
TEST_F(ExportFixture, MacTypefacesAgreeWithIconv) {
  const std::string checked = testutil::PythonOutput(
      testutil::kKxtDumpPy.substr(0, testutil::kKxtDumpPy.find("if __name__")) + R"PY(
import subprocess
faces = set()
for line in dump(sys.argv[1], True):
    if line.startswith('run '):
        faces.add(json.loads(line[line.rindex(' {') + 1:]).get('typeface'))
fonts = json.load(open(sys.argv[2]))['fonts']
converted = 0
for font in fonts:
    name = font['name']
    same = [f for f in faces if f and len(f) == len(name) and
            all(a == b for a, b in zip(f, name) if ord(b) < 0x80)]
    if len(same) != 1:
        print('no single typeface for', ascii(name)); continue
    for have, unit in zip(same[0], name):
        if not 0x80 <= ord(unit) <= 0xFF:
            continue
        mac = subprocess.run(['iconv', '-f', 'CP1252', '-t', 'MACINTOSH'], input=bytes([ord(unit)]),
                             capture_output=True)
        if mac.returncode == 0 and len(mac.stdout) == 1:
            converted += 1
            if ord(have) != mac.stdout[0]:
                print('differs', ascii(name), ascii(unit), ascii(have), mac.stdout.hex())
print('converted', converted)
)PY",
      {target, std::string(BRENIX_TEST_DATA) + "/doc_export.json"});
  EXPECT_EQ(checked, "converted 3\n");
}
