#include "plugin/xtension/idle_action.h"

#include "plugin/conversion/single_conversion.h"
#include "shared/server/conversion_runner.h"
#include "shared/server/server_loops.h"
#include "support/batch_file.h"
#include "support/brenix_interface.h"
#include "support/host_link.h"
#include "support/program_log.h"
#include "support/settings.h"

namespace {

// The records name the plug-in object's source file, at these lines.
constexpr const char* kSourceFile = "brenix.cc";
constexpr const char* kFunction = "Swing::ActionAdapter<struct XTIdleRec *,19>::ActionPerformed";
enum : int {
  kLineServerDown = 173,
  kLineServerStart = 179,
  kLineServerHalted = 195,
  kLineShutdownStarted = 197,
  kLineShutdownComplete = 204,
};

void Log(int line, const char* message, int level) {
  LogMessage(LocationText(kSourceFile, line, kFunction), message, level);
}

struct IdleState {
  bool firstCall = true;
  bool serverMode = false;
  bool batchJobSeen = false;
  bool serverRunning = false;
  bool jobRunning = false;
  bool batchQuitRequested = false;
};

IdleState& State() {
  static IdleState state;
  return state;
}

std::function<bool(uint32_t)>& StandIn() {
  static std::function<bool(uint32_t)> server;
  return server;
}

bool StartServer(uint32_t port) {
  if (StandIn()) return StandIn()(port);
  SetConversionRunner(&FolderUtils::ProcessConversion);
  return DoStartServer(port);
}

void RunServer() {
  IdleState& state = State();
  if (state.serverRunning) return;
  Log(kLineServerDown, "Server DOWN", 7);
  Log(kLineServerStart, "DoStartServer[BEFORE]", 2);
  state.serverRunning = true;
  uint32_t port = static_cast<uint32_t>(Settings::Instance().GetListenPort());
  if (port > 65535) port = 0;
  bool halted = false;
  try {
    halted = StartServer(port);
  } catch (...) {
    halted = false;
  }
  if (!halted) {
    state.serverRunning = false;
    return;
  }
  Log(kLineServerHalted, "Server successfully halted.", 7);
  Log(kLineShutdownStarted, "Quark shutdown started ...", 7);
  RequestHostQuit();
  Log(kLineShutdownComplete, "Quark shutdown complete.", 7);
}

// Clears the job-running flag however the step ends.
class RunningJob {
 public:
  explicit RunningJob(bool& flag) : flag_(flag) { flag_ = true; }
  ~RunningJob() { flag_ = false; }
  RunningJob(const RunningJob&) = delete;
  RunningJob& operator=(const RunningJob&) = delete;

 private:
  bool& flag_;
};

void RunBatchStep(XTIdleRec* record) {
  IdleState& state = State();
  BatchFile& batch = BatchFile::Instance();
  if (!batch.IsJobActive()) {
    if (state.batchQuitRequested) return;
    if (batch.GetWaitOnIdleFlag()) {
      batch.Open(false);
      if (batch.Check()) {
        batch.SetActive(true);
      } else {
        batch.ReportNotRun();
      }
    } else {
      RequestHostQuit();
      state.batchQuitRequested = true;
    }
    return;
  }
  if (!batch.BeginJob()) return;
  RunningJob running(state.jobRunning);
  try {
    switch (batch.GetMode()) {
      case BatchExport:
        Swing::Perform<BatchExportAction>(record);
        break;
      case BatchImport:
        Swing::Perform<BatchImportAction>(record);
        break;
      default:
        break;
    }
  } catch (...) {
    batch.EndJob(false);
    return;
  }
  batch.EndJob(true);
}

}  // namespace

void SetServerStandIn(std::function<bool(uint32_t port)> server) { StandIn() = std::move(server); }

void RequestHostQuit() {
  if (const XTApplicationSuite* application = XT().application) application->request_quit();
}

template <>
void IdleAction::ActionPerformed(XTIdleRec* record) {
  IdleState& state = State();
  if (state.firstCall) {
    state.firstCall = false;
    state.serverMode = BrenixInterface::Instance()->serverMode;
    state.batchJobSeen = BatchFile::Instance().Check();
  }
  if (state.serverMode) {
    RunServer();
  } else if (state.batchJobSeen && !state.jobRunning) {
    RunBatchStep(record);
  }
}
