// Pseudo-translation of an exchange container: a copy in which the text of
// every Unicodes run has grown the way a translation grows it, so that an
// import can be tried without a translator.
//
// The copy is made logical stream by logical stream through the code file's
// reader and writer: every stream other than the runs' "!1:Unicodes" keeps
// its bytes (folder tables, attributes, the strings map, every other run),
// and every other element of the compound file (the private data with the
// stored host documents) is copied whole.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace kxtpseudo {

// `units` with U+00E9 U+4E2D after every maximal sequence of units other
// than U+0000 to U+0020, U+00A0 and the digits 0 to 9.
std::u16string PseudoText(std::u16string_view units);

// A failure of one of the files: "FILE: what is wrong with it".
class FileFailure : public std::runtime_error {
 public:
  FileFailure(const std::string& file, const std::string& reason);
};

// Writes the copy of the container file `in` to `out`, with PseudoText
// applied to every Unicodes run unless `identity`.  The copy takes the
// place of a file at `out` only when all of it was written and synced.
// Failures of the files or the container are raised as FileFailure, naming
// the file they concern; `out` naming the same file as `in` raises
// std::invalid_argument.
void PseudoTranslate(const std::string& in, const std::string& out, bool identity);

}  // namespace kxtpseudo
