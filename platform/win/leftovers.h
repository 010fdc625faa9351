// What runs that stopped left beside a target: files named the way
// CreateFileBeside names them (".~", a process id, "-", a number, and for
// the project's own working documents kWorkingDocumentSuffix), and what
// the host adds to a staged PDF's name (".pdf", and its log's "_pdf.log"),
// whose process no longer runs and that no process holds locked
// (CreateFileBeside locks every file it makes for as long as its maker
// keeps it open, which also covers a maker on another machine sharing the
// folder).
//
// SweepLeftovers, after an output was put at `made`, removes those that are
// empty (a placeholder) or begin as `made` begins (an unfinished output of
// the same kind: the first 16 bytes of `made`, or all of a shorter
// leftover); working documents when `made` is a host document, and a
// staged PDF's log when `made` is a PDF.  A host document under a name
// without the working documents' suffix is never removed, nor what may be
// the start of one: an earlier release set the user's document aside under
// such a name, and a whole document cannot be told from it.  A host
// document is known as the host reads one (a JSON object whose "format" is
// "xthost document"), however it is spaced.  Every such leftover kept is
// named through NoteFile (file_notes.h).  A folder is swept at most once a
// minute for each kind of output made there, so that a run writing many
// targets into one folder reads it once, and a run that lasts meets what
// others leave there later.
#pragma once

#include <string>

namespace win {

// The name's end after the number of the project's own working documents
// (the import's own file, the stored copy).
constexpr char kWorkingDocumentSuffix[] = ".workdoc";

// What a name of CreateFileBeside's form names: an output's file (a staged
// PDF too), a working document, or the host's log of a staged PDF.
enum class BesideKind { kOutput, kWorkingDocument, kPdfLog };

// Whether `name` (a file name without folder) is one CreateFileBeside gives,
// or the host adds to; its process id in *pid, what it names in *kind
// (when given).
bool IsBesideName(const std::string& name, long* pid, BesideKind* kind = nullptr);

void SweepLeftovers(const std::string& made);

}  // namespace win
