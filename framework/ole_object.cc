#include "framework/ole_object.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "framework/failures.h"
#include "platform/win/code_pages.h"

namespace {

uint32_t g_medium_full_count = 0;

void LogToStderr(const char* line) {
  std::fprintf(stderr, "%s\n", line);
  std::fflush(stderr);
}

OLEFailureLogger g_failure_logger = LogToStderr;

// The name as narrow text for the failure's argument; a name that cannot be
// converted is passed as empty.
std::string NarrowName(const char16_t* name) {
  std::string narrow;
  if (name) {
    size_t length = 0;
    while (name[length]) ++length;
    if (!win::WideToMultiByte(win::kCodePageSystem, name, length, narrow)) narrow.clear();
  }
  return narrow;
}

int CountedFailureId(ole::Result result) {
  if (result == ole::STG_E_MEDIUMFULL) ++g_medium_full_count;
  return OLEObject::FailureId(result);
}

}  // namespace

int OLEObject::FailureId(ole::Result result) {
  switch (result) {
    case ole::STG_E_INVALIDNAME: return 33000;
    case ole::STG_E_INVALIDPARAMETER:
    case ole::E_INVALIDARG: return 33001;
    case ole::STG_E_INVALIDPOINTER: return 33003;
    case ole::STG_E_INVALIDFUNCTION:
    case ole::STG_E_INVALIDFLAG: return 33004;
    case ole::STG_E_OLDFORMAT:
    case ole::STG_E_OLDDLL: return 33005;
    case ole::STG_E_FILENOTFOUND:
    case ole::STG_E_PATHNOTFOUND: return 33006;
    case ole::STG_E_ACCESSDENIED:
    case ole::STG_E_SHAREVIOLATION:
    case ole::STG_E_LOCKVIOLATION: return 33007;
    case ole::STG_E_FILEALREADYEXISTS: return 33008;
    case ole::STG_E_REVERTED: return 33009;
    case ole::S_FALSE: return kFailShortPropertySet;  // 33010
    case ole::STG_E_CANTSAVE: return 33011;
    case ole::STG_E_MEDIUMFULL: return 33012;
    case ole::STG_E_WRITEFAULT: return 33013;
    case ole::STG_E_TOOMANYOPENFILES: return 33014;
    case ole::E_UNEXPECTED: return 33015;
    case ole::E_OUTOFMEMORY:
    case ole::STG_E_INSUFFICIENTMEMORY: return kFailOutOfMemory;
    default: return kFailOleOther;
  }
}

const char* OLEObject::FailureReason(int id) {
  switch (id) {
    case 33000: return "an element name is not valid";
    case 33001: return "a parameter is not valid";
    case 33003:
    case 33004: return "the storage was used wrongly";
    case 33005: return "not a compound file";
    case 33006: return std::strerror(ENOENT);
    case 33007: return std::strerror(EACCES);
    case 33008: return std::strerror(EEXIST);
    case 33009: return "the storage was reverted";
    case kFailShortPropertySet: return "a property set is cut short";
    case 33011: return "the storage cannot be saved";
    case 33012: return std::strerror(ole::LastMediumFullError());
    case 33013: return std::strerror(EIO);
    case 33014: return std::strerror(EMFILE);
    case 33015: return "unexpected failure of the storage";
    case kFailOutOfMemory: return std::strerror(ENOMEM);
    case kFailOleOther: return "failure of the storage";
    case kFailCodeFileTooNew: return "the container is of a newer format";
    case kFailCodeFileDamaged: return "the container is damaged: a stream or folder table is cut short or inconsistent";
    default: return "";
  }
}

uint32_t OLEObject::MediumFullCount() { return g_medium_full_count; }

void OLEObject::Abort(ole::Result result, const char* name) {
  Error(CountedFailureId(result), name ? name : "");
}

void OLEObject::Abort(ole::Result result, const char16_t* name) {
  Abort(result, NarrowName(name).c_str());
}

void OLEObject::RaiseOrLog(ole::Result result, const char16_t* name) {
  if (std::uncaught_exceptions() == 0) Abort(result, name);
  int id = CountedFailureId(result);
  char line[512];
  std::snprintf(line, sizeof line, "OLE failure %d (result 0x%08X) on \"%s\" not raised: another failure is unwinding",
                id, static_cast<unsigned>(result), NarrowName(name).c_str());
  g_failure_logger(line);
}

bool OLEObject::Exists(const char* path) { return path && ::access(path, F_OK) == 0; }

bool OLEObject::IsStorage(const char* path) {
  ole::Storage* root = nullptr;
  ole::Result result = ole::OpenDocfile(path, ole::STGM_SHARE_DENY_WRITE, &root);
  if (ole::Succeeded(result)) {
    root->Release();
    return true;
  }
  switch (result) {
    case ole::STG_E_FILEALREADYEXISTS:  // a file, but not a compound file
    case ole::STG_E_OLDFORMAT:
    case ole::STG_E_OLDDLL:
    case ole::STG_E_FILENOTFOUND:
    case ole::STG_E_PATHNOTFOUND:
      return false;
    default:
      Abort(result, path);
  }
}

void SetOLEFailureLogger(OLEFailureLogger logger) { g_failure_logger = logger ? logger : LogToStderr; }
