// The callback manager: host callbacks answered by counted objects.
//
// The manager keeps one CBGlue object per callback kind below 990.  For
// every kind that holds one, one shared trampoline is registered with the
// host; it reads the kind from the record's first word and dispatches the
// record to the kind's object.  Nothing an object throws reaches the host:
// every failure becomes an error record handed to CallBackFailed and the
// answer 0.  The same barrier guards every routine the plug-in registers
// with the host directly (Guarded).
//
// The manager is made on first use and released for good at host
// shut-down (or when the plug-in's set-up fails); from then on Instance() answers null and late trampolines
// answer 0 without touching anything.  Host thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <new>

#include "platform/xt/xt_entry.h"
#include "plugin/xtension/brenix_exception.h"
#include "plugin/xtension/callback_glue.h"
#include "support/ref_object.h"

class CBManager : public RefObject {
 public:
  static constexpr uint32_t kSlotCount = 990;

  // The manager, made at the first call.  Null when it could not be made
  // (and then for the rest of the process) and after ShutDown.
  static CBManager* Instance();

  // Stores `object` (taking over the caller's reference) for `kind`; an
  // object that held the slot before is released.  A kind of 990 or more is
  // refused: the object is released and the answer is false.
  bool Set(int32_t kind, RefHandle<CBGlue> object);

  // Hands `record` to the object of `kind` and returns its answer.  A kind
  // without an object answers 0 (reporting error 1000 when `reportEmpty`);
  // an exception answers 0 after reporting its error record.
  int32_t Dispatch(int32_t kind, void* record, bool reportEmpty);

  // The routine registered with the host for every filled kind.
  static int32_t Trampoline(void* record);

  // Registers the trampoline through `record` for every filled kind, in
  // ascending order; the host's answers are ignored.
  void RegisterTrampolines(const XTRegisterRec& record) const;

  uint32_t SetCount() const { return set_count_; }

  // Releases the manager for good (the host is shutting down).  A dispatch
  // that is running keeps it alive until it returns.
  static void ShutDown();

 private:
  CBManager() = default;
  // Releases the slot objects from the highest kind to the lowest.
  ~CBManager() override;

  std::unique_ptr<RefHandle<CBGlue>[]> slots_;
  uint32_t slot_count_ = kSlotCount;
  uint32_t set_count_ = 0;
};

// CBManager::Set on the manager; false when there is none.
bool SetHostCallback(int32_t kind, RefHandle<CBGlue> object);

// The host's shut-down callback (kind 4): releases the manager, ends the
// plug-in object, gives the module handle back to the host.  Answers 0.
// Registration also runs it, with a null record, when the plug-in object
// could not be set up.
int32_t OnHostShutdown(void* record);

// The diagnostic hook every failed callback reports to.  It writes nothing;
// a test may watch it with SetCallBackFailedObserver (null to stop).
void CallBackFailed(const ErrorRecord& record);
using CallBackFailedObserver = void (*)(const ErrorRecord& record);
void SetCallBackFailedObserver(CallBackFailedObserver observer);

// Runs `body` (returning int32_t) behind the exception barrier: a
// BrenixException reports its own record, out of memory and an integer
// exception report 1001, anything else 1002; each then answers `failed`.
template <class Body>
int32_t RunGuarded(Body&& body, int32_t failed = 0) noexcept {
  try {
    return body();
  } catch (const BrenixException& e) {
    CallBackFailed(e.Record());
  } catch (const std::bad_alloc&) {
    CallBackFailed(ErrorRecord{kErrorLowMemory, MsgString()});
  } catch (int) {
    CallBackFailed(ErrorRecord{kErrorLowMemory, MsgString()});
  } catch (...) {
    CallBackFailed(ErrorRecord{kErrorUnexpected, MsgString()});
  }
  return failed;
}

// A host callback routine that runs `Routine` behind the barrier.
template <int32_t (*Routine)(void*)>
int32_t Guarded(void* record) noexcept {
  return RunGuarded([record] { return Routine(record); });
}
