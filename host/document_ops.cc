#include "host/document_ops.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "host/compose.h"
#include "host/doc_json.h"
#include "host/utf.h"

namespace xthost {
namespace {

std::string BaseName(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Quoted(const std::u16string& units) {
  std::string text;
  return Utf16ToUtf8(units, &text) ? Transcript::Quote(text) : "(not UTF-16)";
}

std::string Points(int32_t fixed) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%g", fixed / 65536.0);
  return buffer;
}

std::string Hex16(uint32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%04x", value & 0xFFFF);
  return buffer;
}

std::string Range(int32_t start, int32_t end) {
  return "[" + std::to_string(start) + "," + std::to_string(end) + ")";
}

std::u16string Slice(const Story& story, int32_t start, int32_t end) {
  return story.text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start));
}

// Selects units `start` up to `end` of story `story_id` of the current
// document, in the first box that shows it, with the box's text open; the
// line "select story S START END box B".  False with the reason in *error.
bool SelectStoryText(Host& host, const std::string& value, std::string* error) {
  std::istringstream in(value);
  int32_t story_id = 0;
  int32_t start = 0;
  int32_t end = 0;
  std::string rest;
  if (!(in >> story_id >> start >> end) || in >> rest) {
    *error = "needs STORY START END";
    return false;
  }
  DocumentContent* content = CurrentContent(host);
  const Story* story = content->FindStory(story_id);
  const auto box = std::find_if(content->boxes.begin(), content->boxes.end(),
                                [&](const Box& candidate) { return candidate.story == story_id; });
  if (story == nullptr || box == content->boxes.end()) {
    *error = "no box shows story " + std::to_string(story_id);
    return false;
  }
  if (start < 0 || start > end || end > story->length()) {
    *error = "no range " + Range(start, end) + " in story " + std::to_string(story_id) +
             " of length " + std::to_string(story->length());
    return false;
  }
  content->current_box = box->id;
  content->text_open = true;
  content->selection_start = start;
  content->selection_end = end;
  host.transcript().Line("select story " + std::to_string(story_id) + " " + std::to_string(start) +
                         " " + std::to_string(end) + " box " + std::to_string(box->id));
  return true;
}

// Gives the document the state its file holds once saved (nothing
// pending, a file of its own, no unused records) and puts its state flags
// and untitled state back when it goes, unless kept by Keep.
class SavedState {
 public:
  explicit SavedState(DocumentContent& content)
      : content_(content), flags_(content.flags), untitled_(content.untitled) {
    content.flags = 0;
    content.untitled = false;
    content.DropUnusedRecords();
  }
  ~SavedState() {
    if (kept_) return;
    content_.flags = flags_;
    content_.untitled = untitled_;
  }
  SavedState(const SavedState&) = delete;
  SavedState& operator=(const SavedState&) = delete;
  // The document keeps the saved state.
  void Keep() { kept_ = true; }

 private:
  DocumentContent& content_;
  uint32_t flags_;
  bool untitled_;
  bool kept_ = false;
};

// The transcript line and the note on standard error of a save refused
// for a reason the plug-in's result code does not tell.
void NotSaved(Host& host, int32_t id, const std::string& error) {
  const std::string line = "ERROR: document " + std::to_string(id) + " not saved: " + error;
  host.transcript().Line(line);
  std::fprintf(stderr, "xthost: %s\n", line.c_str());
}

}  // namespace

DocumentContent* ContentOf(Host& host, int32_t id) {
  Document* document = host.app().FindLayoutDocument(id, nullptr);
  return document != nullptr ? document->content.get() : nullptr;
}

DocumentContent* CurrentContent(Host& host) {
  return ContentOf(host, host.app().current_document);
}

int32_t OpenDocumentFile(Host& host, const std::string& path, int32_t flags, int32_t* id,
                         std::string* error) {
  const std::string absolute = FolderTable::Absolute(path);
  // A file that is open already: its document becomes current, nothing new
  // is opened.
  for (const Document& open : host.app().documents) {
    if (open.path != absolute || open.content == nullptr || open.content->untitled) continue;
    host.app().current_document = open.id;
    host.app().front_window = open.id;
    host.transcript().Line("open document " + std::to_string(open.id) + " " +
                           Transcript::Quote(BaseName(absolute)) + " already open, current");
    if (id != nullptr) *id = open.id;
    return kXTOk;
  }
  auto content = std::make_shared<DocumentContent>();
  FileStamp stamp;
  const int32_t result = LoadDocumentFile(absolute, content.get(), error, &stamp);
  if (result != kXTOk) return result;
  const int32_t opened = host.app().OpenDocument(
      absolute, flags, static_cast<int32_t>(content->layouts.size()));
  if (opened + host.app().FindDocument(opened)->ids - 1 > kMaxDocumentId) {
    host.app().CloseDocument(opened);
    *error = "no document id is left";
    return kXTErrRefused;
  }
  Document* document = host.app().FindDocument(opened);
  document->content = std::move(content);
  document->stamps[absolute] = stamp;
  host.transcript().Line("open document " + std::to_string(opened) + " " +
                         Transcript::Quote(BaseName(absolute)) + " flags " +
                         std::to_string(flags));
  if (id != nullptr) *id = opened;
  return kXTOk;
}

