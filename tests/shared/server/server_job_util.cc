#include "shared/server/server_job_util.h"

#include <algorithm>
#include <stdexcept>

#include "support/settings.h"
#include "tests/common/files.h"

namespace {

std::string NameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

bool In(const std::vector<FileKind>& kinds, FileKind kind) {
  return std::find(kinds.begin(), kinds.end(), kind) != kinds.end();
}

}  // namespace

void LoadServerSettings(const std::string& folder, const std::string& server, const std::string& paths) {
  const std::string file = folder + "/server_settings.ini";
  testutil::WriteFile(file, "[Server]\n" + server + "[Path]\n" + paths);
  if (!Settings::Instance().Load(file, false)) throw std::runtime_error("settings not loaded");
}

std::string ConvertedBytes(const std::string& sourceName, FileKind targetKind) {
  return sourceName + " converted to kind " + std::to_string(targetKind) + "\n";
}

RecordingRunner::RecordingRunner() {
  previous_ = SetConversionRunner([this](const std::string& source, const std::string& target, FileKind from,
                                         FileKind to) {
    calls.push_back(NameOf(source) + " -> " + NameOf(target) + " " + std::to_string(from) + ">" + std::to_string(to));
    targets.push_back(target);
    if (In(raise, to)) throw std::runtime_error("the conversion blew up");
    if (In(fail, to)) return false;
    if (!In(empty, to)) testutil::WriteFile(target, ConvertedBytes(NameOf(source), to));
    return true;
  });
}

RecordingRunner::~RecordingRunner() { SetConversionRunner(previous_); }
