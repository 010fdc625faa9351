// The import facade: the export fixture read back element by element and
// compared with the Python witness's reading of the same file (contents,
// style references, attributes in force); the stored document against the
// saved file; the edges of runs, look-ups and opening; the import
// container opened from host file specs.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "framework/failures.h"
#include "host/host.h"
#include "kxt/book.h"
#include "kxt/kxt_completion.h"
#include "kxt/kxt_storage.h"
#include "plugin/conversion/container_open.h"
#include "plugin/conversion/kxt_import.h"
#include "support/host_file_spec.h"
#include "tests/common/files.h"
#include "tests/common/kxt_witness_py.h"
#include "tests/common/python.h"
#include "tests/common/temp_dir.h"
#include "tests/plugin/conversion/export_harness.h"
#include "tests/plugin/conversion/exported_fixture.h"
#include "tests/plugin/mixer/mixer_host_util.h"

namespace {

namespace In = BX_KXT::Import;
namespace Out = BX_KXT::Export;

// The canonical reading both sides print: one line per element, then one
// "attr PATH NAME VALUE" line per attribute in force; texts as hex of their
// UTF-16LE units ("null" for none).
const std::string kCanonPy = testutil::kKxtDumpPy.substr(0, testutil::kKxtDumpPy.find("if __name__")) + R"PY(
def h(t):
    return 'null' if t is None else t.encode('utf-16-le', 'surrogatepass').hex()
def canon(path):
    ole = olefile.OleFileIO(path)
    root = folder_tree(ole.openstream('SolvaneTextAndCode/SolvaneCodeFile').read())
    book = child(root, 'Book/')
    strings = {ref: text for ref, text in bundle(book, 'StringsMap{}', ['m_Ref', 'm_String']) or []}
    def s(n):
        return None if n == -1 else strings.get(n)
    def own(node):
        return {s(a): s(b) for a, b in bundle(node, 'Attrs{}', ['m_NameRef', 'm_ValueRef']) or []}
    out = []
    def attrs(path, chain):
        merged = {}
        for node in chain:
            merged.update(own(node))
        for k in sorted(merged, key=h):
            out.append('attr %s %s %s' % (path, h(k), h(merged[k])))
    def ref(node, name):
        v = stream(node, name)
        return -1 if not v else v[0]
    def elements(node, pattern):
        i = 0
        while child(node, pattern, i) is not None:
            yield i, child(node, pattern, i)
            i += 1
    out.append('book b')
    attrs('b', [book])
    for d, doc in elements(child(book, 'DocumentsSet/'), 'Document[]/'):
        out.append('doc %d' % d)
        attrs('%d' % d, [book, doc])
        for k, story in elements(child(doc, 'StoriesSet/'), 'Story[]/'):
            out.append('story %d.%d' % (d, k))
            attrs('%d.%d' % (d, k), [book, doc, story])
            for p, para in elements(child(story, 'ParagraphsSet/'), 'Paragraph[]/'):
                out.append('para %d.%d.%d style %d' % (d, k, p, ref(para, 'StyleRef')))
                attrs('%d.%d.%d' % (d, k, p), [book, doc, story, para])
                for r, run in elements(para, 'TextRun[]/'):
                    content = 'none'
                    for kind, tag in (('Unicodes', 'U'), ('Multibytes', 'M'), ('WideMultibytes', 'W')):
                        v = stream(run, '!1:' + kind)
                        if v is not None:
                            content = tag + ' ' + ''.join('%04x' % (u & 0xFF if tag == 'M' else u) for u in v)
                    for kind, tag, fields, strs in (
                            ('SpecialChars', 'S', ['m_NameRef', 'm_DataRef'], (0, 1)),
                            ('RefPoints', 'R', ['m_RefTypeRef', 'm_ObjectTypeRef', 'm_ObjectFolderID'], (0, 1)),
                            ('PlaceHolders', 'P', ['m_ObjectTypeRef', 'm_ObjectFolderID'], (0,))):
                        rows = bundle(run, '!1:%s{}' % kind, fields)
                        if rows is not None:
                            content = tag + ' ' + ','.join(
                                ':'.join(h(s(x)) if i in strs else str(x) for i, x in enumerate(row)) for row in rows)
                    out.append('run %d.%d.%d.%d style %d %s' % (d, k, p, r, ref(run, 'StyleRef'), content))
                    attrs('%d.%d.%d.%d' % (d, k, p, r), [book, doc, story, para, run])
    return out
for line in canon(sys.argv[1]):
    print(line)
)PY";

