#include "plugin/conversion/exporter_krm.h"

#include <algorithm>
#include <exception>
#include <string>
#include <utility>

#include "platform/xt/xt_layout_suites.h"
#include "plugin/mixer/xtags_export.h"
#include "support/host_link.h"
#include "support/program_log.h"

namespace {

// UTF-8 to UTF-16; a byte that is no part of a well-formed sequence
// becomes one unit of its own value.
std::u16string DecodeUtf8Widening(const std::string& bytes) {
  std::u16string out;
  const size_t n = bytes.size();
  size_t i = 0;
  while (i < n) {
    const unsigned char lead = static_cast<unsigned char>(bytes[i]);
    size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                                   : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    uint32_t value = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
    bool valid = length != 0 && i + length <= n;
    for (size_t k = 1; valid && k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(bytes[i + k]);
      valid = (next & 0xC0) == 0x80;
      value = (value << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    if (valid && length == 3) valid = value >= 0x800 && (value < 0xD800 || value > 0xDFFF);
    if (valid && length == 4) valid = value >= 0x10000 && value <= 0x10FFFF;
    if (!valid) {
      out += static_cast<char16_t>(lead);
      ++i;
      continue;
    }
    if (value >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((value - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((value - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(value);
    }
    i += length;
  }
  return out;
}

}  // namespace

WideTextStream::WideTextStream(std::ostream& bytes) : mBytes(bytes) {}

WideTextStream::~WideTextStream() noexcept(false) {
  // A byte stream that throws passes its exception on, unless one is
  // already on its way.
  if (std::uncaught_exceptions() > 0) {
    try {
      Flush();
    } catch (...) {
    }
    return;
  }
  Flush();
}

WideTextStream& WideTextStream::operator<<(std::u16string_view text) {
  while (!text.empty()) {
    if (mFill == kUnits) Flush();
    const size_t n = std::min(kUnits - mFill, text.size());
    std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n), mBuffer + mFill);
    mFill += n;
    text.remove_prefix(n);
  }
  return *this;
}

WideTextStream& WideTextStream::WriteWidened(std::string_view bytes) {
  for (char byte : bytes) {
    if (mFill == kUnits) Flush();
    mBuffer[mFill++] = static_cast<unsigned char>(byte);
  }
  return *this;
}

bool WideTextStream::Flush() {
  char bytes[kUnits * 2];
  for (size_t i = 0; i < mFill; ++i) {
    bytes[2 * i] = static_cast<char>(mBuffer[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<char>(mBuffer[i] >> 8);
  }
  if (!mBad) mBytes.write(bytes, static_cast<std::streamsize>(mFill * 2));
  mFill = 0;
  if (!mBad && !mBytes.flush()) mBad = true;
  return !mBad;
}

std::unique_ptr<ExporterKrm> ExporterKrm::Create(RefHandle<QuarkDoc> document, WideTextStream* out,
                                                 std::set<int32_t>* uniqueIds) {
  return std::unique_ptr<ExporterKrm>(new ExporterKrm(std::move(document), out, uniqueIds));
}

ExporterKrm::ExporterKrm(RefHandle<QuarkDoc> document, WideTextStream* out, std::set<int32_t>* uniqueIds)
    : Exporter(std::move(document), nullptr, uniqueIds), mOut(out) {}

ExporterKrm::~ExporterKrm() noexcept(false) = default;

void ExporterKrm::WriteFile() {
  if (mOut == nullptr) return;
  *mOut << u"<KRM>\n";
  bool whole = true;
  ForEachStory([this, &whole](int32_t index, XTItem box) {
    int32_t story = 0;
    const XTLayoutSuite* layout = XT().lgk2;
    XTagsText tags;
    if (layout != nullptr && layout->item_story(box, &story) == kXTOk && story > 0) {
      tags = ExportToTag(story);
    } else {
      ProgramLog() << "ERROR: no story for box " << box << " of story " << index << "\n" << std::flush;
      tags.whole = false;
    }
    whole = whole && tags.whole;
    WriteStory(tags.text, index);
  });
  *mOut << u"</KRM>\n";
  // A story that came only in part fails the export after its prefix is
  // written, as does a failed write.
  if (!mOut->Flush() || !whole) mOut->SetBad();
}

void ExporterKrm::WriteStory(std::u16string_view text, int32_t index) {
  const std::string number = std::to_string(index);
  *mOut << u"<XTag ";
  mOut->WriteWidened(number);
  *mOut << u">" << text << u"\n";
}

void WriteKrmHeader(WideTextStream& out, const std::string& sourcePath) {
  out << u"\uFEFF<Header>\n<QxpSource>\"" << DecodeUtf8Widening(sourcePath) << u"\"</QxpSource>\n</Header>\n";
}
