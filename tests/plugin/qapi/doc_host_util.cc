#include "tests/plugin/qapi/doc_host_util.h"

#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>

#include "host/document_ops.h"
#include "support/host_link.h"
#include "support/program_log.h"
#include "tests/common/registry_root.h"

// The registry of every test program lives in a folder of its own, made
// before anything asks the registry.
const testutil::RegistryRoot g_registry;

DocHost::DocHost(const std::string& fail) {
  xthost::HostOptions options;
  options.transcript = &transcript_;
  host_ = std::make_unique<xthost::Host>(std::move(options));
  const XTRegisterRec record = xthost::MakeRegisterRec();
  HostLink& link = XT();
  link = HostLink();
  AcquireSuite(record, kXTSuiteLTA1, link.lta1);
  AcquireSuite(record, kXTSuiteQSC1, link.qsc1);
  AcquireSuite(record, kXTSuiteQSB1, link.qsb1);
  AcquireSuite(record, kXTSuiteLGE2, link.lge2);
  AcquireSuite(record, kXTSuiteLGF2, link.lgf2);
  AcquireSuite(record, kXTSuiteLGG2, link.lgg2);
  AcquireSuite(record, kXTSuiteLGH2, link.lgh2);
  AcquireSuite(record, kXTSuiteLGI2, link.lgi2);
  AcquireSuite(record, kXTSuiteLGJ2, link.lgj2);
  AcquireSuite(record, kXTTableXFJj, link.files);
  AcquireSuite(record, kXTTableXRSa, link.errors);
  AcquireSuite(record, kXTTableXDDg, link.documents);
  AcquireSuite(record, kXTTableXMFe, link.folder_specs);
  AcquireSuite(record, kXTTableXPJc, link.projects);
  Clear();
  Fail(fail);
}

DocHost::~DocHost() {
  XT() = HostLink();
  host_.reset();
}

int32_t DocHost::Open(const std::string& fixture, const std::string& name) {
  const std::string path = Path(name.empty() ? fixture : name);
  std::ofstream(path, std::ios::binary) << FixtureText(fixture);
  int32_t id = 0;
  std::string error;
  EXPECT_EQ(xthost::OpenDocumentFile(*host_, path, 31, &id, &error), kXTOk) << error;
  return id;
}

xthost::DocumentContent& DocHost::content() {
  xthost::DocumentContent* content = xthost::CurrentContent(*host_);
  if (content == nullptr) throw std::runtime_error("no current document");
  return *content;
}

void DocHost::Fail(const std::string& plan) {
  xthost::FailPlan parsed;
  std::string error;
  if (!xthost::FailPlan::Parse(plan, &parsed, &error)) throw std::runtime_error(error);
  host_->SetFailPlan(std::move(parsed));
}

std::vector<std::string> DocHost::Lines() const {
  std::vector<std::string> lines;
  std::istringstream in(transcript_.str());
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string FixtureText(const std::string& name) {
  return testutil::ReadFile(std::string(BRENIX_TEST_DATA) + "/" + name);
}
