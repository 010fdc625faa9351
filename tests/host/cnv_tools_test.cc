// Host file specs of request records and paths stored into them, over the
// stand-in host.
#include "plugin/qapi/cnv_tools.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "host/linked_host_util.h"
#include "support/host_link.h"
#include "tests/common/files.h"

namespace {

FileSpec Record(const std::string& path) {
  FileSpec file;
  file.fullPath = path;
  return file;
}

// The target is made into a spec only where the overwrite flag allows:
// an existing file without it gives -48; with it, its spec is made.  The
// file stays either way (the output replaces it once whole).
TEST(MakeDocumentSpec, AnExistingFileNeedsTheOverwriteFlag) {
  struct Case {
    bool exists, overwrite;
    int32_t result;
    bool named, left;  // the spec names the file; the file is on disk afterwards
  };
  const Case cases[] = {
      {false, false, 0, true, false},
      {false, true, 0, true, false},
      {true, false, kXTErrDuplicate, false, true},
      {true, true, 0, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.exists) + std::to_string(c.overwrite));
    TempFolder temp;
    LinkedHost host;
    if (c.exists) testutil::WriteFile(temp / "t.kxq", "old");
    XTFileSpec spec{};
    EXPECT_EQ(CnvTools::MakeDocumentSpec(Record(temp / "t.kxq"), &spec, c.overwrite, kXTDocumentType, -1),
              c.result);
    EXPECT_EQ(std::string(spec.name) == "t.kxq", c.named);
    EXPECT_EQ(std::filesystem::exists(temp / "t.kxq"), c.left);
    EXPECT_EQ(host.OpenHandles(), 0u);
  }
}

TEST(MakeDocumentSpec, NoPlaceForTheSpecAndHostFailures) {
  TempFolder temp;
  {
    LinkedHost host;
    EXPECT_EQ(CnvTools::MakeDocumentSpec(Record(temp / "t.kxq"), nullptr, true, kXTDocumentType, -1), 12);
  }
  testutil::WriteFile(temp / "t.kxq", "old");
  LinkedHost host("file_exists:1");
  XTFileSpec spec{};
  EXPECT_EQ(CnvTools::MakeDocumentSpec(Record(temp / "t.kxq"), &spec, true, kXTDocumentType, -1), kXTErrInjected);
  EXPECT_EQ(spec.name[0], '\0');
  EXPECT_TRUE(std::filesystem::exists(temp / "t.kxq"));
  EXPECT_EQ(host.OpenHandles(), 0u);
}

TEST(SetTargetPath, StoresThePathNameAndKindAndChecksTheFolder) {
  TempFolder temp;
  LinkedHost host;
  FileSpec file;
  EXPECT_EQ(CnvTools::SetTargetPath(file, temp / "out.coo"), 0);
  EXPECT_EQ(file.GetFullPath(), temp / "out.coo");
  EXPECT_EQ(file.GetFileName(), "out.coo");
  EXPECT_EQ(file.kind, 5u);
  FileSpec missing;
  EXPECT_EQ(CnvTools::SetTargetPath(missing, temp / "none/out.krm"), kXTErrNoFolder);
  EXPECT_EQ(missing.GetFullPath(), temp / "none/out.krm");
  XTFileSpec spec{};
  EXPECT_EQ(CnvTools::SetPath(file, spec), 0);
  EXPECT_STREQ(spec.name, "out.coo");
  EXPECT_EQ(host.OpenHandles(), 0u);
}

}  // namespace
