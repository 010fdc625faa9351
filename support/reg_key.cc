#include "support/reg_key.h"

#include <vector>

#include "support/program_log.h"

const char kMakerKeyPath[] = "SOFTWARE\\PELMO Translation Technology";
const char kBatchModeKeyName[] = "Brenix 50 Batch Mode";

namespace {

const char kClaimValueName[] = "Brenix";
const char kClaimValueText[] = "Started";

void ThrowIfFailed(int32_t code) {
  if (code != win::kErrorSuccess) throw static_cast<uint32_t>(code);
}

// The value's bytes as a registry text: the text and its terminating NUL.
std::vector<uint8_t> TextBytes(const std::string& text) {
  std::vector<uint8_t> bytes(text.begin(), text.end());
  bytes.push_back(0);
  return bytes;
}

// The process's answer, decided at the first call.
bool g_firstCall = true;
bool g_batchMode = false;

}  // namespace

RegKey::RegKey(win::HKey parent, const char* subKey, uint32_t options, uint32_t access) {
  CreateOrThrow(parent, subKey, options, access);
}

RegKey& RegKey::operator=(RegKey&& other) noexcept {
  if (this != &other) {
    Close();
    key_ = other.key_;
    other.key_ = 0;
  }
  return *this;
}

RegKey RegKey::OpenMakerKey() { return RegKey(win::kHKeyLocalMachine, kMakerKeyPath, 0, win::kKeyAllAccess); }

int32_t RegKey::Create(win::HKey parent, const char* subKey, const char* keyClass, uint32_t options, uint32_t access,
                       const void* security, uint32_t* disposition) {
  win::HKey created = 0;
  uint32_t how = 0;
  const int32_t code = win::RegCreateKeyEx(parent, subKey, 0, keyClass, options, access, security, &created, &how);
  if (code != win::kErrorSuccess) return code;
  Close();
  key_ = created;
  if (disposition) *disposition = how;
  return code;
}

void RegKey::CreateOrThrow(win::HKey parent, const char* subKey, uint32_t options, uint32_t access) {
  ThrowIfFailed(Create(parent, subKey, nullptr, options, access, nullptr));
}

bool RegKey::KeyExists(win::HKey parent, const char* subKey, int32_t* code) {
  win::HKey opened = 0;
  const int32_t result = win::RegOpenKeyEx(parent, subKey, 0, win::kKeyRead, &opened);
  if (code) *code = result;
  if (result != win::kErrorSuccess) return false;
  win::RegCloseKey(opened);
  return true;
}

int32_t RegKey::DeleteTree(const char* subKey) {
  // The empty name opens the held key itself: deleting "below" it would
  // never end.
  if (subKey == nullptr || *subKey == '\0') return win::kErrorInvalidParameter;
  RegKey opened;
  int32_t code = win::RegOpenKeyEx(key_, subKey, 0, win::kKeyReadWrite, &opened.key_);
  if (code != win::kErrorSuccess) return code;
  for (;;) {
    char name[257];
    uint32_t length = sizeof name;
    if (win::RegEnumKeyEx(opened.key_, 0, name, &length) != win::kErrorSuccess) break;
    if ((code = opened.DeleteTree(name)) != win::kErrorSuccess) return code;
  }
  opened.Close();
  return win::RegDeleteKey(key_, subKey);
}

void RegKey::DeleteTreeOrThrow(const char* subKey) { ThrowIfFailed(DeleteTree(subKey)); }

void RegKey::SetString(const char* valueName, const std::string& text) {
  const std::vector<uint8_t> bytes = TextBytes(text);
  ThrowIfFailed(win::RegSetValueEx(key_, valueName, 0, win::kRegSz, bytes.data(), static_cast<uint32_t>(bytes.size())));
}

bool RegKey::SetStringIfAbsent(const char* valueName, const std::string& text) {
  const std::vector<uint8_t> bytes = TextBytes(text);
  const int32_t code =
      win::RegCreateValueIfAbsent(key_, valueName, win::kRegSz, bytes.data(), static_cast<uint32_t>(bytes.size()));
  if (code == win::kErrorAlreadyExists) return false;
  ThrowIfFailed(code);
  return true;
}

