// A stand-in host living in the test process, with the plug-in's host link
// bound to its suites, and a temporary folder that goes away afterwards.
#pragma once

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "host/host.h"
#include "tests/common/files.h"
#include "tests/common/temp_dir.h"

// A fresh folder, removed with everything in it when the object goes; its
// path has no links in it, so it reads back as the host writes it.
class TempFolder {
 public:
  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  testutil::TempDir dir_{"brenix-host"};
  std::string path_ = std::filesystem::canonical(dir_.path()).string();
};

class LinkedHost {
 public:
  // `fail` is a fail plan (see host/fail_plan.h), counted from after the
  // binding; `temp` the host's temporary folder; `xtensions` its XTensions
  // folder (empty: the host's default).
  explicit LinkedHost(const std::string& fail = "", const std::string& temp = "",
                      const std::string& xtensions = "");
  // Clears the plug-in's host link.
  ~LinkedHost();

  xthost::Host& host() { return *host_; }
  // The transcript since the binding (or the last Clear).
  std::string Transcript() const { return out_.str(); }
  std::vector<std::string> Lines() const;
  void Clear() { out_.str(""); }
  // Host strings, paths, converters and files still held.
  std::size_t OpenHandles() const;

 private:
  std::ostringstream out_;
  std::unique_ptr<xthost::Host> host_;
};

// Whole-file reads and writes and the existence probe of tests/common.
using testutil::Exists;
using testutil::ReadFile;
using testutil::WriteFile;
