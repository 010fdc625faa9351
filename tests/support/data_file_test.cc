#include "support/data_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/common/files.h"
#include "tests/common/python.h"
#include "tests/common/temp_dir.h"

namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

using testutil::ReadFile;
using testutil::WriteFile;

class DataFileTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return dir_.File(name); }

  // The bytes Save writes for a file holding `bytes`.
  std::string Resave(const std::string& bytes) {
    WriteFile(Path("in.ini"), bytes);
    CDataFile ini;
    EXPECT_TRUE(ini.Load(Path("in.ini")));
    ini.SetFileName(Path("out.ini"));
    EXPECT_TRUE(ini.Save());
    return ReadFile(Path("out.ini"));
  }

  const testutil::TempDir dir_;
};

// Edge cases of the format in one file: comments of both kinds, blanks around
// the separator, keys without value or separator, a value ending in ':' and
// in "==", a header with blanks, a header without ']', a repeated header, a
// repeated key, keys before any header, CR LF line ends and a comment after
// the last key.
const char kEdgeInput[] =
    "; top comment\r\n"
    "top=1\r\n"
    "[ spaced ]\n"
    "a = value with blanks   \n"
    "; passes on\n"
    "novalue=\n"
    "nosep\n"
    "# hash comment\n"
    "b:D:\n"
    "\n"
    "[Main\n"
    "c===\n"
    "[main]\n"
    "; dup\n"
    "C=second\n"
    "; trailing one\n"
    "#  trailing two\n";

// Written back: keys before any header first and without a header, a blank
// line before each header without comment, a blank line and the comment lines
// before each key with a comment, '=' as the separator.
const char kEdgeSaved[] =
    "\n"
    "; top comment\n"
    "top=1\n"
    "\n"
    "[ spaced ]\n"
    "a= value with blanks\n"
    "\n"
    "; passes on\n"
    "# hash comment\n"
    "b=D:\n"
    "\n"
    "[Main]\n"
    "\n"
    "; dup\n"
    "c=second\n"
    "\n"
    "; trailing one\n"
    "#  trailing two\n";

TEST_F(DataFileTest, EdgeCasesLoadAndSaveByteForByte) {
  WriteFile(Path("edge.ini"), kEdgeInput);
  CDataFile ini;
  CaptureStdout();
  ASSERT_TRUE(ini.Load(Path("edge.ini")));
  EXPECT_EQ(GetCapturedStdout(), "<info> [CDataFile::CreateSection] Section <main> allready exists. Aborting.\n");
  EXPECT_FALSE(ini.IsDirty());
  EXPECT_EQ(ini.GetFileName(), Path("edge.ini"));

  EXPECT_EQ(ini.GetValue("TOP", ""), "1");
  EXPECT_EQ(ini.GetValue("a", " spaced "), " value with blanks");
  EXPECT_EQ(ini.GetSection("spaced"), nullptr);
  EXPECT_FALSE(ini.KeyExists("novalue", " spaced "));
  EXPECT_FALSE(ini.KeyExists("nosep", " spaced "));
  EXPECT_EQ(ini.GetValue("B", " SPACED "), "D:");
  EXPECT_EQ(ini.GetKey("b", " spaced ")->comment, "\n; passes on\n# hash comment");
  EXPECT_EQ(ini.GetValue("c", "MAIN"), "second");
  EXPECT_EQ(ini.GetSection("main")->name, "Main");
  EXPECT_EQ(ini.GetString("missing", "Main"), "");
  EXPECT_EQ(ini.GetValue("c", "missing"), "");
  EXPECT_EQ(ini.KeyCount(), 4);
  EXPECT_EQ(ini.SectionCount(), 3);
  EXPECT_EQ(ini.TrailingComment(), "\n; trailing one\n#  trailing two");

  ini.SetFileName(Path("edge.ini"));  // same name: no report, still clean
  EXPECT_FALSE(ini.IsDirty());
  ASSERT_TRUE(ini.Save());
  EXPECT_EQ(ReadFile(Path("edge.ini")), kEdgeSaved);
}

