// The host ABI: activation and registration.
//
// The host loads a plug-in library, looks up its one C entry
// `XTActivateCallback` and calls it with an XTActivateRec.  The plug-in
// answers the handshake and registers two routines; the host then calls the
// id-reservation routine and after it the module-registration routine, each
// with an XTRegisterRec, through which the plug-in reserves ids, registers
// callbacks, acquires suites and sends requests.  A non-zero status from any
// of the three means the plug-in refused to load.
//
// The comments give the entry number by which the plug-in's code refers to
// each operation.  The placement arguments (5, 200, 0 in the plug-in's calls)
// are recorded by the host and otherwise have no effect.
#pragma once

#include <cstdint>

#include "platform/xt/xt_types.h"

struct XTRegisterRec;
using XTRegisterRoutine = int32_t (*)(XTRegisterRec* record);

// The product code of the handshake.
constexpr uint32_t kXTProductCode = 0x00595043;

struct XTActivateRec {
  int32_t api_version;  // kXTApiVersion

  // Entry 4: asks the host to accept a plug-in written for `api_version`.
  // Nonzero = accepted.
  uint8_t (*handshake)(uint32_t product, int32_t reserved1, int32_t api_version, uint32_t build,
                       int32_t reserved2);
  // Entry 6: registers the module-registration routine.
  int32_t (*register_module)(XTRegisterRoutine routine, int32_t placement, int32_t priority,
                             int32_t flags);
  // Entry 7: registers the id-reservation routine (called before entry 6's).
  int32_t (*register_reservation)(XTRegisterRoutine routine, int32_t placement, int32_t priority,
                                  int32_t flags);
  // Entry 8: the plug-in's load priority.
  int32_t (*set_priority)(int32_t priority);
  // Entry 9: shows a failure message: UTF-16 text and its length in units,
  // terminator included.
  void (*show_message)(const char16_t* text, int32_t length);
};

struct XTRegisterRec {
  int32_t api_version;  // kXTApiVersion

  // Entry 2, id form: reserves `count` (always 1) fresh host id into *id.
  int32_t (*reserve_id)(int32_t count, int32_t* id);
  // Entry 2, callback form: the host calls `routine` for every record of
  // `kind` (a callback kind or a reserved id).  Several routines may share a
  // kind; they are called in the order they were registered.
  int32_t (*register_callback)(int32_t kind, XTCallback routine, int32_t placement,
                               int32_t priority, int32_t flags);
  // Entry 3: a host request; *request holds its number.
  int32_t (*send_request)(int32_t reserved, int32_t* request, int32_t count);
  // Entry 4: acquires the suite or bound table with the four-character code.
  // On success *suite points at a table the host keeps until the plug-in is
  // unloaded.
  int32_t (*acquire_suite)(uint32_t code, const void** suite, int32_t reserved1, int32_t reserved2);
  // Entry 5: is the XTension with this id present?  *value receives its
  // version.
  int32_t (*query_xtension)(uint32_t id, int32_t* value);
  // Entry 6: the code of the suite an XTension offers, for entry 4.
  int32_t (*xtension_suite_code)(uint32_t id, uint32_t* code);
  // Entry 12: shows a failure message, like activation entry 9.
  void (*show_message)(const char16_t* text, int32_t length);
};

// The plug-in's entry, exported unmangled.
using XTActivateFn = int32_t (*)(XTActivateRec* record);
constexpr const char* kXTActivateSymbol = "XTActivateCallback";

// XTensions of the host that plug-ins may look up (ids as 32-bit values; in
// memory order their bytes read the XTension's name).
enum XTXTensionId : uint32_t {
  kXTXTensionXPTA = 0x41545058,
  kXTXTensionQLY = 0x00594C51,
  kXTXTensionQLYI = 0x49594C51,
  kXTXTensionXPDF = 0x46445058,
};
