// Open and save dialogs and the folder picker.
#include <sys/stat.h>

#include "host/host.h"
#include "host/ui_engine.h"

namespace xthost {
namespace {

bool IsFolder(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string Filter(const XTFileFilter* filter) {
  if (filter == nullptr) return std::string();
  return " filter " + Transcript::Quote(filter->name ? filter->name : "") + " " +
         (filter->type ? filter->type : "");
}

}  // namespace

int32_t UiEngine::NewFileDialog(XTFileDialog* dialog) {
  if (host_.Fails("new_file_dialog")) return kXTErrInjected;
  if (dialog == nullptr) return kXTErrParam;
  *dialog = file_dialogs_.Add(UiFileDialog());
  return kXTOk;
}

int32_t UiEngine::DisposeFileDialog(XTFileDialog dialog) {
  if (host_.Fails("dispose_file_dialog")) return kXTErrInjected;
  return file_dialogs_.Remove(dialog) ? kXTOk : kXTErrParam;
}

int32_t UiEngine::RunOpenDialog(XTFileDialog dialog, XTString prompt, const XTFileFilter* filter) {
  if (host_.Fails("run_open_dialog")) return kXTErrInjected;
  UiFileDialog* found = file_dialogs_.Find(dialog);
  std::string text;
  if (found == nullptr || !Text(prompt, &text)) return kXTErrParam;
  found->outcome = 0;
  found->chosen.clear();
  Line("open dialog " + Transcript::Quote(text) + Filter(filter));
  std::string answer;
  if (!TakeAnswer(&answer)) {
    Line("open dialog no answer left: cancelled");
    return kXTOk;
  }
  answer = Trimmed(answer);
  if (answer == "cancel") {
    Line("open dialog cancelled");
    return kXTOk;
  }
  const std::string path = FolderTable::Absolute(answer);
  if (answer.empty() || !IsFile(path)) {
    Line("open dialog no file " + Transcript::Quote(answer) + ": cancelled");
    return kXTOk;
  }
  found->outcome = 1;
  found->chosen = path;
  Line("open dialog -> " + Transcript::Quote(path));
  return kXTOk;
}

int32_t UiEngine::RunSaveDialog(XTFileDialog dialog, XTString prompt, XTString name,
                                XTFile location, const XTFileFilter* filter) {
  if (host_.Fails("run_save_dialog")) return kXTErrInjected;
  UiFileDialog* found = file_dialogs_.Find(dialog);
  std::string text, proposed;
  if (found == nullptr || !Text(prompt, &text) || !Text(name, &proposed)) return kXTErrParam;
  std::string folder = FolderTable::Absolute(".");
  if (location != 0) {
    const FileObject* file = host_.files.Find(location);
    if (file == nullptr || file->path.empty()) return kXTErrParam;
    folder = FolderOf(file->path);
  }
  const std::string proposal = folder == "/" ? "/" + proposed : folder + "/" + proposed;
  found->outcome = 0;
  found->chosen.clear();
  Line("save dialog " + Transcript::Quote(text) + " " + Transcript::Quote(proposal) +
       Filter(filter));
  std::string answer;
  std::string path;
  if (!TakeAnswer(&answer)) {
    if (proposed.empty()) {
      Line("save dialog no answer left: cancelled");
      return kXTOk;
    }
    Line("save dialog no answer left: default " + Transcript::Quote(proposal));
    path = proposal;
  } else {
    answer = Trimmed(answer);
    if (answer == "cancel") {
      Line("save dialog cancelled");
      return kXTOk;
    }
    path = FolderTable::Absolute(answer);
    if (answer.empty() || !IsFolder(FolderOf(path)) || IsFolder(path)) {
      Line("save dialog cannot save as " + Transcript::Quote(answer) + ": cancelled");
      return kXTOk;
    }
    Line("save dialog -> " + Transcript::Quote(path));
  }
  found->outcome = 1;
  found->chosen = path;
  return kXTOk;
}

int32_t UiEngine::DialogOutcome(XTFileDialog dialog, int32_t* outcome) {
  if (host_.Fails("dialog_outcome")) return kXTErrInjected;
  const UiFileDialog* found = file_dialogs_.Find(dialog);
  if (found == nullptr || outcome == nullptr) return kXTErrParam;
  *outcome = found->outcome;
  return kXTOk;
}

int32_t UiEngine::ChosenSpec(XTFileDialog dialog, XTFileSpec* spec) {
  if (host_.Fails("chosen_spec")) return kXTErrInjected;
  const UiFileDialog* found = file_dialogs_.Find(dialog);
  if (found == nullptr || spec == nullptr || found->outcome != 1) return kXTErrParam;
  // A file about to be saved need not exist yet.
  const int32_t result = host_.folders().MakeSpec(0, 0, found->chosen, spec);
  return result == kXTErrNotFound ? kXTOk : result;
}

int32_t UiEngine::BrowseForFolder(XTString prompt, XTString initial, XTFileSpec* folder) {
  if (host_.Fails("browse_for_folder")) return kXTErrInjected;
  std::string text, start;
  if (folder == nullptr || !Text(prompt, &text) || !Text(initial, &start)) return kXTErrParam;
  Line("folder dialog " + Transcript::Quote(text) + " at " + Transcript::Quote(start));
  std::string answer;
  std::string path;
  if (!TakeAnswer(&answer)) {
    path = start.empty() ? std::string() : FolderTable::Absolute(start);
    if (path.empty() || !IsFolder(path)) {
      Line("folder dialog no answer left: cancelled");
      return kXTErrCancelled;
    }
    Line("folder dialog no answer left: default " + Transcript::Quote(path));
  } else {
    answer = Trimmed(answer);
    if (answer == "cancel") {
      Line("folder dialog cancelled");
      return kXTErrCancelled;
    }
    path = FolderTable::Absolute(answer);
    if (answer.empty() || !IsFolder(path)) {
      Line("folder dialog no folder " + Transcript::Quote(answer) + ": cancelled");
      return kXTErrCancelled;
    }
    Line("folder dialog -> " + Transcript::Quote(path));
  }
  return host_.folders().MakeSpec(0, 0, path, folder);
}

}  // namespace xthost
