#include "plugin/conversion/pdf_style_presets.h"

#include <cstdio>
#include <cstring>

#include "platform/win/replacing_file.h"
#include "plugin/conversion/private_folder.h"
#include "plugin/mixer/box_registries.h"
#include "plugin/mixer/host_texts.h"
#include "plugin/qapi/ui_alert.h"
#include "support/error_names.h"
#include "support/host_calls.h"
#include "support/host_file_spec.h"
#include "support/host_link.h"
#include "support/paths.h"
#include "support/settings.h"

namespace {

const char* const kPresetNames[4] = {"Default", "High", "Medium", "Low"};
constexpr const char* kProfileName = "Quark Generic RGB.icc";

// What tells the presets apart: image compression and monochrome resolution.
struct PresetImages {
  const char* compression;  // colour and grey images
  const char* monoResolution;
};
const PresetImages kImages[4] = {
    {"", ""},
    {"20.000000", "9437184.000000"},
    {"18.000000", "9437184.000000"},
    {"16.000000", "4718592.000000"},
};

// `text` fit for an attribute value in double quotes.
std::string EscapeAttribute(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

// One image element of the job options.
std::string ImageElement(const char* element, bool mono, const char* compression, const char* resolution) {
  return std::string("        <") + element + " AutomaticCompression=\"" + (mono ? "false" : "true") +
         "\" CompressionAlgorithm=\"" + compression +
         "\" DownsampleResolution=\"1.000000\" DownsampleType=\"" +
         (mono ? "Downsample to:" : "Bicubic Downsample to:") + "\" ManualCompression=\"" +
         (mono ? "true" : "false") + "\" ResolutionValue=\"" + resolution + "\"/>\n";
}

// The answer of the style services when nothing is to be had.
constexpr int32_t kNoStyle = 12;

// A host string of narrow text, disposed of with the object.
class ScopedHostString {
 public:
  explicit ScopedHostString(const std::string& text) : result_(NewHostString(text, &string_)) {}
  ~ScopedHostString() {
    if (result_ == kXTOk) XT().qsb1->dispose_string(string_);
  }
  ScopedHostString(const ScopedHostString&) = delete;
  ScopedHostString& operator=(const ScopedHostString&) = delete;
  int32_t result() const { return result_; }
  XTString get() const { return string_; }

 private:
  XTString string_ = 0;
  int32_t result_;
};

// The output-style list of the current project (the application's list).
int32_t StyleList(XTStyleList* list) {
  const XTPdfSuite* pdf = XT().xpdf;
  if (pdf == nullptr) return kXTErrNoSuite;
  XTProject project = 0;
  if (XT().projects == nullptr || XT().projects->current_project(&project) != kXTOk) project = 0;
  return pdf->style_list(project, list);
}

// The style of the list named `name`.
int32_t FindStyle(XTStyleList list, const std::string& name, XTStyle* style) {
  ScopedHostString text(name);
  if (text.result() != kXTOk) return text.result();
  return XT().xpdf->find_style(list, text.get(), style);
}

}  // namespace

std::string PdfStylePresetName(uint32_t preset) { return preset <= kPdfStyleLow ? kPresetNames[preset] : ""; }

std::string PdfStyleHostName(uint32_t preset) {
  return preset <= kPdfStyleLow ? ProductPrefix() + PdfStylePresetName(preset) : "";
}

std::string PdfStyleFileName(uint32_t preset) {
  return preset <= kPdfStyleLow ? "BX_PdfStyle_" + PdfStylePresetName(preset) + ".xml" : "";
}

std::string HostRgbProfilePath() {
  return ResolveApplicationPath(std::string("Profiles") + kPathSeparator + kProfileName);
}

std::string FileUrl(const std::string& path) {
  std::string url = "file://";
  for (unsigned char c : path) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
    if (plain) {
      url += static_cast<char>(c);
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", c);
      url += escaped;
    }
  }
  return url;
}

