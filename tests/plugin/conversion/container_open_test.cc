// Opening an export container from a host file spec: a container at a path
// of any length, replacing a file there, read back by python3-olefile; an
// empty handle and no file anywhere when the host cannot name the path or
// the container cannot be made.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "plugin/conversion/container_open.h"
#include "support/host_file_spec.h"
#include "tests/common/files.h"
#include "tests/common/python.h"
#include "tests/plugin/qapi/doc_host_util.h"

namespace {

using BX_KXT::Export::IBook;
using BX_KXT::Export::Ref;

// The spec of an existing file at `path`.
XTFileSpec SpecOf(const std::string& path) {
  XTFileSpec spec{};
  EXPECT_EQ(xt_fsmakefsspec(0, 0, path, spec, true, false, false, nullptr, 0, false, nullptr), kXTOk) << path;
  return spec;
}

// What python3-olefile says of the file: "ole" and the book's top entries.
std::string OleWitness(const std::string& path) {
  return testutil::PythonOutput(
      "import sys, olefile\n"
      "p = sys.argv[1]\n"
      "if not olefile.isOleFile(p): print('not ole'); sys.exit(0)\n"
      "ole = olefile.OleFileIO(p)\n"
      "print('ole', len(ole.listdir(streams=True, storages=True)) > 0)\n",
      {path});
}

class ContainerOpenTest : public ::testing::Test {
 protected:
  DocHost host_;
};

TEST_F(ContainerOpenTest, MakesAContainerAtALongPathReplacingTheFileThere) {
  std::string folder = host_.Path("");
  for (int i = 0; i < 5; ++i) folder += std::string(60, static_cast<char>('a' + i)) + "/";
  std::filesystem::create_directories(folder);
  const std::string path = folder + "book.kxq";
  ASSERT_GT(path.size(), 300u);
  testutil::WriteFile(path, "an older file");
  const XTFileSpec spec = SpecOf(path);
  {
    Ref<IBook> book = OpenExportContainer(spec);
    ASSERT_TRUE(book);
    book->AddAttr(u"book_title", u"T");
  }
  EXPECT_EQ(OleWitness(path), "ole True\n");
}

TEST_F(ContainerOpenTest, AnUnnamedPathGivesAnEmptyHandleAndWritesNowhere) {
  const std::string name = "unnamed-container-probe.kxq";
  const std::string path = host_.Path(name);
  testutil::WriteFile(path, "kept");
  const XTFileSpec spec = SpecOf(path);
  const std::string current = std::filesystem::current_path() / name;
  ASSERT_FALSE(testutil::Exists(current));
  for (const char* plan : {"full_path:1", "path_string:1"}) {
    host_.Fail(plan);
    Ref<IBook> book;
    EXPECT_NO_THROW(book = OpenExportContainer(spec)) << plan;
    EXPECT_FALSE(book) << plan;
    // Not the bare name in the current folder, and the named file is untouched.
    EXPECT_FALSE(testutil::Exists(current)) << plan;
    EXPECT_EQ(testutil::ReadFile(path), "kept") << plan;
  }
}

TEST_F(ContainerOpenTest, AContainerThatCannotBeMadeGivesAnEmptyHandle) {
  const std::string path = host_.Path("taken.kxq");
  testutil::WriteFile(path, "");
  const XTFileSpec spec = SpecOf(path);
  // A folder in the file's place: the container cannot be created.
  std::filesystem::remove(path);
  std::filesystem::create_directory(path);
  Ref<IBook> book;
  EXPECT_NO_THROW(book = OpenExportContainer(spec));
  EXPECT_FALSE(book);
  EXPECT_TRUE(testutil::IsDirectory(path));
  EXPECT_TRUE(testutil::Entries(path).empty());
}

}  // namespace
