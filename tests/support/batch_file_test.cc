#include "support/batch_file.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "support/date_time.h"
#include "support/settings.h"
#include "tests/common/app_folder.h"
#include "tests/common/files.h"
#include "tests/common/pinned_clock.h"
#include "tests/common/python.h"

namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

using testutil::Exists;
using testutil::ReadFile;
using testutil::WriteFile;

class BatchFileTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(mkdir((dir_ + "/jobs").c_str(), 0777), 0);
    SetBatchFilePath(Control());
  }

  std::string Control() const { return dir_ + "/jobs/ctrl.ini"; }
  std::string StampedCopy() const { return Control() + "_20260305070409"; }
  void SetBatchFilePath(const std::string& value) const {
    WriteFile(dir_ + "/XTensions/brenix.ini", "[Path]\nBatchFilePath=" + value + "\n");
  }

  // An open control file holding `text`.
  void OpenWith(BatchFile& file, const std::string& text) {
    WriteFile(Control(), text);
    CaptureStdout();
    file.Open(false);
    GetCapturedStdout();
  }

  // Values of `path` as Python's ini reader sees them: "section.key=value"
  // lines for the keys asked for.
  static std::string PythonReads(const std::string& path, const std::string& keys) {
    return testutil::PythonOutput(
        "import configparser,sys\n"
        "c=configparser.ConfigParser(interpolation=None)\nc.optionxform=str\n"
        "c.read(sys.argv[1])\n"
        "for k in sys.argv[2].split(','):\n"
        " s,n=k.split('.')\n"
        " print(k+'='+c.get(s,n,fallback='<missing>'))",
        {path, keys});
  }

  const testutil::PinnedClock clock_;
  const testutil::AppFolder app_;
  const std::string dir_ = app_.path();
};

const char kExportJob[] =
    "[General]\nMode=Export\nWaitOnIdle=True\n[Path]\nSource=/in\nTarget=/out\n[Status]\nActive=True\n";

// A control-file path that names a pipe used to block start-up for ever,
// and /dev/zero to fill memory.  Only regular files of up to 16 MiB are
// read: the rest is refused at once with a report, and the defaults hold.
// (A hang would end the test through the alarm.)
TEST_F(BatchFileTest, AControlFileThatIsNoRegularFileIsRefusedAtOnce) {
  const std::string pipe = dir_ + "/jobs/pipe";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const std::string big = dir_ + "/jobs/big.ini";
  WriteFile(big, "[General]\nMode=Export\n");
  ASSERT_EQ(truncate(big.c_str(), (16 << 20) + 1), 0);
  const std::string link = dir_ + "/jobs/zero-link";
  ASSERT_EQ(symlink("/dev/zero", link.c_str()), 0);
  const struct {
    std::string path;
    const char* why;
  } cases[] = {
      {pipe, "it is not a regular file"},
      {"/dev/zero", "it is not a regular file"},
      {link, "it is not a regular file"},
      {dir_ + "/jobs", "it is not a regular file"},
      {big, "it is larger than 16 MiB"},
  };
  for (const auto& c : cases) {
    SetBatchFilePath(c.path);
    BatchFile file;
    alarm(20);
    CaptureStdout();
    EXPECT_FALSE(file.Open(true)) << c.path;
    const std::string reports = GetCapturedStdout();
    alarm(0);
    EXPECT_EQ(reports, "<error> [CDataFile::Load] File <" + c.path + "> not loaded: " + c.why + ".\n");
    EXPECT_EQ(file.GetMode(), BatchNone);
    EXPECT_FALSE(file.IsJobActive());
  }
  // A file of exactly 16 MiB is still read.
  ASSERT_EQ(truncate(big.c_str(), 16 << 20), 0);
  SetBatchFilePath(big);
  BatchFile file;
  CaptureStdout();
  EXPECT_TRUE(file.Open(false));
  GetCapturedStdout();
  EXPECT_EQ(file.GetMode(), BatchExport);
}

TEST_F(BatchFileTest, APathShorterThanTwoCharactersLoadsNothing) {
  for (const char* value : {"", " ", "x"}) {
    SetBatchFilePath(value);
    BatchFile file;
    EXPECT_FALSE(file.Open(false)) << value;
    EXPECT_EQ(file.GetFilePath(), "");
  }
  // Nor does it forget what an earlier open loaded.
  SetBatchFilePath(Control());
  BatchFile file;
  OpenWith(file, kExportJob);
  SetBatchFilePath(" ");
  EXPECT_TRUE(file.Open(false));
  EXPECT_EQ(file.GetFilePath(), Control());
  EXPECT_TRUE(file.IsJobActive());
}

