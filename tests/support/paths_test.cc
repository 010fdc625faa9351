#include "support/paths.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <sstream>
#include <string>

#include "tests/common/files.h"
#include "tests/common/temp_dir.h"

namespace {

// Every path function exists for both string types; the tests run over both.
template <class S>
S T(const char* text) {
  const std::string narrow(text);
  return S(narrow.begin(), narrow.end());
}

template <class S>
class PathsTest : public ::testing::Test {};
using StringTypes = ::testing::Types<std::string, TStrU>;
TYPED_TEST_SUITE(PathsTest, StringTypes);

TYPED_TEST(PathsTest, ExtractExtension) {
  using S = TypeParam;
  EXPECT_EQ(ExtractExtension(T<S>("/a/b.txt"), false), T<S>("txt"));
  EXPECT_EQ(ExtractExtension(T<S>("/a/b.txt"), true), T<S>(".txt"));
  EXPECT_EQ(ExtractExtension(T<S>("/a.b/c"), false), T<S>(""));   // the dot names a folder
  EXPECT_EQ(ExtractExtension(T<S>("/a/.."), true), T<S>(""));
  EXPECT_EQ(ExtractExtension(T<S>("/a/.hidden"), false), T<S>(""));
  EXPECT_EQ(ExtractExtension(T<S>("file."), false), T<S>(""));
  EXPECT_EQ(ExtractExtension(T<S>("file."), true), T<S>("."));
  EXPECT_EQ(ExtractExtension(T<S>(".txt"), true), T<S>(""));
  EXPECT_EQ(ExtractExtension(T<S>("noext"), true), T<S>(""));
  // Stored Windows paths: the backslash separates too, a drive-relative name has none.
  EXPECT_EQ(ExtractExtension(T<S>("C:\\a.b\\c"), false), T<S>(""));
  EXPECT_EQ(ExtractExtension(T<S>("C:\\a\\b.QXP"), false), T<S>("QXP"));
  EXPECT_EQ(ExtractExtension(T<S>("C:.x"), false), T<S>(""));
}

TYPED_TEST(PathsTest, SplitPathAndDirectoryPart) {
  using S = TypeParam;
  EXPECT_EQ(SplitPath(T<S>("/a/b.txt"), false), T<S>("b"));
  EXPECT_EQ(SplitPath(T<S>("/a/b.txt"), true), T<S>("b.txt"));
  EXPECT_EQ(SplitPath(T<S>("b.txt"), true), T<S>(""));  // no separator, no name
  EXPECT_EQ(SplitPath(T<S>("/a.d/b"), false), T<S>("b"));
  EXPECT_EQ(SplitPath(T<S>("/a/b.tar.gz"), false), T<S>("b.tar"));
  EXPECT_EQ(CnvTools::DirectoryPart(T<S>("/a/b.txt")), T<S>("/a"));
  EXPECT_EQ(CnvTools::DirectoryPart(T<S>("b.txt")), T<S>(""));
}

TYPED_TEST(PathsTest, SplitPathChecked) {
  using S = TypeParam;
  S dir = T<S>("keep"), name = T<S>("keep"), ext;
  EXPECT_TRUE(SplitPathChecked(T<S>("/a/b.txt"), dir, name, &ext, false));
  EXPECT_EQ(dir, T<S>("/a"));
  EXPECT_EQ(name, T<S>("b"));
  EXPECT_EQ(ext, T<S>("txt"));
  EXPECT_TRUE(SplitPathChecked(T<S>("/a/b.txt"), dir, name, nullptr, true));
  EXPECT_EQ(name, T<S>("b.txt"));

  dir = name = T<S>("keep");
  EXPECT_FALSE(SplitPathChecked(T<S>("b.txt"), dir, name, &ext, false));
  EXPECT_EQ(dir, T<S>("keep"));  // untouched without a separator
  EXPECT_EQ(name, T<S>("keep"));
  EXPECT_EQ(ext, T<S>("txt"));
  EXPECT_FALSE(SplitPathChecked(T<S>("/a/"), dir, name, nullptr, true));  // empty name
  EXPECT_FALSE(SplitPathChecked(T<S>("/b.txt"), dir, name, nullptr, true));  // empty folder part
}

TYPED_TEST(PathsTest, StripTrailingCharAndCutAtLast) {
  using S = TypeParam;
  S s = T<S>("/dir//");
  EXPECT_EQ(StripTrailingChar(s, '/'), 2);
  EXPECT_EQ(s, T<S>("/dir"));
  s = T<S>("///");
  EXPECT_EQ(StripTrailingChar(s, '/'), 2);
  EXPECT_EQ(s, T<S>("/"));
  s = T<S>("");
  EXPECT_EQ(StripTrailingChar(s, '/'), 0);

  s = T<S>("a.b.c");
  EXPECT_TRUE(CutAtLast(s, '.', false));
  EXPECT_EQ(s, T<S>("a.b."));
  EXPECT_TRUE(CutAtLast(s, '.', true));
  EXPECT_EQ(s, T<S>("a.b"));
  EXPECT_FALSE(CutAtLast(s, '/', true));
  EXPECT_EQ(s, T<S>("a.b"));
}

TYPED_TEST(PathsTest, SmallStringFunctions) {
  using S = TypeParam;
  EXPECT_EQ(AppendChar(T<S>("ab"), 'c'), T<S>("abc"));
  EXPECT_EQ(CnvTools::Concat(T<S>("ab"), T<S>("cd")), T<S>("abcd"));
  S out = T<S>("x");
  CopyIfGiven(&out, T<S>("y"));
  EXPECT_EQ(out, T<S>("y"));
  CopyIfGiven(static_cast<S*>(nullptr), T<S>("z"));

  EXPECT_TRUE(StringsEqual(T<S>("ABC.qxp"), T<S>("abc.QXP"), false));
  EXPECT_FALSE(StringsEqual(T<S>("ABC"), T<S>("abc"), true));
  EXPECT_TRUE(StringsEqual(T<S>("abc"), T<S>("abc"), true));
  EXPECT_FALSE(StringsEqual(T<S>("abc"), T<S>("abcd"), false));
  // Bytes past ASCII are not folded in the C locale.
  EXPECT_FALSE(StringsEqual(T<S>("\xC4"), T<S>("\xE4"), false));
}

TYPED_TEST(PathsTest, ExtensionTables) {
  using S = TypeParam;
  EXPECT_EQ(GetFileTypeIndex(T<S>(".PDF")), 2);
  EXPECT_EQ(GetFileTypeIndex(T<S>(".qxp")), 0);
  EXPECT_EQ(GetFileTypeIndex(T<S>(".krm")), 6);
  EXPECT_EQ(GetFileTypeIndex(T<S>(".indd")), 7);
  EXPECT_EQ(GetFileTypeIndex(T<S>("")), 7);
  EXPECT_EQ(GetFileTypeIndex(T<S>("pdf")), 7);

  EXPECT_EQ(GetFileKind(T<S>(".qxd"), true), kFileKindQxd);
  EXPECT_EQ(GetFileKind(T<S>(".indd"), true), kFileKindNone);
  EXPECT_EQ(GetFileKind(T<S>(".KXQ"), false), kFileKindKxq);
  EXPECT_EQ(GetFileKind(T<S>(".jpg"), false), kFileKindNone);  // not a file-record kind
  EXPECT_EQ(GetFileKind(T<S>("xqxd"), false), kFileKindNone);
  EXPECT_EQ(GetFileKindOfPath(T<S>("/jobs/a.Coo"), true), kFileKindCoo);
  EXPECT_EQ(GetFileKindOfPath(T<S>("/jobs.krm/a"), false), kFileKindNone);
}

TYPED_TEST(PathsTest, ReplaceExtension) {
  using S = TypeParam;
  S path = T<S>("a.QXP");
  EXPECT_TRUE(ReplaceExtension(path, T<S>("qxp"), false, false));
  EXPECT_EQ(path, T<S>("a.QXP"));  // same extension keeps its letter case
  path = T<S>("a.qxp");
  EXPECT_TRUE(ReplaceExtension(path, T<S>("kxq"), false, false));
  EXPECT_EQ(path, T<S>("a.kxq"));
  path = T<S>("a");
  EXPECT_TRUE(ReplaceExtension(path, T<S>(".kxq"), false, true));
  EXPECT_EQ(path, T<S>("a.kxq"));
  path = T<S>("a");
  EXPECT_FALSE(ReplaceExtension(path, T<S>("kxq"), false, false));
  EXPECT_EQ(path, T<S>("a"));
  path = T<S>("a.pdf");
  EXPECT_FALSE(ReplaceExtension(path, T<S>("indd"), true, false));
  EXPECT_EQ(path, T<S>("a.pdf"));
  EXPECT_TRUE(ReplaceExtension(path, T<S>("coo"), true, false));
  EXPECT_EQ(path, T<S>("a.coo"));
  // A dot in a folder name is not the file's extension.
  path = T<S>("/data/v1.2/report");
  EXPECT_TRUE(ReplaceExtension(path, T<S>("pdf"), false, true));
  EXPECT_EQ(path, T<S>("/data/v1.2/report.pdf"));
  path = T<S>("/data/v1.2/report");
  EXPECT_FALSE(ReplaceExtension(path, T<S>("pdf"), false, false));
  EXPECT_EQ(path, T<S>("/data/v1.2/report"));
}

// A scratch folder with one file of five bytes.
class PathsOnDisk : public ::testing::Test {
 protected:
  void SetUp() override { testutil::WriteFile(file_, "12345"); }
  const testutil::TempDir temp_;
  const std::string dir_ = temp_.path(), file_ = temp_.File("five.txt");
};

TEST_F(PathsOnDisk, PathExists) {
  bool isDirectory = false;
  EXPECT_TRUE(PathExists(dir_ + "/", &isDirectory));
  EXPECT_TRUE(isDirectory);
  isDirectory = true;
  EXPECT_TRUE(PathExists(file_, &isDirectory, true));
  EXPECT_FALSE(isDirectory);
  EXPECT_TRUE(PathExists(T<TStrU>(file_.c_str())));
  EXPECT_TRUE(PathExists("/", &isDirectory));
  EXPECT_TRUE(isDirectory);
  isDirectory = true;
  EXPECT_FALSE(PathExists(dir_ + "/missing", &isDirectory));
  EXPECT_TRUE(isDirectory);  // left alone when nothing is there
  EXPECT_FALSE(PathExists(""));
}

TEST_F(PathsOnDisk, IntermediateFileMissing) {
  EXPECT_EQ(IntermediateFileMissing(IntermediateFile{file_, false}), -1);
  EXPECT_EQ(IntermediateFileMissing(IntermediateFile{file_, true}), 0);
  EXPECT_EQ(IntermediateFileMissing(IntermediateFile{dir_ + "/gone.pdf", true}), 1);
}

TEST_F(PathsOnDisk, RemoveIntermediateFile) {
  EXPECT_EQ(RemoveIntermediateFile(IntermediateFile{file_, false}), -1);
  EXPECT_EQ(IntermediateFileMissing(IntermediateFile{file_, true}), 0);  // unset leaves it
  EXPECT_EQ(RemoveIntermediateFile(IntermediateFile{file_, true}), 0);
  EXPECT_EQ(IntermediateFileMissing(IntermediateFile{file_, true}), 1);
  EXPECT_EQ(RemoveIntermediateFile(IntermediateFile{file_, true}), 1);  // nothing left to remove
  EXPECT_EQ(RemoveIntermediateFile(IntermediateFile{dir_, true}), 1);   // never a folder
  bool isDirectory = false;
  EXPECT_TRUE(PathExists(dir_, &isDirectory));
  EXPECT_TRUE(isDirectory);
}

TEST_F(PathsOnDisk, GetFileSize) {
  EXPECT_EQ(CnvTools::GetFileSize(file_), 5u);
  EXPECT_EQ(CnvTools::GetFileSize(T<TStrU>(file_.c_str())), 5u);
  EXPECT_EQ(CnvTools::GetFileSize(dir_ + "/missing"), 0u);
  EXPECT_EQ(CnvTools::GetFileSize(std::string()), 0u);
}

// Sets TMPDIR for one test and puts it back afterwards.
class TempDirVariable {
 public:
  explicit TempDirVariable(const char* value) {
    const char* old = std::getenv("TMPDIR");
    had_ = old != nullptr;
    if (had_) old_ = old;
    if (value) setenv("TMPDIR", value, 1);
    else unsetenv("TMPDIR");
  }
  ~TempDirVariable() {
    if (had_) setenv("TMPDIR", old_.c_str(), 1);
    else unsetenv("TMPDIR");
  }

