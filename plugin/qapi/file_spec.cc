#include "plugin/qapi/file_spec.h"

#include "support/conversion_state.h"
#include "support/error_names.h"
#include "support/host_calls.h"
#include "support/host_file_spec.h"
#include "support/host_link.h"
#include "support/program_log.h"

void FileSpec::GetHostSpec(XTFileSpec& spec) const {
  XTFile file = 0;
  int32_t result = NewHostFile(fullPath, kXTDocumentType, &file);
  if (result == kXTOk) {
    XTFileSpec record{};
    result = XT().files->file_spec(file, &record);
    if (result == kXTOk) spec = record;
    XT().files->dispose_file(file);
  }
  // A spec the host could not make leaves `spec` empty: whatever needs the
  // file then fails, and this line says why.
  if (result != kXTOk) {
    ProgramLog() << "ERROR: the host made no file spec for \"" << fullPath << "\" (host error " << result << ")"
                 << std::endl;
  }
  TraceLevel(result, kApiCheckText);
}

void FileSpec::CreateHostFile(int32_t creator, bool overwrite, uint32_t type, int32_t value) const {
  if (creator == 0) return;
  if (type == kXTDocumentType) type = hostType;
  XTFile file = 0;
  int32_t result = NewHostFile(fullPath, type, &file);
  if (result != kXTOk) {
    TraceLevel(result, kApiCheckText);
    return;
  }
  const XTFileSuite* files = XT().files;
  if (value != -1) {
    result = files->set_file_value(file, value);
  } else if (this->value != -1) {
    result = files->set_file_value(file, this->value);
  }
  uint8_t exists = 0;
  if (result == kXTOk) result = files->file_exists(file, &exists);
  if (result == kXTOk && !(exists && !overwrite)) {
    if (exists) {
      result = files->delete_file(file);
      int32_t old = 0;
      if (result == kXTOk) result = files->file_value(file, &old);
      if (result == kXTOk && XT().folder_specs != nullptr) {
        result = XT().folder_specs->release_file_value(0, old);
      }
    }
    if (result == kXTOk) result = files->create_file(file, type, creator);
  }
  files->dispose_file(file);
  TraceLevel(result, kApiCheckText);
}

void FileSpec::SetHostFileInfo(int32_t first, int32_t second) const {
  if (first == 0) return;
  XTFile file = 0;
  int32_t result = NewHostFile(fullPath, kXTDocumentType, &file);
  if (result == kXTOk) {
    result = XT().files->set_file_info(file, second, first);
    XT().files->dispose_file(file);
  }
  TraceLevel(result, kApiCheckText);
}

int32_t FileSpec::SetFromPath(const std::string& path) {
  fullPath = path;
  XTFile file = 0;
  int32_t result = NewHostFile(path, hostType, &file);
  if (result == kXTOk) {
    std::string name;
    int32_t folder = 0;
    result = FileSpecToNameAndFolder(file, &name, &folder);
    if (result != kXTOk) result = FileSpecToNameAndFolder(file, &name, &folder);
    if (result == kXTOk) {
      fileName = name;
      kind = GetFileKindOfPath(name, false);
    }
    XT().files->dispose_file(file);
  }
  return TraceLevel(result, kApiCheckText);
}

FileSpecPair& CurrentRequest() {
  static FileSpecPair request;
  return request;
}

void MakePdfTargetPath(std::string& out) {
  std::string path = CurrentRequest().target.GetFullPath();
  // Only a dot in the last path component starts an extension.
  const std::size_t dot = path.rfind('.');
  const std::size_t slash = path.rfind('/');
  if (dot != std::string::npos && path.size() - dot == 4 &&
      (slash == std::string::npos || slash < dot)) {
    path.erase(dot);
  }
  if (PdfStepMode != 1 && PdfStepMode != 3) path += ".pdf";
  FileSpec spec;
  if (spec.SetFromPath(path) == kXTOk) out = path;
}

int32_t CnvTools::SetTargetFromProject(std::string& out) {
  std::string path;
  MakePdfTargetPath(path);
  if (path.empty()) return TraceLevel(kXTErrNotFound, kApiCheckText);
  FileSpec target = CurrentRequest().target;
  const int32_t result = target.SetFromPath(path);
  if (result != kXTOk) return result;
  CurrentRequest().target = target;
  out = path;
  return kXTOk;
}
