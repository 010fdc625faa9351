#include "plugin/conversion/container_open.h"

#include "framework/failures.h"
#include "framework/ole_object.h"
#include "plugin/mixer/host_pages.h"
#include "plugin/qapi/qapi_trace.h"
#include "support/host_file_spec.h"
#include "support/host_link.h"

namespace {

constexpr const char* kSource = "Filter_BX";
constexpr int kLineExport = 188;
constexpr int kLineImport = 233;

// The path of `spec` for an error text: the full path when the host gives
// it, else the bare name.
std::string PathForReport(const XTFileSpec& spec) {
  std::string path;
  if (FSSpecToPath(path, spec) != kXTOk) GetRecordName(spec, path);
  return path;
}

}  // namespace

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
        try {
          book = BX_KXT::Export::CreateExportBook(path.c_str());
        } catch (const FilterException& failure) {
          // The storage's failure in words (the system's reason where one
          // lies behind it), else its number.
          const char* words = OLEObject::FailureReason(failure.Id());
          if (reason != nullptr) *reason = *words != '\0' ? words : failure.what();
          throw;
        } catch (const std::exception& failure) {
          if (reason != nullptr) *reason = failure.what();
          throw;
        }
      },
      MakeCreateKxtError, kLineExport);
  return book;
}

BX_KXT::Import::Ref<BX_KXT::Import::IBook> OpenImportContainer(const XTFileSpec& spec) {
  BX_KXT::Import::Ref<BX_KXT::Import::IBook> book;
  OpenContainerAt(
      spec, [&book](const std::string& path) { book = BX_KXT::Import::OpenImportBook(path.c_str()); },
      MakeOpenKxtError, kLineImport);
  return book;
}
