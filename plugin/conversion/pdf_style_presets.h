// The plug-in's PDF output styles: three presets (High, Medium, Low) beside
// the host's default style, each an XML output-style document the host can
// read into its style list.  Host thread only.
#pragma once

#include <cstdint>
#include <string>

// Preset indexes: 0 the host's default PDF style, 1 to 3 the plug-in's.
enum PdfStylePreset : uint32_t {
  kPdfStyleDefault = 0,
  kPdfStyleHigh = 1,
  kPdfStyleMedium = 2,
  kPdfStyleLow = 3,
};

// "Default", "High", "Medium", "Low"; "" above 3.
std::string PdfStylePresetName(uint32_t preset);
// The name of the preset's style in the host's list: "Brenix " and the
// preset name; "" above 3.
std::string PdfStyleHostName(uint32_t preset);
// The preset's file name: "BX_PdfStyle_", the preset name, ".xml"; "" above 3.
std::string PdfStyleFileName(uint32_t preset);

// The host's generic RGB profile: a file in the host application's folder;
// "" when the host cannot name its folder.
std::string HostRgbProfilePath();
// `path` as a file URL ("file://" and the path, each byte outside letters,
// digits, "-._~/" percent-encoded).
std::string FileUrl(const std::string& path);

// The preset's output-style document, naming `profilePath` as the colour
// profile (Medium and Low); "" for the default style and above 3.
std::string PdfStyleTemplate(uint32_t preset, const std::string& profilePath);

// Writes the preset's document to its file in a folder of the run's own
// under the host's temporary folder, has the host import it into its
// output-style list (a style of that name already there stays), and
// removes the folder again.  False above 3, without a temporary folder or
// when the folder or file cannot be written (both with alert 22100, the
// latter naming the path and the system's reason), or when the import did
// not give 0.
bool WritePdfStylePreset(uint32_t preset);

// Whether the host's output-style list has a style named exactly `name`.
bool OutputStyleExists(const std::string& name);

// 12 when a style named `name` already exists (the file is not read);
// otherwise the host reads the output styles in the file at `path` and adds
// them to its list: 0, or 12 when it read none, or the host's failure.
int32_t ImportOutputStyleFile(const std::string& path, const std::string& name);

// Selects the preset's style for the running PDF export: the plug-in's
// style for 1 to 3 when the list has it, else (and for 0) the host's default
// PDF style.  12 above 3, without a list or without a style to select;
// otherwise the host's result of the selection.
int32_t ApplyPdfOutputStyle(uint32_t preset);
