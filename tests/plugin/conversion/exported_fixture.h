// A test fixture: tests/data/doc_export.json opened in an in-process
// stand-in host and exported through the harness into `target`.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tests/plugin/conversion/export_harness.h"
#include "tests/plugin/mixer/mixer_host_util.h"

class ExportedFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    static XTRegisterRec record = xthost::MakeRegisterRec();
    XT().registration = &record;  // the export tables are acquired on first use
    host.Open("doc_export.json", "export.qxp");
    result = export_test::ExportCurrentProject(target);
  }

  MixerHost host;
  LogCapture log;
  const std::string target = host.Path("export.kxq");
  export_test::HarnessResult result;
};
