// The plug-in's link to its host: the registration record, the suites and
// bound tables acquired at registration, the XTension suites, the module
// handle and the ids the host reserved for the plug-in.
//
// Registration fills the link; every host call of the plug-in goes through
// it.  A pointer stays null until its suite was acquired, and the wrappers
// answer kXTErrNoSuite when one they need is missing.  Host thread only.
#pragma once

#include <cstdint>
#include <string>

#include "platform/xt/xt_doc_suites.h"
#include "platform/xt/xt_entry.h"
#include "platform/xt/xt_export_suites.h"
#include "platform/xt/xt_layout_suites.h"
#include "platform/xt/xt_suites.h"
#include "platform/xt/xt_ui_suites.h"
#include "support/host_result.h"

struct HostLink {
  // The host's registration record, kept for callback registrations.
  XTRegisterRec* registration = nullptr;

  // The twenty suites, in the order they are acquired.
  const XTConverterSuite* lta1 = nullptr;
  const XTPlainSuite* ltb1 = nullptr;
  const XTPlainSuite* ltc1 = nullptr;
  const XTPlainSuite* ltd1 = nullptr;
  const XTPlainSuite* lga2 = nullptr;
  const XTPlainSuite* lgb2 = nullptr;
  const XTPlainSuite* lgc2 = nullptr;
  const XTPlainSuite* lgd2 = nullptr;
  const XTMemorySuite* lge2 = nullptr;            // memory blocks
  const XTStoryTextSuite* lgf2 = nullptr;         // story text
  const XTTextAttributeSuite* lgg2 = nullptr;     // text attributes
  const XTSelectionSuite* lgh2 = nullptr;       // tool mode, current box
  const XTDocumentStateSuite* lgi2 = nullptr;     // the current document
  const XTFontSuite* lgj2 = nullptr;              // fonts
  const XTLayoutSuite* lgk2 = nullptr;         // layout, items, views
  const XTItemDataSuite* lgl2 = nullptr;       // item data, story objects
  const XTPlainSuite* qsa1 = nullptr;
  const XTPathSuite* qsc1 = nullptr;
  const XTStringSuite* qsb1 = nullptr;
  const XTPlainSuite* loa1 = nullptr;

  // Bound tables.
  const XTFileSuite* files = nullptr;               // XFJj
  const XTErrorSuite* errors = nullptr;             // XRSa
  const XTAlertTextSuite* alert_texts = nullptr;    // XESa
  const XTDocumentSuite* documents = nullptr;       // XDDg
  const XTFolderSpecSuite* folder_specs = nullptr;  // XMFe
  const XTNoteSuite* notes = nullptr;               // XCMe
  const XTModuleSuite* modules = nullptr;           // XMDs
  const XTProjectSuite* projects = nullptr;         // XPJc
  const XTMenuSuite* menus = nullptr;               // XMNu
  const XTDialogSuite* dialogs = nullptr;           // XDLg
  const XTFileDialogSuite* file_dialogs = nullptr;  // XFDl
  const XTApplicationSuite* application = nullptr;  // XAPp
  const XTBoxSuite* boxes = nullptr;                // XBXa
  // Acquired on first use by the export (see AcquireExportTables).
  const XTFileDataSuite* file_data = nullptr;       // XFRd
  const XTColorQuerySuite* colors = nullptr;        // XCLq

  // Suites of the host's XTensions.
  const XTPlainSuite* xpta = nullptr;
  const XTPlainSuite* qlyi = nullptr;
  const XTPlainSuite* xpdf = nullptr;

  // The module's handle from the module service, 0 when none is held.
  XTModule module_handle = 0;
  // The fifteen reserved ids, numbered 1 to 15 in the order of reservation
  // (index 0 holds id 1).
  int32_t reserved_ids[15] = {};

  // Acquired on first use by the XTags export.
  const XTTextExportSuite* text_export = nullptr;  // XTXf
};

// The one link of the process.
HostLink& XT();

// Acquires the suite with `code` through `record` into `slot`.  The slot
// changes only on success; a table that does not begin with `code` counts
// as missing.  Returns the host's result; a failure is logged.
template <class Suite>
int32_t AcquireSuite(const XTRegisterRec& record, uint32_t code, const Suite*& slot) {
  const void* suite = nullptr;
  const int32_t result = HostCall("acquire_suite", record.acquire_suite(code, &suite, 0, 0));
  if (result != kXTOk) return result;
  if (suite == nullptr || *static_cast<const uint32_t*>(suite) != code) return kXTErrNoSuite;
  slot = static_cast<const Suite*>(suite);
  return kXTOk;
}

// The bound table in `slot`, acquired with `code` on first use; null when
// the host does not offer it.
template <class Suite>
const Suite* AcquireOnFirstUse(const Suite*& slot, uint32_t code) {
  const HostLink& link = XT();
  if (slot == nullptr && link.registration != nullptr) AcquireSuite(*link.registration, code, slot);
  return slot;
}

// The load address of the library this code is linked into (the module
// handle handed to the module service), and its absolute path.
const void* ModuleHandle();
std::string ModulePath();
