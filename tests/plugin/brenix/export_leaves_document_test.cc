// What an export leaves in the user's document, through the main job
// (tools/main_job.sh) and the side exports on fresh copies of the sample:
// the saved document holds the sample's boxes and stories with only the
// story tags added, the copy stored in the container those and the
// working boxes of each layout (tagged -1 and -2), a PDF made
// from the document afterwards shows the sample's text alone, and the
// translated container still imports.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/common/files.h"
#include "tests/common/python.h"
#include "tests/common/run_command.h"
#include "tests/common/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testutil::RunCommand;
using testutil::ShellQuote;

// Per document (a host document, or a container whose stored document 0
// is inflated with zlib): "NAME same tagged N working W" when it is the
// sample (its boxes, stories, tables and current selection; the host's
// next item id aside) with only story tags of 0 or more added as item data
// (N boxes tagged), else what differs; W working boxes (negative tags)
// taken out of a container's copy first.
const char kWitnessPy[] = R"PY(
import json, os, sys, zlib, olefile
sample = json.load(open(sys.argv[1], encoding='utf-8'))
def load(path):
    if path.endswith('.kxq'):
        ole = olefile.OleFileIO(path)
        stream = ole.openstream(['SolvanePluginPrivateData', 'BrenixExportTemplates', '0'])
        return json.loads(zlib.decompress(stream.read()))
    return json.load(open(path, encoding='utf-8'))
def tag(box):
    value = box.get('data', {}).get('08414b42')
    return 0 if value is None else int.from_bytes(bytes.fromhex(value), 'big', signed=True)
for path in sys.argv[2:]:
    doc = load(path)
    working = 0
    if path.endswith('.kxq'):
        # The stored copy carries the working boxes: taken out here, with
        # their stories and the character records made for their probes.
        gone = {b.get('story') for b in doc['boxes'] if tag(b) < 0}
        working = sum(1 for b in doc['boxes'] if tag(b) < 0)
        doc['boxes'] = [b for b in doc['boxes'] if tag(b) >= 0]
        doc['stories'] = [s for s in doc['stories'] if s['id'] not in gone]
        doc['characterAttributes'] = doc['characterAttributes'][:len(sample.get('characterAttributes', []))]
    plain = dict(doc, boxes=[{k: v for k, v in b.items() if k != 'data'} for b in doc['boxes']])
    problems = [key for key in sorted(set(plain) | set(sample))
                if key != 'nextItem' and plain.get(key) != sample.get(key)]
    tagged = 0
    for box in doc['boxes']:
        data = box.get('data', {})
        if set(data) - {'08414b42', '09414b42'}:
            problems.append('data of %d' % box['id'])
        if '08414b42' in data:
            tagged += 1
            if int.from_bytes(bytes.fromhex(data['08414b42']), 'big', signed=True) < 0:
                problems.append('working box %d' % box['id'])
    print(os.path.basename(path), ' '.join(problems) or 'same', 'tagged', tagged, 'working', working)
)PY";

// The text pdftotext reads from a PDF that xthost makes of `document`.
std::string PdfText(const fs::path& document, const fs::path& pdf) {
  int status = 0;
  RunCommand(ShellQuote(XTHOST_PROGRAM) + " --transcript " + ShellQuote(pdf.string() + ".transcript") +
                 " open " + ShellQuote(document.string()) + " pdf " + ShellQuote(pdf.string()),
             &status);
  EXPECT_EQ(status, 0) << document;
  const std::string text = RunCommand("pdftotext " + ShellQuote(pdf.string()) + " -", &status);
  EXPECT_EQ(status, 0) << pdf;
  return text;
}

