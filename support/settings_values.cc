#include "support/settings_values.h"

#include <cstdint>
#include <cstdlib>

#include "support/data_file.h"

std::string TrimmedValue(const std::string& value) {
  const std::size_t begin = value.find_first_not_of(IniWhitespaceChars);
  if (begin == std::string::npos) return std::string();
  const std::size_t end = value.find_last_not_of(IniWhitespaceChars);
  return value.substr(begin, end - begin + 1);
}

bool ReadBoolValue(const std::string& value) {
  const std::string text = TrimmedValue(value);
  if (text.find('1') != std::string::npos) return true;
  return CDataFile::CompareNoCase(text, "true") == 0 || CDataFile::CompareNoCase(text, "yes") == 0;
}

int32_t ReadNumberValue(const std::string& value) {
  const std::string text = TrimmedValue(value);
  const long long number = std::strtoll(text.c_str(), nullptr, 10);
  if (number < INT32_MIN) return INT32_MIN;
  if (number > INT32_MAX) return INT32_MAX;
  return static_cast<int32_t>(number);
}

std::string SettingsCommentLine(const char* label, const char* range) {
  std::string line = label;
  if (line.size() < 50) line.append(50 - line.size(), ' ');
  return line + range;
}

bool StoreIniValue(CDataFile& ini, const std::string& current, const std::string& section, const std::string& key,
                   const std::string& value, const std::string& comment, bool createKeys, bool save) {
  if (current == value) return true;
  const unsigned flags = ini.GetFlags();
  ini.SetFlags(createKeys ? flags | CDataFile::kAutoCreateKeys : flags & ~CDataFile::kAutoCreateKeys);
  if (!ini.SetValue(key, value, CDataFile::CommentStr(comment), section)) return false;
  return save ? ini.Save() : true;
}
