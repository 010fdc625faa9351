// Writing a tree of entries as a version-3 compound file (512-byte sectors)
// into its work file, then renaming the work file over the target.
//
// Streams of 4096 bytes or more keep the sectors they already have in the
// work file; others are written into free or new sectors, as are the mini
// stream, the directory and the mini FAT.  The FAT and, for files of more than
// 109 FAT sectors (about 7 MB), the DIFAT sectors go at the end.  Sectors left
// free are zeroed, so nothing destroyed stays readable.  Each storage's
// children form a balanced binary search tree in the directory's order,
// coloured as a valid red-black tree (the incomplete last level red, all else
// black); directory ids are given breadth first.
#pragma once

#include <memory>

#include "platform/ole/entry.h"
#include "platform/ole/ole.h"
#include "platform/ole/work_file.h"

namespace ole {

// Writes the tree under `root` and publishes the work file.  On failure the
// target is untouched and the work file is as it was.  STG_E_MEDIUMFULL for a
// full disk (or more sectors than the format can number), STG_E_WRITEFAULT
// for other write errors, STG_E_READFAULT when stream bytes viewed in a file
// being read cannot be read.
Result CommitDocfile(const Entry& root, const std::shared_ptr<WorkFile>& work);

}  // namespace ole
