// The host's PDF export with the plug-in loaded: an export the user starts
// (xthost pdf) meets the plug-in's continuation routine outside a
// conversion, which leaves the user's file and the host's style alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/common/run_command.h"
#include "ui_run_util.h"

namespace {

bool Has(const ui_run::HostRun& run, const std::string& line) {
  return std::find(run.transcript.begin(), run.transcript.end(), line) != run.transcript.end();
}

TEST(XthostPdf, AUsersExportPassesThePluginUntouched) {
  ui_run::Installation install;
  ui_run::WriteFile(install.root() / "doc.qxp", ui_run::ReadFile(std::string(BRENIX_TEST_DATA) + "/doc_pdf.json"));
  const ui_run::HostRun run = ui_run::RunHost(install, {"start", "open", "doc.qxp", "pdf", "mine.pdf", "quit"});
  EXPECT_TRUE(ui_run::Clean(run)) << run.errors;
  EXPECT_TRUE(std::any_of(run.transcript.begin(), run.transcript.end(),
                          [](const std::string& line) { return line.rfind("callback 681 ", 0) == 0; }));
  EXPECT_TRUE(Has(run, "pdf export document 1 to \"mine.pdf\" style \"Default PDF Output Style\" pages 2"));
  for (const std::string& line : run.transcript) EXPECT_EQ(line.find("output style selected"), std::string::npos);
  int status = 0;
  const std::string info = testutil::RunCommand("pdfinfo " + testutil::ShellQuote((install.root() / "mine.pdf").string()), &status);
  EXPECT_EQ(status, 0);
  EXPECT_NE(info.find("Pages:           2"), std::string::npos) << info;
  EXPECT_TRUE(ui_run::ReadFile(install.root() / "mine.pdf_pdf.log").find("pages: 2") != std::string::npos);
}

}  // namespace
