// The export commands from the menu of the built xthost, the clock pinned:
// the KXT container and its log, the save question, and every way an
// export can fail without losing the user's document.
#include <gtest/gtest.h>

#include <iomanip>
#include <random>
#include <regex>
#include <sstream>

#include "tests/common/kxt_witness_py.h"
#include "tests/common/python.h"
#include "tests/common/stored_copy_py.h"
#include "ui_run_util.h"

namespace {

using namespace ui_run;

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const char kExtended[] =
    "[Options]\nextendedInterface = True\naddMenuItemExportCoords = True\naddMenuItemExportKrm = True\n";

// Two layouts, one story of one paragraph in one box.
std::string PlainDocument(const std::string& text = "Hello world") {
  const std::string length = std::to_string(text.size());
  return R"({"format": "xthost document", "version": 1, "layouts": [{"name": "Print"}, {"name": "Web"}],
             "fonts": [{"id": 3, "name": "Times"}], "colors": [{"id": 1, "name": "Black"}],
             "characterAttributes": [{"font": 3, "color": 1}],
             "boxes": [{"id": 1, "story": 1, "bounds": [36, 36, 300, 400]}],
             "stories": [{"id": 1, "text": ")" +
         text + R"(", "paragraphs": [[0, )" + length + R"(]], "runs": [[0, )" + length + "]]}]}";
}

// An installation with a document "doc.qxp", saved once by the host so
// that its bytes are those any later save of the same content writes.
struct ExportRun {
  explicit ExportRun(const std::string& settings = "", const std::string& document = PlainDocument())
      : install(settings) {
    WriteFile(Doc(), document);
    RunHost(install, {"open", "doc.qxp", "save"});
    original = ReadFile(Doc());
  }
  fs::path Doc() const { return install.root() / "doc.qxp"; }
  fs::path File(const std::string& name) const { return install.root() / name; }
  // The file names the installation's folder holds.
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(install.root())) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  HostRun Run(const std::vector<std::string>& answers, const std::vector<std::string>& commands,
              const std::vector<std::string>& env = {}, const std::vector<std::string>& tracer = {}) {
    std::vector<std::string> args;
    for (const std::string& answer : answers) args.insert(args.end(), {"--answer", answer});
    args.insert(args.end(), commands.begin(), commands.end());
    return RunHost(install, args, env, tracer);
  }

  Installation install;
  std::string original;
};

std::vector<std::string> Export(const std::string& menu) {
  return {"start", "open", "doc.qxp", "menu", menu};
}

// The padded "Source:"/"Target:" line of the log.
std::string PathLine(const std::string& label, const std::string& path) {
  std::ostringstream line;
  line << std::left << std::setw(10) << label << std::setw(70) << path << "\n";
  return line.str();
}

const std::string kStars = std::string(80, '*') + "\n";
const char kNow[] = "2024-03-07 09:05:01\n";

// Whether stream 0 of the templates inflates to `saved` with the working
// boxes of each layout, and the book's "source_data_type" and "maxuniqID".
std::string ContainerCheck(const fs::path& container, const fs::path& saved) {
  return testutil::PythonOutput(
      testutil::kStoredCopyPy +
      "import sys\n"
      "header, same, boxes = stored_against_saved(sys.argv[1], sys.argv[2])\n"
      "print(same and len(boxes) == 4)\n"
      "ole = olefile.OleFileIO(sys.argv[1])\n"
      "texts = b''.join(ole.openstream(e).read() for e in ole.listdir())\n"
      "for name in ('source_data_type', 'maxuniqID'):\n"
      "    print(name, name.encode('utf-16-le') in texts or name.encode() in texts)\n",
      {container.string(), saved.string()});
}

