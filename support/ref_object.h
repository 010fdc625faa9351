// Intrusive reference counting for the plug-in's shared objects (message
// strings, actions, buttons, callbacks) and the counted handle that holds
// them.
//
// A RefObject starts with count 1, held by its creator.  Release subtracts 1
// and destroys the object when the count reaches 0.  Classes that combine
// several counted bases inherit RefObject virtually, so each object has one
// count.  Counting is plain, not atomic: these objects live on one thread.
#pragma once

#include <cstdint>
#include <utility>

// Objects of the counted family are never copied or assigned.
class CantCopy {
 public:
  CantCopy(const CantCopy&) = delete;
  CantCopy& operator=(const CantCopy&) = delete;

 protected:
  CantCopy() = default;
  ~CantCopy() = default;
};

class RefObject : public CantCopy {
 public:
  // Drops one reference; the last one destroys the object.
  virtual void Release();
  void AddRef() { ++count_; }
  uint32_t RefCount() const { return count_; }

 protected:
  RefObject() = default;
  virtual ~RefObject() = default;

 private:
  uint32_t count_ = 1;
};

// A counted handle: a pointer to a T (derived from RefObject) or empty.
// Copying adds a reference, dropping a non-empty handle releases one.  Two
// handles are equal when they reach the same RefObject, whatever base they
// see it through.
template <class T>
class RefHandle {
 public:
  RefHandle() = default;
  // Takes over the reference the caller holds (a new object's first one).
  static RefHandle Adopt(T* object) {
    RefHandle handle;
    handle.object_ = object;
    return handle;
  }
  // Adds a reference of its own.
  static RefHandle Share(T* object) {
    if (object) object->AddRef();
    return Adopt(object);
  }

  RefHandle(const RefHandle& other) : RefHandle(Share(other.object_)) {}
  RefHandle(RefHandle&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  template <class U>
  RefHandle(const RefHandle<U>& other) : RefHandle(Share(other.Get())) {}  // NOLINT: widening like a pointer
  RefHandle& operator=(RefHandle other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }
  ~RefHandle() { Reset(); }

  void Reset() {
    if (T* object = std::exchange(object_, nullptr)) object->Release();
  }

  T* Get() const { return object_; }
  T* operator->() const { return object_; }
  T& operator*() const { return *object_; }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  T* object_ = nullptr;
};

// The RefObject part of a handle's object, or null.
template <class T>
const RefObject* RefPart(const RefHandle<T>& handle) {
  return handle.Get();
}

template <class T, class U>
bool operator==(const RefHandle<T>& a, const RefHandle<U>& b) {
  return RefPart(a) == RefPart(b);
}
template <class T, class U>
bool operator!=(const RefHandle<T>& a, const RefHandle<U>& b) {
  return !(a == b);
}
