#include "plugin/qapi/host_text_services.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ostream>

#include "platform/xt/xt_doc_suites.h"
#include "plugin/qapi/q_handle.h"
#include "support/host_link.h"
#include "support/host_result.h"
#include "support/program_log.h"

namespace {

// What the host's answer to opening a document means.
const char* OpenResultMeaning(int32_t result) {
  switch (result) {
    case kXTErrNotFound: return "no such file";
    case kXTErrNoFolder: return "no such folder";
    case kXTErrIo: return "the file could not be read";
    case kXTErrBadName: return "the file name is too long or empty";
    case kXTErrNotDocument: return "the file is not a host document";
    case kXTErrRefused: return "the host refused it";
    case kXTErrInjected: return "the host was told to fail";
    default: return "";
  }
}

// What the file at `path` shows of itself when it could not be opened; ""
// when it is a readable file with bytes in it.
std::string FileCheck(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    return errno == ENOENT || errno == ENOTDIR ? "the file is missing"
                                               : std::string("the file cannot be looked at: ") + std::strerror(errno);
  }
  if (!S_ISREG(info.st_mode)) return "it is not a file";
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::string("the file is unreadable: ") + std::strerror(errno);
  ::close(fd);
  return info.st_size == 0 ? "the file is empty" : "";
}

}  // namespace

void LogSourceNotOpened(const std::string& path, int32_t result) {
  const char* meaning = OpenResultMeaning(result);
  const std::string check = FileCheck(path);
  ProgramLog() << "The host cannot open \"" << path << "\": host result " << result
               << (*meaning != '\0' ? std::string(" (") + meaning + ")" : std::string())
               << (check.empty() ? std::string() : "; " + check) << std::endl;
}

int32_t FetchParagraphFormat(XTTextRef ref, int32_t index, XTParaFormatRecord* record,
                             uint16_t* word) {
  const XTTextAttributeSuite* attributes = XT().lgg2;
  if (attributes == nullptr) return kXTErrNoSuite;
  XTAttrContext context = 0;
  const int32_t result = HostCall("attribute_context", attributes->attribute_context(ref, &context));
  if (result != kXTOk) return result;
  return HostCall("paragraph_format", attributes->paragraph_format(context, index, record, word));
}

int32_t GetStoryTextNarrow(XTTextRef ref, int32_t start, int32_t count, char* out) {
  const XTStoryTextSuite* story = XT().lgf2;
  if (story == nullptr) return kXTErrNoSuite;
  if (count < 0 || count > INT32_MAX / 2) return kXTErrParam;
  QHandle block;
  int32_t result = QHandle::TryAllocate(static_cast<uint32_t>(count) * 2, &block);
  if (result != kXTOk) return result;
  char16_t* units = static_cast<char16_t*>(block.Data());
  if (units == nullptr) return kXTErrParam;
  result = HostCall("read_text", story->read_text(ref, start, count, units));
  if (result == kXTOk) {
    for (int32_t i = 0; i < count; ++i) out[i] = static_cast<char>(units[i] & 0xFF);
  }
  return result;
}

int32_t OpenDocumentFromSpec(const XTFileSpec* spec, int32_t flags) {
  const HostLink& link = XT();
  if (link.errors == nullptr || link.files == nullptr || link.documents == nullptr) {
    return kXTErrNoSuite;
  }
  if (spec == nullptr) {
    link.errors->set_error(4);
    return link.errors->current_error();
  }
  XTFile file = 0;
  int32_t status = link.files->new_file(&file);
  if (status == kXTOk) {
    status = link.files->set_file_spec(file, spec);
    if (status == kXTOk) status = link.documents->open_document(file, flags);
  }
  if (file != 0) link.files->dispose_file(file);
  link.errors->set_error(status);
  return link.errors->current_error();
}