TEST(KxtExport, WritesTheContainerStoresTheSavedDocumentAndClosesIt) {
  ExportRun run;
  const fs::path target = run.File("out.kxq");
  const HostRun host = run.Run({target.string()}, Export("Export current document"));
  ASSERT_TRUE(Clean(host)) << host.errors;
  EXPECT_EQ(ContainerCheck(target, run.Doc()), "True\nsource_data_type True\nmaxuniqID True\n");
  EXPECT_EQ(run.Files(), (std::vector<std::string>{"BrenixLogfile.txt", "XTensions", "doc.qxp",
                                                   "out.kxq", "registry", "stderr.txt",
                                                   "transcript.txt"}));
  // Saved before each layout, as the copy the container stores (a file of
  // its own beside it, gone afterwards), after the last one, and at the
  // end; closed after the result.
  const std::vector<std::string> expected =
      std::vector<std::string>(2, "save document 1 \"doc.qxp\"") +
      std::vector<std::string>{"save document 1 \".~\""} +
      std::vector<std::string>(2, "save document 1 \"doc.qxp\"") +
      std::vector<std::string>{"close document 1 \"doc.qxp\" window", "beep 0"};
  std::vector<std::string> saves = Only(host, {"save document", "close document", "beep"});
  for (std::string& line : saves) {
    if (line.rfind("save document 1 \".~", 0) == 0) line = "save document 1 \".~\"";
  }
  EXPECT_EQ(saves, expected);
  // The stored copy is read with the progress of the last layout's window.
  EXPECT_EQ(Only(host, {"window 2 item 1 progress 70/", "window 2 item 1 progress 85/"}).size(), 2u);
  EXPECT_EQ(DialogTexts(host), (std::vector<std::string>{"Export done"}));
  const std::string log = "\nExtended mode:\tOFF\n\nServer mode:\tOFF\n\n" + kStars + kNow +
                          "Starting export ...\n" + PathLine("Source:", run.Doc().string()) +
                          PathLine("Target:", "<YET UNSET>") + "\n" + kNow +
                          "User selected missing target:\n" + PathLine("Target:", target.string()) +
                          "... finished.\n" + kNow + kStars;
  EXPECT_EQ(host.log, log);
}

TEST(KxtExport, SaveFileAtTheQuestionSavesThenExports) {
  ExportRun run;
  const fs::path target = run.File("out.kxq");
  std::vector<std::string> commands = {"start", "open", "doc.qxp", "type", "1", "0", "Changed ",
                                       "menu", "Export current document"};
  const HostRun host = run.Run({"Save File", target.string()}, commands);
  ASSERT_TRUE(Clean(host)) << host.errors;
  // The unsaved document is marked changed, so the question comes.
  EXPECT_EQ(Only(host, {"document 1 marked changed"}).size(), 1u);
  EXPECT_EQ(Only(host, {"dialog 1 item 1 pressed", "save document"}).size(), 7u);
  EXPECT_EQ(DialogTexts(host), (std::vector<std::string>{"File was changed. Save it?", "Export done"}));
  EXPECT_NE(host.log.find("User pressed OK or auto-saving is allowed => Trying to save file ... OK\n"),
            std::string::npos)
      << host.log;
  EXPECT_NE(ReadFile(run.Doc()).find("Changed "), std::string::npos);
  EXPECT_EQ(ContainerCheck(target, run.Doc()), "True\nsource_data_type True\nmaxuniqID True\n");
}

// The ways out that must leave the user's document as it was, open, and no
// target: each ends with "Export failed", but for a failed save after the
// output was made whole, which ends with "Export done" and keeps it.
struct Failure {
  const char* name;
  std::vector<std::string> answers;  // "TARGET" and "DOC" stand for those paths
  bool change;                       // the document is changed before the export
  std::vector<std::string> env;
  const char* logged;                // a part of the program log
  const char* menu = "Export current document";
  const char* target = "out.kxq";
  // The saves made before the failure keep the document's bytes (false:
  // they stored its tags, so only the failed save is missing).
  bool fileAsBefore = true;
  bool done = false;
  // The user then changes the document and saves it: into the user's file.
  bool userSaves = false;
  // The run under a tracer that injects the fault; the document's file made
  // read-only first.
  std::vector<std::string> tracer = {};
  bool readOnly = false;
  // Put at the start of the document's fields.
  const char* documentFields = "";
};

class KxtExportFailure : public ::testing::TestWithParam<Failure> {};