TEST(ExportLeavesDocument, SavedAndStoredWithTheSamplesBoxesAndStoriesOnly) {
  testutil::TempDir dir("brenix-export-document");
  const fs::path out = fs::path(dir.path()) / "out";
  const fs::path build = fs::path(XTHOST_PROGRAM).parent_path().parent_path();
  const std::string sample = std::string(BRENIX_TEST_DATA) + "/doc_brochure.json";
  int status = 0;
  const std::string job = RunCommand(
      "XTHOST_CLOCK='2026-12-07 12:00:00' " + ShellQuote(std::string(BRENIX_TOP) + "/tools/main_job.sh") + " " +
          ShellQuote(build.string()) + " " + ShellQuote(out.string()) + " " + ShellQuote(sample),
      &status, true);
  ASSERT_EQ(status, 0) << job;
  EXPECT_NE(job.find("text \"Import done\""), std::string::npos) << job;

  // The coordinates and XTags exports, each alone on a fresh copy, with
  // the installation the main job made.
  // The last on a sample whose first paragraph format is not the one the
  // working box's "Normal" gives: the format the host made for it is not
  // saved.
  struct SideExport {
    const char* menu;
    const char* output;
    bool plainFirstFormat = false;
  };
  const SideExport sides[] = {{"Export PDF coordinates", "side.coo"}, {"Export XTags", "side.krm"},
                              {"Export current document", "side.kxq", true}};
  std::vector<std::string> documents = {(out / "docs" / "doc_brochure.qxp").string(),
                                        (out / "doc_brochure.kxq").string()};
  const fs::path plain = out / "plain_format.json";
  testutil::PythonOutput("import json, sys; d = json.load(open(sys.argv[1])); d['paragraphFormats'][0] = {}; "
                         "json.dump(d, open(sys.argv[2], 'w'))", {sample, plain.string()});
  for (const SideExport& side : sides) {
    const fs::path copy = out / (std::string(side.output) + ".qxp");
    fs::copy_file(side.plainFirstFormat ? plain.string() : sample, copy);
    const std::string run = RunCommand(
        "cd " + ShellQuote(out.string()) + " && BRENIX_REGISTRY_ROOT=registry " + ShellQuote(XTHOST_PROGRAM) +
            " --xtensions XTensions --transcript side.transcript --answer " + ShellQuote((out / side.output).string()) +
            " --answer OK start open " + ShellQuote(copy.string()) + " menu " + ShellQuote(side.menu) + " quit",
        &status, true);
    EXPECT_EQ(status, 0) << side.menu << "\n" << run;
    EXPECT_TRUE(fs::exists(out / side.output)) << side.menu;
    if (!side.plainFirstFormat) documents.push_back(copy.string());
  }
  // The plain sample's container imported untouched holds its formats alone.
  RunCommand("cd " + ShellQuote(out.string()) + " && BRENIX_REGISTRY_ROOT=registry " + ShellQuote(XTHOST_PROGRAM) +
                 " --xtensions XTensions --answer side.kxq --answer side.qxp --answer OK start menu " +
                 ShellQuote("Import Solvane file") + " quit",
             &status, true);
  EXPECT_EQ(testutil::PythonOutput(kWitnessPy, {plain.string(), (out / "side.kxq.qxp").string()}),
            "side.kxq.qxp same tagged 3 working 0\n");
  EXPECT_EQ(testutil::PythonOutput("import json, sys\na, b = (json.load(open(p)).get('paragraphFormats') for p in "
                                   "sys.argv[1:])\nprint(a == b or (a, b))",
                                   {plain.string(), (out / "side.qxp").string()}),
            "True\n");

  std::vector<std::string> args = {sample};
  args.insert(args.end(), documents.begin(), documents.end());
  EXPECT_EQ(testutil::PythonOutput(kWitnessPy, args),
            "doc_brochure.qxp same tagged 3 working 0\n"
            "doc_brochure.kxq same tagged 3 working 4\n"
            "side.coo.qxp same tagged 3 working 0\n"
            "side.krm.qxp same tagged 3 working 0\n");

  // The main job's PDF, and a later PDF of each exported document, read
  // as one of the sample.
  fs::copy_file(sample, out / "sample.qxp");
  const std::string expected = PdfText(out / "sample.qxp", out / "sample.pdf");
  EXPECT_NE(expected.find("Brenix Brochure"), std::string::npos) << expected;
  EXPECT_EQ(RunCommand("pdftotext " + ShellQuote((out / "pdf" / "doc_brochure.pdf").string()) + " -", &status),
            expected);
  for (const std::string& document : documents) {
    if (document.size() > 4 && document.compare(document.size() - 4, 4, ".kxq") == 0) continue;
    EXPECT_EQ(PdfText(document, document + ".pdf"), expected) << document;
  }
}

}  // namespace