TEST_F(DataFileTest, SaveOfLoadOfSaveIsStable) {
  CaptureStdout();
  const std::string first = Resave(kEdgeInput);
  EXPECT_EQ(Resave(first), first);
  GetCapturedStdout();

  // Random files from lines of every kind, the odd ones included.
  const std::vector<std::string> lines = {
      "[S1]", "[s1]", "[ S2 ]", "[S3", "[]", "[", "[x]y]", "[a]=", "k=v", "K=w", "k = v ", "key: val:", "x===",
      "y=a=b", "=lead=1", ":", "=", "; c1", "# c2", ";", "#x=", "novalue=", "word", "", "   ", "\t k\t=\tv\t",
      "a\rb=c\rd", "v=\xff\xfe", std::string("z=1\0tail", 8), std::string("[S4]\0x", 6), "k2=[not a header]", "k3=;not a comment"};
  std::mt19937 random(12345);
  for (int file = 0; file < 120; ++file) {
    std::string text;
    const int count = static_cast<int>(random() % 30);
    for (int i = 0; i < count; ++i) {
      text += lines[random() % lines.size()];
      text += random() % 4 ? "\n" : "\r\n";
    }
    CaptureStdout();
    const std::string once = Resave(text);
    const std::string twice = Resave(once);
    GetCapturedStdout();
    ASSERT_EQ(twice, once) << "input:\n" << text;
  }
}

TEST_F(DataFileTest, LongLineFollowedByKeys) {
  const std::string longValue(595, 'x');
  const std::string text = "k1=v1\nlong=" + longValue + "\n[s]\nk2=v2\n";
  ASSERT_EQ(text.find('\n', 6) - 6, 600u);
  WriteFile(Path("long.ini"), text);
  {
    CDataFile ini;
    ASSERT_TRUE(ini.Load(Path("long.ini")));
    EXPECT_EQ(ini.GetValue("long", ""), longValue);
    EXPECT_EQ(ini.GetValue("k2", "s"), "v2");
    EXPECT_TRUE(ini.SetValue("k3", "v3", "", "s"));
  }  // saved by the destructor: it changed
  EXPECT_EQ(ReadFile(Path("long.ini")), "k1=v1\nlong=" + longValue + "\n\n[s]\nk2=v2\nk3=v3\n");
}

TEST_F(DataFileTest, OnlyAChangedFileIsWrittenBack) {
  const std::string odd = "k = v\n\n\n[s]\n  x:y  \nk=dup\n";
  WriteFile(Path("odd.ini"), odd);
  {
    CDataFile ini;
    ASSERT_TRUE(ini.Load(Path("odd.ini")));
    EXPECT_FALSE(ini.IsDirty());
    EXPECT_EQ(ini.GetValue("k", ""), " v");
  }
  EXPECT_EQ(ReadFile(Path("odd.ini")), odd);
  {
    CDataFile ini;
    ASSERT_TRUE(ini.Load(Path("odd.ini")));
    EXPECT_FALSE(ini.SetValue("new", "", "", "s"));  // never created empty
    EXPECT_FALSE(ini.IsDirty());
    EXPECT_TRUE(ini.SetValue("x", "z", "", "S"));
    EXPECT_TRUE(ini.IsDirty());
  }
  EXPECT_EQ(ReadFile(Path("odd.ini")), "k= v\n\n[s]\nx=z\nk=dup\n");
}

TEST_F(DataFileTest, EmptyFileLoadsCleanAndSavesEmpty) {
  WriteFile(Path("empty.ini"), "");
  CDataFile ini;
  ASSERT_TRUE(ini.Load(Path("empty.ini")));
  EXPECT_FALSE(ini.IsDirty());
  EXPECT_EQ(ini.GetFileName(), Path("empty.ini"));
  EXPECT_EQ(ini.SectionCount(), 1);
  ini.SetFileName(Path("copy.ini"));
  CaptureStdout();
  EXPECT_TRUE(ini.Save());
  GetCapturedStdout();
  EXPECT_EQ(ReadFile(Path("copy.ini")), "");
}

