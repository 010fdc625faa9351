// The host-call wrappers over the stand-in host: results, the host calls
// they make, and the host objects they give back on every path.  The real
// file system is the witness for file operations.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>

#include "host/linked_host_util.h"
#include "support/conversion_state.h"
#include "support/host_calls.h"
#include "support/host_file_spec.h"
#include "support/host_link.h"

namespace {

using xthost::Host;

bool HasLine(const LinkedHost& host, const std::string& line) {
  for (const std::string& l : host.Lines()) {
    if (l == line) return true;
  }
  return false;
}

// The spec of an existing or missing path, made by the host directly.
XTFileSpec SpecOf(const std::string& path) {
  XTFileSpec spec{};
  XT().files->make_spec(0, 0, path.c_str(), &spec);
  return spec;
}

TEST(ConvertUnicodeToText, ChecksItsArgumentsInOrder) {
  LinkedHost host;
  char out[16];
  int32_t length = sizeof out;
  bool converted = true;
  const char16_t text[] = u"abc";
  EXPECT_EQ(ConvertUnicodeToText(3, text, &length, out, nullptr, 0), 8);
  EXPECT_TRUE(HasLine(host, "error 8 reported"));
  EXPECT_EQ(ConvertUnicodeToText(0, nullptr, nullptr, nullptr, &converted, 0), 4);
  EXPECT_FALSE(converted);
  EXPECT_EQ(ConvertUnicodeToText(3, nullptr, nullptr, nullptr, &converted, 0), 5);
  EXPECT_EQ(ConvertUnicodeToText(3, text, nullptr, nullptr, &converted, 0), 6);
  int32_t zero = 0;
  EXPECT_EQ(ConvertUnicodeToText(3, text, &zero, out, &converted, 0), 6);
  EXPECT_EQ(ConvertUnicodeToText(3, text, &length, nullptr, &converted, 0), 7);
  EXPECT_EQ(host.host().error_state, 7);
  EXPECT_EQ(host.OpenHandles(), 0u);
}

TEST(ConvertUnicodeToText, ConvertsToUtf8AndCountsWithoutTheTerminator) {
  LinkedHost host;
  char out[16];
  std::memset(out, 'x', sizeof out);
  int32_t length = sizeof out;
  bool converted = false;
  const std::u16string text = u"Grüße";
  EXPECT_EQ(ConvertUnicodeToText(5, text.c_str(), &length, out, &converted, 0), 0);
  EXPECT_TRUE(converted);
  EXPECT_EQ(length, 7);
  EXPECT_STREQ(out,
               "Gr\xC3\xBC\xC3\x9F"
               "e");
  EXPECT_EQ(host.OpenHandles(), 0u);

  // A buffer too short, an encoding the host has no converter for, and a
  // converter that cannot be made: the host's answer, nothing converted.
  int32_t shortLength = 7;
  EXPECT_EQ(ConvertUnicodeToText(5, text.c_str(), &shortLength, out, &converted, 0), kXTErrParam);
  EXPECT_FALSE(converted);
  EXPECT_EQ(shortLength, 7);
  EXPECT_EQ(ConvertUnicodeToText(5, text.c_str(), &length, out, &converted, 1251), kXTErrRefused);
  EXPECT_EQ(host.OpenHandles(), 0u);
}

TEST(ConvertUnicodeToText, InjectedFailuresComeBackThroughTheErrorState) {
  for (const char* call : {"new_converter", "convert_to_text"}) {
    LinkedHost host(std::string(call) + ":1");
    char out[8];
    int32_t length = sizeof out;
    bool converted = false;
    EXPECT_EQ(ConvertUnicodeToText(2, u"ab", &length, out, &converted, 0), kXTErrInjected) << call;
    EXPECT_EQ(host.host().error_state, kXTErrInjected);
    EXPECT_FALSE(converted);
    EXPECT_EQ(host.OpenHandles(), 0u) << call;
  }
  // A converter that cannot be given back does not undo the conversion.
  LinkedHost host("dispose_converter:1");
  char out[8];
  int32_t length = sizeof out;
  bool converted = false;
  EXPECT_EQ(ConvertUnicodeToText(2, u"ab", &length, out, &converted, 0), kXTOk);
  EXPECT_TRUE(converted);
  EXPECT_EQ(std::string(out, 2), "ab");
  EXPECT_EQ(host.OpenHandles(), 1u);
}

TEST(HostStringToStd, EmptyMultiByteAndFailures) {
  LinkedHost host("string_length:4,copy_string:2");
  XTString string = 0;
  std::string out = "old";
  bool converted = false;
  ASSERT_EQ(XT().qsb1->new_string(u"", 0, &string), 0);
  EXPECT_EQ(HostStringToStd(string, out, &converted), 0);
  EXPECT_EQ(out, "");
  EXPECT_TRUE(converted);
  XT().qsb1->dispose_string(string);

  // Three bytes of UTF-8 for every unit: more than one byte per unit plus two.
  const std::u16string wide = u"日本語のテキスト";
  ASSERT_EQ(XT().qsb1->new_string(wide.c_str(), static_cast<int32_t>(wide.size()), &string), 0);
  EXPECT_EQ(HostStringToStd(string, out), 0);
  EXPECT_EQ(out,
            "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE3\x83\x86\xE3\x82\xAD\xE3\x82\xB9"
            "\xE3\x83\x88");
  std::string kept = out;
  EXPECT_EQ(HostStringToStd(string, out), kXTErrInjected);  // copy_string #2
  EXPECT_EQ(HostStringToStd(string, out), kXTErrInjected);  // string_length #4
  EXPECT_EQ(out, kept);
  EXPECT_EQ(HostStringToStd(12345, out), kXTErrParam);
  XT().qsb1->dispose_string(string);
  EXPECT_EQ(host.OpenHandles(), 0u);
}

TEST(CallHostWithStrings, HandsTheFourTextsOverAsAlertTexts) {
  LinkedHost host;
  EXPECT_EQ(CallHostWithStrings("a", "b", "c", "d"), 0);
  // The host's entry takes (^3, ^0, ^1, ^2): it was handed d, a, b, c.
  const auto& texts = host.host().app().alert_texts;
  EXPECT_EQ(texts[0], u"a");
  EXPECT_EQ(texts[1], u"b");
  EXPECT_EQ(texts[2], u"c");
  EXPECT_EQ(texts[3], u"d");
  EXPECT_EQ(host.OpenHandles(), 0u);
}

TEST(CallHostWithStrings, CallsTheHostOnlyWhenAllFourWereMade) {
  LinkedHost host("new_string:3");
  EXPECT_EQ(CallHostWithStrings("a", "b", "c", "d"), kXTErrInjected);
  EXPECT_TRUE(host.Transcript().find("alert texts") == std::string::npos);
  EXPECT_EQ(host.OpenHandles(), 0u);
  // Text that is not UTF-8 cannot become a host string.
  EXPECT_EQ(CallHostWithStrings("a", "\xFF", "c", "d"), kXTErrParam);
  EXPECT_EQ(host.OpenHandles(), 0u);
}

// A text that cannot be given back after the host took the four texts does
// not undo their handing over.
TEST(CallHostWithStrings, AFailedReleaseKeepsTheTexts) {
  LinkedHost host("dispose_string:2");
  EXPECT_EQ(CallHostWithStrings("a", "b", "c", "d"), kXTOk);
  EXPECT_EQ(host.host().app().alert_texts[1], u"b");
  EXPECT_EQ(host.OpenHandles(), 1u);
}

TEST(ResetConversionState, EmptiesTheStateAndTheAlertTexts) {
  LinkedHost host;
  ASSERT_EQ(CallHostWithStrings("a", "b", "c", "d"), 0);
  ConversionState& state = CurrentConversionState();
  state.status_dialog = 3;
  state.total = 4;
  state.index = 2;
  state.file_name = "x.qxp";
  state.conversion_type = 1;
  ResetConversionState();
  EXPECT_EQ(state.status_dialog, 0);
  EXPECT_EQ(state.total, 0u);
  EXPECT_EQ(state.index, 0u);
  EXPECT_EQ(state.file_name, "");
  EXPECT_EQ(state.conversion_type, 6u);
  for (const auto& text : host.host().app().alert_texts) EXPECT_EQ(text, u"");
}

TEST(FSSpecToPath, RoundTripsNonAsciiNames) {
  TempFolder temp;
  LinkedHost host;
  const std::string path = temp / "Übersetzung – 日本.qxp";
  WriteFile(path, "x");
  std::string out;
  EXPECT_EQ(FSSpecToPath(out, SpecOf(path)), 0);
  EXPECT_EQ(out, path);
  std::string name;
  EXPECT_EQ(GetRecordName(SpecOf(path), name), 0);
  EXPECT_EQ(name, "Übersetzung – 日本.qxp");
  EXPECT_EQ(host.OpenHandles(), 0u);
}

TEST(FSSpecToPath, FailuresLeaveTheOutputAndNoHostObjects) {
  TempFolder temp;
  const std::string path = temp / "a.qxp";
  WriteFile(path, "x");
  for (const char* call : {"new_string", "new_path", "full_path", "path_string", "string_length",
                           "copy_string", "new_converter", "convert_to_text"}) {
    LinkedHost host(std::string(call) + ":1");
    const XTFileSpec spec = SpecOf(path);
    std::string out = "old";
    EXPECT_EQ(FSSpecToPath(out, spec), kXTErrInjected) << call;
    EXPECT_EQ(out, "old") << call;
    EXPECT_EQ(host.OpenHandles(), 0u) << call;
  }
  LinkedHost host;
  XTFileSpec unknown = SpecOf(path);
  unknown.folder = 424242;
  std::string out = "old";
  EXPECT_EQ(FSSpecToPath(out, unknown), kXTErrNoFolder);
  EXPECT_EQ(out, "old");
  EXPECT_EQ(host.OpenHandles(), 0u);
}

TEST(FSSpecToPath, TwoFailuresReturnTheFirstNotTheirSum) {
  TempFolder temp;
  LinkedHost host("full_path:1,dispose_string:1");
  std::string out;
  EXPECT_EQ(FSSpecToPath(out, SpecOf(temp / "a.qxp")), kXTErrInjected);
}

TEST(XtGetTempFolder, TheHostsTemporaryFolderOrNothing) {
  TempFolder temp;
  {
    LinkedHost host("", temp.path());
    EXPECT_EQ(xt_gettempfolder(), temp.path());
    EXPECT_EQ(GetHostTempFolder(), temp.path());
    EXPECT_EQ(host.OpenHandles(), 0u);
  }
  for (const char* call : {"new_file", "temp_folder", "file_spec", "full_path"}) {
    LinkedHost host(std::string(call) + ":1", temp.path());
    EXPECT_EQ(xt_gettempfolder(), "") << call;
    EXPECT_EQ(host.OpenHandles(), 0u) << call;
  }
}

TEST(MakeFsSpec, ExistingFile) {
  TempFolder temp;
  LinkedHost host;
  WriteFile(temp / "a.qxp", "keep");
  XTFileSpec spec{};
  bool created = false;
  char name[64] = "unchanged";
  EXPECT_EQ(xt_fsmakefsspec(0, 0, temp / "a.qxp", spec, true, true, true, name, 0, true, &created),
            0);
  EXPECT_FALSE(created);
  EXPECT_STREQ(spec.name, "a.qxp");
  EXPECT_STREQ(name, "a.qxp");
  EXPECT_EQ(ReadFile(temp / "a.qxp"), "keep");  // an existing file is never deleted
  EXPECT_EQ(host.OpenHandles(), 0u);
}

// A missing file made on request: the result is still the host's -43 (the
// check hook alone takes it for success), and the spec names the new file.
TEST(MakeFsSpec, CreatesAMissingFileAndDeletesItWhenAsked) {
  TempFolder temp;
  LinkedHost host;
  XTFileSpec spec{};
  bool created = false;
  EXPECT_EQ(
      xt_fsmakefsspec(0, 0, temp / "new.qxp", spec, true, true, false, nullptr, 0, false, &created),
      kXTErrNotFound);
  EXPECT_TRUE(created);
  EXPECT_TRUE(Exists(temp / "new.qxp"));
  std::string path;
  ASSERT_EQ(FSSpecToPath(path, spec), 0);
  EXPECT_EQ(path, temp / "new.qxp");

  XTFileSpec scratch{};
  created = false;
  EXPECT_EQ(xt_fsmakefsspec(0, 0, temp / "scratch.kxq", scratch, true, true, false, nullptr, 0,
                            true, &created),
            kXTErrNotFound);
  EXPECT_TRUE(created);
  EXPECT_FALSE(Exists(temp / "scratch.kxq"));
  EXPECT_STREQ(scratch.name, "scratch.kxq");
  EXPECT_EQ(host.OpenHandles(), 0u);
}

TEST(MakeFsSpec, MissingFilesThatAreNotCreated) {
  TempFolder temp;
  LinkedHost host;
  // No three-letter extension: the split fails and nothing is created.
  XTFileSpec spec{};
  bool created = false;
  EXPECT_EQ(
      xt_fsmakefsspec(0, 0, temp / "noext", spec, true, true, false, nullptr, 0, false, &created),
      kXTErrNotFound);
  EXPECT_FALSE(created);
  EXPECT_FALSE(Exists(temp / "noext"));
  EXPECT_STREQ(spec.name, "noext");

  // The maker of names in a folder with allowMissing: -43 and the spec.
  const XTFileSpec folder = SpecOf(temp / "x");
  XTFileSpec byName{};
  EXPECT_EQ(xt_fsmakefsspec(folder.volume, folder.folder, "b.qxp", byName, false, true, false,
                            nullptr, 0, false, &created),
            kXTErrNotFound);
  EXPECT_STREQ(byName.name, "b.qxp");
  EXPECT_FALSE(Exists(temp / "b.qxp"));

  // Without allowMissing the spec stays as it was.
  XTFileSpec untouched{};
  untouched.folder = 99;
  EXPECT_EQ(xt_fsmakefsspec(folder.volume, folder.folder, "b.qxp", untouched, false, false, false,
                            nullptr, 0, false, nullptr),
            kXTErrNotFound);
  EXPECT_EQ(int32_t{untouched.folder}, 99);
  // A missing folder.
  EXPECT_EQ(xt_fsmakefsspec(0, 0, temp / "none/c.qxp", untouched, true, true, false, nullptr, 0,
                            false, nullptr),
            kXTErrNoFolder);
  EXPECT_EQ(int32_t{untouched.folder}, 99);
  EXPECT_EQ(host.OpenHandles(), 0u);
}

TEST(MakeFsSpec, AFileThatTurnsUpIsTakenNotDeleted) {
  TempFolder temp;
  LinkedHost host;
  // A link to nothing: no file is there when the spec is asked for, but the
  // name is taken when the file is to be created (-48).
  ASSERT_EQ(symlink((temp / "target.qxp").c_str(), (temp / "link.qxp").c_str()), 0);
  XTFileSpec spec{};
  bool created = false;
  EXPECT_EQ(
      xt_fsmakefsspec(0, 0, temp / "link.qxp", spec, true, true, false, nullptr, 0, true, &created),
      kXTErrNotFound);
  EXPECT_FALSE(created);
  EXPECT_STREQ(spec.name, "link.qxp");
  EXPECT_TRUE(Exists(temp / "link.qxp"));
  EXPECT_EQ(host.OpenHandles(), 0u);
}

TEST(MakeFsSpec, LongNamesAreNotCopiedAndAFileThatCannotBeMadeKeepsItsSpec) {
  TempFolder temp;
  const std::string longName = std::string(70, 'n') + ".qxp";
  WriteFile(temp / longName, "x");
  {
    LinkedHost host;
    XTFileSpec spec{};
    char name[64] = "unchanged";
    EXPECT_EQ(
        xt_fsmakefsspec(0, 0, temp / longName, spec, true, false, true, name, 0, false, nullptr),
        0);
    EXPECT_STREQ(name, "unchanged");
    EXPECT_EQ(spec.name, longName);
  }
  // A missing file that cannot be made: still -43, with the spec of the
  // missing file, and nothing reported as created.  (When only its spec
  // cannot be read back, the file was made all the same.)
  for (const char* call : {"create_file", "new_file", "set_file_path", "file_spec", "new_string"}) {
    LinkedHost host(std::string(call) + ":1");
    XTFileSpec spec{};
    spec.folder = 99;
    bool created = false;
    EXPECT_EQ(
        xt_fsmakefsspec(0, 0, temp / "d.qxp", spec, true, true, false, nullptr, 0, false, &created),
        kXTErrNotFound)
        << call;
    std::string named;
    EXPECT_EQ(FSSpecToPath(named, spec), 0) << call;
    EXPECT_EQ(named, temp / "d.qxp") << call;
    EXPECT_EQ(created, Exists(temp / "d.qxp")) << call;
    EXPECT_EQ(created, std::string(call) == "file_spec") << call;
    EXPECT_EQ(host.OpenHandles(), 0u) << call;
    ::unlink((temp / "d.qxp").c_str());
  }
}

TEST(ChangeSpecExtension, ReplacesOrAppendsTheExtension) {
  TempFolder temp;
  LinkedHost host;
  XTFileSpec spec = SpecOf(temp / "a.qxp");
  EXPECT_EQ(ChangeSpecExtension(spec, "kxq"), 0);
  EXPECT_STREQ(spec.name, "a.kxq");
  XTFileSpec bare = SpecOf(temp / "a");
  EXPECT_EQ(ChangeSpecExtension(bare, "coo"), 0);
  EXPECT_STREQ(bare.name, "a.coo");
  // A new extension of another length cannot take the place of the old.
  EXPECT_EQ(ChangeSpecExtension(spec, "kxqq"), 12);
  EXPECT_STREQ(spec.name, "a.kxq");
  EXPECT_FALSE(Exists(temp / "a.kxq"));  // nothing on disk changes
  EXPECT_EQ(host.OpenHandles(), 0u);
}

TEST(ProbeOpenDocument, OpensAndClosesAtOnce) {
  TempFolder temp;
  LinkedHost host;
  WriteFile(temp / "doc.qxp", R"({"format": "xthost document", "version": 1})");
  ProbeOpenDocument(temp / "doc.qxp");
  const std::vector<std::string> lines = host.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "open document 1 \"doc.qxp\" flags 63");
  EXPECT_EQ(lines[1], "close document 1 \"doc.qxp\" mode 1");
  EXPECT_TRUE(host.host().app().documents.empty());
  host.Clear();
  ProbeOpenDocument(temp / "missing.qxp");
  EXPECT_EQ(host.Transcript(), "");
  EXPECT_EQ(host.OpenHandles(), 0u);
}

