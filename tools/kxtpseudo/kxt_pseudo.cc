#include "tools/kxtpseudo/kxt_pseudo.h"

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

#include "framework/code_file.h"
#include "framework/ole_enumerator.h"
#include "framework/ole_object.h"
#include "framework/ole_storage.h"
#include "framework/failures.h"
#include "platform/win/replacing_file.h"

namespace kxtpseudo {
namespace {

constexpr char16_t kTextAndCode[] = u"SolvaneTextAndCode";
// The item name of a run's UTF-16 text, after its folder's prefix.
constexpr std::string_view kUnicodesItem = "\x01!1:Unicodes";
constexpr unsigned char kFolderTableMark = 0x02;
// The type tag of a stream of unsigned short.
constexpr uint16_t kUnitsTag = 5;

bool Kept(char16_t unit) { return unit <= 0x20 || unit == 0xA0 || (unit >= u'0' && unit <= u'9'); }

bool IsUnicodesItem(const std::string& name) {
  return name.size() >= kUnicodesItem.size() &&
         name.compare(name.size() - kUnicodesItem.size(), kUnicodesItem.size(), kUnicodesItem) == 0 &&
         name.find(static_cast<char>(kFolderTableMark)) == std::string::npos;
}

// The body of a typed stream of units with PseudoText applied; any other
// body (another tag, too short) unchanged.  An odd last byte stays last.
std::string PseudoBody(const std::string& body) {
  if (body.size() < 2 || (static_cast<unsigned char>(body[0]) | static_cast<unsigned char>(body[1]) << 8) != kUnitsTag)
    return body;
  std::u16string units;
  for (size_t i = 2; i + 1 < body.size(); i += 2)
    units.push_back(static_cast<char16_t>(static_cast<unsigned char>(body[i]) | static_cast<unsigned char>(body[i + 1]) << 8));
  std::string out = body.substr(0, 2);
  for (char16_t unit : PseudoText(units)) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>(unit >> 8));
  }
  if (body.size() % 2 != 0) out.push_back(body.back());
  return out;
}

struct Identifiers : CF_EnumerableInStorage::IdentifierReceiver {
  bool Receive(const char* name, int32_t id) override {
    all.emplace_back(name, id);
    return true;
  }
  std::vector<std::pair<std::string, int32_t>> all;
};

std::string ReadAll(CF_InStream& stream) {
  std::string bytes;
  char buffer[4096];
  for (uint32_t n; (n = stream.GetData(buffer, sizeof buffer)) > 0;) bytes.append(buffer, n);
  return bytes;
}

// Every logical stream of the code file in `from` into a new code file in
// `to`, stored uncompressed.
// *now names the file being read or written.
void CopyCodeFile(OLEStorage& from, OLEStorage& to, bool identity, const std::string** now, const std::string& inPath,
                  const std::string& outPath) {
  *now = &inPath;
  std::unique_ptr<CF_EnumerableInStorage> reader(OpenEnumerableCodeFile(from));
  Identifiers ids;
  reader->EnumerateStreams(ids);
  *now = &outPath;
  CF_OutStorage* writer = CreateCodeFile(to, false);
  try {
    for (const auto& [name, id] : ids.all) {
      *now = &inPath;
      std::unique_ptr<CF_InStream> in(reader->OpenStream(name.c_str(), id));
      std::string bytes = in ? ReadAll(*in) : std::string();
      if (!identity && IsUnicodesItem(name)) bytes = PseudoBody(bytes);
      *now = &outPath;
      CF_OutStream* out = writer->CreateStream(name.c_str(), id, CF_Stored);
      try {
        out->PutData(bytes.data(), static_cast<uint32_t>(bytes.size()));
      } catch (...) {
        delete out;
        throw;
      }
      delete out;
    }
  } catch (...) {
    try {
      delete writer;
    } catch (...) {
    }
    throw;
  }
  delete writer;
}

}  // namespace

std::u16string PseudoText(std::u16string_view units) {
  std::u16string out;
  out.reserve(units.size() * 3 / 2);
  bool inWord = false;
  for (char16_t unit : units) {
    const bool word = !Kept(unit);
    if (inWord && !word) out += u"\u00e9\u4e2d";
    out.push_back(unit);
    inWord = word;
  }
  if (inWord) out += u"\u00e9\u4e2d";
  return out;
}

namespace {

// `inside`: the failure concerns an element of a container that opened.
[[noreturn]] void RaiseAbout(const std::string& file, const FilterException& failure, bool inside) {
  const char* words = inside && failure.Id() == 33006 ? "the container is damaged: an element is missing"
                                                      : OLEObject::FailureReason(failure.Id());
  throw FileFailure(file, std::string(*words != '\0' ? words : "failure") + " (failure " +
                              std::to_string(failure.Id()) + ")");
}

}  // namespace

FileFailure::FileFailure(const std::string& file, const std::string& reason)
    : std::runtime_error(file + ": " + reason) {}

void PseudoTranslate(const std::string& in, const std::string& out, bool identity) {
  std::error_code ignored;
  if (std::filesystem::equivalent(in, out, ignored)) throw std::invalid_argument("the copy would replace its source");
  // The file being read or written: the one a failure concerns.
  const std::string* now = &in;
  bool opened = false;
  try {
    OLEStorage source(in.c_str(), kOLERead);
    opened = true;
    // The copy is made under a name of its own beside OUT, which it
    // replaces only when all of it was written: a failed or killed run
    // leaves OUT as it was.
    now = &out;
    win::ReplacingFile file(out);
    if (!file.ok()) throw FileFailure(out, file.Reason());
    {
      OLEStorage target(file.path().c_str(), kOLECreate);
      now = &in;
      OLEStorageEnumerator items(source);
      while (items.Next()) {
        const std::u16string name = items.ItemName();
        if (name == kTextAndCode && items.ItemIsStorage()) {
          OLEStorage from(source, kTextAndCode, kOLERead);
          now = &out;
          OLEStorage to(target, kTextAndCode, kOLECreate);
          CopyCodeFile(from, to, identity, &now, in, out);
        } else {
          now = &in;
          source.CopyItem(name.c_str(), target, nullptr, false);
        }
        now = &in;
      }
      now = &out;
    }  // the copy is saved here
    if (!file.Commit()) throw FileFailure(out, file.Reason());
  } catch (const FilterException& failure) {
    // Copying an element reads the one and writes the other: a failure to
    // write is the copy's.
    const int id = failure.Id();
    const bool writing = id == 33011 || id == 33012 || id == 33013;
    const std::string& file = writing ? out : *now;
    RaiseAbout(file, failure, opened && &file == &in);
  }
}

}  // namespace kxtpseudo
