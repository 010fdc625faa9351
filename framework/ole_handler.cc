#include "framework/ole_handler.h"

#include <string>

#include "framework/ole_object.h"

template <class T>
OLEHandler<T>::OLEHandler(T* iface, OLEHandler<ole::Storage>* parent) : iface_(iface), parent_(parent) {
  if (parent_) parent_->AddRef();
}

template <class T>
OLEHandler<T>* OLEHandler<T>::Adopt(T* iface, OLEHandler<ole::Storage>* parent) {
  try {
    return new OLEHandler<T>(iface, parent);
  } catch (...) {
    iface->Release();
    throw;
  }
}

template <class T>
void OLEHandler<T>::AddRef() {
  ++extra_;
  if (parent_) parent_->AddRef();
}

template <class T>
void OLEHandler<T>::Release() {
  if (extra_ == 0) {
    delete this;
    return;
  }
  --extra_;
  if (parent_) parent_->Release();
}

template <>
ole::Result OLEHandler<ole::Stream>::FinishRoot(std::u16string&) {
  return ole::S_OK;
}

template <>
ole::Result OLEHandler<ole::Storage>::FinishRoot(std::u16string& name) {
  if (parent_) return ole::S_OK;
  // Other wrappers of the same root (copies of its OLEStorage) hold their own
  // references; only the last one writes.  The probe's own reference makes
  // the count 2 when this handler's is the only other one.
  bool last = iface_->AddRef() == 2;
  iface_->Release();
  if (!last) return ole::S_OK;
  ole::Result result = iface_->Commit();
  if (!ole::Succeeded(result)) {
    ole::StatStg stat;
    if (ole::Succeeded(iface_->Stat(&stat))) name = stat.name;
  }
  return result;
}

template <class T>
OLEHandler<T>::~OLEHandler() noexcept(false) {
  std::u16string name;
  ole::Result result = FinishRoot(name);
  iface_->Release();
  if (parent_) parent_->Release();
  if (!ole::Succeeded(result)) OLEObject::RaiseOrLog(result, name.c_str());
}

template class OLEHandler<ole::Storage>;
template class OLEHandler<ole::Stream>;
