// The live-object tracker: counts live heap objects per type name and
// remembers each one with a describing text, for the memory report in the
// log.  The tree nodes and log files made on the heap register themselves
// under "t_File", "t_Folder", "t_Folder<TStr>" and "t_LogFile".
#pragma once

#include <cstdint>
#include <map>
#include <string>

class ObjectTracker {
 public:
  // The process-wide tracker: made on first use and never destroyed, so it
  // can be used from static initialisation to unload.
  static ObjectTracker& Instance();

  // Adds 1 to the count of `typeName` (when not empty) and records `object`
  // (when not null) as typeName + ": " + location, or typeName alone when
  // location is empty; a record for the same address is replaced.
  void Alloc(const std::string& typeName, const void* object, const std::string& location);

  // Subtracts 1 from the count of `typeName` (when not empty; an unknown
  // name goes to -1) and forgets `object`.
  void Free(const std::string& typeName, const void* object);

  // "\nMemory completely deallocated.\n" when no count is non-zero and no
  // object is recorded; otherwise "\nMemory allocated:\n" and the listing:
  // each non-zero count as the name left in 64 columns and the count right
  // in 16, a blank line, then each object, ordered by its text, as "0x" left
  // in 10 columns, the hexadecimal address left in 68, and the text.
  std::string Report() const;

 private:
  std::map<std::string, int32_t> counts_;
  std::map<const void*, std::string> objects_;
};

// The process-wide tracker's Alloc and Free.
void TrackAlloc(const std::string& typeName, const void* object, const std::string& location = std::string());
void TrackFree(const std::string& typeName, const void* object);

// Logs the process-wide tracker's report with LogMessage at level 6.
void LogMemoryStatus(const std::string& location);
