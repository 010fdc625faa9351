// The version-1 element model: books written through it read through
// version 2 (the other direction is in element_model_test.cc), text
// variables and conditional text, missing children, and IsKXT.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "element_model_util.h"
#include "kxt_test_util.h"
#include "tests/common/temp_dir.h"

namespace {

using element_test::Attrs;
using element_test::Book;
using element_test::BookDefaults;
using element_test::SampleBook;
using testutil::TempDir;

class CrossReadTest : public ::testing::TestWithParam<bool> {};

TEST_P(CrossReadTest, ABookWrittenThroughVersionOneReadsThroughBoth) {
  TempDir dir;
  const std::string path = dir.File("v1.kxt");
  const Book written = SampleBook();
  element_test::v1::Write(written, path, GetParam());
  EXPECT_TRUE(element_test::ReadV2(path) == written);
  EXPECT_TRUE(element_test::v1::Read(path) == written);
}

INSTANTIATE_TEST_SUITE_P(Compress, CrossReadTest, ::testing::Bool());

// A book whose Call does only what the test gives it.
class BareBook : public KXT_Book_Out {
 public:
  std::function<void(BareBook&, KXT_OutFolder&)> body;
  void Call(KXT_OutFolder& folder) override {
    if (body) body(*this, folder);
  }
  using KXT_Book_Out::ProcessDocumentsSet;
};

class CountingBook : public KXT_Book_In {
 public:
  int calls = 0;
  void Call(KXT_InFolder&) override { ++calls; }
};

void WriteBare(const std::string& path, const std::function<void(BareBook&, KXT_OutFolder&)>& body) {
  OLEStorage root(path.c_str(), kOLECreate);
  KXT_Handle<KXT_OutStorage> storage(CreateKXT(root));
  BareBook book;
  book.body = body;
  storage->CreateKXTFolder(book);
}

TEST(VersionOneBookTest, AttributesAreStoredOnlyWhenTheCallerStoresThem) {
  TempDir dir;
  const std::string path = dir.File("bare.kxt");
  WriteBare(path, [](BareBook& book, KXT_OutFolder&) {
    EXPECT_EQ(std::u16string(book.AttrsSet().GetAttrValue(u"release_number", book.StringsMap())), u"1");
  });
  const auto lines = kxt_test::Witness(path);
  EXPECT_EQ(lines.count("folder Book/#0|ObjectsPool/#0| 0"), 1u);
  for (const auto& line : lines) EXPECT_EQ(line.find("Attrs{}"), std::string::npos) << line;

  OLEStorage root(path.c_str(), kOLERead);
  KXT_Handle<KXT_InStorage2> storage(OpenKXT2(root));
  KXT_Book_In2 book(storage->OpenKXTFolder2());
  ASSERT_TRUE(book.Valid());
  Attrs defaults = BookDefaults();
  defaults.erase(u"release_number");
  defaults.erase(u"build_number");
  EXPECT_EQ(element_test::Own(book.AttrsSet(), book.StringsMap()), defaults);
}

TEST(VersionOneBookTest, AContainerWithoutABookNeverCallsTheBook) {
  TempDir dir;
  const std::string path = dir.File("nobook.kxt");
  {
    OLEStorage root(path.c_str(), kOLECreate);
    KXT_Handle<KXT_OutStorage2> storage(CreateKXT2(root, false));
    storage->CreateKXTFolder2()->CreateFolder2("Other/", 0);
  }
  OLEStorage root(path.c_str(), kOLERead);
  EXPECT_TRUE(IsKXT(root));
  KXT_Handle<KXT_InStorage> storage(OpenKXT(root));
  CountingBook book;
  EXPECT_TRUE(storage->OpenKXTFolder(book));
  EXPECT_EQ(book.calls, 0);
  EXPECT_EQ(book.StringsMap().size(), 0u);
}

TEST(VersionOneBookTest, IsKXTTellsContainersFromOtherFiles) {
  TempDir dir;
  const std::string path = dir.File("plain.ole");
  {
    OLEStorage root(path.c_str(), kOLECreate);
    OLEStorage other(root, u"SolvaneTextAndCodeX", kOLECreate);
  }
  OLEStorage root(path.c_str(), kOLERead);
  EXPECT_FALSE(IsKXT(root));
}

// --- text variables and conditional text -------------------------------------

// Writes, under a document, a text-variables declaration with one text
// piece, and a run holding text-variable records and a conditional-text
// list with one conditional text.
class VariablesDocument : public KXT_Document_Out {
 public:
  explicit VariablesDocument(KXT_StringsMap& map) : map_(map) {}
  void Call(KXT_OutFolder& folder) override {
    Declarations declarations(map_);
    ProcessTextVariablesSet(folder, declarations, "TextVariablesSet/");
  }

 private:
  class Piece : public KXT_UnicodesRun_Out {
   public:
    void Call(KXT_OutFolder& folder) override {
      Text text;
      ProcessUnicodes(folder, text, "!1:Unicodes");
      StoreStyleRef(folder, 3, "StyleRef");
    }

