#include "plugin/conversion/export_layouts.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <exception>
#include <future>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <system_error>

#include "platform/win/leftovers.h"
#include "platform/win/replacing_file.h"
#include "plugin/conversion/exporter.h"
#include "plugin/conversion/kxt_import.h"
#include "plugin/qapi/mixer_services.h"
#include "plugin/qapi/progress_bar.h"
#include "plugin/qapi/ui_host.h"
#include "support/brenix_interface.h"
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
// document to be read back, kept open (and locked) for that until the
// object goes; its name goes when the object does, or before by Remove.
// fd() is -1 when none could be made.
class CopyFile {
 public:
  CopyFile() {
    std::string name, folder;
    if (GetCurrentDocumentLocation(&name, &folder) != kXTOk) {
      failure_ = "the saved document's file spec could not be had";
      ProgramLog() << "ERROR: " << failure_ << "; it is not stored" << std::endl;
      return;
    }
    document_ = folder + kPathSeparator + name;
    fd_ = win::CreateFileBeside(document_, O_RDWR, &path_, win::kWorkingDocumentSuffix);
    if (fd_ < 0) {
      failure_ = "no file for the stored document beside \"" + document_ + "\": " + std::strerror(errno);
      ProgramLog() << "ERROR: " << failure_ << std::endl;
    }
  }
  ~CopyFile() {
    Remove();
    if (fd_ >= 0) ::close(fd_);
  }
  CopyFile(const CopyFile&) = delete;
  CopyFile& operator=(const CopyFile&) = delete;
  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  // The document's own file, beside which the copy is made.
  const std::string& document() const { return document_; }
  // Why no file could be made ("" when it was).
  const std::string& failure() const { return failure_; }
  // Removes the name; the bytes stay readable through fd().
  void Remove() {
    if (fd_ >= 0 && !removed_) ::unlink(path_.c_str());
    removed_ = true;
  }

 private:
  int fd_ = -1;
  std::string document_;
  std::string path_;
  std::string failure_;
  bool removed_ = false;
};

// The bytes of a copy, read from its descriptor in order on any thread; a
// failed read raises std::system_error naming the copy.
class CopySource final : public BX_KXT::BXInStream {
 public:
  explicit CopySource(const CopyFile& copy) : fd_(copy.fd()), path_(copy.path()) {}
  uint32_t GetData(void* buffer, uint32_t n) override {
    for (;;) {
      const ssize_t count = ::pread(fd_, buffer, n, offset_);
      if (count >= 0) {
        offset_ += count;
        return static_cast<uint32_t>(count);
      }
      if (errno != EINTR) {
        throw std::system_error(errno, std::generic_category(), "the stored document \"" + path_ + "\" cannot be read");
      }
    }
  }
  // A copy larger than the 32 bits can tell raises std::system_error
  // (EFBIG), never a length cut short.
  uint32_t Length() override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return 0;
    if (static_cast<uint64_t>(st.st_size) > UINT32_MAX) {
      throw std::system_error(EFBIG, std::generic_category(),
                              "the stored document \"" + path_ + "\" is larger than 4 GiB");
    }
    return static_cast<uint32_t>(st.st_size);
  }

 private:
  int fd_;
  std::string path_;
  off_t offset_ = 0;
};

std::string DeflateCopy(const CopyFile* copy) {
  CopySource source(*copy);
  return BX_KXT::Export::DeflateTemplate(source);
}

// Sets the progress of the stored copy (not in MultiDoc mode).
void StoreProgress(ProgressBar* progress, uint32_t value) {
  if (progress != nullptr && !BrenixInterface::Instance()->multiDocMode) progress->SetValue(value);
}

