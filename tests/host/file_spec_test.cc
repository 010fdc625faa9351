// File records, the current request and the PDF target path, over the
// stand-in host.
#include "plugin/qapi/file_spec.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "host/linked_host_util.h"
#include "support/conversion_state.h"
#include "support/host_link.h"

namespace {

TEST(FileSpec, NewRecordsAndReset) {
  const FileSpec spec;
  EXPECT_EQ(spec.kind, 7u);
  EXPECT_EQ(spec.GetFileName(), "");
  EXPECT_EQ(spec.GetFullPath(), "");
  EXPECT_EQ(spec.hostType, 0x58505233u);
  EXPECT_EQ(spec.value, -1);

  FileSpecPair& request = CurrentRequest();
  EXPECT_EQ(request.conversionType, 6u);
  request.source.fullPath = "/a/b.qxp";
  request.target.kind = 2;
  request.target.value = 5;
  request.conversionType = 0;
  const FileSpecPair copy = request;
  EXPECT_EQ(copy.GetTarget().value, 5);
  EXPECT_EQ(copy.source.GetFullPath(), "/a/b.qxp");
  request.Reset();
  EXPECT_EQ(request.conversionType, 6u);
  EXPECT_EQ(request.source.GetFullPath(), "");
  EXPECT_EQ(request.target.kind, 7u);
  EXPECT_EQ(request.target.value, -1);
  EXPECT_EQ(copy.conversionType, 0u);  // the copy is its own
}

TEST(FileSpec, SetFromPathNamesTheFileAndSetsItsKind) {
  TempFolder temp;
  LinkedHost host;
  FileSpec spec;
  EXPECT_EQ(spec.SetFromPath(temp / "Übersetzung.KXQ"), 0);
  EXPECT_EQ(spec.GetFileName(), "Übersetzung.KXQ");
  EXPECT_EQ(spec.GetFullPath(), temp / "Übersetzung.KXQ");
  EXPECT_EQ(spec.kind, 2u);
  EXPECT_EQ(host.OpenHandles(), 0u);
}

TEST(FileSpec, SetFromPathAsksTwiceAndKeepsTheNameOnFailure) {
  TempFolder temp;
  {
    LinkedHost host("file_name:1");
    FileSpec spec;
    EXPECT_EQ(spec.SetFromPath(temp / "a.pdf"), 0);
    EXPECT_EQ(spec.GetFileName(), "a.pdf");
    EXPECT_EQ(spec.kind, 3u);
  }
  LinkedHost host("file_name:*");
  FileSpec spec;
  spec.fileName = "old";
  EXPECT_EQ(spec.SetFromPath(temp / "a.pdf"), kXTErrInjected);
  EXPECT_EQ(spec.GetFileName(), "old");
  EXPECT_EQ(spec.GetFullPath(), temp / "a.pdf");
  EXPECT_EQ(spec.kind, 7u);
  EXPECT_EQ(host.OpenHandles(), 0u);
}

TEST(FileSpec, GetHostSpecNamesTheFullPath) {
  TempFolder temp;
  LinkedHost host;
  FileSpec spec;
  spec.fullPath = temp / "c.qxp";
  XTFileSpec record{};
  spec.GetHostSpec(record);
  EXPECT_STREQ(record.name, "c.qxp");
  XTFileSpec sibling{};
  XT().files->make_spec(0, 0, (temp / "d.qxp").c_str(), &sibling);
  EXPECT_EQ(int32_t{record.folder}, int32_t{sibling.folder});
  XTFileSpec untouched{};
  untouched.folder = 99;
  spec.fullPath = temp / "none/c.qxp";
  spec.GetHostSpec(untouched);
  EXPECT_EQ(int32_t{untouched.folder}, 99);
  EXPECT_EQ(host.OpenHandles(), 0u);
}

TEST(FileSpec, CreateHostFile) {
  TempFolder temp;
  LinkedHost host;
  FileSpec spec;
  spec.fullPath = temp / "out.kxq";
  spec.CreateHostFile(0, true, kXTDocumentType, -1);  // no creator: nothing
  EXPECT_FALSE(Exists(spec.fullPath));
  spec.CreateHostFile(1, false, kXTDocumentType, -1);
  EXPECT_TRUE(Exists(spec.fullPath));

  WriteFile(spec.fullPath, "old content");
  spec.CreateHostFile(1, false, kXTDocumentType, -1);  // exists, no overwrite: kept
  EXPECT_EQ(ReadFile(spec.fullPath), "old content");
  EXPECT_EQ(host.Transcript(), "");

  // Overwrite: deleted, its value handed back (after a 0), made anew.  The
  // record's value stands in for -1.
  spec.value = 7;
  spec.CreateHostFile(1, true, kXTDocumentType, -1);
  EXPECT_TRUE(Exists(spec.fullPath));
  EXPECT_EQ(ReadFile(spec.fullPath), "");
  EXPECT_EQ(host.Transcript(), "file value released 0 7\n");
  host.Clear();
  spec.CreateHostFile(1, true, kXTDocumentType, 9);
  EXPECT_EQ(host.Transcript(), "file value released 0 9\n");
  EXPECT_EQ(host.OpenHandles(), 0u);
}

TEST(FileSpec, SetHostFileInfo) {
  TempFolder temp;
  LinkedHost host;
  FileSpec spec;
  spec.fullPath = temp / "i.qxp";
  WriteFile(spec.fullPath, "x");
  spec.SetHostFileInfo(0, 5);
  EXPECT_EQ(host.Transcript(), "");
  spec.SetHostFileInfo(3, 5);
  EXPECT_EQ(host.Transcript(), "file info \"i.qxp\" 3 5\n");
  EXPECT_EQ(host.OpenHandles(), 0u);
}

TEST(MakePdfTargetPath, ByPdfModeAndOnlyFromTheLastComponent) {
  TempFolder temp;
  LinkedHost host;
  FileSpecPair& request = CurrentRequest();
  request.Reset();
  request.target.fullPath = temp / "doc.qxp";
  std::string out;
  PdfStepMode = 3;
  MakePdfTargetPath(out);
  EXPECT_EQ(out, temp / "doc");
  PdfStepMode = 1;
  MakePdfTargetPath(out);
  EXPECT_EQ(out, temp / "doc");
  PdfStepMode = 2;
  MakePdfTargetPath(out);
  EXPECT_EQ(out, temp / "doc.pdf");
  PdfStepMode = 0;
  request.target.fullPath = temp / "doc.qxpx";
  MakePdfTargetPath(out);
  EXPECT_EQ(out, temp / "doc.qxpx.pdf");
  // A dot in a folder name is no extension.
  ::mkdir((temp / "v1.abc").c_str(), 0777);
  request.target.fullPath = temp / "v1.abc/doc";
  MakePdfTargetPath(out);
  EXPECT_EQ(out, temp / "v1.abc/doc.pdf");
  // A target in a folder that does not exist: no path.
  out = "old";
  request.target.fullPath = temp / "none/doc.qxp";
  MakePdfTargetPath(out);
  EXPECT_EQ(out, "old");
  PdfStepMode = 3;
  request.Reset();
  EXPECT_EQ(host.OpenHandles(), 0u);
}

}  // namespace
