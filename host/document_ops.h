// The host's documents as a whole: opening a document file as the new
// current document, saving, closing, selecting text, and a printout of the
// stories.  The document suites and the xthost commands share these, so
// both write the same transcript lines:
//   open document ID "NAME" flags F
//   save document ID "NAME"
//   save document ID "NAME" copy
//   close document ID "NAME" HOW
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/document.h"
#include "host/host.h"

namespace xthost {

// The content of open document `id`, or null.
DocumentContent* ContentOf(Host& host, int32_t id);
// The content of the current document, or null.
DocumentContent* CurrentContent(Host& host);

// Document ids are 16-bit for the plug-in; a host that has opened this many
// documents opens no more.
constexpr int32_t kMaxDocumentId = 0x7FFF;

// Reads the document file at `path` and makes it the new current document,
// its id in *id.  0, or the failure of LoadDocumentFile with the reason in
// *error (kXTErrRefused when no document id is left).
int32_t OpenDocumentFile(Host& host, const std::string& path, int32_t flags, int32_t* id,
                         std::string* error);

// Saves document `id` at `path`, or at its own file when `path` is empty;
// afterwards it is titled with that file and its state flags are 0.
// kXTErrParam for an unknown id, kXTErrNotFound for an untitled document
// saved to its own file, kXTErrBusy when `path` is the file of another open
// document, else the result of SaveDocumentFile.
int32_t SaveDocument(Host& host, int32_t id, const std::string& path, std::string* error);

// Writes document `id` as a save would into the file at `path`, as a copy
// (SaveDocumentCopyFile): the document keeps its own file, its state flags
// and what it knows of its files.  kXTErrParam for an unknown id,
// kXTErrBusy when `path` is the file of an open document (its own too),
// else the result of SaveDocumentCopyFile.
int32_t SaveDocumentCopy(Host& host, int32_t id, const std::string& path, std::string* error);

// Closes document `id` without saving; `how` ends the transcript line.
// False for an unknown id.
bool CloseDocument(Host& host, int32_t id, const std::string& how);

// Lines that show the stories of a document, each story as
//   story ID length N
//     paragraph I [START,END) format F style S "TEXT"
//     run I [START,END) attributes A font F faces 0xFFFF size PT shift X
//       color C flags 0xFFFF opcode O object B "TEXT"
// (one line per run), with texts quoted as the transcript quotes them.
std::vector<std::string> DescribeStories(const DocumentContent& content);

// The xthost commands on documents: "open" (with the path in `value`),
// "save" and "close" (the current document), "stories" (DescribeStories of
// the current document, into the transcript), "select" (`value` "STORY
// START END": those units of the story selected in the first box that shows
// it, its text open; the line "select story S START END box B").  False
// when the command failed, with the line "NAME failed: REASON" in the
// transcript and on standard error.
bool RunDocumentCommand(Host& host, const std::string& name, const std::string& value);

// The end of an xthost command: true when `error` is empty, else false with
// "NAME failed: ERROR" in the transcript and on standard error.
bool FinishCommand(Host& host, const std::string& name, const std::string& error);

// The document's box handles: the document id in the high half, the box's
// own id in the low half; the same for layouts with their index + 1.
int32_t BoxHandle(int32_t document, int32_t box);
int32_t LayoutHandle(int32_t document, int32_t layout_index);

}  // namespace xthost
