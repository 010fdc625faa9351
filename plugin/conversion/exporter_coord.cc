#include "plugin/conversion/exporter_coord.h"

#include <string>
#include <utility>

std::unique_ptr<ExporterCoord> ExporterCoord::Create(RefHandle<QuarkDoc> document, std::ostream* out,
                                                     std::set<int32_t>* uniqueIds) {
  return std::unique_ptr<ExporterCoord>(new ExporterCoord(std::move(document), out, uniqueIds));
}

ExporterCoord::ExporterCoord(RefHandle<QuarkDoc> document, std::ostream* out, std::set<int32_t>* uniqueIds)
    : Exporter(std::move(document), nullptr, uniqueIds), mOut(out) {}

ExporterCoord::~ExporterCoord() noexcept(false) = default;

int32_t ExporterCoord::Run() { return Exporter::Run(); }

bool ExporterCoord::AcceptsUniqueIds() const { return mOut != nullptr && mOut->good(); }

void ExporterCoord::EndParagraph(const ParagraphEnd& end) {
  const ParagraphPlace place = PlaceParagraph(*end.geometry, end.first, lastParagraph);
  if (mOut == nullptr) return;
  const BoxGeometry& g = place.geometry;
  *mOut << "<coord><p";
  WriteAttr("uid", end.uniqueId);
  WriteAttr("page", g.sectionalPos);
  if (g.angle != 0) WriteAttr("angle", g.angle);
  if (place.shown) {
    WriteAttr("y_pos", g.y);
    WriteAttr("x_pos", g.x);
  } else {
    WriteAttr("x_pos", g.x);
    WriteAttr("y_pos", g.y);
  }
  WriteAttr("width", g.width);
  WriteAttr("height", g.height);
  *mOut << "/></coord>\n";
  // A failed flush leaves the stream bad; the command reports it.
  if (!mOut->flush()) mOut->setstate(std::ios::badbit);
}

void ExporterCoord::WriteAttr(const char* name, int32_t value) {
  *mOut << ' ' << name << "=\"" << std::to_string(value) << '"';
}

void WriteCoordinatesHeader(std::ostream& out, const std::string& sourcePath) {
  const std::string rule(80, '-');
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      << "<!--\n"
      << rule << "\n"
      << "Paragraph coordinates:\n"
      << sourcePath << "\n"
      << rule << "\n"
      << "-->\n"
      << std::flush;
}
