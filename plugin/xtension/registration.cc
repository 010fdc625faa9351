// The module registration.
#include <ostream>
#include <string>

#include "plugin/conversion/pdf_creation.h"
#include "plugin/mixer/box_registries.h"
#include "plugin/xtension/brenix.h"
#include "plugin/xtension/cb_manager.h"
#include "plugin/xtension/dialogs.h"
#include "plugin/xtension/entry.h"
#include "plugin/xtension/host_glue.h"
#include "support/host_link.h"
#include "support/host_result.h"
#include "support/program_log.h"

namespace {

// The glue's numbers, passed to its version gate.
constexpr int32_t kGlueApi = 11;
constexpr uint32_t kGlueHeaderSize = 0x160;
constexpr uint32_t kGlueBuild = 0x40E70000;

int32_t AcquireTwentySuites(const XTRegisterRec& r, HostLink& l) {
  int32_t result;
  if ((result = AcquireSuite(r, kXTSuiteLTA1, l.lta1)) != kXTOk) return result;
  if ((result = AcquireSuite(r, kXTSuiteLTB1, l.ltb1)) != kXTOk) return result;
  if ((result = AcquireSuite(r, kXTSuiteLTC1, l.ltc1)) != kXTOk) return result;
  if ((result = AcquireSuite(r, kXTSuiteLTD1, l.ltd1)) != kXTOk) return result;
  if ((result = AcquireSuite(r, kXTSuiteLGA2, l.lga2)) != kXTOk) return result;
  if ((result = AcquireSuite(r, kXTSuiteLGB2, l.lgb2)) != kXTOk) return result;
  if ((result = AcquireSuite(r, kXTSuiteLGC2, l.lgc2)) != kXTOk) return result;
  if ((result = AcquireSuite(r, kXTSuiteLGD2, l.lgd2)) != kXTOk) return result;
  if ((result = AcquireSuite(r, kXTSuiteLGE2, l.lge2)) != kXTOk) return result;
  if ((result = AcquireSuite(r, kXTSuiteLGF2, l.lgf2)) != kXTOk) return result;
  if ((result = AcquireSuite(r, kXTSuiteLGG2, l.lgg2)) != kXTOk) return result;
  if ((result = AcquireSuite(r, kXTSuiteLGH2, l.lgh2)) != kXTOk) return result;
  if ((result = AcquireSuite(r, kXTSuiteLGI2, l.lgi2)) != kXTOk) return result;
  if ((result = AcquireSuite(r, kXTSuiteLGJ2, l.lgj2)) != kXTOk) return result;
  if ((result = AcquireSuite(r, kXTSuiteLGK2, l.lgk2)) != kXTOk) return result;
  if ((result = AcquireSuite(r, kXTSuiteLGL2, l.lgl2)) != kXTOk) return result;
  if ((result = AcquireSuite(r, kXTSuiteQSA1, l.qsa1)) != kXTOk) return result;
  if ((result = AcquireSuite(r, kXTSuiteQSC1, l.qsc1)) != kXTOk) return result;
  if ((result = AcquireSuite(r, kXTSuiteQSB1, l.qsb1)) != kXTOk) return result;
  return AcquireSuite(r, kXTSuiteLOA1, l.loa1);
}

// The suites acquired once more at the end of the second binding pass.
int32_t AcquireTextSuites(const XTRegisterRec& r, HostLink& l) {
  int32_t result;
  if ((result = AcquireSuite(r, kXTSuiteLTA1, l.lta1)) != kXTOk) return result;
  if ((result = AcquireSuite(r, kXTSuiteLTB1, l.ltb1)) != kXTOk) return result;
  if ((result = AcquireSuite(r, kXTSuiteLTC1, l.ltc1)) != kXTOk) return result;
  if ((result = AcquireSuite(r, kXTSuiteLTD1, l.ltd1)) != kXTOk) return result;
  if ((result = AcquireSuite(r, kXTSuiteQSA1, l.qsa1)) != kXTOk) return result;
  if ((result = AcquireSuite(r, kXTSuiteQSC1, l.qsc1)) != kXTOk) return result;
  return AcquireSuite(r, kXTSuiteQSB1, l.qsb1);
}

// The suite an XTension offers, acquired into `slot`.
template <class Suite>
int32_t AcquireXTensionSuite(const XTRegisterRec& r, uint32_t id, const Suite*& slot) {
  uint32_t code = 0;
  const int32_t result = HostCall("xtension_suite_code", r.xtension_suite_code(id, &code));
  return result != kXTOk ? result : AcquireSuite(r, code, slot);
}

int32_t LookUpXTensions(const XTRegisterRec& r, HostLink& l) {
  int32_t value = 0;
  int32_t result;
  if ((result = AcquireXTensionSuite(r, kXTXTensionXPTA, l.xpta)) != kXTOk) return result;
  if ((result = HostCall("query_xtension", r.query_xtension(kXTXTensionXPTA, &value))) != kXTOk) return result;
  if ((result = HostCall("query_xtension", r.query_xtension(kXTXTensionQLY, &value))) != kXTOk) return result;
  if ((result = AcquireXTensionSuite(r, kXTXTensionQLYI, l.qlyi)) != kXTOk) return result;
  if ((result = HostCall("query_xtension", r.query_xtension(kXTXTensionXPDF, &value))) != kXTOk) return result;
  return AcquireXTensionSuite(r, kXTXTensionXPDF, l.xpdf);
}

// The binding: the version gate, the twenty suites, the bound tables.
int32_t Bind(const XTRegisterRec& r, HostLink& l) {
  int32_t result;
  if ((result = HostGlue_SetCallbacks(&r, kGlueApi, kGlueHeaderSize, kGlueBuild)) != kXTOk) {
    return result;
  }
  if ((result = AcquireTwentySuites(r, l)) != kXTOk) return result;
  return HostGlue_BindTables();
}

int32_t AnswerZero(void*) { return 0; }

void Register(const XTRegisterRec& r, int32_t kind, XTCallback routine, int32_t priority = 200) {
  HostCall(("register_callback " + std::to_string(kind)).c_str(), r.register_callback(kind, routine, 5, priority, 0));
}

bool AllIdsReserved(const HostLink& link) {
  for (const int32_t id : link.reserved_ids) {
    if (id == 0) return false;
  }
  return true;
}

int32_t SetupFailed(const XTRegisterRec& r) {
  const char16_t text[] = u"Brenix setup failed";
  r.show_message(text, static_cast<int32_t>(sizeof text / sizeof text[0]));
  return kStatusRefused;
}

}  // namespace

