// The mode flags asked all over the plug-in, and the server's logging place.
//
// Extended interface and server mode are read from the settings once, when
// the object is made (each logged to the program log as "\nExtended mode:\t"
// or "\nServer mode:\t" with "ON" or "OFF" and a line feed); MultiDoc mode is
// switched by the menus.  Callers read the three flags as plain members.
//
// In server mode with activateServerLog on, the object makes a temporary
// log folder "PELMO_" + 14-digit local time stamp + "_LOG" under LogPath,
// else TemporaryPath, else the temporary folder, and opens the server log
// "BX9_srv.log" in it as the current server log.  A folder made by another
// process in the same second is never shared: the next free stamp is taken.
// At shut-down the folder is removed with the log unless keepServerLog is
// on.  Host thread only.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "support/CnvTools.h"

class Settings;

class BrenixInterface {
 public:
  // The process's object, made on first use (from the process-wide
  // settings) and destroyed at unload.
  static BrenixInterface* Instance();

  // Reads the two modes from `settings` and logs them; MultiDoc mode off, no
  // folder.  `settings` must outlive the object.
  explicit BrenixInterface(Settings& settings);
  // Frees the folder and log objects (the log's stream closes; nothing on
  // disk is removed).
  ~BrenixInterface();
  BrenixInterface(const BrenixInterface&) = delete;
  BrenixInterface& operator=(const BrenixInterface&) = delete;

  bool extendedMode = false;
  bool multiDocMode = false;
  bool serverMode = false;

  // Stores the flag and logs "\nMultiDoc mode:\t" with "ON" or "OFF".
  void SetMultiDocMode(const bool& on);

  // Makes the temporary log folder and opens the server log in it; true when
  // a server log exists afterwards.  Changes nothing when no folder is made.
  // `made` (when given) gets the folder's path before the log is opened
  // (for its mark).
  bool InitServerLog(const std::function<void(const std::string&)>& made = nullptr);
  // Makes the temporary log folder (see above), first removing and freeing
  // an earlier one; false when activateServerLog is off or no folder could
  // be made.
  bool CreateTmpLogFolder();
  // Closes the server log's stream and removes the folder with its content,
  // unless keepServerLog is on; `emptied` (when given) runs between the two
  // (to drop the folder's mark).  True when the folder was removed.
  bool RemoveTmpLogFolder(const std::function<void()>& emptied = nullptr);

  // The temporary log folder's path; empty without one.
  std::string TmpLogFolderPath() const;
  // Where the temporary log folder is made: LogPath, else TemporaryPath,
  // else the temporary folder, without a trailing separator ("" for none).
  std::string LogFolderBase() const;

 private:
  // Frees the folder and log objects, leaving the disk as it is.
  void ReleaseFolder();

  Settings* settings_;
  std::unique_ptr<ct_Folder<std::string>> folder_;
  std::unique_ptr<ct_LogFile<std::string>> log_;
};