TEST(DeleteHostFile, DeletesOrSaysWhyNot) {
  TempFolder temp;
  LinkedHost host;
  WriteFile(temp / "gone.qxp", "x");
  EXPECT_EQ(DeleteHostFile(temp / "gone.qxp"), 0);
  EXPECT_FALSE(Exists(temp / "gone.qxp"));
  EXPECT_EQ(DeleteHostFile(temp / "gone.qxp"), kXTErrNotFound);
  EXPECT_EQ(DeleteHostFile(temp / "none/x.qxp"), kXTErrNoFolder);
  EXPECT_EQ(host.OpenHandles(), 0u);
}

TEST(FileSpecToNameAndFolder, NameAndFolderOfAFileObject) {
  TempFolder temp;
  LinkedHost host;
  XTFile file = 0;
  ASSERT_EQ(NewHostFile(temp / "Grüße.kxq", kXTDocumentType, &file), 0);
  std::string name;
  int32_t folder = 0;
  EXPECT_EQ(FileSpecToNameAndFolder(file, nullptr, &folder), 5);
  EXPECT_EQ(host.host().error_state, 5);
  EXPECT_EQ(FileSpecToNameAndFolder(file, &name, nullptr), 6);
  EXPECT_EQ(FileSpecToNameAndFolder(file, &name, &folder), 0);
  EXPECT_EQ(name, "Grüße.kxq");
  EXPECT_EQ(folder, int32_t{SpecOf(temp / "x").folder});
  XT().files->dispose_file(file);
  EXPECT_EQ(host.OpenHandles(), 0u);
}

