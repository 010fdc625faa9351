#include "plugin/conversion/container_open.h"

#include <cstring>
#include <fstream>

#include "framework/failures.h"
#include "framework/ole_object.h"
#include "framework/ole_storage.h"
#include "platform/ole/format.h"
#include "plugin/mixer/host_pages.h"
#include "plugin/qapi/qapi_trace.h"
#include "support/host_file_spec.h"
#include "support/host_link.h"

namespace {

constexpr const char* kSource = "Filter_BX";
constexpr int kLineExport = 188;
constexpr int kLineImport = 233;
// The storage's failures for a file it cannot read as a compound file, and
// for an element (or file) that is not there.
constexpr int kFailNotCompound = 33005;
constexpr int kFailNotFound = 33006;
// The storage's failures to write its file: it cannot be saved (33011),
// the medium is full (33012), a write fault (33013).
constexpr int kFailCantSave = 33011;
constexpr int kFailWriteFault = 33013;

// Whether the file at `path` begins as every compound file does.
bool HasCompoundSignature(const std::string& path) {
  char head[sizeof ole::format::kSignature] = {};
  std::ifstream file(path, std::ios::binary);
  return file.read(head, sizeof head) && std::memcmp(head, ole::format::kSignature, sizeof head) == 0;
}

// The path of `spec` for an error text: the full path when the host gives
// it, else the bare name.
std::string PathForReport(const XTFileSpec& spec) {
  std::string path;
  if (FSSpecToPath(path, spec) != kXTOk) GetRecordName(spec, path);
  return path;
}

// The words for the failure being handled, raised by the container
// library on the file at `path`: the storage's reason (the system's where
// one lies behind it), else the failure's own text.  A file that begins as
// a compound file but cannot be read as one ends early or is damaged;
// once it did open (`opened`), an element that is not found is missing.
std::string FailureWords(const std::string& path, bool opened) {
  try {
    throw;
  } catch (const FilterException& failure) {
    if (opened && failure.Id() == kFailNotFound) return "the container is damaged: an element of it is missing";
    if (failure.Id() == kFailNotCompound && HasCompoundSignature(path)) {
      return "the compound file ends early or is damaged";
    }
    const char* words = OLEObject::FailureReason(failure.Id());
    return *words != '\0' ? words : failure.what();
  } catch (const std::exception& failure) {
    return failure.what();
  } catch (...) {
    return "unknown failure";
  }
}

// Runs `open`; what it raises is raised on, its words (FailureWords) kept
// in *reason first when `reason` is given.
template <class Open>
void KeepingReason(std::string* reason, const std::string& path, const bool& opened, Open open) {
  try {
    open();
  } catch (...) {
    if (reason != nullptr) *reason = FailureWords(path, opened);
    throw;
  }
}

}  // namespace

std::string ContainerWriteFailure() {
  try {
    throw;
  } catch (const FilterException& failure) {
    if (failure.Id() >= kFailCantSave && failure.Id() <= kFailWriteFault) return OLEObject::FailureReason(failure.Id());
  } catch (...) {
  }
  return std::string();
}

bool OpenContainerAt(const XTFileSpec& spec, const std::function<void(const std::string&)>& open,
                     ErrorRecord (*makeError)(const std::string&), int line) {
  const XTFileSpec copy = spec;
  try {
    std::string path;
    if (FSSpecToPath(path, copy) != kXTOk || path.empty()) {
      QuarkInternalError(kSource, line);
      QapiError(makeError(PathForReport(copy)));
      return false;
    }
    open(path);
    return true;
  } catch (...) {
    try {
      QapiError(makeError(PathForReport(copy)));
    } catch (...) {
      // The report is a courtesy; the empty handle says it all.
    }
    return false;
  }
}

BX_KXT::Export::Ref<BX_KXT::Export::IBook> OpenExportContainer(const XTFileSpec& spec, std::string* reason) {
  BX_KXT::Export::Ref<BX_KXT::Export::IBook> book;
  // A raising open leaves `book` empty.
  OpenContainerAt(
      spec,
      [&book, reason](const std::string& path) {
        KeepingReason(reason, path, false, [&book, &path] { book = BX_KXT::Export::CreateExportBook(path.c_str()); });
      },
      MakeCreateKxtError, kLineExport);
  return book;
}

BX_KXT::Import::Ref<BX_KXT::Import::IBook> OpenImportContainer(const XTFileSpec& spec, std::string* reason) {
  BX_KXT::Import::Ref<BX_KXT::Import::IBook> book;
  const bool named = OpenContainerAt(
      spec,
      [&book, reason](const std::string& path) {
        bool opened = false;
        KeepingReason(reason, path, opened, [&book, &path, &opened] {
          OLEStorage storage(path.c_str(), kOLERead);
          opened = true;
          book = BX_KXT::Import::ReadImportBook(storage);
        });
        if (!book && reason != nullptr) *reason = "the compound file holds no container";
      },
      MakeOpenKxtError, kLineImport);
  if (!named && reason != nullptr && reason->empty()) *reason = "the host cannot name its path";
  return book;
}
