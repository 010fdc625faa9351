// Style bearers: elements that refer to a style by number.  A style
// reference is a typed stream of long holding one value; a missing stream
// leaves the reference alone, an empty one reads as -1.
//
// These are version-1 folder processors (the caller implements Call); the
// version-2 style bearers use them for StoreStyleRef and RestoreStyleRef
// only.
#pragma once

#include <cstdint>

#include "kxt/kxt_folder.h"
#include "kxt/kxt_processors.h"

class KXT_ProcessorWithStyle_Out : public virtual KXT_OutFolderProcessor {
 protected:
  // Writes the typed stream `name` (long) of the folder with the one value ref.
  virtual void StoreStyleRef(KXT_OutFolder& folder, int32_t ref, const char* name);

 private:
  class StyleRefSaver;
};

class KXT_ProcessorWithStyle_In : public virtual KXT_InFolderProcessor {
 protected:
  // Reads the typed stream `name` of the folder into ref: its first value,
  // or -1 when it holds none.  False (ref untouched) when the stream is
  // missing or not of type long.
  virtual bool RestoreStyleRef(KXT_InFolder& folder, int32_t& ref, const char* name);

 private:
  class StyleRefReader;
};
