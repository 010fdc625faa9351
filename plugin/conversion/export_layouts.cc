#include "plugin/conversion/export_layouts.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <exception>
#include <future>
#include <memory>
#include <ostream>
#include <string>

#include "platform/win/replacing_file.h"
#include "plugin/conversion/exporter.h"
#include "plugin/conversion/qxp_writer.h"
#include "plugin/qapi/mixer_services.h"
#include "plugin/qapi/ui_host.h"
#include "support/host_file_spec.h"
#include "support/host_link.h"
#include "support/host_result.h"
#include "support/paths.h"
#include "support/program_log.h"

namespace {

constexpr uint32_t kWebLayoutType = 0x5857'4542;  // 'XWEB'

// Adds the seconds of its lifetime to *total (when given).
class PhaseClock {
 public:
  explicit PhaseClock(double* total) : total_(total) {}
  ~PhaseClock() {
    if (total_ != nullptr) {
      *total_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }
  }
  PhaseClock(const PhaseClock&) = delete;
  PhaseClock& operator=(const PhaseClock&) = delete;

 private:
  double* total_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

double* Phase(ExportPhases* phases, double ExportPhases::*phase) {
  return phases != nullptr ? &(phases->*phase) : nullptr;
}

// Makes the document id `id` current on the wrapper and in the host.
void MakeLayoutCurrent(QuarkDoc& document, int16_t id) {
  document.documentId = id;
  document.MakeCurrent();
}

// Makes the first layout current again when the loop ends, however it ends.
class InitialLayout {
 public:
  explicit InitialLayout(QuarkDoc& document) : document_(document), id_(GetCurrentDocumentId()) {}
  ~InitialLayout() { MakeLayoutCurrent(document_, id_); }
  InitialLayout(const InitialLayout&) = delete;
  InitialLayout& operator=(const InitialLayout&) = delete;
  int16_t id() const { return id_; }

 private:
  QuarkDoc& document_;
  int16_t id_;
};

// Deletes the output's exporter when the layout is done, however it ends;
// while an exception unwinds, a second one from the exporter is dropped.
class ExporterScope {
 public:
  explicit ExporterScope(LayoutOutput& output) : output_(output) {}
  ~ExporterScope() noexcept(false) {
    if (std::uncaught_exceptions() == unwinding_) {
      output_.Release();
      return;
    }
    try {
      output_.Release();
    } catch (...) {
    }
  }
  ExporterScope(const ExporterScope&) = delete;
  ExporterScope& operator=(const ExporterScope&) = delete;

 private:
  LayoutOutput& output_;
  int unwinding_ = std::uncaught_exceptions();
};

void RunExporter(Exporter& exporter) { exporter.Run(); }

// Deletes the working boxes the loop kept when it ends before afterLast
// took care of them, however it ends.
class KeptWorkingBoxes {
 public:
  explicit KeptWorkingBoxes(const LayoutLoop& loop) : loop_(loop) {}
  ~KeptWorkingBoxes() {
    if (active_) Exporter::DeleteWorkingBoxes(loop_.workingBoxes);
  }
  KeptWorkingBoxes(const KeptWorkingBoxes&) = delete;
  KeptWorkingBoxes& operator=(const KeptWorkingBoxes&) = delete;
  void Disarm() { active_ = false; }

