// Fuzzes the version-1 element readers below the book and its documents:
// style infos, stories, paragraphs, text runs with every kind of item, text
// variable declarations and their pieces, and conditional-text lists, over
// an arbitrary container (see container_input.h for the two input forms).
// Only the framework's failures may come out.
#include <cstdint>
#include <string>

#include "framework/failures.h"
#include "framework/ole_storage.h"
#include "fuzz/container_input.h"
#include "kxt/kxt_bundle.h"
#include "kxt/kxt_records.h"
#include "kxt/kxt_storage.h"
#include "kxt/typed_stream.h"
#include "kxt/v1_book.h"
#include "kxt/v1_elements.h"

namespace {

// Elements looked at per set, and in all.
constexpr int32_t kPerSet = 16;
int budget = 0;

bool Spend() { return --budget > 0; }

// Reads what a typed stream of T holds, up to a bound.
template <class T>
struct Values : KXT_InStreamProcessor {
  void Call(KXT_InStream& stream) override {
    auto* typed = dynamic_cast<KXT_In<T>*>(&stream);
    if (!typed) return;
    T values[256];
    for (int i = 0; i < 64 && typed->GetData(values, 256) == 256; ++i) {
    }
  }
};

// Reads the records of a bundle, up to a bound.
template <class R>
struct Records : KXT_InBundleProcessor {
  void Call(KXT_InBundle& bundle) override {
    R record;
    for (int i = 0; i < 4096 && bundle.GetRecord(record); ++i) {
    }
  }
};

const KXT_StringsMap* g_map = nullptr;

// A set of elements: its attributes, then its elements in order until one
// is missing.
template <class Set, class Element>
struct SetOf : Set {
  void Call(KXT_InFolder& folder) override {
    this->AttrsSet().Restore(folder, "Attrs{}");
    for (int32_t i = 0; i < kPerSet && Spend(); ++i) {
      Element element;
      if (!this->ProcessElement(folder, element, i)) break;
    }
  }
};

// Looks the attributes up the way the import does.
void Query(KXT_AttrsSet_In& set) {
  struct Count : KXT_AttrsSet::AttrsReceiver {
    int n = 0;
    bool Receive(const char16_t*, const char16_t*) override { return ++n < 256; }
  } count;
  set.EnumAttrs(count, *g_map, &set);
  int32_t number = 0;
  KXT_AttrsSet::GetNumericValue(set.GetAttrValue(u"codepage", *g_map), number);
}

struct ConditionalText : KXT_ConditionalText_In {
  void Call(KXT_InFolder& folder) override {
    if (!Spend()) return;
    AttrsSet().Restore(folder, "Attrs{}");
    Records<KXT_ConditionalText_Rec_In> records;
    ProcessConditionalText(folder, records, "!1:ConditionalText{}");
    ConditionalText nested;
    ProcessConditionalTextList(folder, nested, "ConditionalTextList/");
  }
};

using ConditionalLists = SetOf<KXT_ConditionalTextListSet_In, ConditionalText>;

struct TextRun : KXT_TextRun_In {
  void Call(KXT_InFolder& folder) override {
    int32_t style = -1;
    RestoreStyleRef(folder, style, "StyleRef");
    AttrsSet().Restore(folder, "Attrs{}");
    Query(AttrsSet());
    Values<unsigned short> units;
    Values<char> bytes;
    ProcessUnicodes(folder, units, "!1:Unicodes");
    ProcessMultibytes(folder, bytes, "!1:Multibytes");
    ProcessWideMultibytes(folder, units, "!1:WideMultibytes");
    Records<KXT_SpecialChar_Rec_In> specials;
    ProcessSpecialChars(folder, specials, "!1:SpecialChars{}");
    Records<KXT_TextVariables_Rec_In> variables;
    ProcessTextVariables(folder, variables, "!1:TextVariables{}");
    Records<KXT_RefPoint_Rec_In> points;
    ProcessRefPoints(folder, points, "!1:RefPoints{}");
    Records<KXT_PlaceHolder_Rec_In> holders;
    ProcessPlaceHolders(folder, holders, "!1:PlaceHolders{}");
    ConditionalLists lists;
    ProcessConditionalTextListSet(folder, lists, "ConditionalTextListSet/");
  }
};

struct Paragraph : KXT_Paragraph_In {
  void Call(KXT_InFolder& folder) override {
    int32_t style = -1;
    RestoreStyleRef(folder, style, "StyleRef");
    AttrsSet().Restore(folder, "Attrs{}");
    for (int32_t r = 0; r < kPerSet && Spend(); ++r) {
      TextRun run;
      if (!ProcessTextRun(folder, run, r, "TextRun[]/")) break;
    }
  }
};

using Paragraphs = SetOf<KXT_ParagraphsSet_In, Paragraph>;

struct Story : KXT_Story_In {
  void Call(KXT_InFolder& folder) override {
    AttrsSet().Restore(folder, "Attrs{}");
    Query(AttrsSet());
    Paragraphs paragraphs;
    ProcessParagraphsSet(folder, paragraphs, "ParagraphsSet/");
  }
};

using Stories = SetOf<KXT_StoriesSet_In, Story>;

struct StyleInfo : KXT_StyleInfo_In {
  void Call(KXT_InFolder& folder) override {
    int32_t self = -1, base = -1;
    RestoreThisStyleRef(folder, self, "ThisStyleRef");
    RestoreBaseStyleRef(folder, base, "BaseStyleRef");
    AttrsSet().Restore(folder, "Attrs{}");
    Query(AttrsSet());
  }
};

using Styles = SetOf<KXT_StylesSet_In, StyleInfo>;

// A text-variables declaration and its pieces, or (as the last element of
// the set usually is) a run of variables.
struct Declaration : KXT_TextVariables_In {
  void Call(KXT_InFolder& folder) override {
    int32_t style = -1;
    RestoreStyleRef(folder, style, "StyleRef");
    AttrsSet().Restore(folder, "Attrs{}");
    for (int32_t i = 0; i < kPerSet && Spend(); ++i) {
      TextRun piece;
      if (!ProcessText(folder, piece, i, "TextRun[]/")) break;
    }
  }
};

struct Declarations : KXT_TextVariablesSet_In {
  void Call(KXT_InFolder& folder) override {
    AttrsSet().Restore(folder, "Attrs{}");
    for (int32_t i = 0; i < kPerSet && Spend(); ++i) {
      Declaration declaration;
      if (!ProcessElement(folder, declaration, i)) break;
      TextRun run;
      ProcessElement(folder, run, i);
    }
  }
};

struct Document : KXT_Document_In {
  void Call(KXT_InFolder& folder) override {
    AttrsSet().Restore(folder, "Attrs{}");
    Styles styles;
    ProcessStylesSet(folder, styles, "StylesSet/");
    Stories stories;
    ProcessStoriesSet(folder, stories, "StoriesSet/");
    Declarations declarations;
    ProcessTextVariablesSet(folder, declarations, "TextVariablesSet/");
  }
};

class Book : public KXT_Book_In {
 public:
  void Call(KXT_InFolder& folder) override {
    g_map = &StringsMap();
    Documents documents;
    ProcessDocumentsSet(folder, documents, "DocumentsSet/");
  }

 private:
  struct Documents : KXT_DocumentsSet_In {
    void Call(KXT_InFolder& folder) override {
      for (int32_t d = 0; d < kPerSet && Spend(); ++d) {
        Document document;
        if (!ProcessElement(folder, document, d)) break;
      }
    }
  };
};

void Explore(OLEStorage& storage) {
  KXT_Handle<KXT_InStorage2> container(OpenKXT2(storage));
  budget = 1024;
  Book book;
  container->OpenKXTFolder(book);
  g_map = nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ExploreContainerInput(data, size, "fuzz_kxt_v1_elements", Explore);
  return 0;
}