TEST_F(BatchFileTest, AMissingControlFileIsNotLoadedButItsPathIsKept) {
  BatchFile file;
  CaptureStdout();
  EXPECT_FALSE(file.Open(false));
  EXPECT_NE(GetCapturedStdout().find("[CDataFile::Load] Unable to open file. Does it exist?"), std::string::npos);
  EXPECT_EQ(file.GetFilePath(), Control());
  EXPECT_EQ(file.GetMode(), BatchNone);
  EXPECT_TRUE(file.IsValid());
  EXPECT_FALSE(file.Check());
}

TEST_F(BatchFileTest, ValidityMatrix) {
  struct Case {
    const char* text;
    BatchMode mode;
    bool valid, check, active;
  };
  const Case cases[] = {
      {"[Path]\nSource=/in\n", BatchNone, true, false, false},
      {"[General]\nMode=export\n[Path]\nSource=/in\nTarget=/out\n", BatchNone, true, false, false},
      {"[General]\nMode=Done\n[Status]\nActive=True\n", BatchDone, true, false, false},
      {"[General]\nMode=Import\n[Path]\nSource=/in\nTarget=/out\n", BatchImport, true, true, false},
      {"[General]\nMode=Import\n[Path]\nSource=/in\nPdfDir=/pdf\n", BatchImport, false, false, false},
      {"[General]\nMode=Import\n[Path]\nSource=/in\nTarget= \n", BatchImport, false, false, false},
      {"[General]\nMode=Export\n[Path]\nSource=/in\nPdfDir=/pdf\n[Status]\nActive=True\n", BatchExport, true, true,
       true},
      {"[General]\nMode=Export\n[Path]\nTarget=/out\n[Status]\nActive=True\n", BatchExport, false, false, false},
      {"[General]\nMode = Export \n[Path]\nSource = /in\nTarget = /out\n[Status]\nActive = yes\n", BatchExport, true,
       true, true},
      {"[General]\nMode=Export\n[Path]\nSource=/in\nTarget=/out\n[Status]\nActive=False\n", BatchExport, true, true,
       false},
  };
  for (const Case& c : cases) {
    BatchFile file;
    OpenWith(file, c.text);
    EXPECT_EQ(file.GetMode(), c.mode) << c.text;
    EXPECT_EQ(file.IsValid(), c.valid) << c.text;
    EXPECT_EQ(file.Check(), c.check) << c.text;
    EXPECT_EQ(file.BeginJob(), c.check) << c.text;
    EXPECT_EQ(file.IsJobActive(), c.active) << c.text;
  }
}

TEST_F(BatchFileTest, AWholeExportJobEndsInAStampedCopyAndNoControlFile) {
  BatchFile file;
  OpenWith(file, std::string(kExportJob) + "Count=0\n");
  ASSERT_TRUE(file.IsJobActive());
  ASSERT_TRUE(file.BeginJob());
  std::string source, target, pdfDir;
  file.GetPaths(source, target, pdfDir);
  EXPECT_EQ(source + "|" + target + "|" + pdfDir, "/in|/out|");
  EXPECT_FALSE(file.IsRecursive());

  EXPECT_TRUE(file.SetTotal(12));
  EXPECT_TRUE(file.SetCount(12, true, true));
  EXPECT_EQ(PythonReads(Control(), "Status.Count,Status.Total"), "Status.Count=12\nStatus.Total=12\n");
  // The same value again writes nothing: a file that is gone stays gone.
  ASSERT_EQ(unlink(Control().c_str()), 0);
  EXPECT_TRUE(file.SetCount(12, true, true));
  EXPECT_FALSE(Exists(Control()));
  WriteFile(Control(), std::string(kExportJob) + "Count=12\nTotal=12\n");

  CaptureStdout();
  EXPECT_TRUE(file.EndJob(true));
  const std::string reports = GetCapturedStdout();
  EXPECT_TRUE(file.GetWaitOnIdleFlag());
  EXPECT_FALSE(Exists(Control()));
  ASSERT_TRUE(Exists(StampedCopy()));
  EXPECT_EQ(PythonReads(StampedCopy(), "General.Mode,Status.Active,Status.Count,Path.Source"),
            "General.Mode=Export\nStatus.Active=False\nStatus.Count=12\nPath.Source=/in\n");
  // The copy is named, and named back, each time with a report.
  EXPECT_NE(reports.find("<" + Control() + "> to <" + StampedCopy() + ">"), std::string::npos) << reports;
  EXPECT_NE(reports.find("<" + StampedCopy() + "> to <" + Control() + ">"), std::string::npos) << reports;
  EXPECT_EQ(file.GetMode(), BatchDone);
  EXPECT_FALSE(file.IsJobActive());
}

TEST_F(BatchFileTest, WithoutWaitOnIdleTheFlagIsClearedAtTheEnd) {
  BatchFile file;
  file.SetWaitOnIdleFlag(true);
  OpenWith(file, "[General]\nMode=Import\n[Path]\nSource=/in\nTarget=/out\n[Status]\nActive=True\n");
  CaptureStdout();
  EXPECT_TRUE(file.EndJob(true));
  GetCapturedStdout();
  EXPECT_FALSE(file.GetWaitOnIdleFlag());
  EXPECT_EQ(PythonReads(StampedCopy(), "General.Mode,Status.Active"), "General.Mode=Import\nStatus.Active=False\n");
}

