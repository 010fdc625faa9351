// The operation on the selected text range (action 34) with the plug-in in
// the stand-in host: the document is opened and its text selected through
// the host's own commands, the action is reached through its global access
// (no button fires it), and the transcript, the program log and the story
// text are compared.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "host/document_ops.h"
#include "host/fail_plan.h"
#include "host/suites_docs.h"
#include "plugin/qapi/story_runs.h"
#include "plugin/xtension/actions.h"
#include "ui_session_util.h"

namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kShown = {"select ", "text operation ", "beep", "fail ",
                                         "select failed", "delete text"};

std::string Fixture(const std::string& name) {
  return std::string(BRENIX_TEST_DATA) + "/" + name;
}

// Copies a fixture into the session's folder and opens it.
bool Open(xthost::Host& host, const std::string& fixture) {
  std::error_code ec;
  fs::copy_file(Fixture(fixture), "document.qxp", fs::copy_options::overwrite_existing, ec);
  return !ec && xthost::RunDocumentCommand(host, "open", "document.qxp");
}

// Performs action 34 and tells what it counted: the box refreshes and the
// text changes it caused, and the stories afterwards unless unchanged.
std::string Perform(xthost::Host& host) {
  const uint32_t refreshes = host.ui().box_refreshes;
  const uint32_t changes = gTextChangeCounter;
  const xthost::DocumentContent* content = xthost::CurrentContent(host);
  const std::vector<std::string> before =
      content != nullptr ? xthost::DescribeStories(*content) : std::vector<std::string>();
  const RefHandle<RangeAction> action = RangeAction::Instance();
  if (!action) return "no action\n";
  XTVoidRec record{0};
  action->ActionPerformed(&record);
  std::string text = "refreshes " + std::to_string(host.ui().box_refreshes - refreshes) +
                     " changes " + std::to_string(gTextChangeCounter - changes) + "\n";
  if (content != nullptr && xthost::DescribeStories(*content) != before) {
    text += "stories changed\n";
  }
  return text;
}

TEST(RangeAction, BracketsTheHostTextOperationOverTheSelection) {
  const std::string out = RunSession(Session(), [](xthost::Host& host) {
    if (!Open(host, "doc_brochure.json")) return std::string("not opened\n");
    // The document's own selection, then one made by the host's command.
    std::string text = Perform(host);
    if (!xthost::RunDocumentCommand(host, "select", "4 6 17")) return text + "not selected\n";
    text += Perform(host);
    // An existing snapshot learns that the text may have moved.
    StoryRuns snapshot(1);
    text += Perform(host);
    text += snapshot.IsStale() ? "stale\n" : "fresh\n";
    return text;
  });
  EXPECT_EQ(BodyResult(out),
            "refreshes 1 changes 1\nrefreshes 1 changes 1\nrefreshes 1 changes 1\nstale\n");
  EXPECT_EQ(Lines(out, kShown),
            (std::vector<std::string>{"text operation begin 1 0 6", "text operation end 1",
                                      "select story 4 6 17 box 5", "text operation begin 4 6 17",
                                      "text operation end 4", "text operation begin 4 6 17",
                                      "text operation end 4"}));
  EXPECT_EQ(ErrorsOf(out).find("not available"), std::string::npos) << ErrorsOf(out);
  EXPECT_EQ(MergedOf(out).find("not available"), std::string::npos) << MergedOf(out);
}

TEST(RangeAction, WithoutASelectedRangeItBeeps) {
  const std::string out = RunSession(Session(), [](xthost::Host& host) {
    // No document at all.
    std::string text = Perform(host);
    // A document without open text.
    if (!Open(host, "doc_template.json")) return text + "not opened\n";
    text += Perform(host);
    // An insertion point: an empty range, at the start and inside a story.
    if (!Open(host, "doc_brochure.json")) return text + "not opened\n";
    for (const char* range : {"1 0 0", "3 5 5"}) {
      if (!xthost::RunDocumentCommand(host, "select", range)) return text + "not selected\n";
      text += Perform(host);
    }
    return text;
  });
  EXPECT_EQ(BodyResult(out),
            "refreshes 0 changes 0\nrefreshes 0 changes 0\nrefreshes 0 changes 0\n"
            "refreshes 0 changes 0\n");
  EXPECT_EQ(Lines(out, kShown),
            (std::vector<std::string>{"beep 0", "beep 0", "select story 1 0 0 box 1", "beep 0",
                                      "select story 3 5 5 box 3", "beep 0"}));
}

