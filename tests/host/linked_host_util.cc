#include "host/linked_host_util.h"

#include <stdexcept>

#include "support/host_link.h"

LinkedHost::LinkedHost(const std::string& fail, const std::string& temp,
                       const std::string& xtensions) {
  xthost::HostOptions options;
  options.transcript = &out_;
  options.temp_folder = temp;
  if (!xtensions.empty()) options.xtensions = xtensions;
  host_ = std::make_unique<xthost::Host>(std::move(options));
  // Bind every suite and table the wrappers use, as the registration would.
  const XTRegisterRec record = xthost::MakeRegisterRec();
  HostLink& link = XT();
  link = HostLink();
  AcquireSuite(record, kXTSuiteLTA1, link.lta1);
  AcquireSuite(record, kXTSuiteQSC1, link.qsc1);
  AcquireSuite(record, kXTSuiteQSB1, link.qsb1);
  AcquireSuite(record, kXTTableXFJj, link.files);
  AcquireSuite(record, kXTTableXRSa, link.errors);
  AcquireSuite(record, kXTTableXESa, link.alert_texts);
  AcquireSuite(record, kXTTableXDDg, link.documents);
  AcquireSuite(record, kXTTableXMFe, link.folder_specs);
  AcquireSuite(record, kXTTableXCMe, link.notes);
  AcquireSuite(record, kXTTableXMDs, link.modules);
  AcquireSuite(record, kXTTableXPJc, link.projects);
  Clear();
  // The fail plan starts counting now, so a test counts only its own calls.
  std::string error;
  xthost::FailPlan plan;
  if (!xthost::FailPlan::Parse(fail, &plan, &error)) throw std::runtime_error(error);
  host_->SetFailPlan(std::move(plan));
}

LinkedHost::~LinkedHost() {
  XT() = HostLink();
  host_.reset();
}

std::vector<std::string> LinkedHost::Lines() const {
  std::vector<std::string> lines;
  std::istringstream in(out_.str());
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::size_t LinkedHost::OpenHandles() const {
  return host_->strings.size() + host_->paths.size() + host_->converters.size() +
         host_->files.size();
}
