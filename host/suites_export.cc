// Bound tables of the export: a file's bytes by file spec (XFRd), colour
// queries of the current document (XCLq) and the text export filters
// (XTXf).
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include <sys/stat.h>

#include "host/document_ops.h"
#include "host/host.h"
#include "host/suite_tables.h"
#include "host/text_export.h"
#include "platform/win/replacing_file.h"
#include "platform/xt/xt_layout_suites.h"

namespace xthost {
namespace {

// --- XFRd ---

struct CloseFile {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// The buffer of a file opened for reading: readers take a document in
// small pieces, and fewer, larger reads serve them.
constexpr std::size_t kReadBuffer = 64 * 1024;

// An open file and the buffer it reads through (closed before the buffer
// goes).
struct OpenedFile {
  std::unique_ptr<char[]> buffer;
  std::unique_ptr<std::FILE, CloseFile> file;
};

// Files opened, by reference (from 1).
std::map<int16_t, OpenedFile>& OpenFiles() {
  static std::map<int16_t, OpenedFile> files;
  return files;
}

std::FILE* FileOf(int16_t file) {
  auto found = OpenFiles().find(file);
  return found == OpenFiles().end() ? nullptr : found->second.file.get();
}

int32_t OpenFile(int16_t volume, int32_t folder, const char* name, int32_t permission, int16_t* file) {
  Host& host = Host::Current();
  if (host.Fails("open_file")) return kXTErrInjected;
  if (name == nullptr || file == nullptr || (permission != 1 && permission != 2)) return kXTErrParam;
  std::string path;
  const int32_t result = host.folders().FullPath(volume, folder, name, &path);
  if (result != kXTOk) return result;
  // Writing needs a file that is there already (XTFileSuite::create_file).
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return kXTErrNotFound;
  OpenedFile opened;
  opened.file.reset(std::fopen(path.c_str(), permission == 1 ? "rb" : "wb"));
  if (!opened.file) return kXTErrNotFound;
  if (permission == 1) {
    opened.buffer = std::make_unique<char[]>(kReadBuffer);
    std::setvbuf(opened.file.get(), opened.buffer.get(), _IOFBF, kReadBuffer);
  }
  int16_t id = 1;
  while (OpenFiles().count(id) != 0) ++id;
  OpenFiles()[id] = std::move(opened);
  *file = id;
  return kXTOk;
}

int32_t ReadFile(int16_t file, int32_t* count, void* buffer) {
  Host& host = Host::Current();
  if (count == nullptr) return kXTErrParam;
  const int32_t wanted = *count;
  *count = 0;
  if (host.Fails("read_file")) return kXTErrInjected;
  std::FILE* f = FileOf(file);
  if (f == nullptr || wanted < 0 || (wanted > 0 && buffer == nullptr)) return kXTErrParam;
  const std::size_t got = std::fread(buffer, 1, static_cast<std::size_t>(wanted), f);
  *count = static_cast<int32_t>(got);
  if (got < static_cast<std::size_t>(wanted)) return std::ferror(f) ? kXTErrIo : kXTErrEndOfFile;
  return kXTOk;
}

int32_t FileLength(int16_t file, int32_t* length) {
  Host& host = Host::Current();
  if (host.Fails("file_length")) return kXTErrInjected;
  std::FILE* f = FileOf(file);
  if (f == nullptr || length == nullptr) return kXTErrParam;
  const long at = std::ftell(f);
  if (at < 0 || std::fseek(f, 0, SEEK_END) != 0) return kXTErrIo;
  const long end = std::ftell(f);
  std::fseek(f, at, SEEK_SET);
  if (end < 0 || end > INT32_MAX) return kXTErrIo;
  *length = static_cast<int32_t>(end);
  return kXTOk;
}

int32_t CloseFileRef(int16_t file) {
  Host& host = Host::Current();
  if (host.Fails("close_file")) return kXTErrInjected;
  return OpenFiles().erase(file) == 1 ? kXTOk : kXTErrParam;
}

// The most bytes one write takes, so that writers loop as on the host.
constexpr int32_t kWriteChunk = 64 * 1024;

int32_t WriteFile(int16_t file, int32_t* count, const void* buffer) {
  Host& host = Host::Current();
  if (count == nullptr) return kXTErrParam;
  const int32_t wanted = *count;
  *count = 0;
  if (host.Fails("write_file")) return kXTErrInjected;
  std::FILE* f = FileOf(file);
  if (f == nullptr || wanted < 0 || (wanted > 0 && buffer == nullptr)) return kXTErrParam;
  const std::size_t take = static_cast<std::size_t>(std::min(wanted, kWriteChunk));
  const std::size_t put = std::fwrite(buffer, 1, take, f);
  *count = static_cast<int32_t>(put);
  if (put == take && std::fflush(f) == 0) return kXTOk;
  // The host's one result for no space left on the disk or in the user's
  // quota.
  return errno == ENOSPC || errno == EDQUOT ? kXTErrDiskFull : kXTErrIo;
}

// --- XCLq ---

const Color* ColorOf(uint16_t id) {
  DocumentContent* content = CurrentContent(Host::Current());
  if (content == nullptr) return nullptr;
  for (const Color& color : content->colors) {
    if (color.id == id) return &color;
  }
  return nullptr;
}

int32_t HasColorTable(uint8_t* answer) {
  Host& host = Host::Current();
  if (host.Fails("has_color_table")) return kXTErrInjected;
  if (answer == nullptr) return kXTErrParam;
  DocumentContent* content = CurrentContent(host);
  if (content == nullptr) return kXTErrNoDocument;
  *answer = content->colors.empty() ? 0 : 1;
  return kXTOk;
}

int32_t ColorReference(uint16_t id, uint32_t* model, char* text, int32_t capacity) {
  Host& host = Host::Current();
  if (host.Fails("color_reference")) return 0;
  const Color* color = ColorOf(id);
  if (color == nullptr || model == nullptr || text == nullptr || capacity < 1) return 0;
  uint32_t code = 0;
  for (std::size_t i = 0; i < 4 && i < color->model.size(); ++i) {
    code |= static_cast<uint32_t>(static_cast<unsigned char>(color->model[i])) << (8 * i);
  }
  *model = code;
  // The model's name: its characters without the host's leading 'Q'.
  std::string name = color->model;
  if (!name.empty() && name[0] == 'Q') name.erase(0, 1);
  const std::size_t n = std::min(name.size(), static_cast<std::size_t>(capacity - 1));
  std::memcpy(text, name.data(), n);
  text[n] = '\0';
  return 1;
}

int32_t ColorName(uint16_t id, XTString* name) {
  Host& host = Host::Current();
  if (host.Fails("color_name")) return kXTErrInjected;
  if (name == nullptr) return kXTErrParam;
  const Color* color = ColorOf(id);
  if (color == nullptr || color->name.empty()) return kXTErrNotFound;
  *name = host.strings.Add(color->name);
  return kXTOk;
}

int32_t FindRgbColor(uint32_t rgb, int32_t* id) {
  Host& host = Host::Current();
  if (host.Fails("find_rgb_color")) return kXTErrInjected;
  if (id == nullptr) return kXTErrParam;
  DocumentContent* content = CurrentContent(host);
  if (content == nullptr) return kXTErrNoDocument;
  for (const Color& color : content->colors) {
    if (color.model == "QRGB" && color.value == (rgb & 0xFFFFFF)) {
      *id = color.id;
      return kXTOk;
    }
  }
  return kXTNoColor;
}

// --- XTXf ---

// The filters by id: 1 the tagged text, 2 the plain text.
const char16_t* const kFilterNames[] = {u"XPress Tags", u"Plain Text"};
constexpr XTExportFilter kFilterCount = 2;
constexpr uint32_t kExportOptions = kXTExportHeader | kXTExportToWriter;
constexpr size_t kExportChunk = 4096;

int32_t FirstFilter(XTExportFilter* filter) {
  Host& host = Host::Current();
  if (host.Fails("first_filter")) return kXTErrInjected;
  if (filter == nullptr) return kXTErrParam;
  *filter = 1;
  return kXTOk;
}

int32_t NextFilter(XTExportFilter filter, XTExportFilter* next) {
  Host& host = Host::Current();
  if (host.Fails("next_filter")) return kXTErrInjected;
  if (next == nullptr || filter < 1 || filter > kFilterCount) return kXTErrParam;
  *next = filter < kFilterCount ? filter + 1 : 0;
  return kXTOk;
}

int32_t FilterName(XTExportFilter filter, XTString* name) {
  Host& host = Host::Current();
  if (host.Fails("filter_name")) return kXTErrInjected;
  if (name == nullptr || filter < 1 || filter > kFilterCount) return kXTErrParam;
  *name = host.strings.Add(kFilterNames[filter - 1]);
  return kXTOk;
}

int32_t SetExportWriter(XTExportWriter writer, XTExportWriter* previous) {
  Host& host = Host::Current();
  if (host.Fails("set_export_writer")) return kXTErrInjected;
  if (previous != nullptr) *previous = host.export_writer;
  host.export_writer = writer;
  return kXTOk;
}

int32_t ExportStory(int32_t story, XTExportFilter filter, const XTFileSpec* spec, uint32_t options,
                    XTString encoding) {
  Host& host = Host::Current();
  if (host.Fails("export_story")) return kXTErrInjected;
  const std::u16string* encodingName = host.strings.Find(encoding);
  const int32_t code = encodingName != nullptr ? TextEncodingNamed(*encodingName) : 0;
  if (filter < 1 || filter > kFilterCount || code == 0 || (options & ~kExportOptions) != 0) return kXTErrParam;
  DocumentContent* content = CurrentContent(host);
  if (content == nullptr) return kXTErrNoDocument;
  const Story* found = content->FindStory(story);
  if (found == nullptr) return kXTErrParam;
  const std::string bytes = filter == 1 ? TagNotation(*content, *found, code, (options & kXTExportHeader) != 0)
                                        : PlainText(*found, code);
  if ((options & kXTExportToWriter) != 0 && host.export_writer != nullptr) {
    for (size_t at = 0; at < bytes.size(); at += kExportChunk) {
      const int32_t count = static_cast<int32_t>(std::min(kExportChunk, bytes.size() - at));
      if (host.export_writer(bytes.data() + at, &count) != 0) return kXTErrIo;
    }
    return kXTOk;
  }
  if (spec == nullptr || spec->name[0] == '\0') return kXTErrBadName;
  std::string path;
  const int32_t result = host.folders().FullPath(spec->volume, spec->folder, spec->name, &path);
  if (result != kXTOk) return result;
  win::ReplacingFile file(path);
  return file.Write(bytes.data(), bytes.size()) && file.Commit() ? kXTOk : kXTErrIo;
}

}  // namespace

const XTTextExportSuite kTextExportSuite = {kXTTableXTXf, FirstFilter, NextFilter, FilterName, SetExportWriter,
                                            ExportStory};
const XTFileDataSuite kFileDataSuite = {kXTTableXFRd, OpenFile,     ReadFile,
                                        FileLength,   CloseFileRef, WriteFile};
const XTColorQuerySuite kColorQuerySuite = {kXTTableXCLq, HasColorTable, ColorReference, ColorName,
                                            FindRgbColor};

}  // namespace xthost
