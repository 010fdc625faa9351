// Parsing a compound file.
//
// The header, the allocation tables and the directory are read at once;
// every count, sector number, chain, size and directory link is checked
// against the bytes present before it is used: chains may not loop, leave
// the file, run into another chain or end before their stream's size;
// directory links may not leave the directory or reach an entry twice.  The
// work is bounded by the file's size.  Stream elements become views of the
// source, read when asked for.
#pragma once

#include <memory>

#include "platform/ole/byte_source.h"
#include "platform/ole/entry.h"
#include "platform/ole/ole.h"

namespace ole {

// S_OK with the root entry; STG_E_FILEALREADYEXISTS when the bytes are not a
// compound file (shorter than a header, or no signature); STG_E_OLDFORMAT when
// they carry the signature but are damaged or of a kind this layer does not
// read; STG_E_READFAULT when the source cannot be read; and
// STG_E_INSUFFICIENTMEMORY when memory runs out.
Result ParseDocfile(const std::shared_ptr<const ByteSource>& source, std::shared_ptr<Entry>* root);

}  // namespace ole
