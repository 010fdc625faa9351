// The host ABI: basic types, result codes, callback kinds.
//
// This is our own interface between the desktop-publishing host and its
// plug-ins (XTensions).  Everything that crosses it is a plain struct, a
// 32-bit value or a function pointer.  Handles the host gives out are 32-bit
// ids from its own tables, never pointers; 0 is never a valid handle.
// Four-character codes are written as hex constants.
#pragma once

#include <cstdint>

// Host handles: ids issued by the host, 0 = none.
using XTString = int32_t;     // a host string (UTF-16 text)
using XTPath = int32_t;       // a host path object
using XTConverter = int32_t;  // a text converter; -1 = none
using XTFile = int32_t;       // a host file object
using XTModule = int32_t;     // a module opened through the module service
using XTProject = int32_t;    // an open host project (document)

// Every host callback record begins with its kind; the host calls a plug-in
// routine with the record and takes a 32-bit result back.
using XTCallback = int32_t (*)(void* record);

// Callback kinds.  Reserved ids (see XTRegisterRec::reserve_id) are used as
// kinds too; the host issues them from kXTFirstReservedId upwards so they never
// meet a kind below.
enum XTCallbackKind : int32_t {
  kXTShutdown = 4,           // the host is shutting down; XTVoidRec
  kXTAddMenuItems = 6,       // add the plug-in's menus; xtaddmenuitemsrec
  kXTUpdateMenuItems = 7,    // refresh enabled states; xtupdatemenuitemsrec
  kXTIdle = 10,              // idle time; XTIdleRec
  kXTLinkedBox = 106,        // a box was linked; XTBoxRec
  kXTQuery134 = 134,         // a query the plug-in answers with 0; XTVoidRec
  kXTBoxPair = 501,          // a pair of boxes was made; XTBoxRec
  kXTMenuCommand = 618,      // a menu item was chosen; xthandlecommandrec
  kXTPdfContinuation = 681,  // the PDF export asks how to go on; XTPdfRec
};
constexpr int32_t kXTFirstReservedId = 1000;

// Host result codes.  0 is success; the wrappers test -43 and -48.
enum XTResult : int32_t {
  kXTOk = 0,
  kXTErrDiskFull = -34,      // no room left on the disk (or in the user's quota)
  kXTErrIo = -36,            // the operating system refused the operation
  kXTErrBadName = -37,       // a file name longer than 255 bytes or empty
  kXTErrNotFound = -43,      // no such file
  kXTErrDuplicate = -48,     // a file of that name exists
  kXTErrParam = -50,         // a bad argument, unknown handle, short buffer
  kXTErrNoFolder = -120,     // no such folder
  kXTErrInjected = -5000,    // the stand-in host was told to fail this call
  kXTErrNoDocument = -5001,  // no current project
  kXTErrNoSuite = -5002,     // no suite or bound table with that code
  kXTErrRefused = -5003,     // an unknown request, XTension or mode
};

// The API version the host and the plug-ins agree on.
constexpr int32_t kXTApiVersion = 11;

// The host document file type ('XPR3').
constexpr uint32_t kXTDocumentType = 0x58505233;

// Text encodings of the text converters: 0 is the host's narrow encoding,
// which is UTF-8.
constexpr int32_t kXTEncodingNarrow = 0;
constexpr int32_t kXTEncodingWindows1252 = 1252;

// Modes of XTProjectSuite::close_project.
enum XTCloseMode : int32_t {
  kXTCloseDiscard = 1,  // close without saving
  kXTCloseSave = 2,     // save, then close
};

// Open flags of XTDocumentSuite::open_document are passed through; the
// plug-in uses 31 and 63.
