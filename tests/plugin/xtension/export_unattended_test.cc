// The KXT export fired with nobody there (MultiDoc mode), as the converters
// fire it: the request names the target, the overwrite flag decides about
// an existing one, the save question follows autoOverwriteSource, and the
// outcome is recorded for the converter.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "host/document_ops.h"
#include "plugin/conversion/conversion_globals.h"
#include "plugin/qapi/cnv_tools.h"
#include "plugin/qapi/file_spec.h"
#include "plugin/xtension/actions.h"
#include "support/brenix_interface.h"
#include "tests/common/files.h"
#include "ui_session_util.h"

namespace {

namespace fs = std::filesystem;

const char* OutcomeName() {
  switch (LastCommandOutcome()) {
    case CommandOutcome::kDone: return "done";
    case CommandOutcome::kFailed: return "failed";
    default: return "none";
  }
}

// Opens `name` (a copy of the export fixture), changed when asked, and
// fires the export towards `target` with the KXQ-target flag `overwrite`.
std::string ExportUnattended(xthost::Host& host, const std::string& name, const std::string& target,
                             uint8_t overwrite, bool changed) {
  std::string error;
  if (xthost::OpenDocumentFile(host, name, 0, nullptr, &error) != kXTOk) return "no document: " + error;
  if (changed) xthost::CurrentContent(host)->flags |= 1;
  FileSpecPair& request = CurrentRequest();
  CnvTools::SetTargetPath(request.source, fs::absolute(name).string());
  CnvTools::SetTargetPath(request.target, fs::absolute(target).string());
  OverwriteFlags.kxqTarget = overwrite;
  ClearCommandOutcome();
  PerformKxtExportAction(nullptr);
  return std::string(OutcomeName()) + " " + std::to_string(host.app().documents.size()) + "\n";
}

Session WithDocuments(const std::string& settings) {
  Session session;
  session.settings = settings;
  const std::string fixture = testutil::ReadFile(fs::path(BRENIX_TEST_DATA) / "doc_export.json");
  session.files = {{"a.qxp", fixture}, {"b.qxp", fixture}, {"old.kxq", "old"}};
  return session;
}

TEST(UnattendedExport, AnExistingTargetIsReplacedOnlyWithItsFlag) {
  const std::string out = RunSession(WithDocuments(""), [](xthost::Host& host) {
    const bool on = true;
    BrenixInterface::Instance()->SetMultiDocMode(on);
    std::string text = ExportUnattended(host, "a.qxp", "old.kxq", 0, false);
    text += testutil::ReadFile("old.kxq") + "\n";
    text += ExportUnattended(host, "b.qxp", "old.kxq", 1, false);
    text += std::to_string(testutil::ReadFile("old.kxq").rfind("\xD0\xCF\x11\xE0", 0)) + "\n";
    return text;
  });
  // Refused: the unchanged project is closed, no dialog, the old file kept.
  // Allowed: replaced by a container, the document closed after its export.
  EXPECT_EQ(BodyResult(out), "failed 0\nold\ndone 0\n0\n");
  EXPECT_TRUE(Lines(out, {"dialog"}).empty()) << out;
  EXPECT_EQ(Lines(out, {"close document"}),
            (std::vector<std::string>{"close document 1 \"a.qxp\" mode 1", "close document 3 \"b.qxp\" window"}));
}

TEST(UnattendedExport, AskOnceRemembersTheFirstAnswerForTheProcess) {
  Session session = WithDocuments("[Options]\nautoOverwriteSource = 1\n");
  session.answers = {"Cancel Export"};
  const std::string out = RunSession(session, [](xthost::Host& host) {
    const bool on = true;
    BrenixInterface::Instance()->SetMultiDocMode(on);
    std::string text = ExportUnattended(host, "a.qxp", "a.kxq", 1, true);
    text += ExportUnattended(host, "b.qxp", "b.kxq", 1, true);
    return text;
  });
  // Asked once; both cancelled; neither changed document closed nor saved.
  EXPECT_EQ(BodyResult(out), "failed 1\nfailed 2\n");
  EXPECT_EQ(Lines(out, {"dialog 1 item 2 pressed", "dialog 2 open"}), (std::vector<std::string>{"dialog 1 item 2 pressed"}));
  EXPECT_TRUE(Lines(out, {"close document", "save document"}).empty()) << out;
  EXPECT_NE(MergedOf(out).find("\nSUPPRESSED DIALOG:\t\t->\tFile was changed. Save it?\n"), std::string::npos);
}

TEST(UnattendedExport, AutoSaveSavesAChangedDocumentWithoutAsking) {
  const std::string out = RunSession(WithDocuments("[Options]\nautoOverwriteSource = 2\n"), [](xthost::Host& host) {
    const bool on = true;
    BrenixInterface::Instance()->SetMultiDocMode(on);
    return ExportUnattended(host, "a.qxp", "a.kxq", 1, true);
  });
  EXPECT_EQ(BodyResult(out), "done 0\n");
  // The save asked for, one before each of the two layouts, the copy with
  // the working boxes that the container stores, one after the last, one
  // at the end.
  const std::string merged = MergedOf(out);
  std::size_t saves = 0;
  for (std::size_t at = merged.find("save document 1 "); at != std::string::npos;
       at = merged.find("save document 1 ", at + 1)) {
    ++saves;
  }
  EXPECT_EQ(saves, 6u) << out;
  EXPECT_NE(merged.find("Trying to save file ... save document 1 \"a.qxp\"\nOK\n"), std::string::npos);
}

// The request is remade from the document's path when its source differs
// in any way, letter case included; the target is kept.
TEST(UnattendedExport, ASourceDifferingOnlyInCaseRemakesTheRequest) {
  const std::string out = RunSession(WithDocuments(""), [](xthost::Host& host) {
    const bool on = true;
    BrenixInterface::Instance()->SetMultiDocMode(on);
    std::string error;
    if (xthost::OpenDocumentFile(host, "a.qxp", 0, nullptr, &error) != kXTOk) return "no document: " + error;
    FileSpecPair& request = CurrentRequest();
    request.conversionType = 5;
    CnvTools::SetTargetPath(request.source, fs::absolute("A.QXP").string());
    CnvTools::SetTargetPath(request.target, fs::absolute("a.kxq").string());
    OverwriteFlags.kxqTarget = 1;
    PerformKxtExportAction(nullptr);
    return request.source.GetFileName() + " " + request.target.GetFileName() + " " +
           std::to_string(request.conversionType) + "\n";
  });
  EXPECT_EQ(BodyResult(out), "a.qxp a.kxq 0\n");
}

}  // namespace