TEST_P(KxtExportFailure, KeepsTheDocumentOpenAndWritesNoTarget) {
  const Failure& failure = GetParam();
  ExportRun run(kExtended, PlainDocument().insert(1, failure.documentFields));
  const fs::path target = run.File(failure.target);
  std::vector<std::string> answers;
  for (const std::string& answer : failure.answers) {
    answers.push_back(answer == "TARGET" ? target.string() : answer == "DOC" ? run.Doc().string() : answer);
  }
  std::vector<std::string> commands = {"start", "open", "doc.qxp"};
  if (failure.change) commands.insert(commands.end(), {"type", "1", "0", "Changed "});
  commands.insert(commands.end(), {"menu", failure.menu, "stories"});
  if (failure.userSaves) commands.insert(commands.end(), {"type", "1", "0", "USER EDIT ", "save"});
  if (failure.readOnly) fs::permissions(run.Doc(), fs::perms::owner_read | fs::perms::group_read);
  const HostRun host = run.Run(answers, commands, failure.env, failure.tracer);
  EXPECT_EQ(host.status, 0) << host.errors;
  if (failure.fileAsBefore) {
    EXPECT_TRUE(ReadFile(run.Doc()) == run.original);
  }
  if (failure.userSaves) {
    EXPECT_NE(ReadFile(run.Doc()).find("USER EDIT "), std::string::npos);
    for (const std::string& name : run.Files()) EXPECT_NE(name.rfind(".~", 0), 0u) << name;
  }
  EXPECT_EQ(fs::exists(target), failure.done);
  EXPECT_FALSE(fs::exists(target.string() + ".partial"));
  EXPECT_TRUE(Only(host, {"close document"}).empty());
  // The document is still open (the host lists its stories) with the change.
  const std::vector<std::string> stories = Only(host, {"story 1 "});
  ASSERT_FALSE(stories.empty());
  const std::vector<std::string> texts = DialogTexts(host);
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts.back(), failure.done ? "Export done" : "Export failed");
  EXPECT_NE(Count(host.log, std::regex_replace(failure.logged, std::regex("TARGET"), target.string())), 0u) << host.log;
}

