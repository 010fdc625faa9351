// The registry batch flag, and the small key class that carries its calls.
//
// An outside launcher that runs the host unattended creates the key
// "Brenix 50 Batch Mode" below "SOFTWARE\PELMO Translation Technology" of
// the local-machine root.  The first plug-in instance to ask IsBatchMode
// claims the flag by creating the value "Brenix" ("Started") in that key; the
// claim is atomic, so of several hosts asking at once exactly one takes the
// batch run, and a flag already claimed (by another host, or left behind by
// an earlier run) gives false.  The answer is decided once per process.
// ClearBatchModeFlag deletes the key with everything below it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win/registry.h"

extern const char kMakerKeyPath[];      // "SOFTWARE\PELMO Translation Technology"
extern const char kBatchModeKeyName[];  // "Brenix 50 Batch Mode"

// One open registry key, or none.  Every registry failure of the ...OrThrow
// operations and SetString is thrown as its uint32_t code.
class RegKey {
 public:
  RegKey() = default;
  // CreateOrThrow(parent, subKey, options, access).
  RegKey(win::HKey parent, const char* subKey, uint32_t options, uint32_t access);
  ~RegKey() { Close(); }
  RegKey(RegKey&& other) noexcept : key_(other.key_) { other.key_ = 0; }
  RegKey& operator=(RegKey&& other) noexcept;
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;

  // The maker key, opened with full access and created when missing.
  static RegKey OpenMakerKey();

  win::HKey Handle() const { return key_; }

  // Opens (creating when missing) `subKey` of `parent`.  On success the key
  // held before is closed and the new one held; on failure the old one
  // stays.  Returns the registry code; `disposition` receives whether the
  // key was created or opened.
  int32_t Create(win::HKey parent, const char* subKey, const char* keyClass, uint32_t options, uint32_t access,
                 const void* security, uint32_t* disposition = nullptr);
  void CreateOrThrow(win::HKey parent, const char* subKey, uint32_t options, uint32_t access);

  // Whether `subKey` of `parent` can be opened for reading; `code` (when
  // given) receives the registry code of the open.
  static bool KeyExists(win::HKey parent, const char* subKey, int32_t* code = nullptr);

  // Deletes `subKey` of the held key and every key below it, depth first.
  // Returns the first failing code, 0 when all went; an empty name is
  // kErrorInvalidParameter (it would name the held key itself).
  int32_t DeleteTree(const char* subKey);
  void DeleteTreeOrThrow(const char* subKey);

  // Writes a text value (type REG_SZ, the text and its terminating NUL).
  void SetString(const char* valueName, const std::string& text);
  // Writes a text value only when the key holds no value of that name: true
  // when this call created it, false when one was there.
  bool SetStringIfAbsent(const char* valueName, const std::string& text);
  // Deletes a value; the registry code (kErrorFileNotFound when none).
  int32_t DeleteValue(const char* valueName);
  // Reads a value's data up to its first NUL; false on any failure, a
  // missing value included.
  bool QueryString(std::string& out, const char* valueName);
  // The same, returning the registry code (kErrorBadDb for a damaged value).
  int32_t ReadString(std::string& out, const char* valueName);

  void Close();

 private:
  win::HKey key_ = 0;
};

// Whether this process runs the launcher's batch run (see above).  Decided
// at the first call; registry failures give false before the flag key was
// found, true after.  A flag key that is not a folder of its own (a link, a
// file), or a claim value that is there but damaged (too short, a folder, a
// pipe, a link), gives false with a program-log line.
bool IsBatchMode();

// Deletes the flag key and everything below it.  When the key cannot be
// removed, its claim value is deleted all the same (so that a later run can
// claim the flag) and the program log says what stayed behind and why.
// Nothing is thrown; IsBatchMode keeps its answer.
void ClearBatchModeFlag();
