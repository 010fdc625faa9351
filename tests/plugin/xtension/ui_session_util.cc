#include "ui_session_util.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "plugin/qapi/ui_resources.h"
#include "plugin/xtension/entry.h"
#include "plugin/xtension/isolated_util.h"
#include "support/program_log.h"
#include "tests/common/files.h"
#include "tests/common/temp_dir.h"

namespace fs = std::filesystem;

std::string RunSession(const Session& session,
                       const std::function<std::string(xthost::Host&)>& body) {
  return InChild([&] {
    const testutil::TempDir folder("brenix-ui-session");
    if (chdir(folder.path().c_str()) != 0) return std::string("no folder");
    setenv("BRENIX_REGISTRY_ROOT", folder.File("registry").c_str(), 1);
    const std::string errors = folder.File("stderr.txt");
    if (std::freopen(errors.c_str(), "w", stderr) == nullptr) return std::string("no stderr");
    fs::create_directories("XTensions");
    if (!session.settings.empty()) std::ofstream("XTensions/brenix.ini") << session.settings;
    for (const auto& [path, content] : session.files) {
      const fs::path file(path);
      if (file.has_parent_path()) fs::create_directories(file.parent_path());
      std::ofstream(file) << content;
    }
    if (session.batchFlag) {
      fs::create_directories(
          "registry/HKEY_LOCAL_MACHINE/SOFTWARE/PELMO Translation Technology/Brenix 50 Batch Mode");
    }
    std::ostringstream merged;
    ProgramLog().rdbuf(merged.rdbuf());
    std::string result;
    {
      xthost::HostOptions options;
      options.transcript = &merged;
      options.answers = session.answers;
      xthost::Host host(std::move(options));
      host.ui().SetLinkedResources(&XTDialogResources);
      if (session.beforeStart) session.beforeStart();
      host.StartLinked("brenix", XTActivateCallback);
      result = body(host);
      host.Quit();
    }
    std::fflush(stderr);
    const std::string err = testutil::ReadFile(errors);
    if (chdir("/") != 0) return std::string("cannot leave the folder");
    return merged.str() + "--\n" + result + "--stderr--\n" + err;
  });
}

std::string MergedOf(const std::string& text) {
  const std::size_t end = text.find("--\n");
  return text.substr(0, end);
}

std::vector<std::string> Lines(const std::string& text, const std::vector<std::string>& prefixes) {
  std::vector<std::string> kept;
  std::istringstream in(MergedOf(text));
  for (std::string line; std::getline(in, line);) {
    if (prefixes.empty()) {
      kept.push_back(line);
      continue;
    }
    for (const std::string& prefix : prefixes) {
      if (line.rfind(prefix, 0) == 0) {
        kept.push_back(line);
        break;
      }
    }
  }
  return kept;
}

std::string BodyResult(const std::string& text) {
  const std::size_t start = text.find("--\n");
  if (start == std::string::npos) return text;
  const std::size_t end = text.find("--stderr--\n", start);
  return text.substr(start + 3, end == std::string::npos ? std::string::npos : end - start - 3);
}

std::string ErrorsOf(const std::string& text) {
  const std::size_t start = text.find("--stderr--\n");
  return start == std::string::npos ? std::string() : text.substr(start + 11);
}