   private:
    struct Text : KXT_OutStreamProcessor {
      void Call(KXT_OutStream& stream) override {
        const unsigned short units[] = {u'v', u'a', u'r'};
        dynamic_cast<KXT_Out<unsigned short>&>(stream).PutData(units, 3);
      }
    };
  };
  class Declaration : public KXT_TextVariables_Out {
   public:
    void Call(KXT_OutFolder& folder) override {
      StoreStyleRef(folder, 8, "StyleRef");
      Piece piece;
      ProcessText(folder, piece, 0, "TextRun[]/");
    }
  };
  class Records : public KXT_OutBundleProcessor {
   public:
    Records(int32_t uid, int32_t value) : uid_(uid), value_(value) {}
    void Call(KXT_OutBundle& bundle) override {
      KXT_TextVariables_Rec_Out variable;
      KXT_ConditionalText_Rec_Out conditional;
      if (conditionalText) {
        conditional.m_UIDRef = uid_;
        conditional.m_ValueRef = value_;
        bundle.PutRecord(conditional);
      } else {
        variable.m_UIDRef = uid_;
        variable.m_ValueRef = value_;
        bundle.PutRecord(variable);
      }
    }
    bool conditionalText = false;

   private:
    int32_t uid_, value_;
  };
  class Conditional : public KXT_ConditionalText_Out {
   public:
    explicit Conditional(KXT_StringsMap& map) : map_(map) {}
    void Call(KXT_OutFolder& folder) override {
      Records records(map_[u"cond-uid"], map_[u"shown"]);
      records.conditionalText = true;
      ProcessConditionalText(folder, records, "!1:ConditionalText{}");
    }

   private:
    KXT_StringsMap& map_;
  };
  class ListSet : public KXT_ConditionalTextListSet_Out {
   public:
    explicit ListSet(KXT_StringsMap& map) : map_(map) {}
    void Call(KXT_OutFolder& folder) override {
      Conditional conditional(map_);
      ProcessElement(folder, conditional, 0);
    }

   private:
    KXT_StringsMap& map_;
  };
  class VariablesRun : public KXT_TextVariablesRun_Out, public KXT_ConditionalTextListRun_Out {
   public:
    explicit VariablesRun(KXT_StringsMap& map) : map_(map) {}
    void Call(KXT_OutFolder& folder) override {
      Records records(map_[u"var-uid"], map_[u"value"]);
      ProcessTextVariables(folder, records, "!1:TextVariables{}");
      ListSet lists(map_);
      ProcessConditionalTextListSet(folder, lists, "ConditionalTextListSet/");
    }

   private:
    KXT_StringsMap& map_;
  };
  class Declarations : public KXT_TextVariablesSet_Out {
   public:
    explicit Declarations(KXT_StringsMap& map) : map_(map) {}
    void Call(KXT_OutFolder& folder) override {
      Declaration declaration;
      ProcessElement(folder, declaration, 0);
      VariablesRun run(map_);
      ProcessElement(folder, run, 1);
    }

   private:
    KXT_StringsMap& map_;
  };
  KXT_StringsMap& map_;
};

// Reads it back: what was found, as text.
class VariablesReader : public KXT_Document_In {
 public:
  explicit VariablesReader(const KXT_StringsMap& map) : map_(map) {}
  std::vector<std::string> found;
  void Call(KXT_InFolder& folder) override {
    Declarations declarations(*this);
    EXPECT_TRUE(ProcessTextVariablesSet(folder, declarations, "TextVariablesSet/"));
    EXPECT_FALSE(ProcessStylesSet(folder, declarations, "StylesSet/"));
    EXPECT_FALSE(ProcessStoriesSet(folder, declarations, "StoriesSet/"));
  }

