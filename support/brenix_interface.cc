#include "support/brenix_interface.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <ostream>

#include "support/date_time.h"
#include "support/object_tracker.h"
#include "support/paths.h"
#include "support/program_log.h"
#include "support/settings.h"

namespace {

// Destroyed at unload.
std::unique_ptr<BrenixInterface> g_instance;

// Tried stamps before giving up: one per second after the first.
constexpr int kStampAttempts = 1000;

void LogMode(const char* title, bool on) {
  ProgramLog() << title << (on ? "ON" : "OFF") << '\n';
  ProgramLog().flush();
}

// The moment one second later, carried through minutes, hours and the
// calendar.
DateTime NextSecond(const DateTime& moment) {
  std::tm fields{};
  fields.tm_year = moment.date.year - 1900;
  fields.tm_mon = moment.date.month - 1;
  fields.tm_mday = moment.date.day;
  fields.tm_hour = moment.time.hour;
  fields.tm_min = moment.time.minute;
  fields.tm_sec = moment.time.second + 1;
  const std::time_t seconds = ::timegm(&fields);  // no time zone, so no summer-time jumps
  ::gmtime_r(&seconds, &fields);
  DateTime next;
  next.date = {fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday};
  next.time = {fields.tm_hour, fields.tm_min, fields.tm_sec};
  return next;
}

}  // namespace

BrenixInterface* BrenixInterface::Instance() {
  if (!g_instance) g_instance.reset(new BrenixInterface(Settings::Instance()));
  return g_instance.get();
}

BrenixInterface::BrenixInterface(Settings& settings) : settings_(&settings) {
  extendedMode = settings_->IsExtendedInterface();
  LogMode("\nExtended mode:\t", extendedMode);
  serverMode = settings_->IsServerMode();
  LogMode("\nServer mode:\t", serverMode);
}

BrenixInterface::~BrenixInterface() { ReleaseFolder(); }

void BrenixInterface::SetMultiDocMode(const bool& on) {
  multiDocMode = on;
  LogMode("\nMultiDoc mode:\t", multiDocMode);
}

bool BrenixInterface::InitServerLog(const std::function<void(const std::string&)>& made) {
  if (!CreateTmpLogFolder()) return false;
  if (made) made(folder_->GetPath());
  const std::string name = std::string("BX") + "9" + "_srv.log";
  LogMemoryStatus(BRENIX_LOCATION("BrenixInterface::InitServerLog"));
  log_.reset(new ct_LogFile<std::string>(name, folder_.get()));
  SetCurrentServerLog(log_.get());
  TrackAlloc("t_LogFile", log_.get(), BRENIX_LOCATION("BrenixInterface::InitServerLog"));
  LogMemoryStatus(BRENIX_LOCATION("BrenixInterface::InitServerLog"));
  return CurrentServerLog() != nullptr;
}

bool BrenixInterface::CreateTmpLogFolder() {
  if (!settings_->IsActivateServerLog()) return false;
  if (folder_ || CurrentServerLog()) {
    if (!RemoveTmpLogFolder()) {
      LogMessage(BRENIX_LOCATION("BrenixInterface::CreateTmpLogFolder"),
                 "Unable to remove previous temporary log folder!", 6);
    }
    ReleaseFolder();
  }

  std::string base = LogFolderBase();
  if (base.empty()) return false;
  if (base == std::string(1, kPathSeparator)) base.clear();  // the root: "" + "/" + name

  LogMemoryStatus(BRENIX_LOCATION("BrenixInterface::CreateTmpLogFolder"));
  DateTime moment;
  GetDateTime(moment);
  for (int attempt = 0; attempt < kStampAttempts; ++attempt, moment = NextSecond(moment)) {
    const std::string name = "PELMO_" + FormatTimeStamp(moment, false) + "_LOG";
    // Made here, not by the node: a folder another process made is not ours.
    if (::mkdir((base + kPathSeparator + name).c_str(), 0777) == 0) {
      folder_.reset(new ct_Folder<std::string>(name, base.empty() ? std::string(1, kPathSeparator) : base, false, false));
      break;
    }
    if (errno != EEXIST) {
      const int error = errno;
      LogMessage(BRENIX_LOCATION("BrenixInterface::CreateTmpLogFolder"), std::string("Error: ") + std::strerror(error),
                 6);
      LogMessage(BRENIX_LOCATION("BrenixInterface::CreateTmpLogFolder"), "Error: create failed!", 6);
      break;
    }
  }
  if (!folder_) return false;
  TrackAlloc("t_Folder", folder_.get(), BRENIX_LOCATION("BrenixInterface::CreateTmpLogFolder"));
  LogMemoryStatus(BRENIX_LOCATION("BrenixInterface::CreateTmpLogFolder"));
  return folder_->Exists(true);
}

bool BrenixInterface::RemoveTmpLogFolder(const std::function<void()>& emptied) {
  if (!folder_) return false;
  if (settings_->IsKeepServerLog()) return false;
  if (log_) log_->Close();
  const bool ok = folder_->RemoveContents();
  if (emptied) emptied();
  return folder_->Remove() && ok;
}

std::string BrenixInterface::LogFolderBase() const {
  std::string base = settings_->GetPath(SettingsKey::LogPath);
  if (base.empty()) base = settings_->GetPath(SettingsKey::TemporaryPath);
  if (base.empty()) base = GetTempFolderPath();
  StripTrailingChar(base, kPathSeparator);
  return base;
}

std::string BrenixInterface::TmpLogFolderPath() const { return folder_ ? folder_->GetPath() : std::string(); }

void BrenixInterface::ReleaseFolder() {
  if (folder_) {
    LogMemoryStatus(BRENIX_LOCATION("BrenixInterface::~BrenixInterface"));
    TrackFree("t_Folder", folder_.get());
    LogMemoryStatus(BRENIX_LOCATION("BrenixInterface::~BrenixInterface"));
    folder_.reset();
  }
  if (log_) {
    LogMemoryStatus(BRENIX_LOCATION("BrenixInterface::~BrenixInterface"));
    TrackFree("t_LogFile", log_.get());
    LogMemoryStatus(BRENIX_LOCATION("BrenixInterface::~BrenixInterface"));
    log_.reset();  // no longer the current server log
  }
}
