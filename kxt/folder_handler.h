// Folder handlers: the bases through which the element classes hold their
// folder.  Each keeps one counted handle to the folder (copied, so one more
// reference) and gives it back when destroyed.
#pragma once

#include "kxt/kxt_folder.h"
#include "kxt/kxt_handle.h"

class KXT_FolderHandler_Out2 {
 public:
  explicit KXT_FolderHandler_Out2(const KXT_Handle<KXT_OutFolder2>& folder) : folder_(folder) {}
  KXT_FolderHandler_Out2(const KXT_FolderHandler_Out2& other) = default;
  KXT_FolderHandler_Out2& operator=(const KXT_FolderHandler_Out2&) = delete;
  // Releases the handle (which may complete the folder and the code file).
  virtual ~KXT_FolderHandler_Out2() noexcept(false) {}

  // The folder; the handle must not be null.
  virtual KXT_OutFolder2& Folder() { return *folder_; }

 private:
  KXT_Handle<KXT_OutFolder2> folder_;
};

class KXT_FolderHandler_In2 {
 public:
  explicit KXT_FolderHandler_In2(const KXT_Handle<KXT_InFolder2>& folder) : folder_(folder) {}
  KXT_FolderHandler_In2(const KXT_FolderHandler_In2& other) = default;
  KXT_FolderHandler_In2& operator=(const KXT_FolderHandler_In2&) = delete;
  virtual ~KXT_FolderHandler_In2() noexcept(false) {}

  // Whether there is a folder (the open operations give null handles).
  virtual bool Valid() const { return static_cast<bool>(folder_); }
  // The folder; only when Valid.
  virtual KXT_InFolder2& Folder() { return *folder_; }

 private:
  KXT_Handle<KXT_InFolder2> folder_;
};
