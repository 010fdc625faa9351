#include "platform/win/file_notes.h"

namespace win {
namespace {

FileNoteReporter g_reporter = nullptr;

}  // namespace

void SetFileNoteReporter(FileNoteReporter reporter) { g_reporter = reporter; }

void NoteFile(const std::string& line) {
  if (g_reporter != nullptr) g_reporter(line);
}

}  // namespace win
