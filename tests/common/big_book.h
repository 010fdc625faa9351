// A large book written through the version-2 element model the way the
// export writes it: one document with four styles and `stories` stories of
// 20 paragraphs of 3 text runs, the middle run with a style reference and an
// attribute.  Shared by the benchmark and the byte-identity test, so both
// look at the same file.
#pragma once

#include <cstdint>
#include <string>

#include "framework/ole_storage.h"
#include "kxt/book.h"
#include "kxt/element_model.h"
#include "kxt/kxt_storage.h"

namespace testutil {

constexpr int32_t kBigBookParagraphs = 20;
constexpr int32_t kBigBookRuns = 3;

// The text of every run: about a line of text.
inline const std::u16string& BigBookText() {
  static const std::u16string text = u"The quick brown fox jumps over the lazy dog, again and again. ";
  return text;
}

inline void WriteBigBook(const std::string& path, int32_t stories, bool compress = false) {
  OLEStorage root(path.c_str(), kOLECreate);
  KXT_Handle<KXT_OutStorage2> storage(CreateKXT2(root, compress));
  KXT_Book_Out2 book(storage->CreateKXTFolder2());
  KXT_StringsMap& map = book.StringsMap();
  book.SaveAttrsSet("Attrs{}");
  KXT_DocumentsSet_Out2 docs(book.CreateDocumentsSet("DocumentsSet/"), "Document[]/");
  KXT_Document_Out2 doc(docs.CreateElement(0));
  doc.AttrsSet().AddAttr(u"codepage", u"1252", map);
  doc.SaveAttrsSet("Attrs{}");
  KXT_StylesSet_Out2 styles(doc.CreateStylesSet("StylesSet/"), "StyleInfo[]/");
  for (int32_t s = 0; s < 4; ++s) {
    KXT_StyleInfo_Out2 style(styles.CreateElement(s));
    style.SaveThisStyleRef(s, "ThisStyleRef");
    if (s > 0) style.SaveBaseStyleRef(0, "BaseStyleRef");
  }
  const std::u16string& text = BigBookText();
  KXT_StoriesSet_Out2 storiesSet(doc.CreateStoriesSet("StoriesSet/"), "Story[]/");
  for (int32_t s = 0; s < stories; ++s) {
    KXT_Story_Out2 story(storiesSet.CreateElement(s));
    story.AttrsSet().AddAttr(u"width", u"420", map);
    story.SaveAttrsSet("Attrs{}");
    KXT_ParagraphsSet_Out2 paras(story.CreateParagraphsSet("ParagraphsSet/"), "Paragraph[]/");
    for (int32_t p = 0; p < kBigBookParagraphs; ++p) {
      KXT_Paragraph_Out2 para(paras.CreateElement(p));
      para.SaveStyleRef(p % 4, "StyleRef");
      for (int32_t r = 0; r < kBigBookRuns; ++r) {
        KXT_UnicodesRun_Out2 run(para.CreateTextRun(r, "TextRun[]/"));
        {
          KXT_Handle<KXT_OutStream2> units = run.CreateUnicodes("!1:Unicodes");
          dynamic_cast<KXT_Out<unsigned short>&>(*units).PutData(
              reinterpret_cast<const unsigned short*>(text.data()), static_cast<uint32_t>(text.size()));
        }
        if (r == 1) {
          run.SaveStyleRef(3, "StyleRef");
          run.AttrsSet().AddAttr(u"bold", u"on", map);
          run.SaveAttrsSet("Attrs{}");
        }
      }
    }
  }
}

}  // namespace testutil