int32_t RegisterModule(XTRegisterRec* record) {
  if (record == nullptr) return kStatusRefused;
  const XTRegisterRec& r = *record;
  HostLink& link = XT();
  link.registration = record;

  if (!AllIdsReserved(link)) {
    ProgramLog() << "ERROR: the host ids were not reserved" << std::endl;
    return SetupFailed(r);
  }
  if (Bind(r, link) != kXTOk || LookUpXTensions(r, link) != kXTOk) return SetupFailed(r);
  if (!InitBrenix()) {
    // The plug-in object was built all the same, but the shut-down callback
    // that would end it is not registered yet: end it here, as shut-down
    // would (no module handle is open yet).
    OnHostShutdown(nullptr);
    return SetupFailed(r);
  }

  // The module's handle; the answer is not needed.
  if (link.modules != nullptr) HostCall("open_module", link.modules->open_module(ModuleHandle(), 1, &link.module_handle));

  Register(r, kXTShutdown, Guarded<OnHostShutdown>);
  Register(r, link.reserved_ids[0], DialogCallback(1));
  Register(r, kXTQuery134, Guarded<AnswerZero>);
  for (int number = 2; number <= 15; ++number) {
    Register(r, link.reserved_ids[number - 1], DialogCallback(number));
  }
  if (CBManager* manager = CBManager::Instance()) manager->RegisterTrampolines(r);

  // Second binding pass; only when it holds are the last three registered.
  if (Bind(r, link) == kXTOk && AcquireTextSuites(r, link) == kXTOk) {
    Register(r, kXTPdfContinuation, Guarded<ContinuePdfExport>);
    Register(r, kXTBoxPair, Guarded<OnBoxPairNotice>);
    Register(r, kXTLinkedBox, Guarded<OnLinkedBoxNotice>, 10);
  }

  int32_t request = 2323;
  if (HostCall("send_request 2323", r.send_request(0, &request, 1)) != kXTOk) return kStatusRefused;
  request = 2322;
  if (HostCall("send_request 2322", r.send_request(0, &request, 1)) != kXTOk) return kStatusRefused;
  return 0;
}
