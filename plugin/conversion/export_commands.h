// The export commands: the KXT export (action 9), the coordinates export
// (action 13), the XTags export (action 14) and open-and-export (action
// 11).  Their bodies are the ActionPerformed specialisations declared in
// plugin/xtension/actions.h.
//
// Actions 9, 13 and 14 are one procedure over the current document and the
// current request (CurrentRequest): the request is bound to the document,
// an opening block goes to the program log, a changed document is saved
// (asking with dialog 105 as the autoOverwriteSource setting says; each
// command remembers its own answer for "ask once"), the target is asked
// for (interactive) or made from the request (unattended, within the
// command's overwrite flag), and every layout is written: into a KXQ
// container that also stores the saved document, a coordinates file, or an
// XTags file.  The document is closed after a successful export of its
// last layout.  The result goes to the user ("Export done" 101, "Export
// failed" 112, alert 22100; suppressed when unattended) and to the
// command-outcome cell (conversion_globals.h): done where "Export done" is
// shown or suppressed, failed on every other way out.
//
// The commands never lose the user's work: a document that needs saving
// is never closed by them; a save without a file of the document's own
// (untitled) fails and writes nothing; a target that names the document's
// own file is refused; the output is written under a temporary name beside
// the target (platform/win/replacing_file.h) and takes the target's name
// only when the export succeeded and every byte reached the disk, so a
// failed export leaves no target of its own (except an XTags file whose
// story tags could not all be had: what was had is kept, and the export
// fails).  A host call that failed since the command began
// (support/host_result.h counts them) or a saved document that could not be
// stored fails the export the same way, with an "ERROR:" line.  An output
// that cannot be made or written is reported with the target's path and the
// system's reason.  Exceptions from the container and the exporters are
// logged ("ERROR:" and the closing frame),
// everything held is released, the document stays open, and the exception
// passes on to whoever fired the action.
//
// Open-and-export lets the user choose a host document, opens it (a file
// that is open already becomes current; when it is changed, alert 22200
// asks whether to save it and go on) and fires the KXT export.
// Host thread only.
#pragma once

#include "plugin/xtension/actions.h"