std::string PdfStyleTemplate(uint32_t preset, const std::string& profilePath) {
  if (preset == kPdfStyleDefault || preset > kPdfStyleLow) return std::string();
  const std::string name = EscapeAttribute(PdfStyleHostName(preset));
  const PresetImages& images = kImages[preset];
  std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
      "<OutputStyles>\n"
      "  <OutputStyle DefaultStyle=\"false\" Deleteable=\"true\" Editable=\"true\" Name=\"" + name +
      "\" OutputMedia=\"XPDF\">\n"
      "    <OutputSettings XTid=\"XABL\">\n"
      "      <BleedSettings AsymmetricBottom=\"0.000000\" AsymmetricLeft=\"0.000000\" "
      "AsymmetricRight=\"0.000000\" AsymmetricTop=\"0.000000\" BleedType=\"Symmetric\" Clipping=\"true\" "
      "Symmetric=\"0.000000\"/>\n"
      "    </OutputSettings>\n"
      "    <OutputSettings XTid=\"QFAT\">\n"
      "      <FlatteningNewSettings IsIgnoreTransparency=\"0.000000\" TransObjectsInPDFResolution=\"300.000000\" "
      "UpSampleResolution=\"72.000000\" UpSampleRotationCheckState=\"0.000000\" UpSampleThreshold=\"54.000000\" "
      "uid_1364738609=\"72.000000\" uid_1364739633=\"144.000000\" uid_1397244977=\"72.000000\"/>\n"
      "    </OutputSettings>\n"
      "    <OutputSettings XTid=\"QRJJ\">\n"
      "      <JDFSettings ContactUID=\"-1\" JDFOutput=\"false\"/>\n"
      "    </OutputSettings>\n"
      "    <OutputSettings XTid=\"QLY\">\n"
      "      <LayersSetting CreateLayers=\"false\"/>\n"
      "    </OutputSettings>\n"
      "    <OutputSettings XTid=\"XOPI\">\n"
      "      <OPI Include=\"false\">\n"
      "        <TIFF Include=\"true\" LowRes=\"false\"/>\n"
      "        <EPS Include=\"true\"/>\n"
      "      </OPI>\n"
      "    </OutputSettings>\n"
      "    <OutputSettings XTid=\"XPDF\">\n"
      "      <ColorInfo InRipSeparation=\"0.000000\" SeparationMode=\"0.000000\"/>\n"
      "      <DocInfo Author=\"Brenix\" IncludeMetaData=\"true\" Keywords=\"\" Subject=\"\" Title=\"" + name + "\"/>\n"
      "      <HyperlinkInfo ExportIndexesAsHyperlinks=\"true\" ExportListsAsBookmarks=\"true\" "
      "ExportListsAsHyperlinks=\"true\" HyperDisplaySettingNum=\"0.000000\" HyperFrameSetting=\"false\" "
      "HyperHighlightSettingNum=\"0.000000\" HyperLinkColorID=\"1.000000\" HyperListName=\"\" "
      "HyperListNameCount=\"0.000000\" HyperStyleSetting=\"false\" HyperWidthSettingNum=\"0.000000\" "
      "IncludeHyperlinks=\"true\"/>\n"
      "      <JobOptions ASCIIFormat=\"false\" CompressLineArtText=\"true\">\n" +
      ImageElement("ColorImage", false, images.compression, "4718592.000000") +
      ImageElement("GrayScaleImage", false, images.compression, "4718592.000000") +
      ImageElement("MonochromeImage", true, "49.000000", images.monoResolution) +
      "      </JobOptions>\n"
      "      <PDFInformation PDFCertification=\"-999.000000\" PDFVersion=\"1.000000\"/>\n"
      "      <PageOptions EmbedThumbnails=\"0.000000\" ExportAsSeparateFiles=\"0.000000\" "
      "IncludeBlankPages=\"0.000000\" MonoThumbnail=\"0.000000\" Spreads=\"0.000000\"/>\n"
      "      <RegistrationMarksInfo IncludeBleedMarks=\"false\" RegistrationLength=\"917504.000000\" "
      "RegistrationOffset=\"589824.000000\" RegistrationSetting=\"Off\" RegistrationWidth=\"16384.000000\"/>\n"
      "      <FontDownload Default=\"1\"/>\n"
      "    </OutputSettings>\n"
      "    <OutputSettings XTid=\"XCLR\">\n"
      "      <ResourcePool>\n"
      "        <ColorantControl Class=\"Parameter\" ID=\"CC_2\" ProcessColorModel=\"DeviceRGB\" "
      "Status=\"Available\"/>\n"
      "        <ColorSpaceConversionParams Class=\"Parameter\" ICCProfileUsage=\"UseSupplied\" ID=\"CSCP_2\" "
      "ProfileColorSpace=\"RGB \" ProfileDescName=\"Quark Generic RGB\" Status=\"Available\"";
  if (preset == kPdfStyleHigh) {
    text += "/>\n";
  } else {
    text += ">\n          <FileSpec ResourceUsage=\"FinalTargetDevice\" URL=\"" +
            EscapeAttribute(FileUrl(profilePath)) + "\"/>\n        </ColorSpaceConversionParams>\n";
  }
  text +=
      "        <OutputSetup ID=\"RGB composta\" IsDefault=\"true\" SimulateSeparations=\"false\">\n"
      "          <ColorantControlRef rRef=\"CC_2\"/>\n"
      "          <ColorSpaceConversionParamsRef rRef=\"CSCP_2\"/>\n"
      "        </OutputSetup>\n"
      "      </ResourcePool>\n"
      "    </OutputSettings>\n"
      "  </OutputStyle>\n"
      "</OutputStyles>\n";
  return text;
}

