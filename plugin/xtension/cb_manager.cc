#include "plugin/xtension/cb_manager.h"

#include "plugin/xtension/brenix.h"
#include "support/host_link.h"
#include "support/host_result.h"

namespace {

CBManager* g_manager = nullptr;  // the live manager, null before and after
bool g_created = false;          // the manager was made (or tried) once
CallBackFailedObserver g_observer = nullptr;

}  // namespace

CBManager* CBManager::Instance() {
  if (!g_created) {
    g_created = true;
    CBManager* manager = new (std::nothrow) CBManager();
    if (manager != nullptr) {
      manager->slots_.reset(new (std::nothrow) RefHandle<CBGlue>[kSlotCount]);
      if (!manager->slots_) {
        manager->Release();
        manager = nullptr;
      }
    }
    g_manager = manager;
  }
  return g_manager;
}

CBManager::~CBManager() {
  if (slots_) {
    for (uint32_t kind = slot_count_; kind-- > 0;) slots_[kind].Reset();
  }
  if (g_manager == this) g_manager = nullptr;
}

bool CBManager::Set(int32_t kind, RefHandle<CBGlue> object) {
  if (kind < 0 || static_cast<uint32_t>(kind) >= slot_count_) return false;
  slots_[kind] = std::move(object);
  ++set_count_;
  return true;
}

int32_t CBManager::Dispatch(int32_t kind, void* record, bool reportEmpty) {
  return RunGuarded([&]() -> int32_t {
    if (kind >= 0 && static_cast<uint32_t>(kind) < slot_count_ && slots_[kind]) {
      // Held for the call: the object may drop its own slot while it runs.
      const RefHandle<CBGlue> object = slots_[kind];
      return object->HostEntry(record);
    }
    if (reportEmpty) CallBackFailed(ErrorRecord{kErrorNothingToDispatch, MsgString()});
    return 0;
  });
}

int32_t CBManager::Trampoline(void* record) {
  CBManager* manager = g_manager;
  if (manager == nullptr || record == nullptr) return 0;
  const int32_t kind = *static_cast<const int32_t*>(record);
  // A shut-down that arrives while the record is dispatched leaves the
  // manager alive until the dispatch returns.
  const RefHandle<CBManager> hold = RefHandle<CBManager>::Share(manager);
  return manager->Dispatch(kind, record, true);
}

void CBManager::RegisterTrampolines(const XTRegisterRec& record) const {
  for (uint32_t kind = 0; kind < slot_count_; ++kind) {
    if (!slots_[kind]) continue;
    HostCall(("register_callback " + std::to_string(kind)).c_str(),
             record.register_callback(static_cast<int32_t>(kind), Trampoline, 5, 200, 0));
  }
}

void CBManager::ShutDown() {
  CBManager* manager = g_manager;
  g_manager = nullptr;
  if (manager != nullptr) manager->Release();
}

bool SetHostCallback(int32_t kind, RefHandle<CBGlue> object) {
  CBManager* manager = CBManager::Instance();
  return manager != nullptr && manager->Set(kind, std::move(object));
}

int32_t OnHostShutdown(void*) {
  CBManager::ShutDown();
  // The module handle goes back to the host whatever the plug-in object
  // does on its way out.
  RunGuarded([] {
    DeinitBrenix();
    return 0;
  });
  HostLink& link = XT();
  if (link.module_handle != 0 && link.modules != nullptr)
    HostCall("close_module", link.modules->close_module(link.module_handle));
  link.module_handle = 0;
  return 0;
}

void CallBackFailed(const ErrorRecord& record) {
  if (g_observer != nullptr) g_observer(record);
}

void SetCallBackFailedObserver(CallBackFailedObserver observer) { g_observer = observer; }
