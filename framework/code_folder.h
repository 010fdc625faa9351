// Code folders: a tree of folders laid over the flat code file without
// changing its format.
//
// A folder is a name prefix: the root's is empty, a child's is its parent's,
// the byte 0x01 and the child's number in upper-case hexadecimal.  The
// folder's stream S is the code-file stream "prefix 0x01 S"; its table of
// children is the stream "prefix 0x02" with id 0, written when the writing
// folder is deleted.  Element names hold neither NUL nor 0x01 nor 0x02
// (writing refuses such names with failure 33000).
//
// The caller owns every folder it gets and deletes it; folders do not own the
// code-file writer or reader, which must outlive them.  A missing or damaged
// folder table fails with 34001.
#pragma once

#include <cstdint>

#include "framework/code_file.h"

class CF_OutFolder : public virtual CF_OutStorage {
 public:
  // The child (name, index), numbered in order of first creation; the same
  // (name, index) again keeps its number.
  virtual CF_OutFolder* CreateFolder(const char* name, int32_t index) = 0;
};

class CF_InFolder : public virtual CF_InStorage {
 public:
  // The child (name, index), or null when the table has none.
  virtual CF_InFolder* OpenFolder(const char* name, int32_t index) = 0;
  // The same, with a hint that the child's stream `expected` is about to be
  // opened, so that finding it may start while the child is being read.
  virtual CF_InFolder* OpenFolderExpecting(const char* name, int32_t index, const char* /*expected*/) {
    return OpenFolder(name, index);
  }
};

class CF_EnumerableInFolder : public virtual CF_InFolder, public CF_EnumerableInStorage {
 public:
  // Reports this folder's own streams by their names in it; never the
  // streams of children or any table.
  bool EnumerateStreams(IdentifierReceiver& receiver) override = 0;
  CF_EnumerableInFolder* OpenFolder(const char* name, int32_t index) override = 0;
  // A new view (owned by the caller) of the streams that belong to no
  // folder: names holding neither 0x01 nor 0x02.
  virtual CF_EnumerableInStorage* UnfoldedStorage() = 0;
  // Reports every child (name, index) in table order: by name (unsigned
  // bytes, a prefix first), then index.  False as soon as the receiver
  // returns false.
  virtual bool EnumerateFolders(IdentifierReceiver& receiver) = 0;
};

// The root folder over a writer.
CF_OutFolder* CreateCodeFolder(CF_OutStorage& writer);
// The root folder over a reader; reads the root table at once.
CF_InFolder* OpenCodeFolder(CF_InStorage& reader);
CF_EnumerableInFolder* OpenEnumerableCodeFolder(CF_EnumerableInStorage& reader);
