// The saved host document as the source of a stored copy: its bytes, read
// in order through the host's file API, with the export's progress moving
// from 70 towards 95 while they are read and set to 85 when done (not in
// MultiDoc mode).  A file that does not open or a read that fails raises
// BrenixException (1008 "File Open", 1009 "File Read") with the file name,
// so no cut copy is ever stored.  Host thread only.
#pragma once

#include <cstdint>

#include "platform/xt/xt_export_suites.h"
#include "platform/xt/xt_records.h"
#include "plugin/conversion/kxt_export.h"

class ProgressBar;

class Writer final : public BX_KXT::BXInStream {
 public:
  Writer(const XTFileSpec& spec, ProgressBar* progress);
  ~Writer();
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  // Up to n bytes; 0 at the end of the file.
  uint32_t GetData(void* buffer, uint32_t n) override;
  // The file's length; 0 when the host cannot tell.
  uint32_t Length() override;

 private:
  [[noreturn]] void Fail(uint16_t code) const;
  void Progress(uint32_t value);

  const XTFileDataSuite* files_;
  ProgressBar* progress_;
  char name_[256];
  int16_t file_ = 0;
  int32_t status_ = 0;
  double reads_ = 0;
};