TEST_F(DataFileTest, FailuresAreReported) {
  CDataFile ini;
  CaptureStdout();
  EXPECT_FALSE(ini.Load(Path("missing.ini")));
  EXPECT_FALSE(ini.Load(dir_.path()));  // a folder is not a file
  EXPECT_FALSE(ini.Save());
  ini.Clear();
  EXPECT_FALSE(ini.Save());
  EXPECT_EQ(GetCapturedStdout(),
            "<info> [CDataFile::Load] Unable to open file. Does it exist?\n"
            "<error> [CDataFile::Load] File <" + dir_.path() + "> not loaded: it is not a regular file.\n"
            "<error> [CDataFile::Save] No filename has been set.\n"
            "<info> [CDataFile::Save] Nothing to save.\n");
  EXPECT_EQ(ini.GetFileName(), "");

  ini.SetFileName("a.ini");
  CaptureStdout();
  ini.SetFileName("A.INI");
  EXPECT_EQ(GetCapturedStdout(), "");
  EXPECT_FALSE(ini.IsDirty());
  EXPECT_EQ(ini.GetFileName(), "A.INI");
  CaptureStdout();
  ini.SetFileName("b.ini");
  EXPECT_EQ(GetCapturedStdout(), "<warn> [CDataFile::SetFileName] The filename has changed from <A.INI> to <b.ini>.\n");
  EXPECT_TRUE(ini.IsDirty());
  ini.Clear();
  EXPECT_FALSE(ini.IsDirty());
}

TEST_F(DataFileTest, FailedSaveKeepsTheOldFile) {
  WriteFile(Path("keep.ini"), "k=old\n");
  CDataFile ini;
  ASSERT_TRUE(ini.Load(Path("keep.ini")));
  ASSERT_TRUE(ini.SetValue("big", std::string(100000, 'b'), "", ""));

  // A full disk: the file-size limit stops the write part way.
  rlimit old;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit small = old;
  small.rlim_cur = 4096;
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  CaptureStdout();
  const bool saved = ini.Save();
  const std::string report = GetCapturedStdout();
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_FALSE(saved);
  EXPECT_EQ(report, "<error> [CDataFile::Save] Unable to save file.\n");
  EXPECT_TRUE(ini.IsDirty());
  EXPECT_EQ(ReadFile(Path("keep.ini")), "k=old\n");
  EXPECT_EQ(testutil::Entries(dir_.path()), std::set<std::string>{"keep.ini"});  // no temporary file left

  // The target cannot be replaced: a folder of that name.
  ASSERT_EQ(mkdir(Path("folder.ini").c_str(), 0755), 0);
  CaptureStdout();
  ini.SetFileName(Path("folder.ini"));
  EXPECT_FALSE(ini.Save());
  GetCapturedStdout();
  ini.Clear();  // nothing left to save at destruction
}