bool OutputStyleExists(const std::string& name) {
  XTStyleList list = 0;
  XTStyle style = 0;
  return StyleList(&list) == kXTOk && FindStyle(list, name, &style) == kXTOk;
}

int32_t ImportOutputStyleFile(const std::string& path, const std::string& name) {
  if (OutputStyleExists(name)) return kNoStyle;
  XTStyleList list = 0;
  int32_t result = StyleList(&list);
  if (result != kXTOk) return TraceLevel(result, kApiCheckText);
  XTFile file = 0;
  result = NewHostFile(path, kXTDocumentType, &file);
  if (result != kXTOk) return TraceLevel(result, kApiCheckText);
  const XTPdfSuite* pdf = XT().xpdf;
  XTStyleSet set = 0;
  int32_t count = 0;
  result = pdf->read_styles(file, &set, &count);
  if (result == kXTOk) {
    if (count > 0) result = pdf->add_styles(list, set);
    else result = kNoStyle;
    pdf->dispose_styles(set);
  }
  XT().files->dispose_file(file);
  return TraceLevel(result, kApiCheckText);
}

bool WritePdfStylePreset(uint32_t preset) {
  if (preset > kPdfStyleLow) return false;
  // The file lives only while the host reads it, in a folder of this run
  // alone: another user's or run's files never meet it.
  const PrivateFolder folder("BX_PdfStyle_");
  if (folder.path().empty() && folder.error() == 0) {
    ShowAlert(kAlertResource, "Unable to detect temporary folder: ", "", "", "", false, false, false);
    return false;
  }
  if (folder.path().empty()) {
    ShowAlert(kAlertResource, "Error writing file: ", QueryHostTempFolder(),
              std::string(" (") + std::strerror(folder.error()) + ")", "", false, false, false);
    return false;
  }
  const std::string path = folder.path() + kPathSeparator + PdfStyleFileName(preset);
  win::ReplacingFile file(path);
  file.stream() << PdfStyleTemplate(preset, HostRgbProfilePath());
  if (!file.Commit()) {
    ShowAlert(kAlertResource, "Error writing file: ", path, " (" + file.Reason() + ")", "", false, false,
              false);
    return false;
  }
  return ImportOutputStyleFile(path, PdfStyleHostName(preset)) == kXTOk;
}

int32_t ApplyPdfOutputStyle(uint32_t preset) {
  if (preset > kPdfStyleLow) return kNoStyle;
  XTStyleList list = 0;
  if (StyleList(&list) != kXTOk) return kNoStyle;
  XTStyle style = 0;
  bool found = false;
  if (preset != kPdfStyleDefault) found = FindStyle(list, PdfStyleHostName(preset), &style) == kXTOk;
  // A preset never imported or deleted by the user falls back to the host's
  // default PDF style.
  if (!found && XT().xpdf->default_style(list, kXTMediumPdf, &style) != kXTOk) return kNoStyle;
  return TraceLevel(XT().xpdf->select_style(list, style), kApiCheckText);
}