TEST(CloseCurrentProject, ClosesTheCurrentOrTheGivenProject) {
  TempFolder temp;
  LinkedHost host;
  EXPECT_EQ(CloseCurrentProject(-1, kXTCloseDiscard), kXTErrNoDocument);
  EXPECT_EQ(CloseCurrentProject(7, kXTCloseDiscard), kXTErrParam);
  WriteFile(temp / "a.qxp", R"({"format": "xthost document", "version": 1})");
  WriteFile(temp / "b.qxp", R"({"format": "xthost document", "version": 1})");
  XTFile file = 0;
  ASSERT_EQ(NewHostFile(temp / "a.qxp", kXTDocumentType, &file), 0);
  ASSERT_EQ(XT().documents->open_document(file, 31), 0);
  XT().files->dispose_file(file);
  ASSERT_EQ(NewHostFile(temp / "b.qxp", kXTDocumentType, &file), 0);
  ASSERT_EQ(XT().documents->open_document(file, 31), 0);
  XT().files->dispose_file(file);
  host.Clear();
  EXPECT_EQ(CloseCurrentProject(-2, kXTCloseDiscard), 0);
  EXPECT_EQ(CloseCurrentProject(1, kXTCloseDiscard), 0);
  EXPECT_EQ(host.Transcript(),
            "close document 2 \"b.qxp\" mode 1\nclose document 1 \"a.qxp\" mode 1\n");
}

TEST(HostCallSlot79, PassesItsArgumentsInTheHostsOrder) {
  LinkedHost host;
  EXPECT_EQ(HostCallSlot79(1, 2, 3, 4), 0);
  EXPECT_EQ(host.Transcript(), "note 2 3 1 4\n");
}

TEST(Wrappers, AnswerNoSuiteWithoutAHost) {
  XT() = HostLink();
  std::string out = "old";
  XTFileSpec spec{};
  EXPECT_EQ(FSSpecToPath(out, spec), kXTErrNoSuite);
  EXPECT_EQ(HostStringToStd(1, out), kXTErrNoSuite);
  EXPECT_EQ(out, "old");
  EXPECT_EQ(xt_gettempfolder(), "");
  EXPECT_EQ(CallHostWithStrings("a", "b", "c", "d"), kXTErrNoSuite);
  EXPECT_EQ(CloseCurrentProject(-1, 1), kXTErrNoSuite);
  EXPECT_EQ(HostCallSlot79(1, 2, 3, 4), kXTErrNoSuite);
  EXPECT_EQ(
      xt_fsmakefsspec(0, 0, "/tmp/x.qxp", spec, true, true, false, nullptr, 0, false, nullptr),
      kXTErrNoSuite);
}

}  // namespace
