#include "support/CnvTools.h"

// The two string types the tree is used with; files and log files exist
// over the narrow string only.
template class NodeFSBase<std::string>;
template class ct_File<std::string>;
template class ct_Folder<std::string>;
template class ct_LogFile<std::string>;
template class NodeFSBase<TStrU>;
template class ct_Folder<TStrU>;
