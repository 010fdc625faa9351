#include "plugin/xtension/host_glue.h"

#include "support/host_link.h"

namespace {

XTRegisterRec g_glue{};  // the glue's copy of the registration record

}  // namespace

int32_t HostGlue_SetCallbacks(const XTRegisterRec* record, int32_t apiVersion, uint32_t headerSize,
                              uint32_t build) {
  if (apiVersion != kXTApiVersion || headerSize != 0x160 || build != 0x40E70000 ||
      record == nullptr || record->api_version != kXTApiVersion) {
    return kGlueVersionMismatch;
  }
  g_glue = *record;
  return kXTOk;
}

int32_t HostGlue_BindTables() {
  if (g_glue.acquire_suite == nullptr) return kXTErrNoSuite;
  HostLink& link = XT();
  int32_t result;
  if ((result = AcquireSuite(g_glue, kXTTableXFJj, link.files)) != kXTOk) return result;
  if ((result = AcquireSuite(g_glue, kXTTableXRSa, link.errors)) != kXTOk) return result;
  if ((result = AcquireSuite(g_glue, kXTTableXESa, link.alert_texts)) != kXTOk) return result;
  if ((result = AcquireSuite(g_glue, kXTTableXDDg, link.documents)) != kXTOk) return result;
  if ((result = AcquireSuite(g_glue, kXTTableXMFe, link.folder_specs)) != kXTOk) return result;
  if ((result = AcquireSuite(g_glue, kXTTableXCMe, link.notes)) != kXTOk) return result;
  if ((result = AcquireSuite(g_glue, kXTTableXMDs, link.modules)) != kXTOk) return result;
  if ((result = AcquireSuite(g_glue, kXTTableXPJc, link.projects)) != kXTOk) return result;
  if ((result = AcquireSuite(g_glue, kXTTableXMNu, link.menus)) != kXTOk) return result;
  if ((result = AcquireSuite(g_glue, kXTTableXDLg, link.dialogs)) != kXTOk) return result;
  if ((result = AcquireSuite(g_glue, kXTTableXFDl, link.file_dialogs)) != kXTOk) return result;
  if ((result = AcquireSuite(g_glue, kXTTableXAPp, link.application)) != kXTOk) return result;
  return AcquireSuite(g_glue, kXTTableXBXa, link.boxes);
}
