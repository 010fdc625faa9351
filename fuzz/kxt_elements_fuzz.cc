// Fuzzes the element model over an arbitrary container: the book, its
// documents, style infos, stories, paragraphs and runs are walked through
// the version-2 readers (attributes loaded and chained, style references,
// every run item read), then the book once more through version 1.  Odd
// first byte: the rest is a whole compound file.  Even first byte: the rest
// is the code-file stream of a container whose storages are sound.  Only the
// framework's failures may come out.
#include <cstdint>
#include <string>

#include "framework/failures.h"
#include "framework/ole_storage.h"
#include "fuzz/container_input.h"
#include "kxt/book.h"
#include "kxt/element_model.h"
#include "kxt/kxt_records.h"
#include "kxt/kxt_storage.h"
#include "kxt/v1_book.h"

namespace {

// Elements looked at per set, and in all.
constexpr int32_t kPerSet = 16;
int budget = 0;

const char16_t* const kNames[] = {u"codepage", u"bold", u"fore_color_red", u"width", u"release_number", u"x"};

// Uses the set the way the import does: value look-ups, numbers, a walk.
void Query(const KXT_AttrsSet& set, const KXT_StringsMap& map) {
  struct Count : KXT_AttrsSet::AttrsReceiver {
    int n = 0;
    bool Receive(const char16_t*, const char16_t*) override { return ++n < 256; }
  } count;
  set.EnumAttrs(count, map, &set);
  for (const char16_t* name : kNames) {
    int32_t number = 0;
    KXT_AttrsSet::GetNumericValue(set.GetAttrValue(name, map), number);
  }
}

// Loads the element's attributes over its parent's and queries them.
void Attrs(KXT_ProcessorWithAttrs_In2& element, const KXT_AttrsSet& parent, const KXT_StringsMap& map) {
  element.LoadAttrsSet("Attrs{}");
  element.AttrsSet().DefineBaseAttrsSet(&parent);
  Query(element.AttrsSet(), map);
}

template <class T>
void Drain(const KXT_Handle<KXT_InStream2>& stream) {
  if (!stream) return;
  T values[256];
  for (int i = 0; i < 64 && dynamic_cast<KXT_In<T>&>(*stream).GetData(values, 256) == 256; ++i) {
  }
}

template <class R>
void Drain(const KXT_Handle<KXT_InBundle2>& bundle) {
  if (!bundle) return;
  R record;
  for (int i = 0; i < 4096 && bundle->GetRecord(record); ++i) {
  }
}

void Run(const KXT_Handle<KXT_InFolder2>& folder, const KXT_AttrsSet& parent, const KXT_StringsMap& map) {
  KXT_TextRun_In2 run(folder);
  int32_t style = -1;
  run.LoadStyleRef(style, "StyleRef");
  Attrs(run, parent, map);
  Drain<unsigned short>(run.OpenUnicodes("!1:Unicodes"));
  Drain<char>(run.OpenMultibytes("!1:Multibytes"));
  Drain<unsigned short>(run.OpenWideMultibytes("!1:WideMultibytes"));
  Drain<KXT_SpecialChar_Rec_In>(run.OpenSpecialChars("!1:SpecialChars{}"));
  Drain<KXT_RefPoint_Rec_In>(run.OpenRefPoints("!1:RefPoints{}"));
  Drain<KXT_PlaceHolder_Rec_In>(run.OpenPlaceHolders("!1:PlaceHolders{}"));
  Drain<KXT_TextVariables_Rec_In>(run.OpenTextVariables("!1:TextVariables{}"));
}

void Story(const KXT_Handle<KXT_InFolder2>& folder, const KXT_AttrsSet& parent, const KXT_StringsMap& map) {
  KXT_Story_In2 story(folder);
  Attrs(story, parent, map);
  KXT_ParagraphsSet_In2 paras(story.OpenParagraphsSet("ParagraphsSet/"), "Paragraph[]/");
  Attrs(paras, story.AttrsSet(), map);
  for (int32_t p = 0; p < kPerSet && --budget > 0; ++p) {
    KXT_Paragraph_In2 para(paras.OpenElement(p));
    if (!para.Valid()) break;
    int32_t style = -1;
    para.LoadStyleRef(style, "StyleRef");
    Attrs(para, paras.AttrsSet(), map);
    for (int32_t r = 0; r < kPerSet && --budget > 0; ++r) {
      KXT_Handle<KXT_InFolder2> run = para.OpenTextRun(r, "TextRun[]/");
      if (!run) break;
      Run(run, para.AttrsSet(), map);
    }
  }
}

void Document(const KXT_Handle<KXT_InFolder2>& folder, const KXT_AttrsSet& parent, const KXT_StringsMap& map) {
  KXT_Document_In2 doc(folder);
  Attrs(doc, parent, map);
  KXT_StylesSet_In2 styles(doc.OpenStylesSet("StylesSet/"), "StyleInfo[]/");
  Attrs(styles, doc.AttrsSet(), map);
  for (int32_t i = 0; i < kPerSet && --budget > 0; ++i) {
    KXT_StyleInfo_In2 style(styles.OpenElement(i));
    if (!style.Valid()) break;
    int32_t self = -1, base = -1;
    style.LoadThisStyleRef(self, "ThisStyleRef");
    style.LoadBaseStyleRef(base, "BaseStyleRef");
    Attrs(style, styles.AttrsSet(), map);
  }
  KXT_StoriesSet_In2 stories(doc.OpenStoriesSet("StoriesSet/"), "Story[]/");
  Attrs(stories, doc.AttrsSet(), map);
  for (int32_t s = 0; s < kPerSet && --budget > 0; ++s) {
    KXT_Handle<KXT_InFolder2> story = stories.OpenElement(s);
    if (!story) break;
    Story(story, stories.AttrsSet(), map);
  }
}

void WalkV2(KXT_InStorage2& container) {
  KXT_Book_In2 book(container.OpenKXTFolder2());
  if (!book.Valid()) return;
  KXT_StringsMap& map = book.StringsMap();
  Query(book.AttrsSet(), map);
  // Interning after a damaged map must not reuse a number: a string that
  // sorts after every other would not come back from its number if another
  // string had it too.
  static const char16_t kLast[] = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0};
  if (map.find(kLast) == -1) {
    const int32_t fresh = map[kLast];
    const char16_t* back = map[fresh];
    if (fresh < 0 || back == nullptr || std::u16string(back) != kLast) __builtin_trap();
  }
  KXT_DocumentsSet_In2 docs(book.OpenDocumentsSet("DocumentsSet/"), "Document[]/");
  Attrs(docs, book.AttrsSet(), map);
  for (int32_t d = 0; d < kPerSet && --budget > 0; ++d) {
    KXT_Handle<KXT_InFolder2> doc = docs.OpenElement(d);
    if (!doc) break;
    Document(doc, docs.AttrsSet(), map);
  }
}