INSTANTIATE_TEST_SUITE_P(
    Ways, KxtExportFailure,
    ::testing::Values(
        Failure{"CancelAtTheQuestion", {"Cancel Export"}, true, {},
                "User pressed CANCEL or auto-saving is not allowed.\n"},
        Failure{"SaveFails", {"Save File"}, true, {"XTHOST_FAIL=save_document:1"},
                "=> Trying to save file ... ERROR: QuarkDoc::Save()"},
        Failure{"TargetIsTheDocument", {"DOC"}, false, {}, "is the document's own file\n"},
        Failure{"ExceptionInTheLayouts", {"TARGET"}, false, {"XTHOST_FAIL=paragraph_runs:*"},
                "ERROR: the export stopped: "},
        // Saves: before each of the two layouts, then the one after the last
        // layout that would let the document close.
        // The third save is the copy the container stores.
        // The user's next save goes to the user's file all the same.
        Failure{"SaveAfterTheLastLayoutFails", {"TARGET"}, false, {"XTHOST_FAIL=save_document:4"},
                "ERROR: the document could not be saved after its last layout; it stays open\n",
                "Export current document", "out.kxq", false, false, true},
        // The save after the container was finished.
        Failure{"SaveAfterTheOutputFails", {"TARGET"}, false, {"XTHOST_FAIL=save_document:5"},
                "was not saved after the export (host result -5000); it stays open with its changes\n",
                "Export current document", "out.kxq", false, true, true},
        // A host call fails in the second layout: the save before it
        // holds the first layout's tags, and the log says so.
        Failure{"HostCallFailsInTheSecondLayout", {"TARGET"}, false, {"XTHOST_FAIL=layout_type:1"},
                "the document is not saved again and stays open (its file was saved before layout 2 of 2, with "
                "the tags and item ids of the first layout)\n", "Export current document", "out.kxq", false},
        // Every item id up to 32767 was given: no working box can be made.
        Failure{"NoFreeItemIds", {"TARGET"}, false, {},
                "ERROR: host call create_box failed: -5003\n"
                "ERROR: the document has no free item ids left for the export's working boxes\n",
                "Export current document", "out.kxq", true, false, false, {}, false, "\"nextItem\": 32767, "},
        // The output opened; the copy it stores did not: its reason.
        Failure{"StoredCopyNotSaved", {"TARGET"}, false, {"XTHOST_FAIL=save_document:3"},
                "ERROR: the document with its working boxes could not be saved; it is not stored\n"
                "ERROR: cannot write \"TARGET\": the document with its working boxes could not be saved to be "
                "stored (host result -5000)\n",
                "Export current document", "out.kxq", false},
        // The host refuses every save of a read-only document (-36): the
        // plug-in sees why.
        Failure{"DocumentReadOnly", {"TARGET"}, false, {},
                "host result -36) (the document's file is read-only)\nERROR: the document could not be saved after its "
                "last layout; it stays open\n", "Export current document", "out.kxq", true, false, false, {}, true},
        // The save after the output fails in the host's own write (-36)
        // with nothing the plug-in can see: its rename (the fifth) fails.
        Failure{"SaveAfterTheOutputRefused", {"TARGET"}, false, {},
                "was not saved after the export (the host refused to write the file (read-only, replaced since it "
                "was opened, or an I/O error)); it stays open with its changes\n",
                "Export current document", "out.kxq", false, true, false,
                {"/usr/bin/strace", "-f", "-qq", "-o", "/dev/null", "-e", "trace=rename", "-e",
                 "inject=rename:error=EIO:when=5", "-E", "ASAN_OPTIONS=detect_leaks=0"}},
        Failure{"CoordinatesSaveAfterTheLastLayoutFails", {"TARGET"}, false, {"XTHOST_FAIL=save_document:3"},
                "ERROR: the document could not be saved after its last layout; it stays open\n",
                "Export PDF coordinates", "out.coo", false},
        Failure{"XTagsSaveAfterTheLastLayoutFails", {"TARGET"}, false, {"XTHOST_FAIL=save_document:3"},
                "ERROR: the document could not be saved after its last layout; it stays open\n",
                "Export XTags", "out.krm", false},
        // The saved document cannot be named for storing: a container
        // without it cannot be imported.
        Failure{"SavedDocumentNotStored", {"TARGET"}, false, {"XTHOST_FAIL=project_file_spec:2"},
                "ERROR: the saved document's file spec could not be had; it is not stored\n",
                "Export current document", "out.kxq", false},
        // The host cannot give the bytes of the font list, nor of any block.
        Failure{"FontListBytesUnavailable", {"TARGET"}, false, {"XTHOST_FAIL=handle_data:1"},
                "ERROR: host call handle_data failed: -5000\n", "Export current document", "out.kxq", false},
        Failure{"BlockBytesUnavailable", {"TARGET"}, false, {"XTHOST_FAIL=handle_data:3"},
                "ERROR: host call handle_data failed: -5000\nERROR: the export stopped: no memory was had (from the "
                "host or the system)\n", "Export current document", "out.kxq", false},
        Failure{"NoBlockBytesForCoordinates", {"TARGET"}, false, {"XTHOST_FAIL=handle_data:*"},
                "ERROR: host call handle_data failed: -5000\n", "Export PDF coordinates", "out.coo"},
        // The host writes no document larger than it opens (its limit made
        // 850 bytes): the copy with the working boxes (904) is not stored; a
        // user's document grown by the tags (812 at 750) is not saved.
        Failure{"StoredCopyLargerThanTheHostOpens", {"TARGET"}, false, {"XTHOST_MAX_DOCUMENT=850"},
                "host result -36) (the host refused to write the file (read-only, replaced since it was opened, or an "
                "I/O error))\nERROR: the document with its working boxes could not be saved; it is not stored\n",
                "Export current document", "out.kxq", false},
        Failure{"DocumentLargerThanTheHostOpens", {"TARGET"}, false, {"XTHOST_MAX_DOCUMENT=750"},
                "ERROR: the document could not be saved after its last layout; it stays open\n"},
        // A layout the walk cannot reach leaves its stories out.
        Failure{"SecondLayoutUnreachable", {"TARGET"}, false, {"XTHOST_FAIL=layout_at:2"},
                "ERROR: host call layout_at failed: -5000\n", "Export current document", "out.kxq", false}),
    [](const ::testing::TestParamInfo<Failure>& info) { return std::string(info.param.name); });

