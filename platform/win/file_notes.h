// Lines about files that the platform layer met and that the program's log
// should name (a leftover kept beside a target, an owner a replaced file
// could not keep): each is handed whole to the reporter set for this
// module, none by default.
#pragma once

#include <string>

namespace win {

using FileNoteReporter = void (*)(const std::string& line);
// Sets the reporter for this module; null: none.
void SetFileNoteReporter(FileNoteReporter reporter);

// Hands `line` to the reporter, if one is set.
void NoteFile(const std::string& line);

}  // namespace win
