// OLEObject: the common base of the storage wrappers and the one place where
// results of the storage layer (platform/ole) become framework failures.
//
// Every failing result raises FilterException (type error) through Abort,
// with the id of the result table below and the element or file name as the
// message argument.  Destructors that finish output (the root storage writes
// its file when its last wrapper goes) use RaiseOrLog: they raise like Abort
// unless another exception is already unwinding, in which case the failure
// goes to the failure log instead, so it is never lost silently and never
// ends the process.
#pragma once

#include <cstdint>

#include "platform/ole/ole.h"

// Open modes: the storage layer's STGM bit flags as callers pass them.  The
// wrappers add the share flags themselves.
using CD_OpenMode = uint32_t;
constexpr CD_OpenMode kOLERead = 0;
constexpr CD_OpenMode kOLECreate = ole::STGM_CREATE | ole::STGM_WRITE;  // 0x1001

class OLEObject {
 public:
  virtual ~OLEObject() noexcept(false) {}

  // Raises the failure of `result`:
  //   STG_E_INVALIDNAME 33000; STG_E_INVALIDPARAMETER, E_INVALIDARG 33001;
  //   STG_E_INVALIDPOINTER 33003; STG_E_INVALIDFUNCTION, STG_E_INVALIDFLAG
  //   33004; STG_E_OLDFORMAT, STG_E_OLDDLL 33005; STG_E_FILENOTFOUND,
  //   STG_E_PATHNOTFOUND 33006; STG_E_ACCESSDENIED, STG_E_SHAREVIOLATION,
  //   STG_E_LOCKVIOLATION 33007; STG_E_FILEALREADYEXISTS 33008;
  //   STG_E_REVERTED 33009; S_FALSE 33010; STG_E_CANTSAVE 33011;
  //   STG_E_MEDIUMFULL 33012 (and the medium-full count grows by one);
  //   STG_E_WRITEFAULT 33013; STG_E_TOOMANYOPENFILES 33014; E_UNEXPECTED
  //   33015; E_OUTOFMEMORY, STG_E_INSUFFICIENTMEMORY 32773; anything else
  //   32769.  The name (UTF-16, may be null for none) is the argument.
  // Every call raises: lost writes are never hidden, however many came before.
  [[noreturn]] static void Abort(ole::Result result, const char16_t* name);
  // The same with a name in the system's narrow encoding (file paths).
  [[noreturn]] static void Abort(ole::Result result, const char* name);

  // For destructors that finish output: raises as Abort when no exception is
  // unwinding; otherwise writes the failure to the failure log and returns.
  static void RaiseOrLog(ole::Result result, const char16_t* name);

  // The failure id Abort raises for `result` (counts nothing).
  static int FailureId(ole::Result result);
  // What a failure id of the storage or the code file means, in words (the
  // system's own where a system error lies behind it: a full medium is the
  // disk or the user's quota, as this thread last met it); "" for other ids.
  static const char* FailureReason(int id);
  // STG_E_MEDIUMFULL failures seen by this process so far.
  static uint32_t MediumFullCount();

  // The file system has an entry at `path`.
  static bool Exists(const char* path);
  // `path` opens as a compound file.  False when it is not one (or is of a
  // format we do not read) and when it does not exist; other failures raise.
  static bool IsStorage(const char* path);
};

// Where failures go that a destructor could not raise because another
// exception was unwinding: one line of text per failure.  The default writes
// it to standard error; null restores the default.
using OLEFailureLogger = void (*)(const char* line);
void SetOLEFailureLogger(OLEFailureLogger logger);