TEST(KxtExport, AnUntitledDocumentIsNeverSavedOverTheLastRequestsSource) {
  ExportRun run;
  std::string untitledDocument = PlainDocument();
  untitledDocument.insert(1, "\"untitled\": true, ");
  WriteFile(run.File("untitled.qxp"), untitledDocument);
  const std::string untitled = ReadFile(run.File("untitled.qxp"));
  const fs::path first = run.File("first.kxq"), second = run.File("second.kxq");
  const HostRun host = run.Run({first.string(), "OK", "Save File", second.string()},
                               {"start", "open", "doc.qxp", "menu", "Export current document",
                                "open", "untitled.qxp", "menu", "Export current document"});
  ASSERT_TRUE(Clean(host)) << host.errors;
  // The first export saved doc.qxp as it stored it; the second left it so.
  EXPECT_EQ(ContainerCheck(first, run.Doc()), "True\nsource_data_type True\nmaxuniqID True\n");
  EXPECT_TRUE(ReadFile(run.File("untitled.qxp")) == untitled);
  EXPECT_FALSE(fs::exists(second));
  EXPECT_NE(host.log.find("Trying to save file ... ERROR: QuarkDoc::Save()"), std::string::npos) << host.log;
  EXPECT_NE(host.log.find("FAILED\n"), std::string::npos);
  EXPECT_EQ(Only(host, {"close document"}), (std::vector<std::string>{"close document 1 \"doc.qxp\" window"}));
}

TEST(KxtExport, AProjectWithoutLayoutsGivesTheBookAloneAndStaysOpen) {
  ExportRun run("", R"({"format": "xthost document", "version": 1})");
  const fs::path target = run.File("out.kxq");
  const HostRun host = run.Run({target.string()}, Export("Export current document"));
  ASSERT_TRUE(Clean(host)) << host.errors;
  EXPECT_EQ(testutil::PythonOutput(
                "import sys, olefile\n"
                "ole = olefile.OleFileIO(sys.argv[1])\n"
                "texts = b''.join(ole.openstream(e).read() for e in ole.listdir())\n"
                "print(ole.exists('SolvanePluginPrivateData/BrenixExportTemplates/0'),\n"
                "      'source_data_type'.encode('utf-16-le') in texts, 'maxuniqID'.encode('utf-16-le') in texts)\n",
                {target.string()}),
            "False True False\n");
  EXPECT_TRUE(Only(host, {"close document"}).empty());
  EXPECT_EQ(DialogTexts(host), (std::vector<std::string>{"Export done"}));
}

TEST(OpenAndExport, OpensTheChosenDocumentAndExportsIt) {
  ExportRun run;
  const fs::path target = run.File("out.kxq");
  const HostRun host = run.Run({run.Doc().string(), target.string()}, {"start", "menu", "Export to Solvane"});
  ASSERT_TRUE(Clean(host)) << host.errors;
  EXPECT_EQ(ContainerCheck(target, run.Doc()), "True\nsource_data_type True\nmaxuniqID True\n");
  EXPECT_EQ(Only(host, {"open document", "close document"}),
            (std::vector<std::string>{"open document 1 \"doc.qxp\" flags 31",
                                      "close document 1 \"doc.qxp\" window"}));
}

