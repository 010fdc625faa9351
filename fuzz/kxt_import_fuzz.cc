// Fuzzes the import facade and the import plan: arbitrary bytes opened as a
// container (see container_input.h), then every document, story, paragraph
// and run opened and read to its end, attributes looked up, each story's
// plan built and the stored host documents inflated.  Only the framework's
// failures may come out.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "framework/failures.h"
#include "fuzz/container_input.h"
#include "plugin/conversion/import_anchors.h"
#include "plugin/conversion/kxt_import.h"
#include "support/error_record.h"

namespace {

using namespace BX_KXT::Import;

// Stops a stored document that inflates beyond reason.
struct TooLong {};

class Sink : public BX_KXT::BXOutStream {
 public:
  void PutData(const void*, uint32_t n) override {
    if (n > 1024) __builtin_trap();
    total_ += n;
    if (total_ > (4u << 20)) throw TooLong();
  }

 private:
  uint32_t total_ = 0;
};

void ReadRun(IRun& run) {
  int32_t unit[3] = {};
  for (int i = 0; i < (1 << 16) && run.Read(unit); ++i) {
  }
  run.GetString(unit[0]);
  run.StyleRef();
  std::u16string text;
  if (run.Kind() == kRunMultibytes) ReadMultibytesText(run, text);
}

void Walk(IBook& book) {
  for (int32_t d = 0; d < 4; ++d) {
    Ref<IDoc> doc = book.OpenDoc(d);
    if (!doc) break;
    for (int32_t k = 0; k < 64; ++k) {
      Ref<IStory> story = doc->OpenStory(k);
      if (!story) break;
      int32_t number = 0;
      story->GetNumericAttr(u"story_type", number);
      story->GetAttr(u"codepage");
      const AnchorCollector plan(*story);
      plan.HasAnchors();
      for (int32_t p = 0; p < 256; ++p) {
        Ref<IPara> para = story->OpenPara(p);
        if (!para) break;
        para->GetNumericAttr(u"uniqID", number);
        for (int32_t r = 0; r < 256; ++r) {
          Ref<IRun> run = para->OpenRun(r);
          if (!run) break;
          ReadRun(*run);
        }
      }
    }
  }
}

// A storage made from a bare code file gets the private data that the
// book needs (a read-only one refuses, which changes nothing).
void AddStoredDocuments(OLEStorage& storage) {
  try {
    if (storage.StorageExists(u"SolvanePluginPrivateData")) return;
    OLEStorage privateData(storage, u"SolvanePluginPrivateData", kOLECreate);
    OLEStorage templates(privateData, u"BrenixExportTemplates", kOLECreate);
  } catch (const FilterException&) {
  }
}

void Explore(OLEStorage& storage) {
  AddStoredDocuments(storage);
  try {
    Ref<IBook> book = ReadImportBook(storage);
    if (!book) return;
    book->FindString(u"start");
    Walk(*book);
    for (int32_t i = -1; i < 2; ++i) {
      try {
        Sink sink;
        book->LoadQXP(i, &sink);
      } catch (const TooLong&) {
      } catch (const FilterException&) {
      } catch (const ErrorRecord&) {  // cut short or inflating too far
      }
    }
  } catch (const FilterException&) {
  } catch (const ErrorRecord& damage) {  // a story the import stops on as damaged
    if (damage.code != 1004) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ExploreContainerInput(data, size, "fuzz_kxt_import", Explore);
  return 0;
}