 private:
  bool had_;
  std::string old_;
};

TEST_F(PathsOnDisk, ReadTempPath) {
  std::string out;
  {
    TempDirVariable tmp((dir_ + "//").c_str());
    EXPECT_TRUE(ReadTempPath(out));
    EXPECT_EQ(out, dir_);
    EXPECT_EQ(GetTempFolderPath(), dir_);
  }
  {
    TempDirVariable tmp(nullptr);
    EXPECT_TRUE(ReadTempPath(out));
    EXPECT_EQ(out, "/tmp");
  }
  {
    TempDirVariable tmp(file_.c_str());  // not a folder
    EXPECT_FALSE(ReadTempPath(out));
    EXPECT_EQ(GetTempFolderPath(), "");
  }
  {
    const std::string tooLong = dir_ + "/" + std::string(300, 'x');
    TempDirVariable tmp(tooLong.c_str());
    EXPECT_FALSE(ReadTempPath(out));
  }
}

TEST(Paths, StreamTextAndSeparatorTexts) {
  std::ostringstream stream;
  stream << "sent " << 3 << " files";
  EXPECT_EQ(StreamText(stream), "sent 3 files");
  EXPECT_EQ(CnvTools::BackslashString() + "x", "/x");
  EXPECT_EQ(CnvTools::DotString(), ".");
}

}  // namespace
