#include "plugin/conversion/export_tables.h"

namespace {

template <class Suite>
const Suite* Acquired(const Suite*& slot, uint32_t code) {
  const HostLink& link = XT();
  if (slot == nullptr && link.registration != nullptr) AcquireSuite(*link.registration, code, slot);
  return slot;
}

}  // namespace

const XTFileDataSuite* FileDataTable() { return Acquired(XT().file_data, kXTTableXFRd); }
const XTColorQuerySuite* ColorQueryTable() { return Acquired(XT().colors, kXTTableXCLq); }
