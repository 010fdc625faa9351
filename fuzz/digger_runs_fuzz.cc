// Container runs as the story reader writes them into a host story: any
// units, bytes, special-character records, anchors and unique ids, in any
// order, never crash the reader and leave a well-formed story; what it
// cannot describe stops it with its damage failure (1004).  The input
// is a list of steps; each step's first byte picks what it does and its
// second byte how many of the following bytes it takes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "host/document_ops.h"
#include "host/host.h"
#include "plugin/conversion/digger.h"
#include "plugin/conversion/importer.h"
#include "plugin/conversion/x_attribs.h"
#include "plugin/mixer/mapper.h"
#include "support/error_record.h"
#include "support/host_link.h"
#include "tests/common/registry_root.h"
#include "tests/common/temp_dir.h"
#include "tests/plugin/conversion/import_fakes.h"

namespace {

using namespace import_test;

const char kDocument[] = R"({"format": "xthost document", "version": 1, "layouts": [{"name": "L"}],
  "characterAttributes": [{"font": 3}, {"font": 3, "opcode": 136}, {"font": 3, "opcode": 6}],
  "boxes": [{"id": 1, "story": 1, "bounds": [36, 36, 300, 300]}],
  "stories": [{"id": 1, "text": "ab#00004711cd\r\u0002xy\u000bz\r",
               "paragraphs": [[0, 14], [0, 6], [0, 0]], "runs": [[0, 2], [1, 9], [0, 3], [2, 1], [0, 5]]}]})";

void Require(bool condition) {
  if (!condition) std::abort();
}

struct Fixture {
  testutil::RegistryRoot registry;
  testutil::TempDir dir{"brenix-fuzz-digger"};
  std::string path = dir.path() + "/doc.qxp";
  Fixture() { std::ofstream(path, std::ios::binary) << kDocument; }
};

void Bind() {
  const XTRegisterRec record = xthost::MakeRegisterRec();
  HostLink& link = XT();
  link = HostLink();
  AcquireSuite(record, kXTSuiteLGE2, link.lge2);
  AcquireSuite(record, kXTSuiteLGF2, link.lgf2);
  AcquireSuite(record, kXTSuiteLGG2, link.lgg2);
  AcquireSuite(record, kXTSuiteLGH2, link.lgh2);
  AcquireSuite(record, kXTSuiteLGI2, link.lgi2);
  AcquireSuite(record, kXTSuiteLGJ2, link.lgj2);
  AcquireSuite(record, kXTSuiteLGK2, link.lgk2);
  AcquireSuite(record, kXTSuiteLGL2, link.lgl2);
  AcquireSuite(record, kXTTableXBXa, link.boxes);
  AcquireSuite(record, kXTTableXPJc, link.projects);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Fixture fixture;
  std::ostringstream transcript;
  xthost::HostOptions options;
  options.transcript = &transcript;
  xthost::Host host(std::move(options));
  Bind();
  int32_t id = 0;
  std::string error;
  Require(xthost::OpenDocumentFile(host, fixture.path, 31, &id, &error) == kXTOk);
  {
    Mapper exporter;
    exporter.Analyze();
  }
  {
    Mapper mapper;
    mapper.Connect();
    const XTItem box = mapper.FindBox(0);
    Require(box != 0);
    const FixedStory segments(box, mapper);
    XAttribs applier(XAttribs::kImport);
    const Strings strings = {{1, u"page_number"}, {2, u"Curr"}, {3, u"column_break"}, {4, u"tabulator"}};
    FakeDoc doc({}, &strings);
    Digger digger(box, mapper, applier, segments.segments, (size % 2) != 0);
    bool flag = false;
    bool stopped = false;
    for (size_t at = 0; at + 2 <= size;) {
      const uint8_t op = data[at] % 6;
      const size_t n = std::min<size_t>(data[at + 1], size - at - 2);
      const uint8_t* p = data + at + 2;
      at += 2 + n;
      RunSpec run;
      switch (op) {
        case 0:
          for (size_t i = 0; i + 1 < n; i += 2) run.units += static_cast<char16_t>(p[i] | p[i + 1] << 8);
          if (n > 0 && p[0] < 0x10) run.attrs[u"private"] = std::u16string(1, u'0' + p[0] % 3);
          break;
        case 1:
          run.kind = kRunMultibytes;
          run.bytes.assign(reinterpret_cast<const char*>(p), n);
          if (n > 0) run.attrs[u"codepage"] = p[0] % 2 ? u"1251" : u"0xFFFF";
          break;
        case 2:
          run.kind = kRunSpecialChars;
          for (size_t i = 0; i + 1 < n; i += 2) run.records.push_back({p[i] % 6, p[i + 1] % 6 - 1, 0});
          break;
        case 3:
          if (n > 0) digger.Locate({p[0] % 8, n > 1 && p[1] % 2 ? 1000 : p[1 % n] % 2, 0, 0}, n > 2);
          continue;
        case 4:
          digger.Next();
          continue;
        default: {
          int32_t value = 0;
          for (size_t i = 0; i < n && i < 4; ++i) value = value << 8 | p[i];
          digger.InsertHidden(value);
          continue;
        }
      }
      FakeRun reader(run, &strings, &doc);
      // A run the container cannot describe (a special character outside
      // the strings map) stops the reading as damage, as it stops an import.
      try {
        digger.PutUnit(reader, flag, at >= size);
      } catch (const ErrorRecord& damage) {
        Require(damage.code == 1004);
        stopped = true;
        break;
      }
    }
    if (!stopped) digger.Finish();
  }
  xthost::DocumentContent* content = xthost::CurrentContent(host);
  Require(content != nullptr && content->Check(&error));
  XT() = HostLink();
  return 0;
}