 private:
  std::string Text(int32_t ref) {
    const char16_t* text = map_[ref];
    return text == nullptr ? "<null>" : std::string(text, text + std::char_traits<char16_t>::length(text));
  }
  struct Records : KXT_InBundleProcessor {
    Records(VariablesReader& r, bool c) : reader(r), conditional(c) {}
    void Call(KXT_InBundle& bundle) override {
      KXT_TextVariables_Rec_In variable;
      KXT_ConditionalText_Rec_In text;
      if (conditional) {
        while (bundle.GetRecord(text)) {
          reader.found.push_back("conditional " + reader.Text(text.m_UIDRef) + "=" + reader.Text(text.m_ValueRef));
        }
      } else {
        while (bundle.GetRecord(variable)) {
          reader.found.push_back("variable " + reader.Text(variable.m_UIDRef) + "=" +
                                 reader.Text(variable.m_ValueRef));
        }
      }
    }
    VariablesReader& reader;
    bool conditional;
  };
  struct Piece : KXT_TextRun_In {
    explicit Piece(VariablesReader& r) : reader(r) {}
    void Call(KXT_InFolder& folder) override {
      struct Units : KXT_InStreamProcessor {
        std::u16string text;
        void Call(KXT_InStream& stream) override { text = element_test::GetAll<std::u16string>(stream); }
      } units;
      int32_t style = -1;
      EXPECT_TRUE(RestoreStyleRef(folder, style, "StyleRef"));
      EXPECT_TRUE(ProcessUnicodes(folder, units, "!1:Unicodes"));
      EXPECT_FALSE(ProcessMultibytes(folder, units, "!1:Unicodes"));
      reader.found.push_back("piece " + std::string(units.text.begin(), units.text.end()) + " style " +
                             std::to_string(style));
    }
    VariablesReader& reader;
  };
  struct Declaration : KXT_TextVariables_In {
    explicit Declaration(VariablesReader& r) : reader(r) {}
    void Call(KXT_InFolder& folder) override {
      int32_t style = -1;
      EXPECT_TRUE(RestoreStyleRef(folder, style, "StyleRef"));
      reader.found.push_back("declaration style " + std::to_string(style));
      Piece piece(reader);
      EXPECT_TRUE(ProcessText(folder, piece, 0, "TextRun[]/"));
      EXPECT_FALSE(ProcessText(folder, piece, 1, "TextRun[]/"));
    }
    VariablesReader& reader;
  };
  struct Conditional : KXT_ConditionalText_In {
    explicit Conditional(VariablesReader& r) : reader(r) {}
    void Call(KXT_InFolder& folder) override {
      Records records(reader, true);
      EXPECT_TRUE(ProcessConditionalText(folder, records, "!1:ConditionalText{}"));
      EXPECT_FALSE(ProcessConditionalTextList(folder, *this, "Nothing/"));
    }
    VariablesReader& reader;
  };
  struct ListSet : KXT_ConditionalTextListSet_In {
    explicit ListSet(VariablesReader& r) : reader(r) {}
    void Call(KXT_InFolder& folder) override {
      Conditional conditional(reader);
      EXPECT_TRUE(ProcessElement(folder, conditional, 0));
      EXPECT_FALSE(ProcessElement(folder, conditional, 1));
    }
    VariablesReader& reader;
  };
  struct VariablesRun : KXT_TextRun_In {
    explicit VariablesRun(VariablesReader& r) : reader(r) {}
    void Call(KXT_InFolder& folder) override {
      Records records(reader, false);
      EXPECT_TRUE(ProcessTextVariables(folder, records, "!1:TextVariables{}"));
      EXPECT_FALSE(ProcessRefPoints(folder, records, "!1:RefPoints{}"));
      ListSet lists(reader);
      EXPECT_TRUE(ProcessConditionalTextListSet(folder, lists, "ConditionalTextListSet/"));
    }
    VariablesReader& reader;
  };
  struct Declarations : KXT_TextVariablesSet_In {
    explicit Declarations(VariablesReader& r) : reader(r) {}
    void Call(KXT_InFolder& folder) override {
      Declaration declaration(reader);
      EXPECT_TRUE(ProcessElement(folder, declaration, 0));
      VariablesRun run(reader);
      EXPECT_TRUE(ProcessElement(folder, run, 1));
    }
    VariablesReader& reader;
  };
  const KXT_StringsMap& map_;
};

TEST(VersionOneVariablesTest, TextVariablesAndConditionalTextComeBack) {
  TempDir dir;
  const std::string path = dir.File("vars.kxt");
  WriteBare(path, [](BareBook& book, KXT_OutFolder& folder) {
    struct Docs : KXT_DocumentsSet_Out {
      explicit Docs(KXT_StringsMap& m) : map(m) {}
      void Call(KXT_OutFolder& set) override {
        VariablesDocument doc(map);
        ProcessElement(set, doc, 0);
      }
      KXT_StringsMap& map;
    } docs(book.StringsMap());
    book.ProcessDocumentsSet(folder, docs, "DocumentsSet/");
  });

  std::vector<std::string> found;
  struct Reader : KXT_Book_In {
    std::vector<std::string>* found;
    void Call(KXT_InFolder& folder) override {
      struct Docs : KXT_DocumentsSet_In {
        explicit Docs(Reader& r) : reader(r) {}
        void Call(KXT_InFolder& set) override {
          VariablesReader doc(reader.StringsMap());
          EXPECT_TRUE(ProcessElement(set, doc, 0));
          *reader.found = doc.found;
        }
        Reader& reader;
      } docs(*this);
      EXPECT_TRUE(ProcessDocumentsSet(folder, docs, "DocumentsSet/"));
      EXPECT_FALSE(ProcessDocumentsSet(folder, docs, "Missing/"));
    }
  } reader;
  reader.found = &found;
  OLEStorage root(path.c_str(), kOLERead);
  KXT_Handle<KXT_InStorage> storage(OpenKXT(root));
  EXPECT_TRUE(storage->OpenKXTFolder(reader));
  EXPECT_EQ(found, (std::vector<std::string>{"declaration style 8", "piece var style 3", "variable var-uid=value",
                                             "conditional cond-uid=shown"}));
}

}  // namespace
