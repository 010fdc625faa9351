// Round trips through the built xthost and its menu: each document is
// exported, its container imported untouched and, translated by
// kxtpseudo, imported again.  Python reads the files alone: the user's
// document as the export saved it against the same document saved by the
// host without the plug-in, the copy stored in the container against the
// saved file (it carries the working boxes of each layout), and every
// imported story against the source story (the same, or pseudo-translated
// word by word).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/common/kxt_pseudo_py.h"
#include "tests/common/python.h"
#include "tests/common/run_command.h"
#include "tests/common/stored_copy_py.h"
#include "ui_run_util.h"

namespace {

using namespace ui_run;
using testutil::RunCommand;
using testutil::ShellQuote;

// check.py BASE SAVED CONTAINER UNTOUCHED TRANSLATED: one line each.
//   user: "same" when SAVED is BASE (the source as the host saves it) with
//     only story tags (0 or more) added to its boxes' item data and
//     another item counter;
//   stored: whether the stored copy is SAVED with working boxes, and
//     them ("LAYOUT:ID", sorted);
//   untouched / translated: "same" when every story of the imported
//     document equals the source's (texts, paragraph formats, character
//     runs with their attribute records), or has the pseudo-translated
//     text (each piece between objects), and no box keeps item data.
const std::string kCheckPy = testutil::kStoredCopyPy + testutil::kPseudoRulePy + R"PY(
import json, sys
base, saved, container, untouched, translated = sys.argv[1:6]
def load(path):
    return json.load(open(path, encoding='utf-8'))
def user(doc, base):
    problems = []
    for key in sorted(set(doc) | set(base)):
        if key == 'boxes':
            continue
        if key != 'nextItem' and doc.get(key) != base.get(key):
            problems.append(key)
    def untagged(box):
        data = {k: v for k, v in box.get('data', {}).items() if k not in ('08414b42', '09414b42')}
        return dict({k: v for k, v in box.items() if k != 'data'}, **({'data': data} if data else {}))
    if [untagged(b) for b in doc['boxes']] != base['boxes']:
        problems.append('boxes')
    for box in doc['boxes']:
        data = box.get('data', {})
        if '08414b42' in data and int.from_bytes(bytes.fromhex(data['08414b42']), 'big', signed=True) < 0:
            problems.append('working box %d' % box['id'])
    return ' '.join(problems) or 'same'
def stories(doc):
    records = doc.get('characterAttributes', [{}])
    out = {}
    for story in doc.get('stories', []):
        runs = [(records[a], n) for a, n in story.get('runs', [])]
        out[story['id']] = (story.get('text', ''), story.get('paragraphs'), runs)
    return out
def imported(path, rule):
    doc, src = load(path), stories(load(base))
    problems = ['data of %d' % b['id'] for b in doc['boxes'] if b.get('data')]
    for sid, story in sorted(stories(doc).items()):
        if rule is None and story != src.get(sid):
            problems.append('story %d' % sid)
        if rule is not None and (sid not in src or
                                 story[0] != '\ufffc'.join(rule(p) for p in src[sid][0].split('\ufffc'))):
            problems.append('story %d' % sid)
    return ' '.join(problems) or 'same'
print('user', user(load(saved), load(base)))
header, same, boxes = stored_against_saved(container, saved)
print('stored', header, same, *sorted(boxes))
print('untouched', imported(untouched, None))
print('translated', imported(translated, pseudo))
)PY";

struct Case {
  const char* document;  // under tests/data
  const char* stored;    // the working boxes the stored copy carries
  bool wholeRoundTrip;   // the imported stories are checked too
};

TEST(RoundTripLayouts, EveryStoryComesBackAndTheUserDocumentKeepsOnlyItsTags) {
  const Case cases[] = {
      // The current layout is not the first: its stories are imported too.
      {"roundtrip/f1_current_layout.json", "0:-1 0:-2 1:-1 1:-2", true},
      // Master pages in the first layout only: no failed host call.
      {"roundtrip/f5_false_failure_masters.json", "0:-1 0:-2 1:-1 1:-2", true},
      // A text box anchored in the story it shows.
      {"roundtrip/f7_box_in_own_story.json", "0:-1 0:-2", true},
      // Story ids up to the last but one: the working boxes' stories take
      // the last id and a free one, never the same one twice.
      {"roundtrip/f11_story_ids_at_limit.json", "0:-1 0:-2", true},
      // The samples: no current box, open text or character records of the
      // analysis in the user's document; the copy stored with the boxes.
      {"doc_layouts.json", "0:-1 0:-2 1:-1 1:-2", false},
      {"doc_master_groups.json", "0:-1 0:-2", false},
      {"doc_export.json", "0:-1 0:-2 1:-1 1:-2", false},
      {"doc_tags.json", "0:-1 0:-2 1:-1 1:-2", false},
  };
  const std::string pseudo =
      (fs::path(XTHOST_PROGRAM).parent_path().parent_path() / "tools" / "kxtpseudo" / "kxtpseudo").string();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.document);
    Installation install;
    const fs::path root = install.root();
    const std::string source = ReadFile(fs::path(BRENIX_TEST_DATA) / c.document);
    WriteFile(root / "doc.qxp", source);
    WriteFile(root / "base.qxp", source);
    ASSERT_EQ(RunHost(install, {"open", "base.qxp", "save"}).status, 0);

    const HostRun exported = RunHost(install, {"--answer", (root / "doc.kxq").string(), "--answer", "OK", "start",
                                               "open", "doc.qxp", "menu", "Export current document"});
    ASSERT_TRUE(Clean(exported)) << exported.errors;
    EXPECT_EQ(DialogTexts(exported), std::vector<std::string>{"Export done"});
    int status = 0;
    RunCommand(ShellQuote(pseudo) + " " + ShellQuote((root / "doc.kxq").string()) + " " +
                   ShellQuote((root / "tr.kxq").string()),
               &status);
    ASSERT_EQ(status, 0);
    for (const char* name : {"doc", "tr"}) {
      const std::string kxq = (root / (std::string(name) + ".kxq")).string();
      const std::string qxp = (root / (std::string(name) + "_imported.qxp")).string();
      const HostRun imported =
          RunHost(install, {"--answer", kxq, "--answer", qxp, "--answer", "OK", "start", "menu", "Import Solvane file"});
      ASSERT_TRUE(Clean(imported)) << imported.errors;
      if (!c.wholeRoundTrip) continue;
      EXPECT_EQ(DialogTexts(imported), std::vector<std::string>{"Import done"}) << name << "\n" << imported.log;
      EXPECT_EQ(Count(imported.log, "ERROR"), 0u) << name << "\n" << imported.log;
      EXPECT_EQ(Count(imported.log, "####box"), 0u) << name << "\n" << imported.log;
    }

    const std::vector<std::string> lines = SplitLines(testutil::PythonOutput(
        kCheckPy, {(root / "base.qxp").string(),
                   (root / "doc.qxp").string(), (root / "doc.kxq").string(), (root / "doc_imported.qxp").string(),
                   (root / "tr_imported.qxp").string()}));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "user same");
    EXPECT_EQ(lines[1], std::string("stored 789c True ") + c.stored);
    if (c.wholeRoundTrip) {
      EXPECT_EQ(lines[2], "untouched same");
      EXPECT_EQ(lines[3], "translated same");
    }
  }
}

}  // namespace
