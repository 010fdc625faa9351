// ReferredObject: the intrusive, single-threaded reference count of every
// counted object of the container library (storages, folders, typed streams,
// bundles and the shared owner of a tree's code file).
//
// The count begins at 1: the creator holds that first reference and usually
// hands it to a KXT_Handle.  The last Release deletes the object.  Deleting
// may complete output (a stream, a folder table, the whole code file), so
// Release may raise that failure; the object is gone all the same.
#pragma once

#include <cstdint>

class ReferredObject {
 public:
  ReferredObject(const ReferredObject&) = delete;
  ReferredObject& operator=(const ReferredObject&) = delete;

  // Adds one reference; returns the new count.  Defined here, so that a
  // handle to a final class counts without a call.
  virtual uint32_t AddRef() { return ++count_; }
  // Gives one reference back; the last one deletes the object (through
  // Delete) and returns 0 without touching it again.  A failure of the
  // deletion is raised after the object is gone.
  virtual uint32_t Release() {
    if (--count_ != 0) return count_;
    Delete();
    return 0;
  }

 protected:
  ReferredObject() = default;
  virtual ~ReferredObject() noexcept(false) {}
  // Destroys the object through its virtual destructor and frees it.
  virtual void Delete();

 private:
  uint32_t count_ = 1;
};
