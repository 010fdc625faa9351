// What runs that stopped left beside a target: files named the way
// CreateFileBeside names them (".~", a process id, "-", a number) whose
// process no longer runs and that no process holds locked (CreateFileBeside
// locks every file it makes for as long as its maker keeps it open, which
// also covers a maker on another machine sharing the folder).
//
// SweepLeftovers, after an output was put at `made`, removes those that are
// empty (a placeholder) or begin as `made` begins (an unfinished output of
// the same kind: the first 16 bytes of `made`, or all of a shorter
// leftover).  A host document is never removed, nor what may be the start
// of one: an import that stopped may have set the user's earlier document
// aside under such a name, and a whole document cannot be told from it.  A
// host document is known as the host reads one (a JSON object whose
// "format" is "xthost document"), however it is spaced.  Every leftover
// kept is named through NoteFile (file_notes.h).  A folder is swept once
// per process for each kind of output made there, so that a run writing
// many targets into one folder reads it once.
#pragma once

#include <string>

namespace win {

// Whether `name` (a file name without folder) is one CreateFileBeside gives;
// its process id in *pid.
bool IsBesideName(const std::string& name, long* pid);

void SweepLeftovers(const std::string& made);

}  // namespace win