std::string Hex(const char16_t* text) {
  if (text == nullptr) return "null";
  std::string out;
  char buffer[8];
  for (; *text != 0; ++text) {
    std::snprintf(buffer, sizeof buffer, "%02x%02x", *text & 0xFF, *text >> 8);
    out += buffer;
  }
  return out;
}

std::u16string FromHex(const std::string& hex) {
  std::u16string out;
  for (size_t i = 0; i + 4 <= hex.size(); i += 4)
    out.push_back(static_cast<char16_t>(std::stoi(hex.substr(i, 2), nullptr, 16) | std::stoi(hex.substr(i + 2, 2), nullptr, 16) << 8));
  return out;
}

std::string Units(In::IRun& run) {
  std::ostringstream out;
  char buffer[8];
  auto bytes = [&](auto unit, const char* tag) {
    out << tag << ' ';
    while (run.Read(&unit)) {
      std::snprintf(buffer, sizeof buffer, "%04x", static_cast<unsigned>(unit) & (sizeof unit == 1 ? 0xFF : 0xFFFF));
      out << buffer;
    }
  };
  const char* separator = "";
  switch (run.Kind()) {
    case In::kRunUnicodes: bytes(uint16_t{}, "U"); break;
    case In::kRunMultibytes: bytes(char{}, "M"); break;
    case In::kRunWideMultibytes: bytes(uint16_t{}, "W"); break;
    case In::kRunSpecialChars:
      out << "S ";
      for (In::SpecialCharUnit u{}; run.Read(&u); separator = ",")
        out << separator << Hex(run.GetString(u.nameRef)) << ':' << Hex(run.GetString(u.dataRef));
      break;
    case In::kRunRefPoints:
      out << "R ";
      for (In::RefPointUnit u{}; run.Read(&u); separator = ",")
        out << separator << Hex(run.GetString(u.refTypeRef)) << ':' << Hex(run.GetString(u.objectTypeRef)) << ':'
            << u.objectFolderId;
      break;
    case In::kRunPlaceHolders:
      out << "P ";
      for (In::PlaceHolderUnit u{}; run.Read(&u); separator = ",")
        out << separator << Hex(run.GetString(u.objectTypeRef)) << ':' << u.objectFolderId;
      break;
    default: out << "none";
  }
  return out.str();
}

// The facade's reading: element lines in the witness's order, and for every
// attribute line of the witness the value the facade finds for that name
// at that element (so both lists are equal only when every value is).
std::vector<std::string> FacadeCanon(const std::string& path, const std::vector<std::string>& witness) {
  std::map<std::string, In::Ref<In::ICommon>> at;
  std::vector<std::string> elements;
  In::Ref<In::IBook> book = In::OpenImportBook(path.c_str());
  if (!book) return {"no book"};
  at["b"] = book;
  elements.push_back("book b");
  for (int32_t d = 0; In::Ref<In::IDoc> doc = book->OpenDoc(d); ++d) {
    const std::string dp = std::to_string(d);
    at[dp] = doc;
    elements.push_back("doc " + dp);
    for (int32_t k = 0; In::Ref<In::IStory> story = doc->OpenStory(k); ++k) {
      const std::string kp = dp + "." + std::to_string(k);
      at[kp] = story;
      elements.push_back("story " + kp);
      for (int32_t p = 0; In::Ref<In::IPara> para = story->OpenPara(p); ++p) {
        const std::string pp = kp + "." + std::to_string(p);
        at[pp] = para;
        elements.push_back("para " + pp + " style " + std::to_string(para->StyleRef()));
        for (int32_t r = 0; In::Ref<In::IRun> run = para->OpenRun(r); ++r) {
          const std::string rp = pp + "." + std::to_string(r);
          at[rp] = run;
          elements.push_back("run " + rp + " style " + std::to_string(run->StyleRef()) + " " + Units(*run));
        }
      }
    }
  }
  // Elements first in both lists, then the attributes in the witness's order.
  std::vector<std::string> lines;
  size_t next = 0;
  for (const std::string& line : witness) {
    if (line.rfind("attr ", 0) != 0) {
      lines.push_back(next < elements.size() ? elements[next++] : "missing");
      continue;
    }
    std::istringstream fields(line.substr(5));
    std::string where, name;
    fields >> where >> name;
    const auto element = at.find(where);
    const std::u16string wide = FromHex(name);
    lines.push_back("attr " + where + " " + name + " " +
                    (element == at.end() ? "?" : Hex(element->second->GetAttr(wide.c_str()))));
  }
  while (next < elements.size()) lines.push_back(elements[next++]);
  return lines;
}

