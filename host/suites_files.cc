// Suites of files and documents: file objects and specs, specs in a folder,
// documents, projects, the module service and value notes.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host/document_ops.h"
#include "host/host.h"
#include "host/suite_tables.h"
#include "host/utf.h"

namespace xthost {
namespace {

std::string BaseName(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The name field of a spec; false when it has no terminator.
bool SpecName(const XTFileSpec& spec, std::string* name) {
  const std::size_t length = strnlen(spec.name, sizeof spec.name);
  if (length == sizeof spec.name) return false;
  name->assign(spec.name, length);
  return true;
}

// The text of a host string in the narrow encoding.
bool Narrow(Host& host, XTString string, std::string* text) {
  const std::u16string* units = host.strings.Find(string);
  return units != nullptr && Utf16ToUtf8(*units, text);
}

// --- XFJj: file objects and file specs ---

int32_t NewFile(XTFile* file) {
  Host& host = Host::Current();
  if (host.Fails("new_file")) return kXTErrInjected;
  if (file == nullptr) return kXTErrParam;
  *file = host.files.Add(FileObject());
  return kXTOk;
}

int32_t DisposeFile(XTFile file) {
  Host& host = Host::Current();
  if (host.Fails("dispose_file")) return kXTErrInjected;
  return host.files.Remove(file) ? kXTOk : kXTErrParam;
}

int32_t SetFilePath(XTFile file, XTString path, uint32_t type) {
  Host& host = Host::Current();
  if (host.Fails("set_file_path")) return kXTErrInjected;
  FileObject* object = host.files.Find(file);
  std::string text;
  if (object == nullptr || !Narrow(host, path, &text)) return kXTErrParam;
  if (text.empty()) return kXTErrBadName;
  object->path = FolderTable::Absolute(text);
  object->type = type;
  return kXTOk;
}

int32_t SetFileSpec(XTFile file, const XTFileSpec* spec) {
  Host& host = Host::Current();
  if (host.Fails("set_file_spec")) return kXTErrInjected;
  FileObject* object = host.files.Find(file);
  std::string name;
  if (object == nullptr || spec == nullptr) return kXTErrParam;
  if (!SpecName(*spec, &name)) return kXTErrBadName;
  std::string path;
  const int32_t result = host.folders().FullPath(spec->volume, spec->folder, name, &path);
  if (result != kXTOk) return result;
  object->path = path;
  return kXTOk;
}

int32_t FileSpecOf(XTFile file, XTFileSpec* spec) {
  Host& host = Host::Current();
  if (host.Fails("file_spec")) return kXTErrInjected;
  const FileObject* object = host.files.Find(file);
  if (object == nullptr || spec == nullptr || object->path.empty()) return kXTErrParam;
  // The location need not exist: its spec is made all the same.
  const int32_t result = host.folders().MakeSpec(0, 0, object->path, spec);
  return result == kXTErrNotFound ? kXTOk : result;
}

int32_t FileName(XTFile file, XTString* name) {
  Host& host = Host::Current();
  if (host.Fails("file_name")) return kXTErrInjected;
  const FileObject* object = host.files.Find(file);
  if (object == nullptr || name == nullptr) return kXTErrParam;
  std::u16string units;
  if (!Utf8ToUtf16(BaseName(object->path), &units)) return kXTErrParam;
  *name = host.strings.Add(std::move(units));
  return kXTOk;
}

int32_t TempFolder(XTFile file) {
  Host& host = Host::Current();
  if (host.Fails("temp_folder")) return kXTErrInjected;
  FileObject* object = host.files.Find(file);
  if (object == nullptr) return kXTErrParam;
  object->path = host.app().temp_folder;
  object->type = 0;
  return kXTOk;
}

int32_t FileExists(XTFile file, uint8_t* exists) {
  Host& host = Host::Current();
  if (host.Fails("file_exists")) return kXTErrInjected;
  const FileObject* object = host.files.Find(file);
  if (object == nullptr || exists == nullptr || object->path.empty()) return kXTErrParam;
  struct stat st;
  *exists = ::lstat(object->path.c_str(), &st) == 0 ? 1 : 0;
  return kXTOk;
}

int32_t CreateFile(XTFile file, uint32_t, int32_t) {
  Host& host = Host::Current();
  if (host.Fails("create_file")) return kXTErrInjected;
  const FileObject* object = host.files.Find(file);
  if (object == nullptr || object->path.empty()) return kXTErrParam;
  if (BaseName(object->path).size() > 255) return kXTErrBadName;
  const int fd = ::open(object->path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    if (errno == EEXIST) return kXTErrDuplicate;
    if (errno == ENOENT || errno == ENOTDIR) return kXTErrNoFolder;
    return kXTErrIo;
  }
  ::close(fd);
  return kXTOk;
}

int32_t DeleteFile(XTFile file) {
  Host& host = Host::Current();
  if (host.Fails("delete_file")) return kXTErrInjected;
  const FileObject* object = host.files.Find(file);
  if (object == nullptr || object->path.empty()) return kXTErrParam;
  struct stat st;
  if (::lstat(object->path.c_str(), &st) != 0) return kXTErrNotFound;
  if (S_ISDIR(st.st_mode)) return kXTErrParam;  // files only
  return ::unlink(object->path.c_str()) == 0 ? kXTOk : kXTErrIo;
}

int32_t SetFileValue(XTFile file, int32_t value) {
  Host& host = Host::Current();
  if (host.Fails("set_file_value")) return kXTErrInjected;
  FileObject* object = host.files.Find(file);
  if (object == nullptr) return kXTErrParam;
  object->value = value;
  return kXTOk;
}

int32_t FileValue(XTFile file, int32_t* value) {
  Host& host = Host::Current();
  if (host.Fails("file_value")) return kXTErrInjected;
  const FileObject* object = host.files.Find(file);
  if (object == nullptr || value == nullptr) return kXTErrParam;
  *value = object->value;
  return kXTOk;
}

int32_t SetFileInfo(XTFile file, int32_t second, int32_t first) {
  Host& host = Host::Current();
  if (host.Fails("set_file_info")) return kXTErrInjected;
  const FileObject* object = host.files.Find(file);
  if (object == nullptr || object->path.empty()) return kXTErrParam;
  struct stat st;
  if (::stat(object->path.c_str(), &st) != 0) return kXTErrNotFound;
  host.transcript().Line("file info " + Transcript::Quote(BaseName(object->path)) + " " +
                         std::to_string(first) + " " + std::to_string(second));
  return kXTOk;
}

int32_t MakeSpec(int16_t volume, int32_t folder, const char* path, XTFileSpec* spec) {
  Host& host = Host::Current();
  if (host.Fails("make_spec")) return kXTErrInjected;
  if (path == nullptr || spec == nullptr) return kXTErrParam;
  return host.folders().MakeSpec(volume, folder, path, spec);
}

int32_t FullPath(int16_t volume, int32_t folder, XTString name, XTPath path) {
  Host& host = Host::Current();
  if (host.Fails("full_path")) return kXTErrInjected;
  const PathObject* object = host.paths.Find(path);
  std::string text;
  if (object == nullptr || !Narrow(host, name, &text)) return kXTErrParam;
  std::string full;
  const int32_t result = host.folders().FullPath(volume, folder, text, &full);
  if (result != kXTOk) return result;
  std::u16string units;
  if (!Utf8ToUtf16(full, &units)) return kXTErrParam;
  *host.strings.Find(object->text) = std::move(units);
  return kXTOk;
}

int32_t ApplicationFolder(XTFile file) {
  Host& host = Host::Current();
  if (host.Fails("application_folder")) return kXTErrInjected;
  FileObject* object = host.files.Find(file);
  if (object == nullptr) return kXTErrParam;
  object->path = host.app().application_folder;
  object->type = 0;
  host.transcript().Line("file application folder " + Transcript::Quote(BaseName(object->path)));
  return kXTOk;
}

int32_t ResolveName(XTFile file, XTString name) {
  Host& host = Host::Current();
  if (host.Fails("resolve_name")) return kXTErrInjected;
  FileObject* object = host.files.Find(file);
  std::string text;
  if (object == nullptr || object->path.empty() || !Narrow(host, name, &text)) return kXTErrParam;
  if (text.empty() || text[0] == '/') return kXTErrBadName;
  object->path = FolderTable::Absolute(object->path + "/" + text);
  host.transcript().Line("file resolve " + Transcript::Quote(text));
  return kXTOk;
}

// --- XMFe: specs in a folder ---

int32_t MakeSpecInFolder(int16_t volume, int32_t folder, const char* name, XTFileSpec* spec) {
  Host& host = Host::Current();
  if (host.Fails("make_spec_in_folder")) return kXTErrInjected;
  if (name == nullptr || spec == nullptr) return kXTErrParam;
  if (name[0] == '/') return kXTErrBadName;  // names are relative to the folder
  return host.folders().MakeSpec(volume, folder, name, spec);
}

int32_t ReleaseFileValue(int32_t reserved, int32_t value) {
  Host& host = Host::Current();
  if (host.Fails("release_file_value")) return kXTErrInjected;
  host.transcript().Line("file value released " + std::to_string(reserved) + " " +
                         std::to_string(value));
  return kXTOk;
}

// --- XDDg: documents ---

// Reads the document file (host/doc_json.h); a file that is not a document
// does not open.
int32_t OpenDocument(XTFile file, int32_t flags) {
  Host& host = Host::Current();
  if (host.Fails("open_document")) return kXTErrInjected;
  const FileObject* object = host.files.Find(file);
  if (object == nullptr || object->path.empty()) return kXTErrParam;
  std::string error;
  return OpenDocumentFile(host, object->path, flags, nullptr, &error);
}

int32_t DocumentObject(int16_t id, int32_t* object) {
  Host& host = Host::Current();
  if (host.Fails("document_object")) return kXTErrInjected;
  if (object == nullptr || host.app().FindLayoutDocument(id, nullptr) == nullptr) return kXTErrParam;
  *object = id;
  return kXTOk;
}

int32_t MarkDocumentChanged(int32_t object, int32_t value) {
  Host& host = Host::Current();
  if (host.Fails("mark_document_changed")) return kXTErrInjected;
  Document* document = host.app().FindLayoutDocument(object, nullptr);
  if (document == nullptr || document->content == nullptr) return kXTErrParam;
  if (value != 1) return kXTOk;
  DocumentContent& content = *document->content;
  if (static_cast<std::size_t>(content.current_layout) < content.layouts.size()) {
    content.layouts[static_cast<std::size_t>(content.current_layout)].modified = true;
  }
  content.flags |= 2;
  host.transcript().Line("document " + std::to_string(document->id) + " marked changed");
  return kXTOk;
}

// --- XPJc: projects ---

int32_t CurrentProject(XTProject* project) {
  Host& host = Host::Current();
  if (host.Fails("current_project")) return kXTErrInjected;
  if (project == nullptr) return kXTErrParam;
  if (host.app().current_document == 0) return kXTErrNoDocument;
  *project = host.app().current_document;
  return kXTOk;
}

int32_t CloseProject(XTProject project, int32_t mode) {
  Host& host = Host::Current();
  if (host.Fails("close_project")) return kXTErrInjected;
  const Document* document = host.app().FindDocument(project);
  if (document == nullptr) return kXTErrParam;
  if (mode != kXTCloseDiscard && mode != kXTCloseSave) return kXTErrRefused;
  host.transcript().Line("close document " + std::to_string(project) + " " +
                         Transcript::Quote(BaseName(document->path)) + " mode " +
                         std::to_string(mode));
  host.app().CloseDocument(project);
  return kXTOk;
}

// --- XMDs: the module service ---

int32_t OpenModule(const void* module, int32_t flags, XTModule* handle) {
  Host& host = Host::Current();
  if (host.Fails("open_module")) return kXTErrInjected;
  Dl_info info{};
  if (handle == nullptr || module == nullptr || dladdr(module, &info) == 0 ||
      info.dli_fbase != module) {
    return kXTErrParam;
  }
  *handle = host.modules.Add(module);
  host.transcript().Line("module open " + std::to_string(*handle) + " " + std::to_string(flags));
  return kXTOk;
}

int32_t CloseModule(XTModule handle) {
  Host& host = Host::Current();
  if (host.Fails("close_module")) return kXTErrInjected;
  if (!host.modules.Remove(handle)) return kXTErrParam;
  host.transcript().Line("module close " + std::to_string(handle));
  return kXTOk;
}

// --- XCMe: value notes ---

int32_t NoteValues(int32_t first, int32_t second, int32_t third, int32_t fourth) {
  Host& host = Host::Current();
  if (host.Fails("note_values")) return kXTErrInjected;
  host.transcript().Line("note " + std::to_string(first) + " " + std::to_string(second) + " " +
                         std::to_string(third) + " " + std::to_string(fourth));
  return kXTOk;
}

}  // namespace

const XTFileSuite kFileSuite = {
    kXTTableXFJj, NewFile,     DisposeFile, SetFilePath, SetFileSpec, FileSpecOf,
    FileName,     TempFolder,  FileExists,  CreateFile,  DeleteFile,  SetFileValue,
    FileValue,    SetFileInfo, MakeSpec,    FullPath,    ApplicationFolder, ResolveName,
};
const XTFolderSpecSuite kFolderSpecSuite = {kXTTableXMFe, MakeSpecInFolder, ReleaseFileValue};
const XTDocumentSuite kDocumentSuite = {kXTTableXDDg, OpenDocument, DocumentObject,
                                        MarkDocumentChanged};
const XTProjectSuite kProjectSuite = {kXTTableXPJc, CurrentProject, CloseProject};
const XTModuleSuite kModuleSuite = {kXTTableXMDs, OpenModule, CloseModule};
const XTNoteSuite kNoteSuite = {kXTTableXCMe, NoteValues};

}  // namespace xthost