bool RegKey::QueryString(std::string& out, const char* valueName) {
  return ReadString(out, valueName) == win::kErrorSuccess;
}

int32_t RegKey::ReadString(std::string& out, const char* valueName) {
  uint32_t size = 0;
  int32_t code = win::RegQueryValueEx(key_, valueName, nullptr, nullptr, nullptr, &size);
  if (code != win::kErrorSuccess) return code;
  std::vector<uint8_t> buffer(static_cast<std::size_t>(size) + 1, 0);
  if ((code = win::RegQueryValueEx(key_, valueName, nullptr, nullptr, buffer.data(), &size)) != win::kErrorSuccess) {
    return code;
  }
  buffer[size] = 0;
  out.assign(reinterpret_cast<const char*>(buffer.data()));
  return code;
}

int32_t RegKey::DeleteValue(const char* valueName) { return win::RegDeleteValue(key_, valueName); }

void RegKey::Close() {
  if (key_ != 0) win::RegCloseKey(key_);
  key_ = 0;
}

bool IsBatchMode() {
  if (!g_firstCall) return g_batchMode;
  g_firstCall = false;
  try {
    RegKey maker = RegKey::OpenMakerKey();
    int32_t found = 0;
    g_batchMode = RegKey::KeyExists(maker.Handle(), kBatchModeKeyName, &found);
    if (found == win::kErrorBadDb) {
      ProgramLog() << "ERROR: the batch mode flag \"" << kBatchModeKeyName
                   << "\" is not a registry key (registry error " << found << "): running interactively" << std::endl;
    }
    if (g_batchMode) {
      RegKey flag(maker.Handle(), kBatchModeKeyName, 0, win::kKeyAllAccess);
      std::string claimed;
      // Only the value's presence counts; creating it is the claim, which
      // another process may have made since the look.  A value that is
      // there but cannot be read is damaged: nobody's claim, and no safe
      // ground for a batch run either.
      const int32_t read = flag.ReadString(claimed, kClaimValueName);
      if (read != win::kErrorSuccess && read != win::kErrorFileNotFound) {
        ProgramLog() << "ERROR: the batch mode flag \"" << kBatchModeKeyName << "\" holds a damaged value \""
                     << kClaimValueName << "\" (registry error " << read << "): running interactively" << std::endl;
        g_batchMode = false;
      } else if (read == win::kErrorSuccess || !flag.SetStringIfAbsent(kClaimValueName, kClaimValueText)) {
        g_batchMode = false;
      }
    }
  } catch (uint32_t) {
    // The answer held at the failure stands.
  }
  return g_batchMode;
}

void ClearBatchModeFlag() {
  int32_t code = win::kErrorSuccess;
  try {
    RegKey maker = RegKey::OpenMakerKey();
    code = maker.DeleteTree(kBatchModeKeyName);
    if (code == win::kErrorSuccess || code == win::kErrorFileNotFound) return;
    // Something below the key (no key itself, so out of the registry's
    // reach) keeps it; the claim must not stay with it, or every later run
    // would take the flag for another's.
    ProgramLog() << "ERROR: the batch mode flag \"" << kBatchModeKeyName
                 << "\" could not be removed (registry error " << code << ")" << std::endl;
    RegKey flag(maker.Handle(), kBatchModeKeyName, 0, win::kKeyAllAccess);
    code = flag.DeleteValue(kClaimValueName);
    if (code == win::kErrorSuccess || code == win::kErrorFileNotFound) return;
  } catch (uint32_t thrown) {
    code = static_cast<int32_t>(thrown);
  }
  ProgramLog() << "ERROR: the claim \"" << kClaimValueName << "\" of the batch mode flag \"" << kBatchModeKeyName
               << "\" could not be removed (registry error " << code << ")" << std::endl;
}
