// A stand-in host in the test process with every suite of document access
// bound into the plug-in's host link, documents opened from copies of the
// fixtures in tests/data, and the program log captured.
#pragma once

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "host/document.h"
#include "host/host.h"
#include "tests/common/files.h"
#include "tests/common/log_capture.h"
#include "tests/common/temp_dir.h"

class DocHost {
 public:
  // `fail` is a fail plan (host/fail_plan.h), counted from after the binding.
  explicit DocHost(const std::string& fail = "");
  // Clears the plug-in's host link; removes the temporary folder.
  ~DocHost();
  DocHost(const DocHost&) = delete;
  DocHost& operator=(const DocHost&) = delete;

  xthost::Host& host() { return *host_; }
  // Copies fixture `fixture` into the temporary folder as `name` (the
  // fixture's name when empty) and opens it as the current document.
  int32_t Open(const std::string& fixture, const std::string& name = "");
  // The path of `name` in the temporary folder.
  std::string Path(const std::string& name) const { return folder_ + "/" + name; }
  // The content of the current document (fails the test when none).
  xthost::DocumentContent& content();
  // Replaces the fail plan; its counts start again.
  void Fail(const std::string& plan);

  std::vector<std::string> Lines() const;
  void Clear() { transcript_.str(""); }

 private:
  testutil::TempDir dir_{"brenix-docs"};
  std::string folder_ = std::filesystem::canonical(dir_.path()).string();
  std::ostringstream transcript_;
  std::unique_ptr<xthost::Host> host_;
};


// The whole content of a file ("" when it cannot be read).
using testutil::ReadFile;
// The text of a fixture in tests/data.
std::string FixtureText(const std::string& name);