// Saves the document with the working boxes of every layout of `loop` (those
// that went after their walk made again, added to `made`) into `copy`, whose
// name then goes; whether the host saved it.
bool SaveCopyWithBoxes(QuarkDoc& document, const LayoutLoop& loop, CopyFile& copy, std::vector<XTItem>* made) {
  if (!loop.boxesRemoved.empty()) {
    const int16_t current = GetCurrentDocumentId();
    for (const int16_t id : loop.boxesRemoved) {
      MakeLayoutCurrent(document, id);
      const std::vector<XTItem> boxes = Exporter::MakeWorkingBoxes();
      made->insert(made->end(), boxes.begin(), boxes.end());
    }
    MakeLayoutCurrent(document, current);
  }
  const bool saved = copy.fd() >= 0 && document.SaveCopy(copy.path());
  copy.Remove();
  return saved;
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
    if (options.saveEachLayout && !HostFailedSince(options.failuresBefore)) {
      const int32_t saves = document->SaveCount();
      document->SaveIfInteractive();
      if (document->SaveCount() != saves) loop.savedBefore = i;
    }
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

bool SaveAfterLastLayout(QuarkDoc& document, bool close, uint32_t failuresBefore, const LayoutLoop& loop) {
  if (HostFailedSince(failuresBefore)) {
    ProgramLog() << "ERROR: " << HostFailureCause() << " during the export; the document is not saved";
    if (loop.savedBefore == 0) {
      ProgramLog() << " again and stays open (its file was saved before the first layout, without tags)";
    } else if (loop.savedBefore > 0) {
      ProgramLog() << " again and stays open (its file was saved before layout " << loop.savedBefore + 1 << " of "
                   << loop.count << ", with the tags and item ids of "
                   << (loop.savedBefore == 1 ? std::string("the first layout")
                                             : "the " + std::to_string(loop.savedBefore) + " layouts before it")
                   << ")";
    } else {
      ProgramLog() << " and stays open";
    }
    ProgramLog() << std::endl;
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
      std::optional<CopyFile> copy;
      bool saved = false;
      int32_t copyResult = kXTOk;
      if (!HostFailedSince(options.failuresBefore)) {
        copy.emplace();
        saved = SaveCopyWithBoxes(*document, layouts, *copy, &boxes);
        copyResult = document->LastSaveResult();
      }
      // The copy is compressed from its file on a thread of its own while
      // the host saves the user's document (declared after the copy, so
      // that the thread is done before the file goes).
      std::future<std::string> deflated;
      // What the export stores, its import reads: a larger copy makes no
      // container.
      std::string tooLarge;
      struct stat copyStat {};
      if (saved && ::fstat(copy->fd(), &copyStat) == 0 &&
          static_cast<uint64_t>(copyStat.st_size) > BX_KXT::kStoredDocumentMaxSize) {
        tooLarge = "the stored copy of \"" + copy->document() + "\" is " + std::to_string(copyStat.st_size) +
                   " bytes, more than its import reads (" + std::to_string(BX_KXT::kStoredDocumentMaxSize) + ")";
        saved = false;
      }
      if (saved) {
        StoreProgress(progress, 70);
        deflated = std::async(std::launch::async | std::launch::deferred, DeflateCopy, &*copy);
      }
      Exporter::DeleteWorkingBoxes(boxes);
      if (!SaveAfterLastLayout(*document, options.closeDocument, options.failuresBefore, layouts)) {
        result.saveFailed = true;
        return;
      }
      if (!saved) {
        if (!tooLarge.empty()) {
          ProgramLog() << "ERROR: " << tooLarge << "; it is not stored" << std::endl;
          result.storeFailure = tooLarge;
        } else if (copy && copy->fd() >= 0) {
          ProgramLog() << "ERROR: the document with its working boxes could not be saved; it is not stored"
                       << std::endl;
          result.storeFailure = "the document with its working boxes could not be saved to be stored (" +
                                SaveFailureText(copyResult, copy->path()) + ")";
        } else if (copy) {
          result.storeFailure = copy->failure();
        }
        result.storeFailed = true;
        return;
      }
      // A failed read of the copy is raised here, after the save.
      book->StoreDeflated(0, deflated.get());
      StoreProgress(progress, 85);
      result.stored = true;
    };
    result.layouts = ExportLayouts(document, output, uniqueIds, loop);
  }
  const PhaseClock clock(Phase(options.phases, &ExportPhases::finish));
  doc = nullptr;
  return result;
}