TEST(OpenAndExport, AChangedDocumentOpenAlreadyIsExportedOnlyWhenTheUserGoesOn) {
  for (const std::string button : {"Cancel", "Continue"}) {
    ExportRun run;
    const fs::path target = run.File("out.kxq");
    const HostRun host = run.Run({run.Doc().string(), button, target.string()},
                                 {"start", "open", "doc.qxp", "type", "1", "0", "Changed ", "menu",
                                  "Export to Solvane"});
    ASSERT_TRUE(Clean(host)) << host.errors;
    EXPECT_EQ(Only(host, {"alert 22200", "alert answer"}),
              (std::vector<std::string>{
                  "alert 22200 \"doc.qxp:\\x0aDocument is already opened and was changed\\x0aDo save "
                  "it and start export any way?\" \"\"",
                  "alert answer \"" + button + "\""}))
        << button;
    EXPECT_EQ(Only(host, {"open document"}).size(), 2u) << button;  // nothing new was opened
    if (button == "Cancel") {
      EXPECT_FALSE(fs::exists(target));
      EXPECT_TRUE(ReadFile(run.Doc()) == run.original);
      EXPECT_TRUE(Only(host, {"close document"}).empty());
    } else {
      EXPECT_NE(ReadFile(run.Doc()).find("Changed "), std::string::npos);
      EXPECT_EQ(ContainerCheck(target, run.Doc()), "True\nsource_data_type True\nmaxuniqID True\n");
    }
  }
}

// After an XTags export of the same document, whose target the log's
// opening block does not take for this one's.
TEST(CoordinatesExport, WritesTheHeaderNamingTheSourceAndOneLinePerParagraph) {
  ExportRun run(kExtended);
  const fs::path target = run.File("out.coo");
  const HostRun host = run.Run({run.File("first.krm").string(), "OK", target.string()},
                               Export("Export XTags") + std::vector<std::string>{"open", "doc.qxp", "menu",
                                                                                 "Export PDF coordinates"});
  ASSERT_TRUE(Clean(host)) << host.errors;
  const std::string hyphens(80, '-');
  EXPECT_EQ(ReadFile(target),
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<!--\n" + hyphens +
                "\nParagraph coordinates:\n" + run.Doc().string() + "\n" + hyphens + "\n-->\n" +
                "<coord><p uid=\"-1\" page=\"1\" y_pos=\"37\" x_pos=\"37\" width=\"66\" height=\"14\"/></coord>\n");
  EXPECT_NE(host.log.find("Starting export coordinates ...\n"), std::string::npos);
  EXPECT_EQ(Count(host.log, PathLine("Target:", "<YET UNSET>")), 2u) << host.log;
  EXPECT_EQ(Only(host, {"close document"}).size(), 2u);
  EXPECT_EQ(DialogTexts(host), (std::vector<std::string>(2, "Export done")));
}

std::string Utf8OfUtf16(const fs::path& file, int* status) {
  return testutil::RunCommand("iconv -f UTF-16 -t UTF-8 " + file.string(), status, false);
}

