// The host's current document: helpers that ask about it, opening a
// document as the current one (CurDocAPI::Open), and QuarkDoc, the
// counted wrapper of one document with its font list.  Host thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/xt/xt_doc_suites.h"
#include "plugin/qapi/q_font_list.h"
#include "support/ref_object.h"

// The id of the current document; -1 (0xFFFF) when there is none.
int16_t GetCurrentDocumentId();
// Whether there is a current document (its id, read as signed, is 0 or more).
bool IsValidDocument();
// The host's state bytes of the current document: it has no file of its own;
// its read-only byte, which the stand-in host sets for a document made on
// the Mac (the export writes "mac" for it).  False without a document.
bool IsCurrentDocumentUntitled();
bool IsCurrentDocumentReadOnly();
// Untitled, or state flag bit 0 or bit 1 set.
bool CurrentDocumentNeedsSave();
// Sets the state flags of the current document to 0; true.
bool ResetCurrentDocumentState();
// True at once when nothing needs saving; otherwise runs the host's save
// command and tells whether nothing needs saving afterwards.
bool SaveCurrentDocument();
// Why the host did not save a document into the file at `path`, from its
// answer `result`.  The host answers -36 for a read-only file, a file put
// at the document's name since it was opened and an I/O error alike: what
// the file and its folder show is said where it explains the answer.
std::string SaveFailureText(int32_t result, const std::string& path);
// The host's reference of the current document (its project); -1 without one.
int32_t QueryCurrentDocument();
// The number of open documents.
int32_t GetDocumentCount();
// The file spec of the current document: -43 at once for an untitled one, 12
// when its location cannot be had, else the result of making the spec; the
// spec is written only on success.
int16_t GetCurrentDocumentSpec(XTFileSpec& spec);

namespace CurDocAPI {
// Opens `spec` as the current document, when the current request's source
// exists on disk (flags 63 when `openFlag` is nonzero, else 31).  A spec
// other than the one the request names is opened all the same, after a
// warning line in the program log.  A nonzero host result counts as success
// only when exactly one more document is open afterwards.
bool Open(const XTFileSpec& spec, int32_t openFlag);
}  // namespace CurDocAPI

// Host references the import and the working text box collect, released
// (flag 1) by QuarkDoc::SaveIfInteractive.
std::vector<int32_t>& PendingHostObjects();

// LastSaveResult of a save the host was not asked for because a stop was
// requested of the server (support/stop_request.h).
constexpr int32_t kSaveStopped = -5100;

class QuarkDoc : public RefObject {
 public:
  // Wraps the current document: count 1, its id, window flag off, its
  // read-only byte, a new font list.
  QuarkDoc();

  // Opens `spec` (CurDocAPI::Open) and wraps the document it made current;
  // empty when the open failed or left the same document current.
  static RefHandle<QuarkDoc> Open(const XTFileSpec& spec, int32_t openFlag);

  // Makes this document current when another one is; returns the id that
  // was current before (-1 without any document, and then nothing changes).
  int16_t MakeCurrent();
  // 12 when there is no document, else GetCurrentDocumentSpec.
  int16_t GetFileSpec(XTFileSpec& spec);
  // Whether the current layout of this document was changed.
  bool IsLayoutModified();
  // Builds the font list again.
  void ReloadFonts();
  // Saves this document: at the current request's target when the request
  // is an import (type 5), else at its source; when that file has no spec
  // or the host answers -49 for it, at the document's own file.  False,
  // with an "ERROR:" line in the program log, when the host did not save.
  // Once a stop is requested of the server the host is asked for no save
  // (this one, SaveCopy, SaveAs): each fails at once (kSaveStopped); a
  // save the host began before the stop came completes.
  bool Save();
  // Writes a copy of this document into the file at `path`, as a save
  // would write it, to be read back at once; the document keeps its own
  // file and its state.  False, with the same "ERROR:" line, when the host
  // did not write it.
  bool SaveCopy(const std::string& path);
  // Saves this document at `path` and nowhere else, which makes that file
  // its own; false, with the same "ERROR:" line, when the host did not.
  bool SaveAs(const std::string& path);
  // Releases the pending host objects, then saves as Save does unless a
  // batch run (registry flag, a running batch control file) or server mode
  // is on.  False only when a save was made and failed.
  bool SaveIfInteractive();
  // The host's answer to the last save, copy or not (0 when it saved).
  int32_t LastSaveResult() const { return lastSaveResult_; }
  // The saves of this document into its own file (Save, SaveAs) that the
  // host made so far.
  int32_t SaveCount() const { return saveCount_; }

  bool ReadOnlyFlag() const { return readOnly; }
  bool PlatformFlag() const { return readOnly; }  // the same byte
  QFontList& fonts() { return *fonts_; }

  int16_t documentId = -1;
  // Set when destruction is to hand the document's window back to the host
  // (which closes the document).
  bool windowFlag = false;
  bool readOnly = false;

 protected:
  ~QuarkDoc() override;

 private:
  // False, with an "ERROR:" line, when the host cannot save documents.
  bool CanSave();
  using SaveEntry = int32_t (*XTDocumentStateSuite::*)(XTFile, uint32_t);
  // The host's answer to saving at `path` (which may name no file yet when
  // `newFile`) through `save`; kXTErrBusy when there is no spec or file
  // reference for it, or the file is open as another document.
  int32_t SaveThere(const std::string& path, bool newFile, SaveEntry save);
  // The host's answer to `save` of `file` (0: the document's own file);
  // kSaveStopped, without asking, once a stop is requested.
  int32_t AskHost(SaveEntry save, XTFile file);
  // Whether `result` is a save; else an "ERROR:" line naming `path`.
  bool Saved(int32_t result, const std::string& path);

  std::unique_ptr<QFontList> fonts_;
  int32_t lastSaveResult_ = 0;
  int32_t saveCount_ = 0;
};