TEST_F(BatchFileTest, AFailingStepEndsItsJob) {
  BatchFile file;
  file.SetWaitOnIdleFlag(true);
  OpenWith(file, kExportJob);
  EXPECT_FALSE(file.EndJob(false));
  EXPECT_FALSE(file.GetWaitOnIdleFlag());
  EXPECT_FALSE(file.IsJobActive());
  EXPECT_EQ(PythonReads(Control(), "General.Mode,Status.Active"), "General.Mode=Export\nStatus.Active=False\n");
  EXPECT_FALSE(Exists(StampedCopy()));
  // Re-reading the file does not bring the job back.
  BatchFile again;
  OpenWith(again, ReadFile(Control()));
  EXPECT_FALSE(again.IsJobActive());
}

TEST_F(BatchFileTest, EndJobWithoutAnActiveJobChangesNothing) {
  const std::string text = "[General]\nMode=Export\n[Path]\nSource=/in\nTarget=/out\n";
  BatchFile file;
  file.SetWaitOnIdleFlag(true);
  OpenWith(file, text);
  EXPECT_FALSE(file.EndJob(true));
  EXPECT_FALSE(file.EndJob(false));
  EXPECT_TRUE(file.GetWaitOnIdleFlag());
  EXPECT_EQ(ReadFile(Control()), text);
}

TEST_F(BatchFileTest, TheControlFileStaysWhenItsCopyCannotBeWritten) {
  ASSERT_EQ(mkdir(StampedCopy().c_str(), 0777), 0);  // the copy's name is taken
  BatchFile file;
  OpenWith(file, kExportJob);
  CaptureStdout();
  EXPECT_FALSE(file.EndJob(true));
  GetCapturedStdout();
  ASSERT_TRUE(Exists(Control()));
  EXPECT_EQ(PythonReads(Control(), "General.Mode,Status.Active"), "General.Mode=Done\nStatus.Active=False\n");
}

TEST_F(BatchFileTest, ANewControlFileInheritsNothingFromTheLastOne) {
  BatchFile file;
  OpenWith(file, "[General]\nMode=Export\nRecursive=True\n[Path]\nSource=/in\nPdfDir=/pdf\n");
  EXPECT_TRUE(file.IsRecursive());
  OpenWith(file, "[General]\nMode=Export\n[Path]\nSource=/in2\n");
  EXPECT_FALSE(file.IsRecursive());
  EXPECT_EQ(file.GetPath(BatchKey::PdfDir), "");
  EXPECT_FALSE(file.IsValid());
  // A load that fails keeps what the last one read.
  ASSERT_EQ(unlink(Control().c_str()), 0);
  CaptureStdout();
  EXPECT_FALSE(file.Open(false));
  GetCapturedStdout();
  EXPECT_EQ(file.GetPath(BatchKey::Source), "/in2");
}

TEST_F(BatchFileTest, WriteDefaultsWritesTheNineKeysWithTheirComments) {
  WriteFile(Control(), "");
  BatchFile file;
  CaptureStdout();
  EXPECT_TRUE(file.Open(true));
  GetCapturedStdout();
  const std::string text = ReadFile(Control());
  EXPECT_NE(text.find("\n[General]\n\n; Batch Mode" + std::string(40, ' ') +
                      "[ None | Export | Import | Done ]\nMode=None\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\n; Is batch currently active?\nActive=False\n"), std::string::npos) << text;
  EXPECT_EQ(PythonReads(Control(), "General.Recursive,General.WaitOnIdle,Status.Count,Status.Total"),
            "General.Recursive=False\nGeneral.WaitOnIdle=False\nStatus.Count=0\nStatus.Total=0\n");
  EXPECT_EQ(file.GetPath(BatchKey::Source), "");
  EXPECT_EQ(file.GetPath(BatchKey::Mode), "");
  EXPECT_EQ(BatchFile::GetSectionName(9), "");
  EXPECT_EQ(BatchFile::GetDefault(-1), "");
}

TEST_F(BatchFileTest, ALoadedSettingsStoreNamesTheControlFile) {
  // The process-wide store is loaded in a child, which ends with it.
  const pid_t child = fork();
  if (child == 0) {
    const std::string other = dir_ + "/other.ini";
    WriteFile(dir_ + "/settings.ini", "[Path]\nBatchFilePath=" + other + "\n");
    WriteFile(other, kExportJob);
    if (!Settings::Instance().Load(dir_ + "/settings.ini", false)) _exit(2);
    BatchFile file;
    _exit(file.Open(false) && file.GetFilePath() == other && file.IsJobActive() ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
