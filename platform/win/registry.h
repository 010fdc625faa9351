// The registry: a tree of keys with typed values, kept in the file system.
//
// Layout: the root folder is $BRENIX_REGISTRY_ROOT, else
// $XDG_STATE_HOME/brenix/registry, else ~/.local/state/brenix/registry (read
// at every call).  Each root key is a folder in it ("HKEY_LOCAL_MACHINE",
// "HKEY_CURRENT_USER"); every key is a folder in its parent key's folder.  So
// an outside program raises a key with a plain
//   mkdir -p "$BRENIX_REGISTRY_ROOT/HKEY_LOCAL_MACHINE/SOFTWARE/Maker/Flag"
// Key and value names are compared without regard to ASCII letter case and
// keep the case they were made with.  In folder and file names '%' is written
// "%25" and '/' "%2F".  Key names are at most 255 bytes and are never empty,
// "." or "..", nor hold NUL or '\'; a folder whose name decodes to such a
// name, and a link to a folder, is not a key: enumeration skips it and no
// path reaches it.
//
// A value is a file in its key's folder, named '\' followed by the value's
// name (a key name never holds '\', so values and subkeys never clash),
// holding the type (4 bytes, little-endian) and then the data, bytes as they
// were given.  Value names are at most 254 bytes once written.  Writers take
// an exclusive lock on the key's folder and replace value files by renaming,
// so readers in other processes see a value whole or not at all.
//
// Results are the Windows error codes below; nothing throws.  Handles are
// small numbers issued by this process; the two root keys are predefined.
// Safe to call from several threads.
#pragma once

#include <cstdint>

namespace win {

using HKey = uint32_t;

// The predefined root keys.
inline constexpr HKey kHKeyCurrentUser = 0x80000001u;
inline constexpr HKey kHKeyLocalMachine = 0x80000002u;

enum : int32_t {
  kErrorSuccess = 0,
  kErrorFileNotFound = 2,      // no such key or value
  kErrorAccessDenied = 5,      // the handle lacks the access, the folder is not writable, or the key has subkeys
  kErrorInvalidHandle = 6,
  kErrorInvalidParameter = 87,  // a bad or too long name, or a missing argument
  kErrorAlreadyExists = 183,    // RegCreateValueIfAbsent: the value is there
  kErrorMoreData = 234,         // the caller's buffer is too small
  kErrorNoMoreItems = 259,      // RegEnumKeyEx: index past the last subkey
  kErrorBadDb = 1009,           // a value file too short to hold its type or not a plain file, or
                                // a key's entry that is not a folder of its own
  kErrorRegistryIo = 1016,      // any other failure of the file system
};

// Access rights.
enum : uint32_t {
  kKeyQueryValue = 0x0001,
  kKeySetValue = 0x0002,
  kKeyCreateSubKey = 0x0004,
  kKeyEnumerateSubKeys = 0x0008,
  kKeyRead = 0x20019,
  kKeyWrite = 0x20006,
  kKeyReadWrite = 0x2001F,
  kKeyAllAccess = 0xF003F,
};

// Value types (only stored and handed back).
enum : uint32_t { kRegNone = 0, kRegSz = 1, kRegExpandSz = 2, kRegBinary = 3, kRegDword = 4 };

// Dispositions of RegCreateKeyEx.
enum : uint32_t { kRegCreatedNewKey = 1, kRegOpenedExistingKey = 2 };

// Opens `subKey` of `parent` (a path of names joined by '\'), creating every
// missing key on the way, and stores a new handle in *result.  A null or
// empty subKey opens `parent` again.  `reserved`, `keyClass`, `options` and
// `security` are accepted and ignored.  Creating needs kKeyCreateSubKey on
// the parent; asking for write rights needs a writable folder.
int32_t RegCreateKeyEx(HKey parent, const char* subKey, uint32_t reserved, const char* keyClass,
                       uint32_t options, uint32_t access, const void* security, HKey* result,
                       uint32_t* disposition);

// Opens an existing key; kErrorFileNotFound when a key on the way is missing.
int32_t RegOpenKeyEx(HKey parent, const char* subKey, uint32_t options, uint32_t access, HKey* result);

// The name of the subkey at `index`, subkeys ordered by name without regard
// to case.  *nameLength holds the buffer's size on entry (the terminating
// NUL included) and the name's length without it on success; a buffer too
// small gives kErrorMoreData, an index past the end kErrorNoMoreItems.
int32_t RegEnumKeyEx(HKey key, uint32_t index, char* name, uint32_t* nameLength);

// Deletes the key `subKey` (a path) of `key` with its values.  A key that
// has subkeys is not deleted (kErrorAccessDenied).
int32_t RegDeleteKey(HKey key, const char* subKey);

// Stores a value (a null name is the unnamed value), replacing one of the
// same name.  Needs kKeySetValue.
int32_t RegSetValueEx(HKey key, const char* valueName, uint32_t reserved, uint32_t type,
                      const uint8_t* data, uint32_t size);

// Stores a value only when the key holds none of that name: kErrorAlreadyExists
// otherwise.  Of several processes racing to create one value, exactly one
// succeeds.  Needs kKeySetValue.
int32_t RegCreateValueIfAbsent(HKey key, const char* valueName, uint32_t type, const uint8_t* data,
                               uint32_t size);

// Deletes a value (a null name is the unnamed value); kErrorFileNotFound
// when the key holds none of that name.  Needs kKeySetValue.
int32_t RegDeleteValue(HKey key, const char* valueName);

// Reads a value.  `type` (when given) receives its type.  Without `data`,
// *size (when given) receives the data's size.  With `data`, *size holds the
// buffer's size on entry and the data's size on return; a buffer too small
// gives kErrorMoreData and nothing copied.  Needs kKeyQueryValue.
int32_t RegQueryValueEx(HKey key, const char* valueName, uint32_t* reserved, uint32_t* type,
                        uint8_t* data, uint32_t* size);

// Gives a handle back; the predefined keys need no closing.
int32_t RegCloseKey(HKey key);

}  // namespace win