using ImportFixture = ExportedFixture;

TEST_F(ImportFixture, EveryElementRecordAndAttributeReadsAsTheWitnessReadsIt) {
  const std::vector<std::string> witness = testutil::WitnessLines(kCanonPy, target);
  ASSERT_GT(witness.size(), 50u);
  EXPECT_EQ(FacadeCanon(target, witness), witness);
}

// A sink collecting LoadQXP's pieces.
class Collect : public BX_KXT::BXOutStream {
 public:
  void PutData(const void* data, uint32_t n) override {
    EXPECT_LE(n, 1024u);
    bytes.append(static_cast<const char*>(data), n);
    ++pieces;
  }
  std::string bytes;
  int pieces = 0;
};

TEST_F(ImportFixture, TheStoredDocumentStreamsBackAsStored) {
  ASSERT_TRUE(result.stored);
  In::Ref<In::IBook> book = In::OpenImportBook(target.c_str());
  ASSERT_TRUE(book);
  Collect out;
  book->LoadQXP(0, &out);
  // The stored copy (the saved file with the working boxes), as Python's
  // zlib inflates stream 0.
  const std::string streamed = host.Path("streamed.qxp");
  testutil::WriteFile(streamed, out.bytes);
  EXPECT_EQ(testutil::PythonOutput("import sys, zlib, olefile\n"
                                   "data = olefile.OleFileIO(sys.argv[1]).openstream("
                                   "'SolvanePluginPrivateData/BrenixExportTemplates/0').read()\n"
                                   "print(zlib.decompress(data) == open(sys.argv[2], 'rb').read())\n",
                                   {target, streamed}),
            "True\n");
  EXPECT_GE(out.pieces, static_cast<int>((out.bytes.size() + 1023) / 1024));
  Collect none;
  EXPECT_THROW(book->LoadQXP(7, &none), FilterException);
  EXPECT_EQ(none.pieces, 0);
}

// --- edges, on containers written by the export facade ------------------------

// A source of bytes for StoreQXP.
class Bytes : public BX_KXT::BXInStream {
 public:
  explicit Bytes(std::string b) : b_(std::move(b)) {}
  uint32_t GetData(void* buffer, uint32_t n) override {
    const size_t k = std::min<size_t>(n, b_.size() - at_);
    std::copy_n(b_.data() + at_, k, static_cast<char*>(buffer));
    at_ += k;
    return static_cast<uint32_t>(k);
  }
  uint32_t Length() override { return static_cast<uint32_t>(b_.size()); }

 private:
  std::string b_;
  size_t at_ = 0;
};

