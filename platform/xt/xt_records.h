// The host ABI: callback records and the host file spec.
//
// Each callback record begins with the int32_t kind it was delivered under,
// so one routine can serve several kinds (the plug-in's callback manager
// reads the kind and dispatches).  The host owns every record; a callback
// may write only the fields documented as answers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/xt/xt_types.h"

// A record that carries nothing but its kind (shut-down, kind 134, and the
// form in which actions receive menu commands).
struct XTVoidRec {
  int32_t kind;
};

// Idle time (kind 10).
struct XTIdleRec {
  int32_t kind;
  int32_t tick;  // 1 for the first idle call of the run, then counting up
};

// Add the plug-in's menus (kind 6).
struct xtaddmenuitemsrec {
  int32_t kind;
};

// Refresh the enabled states of the plug-in's menu items (kind 7).
struct xtupdatemenuitemsrec {
  int32_t kind;
};

// A menu item was chosen (kind 618).  The command id stands at byte offset 8,
// where the plug-in reads it.
struct xthandlecommandrec {
  int32_t kind;
  int32_t menu;         // the host's menu handle
  uint16_t command_id;  // the item id the plug-in was given for the item
};
static_assert(offsetof(xthandlecommandrec, command_id) == 8, "command id at byte 8");

// Box events: kind 501 tells that a master box (third word) changed and
// names its copy (fourth word); kind 106 that a copy's text was made to
// follow its master box (the copy in the fourth word, the third 0).
struct XTBoxRec {
  int32_t kind;
  int32_t document;
  int32_t source;
  int32_t box;
};

// The PDF export asks how to go on (kind 681).
struct XTPdfRec {
  int32_t kind;
  int32_t document;  // the project being exported
  int32_t state;     // 3: the output file and style are wanted now
};
static_assert(offsetof(XTPdfRec, state) == 8, "the PDF export's state at byte 8");

// Messages of the dialog callbacks.
enum XTDialogMessage : uint32_t {
  kXTDialogFirstUpdate = 0,
  kXTDialogItemHit = 2,
  kXTDialogItemChanged = 3,
  kXTDialogIdle = 24,
  kXTDialogEndedDefault = 0x8000001,
  kXTDialogAskResource = 0x80000000,
  kXTDialogPrepare = 0x80000002,
};

// A plug-in dialog (kind: the reserved id the dialog's callback is
// registered under).
struct XTDialogRec {
  int32_t kind;
  int32_t dialog;     // the host's dialog handle, 0 before the dialog exists
  uint32_t message;   // one of XTDialogMessage
  int32_t item;       // the item of an item message
  int32_t* resource;  // answer: the dialog resource, for kXTDialogAskResource
  int32_t value;      // the value of an item message
  int32_t handled;    // answer: 1 when the callback handled the message
};

// A host file spec: volume, folder id and file name, 262 bytes laid out
// exactly as below (2-byte packing).  The name is 8-bit text in the host's
// narrow encoding (UTF-8), NUL-terminated.  Volumes and folder ids are the
// host's own numbers; only the host turns them into paths.  Read the fields
// by value: `folder` stands at byte 2, so a reference to it is misaligned.
#pragma pack(push, 2)
struct XTFileSpec {
  int16_t volume;
  int32_t folder;
  char name[256];
};
#pragma pack(pop)
static_assert(sizeof(XTFileSpec) == 262, "host file spec is 262 bytes");
static_assert(offsetof(XTFileSpec, folder) == 2, "folder id at byte 2");
static_assert(offsetof(XTFileSpec, name) == 6, "name at byte 6");
