#include "support/host_file_spec.h"

#include <cstring>

#include "support/error_names.h"
#include "support/host_calls.h"
#include "support/host_link.h"
#include "support/host_result.h"
#include "support/paths.h"

namespace {

const char kTempCheckText[] = "xt_gettempfolder: api_err != ERR_SUCCESS";
const char kMakeSpecCheckText[] = "xt_fsmakefsspec: os_err != (ERR_SUCCESS | fnfErr)";

bool HaveFileSuites() { return XT().files != nullptr && XT().qsb1 != nullptr; }

}  // namespace

int32_t NewHostFile(const std::string& path, uint32_t type, XTFile* file) {
  const HostLink& link = XT();
  *file = 0;
  if (!HaveFileSuites()) return kXTErrNoSuite;
  XTString text = 0;
  int32_t result = NewHostString(path, &text);
  if (result == kXTOk) result = link.files->new_file(file);
  if (result == kXTOk) result = link.files->set_file_path(*file, text, type);
  if (text != 0) CleanUp("dispose_string", link.qsb1->dispose_string(text));
  if (result != kXTOk && *file != 0) {
    link.files->dispose_file(*file);
    *file = 0;
  }
  return result;
}

int32_t GetRecordName(const XTFileSpec& spec, std::string& out) {
  out.assign(spec.name, strnlen(spec.name, sizeof spec.name - 1));
  return kXTOk;
}

int32_t FSSpecToPath(std::string& out, const XTFileSpec& spec) {
  const HostLink& link = XT();
  if (!HaveFileSuites() || link.qsc1 == nullptr) return TraceLevel(kXTErrNoSuite, kApiCheckText);
  std::string name;
  GetRecordName(spec, name);
  XTString hostName = 0;
  XTPath path = 0;
  XTString text = 0;
  std::string result_path;
  int32_t result = NewHostString(name, &hostName);
  if (result == kXTOk) result = HostCall("new_path", link.qsc1->new_path(&path));
  if (result == kXTOk) result = HostCall("full_path", link.files->full_path(spec.volume, spec.folder, hostName, path));
  if (result == kXTOk) result = HostCall("path_string", link.qsc1->path_string(path, &text));
  if (hostName != 0) CleanUp("dispose_string", link.qsb1->dispose_string(hostName));
  if (result == kXTOk) result = HostStringToStd(text, result_path);
  if (path != 0) CleanUp("dispose_path", link.qsc1->dispose_path(path));
  if (result == kXTOk) out = result_path;
  return TraceLevel(result, kApiCheckText);
}

std::string xt_gettempfolder() {
  const HostLink& link = XT();
  if (link.files == nullptr) {
    TraceLevel(kXTErrNoSuite, kTempCheckText);
    return std::string();
  }
  XTFile file = 0;
  XTFileSpec spec{};
  std::string path;
  int32_t result = link.files->new_file(&file);
  if (result == kXTOk) result = link.files->temp_folder(file);
  if (result == kXTOk) result = link.files->file_spec(file, &spec);
  if (result == kXTOk) result = FSSpecToPath(path, spec);
  if (file != 0) CleanUp("dispose_file", link.files->dispose_file(file));
  TraceLevel(result, kTempCheckText);
  return result == kXTOk ? path : std::string();
}

std::string GetHostTempFolder() { return std::string(xt_gettempfolder()); }

bool SplitHostPath(const std::string& path, std::string& folder, std::string& name,
                   std::string* extension, bool /*forwardSlash*/, bool requireExtension) {
  const char separator = '/';
  const std::size_t lastSeparator = path.rfind(separator);
  // The extension's dot stands four characters before the end, inside the
  // last path component.
  const std::size_t dot = path.rfind('.');
  const bool hasExtension = dot != std::string::npos && path.size() >= 4 &&
                            dot == path.size() - 4 &&
                            (lastSeparator == std::string::npos || lastSeparator < dot);
  if (requireExtension && !hasExtension) return false;
  if (extension != nullptr) *extension = hasExtension ? path.substr(dot + 1) : std::string();
  const std::size_t end = hasExtension && extension != nullptr ? dot : path.size();
  const std::size_t cut = path.rfind(separator, end == 0 ? 0 : end - 1);
  if (cut == std::string::npos) {
    folder.clear();
    name = path.substr(0, end);
  } else {
    folder = cut == 0 ? std::string(1, separator) : path.substr(0, cut);
    name = path.substr(cut + 1, end - cut - 1);
  }
  return !folder.empty() && !name.empty();
}

