// What the export and import benchmarks share: a generated document open in
// a fresh in-process host, and the import of its container back into it.
#pragma once

#include <memory>
#include <string>

#include "plugin/conversion/importer.h"
#include "plugin/conversion/kxt_import.h"
#include "plugin/qapi/quark_doc.h"
#include "tests/common/log_capture.h"
#include "tests/plugin/mixer/mixer_host_util.h"

namespace bench {

// `text` open as "generated.qxp" under the plug-in's registration, with the
// program log captured while the object lives; `target` is the path of its
// container beside it.
struct OpenDocument {
  explicit OpenDocument(const std::string& text) {
    static XTRegisterRec record = xthost::MakeRegisterRec();
    XT().registration = &record;
    host.OpenText("generated.qxp", text);
    target = host.Path("generated.kxq");
  }

  MixerHost host;
  std::string target;
  LogCapture log;
};

// Imports the container at `target` into the current document as an
// unattended run does, growing overflowing boxes when `resize` (the main
// job's setting); false when a story found no box.
inline bool ImportContainer(const std::string& target, bool resize = false) {
  auto book = BX_KXT::Import::OpenImportBook(target.c_str());
  auto container = book->OpenDoc(0);
  const RefHandle<QuarkDoc> document = RefHandle<QuarkDoc>::Adopt(new QuarkDoc());
  std::unique_ptr<Importer> importer = CreateImporter(document, container, resize, true, false, true);
  importer->Run();
  return !importer->StoryWithoutBox();
}

}  // namespace bench
