// The stand-in host.
//
// Plays the desktop-publishing host for the plug-ins in its XTensions
// folder: loads each library, activates it, calls the routines it registered
// (the id reservation first, then the module registration), keeps its
// callbacks by kind, answers its suite acquisitions, requests and XTension
// look-ups, delivers idle time and, at quit, the shut-down callback, and
// unloads it.  Everything shown and everything registered is written to the
// transcript.  One host lives at a time; the ABI entries reach it through
// Host::Current().
#pragma once

#include <csignal>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "host/application.h"
#include "host/document.h"
#include "host/fail_plan.h"
#include "host/folders.h"
#include "host/handles.h"
#include "host/transcript.h"
#include "host/ui_engine.h"
#include "platform/xt/xt_entry.h"
#include "platform/xt/xt_export_suites.h"

namespace xthost {

struct HostOptions {
  std::string xtensions = "XTensions";  // the folder of plug-in libraries
  std::ostream* transcript = nullptr;   // null: standard output
  FailPlan fail;                        // host calls told to fail
  FailPlan sigterm;                     // host calls before which the host sends itself SIGTERM
  FailPlan stop;                        // host calls at which the process stops
  Clock clock;
  std::string temp_folder;           // empty: $TMPDIR, else /tmp
  std::vector<std::string> answers;  // for dialogs and alerts, in order
};

// One plug-in and what it registered.
struct Plugin {
  struct Callback {
    int32_t kind;
    XTCallback routine;
  };

  std::string name;
  void* library = nullptr;  // dlopen handle; null for a plug-in linked in
  XTActivateFn activate = nullptr;
  XTRegisterRoutine reservation = nullptr;
  XTRegisterRoutine registration = nullptr;
  std::vector<Callback> callbacks;  // in the order registered
  bool active = false;              // loaded and fully registered
};

// Host objects a plug-in holds by id.
struct PathObject {
  XTString text = 0;  // the path's string, owned by the path object
};
struct FileObject {
  std::string path;  // absolute; empty until set
  uint32_t type = 0;
  int32_t value = 0;
};

class Host {
 public:
  explicit Host(HostOptions options);
  // Quits first when Quit has not run.
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // The live host.  Aborts when there is none: a plug-in calling a host that
  // is gone is a fault nothing can recover from.
  static Host& Current();

  // Loads and activates every "*.so" of the XTensions folder, in name order.
  // False (with a message on standard error) when the folder cannot be read.
  bool Start();
  // Activates a plug-in whose entry is linked into this process.
  void StartLinked(const std::string& name, XTActivateFn entry);
  // Delivers `ticks` idle callbacks, fewer when a plug-in asks to quit.
  void Idle(int ticks);
  // Delivers the shut-down callback to every active plug-in and unloads all
  // of them; reports host objects still held.  Runs once.
  void Quit();

  // Delivers `record` (its kind set) to every routine registered for that
  // kind by an active plug-in, in registration order; the last result.
  int32_t Deliver(void* record);

  // Counts a call of `name` for the fail plan; true (and a transcript line)
  // when this call is to fail.  Without a plan nothing is looked at, and
  // no text is made for the name.
  // The same call counts for the SIGTERM plan, which makes the host send
  // itself SIGTERM before the call goes on ("sigterm NAME #N"), and for the
  // stop plan, which stops the process (SIGSTOP, after "stop NAME #N") so
  // that a test can look at the files of a run at that moment, and kill or
  // continue it.
  bool Fails(std::string_view name, std::string_view qualifier = std::string_view()) {
    ++entry_calls_;
    if (!sigterm_.empty()) PlannedSignal(sigterm_, "sigterm ", SIGTERM, name, qualifier);
    if (!stop_.empty()) PlannedSignal(stop_, "stop ", SIGSTOP, name, qualifier);
    return !fail_.empty() && PlannedFailure(name, qualifier);
  }
  // Replaces the fail plan (its counts start again).
  void SetFailPlan(FailPlan plan) { fail_ = std::move(plan); }
  // Calls of the host's entries so far (every entry asks Fails once).
  uint64_t EntryCalls() const { return entry_calls_; }

  Transcript& transcript() { return transcript_; }
  Application& app() { return app_; }
  FolderTable& folders() { return folders_; }
  UiEngine& ui() { return ui_; }
  const std::vector<std::unique_ptr<Plugin>>& plugins() const { return plugins_; }
  // The plug-in whose routine the host is calling, or null.
  Plugin* calling() { return calling_; }

  // Issues the next reserved id.
  int32_t NextReservedId() { return next_reserved_id_++; }

  HandleTable<std::u16string> strings;
  HandleTable<PathObject> paths;
  HandleTable<int32_t> converters;  // value: the encoding
  XTExportWriter export_writer = nullptr;  // where export filters write, null: files
  HandleTable<FileObject> files;
  HandleTable<const void*> modules;  // value: the module's load address
  int32_t error_state = 0;
  DocumentSpace docs;  // memory blocks, text references, tool mode

  // True when `string` is the text of a path object (only the path object
  // disposes of it).
  bool IsBorrowedString(XTString string) const;

 private:
  void Activate(Plugin& plugin);
  // Fails for a host with a fail plan (the call already counted).
  bool PlannedFailure(std::string_view name, std::string_view qualifier);
  // Sends the process `signal` (after the transcript line `word` and the
  // rule) when `plan` names this call.
  void PlannedSignal(FailPlan& plan, const char* word, int signal, std::string_view name,
                     std::string_view qualifier);
  // " blocks=N polygons=N" for those the plug-ins still hold, else "".
  std::string LeftoverBlocks() const;
  // Runs one registered routine of `plugin`; its status.
  int32_t RunRoutine(Plugin& plugin, XTRegisterRoutine routine, const char* what);
  // Delivers the shut-down callback (when `plugin` registered one) and
  // unloads it.
  void Retire(Plugin& plugin);

  static Host* current_;

  Transcript transcript_;
  FailPlan fail_;
  FailPlan sigterm_;
  FailPlan stop_;
  uint64_t entry_calls_ = 0;
  Application app_;
  FolderTable folders_;
  UiEngine ui_{*this};  // menus, dialogs, alerts (host/ui_engine.h)
  std::string xtensions_;
  std::vector<std::unique_ptr<Plugin>> plugins_;
  Plugin* calling_ = nullptr;
  XTActivateRec activate_rec_;
  XTRegisterRec register_rec_;
  int32_t next_reserved_id_ = kXTFirstReservedId;
  int32_t idle_tick_ = 0;
  bool quit_ = false;
};

// The records whose entries lead to Host::Current() (entries.cc).
XTActivateRec MakeActivateRec();
XTRegisterRec MakeRegisterRec();
// The suite or bound table with `code`, or null (suites.cc).
const void* FindSuite(uint32_t code);

}  // namespace xthost
