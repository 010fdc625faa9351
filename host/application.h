// The host application's state: what a desktop host knows besides its
// plug-ins.  A document is the file it was opened from and its content
// (host/document.h).
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/clock.h"
#include "host/doc_save.h"
#include "host/output_styles.h"

namespace xthost {

struct DocumentContent;

struct Document {
  int32_t id = 0;    // the project handle the plug-in sees
  int32_t ids = 1;   // ids id..id+ids-1 are its layouts' document ids
  std::string path;  // the file it was opened from
  // The files it was read from or saved to, each as it was then: a save
  // over one of them that another run has replaced since is refused.
  std::map<std::string, FileStamp> stamps;
  int32_t open_flags = 0;
  std::shared_ptr<DocumentContent> content;  // null until its file was read
};

struct Application {
  // The host's version: major in the top byte, minor in the next.
  uint32_t version = 0x09050000;
  std::vector<Document> documents;  // in the order they were opened
  int32_t current_document = 0;     // id of the current one, 0 = none
  // The document whose window is in front: the last one opened (or opened
  // again), or brought to the front.  Making another document current
  // leaves its window where it is.
  int32_t front_window = 0;
  std::map<std::string, std::string> preferences;
  std::string temp_folder;  // $TMPDIR, else /tmp
  // The folder that holds the XTensions folder (absolute).
  std::string application_folder;
  Clock clock;
  // Answers for dialogs and alerts (--answer), taken in order; without one
  // the default answer is taken.  Nothing ever waits for a user.
  std::deque<std::string> answers;
  bool quit_requested = false;                // a plug-in asked the host to quit
  std::array<std::u16string, 4> alert_texts;  // ^0 to ^3 of the next alert
  OutputStyleList output_styles;              // the one list of output styles
  PdfExportState pdf_export;                  // the PDF export under way

  Document* FindDocument(int32_t id);
  // The document one of whose layouts has document id `id` (the project's
  // own id is its first layout's), the layout's index in *layout.
  Document* FindLayoutDocument(int32_t id, int32_t* layout);
  // Adds a document with `layouts` consecutive ids (at least one) and makes
  // it current; returns its id.
  int32_t OpenDocument(const std::string& path, int32_t flags, int32_t layouts = 1);
  // Removes a document; the most recently opened of the others becomes
  // current.  False for an unknown id.
  bool CloseDocument(int32_t id);

 private:
  int32_t next_document_ = 1;
};

}  // namespace xthost
