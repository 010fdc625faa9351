// The paragraph coordinates file: where the first line of every paragraph
// of every story sits on its page.
//
// The export command opens an 8-bit stream, writes the seven header lines
// (WriteCoordinatesHeader) and runs one ExporterCoord per layout; each
// appends one line per paragraph:
//   <coord><p uid="7" page="2" angle="90" y_pos=".." x_pos=".." width=".." height=".."/></coord>
// "uid" is -1 without a unique-id tag, "angle" only when not 0; a paragraph
// whose first line is not shown (overset) repeats the previous paragraph's
// values in the order x_pos, y_pos, width, height.  Lines end with "\n" and
// are flushed one by one; a failed write leaves the stream bad, which the
// command reports.  There is no closing element.  Host thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <set>
#include <string>

#include "plugin/conversion/exporter.h"

class ExporterCoord : public Exporter {
 public:
  // A new exporter over the current document (its full analysis) writing
  // to `out`, which the caller owns and keeps open while it runs.
  static std::unique_ptr<ExporterCoord> Create(RefHandle<QuarkDoc> document, std::ostream* out,
                                               std::set<int32_t>* uniqueIds);
  ~ExporterCoord() noexcept(false) override;

  // The lines of every story in index order; 0.
  int32_t Run();

 protected:
  ExporterCoord(RefHandle<QuarkDoc> document, std::ostream* out, std::set<int32_t>* uniqueIds);
  bool AcceptsUniqueIds() const override;
  void EndParagraph(const ParagraphEnd& end) override;

 private:
  // " name=\"value\"".
  void WriteAttr(const char* name, int32_t value);

  std::ostream* mOut;
};

// The seven header lines: XML declaration, "<!--", 80 hyphens,
// "Paragraph coordinates:", `sourcePath`, 80 hyphens, "-->".
void WriteCoordinatesHeader(std::ostream& out, const std::string& sourcePath);