int32_t SaveDocument(Host& host, int32_t id, const std::string& path, std::string* error) {
  Document* document = host.app().FindDocument(id);
  if (document == nullptr || document->content == nullptr) {
    *error = "no such document";
    return kXTErrParam;
  }
  DocumentContent& content = *document->content;
  std::string target = path.empty() ? document->path : FolderTable::Absolute(path);
  if (path.empty() && content.untitled) {
    *error = "the document has no file of its own";
    return kXTErrNotFound;
  }
  for (const Document& other : host.app().documents) {
    if (other.id != id && other.path == target) {
      *error = "the file is open as document " + std::to_string(other.id);
      return kXTErrBusy;
    }
  }
  // The file holds the document as saved; the document keeps its state
  // when the file cannot be written.
  SavedState saved(content);
  // Saved at a file it was read from or saved to, the document replaces
  // only that file as it was then: a file another run put there since is
  // kept.
  const auto known = document->stamps.find(target);
  const FileStamp* before = known == document->stamps.end() ? nullptr : &known->second;
  FileStamp written;
  const int32_t result = SaveDocumentFile(target, content, error, before, &written);
  if (result != kXTOk) {
    if ((before != nullptr && ReplacedSince(target, *before)) || TooLargeToOpen(*error)) NotSaved(host, id, *error);
    return result;
  }
  saved.Keep();
  document->path = target;
  document->stamps[target] = written;
  host.transcript().Line("save document " + std::to_string(id) + " " +
                         Transcript::Quote(BaseName(target)));
  return kXTOk;
}

int32_t SaveDocumentCopy(Host& host, int32_t id, const std::string& path, std::string* error) {
  Document* document = host.app().FindDocument(id);
  if (document == nullptr || document->content == nullptr) {
    *error = "no such document";
    return kXTErrParam;
  }
  const std::string target = FolderTable::Absolute(path);
  for (const Document& open : host.app().documents) {
    if (open.path == target) {
      *error = "the file is open as document " + std::to_string(open.id);
      return kXTErrBusy;
    }
  }
  // The bytes a save would write; the document keeps its own state.
  DocumentContent& content = *document->content;
  const int32_t result = [&] {
    const SavedState saved(content);
    return SaveDocumentCopyFile(target, content, error);
  }();
  if (result == kXTOk) {
    host.transcript().Line("save document " + std::to_string(id) + " " + Transcript::Quote(BaseName(target)) +
                           " copy");
  } else if (TooLargeToOpen(*error)) {
    NotSaved(host, id, *error);
  }
  return result;
}

bool CloseDocument(Host& host, int32_t id, const std::string& how) {
  const Document* document = host.app().FindDocument(id);
  if (document == nullptr) return false;
  host.transcript().Line("close document " + std::to_string(id) + " " +
                         Transcript::Quote(BaseName(document->path)) + " " + how);
  return host.app().CloseDocument(id);
}

std::vector<std::string> DescribeStories(const DocumentContent& content) {
  std::vector<std::string> lines;
  for (const Story& story : content.stories) {
    lines.push_back("story " + std::to_string(story.id) + " length " +
                    std::to_string(story.length()));
    int32_t start = 0;
    for (std::size_t i = 0; i < story.paragraphs.size(); ++i) {
      const ParagraphRun& run = story.paragraphs[i];
      const XTParaFormatRecord& format = content.formats[static_cast<std::size_t>(run.format)];
      lines.push_back("  paragraph " + std::to_string(i) + " " +
                      Range(start, start + run.length) + " format " + std::to_string(run.format) +
                      " style " + std::to_string(format.style) + " " +
                      Quoted(Slice(story, start, start + run.length)));
      start += run.length;
    }
    start = 0;
    for (std::size_t i = 0; i < story.runs.size(); ++i) {
      const CharacterRun& run = story.runs[i];
      const XTCharAttrRecord& a = content.attributes[static_cast<std::size_t>(run.attributes)];
      lines.push_back("  run " + std::to_string(i) + " " + Range(start, start + run.length) +
                      " attributes " + std::to_string(run.attributes) + " font " +
                      std::to_string(a.font) + " faces " + Hex16(a.faces) + " size " +
                      Points(a.size) + " shift " + Points(a.shift) + " color " +
                      std::to_string(a.color) + " flags " + Hex16(a.flags) + " opcode " +
                      std::to_string(a.opcode) + " object " + std::to_string(a.object) +
                      (a.mark != 0 ? " mark " + std::to_string(a.mark) : std::string()) + " " +
                      Quoted(Slice(story, start, start + run.length)));
      start += run.length;
    }
  }
  return lines;
}

bool RunDocumentCommand(Host& host, const std::string& name, const std::string& value) {
  std::string error;
  const int32_t current = host.app().current_document;
  if (name == "open") {
    const int32_t result = OpenDocumentFile(host, value, 0, nullptr, &error);
    if (result != kXTOk) error = Transcript::Quote(value) + " " + error;
  } else if (current == 0 &&
             (name == "save" || name == "close" || name == "stories" || name == "select")) {
    error = "no current document";
  } else if (name == "save") {
    SaveDocument(host, current, "", &error);
  } else if (name == "close") {
    CloseDocument(host, current, "closed");
  } else if (name == "stories") {
    for (const std::string& line : DescribeStories(*CurrentContent(host))) {
      host.transcript().Line(line);
    }
  } else if (name == "select") {
    SelectStoryText(host, value, &error);
  } else {
    error = "unknown command";
  }
  return FinishCommand(host, name, error);
}

bool FinishCommand(Host& host, const std::string& name, const std::string& error) {
  if (error.empty()) return true;
  host.transcript().Line(name + " failed: " + error);
  std::fprintf(stderr, "xthost: %s failed: %s\n", name.c_str(), error.c_str());
  return false;
}

int32_t BoxHandle(int32_t document, int32_t box) { return document << 16 | (box & 0xFFFF); }

int32_t LayoutHandle(int32_t document, int32_t layout_index) {
  return document << 16 | ((layout_index + 1) & 0xFFFF);
}

}  // namespace xthost
