// The host's output styles: the application's one list, with a default PDF
// style, and the reader of output-style documents (XML: an `OutputStyles`
// root holding `OutputStyle` elements with a `Name` and an `OutputMedia`;
// a PDF style's document information stands in the `DocInfo` element of its
// "XPDF" settings).  Host thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace xthost {

struct OutputStyle {
  int32_t id = 0;       // in the list, from 1; 0 for a style not yet added
  std::string name;     // UTF-8, compared exactly
  uint32_t medium = 0;  // the medium's four characters, the first in the low byte
  bool default_style = false;
  std::string title;    // PDF document information
  std::string author;
};

// The medium code of a four-character name ("XPDF" gives 0x46445058); 0
// for a name of another length.
uint32_t MediumCode(const std::string& name);

// Reads an output-style document from `size` bytes.  True with its styles
// (ids 0) in *styles; false with the reason in *error for bytes that are no
// well-formed XML, a root other than `OutputStyles`, or a style without a
// name or with a medium that is not four characters.  No network, no
// external entities.
bool ReadOutputStyles(const char* bytes, std::size_t size, std::vector<OutputStyle>* styles,
                      std::string* error);

class OutputStyleList {
 public:
  // The list a new host starts with: its default PDF style.
  OutputStyleList();

  const std::vector<OutputStyle>& styles() const { return styles_; }
  const OutputStyle* Find(int32_t id) const;
  const OutputStyle* FindName(const std::string& name) const;
  // The default style of `medium`, or null.
  const OutputStyle* DefaultOf(uint32_t medium) const;
  // Adds a style under a new id unless its name is taken; the id, or 0.
  int32_t Add(OutputStyle style);

  // The style the running export uses (0: the default PDF style).
  int32_t selected = 0;

 private:
  std::vector<OutputStyle> styles_;
  int32_t next_id_ = 1;
};

// What the running PDF export was handed through XTPdfSuite.
struct PdfExportState {
  bool running = false;
  int32_t export_switch = 0;
  bool handed = false;  // an output file was handed over
  std::string output;   // its path as handed; empty when it names no file
};

// The name of the host's default PDF style.
extern const char kDefaultPdfStyleName[];

}  // namespace xthost
