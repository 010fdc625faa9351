// ClassObject<T>: the process-wide single instance of a counted class.
//
// Building a T records it as the instance; destroying it clears the record.
// Instance() hands out a counted handle to it (one more reference), or an
// empty handle while no instance lives.
#pragma once

#include "support/ref_object.h"

template <class T>
class ClassObject : public virtual RefObject {
 public:
  static RefHandle<T> Instance() {
    return instance_ ? RefHandle<T>::Share(static_cast<T*>(instance_)) : RefHandle<T>();
  }

 protected:
  ClassObject() { instance_ = this; }
  ~ClassObject() override {
    if (instance_ == this) instance_ = nullptr;
  }

 private:
  static inline ClassObject* instance_ = nullptr;
};
