// The XTags file (KRM): the host's tagged text of every story, one block per
// layout, in UTF-16LE.
//
// The export command opens a binary stream, wraps it in a WideTextStream,
// writes the header (WriteKrmHeader: U+FEFF, "<Header>\n",
// "<QxpSource>\"path\"</QxpSource>\n", "</Header>\n") and runs one
// ExporterKrm per layout; WriteFile writes
//   "<KRM>\n", per story i "<XTag i>" + tagged text + "\n", "</KRM>\n".
// Elements are not closed; the text may hold line breaks.  A story whose
// tagged text could not be had whole is written with what was had and the
// stream is left bad, as is a stream whose writing failed: the command
// reports both.  Host thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <string_view>

#include "plugin/conversion/exporter.h"

// UTF-16LE text onto a byte stream, through a buffer of 4096 units.  The
// bytes are written here, whatever the width of wchar_t.
class WideTextStream {
 public:
  explicit WideTextStream(std::ostream& bytes);
  // Writes what is buffered; a failure only shows in the byte stream's
  // state (call Flush first to know).
  ~WideTextStream() noexcept(false);
  WideTextStream(const WideTextStream&) = delete;
  WideTextStream& operator=(const WideTextStream&) = delete;

  WideTextStream& operator<<(std::u16string_view text);
  // Each byte widened to one unit.
  WideTextStream& WriteWidened(std::string_view bytes);
  // Writes the buffer out and flushes the byte stream; false (and bad
  // from then on) when the byte stream failed.
  bool Flush();
  bool good() const { return !mBad; }
  void SetBad() { mBad = true; }

 private:
  static constexpr size_t kUnits = 4096;
  std::ostream& mBytes;
  char16_t mBuffer[kUnits];
  size_t mFill = 0;
  bool mBad = false;
};

class ExporterKrm : public Exporter {
 public:
  // A new exporter over the current document (its full analysis) writing
  // to `out`, which the caller owns and keeps open while it runs.
  static std::unique_ptr<ExporterKrm> Create(RefHandle<QuarkDoc> document, WideTextStream* out,
                                             std::set<int32_t>* uniqueIds);
  ~ExporterKrm() noexcept(false) override;

  // One "<KRM>" block of every story of the layout, flushed at its end.
  void WriteFile();
  // "<XTag index>" text "\n".
  void WriteStory(std::u16string_view text, int32_t index);

 protected:
  ExporterKrm(RefHandle<QuarkDoc> document, WideTextStream* out, std::set<int32_t>* uniqueIds);

 private:
  WideTextStream* mOut;
};

// The byte-order signature and the header naming `sourcePath`, decoded from
// UTF-8 (a byte that is no part of valid UTF-8 is widened on its own).
void WriteKrmHeader(WideTextStream& out, const std::string& sourcePath);