 private:
  const LayoutLoop& loop_;
  bool active_ = true;
};

// A new empty file beside the current document's file, for a copy of the
// document to be read back; removed when the object goes.  path() is empty
// when none could be made.
class CopyFile {
 public:
  CopyFile() {
    std::string name, folder;
    if (GetCurrentDocumentLocation(&name, &folder) != kXTOk) {
      ProgramLog() << "ERROR: the saved document's file spec could not be had; it is not stored" << std::endl;
      return;
    }
    const int fd = win::CreateFileBeside(folder + kPathSeparator + name, O_WRONLY, &path_);
    if (fd < 0) {
      ProgramLog() << "ERROR: no file for the stored document beside \"" << folder << kPathSeparator << name
                   << "\": " << std::strerror(errno) << std::endl;
      path_.clear();
      return;
    }
    ::close(fd);
  }
  ~CopyFile() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  CopyFile(const CopyFile&) = delete;
  CopyFile& operator=(const CopyFile&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Every byte of `source`.
std::string ReadAll(BX_KXT::BXInStream& source) {
  std::string bytes;
  bytes.reserve(source.Length());
  char buffer[1 << 16];
  while (const uint32_t n = source.GetData(buffer, sizeof buffer)) bytes.append(buffer, n);
  return bytes;
}

// A copy of the document saved for the container.
struct SavedCopy {
  bool fileMade = false;           // a file for it could be made
  bool saved = false;              // the host saved it there and named it
  std::string bytes;               // what was read back
  std::exception_ptr readFailure;  // raised by a read that failed
};

// Saves the document with the working boxes of every layout of `loop` (those
// that went after their walk made again, added to `made`) into a file beside
// it, reads that back through the host and removes it.
SavedCopy SaveAndReadCopy(QuarkDoc& document, const LayoutLoop& loop, ProgressBar* progress,
                          std::vector<XTItem>* made) {
  SavedCopy result;
  const CopyFile copy;
  result.fileMade = !copy.path().empty();
  if (!loop.boxesRemoved.empty()) {
    const int16_t current = GetCurrentDocumentId();
    for (const int16_t id : loop.boxesRemoved) {
      MakeLayoutCurrent(document, id);
      const std::vector<XTItem> boxes = Exporter::MakeWorkingBoxes();
      made->insert(made->end(), boxes.begin(), boxes.end());
    }
    MakeLayoutCurrent(document, current);
  }
  XTFileSpec spec{};
  result.saved = result.fileMade && document.SaveCopy(copy.path()) &&
                 xt_fsmakefsspec(0, 0, copy.path(), spec, true, false, false, nullptr, 0, false, nullptr) == kXTOk;
  if (!result.saved) return result;
  try {
    Writer writer(spec, progress);
    result.bytes = ReadAll(writer);
  } catch (...) {
    result.readFailure = std::current_exception();
  }
  return result;
}

// One Exporter per layout, writing into the container document.
using KxtLayouts = ExporterLayouts<Exporter, BX_KXT::Export::Ref<BX_KXT::Export::IDoc>, RunExporter>;

}  // namespace

LayoutLoop ExportLayouts(const RefHandle<QuarkDoc>& document, LayoutOutput& output,
                         std::set<int32_t>* uniqueIds, const LayoutLoopOptions& options) {
  LayoutLoop loop;
  KeptWorkingBoxes keptBoxes(loop);
  const InitialLayout initial(*document);
  const XTLayoutSuite* layouts = XT().lgk2;
  const XTProject project = QueryCurrentDocument();
  if (layouts == nullptr || HostCall("layout_count", layouts->layout_count(project, &loop.count)) != kXTOk) {
    loop.count = 0;
  }
  for (int32_t i = 0; i < loop.count; ++i) {
    XTLayout layout = 0;
    int16_t id = 0;
    if (HostCall("layout_at", layouts->layout_at(project, i, &layout)) != kXTOk ||
        HostCall("layout_document", layouts->layout_document(layout, &id)) != kXTOk) {
      break;
    }
    if (options.saveEachLayout && !HostFailedSince(options.failuresBefore)) document->SaveIfInteractive();
    MakeLayoutCurrent(*document, id);
    const ExporterScope scope(output);
    bool made = false;
    {
      const PhaseClock clock(Phase(options.phases, &ExportPhases::analysis));
      made = output.Create(document, uniqueIds);
    }
    if (!made) {
      loop.invalid = true;
      break;
    }
    uint32_t type = 0;
    const int32_t kind =
        id == initial.id() ? Exporter::kCurrentLayout
        : HostCall("layout_type", layouts->layout_type(layout, &type)) == kXTOk && type == kWebLayoutType
            ? Exporter::kWebLayout
            : Exporter::kPrintLayout;
    // Boxes kept through a save before the next layout would be saved
    // with the user's document.
    const bool removeBoxes = !options.keepWorkingBoxes || (options.saveEachLayout && i < loop.count - 1);
    if (removeBoxes) loop.boxesRemoved.push_back(id);
    {
      const PhaseClock clock(Phase(options.phases, &ExportPhases::walk));
      loop.maxUniqueId = std::max(loop.maxUniqueId, output.Run(kind, i, removeBoxes));
    }
    if (!removeBoxes) {
      const std::vector<XTItem> boxes = output.WorkingBoxes();
      loop.workingBoxes.insert(loop.workingBoxes.end(), boxes.begin(), boxes.end());
    }
    ++loop.written;
    if (i == loop.count - 1) {
      MakeLayoutCurrent(*document, initial.id());
      if (options.afterLast) {
        keptBoxes.Disarm();
        options.afterLast(loop.maxUniqueId, output.Progress(), loop);
      }
    }
  }
  return loop;
}

bool SaveAfterLastLayout(QuarkDoc& document, bool close, uint32_t failuresBefore) {
  if (HostFailedSince(failuresBefore)) {
    ProgramLog() << "ERROR: a host call failed during the export; the document is not saved and stays open"
                 << std::endl;
    return false;
  }
  if (!document.Save()) {
    ProgramLog() << "ERROR: the document could not be saved after its last layout; it stays open"
                 << std::endl;
    return false;
  }
  if (close) document.windowFlag = true;
  return true;
}

KxtBookResult WriteKxtBook(const RefHandle<QuarkDoc>& document,
                           const BX_KXT::Export::Ref<BX_KXT::Export::IBook>& book,
                           std::set<int32_t>* uniqueIds, const KxtBookOptions& options) {
  using namespace BX_KXT::Export;
  KxtBookResult result;
  book->AddAttr(u"source_data_type", GetVersionString().c_str());
  Ref<IDoc> doc = book->NewDocument(0);
  doc->AddAttr(u"source_platform", document->PlatformFlag() ? u"mac" : u"win");
  {
    KxtLayouts output(doc);
    LayoutLoopOptions loop;
    loop.saveEachLayout = options.saveEachLayout;
    loop.failuresBefore = options.failuresBefore;
    loop.phases = options.phases;
    loop.keepWorkingBoxes = true;
    loop.afterLast = [&](int32_t maxUniqueId, ProgressBar* progress, const LayoutLoop& layouts) {
      const std::string text = std::to_string(maxUniqueId);
      book->AddAttr(u"maxuniqID", std::u16string(text.begin(), text.end()).c_str());
      const PhaseClock clock(Phase(options.phases, &ExportPhases::store));
      // The stored copy carries the working boxes, tagged -1 and -2, and
      // an import of it copies its probes from them; the user's document
      // is saved without them.
      std::vector<XTItem> boxes = layouts.workingBoxes;
      SavedCopy copy;
      if (!HostFailedSince(options.failuresBefore)) copy = SaveAndReadCopy(*document, layouts, progress, &boxes);
      // The copy is compressed on a thread of its own while the host saves
      // the user's document.
      std::future<std::string> deflated;
      if (copy.saved && !copy.readFailure) {
        deflated = std::async(std::launch::async | std::launch::deferred, BX_KXT::Export::DeflateTemplate,
                              std::cref(copy.bytes));
      }
      Exporter::DeleteWorkingBoxes(boxes);
      if (!SaveAfterLastLayout(*document, options.closeDocument, options.failuresBefore)) {
        result.saveFailed = true;
        return;
      }
      if (!copy.saved) {
        if (copy.fileMade) {
          ProgramLog() << "ERROR: the document with its working boxes could not be saved; it is not stored"
                       << std::endl;
        }
        result.storeFailed = true;
        return;
      }
      if (copy.readFailure) std::rethrow_exception(copy.readFailure);
      book->StoreDeflated(0, deflated.get());
      result.stored = true;
    };
    result.layouts = ExportLayouts(document, output, uniqueIds, loop);
  }
  const PhaseClock clock(Phase(options.phases, &ExportPhases::finish));
  doc = nullptr;
  return result;
}
