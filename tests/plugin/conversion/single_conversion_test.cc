// Converting one file without a user: kinds that do not convert touch
// nothing, a failed export answers false, an existing target is cleared
// first, and only a document the converter opened itself is closed again.
#include <gtest/gtest.h>

#include <string>

#include "plugin/conversion/conversion_globals.h"
#include "plugin/conversion/single_conversion.h"
#include "plugin/qapi/file_spec.h"
#include "plugin/qapi/quark_doc.h"
#include "tests/common/files.h"
#include "tests/plugin/qapi/doc_host_util.h"

namespace {

bool HasLineWith(const std::vector<std::string>& lines, const std::string& text) {
  for (const std::string& line : lines) {
    if (line.find(text) != std::string::npos) return true;
  }
  return false;
}

class ProcessConversionTest : public ::testing::Test {
 protected:
  void TearDown() override { OverwriteFlags.SetAll(0); }

  // A host document on disk that is not open.
  std::string Document(const std::string& name) {
    const std::string path = host_.Path(name);
    testutil::WriteFile(path, FixtureText("doc_minimal.json"));
    return path;
  }

  DocHost host_;
};

TEST_F(ProcessConversionTest, KindsThatDoNotConvertTouchNothing) {
  const std::string source = Document("x.qxd");
  CurrentRequest().Reset();
  CurrentRequest().source.fullPath = "kept";
  EXPECT_FALSE(FolderUtils::ProcessConversion(source, host_.Path("x.kxq"), kFileKindQxd, kFileKindKxq));
  EXPECT_FALSE(FolderUtils::ProcessConversion(host_.Path("a.kxq"), host_.Path("a.qxd"), kFileKindKxq,
                                              kFileKindQxd));
  EXPECT_TRUE(host_.Lines().empty()) << host_.Lines().front();
  EXPECT_EQ(CurrentRequest().source.fullPath, "kept");
}

TEST_F(ProcessConversionTest, AFailedExportClosesTheDocumentItOpened) {
  const std::string source = Document("a.qxp");
  const std::string target = host_.Path("a.kxq");
  testutil::WriteFile(target, "old container");
  // No export runs here: the action records no outcome.
  EXPECT_FALSE(FolderUtils::ProcessConversion(source, target, kFileKindQxp, kFileKindKxq));
  EXPECT_EQ(GetDocumentCount(), 0);
  EXPECT_TRUE(HasLineWith(host_.Lines(), "open document")) << host_.Lines().size();
  // All overwrite flags are set, and the target the failed export did not
  // replace stays as it was.
  EXPECT_EQ(testutil::ReadFile(target), "old container");
  EXPECT_EQ(OverwriteFlags.kxqTarget, 1);
  EXPECT_EQ(CurrentRequest().source.GetFullPath(), source);
  EXPECT_EQ(CurrentRequest().target.GetFullPath(), target);
}

TEST_F(ProcessConversionTest, ADocumentOpenBeforeStaysOpen) {
  host_.Open("doc_minimal.json", "b.qxp");
  const int16_t before = GetCurrentDocumentId();
  EXPECT_FALSE(FolderUtils::ProcessConversion(host_.Path("b.qxp"), host_.Path("b.kxq"), kFileKindQxp,
                                              kFileKindKxq));
  EXPECT_GE(GetDocumentCount(), 1);
  EXPECT_EQ(GetCurrentDocumentId(), before);
}

TEST_F(ProcessConversionTest, PathsTheHostRejectsFailEarly) {
  const std::string source = Document("c.qxp");
  const struct {
    std::string source, target;
  } cases[] = {
      {host_.Path("missing/c.qxp"), host_.Path("c.kxq")},
      {source, host_.Path("missing/c.kxq")},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(FolderUtils::ProcessConversion(c.source, c.target, kFileKindQxp, kFileKindKxq)) << c.source;
    EXPECT_FALSE(HasLineWith(host_.Lines(), "open document")) << c.target;
  }
}

TEST_F(ProcessConversionTest, AnImportWithoutItsContainerFails) {
  // The import action is not there: nothing is recorded, nothing written.
  const std::string container = host_.Path("d.kxq");
  testutil::WriteFile(container, "container");
  EXPECT_FALSE(FolderUtils::ProcessConversion(container, host_.Path("d.qxp"), kFileKindKxq, kFileKindQxp));
  EXPECT_EQ(ImportTargetPath, host_.Path("d.qxp"));
  EXPECT_FALSE(testutil::Exists(host_.Path("d.qxp")));
}

}  // namespace
