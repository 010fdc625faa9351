// File records and the conversion request.
//
// FileSpec is the plug-in's record of one file: its kind (the file-kind
// table of the conversions), name, full path, host file type and a value
// that travels with it.  FileSpecPair is one conversion request: source,
// target and conversion type.  One FileSpecPair is the current request,
// which the commands fill and the document layer reads.  Host thread only.
#pragma once

#include <cstdint>
#include <string>

#include "platform/xt/xt_records.h"
#include "support/paths.h"

class FileSpec {
 public:
  FileSpec() = default;
  FileSpec(const FileSpec&) = default;
  FileSpec& operator=(const FileSpec&) = default;
  ~FileSpec() = default;

  // Copies every field of `other`.
  void CopyFrom(const FileSpec& other) { *this = other; }
  FileSpec Copy() const { return *this; }
  std::string GetFileName() const { return fileName; }
  std::string GetFullPath() const { return fullPath; }

  // The host file spec of the full path (a file object of type 'XPR3').
  // On failure `spec` is left as it was.
  void GetHostSpec(XTFileSpec& spec) const;
  // Creates the file at the full path through the host.  Nothing when
  // `creator` is 0.  A `type` of 'XPR3' stands for the record's own host file
  // type.  The file object carries `value`, or when that is -1 the record's
  // value unless that is -1 too.  An existing file stays unless `overwrite`;
  // with it, it is deleted first and its value handed back to the host.
  void CreateHostFile(int32_t creator, bool overwrite, uint32_t type, int32_t value) const;
  // Sets the host's file information of the file at the full path (nothing
  // when `first` is 0).
  void SetHostFileInfo(int32_t first, int32_t second) const;
  // Takes `path` as the full path and asks the host for the file's name
  // (twice when the first answer fails); on success stores the name and sets
  // the kind from it.  The host's result.
  int32_t SetFromPath(const std::string& path);

  uint32_t kind = kFileKindNone;
  std::string fileName;
  std::string fullPath;
  uint32_t hostType = kXTDocumentType;
  int32_t value = -1;
};

class FileSpecPair {
 public:
  FileSpecPair() = default;
  FileSpecPair(const FileSpecPair&) = default;
  FileSpecPair& operator=(const FileSpecPair&) = default;
  ~FileSpecPair() = default;

  FileSpec GetTarget() const { return target; }
  // Back to a new pair: both records empty, conversion type 6.
  void Reset() { *this = FileSpecPair(); }
  // Whether the file kinds fit the conversion type: the target's kind for
  // an export (and, with requireHostSource, a "qxp" or "qxd" source); a
  // "kxq" source and "qxp" or "qxd" target for an import; false otherwise.
  // (Defined with the conversion types, plugin/conversion.)
  bool CheckKinds(bool requireHostSource) const;
  // Gives both records the host file type and second code of the pair's
  // conversion type (plugin/conversion/conversion_types.h).
  void SetHostTypes();

  FileSpec source;
  FileSpec target;
  uint32_t conversionType = 6;  // 6: none
};

// The current request, built at load.
FileSpecPair& CurrentRequest();

// The PDF target of the current request: its target path without a
// three-letter extension (in the last path component), with ".pdf" added
// unless the PDF mode (PdfStepMode) is 1 or 3.  `out` receives it when the
// host can name the file.
void MakePdfTargetPath(std::string& out);

namespace CnvTools {
// The PDF path of the current request (MakePdfTargetPath) stored as the
// request's target; 0, or the host's failure when it cannot name the file
// (then `out` and the request stay as they were).
int32_t SetTargetFromProject(std::string& out);
}  // namespace CnvTools