TEST(RangeAction, HostFailuresOnTheWay) {
  const std::string out = RunSession(Session(), [](xthost::Host& host) {
    if (!Open(host, "doc_brochure.json")) return std::string("not opened\n");
    std::string text;
    for (const char* plan : {"begin_text_operation:1", "end_text_operation:1", "text_selection:1",
                             "story_text:1"}) {
      xthost::FailPlan fail;
      std::string error;
      if (!xthost::FailPlan::Parse(plan, &fail, &error)) return "bad plan " + error;
      host.SetFailPlan(fail);
      text += Perform(host);
    }
    return text;
  });
  // A refused end still leaves an operation the host ran: it is counted.
  // A selection the host cannot tell is no range (the beep); a story whose
  // text the host does not give has no reference to begin with.
  EXPECT_EQ(BodyResult(out),
            "refreshes 0 changes 0\nrefreshes 1 changes 1\nrefreshes 0 changes 0\n"
            "refreshes 0 changes 0\n");
  EXPECT_EQ(Lines(out, kShown),
            (std::vector<std::string>{"fail begin_text_operation #1",
                                      "text operation begin 1 0 6", "fail end_text_operation #1",
                                      "fail text_selection #1", "beep 0", "fail story_text #1"}));
}

// The host's side: what its selection query answers and which text
// operations it takes.
TEST(RangeAction, TheHostTellsTheSelectionAndChecksTheRange) {
  const std::string out = RunSession(Session(), [](xthost::Host& host) {
    const XTStoryTextSuite& text = xthost::kStoryTextSuite;
    auto selected = [] {
      int32_t story = -1, start = -1, end = -1;
      const int32_t result = xthost::kSelectionSuite.text_selection(&story, &start, &end);
      return std::to_string(result) + ": " + std::to_string(story) + " " + std::to_string(start) +
             " " + std::to_string(end) + "\n";
    };
    std::string answers = selected();
    if (!Open(host, "doc_brochure.json")) return std::string("not opened\n");
    int32_t unused = 0;
    answers += std::to_string(xthost::kSelectionSuite.text_selection(nullptr, &unused, &unused));
    answers += "\n" + selected();
    XTTextRef ref = 0;
    int32_t length = 0, box = 0, document = 0;
    text.story_text(3, &ref, &length, &box, &document);
    for (const auto& [first, last] : {std::pair{-1, 0}, {5, 4}, {0, 12}, {0, 11}}) {
      answers += std::to_string(text.begin_text_operation(ref, first, last)) + " ";
    }
    answers += std::to_string(text.end_text_operation(ref)) + "\n";
    // A reference to text the host changed since goes stale.
    xthost::DocumentContent& content = *xthost::CurrentContent(host);
    content.FindStory(3)->Delete(0, 1);
    answers += std::to_string(text.begin_text_operation(ref, 0, 1)) + " " +
               std::to_string(text.end_text_operation(ref)) + "\n";
    // Without open text there is no story.
    content.text_open = false;
    content.selection_start = content.selection_end = 0;
    return answers + selected();
  });
  const std::string param = std::to_string(kXTErrParam);
  const std::string stale = std::to_string(kXTErrStaleText);
  EXPECT_EQ(BodyResult(out), std::to_string(kXTErrNoDocument) + ": -1 -1 -1\n" + param +
                                 "\n0: 1 0 6\n" + param + " " + param + " " + param + " 0 0\n" +
                                 stale + " " + stale + "\n0: 0 0 0\n");
  EXPECT_EQ(Lines(out, {"text operation "}),
            (std::vector<std::string>{"text operation begin 3 0 11", "text operation end 3"}));
}

}  // namespace
