// The PDF XTension's suite (XPDa), the new-project entry of the project
// table, and the xthost commands on output styles and PDF export.
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "host/document_ops.h"
#include "host/folders.h"
#include "host/pdf_commands.h"
#include "host/pdf_export.h"
#include "host/suite_tables.h"
#include "host/utf.h"
#include "platform/win/replacing_file.h"
#include "platform/xt/xt_records.h"

namespace xthost {
namespace {

std::string FileName(const std::string& path) { return std::filesystem::path(path).filename().string(); }

std::string MediumName(uint32_t medium) {
  std::string name;
  for (int i = 0; i < 4; ++i) name += static_cast<char>((medium >> (8 * i)) & 0xFF);
  return name;
}

bool ReadWholeFile(const std::string& path, std::string* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// Sets of styles read but not yet added, by handle.
HandleTable<std::vector<OutputStyle>>& StyleSets() {
  static HandleTable<std::vector<OutputStyle>> sets;
  return sets;
}

bool ReadStyleFile(const std::string& path, std::vector<OutputStyle>* styles, int32_t* result,
                   std::string* error) {
  std::string bytes;
  if (!ReadWholeFile(path, &bytes)) {
    *error = "cannot read " + path;
    *result = kXTErrNotFound;
    return false;
  }
  if (!ReadOutputStyles(bytes.data(), bytes.size(), styles, error)) {
    *result = kXTErrParam;
    return false;
  }
  *result = kXTOk;
  return true;
}

// The application list has one handle.
constexpr XTStyleList kTheList = 1;

// --- XPDa ---

int32_t StyleList(XTProject, XTStyleList* list) {
  Host& host = Host::Current();
  if (host.Fails("style_list")) return kXTErrInjected;
  if (list == nullptr) return kXTErrParam;
  *list = kTheList;
  return kXTOk;
}

int32_t FindStyle(XTStyleList list, XTString name, XTStyle* style) {
  Host& host = Host::Current();
  if (host.Fails("find_style")) return kXTErrInjected;
  const std::u16string* units = host.strings.Find(name);
  std::string text;
  if (list != kTheList || units == nullptr || style == nullptr || !Utf16ToUtf8(*units, &text)) return kXTErrParam;
  const OutputStyle* found = host.app().output_styles.FindName(text);
  if (found == nullptr) return kXTErrNotFound;
  *style = found->id;
  return kXTOk;
}

int32_t DefaultStyle(XTStyleList list, uint32_t medium, XTStyle* style) {
  Host& host = Host::Current();
  if (host.Fails("default_style")) return kXTErrInjected;
  if (list != kTheList || style == nullptr) return kXTErrParam;
  const OutputStyle* found = host.app().output_styles.DefaultOf(medium);
  if (found == nullptr) return kXTErrNotFound;
  *style = found->id;
  return kXTOk;
}

int32_t ReadStyles(XTFile file, XTStyleSet* set, int32_t* count) {
  Host& host = Host::Current();
  if (host.Fails("read_styles")) return kXTErrInjected;
  const FileObject* object = host.files.Find(file);
  if (object == nullptr || set == nullptr || count == nullptr) return kXTErrParam;
  if (object->path.empty()) return kXTErrNotFound;
  std::vector<OutputStyle> styles;
  int32_t result = kXTOk;
  std::string error;
  if (!ReadStyleFile(object->path, &styles, &result, &error)) {
    host.transcript().Line("output styles unread from " + Transcript::Quote(FileName(object->path)) + ": " + error);
    return result;
  }
  *count = static_cast<int32_t>(styles.size());
  *set = StyleSets().Add(std::move(styles));
  return kXTOk;
}

int32_t AddStyles(XTStyleList list, XTStyleSet set) {
  Host& host = Host::Current();
  if (host.Fails("add_styles")) return kXTErrInjected;
  std::vector<OutputStyle>* styles = StyleSets().Find(set);
  if (list != kTheList || styles == nullptr) return kXTErrParam;
  for (const OutputStyle& style : *styles) {
    const int32_t id = host.app().output_styles.Add(style);
    if (id != 0) host.transcript().Line("output style " + std::to_string(id) + " added " + Transcript::Quote(style.name));
  }
  return kXTOk;
}

int32_t DisposeStyles(XTStyleSet set) {
  Host& host = Host::Current();
  if (host.Fails("dispose_styles")) return kXTErrInjected;
  return StyleSets().Remove(set) ? kXTOk : kXTErrParam;
}

int32_t SelectStyle(XTStyleList list, XTStyle style) {
  Host& host = Host::Current();
  if (host.Fails("select_style")) return kXTErrInjected;
  const OutputStyle* found = host.app().output_styles.Find(style);
  if (list != kTheList || found == nullptr) return kXTErrParam;
  host.app().output_styles.selected = style;
  host.transcript().Line("output style selected " + Transcript::Quote(found->name));
  return kXTOk;
}

int32_t SetExportSwitch(int32_t value) {
  Host& host = Host::Current();
  if (host.Fails("set_export_switch")) return kXTErrInjected;
  host.app().pdf_export.export_switch = value;
  return kXTOk;
}

int32_t SetOutputFile(XTFile file) {
  Host& host = Host::Current();
  if (host.Fails("set_output_file")) return kXTErrInjected;
  const FileObject* object = host.files.Find(file);
  if (object == nullptr) return kXTErrParam;
  PdfExportState& state = host.app().pdf_export;
  state.handed = true;
  state.output = object->path;
  return kXTOk;
}

int32_t ExportProject(XTProject project, uint32_t kind, int32_t) {
  Host& host = Host::Current();
  if (host.Fails("export_project")) return kXTErrInjected;
  if (kind != kXTExportPdf) return kXTErrRefused;
  std::string error;
  return ExportPdf(host, project, "", &error);
}

// The host log of an export, beside its output.
void WriteExportLog(Host& host, const std::string& log, const std::string& like, int32_t project,
                    const std::string& pdf, const OutputStyle& style, int32_t pages) {
  // No wider than the file the host was asked to write at.
  win::ReplacingFile file(log, "", like);
  std::ostream& out = file.stream();
  const HostTime t = host.app().clock.Now();
  char stamp[40];
  std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
  out << stamp << " PDF export of document " << project << "\n"
      << "style: " << style.name << "\n"
      << "pages: " << pages << "\n"
      << "file: " << pdf << "\n";
  file.Commit();  // a log that cannot be written is done without
}

}  // namespace

int32_t NewProject(XTString name, XTString layout, int32_t width, int32_t height, const int32_t* margins,
                   XTProject* project) {
  Host& host = Host::Current();
  if (host.Fails("new_project")) return kXTErrInjected;
  const std::u16string* name_units = host.strings.Find(name);
  const std::u16string* layout_units = host.strings.Find(layout);
  std::string name_text, layout_text, error;
  if (name_units == nullptr || layout_units == nullptr || project == nullptr ||
      !Utf16ToUtf8(*name_units, &name_text) || !Utf16ToUtf8(*layout_units, &layout_text)) {
    return kXTErrParam;
  }
  return NewProjectDocument(host, name_text, layout_text, width, height, margins, project, &error);
}

const XTPdfSuite kPdfSuite = {
    kXTSuiteXPDF, StyleList,    FindStyle,       DefaultStyle,  ReadStyles,   AddStyles,
    DisposeStyles, SelectStyle, SetExportSwitch, SetOutputFile, ExportProject,
};

int32_t ExportPdf(Host& host, int32_t project, const std::string& chosen, std::string* error) {
  const std::string prefix = "pdf export document " + std::to_string(project);
  DocumentContent* content = ContentOf(host, project);
  if (content == nullptr) {
    *error = "no such document";
    host.transcript().Line(prefix + " failed: " + *error);
    return kXTErrParam;
  }
  PdfExportState& state = host.app().pdf_export;
  if (state.running) {
    *error = "an export is running";
    return kXTErrRefused;
  }
  state = PdfExportState();
  state.running = true;
  state.handed = !chosen.empty();
  state.output = chosen.empty() ? "" : FolderTable::Absolute(chosen);
  host.app().output_styles.selected = 0;
  XTPdfRec record{kXTPdfContinuation, project, 3};
  host.Deliver(&record);
  const PdfExportState handed = state;
  state = PdfExportState();
  if (!handed.handed || handed.output.empty()) {
    *error = "no output file";
    host.transcript().Line(prefix + " failed: " + *error);
    return kXTErrNotFound;
  }
  std::string pdf = handed.output;
  const char* add = std::getenv("XTHOST_PDF_ADD_EXTENSION");
  if (add != nullptr && std::string(add) == "1") pdf += ".pdf";
  OutputStyleList& styles = host.app().output_styles;
  const OutputStyle* style = styles.Find(styles.selected);
  if (style == nullptr) style = styles.DefaultOf(kXTMediumPdf);
  OutputStyle used = style != nullptr ? *style : OutputStyle();
  styles.selected = 0;
  int system_error = 0;
  // Where ".pdf" is added, the file made is no wider than the one named.
  if (!WriteLayoutPdf(*content, pdf, used, host.app().clock.Now(), error, &system_error, handed.output)) {
    host.transcript().Line(prefix + " failed: " + Transcript::Quote(pdf) + ": " + *error);
    return system_error == ENOSPC || system_error == EDQUOT ? kXTErrDiskFull : kXTErrIo;
  }
  const int32_t pages = content->layouts[static_cast<std::size_t>(content->current_layout)].PageCount();
  WriteExportLog(host, handed.output + "_pdf.log", handed.output, project, pdf, used, pages);
  host.transcript().Line(prefix + " to " + Transcript::Quote(FileName(pdf)) + " style " +
                         Transcript::Quote(used.name) + " pages " + std::to_string(pages));
  return kXTOk;
}

int32_t ImportOutputStyles(Host& host, const std::string& path, int32_t* added, std::string* error) {
  std::vector<OutputStyle> styles;
  int32_t result = kXTOk;
  if (!ReadStyleFile(FolderTable::Absolute(path), &styles, &result, error)) return result;
  *added = 0;
  for (const OutputStyle& style : styles) {
    if (host.app().output_styles.Add(style) != 0) ++*added;
  }
  host.transcript().Line("output styles imported " + std::to_string(*added) + " from " +
                         Transcript::Quote(FileName(path)));
  return kXTOk;
}

int32_t NewProjectDocument(Host& host, const std::string& name, const std::string& layout, int32_t width,
                           int32_t height, const int32_t* margins, int32_t* id, std::string* error) {
  if (name.empty() || width <= 0 || height <= 0 || margins == nullptr) {
    *error = "no name, size or margins";
    return kXTErrParam;
  }
  for (int i = 0; i < 4; ++i) {
    if (margins[i] < 0) {
      *error = "a negative margin";
      return kXTErrParam;
    }
  }
  if (int64_t{margins[0]} + margins[2] >= height || int64_t{margins[1]} + margins[3] >= width) {
    *error = "the margins leave no room";
    return kXTErrParam;
  }
  auto content = std::make_shared<DocumentContent>();
  content->untitled = true;
  Layout print;
  if (!Utf8ToUtf16(layout, &print.name)) {
    *error = "the layout name is no UTF-8";
    return kXTErrParam;
  }
  Page page;
  page.width = width;
  page.height = height;
  print.spreads.push_back(Spread{{page}});
  content->layouts.push_back(std::move(print));
  const int32_t opened = host.app().OpenDocument(name, 0, 1);
  if (opened > kMaxDocumentId) {
    host.app().CloseDocument(opened);
    *error = "no document id is left";
    return kXTErrRefused;
  }
  host.app().FindDocument(opened)->content = std::move(content);
  host.transcript().Line("new document " + std::to_string(opened) + " " + Transcript::Quote(name));
  *id = opened;
  return kXTOk;
}

bool RunPdfCommand(Host& host, const std::string& name, const std::string& value) {
  std::string error;
  if (name == "output-styles") {
    for (const OutputStyle& style : host.app().output_styles.styles()) {
      host.transcript().Line("output style " + std::to_string(style.id) + " " + Transcript::Quote(style.name) +
                             " medium " + MediumName(style.medium) + (style.default_style ? " default" : ""));
    }
  } else if (name == "import-output-styles") {
    int32_t added = 0;
    ImportOutputStyles(host, value, &added, &error);
  } else if (name == "pdf") {
    if (host.app().current_document == 0) {
      error = "no current document";
    } else {
      ExportPdf(host, host.app().current_document, value, &error);
    }
  } else {
    error = "unknown command";
  }
  return FinishCommand(host, name, error);
}

}  // namespace xthost
