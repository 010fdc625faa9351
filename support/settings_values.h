// What the settings store and the batch control file share: reading typed
// values from ini texts, the fixed comment line of a key, and storing a key.
//
// Typed reads look at the value with the white space around it removed, so
// "serverMode = True" reads true; the text stored in the file is never
// changed by a read.
#pragma once

#include <cstdint>
#include <string>

class CDataFile;

// The value without the white space (" \t\n\r") at either end.
std::string TrimmedValue(const std::string& value);

// True when the trimmed value contains '1' anywhere, or is "true" or "yes"
// in any letter case.
bool ReadBoolValue(const std::string& value);

// The trimmed value read as strtol reads base 10 (optional sign, digits up
// to the first other character, 0 without digits), held within the 32-bit
// range.
int32_t ReadNumberValue(const std::string& value);

// A key's comment line: `label` left-justified with blanks to 50 characters,
// directly followed by `range` (may be empty).
std::string SettingsCommentLine(const char* label, const char* range);

// Sets `key` in `section` of `ini`, the way both stores set a key:
// 1. when `current` (what the key reads now) equals `value`, true and
//    nothing changes;
// 2. the ini file's create-keys flag becomes `createKeys` and stays so;
// 3. the value is stored with the comment line written as "; " + line, a
//    missing section made;
// 4. false when that failed, else the result of saving when `save` is set,
//    else true.
bool StoreIniValue(CDataFile& ini, const std::string& current, const std::string& section, const std::string& key,
                   const std::string& value, const std::string& comment, bool createKeys, bool save);
