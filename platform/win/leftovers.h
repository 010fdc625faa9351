// What runs that stopped left beside a target: files named the way
// CreateFileBeside names them (".~", a process id, "-", a number, and for
// the project's own working documents kWorkingDocumentSuffix), and what
// the host adds to a staged PDF's name (".pdf", and its log's "_pdf.log").
// The process id tells nothing of whether the run is gone (a run in
// another pid namespace or on another machine sharing the folder has a
// number of its own, and a dead run's number may be in use again): a
// leftover is taken only when no process holds it locked (CreateFileBeside
// locks what it makes while its maker keeps it open) and it was last
// written kLeftoverSeconds or more before the output just made.
//
// SweepLeftovers, after an output was put at `made`, removes such
// leftovers that hold nothing (empty, or only zeros) or what their name
// says: an output that begins as `made` begins (an unfinished output of
// the same kind: the first 16 bytes of `made`, or all of a shorter
// leftover), a working document that is a host document or the start of
// one, the host's log of a staged PDF (also under an output's name).  A
// host document under a name without the working documents' suffix is
// never removed, nor what may be the start of one: an earlier release set
// the user's document aside under such a name, and a whole document cannot
// be told from it.  A host document is known as the host reads one (a
// JSON object whose "format" is "xthost document"), however it is spaced.
// Every other such leftover old enough is kept and named through NoteFile
// (file_notes.h).  A folder is swept at most once a minute for each kind
// of output made there, so that a run writing many targets into one folder
// reads it once, and a run that lasts meets what others leave there later.
#pragma once

#include <string>

namespace win {

// The name's end after the number of the project's own working documents
// (the import's own file, the stored copy).
constexpr char kWorkingDocumentSuffix[] = ".workdoc";

// How long before an output is made a leftover must have been written last
// to be taken: a live run leaves a file unlocked for seconds at most (the
// host's staged PDF until the plug-in renames it, a saved working document
// until its commit locks it again); ten minutes also cover a slow shared
// folder and machines whose clocks differ by minutes.
constexpr long kLeftoverSeconds = 10 * 60;

// What a name of CreateFileBeside's form names: an output's file (a staged
// PDF too), a working document, or the host's log of a staged PDF.
enum class BesideKind { kOutput, kWorkingDocument, kPdfLog };

// Whether `name` (a file name without folder) is one CreateFileBeside gives,
// or the host adds to; its process id in *pid, what it names in *kind
// (when given).
bool IsBesideName(const std::string& name, long* pid, BesideKind* kind = nullptr);

void SweepLeftovers(const std::string& made);

}  // namespace win