TEST_F(DataFileTest, SaveKeepsModeAndSymbolicLinks) {
  WriteFile(Path("real.ini"), "k=1\n");
  ASSERT_EQ(chmod(Path("real.ini").c_str(), 0640), 0);
  ASSERT_EQ(symlink("real.ini", Path("link.ini").c_str()), 0);
  CDataFile ini;
  ASSERT_TRUE(ini.Load(Path("link.ini")));
  ASSERT_TRUE(ini.SetValue("k", "2", "", ""));
  ASSERT_TRUE(ini.Save());
  struct stat info;
  ASSERT_EQ(lstat(Path("link.ini").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  ASSERT_EQ(stat(Path("real.ini").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  EXPECT_EQ(ReadFile(Path("real.ini")), "k=2\n");
}

TEST(DataFile, SetValueFollowsTheFlags) {
  CDataFile ini;
  EXPECT_EQ(ini.GetFlags(), 6u);
  ini.SetFlags(CDataFile::kAutoCreateKeys);
  EXPECT_FALSE(ini.SetValue("k", "v", "", "new"));
  EXPECT_EQ(ini.GetSection("new"), nullptr);
  ini.SetFlags(CDataFile::kAutoCreateSections);
  EXPECT_FALSE(ini.SetValue("k", "v", "", "new"));
  EXPECT_NE(ini.GetSection("new"), nullptr);  // the section was made, the key not
  EXPECT_FALSE(ini.KeyExists("k", "new"));
  ini.SetFlags(6);
  EXPECT_TRUE(ini.SetValue("k", "v", "note", "new"));
  EXPECT_TRUE(ini.SetValue("K", "", "", "NEW"));  // an existing key may become empty
  EXPECT_EQ(ini.GetKey("k", "new")->comment, "");
  EXPECT_EQ(ini.KeyCount(), 1);

  // A line feed would break the file into other lines.
  EXPECT_FALSE(ini.SetValue("k", "a\nb=c", "", "new"));
  EXPECT_FALSE(ini.SetValue("a\nb", "c", "", "new"));
  EXPECT_FALSE(ini.CreateSection("x]\n[y", ""));
  CaptureStdout();
  EXPECT_FALSE(ini.CreateSection("NEW", ""));
  EXPECT_EQ(GetCapturedStdout(), "<info> [CDataFile::CreateSection] Section <NEW> allready exists. Aborting.\n");
  ini.Clear();
}

TEST(DataFile, GetBool) {
  CDataFile ini;
  const std::map<std::string, bool> cases = {{"1", true},   {"10", true}, {"TRUE", true}, {"Yes", true},
                                             {"0", false},  {"no", false}, {"truey", false}, {"x1x", true}};
  for (const auto& c : cases) {
    ASSERT_TRUE(ini.SetValue("k", c.first, "", ""));
    EXPECT_EQ(ini.GetBool("k", ""), c.second) << c.first;
  }
  EXPECT_FALSE(ini.GetBool("missing", ""));
  ini.Clear();
}

TEST(DataFile, TextOperations) {
  std::string text = " \t=:key = value=:\r\n";
  CDataFile::Trim(text);
  EXPECT_EQ(text, "key = value=:");
  std::string line = "key = value";
  EXPECT_EQ(CDataFile::GetNextWord(line), "key");
  EXPECT_EQ(line, " value");
  line = "only";
  EXPECT_EQ(CDataFile::GetNextWord(line), "only");
  EXPECT_EQ(line, "");

  EXPECT_EQ(CDataFile::CommentStr("  text "), "; text");
  EXPECT_EQ(CDataFile::CommentStr("# kept"), "# kept");
  EXPECT_EQ(CDataFile::CommentStr(" \n "), "");
  EXPECT_EQ(CDataFile::CommentStr("\n; one\nx=2\n# three"), "; one\n; x=2\n# three");
  EXPECT_EQ(CDataFile::CompareNoCase("AbC", "aBc"), 0);
  EXPECT_EQ(CDataFile::CompareNoCase("abc", "abd"), 1);
  EXPECT_EQ(CDataFile::CompareNoCase("abc", "ab"), 1);
}

TEST(DataFile, ReportAndWriteLn) {
  CaptureStdout();
  CDataFile::Report(0, "a %d", 1);
  CDataFile::Report(5, "b\n");
  CDataFile::Report(6, "c\r");
  CDataFile::Report(-1, "%s", std::string(600, 'd').c_str());
  EXPECT_EQ(GetCapturedStdout(), "<debug> a 1\n<critical> b\nc\r" + std::string(600, 'd') + "\n");

  std::ostringstream out;
  EXPECT_EQ(CDataFile::WriteLn(out, "%s=%d", "k", 12), 5);
  EXPECT_EQ(CDataFile::WriteLn(out, "x\n"), 2);
  EXPECT_EQ(CDataFile::WriteLn(out, "%s", ""), 1);
  EXPECT_EQ(CDataFile::WriteLn(out, "%s", std::string(700, 'e').c_str()), 701);
  EXPECT_EQ(out.str(), "k=12\nx\n\n" + std::string(700, 'e') + "\n");
}

TEST_F(DataFileTest, ClearedObjectWritesUnnamedKeysFirst) {
  CDataFile ini;
  ini.Clear();
  ASSERT_TRUE(ini.SetValue("k", "1", "", "s"));
  ASSERT_TRUE(ini.SetValue("top", "2", "", ""));
  ini.SetFileName(Path("c.ini"));
  ASSERT_TRUE(ini.Save());
  EXPECT_EQ(ReadFile(Path("c.ini")), "top=2\n\n[s]\nk=1\n");
}

// Python's configparser as a second reader of simple files: keys inside
// sections, no repeated names, no '%', values without surrounding blanks.
TEST_F(DataFileTest, SimpleFilesReadAsConfigParserReadsThem) {
  std::mt19937 random(777);
  const std::string valueChars = "abcXYZ019 .,:=;#[]/\\-_!?'\"()";
  auto word = [&](int length) {
    std::string s;
    for (int i = 0; i < length; ++i) s += static_cast<char>('a' + random() % 26);
    return s;
  };
  for (int file = 0; file < 8; ++file) {
    std::string text;
    std::map<std::string, std::map<std::string, std::string>> expected;  // lower-cased names
    const int sections = 1 + static_cast<int>(random() % 4);
    for (int s = 0; s < sections; ++s) {
      const std::string name = "Sec " + word(3) + std::to_string(s);
      if (random() % 2) text += "; about " + name + "\n";
      text += "[" + name + "]\n";
      const int keys = 1 + static_cast<int>(random() % 5);
      for (int k = 0; k < keys; ++k) {
        std::string value = word(1);
        const int extra = static_cast<int>(random() % 12);
        for (int i = 0; i < extra; ++i) value += valueChars[random() % valueChars.size()];
        value += random() % 3 ? word(1) : (random() % 2 ? "D:" : "==");
        const std::string key = (k % 2 ? "Key" : "key ") + word(2) + std::to_string(k);
        if (random() % 3 == 0) text += "# note\n";
        text += key + (random() % 2 ? "=" : ":") + value + "\n";
        if (random() % 4 == 0) text += "\n";
        expected[name][key] = value;
      }
    }
    WriteFile(Path("simple.ini"), text);

    const std::string script =
        "import configparser, sys\n"
        "p = configparser.ConfigParser(interpolation=None)\n"
        "p.optionxform = str\n"
        "p.read(sys.argv[1], encoding='latin-1')\n"
        "for s in p.sections():\n"
        "    for k, v in p.items(s):\n"
        "        sys.stdout.write(s + '\\x1f' + k + '\\x1f' + v + '\\x1e')\n";

    CDataFile ini;
    ASSERT_TRUE(ini.Load(Path("simple.ini")));
    std::string ours;
    int count = 0;
    for (const auto& section : expected) {
      for (const auto& key : section.second) {
        ours += section.first + "\x1f" + key.first + "\x1f" + ini.GetValue(key.first, section.first) + "\x1e";
        ++count;
      }
    }
    EXPECT_EQ(ini.KeyCount(), count);
    std::string theirs = testutil::PythonOutput(script, {Path("simple.ini")});
    // configparser keeps the file's order; ours was listed by name.
    auto sorted = [](const std::string& records) {
      std::vector<std::string> items;
      std::stringstream in(records);
      std::string item;
      while (std::getline(in, item, '\x1e')) items.push_back(item);
      std::sort(items.begin(), items.end());
      return items;
    };
    EXPECT_EQ(sorted(ours), sorted(theirs)) << text;

    // What Save writes reads the same there too.
    ini.SetFileName(Path("saved.ini"));
    CaptureStdout();
    ASSERT_TRUE(ini.Save());
    GetCapturedStdout();
    EXPECT_EQ(sorted(testutil::PythonOutput(script, {Path("saved.ini")})), sorted(theirs));
  }
}

}  // namespace
