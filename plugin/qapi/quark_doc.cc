#include "plugin/qapi/quark_doc.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <ostream>

#include "plugin/qapi/file_spec.h"
#include "plugin/qapi/host_text_services.h"
#include "plugin/qapi/mixer_services.h"
#include "plugin/qapi/qapi_trace.h"
#include "support/batch_file.h"
#include "support/brenix_interface.h"
#include "support/error_names.h"
#include "support/host_calls.h"
#include "support/host_file_spec.h"
#include "support/host_link.h"
#include "support/host_result.h"
#include "support/paths.h"
#include "support/program_log.h"
#include "support/reg_key.h"
#include "support/stop_request.h"

namespace {

constexpr int32_t kImport = 5;  // the conversion type of an import

const XTDocumentStateSuite* State() { return XT().lgi2; }

// A state byte of the current document (host call `call`); false when it
// cannot be read.  Without a document the byte is false; any other failure
// is counted, as the document's form would be taken for another.
bool StateByte(const char* call, int32_t (*const XTDocumentStateSuite::*entry)(uint8_t*)) {
  uint8_t answer = 0;
  return State() != nullptr && HostCall(call, (State()->*entry)(&answer), kXTErrNoDocument) == kXTOk &&
         answer != 0;
}

// The file record the current request names for the document: the target
// of an import, else the source.
const FileSpec& RequestFile() {
  const FileSpecPair& request = CurrentRequest();
  return request.conversionType == kImport ? request.target : request.source;
}

}  // namespace

int16_t GetCurrentDocumentId() {
  int16_t id = -1;
  if (State() == nullptr ||
      HostCall("current_document", State()->current_document(&id), kXTErrNoDocument) != kXTOk) {
    return -1;
  }
  return id;
}

bool IsValidDocument() { return GetCurrentDocumentId() >= 0; }

bool IsCurrentDocumentUntitled() { return StateByte("is_untitled", &XTDocumentStateSuite::is_untitled); }

bool IsCurrentDocumentReadOnly() {
  return StateByte("is_mac_document", &XTDocumentStateSuite::is_mac_document);
}

bool CurrentDocumentNeedsSave() {
  if (IsCurrentDocumentUntitled()) return true;
  uint32_t flags = 0;
  if (State() == nullptr || State()->state_flags(&flags) != kXTOk) return false;
  return (flags & 3) != 0;
}

bool ResetCurrentDocumentState() {
  if (State() != nullptr) State()->set_state_flags(0);
  return true;
}

std::string SaveFailureText(int32_t result, const std::string& path) {
  switch (result) {
    case kXTErrIo: {
      struct stat info {};
      const std::string::size_type slash = path.rfind('/');
      const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
      if (!path.empty() && ::stat(folder.c_str(), &info) != 0 && (errno == ENOENT || errno == ENOTDIR)) {
        return "its folder is gone";
      }
      if (!path.empty() && ::stat(path.c_str(), &info) == 0 && (info.st_mode & 0222) == 0) {
        return "the document's file is read-only";
      }
      return "the host refused to write the file (read-only, replaced since it was opened, or an I/O error)";
    }
    case kXTErrNoFolder:
      return "its folder is gone";
    case kXTErrNotFound:
      return "it has no file of its own";
    case kXTErrBusy:
      return "the file is open as another document";
    case kXTErrDiskFull:
      return kHostDiskFullText;
    case kSaveStopped:
      return "the job was stopped";
    default:
      return "host result " + std::to_string(result);
  }
}

bool SaveCurrentDocument() {
  if (!CurrentDocumentNeedsSave()) return true;
  if (State() != nullptr) State()->do_command(kXTCommandSave);
  return !CurrentDocumentNeedsSave();
}

int32_t QueryCurrentDocument() {
  XTProject project = 0;
  if (XT().projects == nullptr ||
      HostCall("current_project", XT().projects->current_project(&project), kXTErrNoDocument) != kXTOk) {
    return -1;
  }
  return project;
}

int32_t GetDocumentCount() {
  int32_t count = 0;
  if (State() == nullptr || State()->document_count(&count) != kXTOk) return 0;
  return count;
}

int16_t GetCurrentDocumentSpec(XTFileSpec& spec) {
  if (IsCurrentDocumentUntitled()) return kXTErrNotFound;
  std::string name, folder;
  if (GetCurrentDocumentLocation(&name, &folder) != kXTOk) return 12;
  XTFileSpec made{};
  const int16_t result = xt_fsmakefsspec(0, 0, folder + kPathSeparator + name, made, true, false, false,
                                         nullptr, 0, false, nullptr);
  if (result == kXTOk) spec = made;
  return result;
}

bool CurDocAPI::Open(const XTFileSpec& spec, int32_t openFlag) {
  if (!PathExists(CurrentRequest().source.GetFullPath())) return false;
  XTFileSpec named{};
  RequestFile().GetHostSpec(named);
  if (std::strncmp(named.name, spec.name, sizeof spec.name) != 0 || named.volume != spec.volume ||
      named.folder != spec.folder) {
    ProgramLog() << ">>>>>>>>> WARNING: CurDocAPI::Open(): theSpec <-> fsp ARE DIFFERENT!!! "
                    "<<<<<<<<<"
                 << std::endl;
  }
  const int32_t before = GetDocumentCount();
  const int32_t result = OpenDocumentFromSpec(&spec, openFlag != 0 ? 63 : 31);
  return result == kXTOk || GetDocumentCount() == before + 1;
}

std::vector<int32_t>& PendingHostObjects() {
  static std::vector<int32_t> objects;
  return objects;
}

QuarkDoc::QuarkDoc()
    : documentId(GetCurrentDocumentId()),
      readOnly(IsCurrentDocumentReadOnly()),
      fonts_(std::make_unique<QFontList>()) {}

