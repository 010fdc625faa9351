// The PDF output-style presets: names, and the three documents checked by
// xmllint (well-formed, then the values of the tables by XPath); the profile
// URL decoded by Python back to the path in the host's folder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugin/conversion/pdf_style_presets.h"
#include "support/settings.h"
#include "tests/common/files.h"
#include "tests/common/python.h"
#include "tests/common/run_command.h"
#include "tests/common/temp_dir.h"

namespace {

const char* const kProfile = "/opt/Host App/Profiles & more/Quark Generic RGB.icc";

// What `xmllint --xpath` prints for `expression` on `path`, without the
// line end; fails the test when xmllint does.
std::string XPath(const std::string& path, const std::string& expression) {
  int status = 0;
  std::string out = testutil::RunCommand(
      "xmllint --xpath " + testutil::ShellQuote(expression) + " " + testutil::ShellQuote(path), &status, true);
  EXPECT_EQ(status, 0) << expression << ": " << out;
  if (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

TEST(PdfStylePresets, NamesOfEachPreset) {
  const std::vector<std::vector<std::string>> rows = {
      {"Default", "Brenix Default", "BX_PdfStyle_Default.xml"},
      {"High", "Brenix High", "BX_PdfStyle_High.xml"},
      {"Medium", "Brenix Medium", "BX_PdfStyle_Medium.xml"},
      {"Low", "Brenix Low", "BX_PdfStyle_Low.xml"},
      {"", "", ""},
  };
  for (uint32_t preset = 0; preset < rows.size(); ++preset) {
    EXPECT_EQ(PdfStylePresetName(preset), rows[preset][0]);
    EXPECT_EQ(PdfStyleHostName(preset), rows[preset][1]);
    EXPECT_EQ(PdfStyleFileName(preset), rows[preset][2]);
  }
  EXPECT_EQ(PdfStyleTemplate(kPdfStyleDefault, kProfile), "");
  EXPECT_EQ(PdfStyleTemplate(4, kProfile), "");
}

TEST(PdfStylePresets, TemplatesAreWellFormedAndHoldTheTablesValues) {
  testutil::TempDir dir{"brenix-presets"};
  struct Row {
    uint32_t preset;
    std::string name, compression, monoResolution, fileSpecs;
  };
  const std::vector<Row> rows = {
      {kPdfStyleHigh, "Brenix High", "20", "144", "0"},
      {kPdfStyleMedium, "Brenix Medium", "18", "144", "1"},
      {kPdfStyleLow, "Brenix Low", "16", "72", "1"},
  };
  const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string text = PdfStyleTemplate(row.preset, kProfile);
    EXPECT_EQ(text.compare(0, declaration.size(), declaration), 0);
    const std::string path = dir.File(PdfStyleFileName(row.preset));
    testutil::WriteFile(path, text);
    int status = 0;
    EXPECT_EQ(testutil::RunCommand("xmllint --noout " + testutil::ShellQuote(path), &status, true), "");
    EXPECT_EQ(status, 0);

    const std::string style = "/OutputStyles/OutputStyle";
    EXPECT_EQ(XPath(path, "count(/OutputStyles/*)"), "1");
    EXPECT_EQ(XPath(path, "string(" + style + "/@Name)"), row.name);
    EXPECT_EQ(XPath(path, "concat(" + style + "/@DefaultStyle, " + style + "/@Deleteable, " + style +
                              "/@Editable, " + style + "/@OutputMedia)"),
              "falsetruetrueXPDF");
    std::string ids;
    for (int i = 1; i <= 8; ++i) {
      ids += XPath(path, "string(" + style + "/OutputSettings[" + std::to_string(i) + "]/@XTid)") + ",";
    }
    EXPECT_EQ(ids, "XABL,QFAT,QRJJ,QLY,XOPI,XPDF,XCLR,,");
    const std::string pdf = style + "/OutputSettings[@XTid='XPDF']";
    EXPECT_EQ(XPath(path, "string(" + pdf + "/DocInfo/@Title)"), row.name);
    for (const char* image : {"ColorImage", "GrayScaleImage"}) {
      const std::string at = pdf + "/JobOptions/" + image;
      EXPECT_EQ(XPath(path, "number(" + at + "/@CompressionAlgorithm)"), row.compression) << image;
      EXPECT_EQ(XPath(path, at + "/@ResolutionValue div 65536"), "72") << image;
      EXPECT_EQ(XPath(path, "string(" + at + "/@DownsampleType)"), "Bicubic Downsample to:");
    }
    const std::string mono = pdf + "/JobOptions/MonochromeImage";
    EXPECT_EQ(XPath(path, "number(" + mono + "/@CompressionAlgorithm)"), "49");
    EXPECT_EQ(XPath(path, mono + "/@ResolutionValue div 65536"), row.monoResolution);
    EXPECT_EQ(XPath(path, "concat(" + mono + "/@AutomaticCompression, " + mono + "/@ManualCompression)"),
              "falsetrue");
    EXPECT_EQ(XPath(path, "number(" + pdf + "/RegistrationMarksInfo/@RegistrationLength) div 65536"), "14");
    const std::string params = style + "/OutputSettings[@XTid='XCLR']/ResourcePool/ColorSpaceConversionParams";
    EXPECT_EQ(XPath(path, "concat('[', " + params + "/@ProfileColorSpace, ']')"), "[RGB ]");
    EXPECT_EQ(XPath(path, "count(" + params + "/*)"), row.fileSpecs);
    EXPECT_EQ(XPath(path, "count(//OutputSetup/ColorantControlRef[@rRef='CC_2'])"), "1");
    if (row.fileSpecs == "1") {
      EXPECT_EQ(XPath(path, "string(" + params + "/FileSpec/@ResourceUsage)"), "FinalTargetDevice");
      const std::string url = XPath(path, "string(" + params + "/FileSpec/@URL)");
      EXPECT_EQ(testutil::PythonOutput("import sys, urllib.parse as u\n"
                                       "p = u.urlparse(sys.argv[1])\n"
                                       "print(p.scheme, u.unquote(p.path), end='')\n",
                                       {url}),
                std::string("file ") + kProfile);
    }
  }
}

std::string PinnedFolder(const std::string& relative) { return "/pinned/app/" + relative; }

TEST(PdfStylePresets, TheProfileLiesInTheHostsFolder) {
  const ApplicationPathResolver previous = SetApplicationPathResolver(&PinnedFolder);
  EXPECT_EQ(HostRgbProfilePath(), "/pinned/app/Profiles/Quark Generic RGB.icc");
  SetApplicationPathResolver(previous);
  EXPECT_EQ(FileUrl("/a b/%c/é"), "file:///a%20b/%25c/%C3%A9");
}

}  // namespace
