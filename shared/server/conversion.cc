#include "shared/server/conversion.h"

#include <iostream>

#include "platform/win/replacing_file.h"
#include "shared/server/conversion_runner.h"
#include "support/date_time.h"
#include "support/program_log.h"
#include "support/settings.h"

namespace {

// The target kind of each output index of FileExtensionTable that converts.
bool TargetKind(uint32_t outputIndex, FileKind& kind) {
  switch (outputIndex) {
    case 0:
      kind = kFileKindQxp;
      return true;
    case 1:
      kind = kFileKindKxq;
      return true;
    case 2:
      kind = kFileKindPdf;
      return true;
    case 5:
    case 6:
      std::cout << "\nERROR: Unknown file type extension!\n" << std::flush;
      return false;
    default:
      return false;
  }
}

}  // namespace

bool ct_Conversion::doExport(uint32_t outputIndex, const std::string& source, const std::string& target) {
  if (outputIndex > 6) return false;
  const std::string where = BRENIX_LOCATION("ct_Conversion::doExport");
  LogMessage(where, std::string("Target: ") + FileExtensionTable[outputIndex], 2);
  std::cout << "\n" << std::string(36, '-') << "\n IN: '" << source << "'\nOUT: '" << target << "'\n"
            << std::string(36, '-') << "\n\n" << std::flush;
  const FileKind sourceKind = GetFileTypeIndex(ExtractExtension(source, true)) == 1 ? kFileKindKxq : kFileKindQxp;
  LogMessage(where, std::string("Source is QXP: ") + (sourceKind == kFileKindQxp ? "YES\t" : "NO\t"), 2);
  FileKind targetKind = kFileKindNone;
  if (!TargetKind(outputIndex, targetKind)) return false;
  const std::vector<std::string> outputs = Outputs(outputIndex, target);
  LogMessage(where, where + " - BEFORE FolderUtils::ProcessConversion()", 2);
  bool result = false;
  try {
    result = RunConversion(source, target, sourceKind, targetKind);
    if (result && outputs.size() > 1) {
      SetThirdResult(SplitPath(outputs[1], true));
      result = RunConversion(source, outputs[1], sourceKind, kFileKindCoo);
    }
  } catch (...) {
    LogMessage(where, where + " - UNKNOWN EXCEPTION on FolderUtils::ProcessConversion()", 2);
  }
  LogMessage(where, where + " - AFTER FolderUtils::ProcessConversion()", 2);
  return result;
}

std::vector<std::string> ct_Conversion::Outputs(uint32_t outputIndex, const std::string& target) const {
  std::vector<std::string> outputs{target};
  std::string coordinates = target;
  if (outputIndex == 2 && (m_eo_CnvType == 7 || m_eo_CnvType == 8) &&
      SetFileExtension(coordinates, "coo", false, true))
    outputs.push_back(coordinates);
  return outputs;
}

void WriteServerAlive() {
  const std::string folder = Settings::Instance().GetPath(SettingsKey::ServerAlivePath);
  if (folder.empty()) return;
  // A new file renamed over the old one: a link or another file planted at
  // the name is replaced, never written through.
  win::ReplacingFile out(folder + kPathSeparator + "ServerAlive");
  DateTime now;
  GetDateTime(now);
  WriteDateTimeStamp(out.stream(), now) << '\n';
  out.Commit();
}