// Version 1: the book and its documents' attributes.
class BookV1 : public KXT_Book_In {
 public:
  void Call(KXT_InFolder& folder) override {
    Query(AttrsSet(), StringsMap());
    Docs docs(*this);
    ProcessDocumentsSet(folder, docs, "DocumentsSet/");
  }

 private:
  struct Doc : KXT_Document_In {
    void Call(KXT_InFolder& folder) override { AttrsSet().Restore(folder, "Attrs{}"); }
  };
  struct Docs : KXT_DocumentsSet_In {
    explicit Docs(BookV1& b) : book(b) {}
    void Call(KXT_InFolder& folder) override {
      for (int32_t d = 0; d < kPerSet && --budget > 0; ++d) {
        Doc doc;
        if (!ProcessElement(folder, doc, d)) break;
        Query(doc.AttrsSet(), book.StringsMap());
      }
    }
    BookV1& book;
  };
};

void Explore(OLEStorage& storage) {
  IsKXT(storage);
  KXT_Handle<KXT_InStorage2> container(OpenKXT2(storage));
  budget = 512;
  try {
    WalkV2(*container);
  } catch (const FilterException&) {
  }
  budget = 128;
  BookV1 book;
  container->OpenKXTFolder(book);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ExploreContainerInput(data, size, "fuzz_kxt_elements", Explore);
  return 0;
}