class ImportEdges : public ::testing::Test {
 protected:
  void SetUp() override {
    Out::Ref<Out::IBook> book = Out::CreateExportBook(path.c_str());
    book->AddAttr(u"book_only", u"up there");
    Bytes empty("");
    book->StoreQXP(0, &empty);
    Out::Ref<Out::IDoc> doc = book->NewDocument(0);
    Out::Ref<Out::IStory> story = doc->NewStory(0);
    story->AddAttr(u"story_type", u"layout_prn0");
    {
      Out::Ref<Out::IPara> para = story->NewParagraph(0, 3);
      const std::u16string thousand(1000, u'x');
      para->NewUnicodesRun(thousand.data(), 2000, 5);
      Out::Ref<Out::IAttrs> cyrillic = para->NewMultibytesRun("\xcf\xf0\xe8", 3, -1);
      cyrillic->AddAttr(u"codepage", u"1251");
      para->NewMultibytesRun("caf\xe9", 4, -1)->AddAttr(u"codepage", u"0xFFFF");
      para->NewMultibytesRun("caf\xe9", 4, -1);
      para->NewMultibytesRun("ab", 2, -1)->AddAttr(u"codepage", u"99999");
      Out::PutSpecialChar(para->NewSpecialCharsRun(-1), u"tab", u"\t");
    }
    story->NewParagraph(1, -1);
  }

  testutil::TempDir dir{"brenix-import"};
  std::string path = dir.File("edges.kxq");
};

TEST_F(ImportEdges, RunsLookUpsAndEnds) {
  In::Ref<In::IBook> book = In::OpenImportBook(path.c_str());
  ASSERT_TRUE(book);
  EXPECT_FALSE(book->OpenDoc(1));
  EXPECT_FALSE(book->OpenDoc(-1));
  In::Ref<In::IDoc> doc = book->OpenDoc(0);
  ASSERT_TRUE(doc);
  EXPECT_FALSE(doc->OpenStory(1));
  In::Ref<In::IStory> story = doc->OpenStory(0);
  In::Ref<In::IPara> para = story->OpenPara(0);
  ASSERT_TRUE(para);
  EXPECT_FALSE(story->OpenPara(2));
  EXPECT_EQ(para->StyleRef(), 3);
  EXPECT_EQ(story->OpenPara(1)->StyleRef(), -1);
  EXPECT_FALSE(story->OpenPara(1)->OpenRun(0));
  EXPECT_FALSE(para->OpenRun(6));

  In::Ref<In::IRun> run = para->OpenRun(0);
  EXPECT_EQ(run->Kind(), In::kRunUnicodes);
  EXPECT_EQ(run->StyleRef(), 5);
  int units = 0;
  for (uint16_t u = 0; run->Read(&u); ++units) ASSERT_EQ(u, u'x');
  EXPECT_EQ(units, 1000);
  uint16_t after = 0;
  EXPECT_FALSE(run->Read(&after));

  // Look-ups climb to the book; FindString never adds.
  EXPECT_EQ(Hex(run->GetAttr(u"book_only")), Hex(u"up there"));
  EXPECT_EQ(Hex(run->GetAttr(u"story_type")), Hex(u"layout_prn0"));
  EXPECT_EQ(run->GetAttr(u"no such name"), nullptr);
  int32_t number = 0;
  EXPECT_FALSE(run->GetNumericAttr(u"book_only", number));
  EXPECT_EQ(run->FindString(u"never written"), -1);
  EXPECT_EQ(run->FindString(u"never written"), -1);
  const int32_t tab = run->FindString(u"tab");
  ASSERT_NE(tab, -1);
  EXPECT_EQ(Hex(run->GetString(tab)), Hex(u"tab"));

  struct Case {
    int32_t index;
    uint32_t codePage;
    bool decoded;
    std::u16string text;
  };
  const Case cases[] = {
      {1, 1251, true, u"\u041f\u0440\u0438"},
      {2, 1252, true, u"caf\u00e9"},
      {3, 1252, true, u"caf\u00e9"},
      {4, 99999, false, u""},
  };
  for (const Case& c : cases) {
    In::Ref<In::IRun> bytes = para->OpenRun(c.index);
    ASSERT_EQ(bytes->Kind(), In::kRunMultibytes) << c.index;
    EXPECT_EQ(In::RunCodePage(*bytes), c.codePage) << c.index;
    std::u16string text = u"old";
    EXPECT_EQ(In::ReadMultibytesText(*bytes, text), c.decoded) << c.index;
    EXPECT_EQ(Hex(text.c_str()), Hex(c.text.c_str())) << c.index;
    char rest = 0;
    EXPECT_FALSE(bytes->Read(&rest)) << c.index;
  }
  In::Ref<In::IRun> special = para->OpenRun(5);
  EXPECT_EQ(Units(*special), "S " + Hex(u"tab") + ":" + Hex(u"\t"));
}

