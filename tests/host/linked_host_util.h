// A stand-in host living in the test process, with the plug-in's host link
// bound to its suites, and a temporary folder that goes away afterwards.
#pragma once

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "host/host.h"

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
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

// The whole content of a file ("" when it cannot be read).
std::string ReadFile(const std::string& path);
// Creates a file holding `text`.
void WriteFile(const std::string& path, const std::string& text);
bool Exists(const std::string& path);