int16_t xt_fsmakefsspec(int16_t volume, int32_t folderId, const std::string& path, XTFileSpec& spec,
                        bool byPath, bool allowMissing, bool fillName, char* nameOut,
                        int32_t /*unused*/, bool deleteCreated, bool* created) {
  const HostLink& link = XT();
  if (!HaveFileSuites() || (!byPath && link.folder_specs == nullptr)) {
    return static_cast<int16_t>(TraceLevel(kXTErrNoSuite, kMakeSpecCheckText));
  }
  XTFileSpec record{};
  int32_t result =
      byPath ? link.files->make_spec(volume, folderId, path.c_str(), &record)
             : link.folder_specs->make_spec_in_folder(volume, folderId, path.c_str(), &record);

  // The file is made when it is missing.  The result stays the host's -43
  // whatever comes of that (callers that allow a missing file take it for
  // success); *created tells whether a file was made here, and the spec
  // names the file, made or not.
  if (byPath && allowMissing && result == kXTErrNotFound) {
    std::string folder, name, extension;
    if (SplitHostPath(path, folder, name, &extension, true, true)) {
      // The folder must be there before a file can be made in it.
      XTFileSpec folderRecord{};
      int32_t made = link.files->make_spec(volume, folderId, folder.c_str(), &folderRecord);
      XTFile file = 0;
      if (made == kXTOk) made = NewHostFile(path, kXTDocumentType, &file);
      if (made == kXTOk) {
        made = link.files->create_file(file, kXTDocumentType, 0);
        const bool createdHere = made == kXTOk;
        // A file that appeared in between is taken as it is: it was not made
        // here, so nothing may delete it later.
        XTFileSpec madeRecord{};
        if ((made == kXTOk || made == kXTErrDuplicate) &&
            link.files->file_spec(file, &madeRecord) == kXTOk) {
          record = madeRecord;
        }
        if (createdHere && created != nullptr) *created = true;
        if (createdHere && deleteCreated) link.files->delete_file(file);
        link.files->dispose_file(file);
      }
    }
  }

  // The name is copied only from a record the host filled.
  if (fillName && nameOut != nullptr && (result == kXTOk || result == kXTErrNotFound)) {
    const std::size_t length = strnlen(record.name, sizeof record.name);
    if (length < 64) std::memcpy(nameOut, record.name, length + 1);
  }
  if (result == kXTOk || (result == kXTErrNotFound && allowMissing)) spec = record;
  // The check hook takes a missing file for success.
  TraceLevel(result == kXTErrNotFound ? kXTOk : result, kMakeSpecCheckText);
  return static_cast<int16_t>(result);
}

int32_t ChangeSpecExtension(XTFileSpec& spec, const std::string& newExtension) {
  const HostLink& link = XT();
  if (!HaveFileSuites()) return TraceLevel(kXTErrNoSuite, kApiCheckText);
  std::string path;
  int32_t result = FSSpecToPath(path, spec);
  if (result != kXTOk) return TraceLevel(result, kApiCheckText);
  if (!ReplaceExtension(path, newExtension, true, true)) return TraceLevel(12, kApiCheckText);
  XTFile file = 0;
  XTFileSpec record{};
  result = NewHostFile(path, kXTDocumentType, &file);
  if (result == kXTOk) {
    result = link.files->file_spec(file, &record);
    CleanUp("dispose_file", link.files->dispose_file(file));
  }
  if (result == kXTOk) spec = record;
  return TraceLevel(result, kApiCheckText);
}

void ProbeOpenDocument(const std::string& path) {
  const HostLink& link = XT();
  if (!HaveFileSuites() || link.documents == nullptr) {
    TraceLevel(kXTErrNoSuite, kApiCheckText);
    return;
  }
  XTFile file = 0;
  int32_t result = NewHostFile(path, kXTDocumentType, &file);
  if (result == kXTOk) {
    result = link.documents->open_document(file, 63);
    if (result == kXTOk) CloseCurrentProject(-1, kXTCloseDiscard);
    CleanUp("dispose_file", link.files->dispose_file(file));
  }
  TraceLevel(result, kApiCheckText);
}

int32_t DeleteHostFile(const std::string& path) {
  const HostLink& link = XT();
  if (!HaveFileSuites()) return TraceLevel(kXTErrNoSuite, kApiCheckText);
  XTFileSpec spec{};
  int32_t result =
      xt_fsmakefsspec(0, 0, path, spec, true, false, false, nullptr, 0, false, nullptr);
  if (result == kXTOk) {
    XTFile file = 0;
    result = link.files->new_file(&file);
    if (result == kXTOk) {
      result = link.files->set_file_spec(file, &spec);
      if (result == kXTOk) result = link.files->delete_file(file);
      CleanUp("dispose_file", link.files->dispose_file(file));
    }
  }
  return TraceLevel(result, kApiCheckText);
}

int32_t FileSpecToNameAndFolder(XTFile file, std::string* name, int32_t* folder) {
  const HostLink& link = XT();
  if (!HaveFileSuites() || link.errors == nullptr) return kXTErrNoSuite;
  if (name == nullptr || folder == nullptr) {
    link.errors->set_error(name == nullptr ? 5 : 6);
    return link.errors->current_error();
  }
  XTString hostName = 0;
  std::string text;
  XTFileSpec record{};
  int32_t result = link.files->file_name(file, &hostName);
  if (result == kXTOk) {
    result = HostStringToStd(hostName, text);
    CleanUp("dispose_string", link.qsb1->dispose_string(hostName));
  }
  if (result == kXTOk) result = link.files->file_spec(file, &record);
  if (result == kXTOk) {
    *name = text;
    *folder = record.folder;
  }
  return result;
}