TEST_F(ImportEdges, AnEmptyStoredDocumentWritesNothing) {
  In::Ref<In::IBook> book = In::OpenImportBook(path.c_str());
  Collect out;
  book->LoadQXP(0, &out);
  EXPECT_EQ(out.pieces, 0);
}

// A child kept after its ancestors' handles went still reads.
TEST_F(ImportEdges, AChildOutlivesTheHandlesOfItsAncestors) {
  In::Ref<In::IRun> run;
  {
    In::Ref<In::IBook> book = In::OpenImportBook(path.c_str());
    run = book->OpenDoc(0)->OpenStory(0)->OpenPara(0)->OpenRun(1);
  }
  EXPECT_EQ(Hex(run->GetAttr(u"book_only")), Hex(u"up there"));
  std::u16string text;
  EXPECT_TRUE(In::ReadMultibytesText(*run, text));
}

TEST_F(ImportEdges, NoContainerRaisesTheStorageFailure) {
  const std::string plain = dir.File("plain.txt");
  testutil::WriteFile(plain, "not a compound file");
  EXPECT_THROW(In::OpenImportBook(plain.c_str()), FilterException);
  EXPECT_THROW(In::OpenImportBook(dir.File("missing.kxq").c_str()), FilterException);
}

// The import container from host file specs: a book, or an empty handle
// and no exception.
TEST(ImportContainer, OpensAContainerOrGivesAnEmptyHandle) {
  DocHost host;
  const std::string good = host.Path("good.kxq");
  Out::CreateExportBook(good.c_str())->AddAttr(u"book_title", u"T");
  const std::string plain = host.Path("plain.kxq");
  testutil::WriteFile(plain, "not a container");
  // A container whose private data holds no stored documents.
  const std::string bare = host.Path("bare.kxq");
  {
    OLEStorage file(bare.c_str(), kOLECreate);
    KXT_Handle<KXT_OutStorage2> container(CreateKXT2(file, false));
    container->PrivateData();
    KXT_Owned<KXT_Book_Out2> writer(new KXT_Book_Out2(container->CreateKXTFolder2()));
  }
  auto spec = [](const std::string& path) {
    XTFileSpec spec{};
    EXPECT_EQ(xt_fsmakefsspec(0, 0, path, spec, true, false, false, nullptr, 0, false, nullptr), kXTOk) << path;
    return spec;
  };
  EXPECT_TRUE(OpenImportContainer(spec(good)));
  In::Ref<In::IBook> book;
  std::string reason, whole = testutil::ReadFile(good);
  EXPECT_NO_THROW(book = OpenImportContainer(spec(plain), &reason));
  EXPECT_FALSE(book);
  EXPECT_EQ(reason, "not a compound file");
  EXPECT_NO_THROW(book = OpenImportContainer(spec(bare), &reason));
  EXPECT_FALSE(book);
  EXPECT_EQ(reason, "the container is damaged: an element of it is missing");
  testutil::WriteFile(plain, whole.substr(0, whole.size() - 512));  // without its last sector
  EXPECT_FALSE(OpenImportContainer(spec(plain), &reason));
  EXPECT_EQ(reason, "the compound file ends early or is damaged");
  const XTFileSpec named = spec(good);
  host.Fail("full_path:1");
  EXPECT_NO_THROW(book = OpenImportContainer(named));
  EXPECT_FALSE(book);
}

}  // namespace
