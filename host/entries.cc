// The entries of the activation and registration records.
#include <cstdio>
#include <string>

#include "host/host.h"
#include "host/utf.h"
#include "platform/xt/xt_suites.h"

namespace xthost {
namespace {

std::string Placement(int32_t placement, int32_t priority, int32_t flags) {
  return std::to_string(placement) + " " + std::to_string(priority) + " " + std::to_string(flags);
}

// Shows a failure message: UTF-16 text and its length, terminator included.
void ShowMessage(const char16_t* text, int32_t length) {
  Host& host = Host::Current();
  if (host.Fails("show_message")) return;
  if (text == nullptr || length <= 0) {
    host.transcript().Line("show (no text)");
    return;
  }
  std::u16string units(text, static_cast<std::size_t>(length));
  const std::size_t end = units.find(u'\0');
  std::string line;
  if (!Utf16ToUtf8(units.substr(0, end), &line)) {
    host.transcript().Line("show (text that is not UTF-16)");
    return;
  }
  std::fprintf(stderr, "xthost: %s\n", line.c_str());
  std::string shown = "show " + Transcript::Quote(line);
  // The length counts the terminator; anything else is written down.
  if (end != static_cast<std::size_t>(length) - 1) shown += " length " + std::to_string(length);
  host.transcript().Line(shown);
}

uint8_t Handshake(uint32_t product, int32_t reserved1, int32_t api_version, uint32_t build,
                  int32_t reserved2) {
  Host& host = Host::Current();
  const std::string call = "handshake " + Transcript::Hex(product) + " " +
                           std::to_string(reserved1) + " " + std::to_string(api_version) + " " +
                           Transcript::Hex(build) + " " + std::to_string(reserved2);
  const bool accepted =
      !host.Fails("handshake") && product == kXTProductCode && api_version == kXTApiVersion;
  host.transcript().Line(call + (accepted ? " -> accepted" : " -> refused"));
  return accepted ? 1 : 0;
}

int32_t RegisterRoutine(const char* what, XTRegisterRoutine Plugin::*slot,
                        XTRegisterRoutine routine, int32_t placement, int32_t priority,
                        int32_t flags) {
  Host& host = Host::Current();
  const std::string name = std::string("register_") + what;
  if (host.Fails(name)) return kXTErrInjected;
  if (host.calling() == nullptr || routine == nullptr) return kXTErrParam;
  host.calling()->*slot = routine;
  host.transcript().Line(std::string("register ") + what + " routine " +
                         Placement(placement, priority, flags));
  return kXTOk;
}

int32_t RegisterModule(XTRegisterRoutine routine, int32_t placement, int32_t priority,
                       int32_t flags) {
  return RegisterRoutine("registration", &Plugin::registration, routine, placement, priority,
                         flags);
}

int32_t RegisterReservation(XTRegisterRoutine routine, int32_t placement, int32_t priority,
                            int32_t flags) {
  return RegisterRoutine("reservation", &Plugin::reservation, routine, placement, priority, flags);
}

int32_t SetPriority(int32_t priority) {
  Host& host = Host::Current();
  if (host.Fails("set_priority")) return kXTErrInjected;
  host.transcript().Line("priority " + std::to_string(priority));
  return kXTOk;
}

int32_t ReserveId(int32_t count, int32_t* id) {
  Host& host = Host::Current();
  if (host.Fails("reserve_id")) return kXTErrInjected;
  if (count != 1 || id == nullptr) return kXTErrParam;
  *id = host.NextReservedId();
  host.transcript().Line("reserve id " + std::to_string(*id));
  return kXTOk;
}

int32_t RegisterCallback(int32_t kind, XTCallback routine, int32_t placement, int32_t priority,
                         int32_t flags) {
  Host& host = Host::Current();
  if (host.Fails("register_callback", std::to_string(kind))) return kXTErrInjected;
  if (host.calling() == nullptr || routine == nullptr) return kXTErrParam;
  host.calling()->callbacks.push_back({kind, routine});
  host.transcript().Line("callback " + std::to_string(kind) + " " +
                         Placement(placement, priority, flags));
  return kXTOk;
}

int32_t SendRequest(int32_t reserved, int32_t* request, int32_t count) {
  Host& host = Host::Current();
  if (request == nullptr) return kXTErrParam;
  const std::string number = std::to_string(*request);
  if (host.Fails("send_request", number)) return kXTErrInjected;
  // The two requests plug-ins send at the end of their registration.
  const bool known = *request == 2322 || *request == 2323;
  host.transcript().Line("request " + number + " " + std::to_string(reserved) + " " +
                         std::to_string(count) + (known ? "" : " refused"));
  return known ? kXTOk : kXTErrRefused;
}

int32_t AcquireSuite(uint32_t code, const void** suite, int32_t, int32_t) {
  Host& host = Host::Current();
  const std::string name = Transcript::SuiteName(code);
  if (host.Fails("acquire_suite", name)) return kXTErrInjected;
  if (suite == nullptr) return kXTErrParam;
  const void* found = FindSuite(code);
  host.transcript().Line("acquire " + name + (found ? "" : " missing"));
  if (found == nullptr) return kXTErrNoSuite;
  *suite = found;
  return kXTOk;
}

// The host's own XTensions: id, version, suite code (0 = none).
struct XTensionEntry {
  uint32_t id;
  int32_t version;
  uint32_t suite;
};
const XTensionEntry kXTensions[] = {
    {kXTXTensionXPTA, 1, kXTSuiteXPTA},
    {kXTXTensionQLY, 1, 0},
    {kXTXTensionQLYI, 1, kXTSuiteQLYI},
    {kXTXTensionXPDF, 1, kXTSuiteXPDF},
};

const XTensionEntry* FindXTension(uint32_t id) {
  for (const XTensionEntry& entry : kXTensions) {
    if (entry.id == id) return &entry;
  }
  return nullptr;
}

int32_t QueryXTension(uint32_t id, int32_t* value) {
  Host& host = Host::Current();
  const std::string name = Transcript::XTensionName(id);
  if (host.Fails("query_xtension", name)) return kXTErrInjected;
  if (value == nullptr) return kXTErrParam;
  const XTensionEntry* entry = FindXTension(id);
  host.transcript().Line("xtension " + name + (entry ? " present" : " absent"));
  if (entry == nullptr) return kXTErrRefused;
  *value = entry->version;
  return kXTOk;
}

int32_t XTensionSuiteCode(uint32_t id, uint32_t* code) {
  Host& host = Host::Current();
  const std::string name = Transcript::XTensionName(id);
  if (host.Fails("xtension_suite_code", name)) return kXTErrInjected;
  if (code == nullptr) return kXTErrParam;
  const XTensionEntry* entry = FindXTension(id);
  if (entry == nullptr || entry->suite == 0) {
    host.transcript().Line("xtension " + name + " has no suite");
    return kXTErrRefused;
  }
  *code = entry->suite;
  host.transcript().Line("xtension " + name + " suite " + Transcript::SuiteName(entry->suite));
  return kXTOk;
}

}  // namespace

XTActivateRec MakeActivateRec() {
  XTActivateRec record{};
  record.api_version = kXTApiVersion;
  record.handshake = Handshake;
  record.register_module = RegisterModule;
  record.register_reservation = RegisterReservation;
  record.set_priority = SetPriority;
  record.show_message = ShowMessage;
  return record;
}

XTRegisterRec MakeRegisterRec() {
  XTRegisterRec record{};
  record.api_version = kXTApiVersion;
  record.reserve_id = ReserveId;
  record.register_callback = RegisterCallback;
  record.send_request = SendRequest;
  record.acquire_suite = AcquireSuite;
  record.query_xtension = QueryXTension;
  record.xtension_suite_code = XTensionSuiteCode;
  record.show_message = ShowMessage;
  return record;
}

}  // namespace xthost
