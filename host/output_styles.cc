#include "host/output_styles.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <climits>
#include <memory>

namespace xthost {

const char kDefaultPdfStyleName[] = "Default PDF Output Style";

namespace {

struct FreeDoc {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
struct FreeText {
  void operator()(xmlChar* text) const { xmlFree(text); }
};

bool Named(const xmlNode* node, const char* name) {
  return node->type == XML_ELEMENT_NODE && xmlStrcmp(node->name, BAD_CAST name) == 0;
}

// The attribute's value; *present tells whether it is there.
std::string Attribute(xmlNode* node, const char* name, bool* present = nullptr) {
  std::unique_ptr<xmlChar, FreeText> value(xmlGetProp(node, BAD_CAST name));
  if (present != nullptr) *present = value != nullptr;
  return value ? reinterpret_cast<const char*>(value.get()) : "";
}

// The first child element named `name`, or null.
xmlNode* Child(xmlNode* node, const char* name) {
  for (xmlNode* child = node->children; child != nullptr; child = child->next) {
    if (Named(child, name)) return child;
  }
  return nullptr;
}

// Title and author from the style's "XPDF" settings, when it has them.
void ReadDocInfo(xmlNode* style_node, OutputStyle* style) {
  for (xmlNode* settings = style_node->children; settings != nullptr; settings = settings->next) {
    if (!Named(settings, "OutputSettings") || Attribute(settings, "XTid") != "XPDF") continue;
    if (xmlNode* info = Child(settings, "DocInfo")) {
      style->title = Attribute(info, "Title");
      style->author = Attribute(info, "Author");
    }
    return;
  }
}

}  // namespace

uint32_t MediumCode(const std::string& name) {
  if (name.size() != 4) return 0;
  uint32_t code = 0;
  for (int i = 3; i >= 0; --i) code = (code << 8) | static_cast<unsigned char>(name[i]);
  return code;
}

bool ReadOutputStyles(const char* bytes, std::size_t size, std::vector<OutputStyle>* styles,
                      std::string* error) {
  if (size > static_cast<std::size_t>(INT_MAX)) {
    *error = "the document is too large";
    return false;
  }
  std::unique_ptr<xmlDoc, FreeDoc> doc(
      xmlReadMemory(bytes, static_cast<int>(size), "styles.xml", nullptr,
                    XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
  if (!doc) {
    *error = "the document is no well-formed XML";
    return false;
  }
  xmlNode* root = xmlDocGetRootElement(doc.get());
  if (root == nullptr || !Named(root, "OutputStyles")) {
    *error = "the root is not OutputStyles";
    return false;
  }
  std::vector<OutputStyle> read;
  for (xmlNode* node = root->children; node != nullptr; node = node->next) {
    if (!Named(node, "OutputStyle")) continue;
    OutputStyle style;
    style.name = Attribute(node, "Name");
    style.medium = MediumCode(Attribute(node, "OutputMedia"));
    style.default_style = Attribute(node, "DefaultStyle") == "true";
    if (style.name.empty() || style.medium == 0) {
      *error = "a style without a name or medium";
      return false;
    }
    ReadDocInfo(node, &style);
    read.push_back(std::move(style));
  }
  *styles = std::move(read);
  return true;
}

OutputStyleList::OutputStyleList() {
  OutputStyle pdf;
  pdf.name = kDefaultPdfStyleName;
  pdf.medium = MediumCode("XPDF");
  pdf.default_style = true;
  pdf.title = kDefaultPdfStyleName;
  pdf.author = "xthost";
  Add(pdf);
}

const OutputStyle* OutputStyleList::Find(int32_t id) const {
  for (const OutputStyle& style : styles_) {
    if (style.id == id) return &style;
  }
  return nullptr;
}

const OutputStyle* OutputStyleList::FindName(const std::string& name) const {
  for (const OutputStyle& style : styles_) {
    if (style.name == name) return &style;
  }
  return nullptr;
}

const OutputStyle* OutputStyleList::DefaultOf(uint32_t medium) const {
  for (const OutputStyle& style : styles_) {
    if (style.medium == medium && style.default_style) return &style;
  }
  return nullptr;
}

int32_t OutputStyleList::Add(OutputStyle style) {
  if (FindName(style.name) != nullptr) return 0;
  style.id = next_id_++;
  // Only the host's own style is the default of its medium.
  if (!styles_.empty()) style.default_style = false;
  styles_.push_back(std::move(style));
  return styles_.back().id;
}

}  // namespace xthost