TEST(XTagsExport, WritesUtf16AfterTheByteOrderMarkOneBlockPerLayout) {
  ExportRun run(kExtended);
  const fs::path target = run.File("out.krm");
  const HostRun host = run.Run({target.string()}, Export("Export XTags"));
  ASSERT_TRUE(Clean(host)) << host.errors;
  int status = 0;
  const std::string text = Utf8OfUtf16(target, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(ReadFile(target).substr(0, 2), "\xFF\xFE");
  EXPECT_EQ(text, "<Header>\n<QxpSource>\"" + run.Doc().string() +
                      "\"</QxpSource>\n</Header>\n<KRM>\n<XTag 0><xtags 1 1252><p>Hello world\n</KRM>\n<KRM>\n</KRM>\n");
  EXPECT_NE(host.log.find("Starting export XTags ...\n"), std::string::npos);
  EXPECT_EQ(DialogTexts(host), (std::vector<std::string>{"Export done"}));
}

// A story whose tags pass the capture limit: the file keeps what was had,
// the export fails and says so, the document stays open.
TEST(XTagsExport, AStoryPastTheCaptureLimitKeepsThePrefixAndFails) {
  ExportRun run(kExtended, ReadFile(fs::path(BRENIX_TEST_DATA) / "doc_export.json"));
  const fs::path target = run.File("out.krm");
  std::string letters;
  for (int i = 0; i < 60000; ++i) letters += "\xC4\x81";  // U+0101, escaped in the tags
  const HostRun host = run.Run({"Save File", target.string()},
                               {"start", "open", "doc.qxp", "type", "1", "0", letters, "menu", "Export XTags"});
  ASSERT_TRUE(Clean(host)) << host.errors;
  int status = 0;
  const std::string text = Utf8OfUtf16(target, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(text.rfind("<Header>\n", 0), 0u);
  EXPECT_NE(text.find("<XTag 1><xtags 1 1252><p><#101><#101>"), std::string::npos);
  EXPECT_EQ(text.find("<#101>\n"), std::string::npos);  // the long story is cut
  EXPECT_EQ(Only(host, {"alert 512"}),
            (std::vector<std::string>{"alert 512 \"Export of XTags failed for file: doc.qxp\" \"\""}));
  EXPECT_EQ(DialogTexts(host), (std::vector<std::string>{"File was changed. Save it?", "Export failed"}));
  EXPECT_TRUE(Only(host, {"close document"}).empty());
}

}  // namespace

// One paragraph of 400,000 characters that hardly deflate (its text stream
// takes over a hundred segments), exported from the menu, read back by
// python3-olefile and imported again into a new document.
TEST(KxtExport, AParagraphOf400000CharactersGoesOutAndComesBackWhole) {
  std::mt19937 random(7);
  std::string text;
  for (int i = 0; i < 400000; ++i) {
    const uint32_t c = 0x4E00 + random() % 0x5000;  // CJK ideographs, three UTF-8 bytes each
    text += {static_cast<char>(0xE0 | c >> 12), static_cast<char>(0x80 | (c >> 6 & 0x3F)),
             static_cast<char>(0x80 | (c & 0x3F))};
  }
  ExportRun run("[QUARK]\nSetUniqueID=True\n",
                R"({"format": "xthost document", "version": 1, "layouts": [{"name": "Print"}],
                    "boxes": [{"id": 1, "story": 1, "bounds": [36, 36, 576, 756]}],
                    "stories": [{"id": 1, "text": ")" +
                    text + R"(", "paragraphs": [[0, 400000]], "runs": [[0, 400000]]}]})");
  const fs::path target = run.File("out.kxq");
  const HostRun host = run.Run({target.string()}, Export("Export current document"));
  ASSERT_TRUE(Clean(host)) << host.errors;
  EXPECT_EQ(DialogTexts(host), (std::vector<std::string>{"Export done"}));

  // The text of the story's runs, joined, as olefile and zlib read it.
  const fs::path expected = run.File("text.txt");
  WriteFile(expected, text);
  const std::string dump = testutil::kKxtDumpPy.substr(0, testutil::kKxtDumpPy.find("if __name__"));
  EXPECT_EQ(testutil::PythonOutput(dump + R"PY(
text = ''
for line in dump(sys.argv[1]):
    if line.startswith('run '):
        rest = line.split(' ', 5)[5]
        text += json.JSONDecoder().raw_decode(rest)[0]
print(len(text), text == open(sys.argv[2], encoding='utf-8').read())
)PY",
                                   {target.string(), expected.string()}),
            "400000 True\n");

  // Imported again, the story holds the same text.
  const fs::path imported = run.File("imported.qxp");
  const HostRun back = run.Run({target.string(), imported.string()}, {"start", "menu", "Import Solvane file"});
  ASSERT_TRUE(Clean(back)) << back.errors;
  const HostRun stories = RunHost(run.install, {"start", "open", imported.string(), "stories"});
  EXPECT_EQ(Only(stories, {"  paragraph "}),
            (std::vector<std::string>{"  paragraph 0 [0,400000) format 0 style 0 \"" + text + "\""}));
}

