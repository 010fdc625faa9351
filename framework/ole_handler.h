// OLEHandler<T>: the shared, counted owner of one storage or stream interface.
//
// A handler holds one reference to its interface and releases it once, when
// the handler dies.  A handler made under a parent storage's handler keeps
// that parent alive: the constructor and every AddRef add a reference to the
// parent, every Release and the destructor give one back.  Handlers start
// with one holder; Release by the last holder deletes the handler.
//
// Where write errors surface: a root storage (a handler without a parent)
// holds the whole compound file in memory.  When the last reference to the
// root's interface is about to go, the handler first calls Commit(), which
// writes the file and returns a result; a failure (disk full, write error)
// passes through OLEObject::RaiseOrLog and so reaches the caller as 33012 or
// 33013.  The storage layer would also write on its last release, but a
// release returns only a count and could not report the failure.
#pragma once

#include <cstdint>
#include <string>

#include "platform/ole/ole.h"

template <class T>
class OLEHandler {
 public:
  // Takes over one reference to `iface` (no AddRef); `parent` may be null.
  OLEHandler(T* iface, OLEHandler<ole::Storage>* parent);
  // The same on the heap; when that fails, the reference is released and
  // the failure raised.
  static OLEHandler* Adopt(T* iface, OLEHandler<ole::Storage>* parent);
  OLEHandler(const OLEHandler&) = delete;
  OLEHandler& operator=(const OLEHandler&) = delete;

  virtual void AddRef();
  // The last holder's Release deletes the handler, which may raise the
  // failure of the root's final write (see above).
  virtual void Release();

  T* operator()() const { return iface_; }
  OLEHandler<ole::Storage>* Parent() const { return parent_; }

 protected:
  virtual ~OLEHandler() noexcept(false);

 private:
  // A root storage handler writes the file when it holds the last reference.
  ole::Result FinishRoot(std::u16string& name);

  T* iface_;
  OLEHandler<ole::Storage>* parent_;
  uint32_t extra_ = 0;  // holders beyond the first
};

template <>
ole::Result OLEHandler<ole::Stream>::FinishRoot(std::u16string& name);
template <>
ole::Result OLEHandler<ole::Storage>::FinishRoot(std::u16string& name);

extern template class OLEHandler<ole::Storage>;
extern template class OLEHandler<ole::Stream>;
