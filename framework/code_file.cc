#include "framework/code_file.h"

#include "framework/cf_in_storage.h"
#include "framework/cf_out_storage.h"

CF_OutStorage* CreateCodeFile(OLEStorage storage, bool compress) { return new CF_OLEOutStorage(storage, compress); }

CF_EnumerableInStorage* OpenEnumerableCodeFile(OLEStorage storage) { return new CF_OLEInStorage(storage); }

CF_InStorage* OpenCodeFile(OLEStorage storage) { return OpenEnumerableCodeFile(storage); }