// Turned boxes in documents measured in points, millimetres and inches: the
// angle is in degrees whatever the unit, in the container and in the
// coordinates file, and the turned corner is where it is in points,
// expressed in the document's unit.
TEST(KxtExport, AnglesAreDegreesInEveryUnit) {
  struct Turn {
    int degrees;
    double x, y;  // the written corner in points (box 200 x 240 at 100, 320)
  };
  const Turn turns[] = {{0, 100, 320}, {45, 44.4, 425.9}, {90, 80, 540}, {270, 320, 340}};
  struct Unit {
    const char* name;
    double points;  // in one unit
  };
  for (const Unit unit : {Unit{"pt", 1}, Unit{"mm", 72 / 25.4}, Unit{"in", 72}}) {
    SCOPED_TRACE(unit.name);
    std::string boxes, stories;
    for (int i = 1; i <= 4; ++i) {
      const std::string id = std::to_string(i);
      boxes += std::string(i > 1 ? ", " : "") + R"({"id": )" + id + R"(, "story": )" + id +
               R"(, "bounds": [100, 320, 300, 560], "rotation": )" + std::to_string(turns[i - 1].degrees) + "}";
      stories += std::string(i > 1 ? ", " : "") + R"({"id": )" + id +
                 R"(, "text": "Text", "paragraphs": [[0, 4]], "runs": [[0, 4]]})";
    }
    ExportRun run(kExtended, std::string(R"({"format": "xthost document", "version": 1, "unit": ")") + unit.name +
                                 R"(", "layouts": [{"name": "Print", "spreads": [{"pages": [{}]}]}], "boxes": [)" +
                                 boxes + R"(], "stories": [)" + stories + "]}");
    const fs::path kxq = run.File("out.kxq"), coo = run.File("out.coo");
    ASSERT_TRUE(Clean(run.Run({kxq.string()}, Export("Export current document"))));
    ASSERT_TRUE(Clean(run.Run({coo.string()}, Export("Export PDF coordinates"))));

    // Per story of the container: angle (0 when absent), horizontal and
    // vertical position.
    const std::string dump = testutil::kKxtDumpPy.substr(0, testutil::kKxtDumpPy.find("if __name__"));
    std::istringstream written(testutil::PythonOutput(dump + R"PY(
for line in dump(sys.argv[1]):
    if line.startswith('story '):
        a = json.loads(line.split(' ', 2)[2])
        print(a.get('angle', '0'), a['horizontal_pos'], a['vertical_pos'])
)PY",
                                                      {kxq.string()}));
    // The angle of each paragraph line of the coordinates file.
    std::istringstream coordinates(ReadFile(coo));
    std::vector<std::string> angles;
    for (std::string line; std::getline(coordinates, line);) {
      if (line.rfind("<coord>", 0) != 0) continue;
      const std::size_t at = line.find(" angle=\"");
      angles.push_back(at == std::string::npos ? "0" : line.substr(at + 8, line.find('"', at + 8) - at - 8));
    }
    ASSERT_EQ(angles.size(), 4u);
    for (int i = 0; i < 4; ++i) {
      const Turn& turn = turns[i];
      SCOPED_TRACE(turn.degrees);
      int angle = -1;
      double x = 0, y = 0;
      ASSERT_TRUE(written >> angle >> x >> y);
      EXPECT_EQ(angle, turn.degrees);
      EXPECT_NEAR(x, turn.x / unit.points, 1);
      EXPECT_NEAR(y, turn.y / unit.points, 1);
      EXPECT_EQ(angles[i], std::to_string(turn.degrees));
    }
  }
}

// A story of four runs in a font the document lacks, two of them equal to
// the two before: every run logs the missing font as its first one does.
TEST(KxtExport, EveryRunInAMissingFontLogsIt) {
  ExportRun run("", R"({"format": "xthost document", "version": 1, "layouts": [{"name": "Print"}],
                       "fonts": [{"id": 3, "name": "Times"}],
                       "characterAttributes": [{"font": 9}, {"font": 9, "faces": 1}],
                       "boxes": [{"id": 1, "story": 1, "bounds": [36, 36, 300, 400]}],
                       "stories": [{"id": 1, "text": "One two three four", "paragraphs": [[0, 18]],
                                    "runs": [[0, 4], [1, 4], [0, 6], [1, 4]]}]})");
  const HostRun host = run.Run({run.File("out.kxq").string()}, Export("Export current document"));
  ASSERT_TRUE(Clean(host)) << host.errors;
  const std::string line = "##### fontID 9  (9) is not found will return something\n";
  // Each run looks its font up twice: for its code page and for its typeface.
  EXPECT_EQ(Count(host.log, line), 8u) << host.log;
  EXPECT_EQ(Count(host.log, "##### fontID"), Count(host.log, line));
}
