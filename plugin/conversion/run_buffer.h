// Text runs of one text segment.
//
// WriteTextRun reads the segment's UTF-16 units from the host story and
// sorts each into a RunBuffer, which gathers consecutive units of one
// encoding and code page and writes them as one run of the paragraph,
// followed by the run's attributes:
//   16  UTF-16 units          "!1:Unicodes"
//   32  (the initial state)   "!1:Multibytes"
//   64  special characters    "!1:SpecialChars{}", one record per byte that
//                             the special-character table names; column
//                             and frame breaks in runs of their own, which
//                             alone carry attributes
//   128 units taken unchanged "!1:WideMultibytes"
// Paragraph ends are elements of their own and never become text; column
// and frame breaks become special characters unless the run is
// non-breaking (then they stay UTF-16 units).  Host thread only.
#pragma once

#include <cstdint>
#include <memory>

#include "plugin/conversion/kxt_export.h"
#include "plugin/conversion/x_attribs.h"

struct StoryRunPosition;

enum RunEncoding : uint32_t {
  kRunUnicodes = 16,
  kRunMultibytes = 32,
  kRunSpecialChars = 64,
  kRunWideMultibytes = 128,
};

class RunBuffer {
 public:
  // Room for the n characters of a segment; starts as (the record's code
  // page, 32).
  RunBuffer(BX_KXT::Export::Ref<BX_KXT::Export::IPara> paragraph, const XAttribs& record, uint32_t n);
  // Flushes what is pending (not while another exception unwinds).
  ~RunBuffer() noexcept(false);
  RunBuffer(const RunBuffer&) = delete;
  RunBuffer& operator=(const RunBuffer&) = delete;

  // Flushes when (codePage, encoding) differs from the current pair, then
  // takes it.
  void Switch(uint32_t codePage, uint32_t encoding);
  void AddUnit(char16_t unit, uint32_t codePage);
  // AddUnit with code page 0xFFFF taken as 1252.
  void AddUnitInCodePage(char16_t unit, uint32_t codePage);
  // A special character; a break never shares a run with another kind.
  void AddSpecial(uint8_t byte, uint32_t codePage);
  void AddWide(char16_t unit, uint32_t codePage);
  // Sorts one unit by the host character map; false when the map has no
  // entry for it (the caller then adds it as UTF-16).  `nonBreaking` is the
  // run's non-breaking flag (0 or 1).
  bool AddChar(char16_t unit, int nonBreaking);
  // Sorts the units in order, as AddChar and then AddUnit as UTF-16 for
  // those the map has no entry for; runs of units the map leaves alone are
  // taken at once.
  void AddText(const char16_t* units, uint32_t n, int nonBreaking);
  // Writes the pending units as one run and its attributes.
  void Flush();

  uint32_t codePage() const { return codePage_; }
  uint32_t encoding() const { return encoding_; }

 private:
  void Append(const void* bytes, uint32_t n);

  BX_KXT::Export::Ref<BX_KXT::Export::IPara> paragraph_;
  const XAttribs& record_;
  std::unique_ptr<uint8_t[]> buffer_;
  uint32_t capacity_;
  uint32_t fill_ = 0;
  uint32_t codePage_;
  uint32_t encoding_ = kRunMultibytes;
  bool breaks_ = false;  // the pending special characters are breaks
};

// Writes the characters from the walk's position up to its next boundary as
// runs of `paragraph`.  A segment the host cannot read is skipped.
void WriteTextRun(BX_KXT::Export::Ref<BX_KXT::Export::IPara> paragraph, StoryRunPosition position,
                  const XAttribs& record);