QuarkDoc::~QuarkDoc() {
  if (!windowFlag) return;
  MakeCurrent();
  fonts_.reset();
  int32_t window = 0;
  if (State() == nullptr || State()->document_window(&window) != kXTOk) {
    QuarkInternalError("Plugin\\Qapi\\QuarkDoc", 358);
    return;
  }
  State()->close_window(window);
}

RefHandle<QuarkDoc> QuarkDoc::Open(const XTFileSpec& spec, int32_t openFlag) {
  const int16_t before = GetCurrentDocumentId();
  if (!CurDocAPI::Open(spec, openFlag) || GetCurrentDocumentId() == before) {
    return RefHandle<QuarkDoc>();
  }
  return RefHandle<QuarkDoc>::Adopt(new QuarkDoc());
}

int16_t QuarkDoc::MakeCurrent() {
  const int16_t current = GetCurrentDocumentId();
  if (current == -1) return current;
  if (current != documentId && State() != nullptr) {
    HostCall("set_current_document", State()->set_current_document(documentId));
  }
  return current;
}

int16_t QuarkDoc::GetFileSpec(XTFileSpec& spec) {
  if (MakeCurrent() == -1) return 12;
  return GetCurrentDocumentSpec(spec);
}

bool QuarkDoc::IsLayoutModified() {
  MakeCurrent();
  XTProject project = 0;
  if (XT().projects == nullptr || State() == nullptr ||
      XT().projects->current_project(&project) != kXTOk) {
    return false;
  }
  XTLayout layout = 0;
  uint8_t modified = 0;
  if (State()->current_layout(project, &layout) != kXTOk ||
      State()->layout_modified(layout, &modified) != kXTOk) {
    return false;
  }
  return modified != 0;
}

void QuarkDoc::ReloadFonts() { fonts_ = std::make_unique<QFontList>(); }

bool QuarkDoc::Save() {
  const std::string path = RequestFile().GetFullPath();
  if (!CanSave()) return false;
  int32_t result = SaveThere(path, false, &XTDocumentStateSuite::save_document);
  // No spec, no reference, or the file is open as another document: the
  // document is saved at its own file.
  if (result == kXTErrBusy) result = AskHost(&XTDocumentStateSuite::save_document, 0);
  if (result == kXTOk) ++saveCount_;
  return Saved(result, path);
}

bool QuarkDoc::SaveAs(const std::string& path) {
  if (!CanSave()) return false;
  const int32_t result = SaveThere(path, true, &XTDocumentStateSuite::save_document);
  if (result == kXTOk) ++saveCount_;
  return Saved(result, path);
}

bool QuarkDoc::SaveCopy(const std::string& path) {
  return CanSave() && Saved(SaveThere(path, false, &XTDocumentStateSuite::save_document_copy), path);
}

bool QuarkDoc::CanSave() {
  MakeCurrent();
  if (State() != nullptr && XT().files != nullptr) return true;
  lastSaveResult_ = kXTErrNoSuite;
  ProgramLog() << "ERROR: QuarkDoc::Save(): the host cannot save documents" << std::endl;
  return false;
}

int32_t QuarkDoc::SaveThere(const std::string& path, bool newFile, SaveEntry save) {
  const HostLink& link = XT();
  int32_t result = kXTErrBusy;
  XTFileSpec spec{};
  XTFile reference = 0;
  // The host's spec of a file that is not there yet names it all the same.
  const int32_t made =
      newFile ? link.files->make_spec(0, 0, path.c_str(), &spec)
              : xt_fsmakefsspec(0, 0, path, spec, true, false, false, nullptr, 0, false, nullptr);
  if ((made == kXTOk || (newFile && made == kXTErrNotFound)) && link.files->new_file(&reference) == kXTOk &&
      link.files->set_file_spec(reference, &spec) == kXTOk) {
    result = AskHost(save, reference);
    if (result == kXTErrDuplicate) result = AskHost(save, reference);
  }
  if (reference != 0) link.files->dispose_file(reference);
  return result;
}

int32_t QuarkDoc::AskHost(SaveEntry save, XTFile file) {
  // Looked at right before the call: the calls that prepare a save are
  // host calls too, and a stop may come during any of them.
  if (StopRequested()) return kSaveStopped;
  return (State()->*save)(file, kXTDocumentType);
}

bool QuarkDoc::Saved(int32_t result, const std::string& path) {
  lastSaveResult_ = result;
  if (result == kSaveStopped) {
    ProgramLog() << "ERROR: QuarkDoc::Save(): the document was not saved (\"" << path
                 << "\"): the job was stopped" << std::endl;
    return false;
  }
  TraceLevel(result, kApiCheckText);
  if (result == kXTOk) return true;
  const bool explained = result == kXTErrIo || result == kXTErrDiskFull;
  ProgramLog() << "ERROR: QuarkDoc::Save(): the document was not saved (\"" << path << "\", host result " << result
               << ")" << (explained ? " (" + SaveFailureText(result, path) + ")" : std::string()) << std::endl;
  return false;
}

bool QuarkDoc::SaveIfInteractive() {
  std::vector<int32_t>& pending = PendingHostObjects();
  for (const int32_t object : pending) {
    if (XT().lgh2 != nullptr) XT().lgh2->release_object(object, 1);
  }
  pending.clear();
  BatchFile& batch = BatchFile::Instance();
  const BatchMode mode = batch.GetMode();
  const bool batchIdle = !batch.IsValid() || mode == BatchNone || mode == BatchDone;
  const BrenixInterface* brenix = BrenixInterface::Instance();
  const bool server = brenix != nullptr && brenix->serverMode;
  if (IsBatchMode() || !batchIdle || server) return true;
  return Save();
}
