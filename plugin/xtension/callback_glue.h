// Host callbacks as counted objects.
//
// CBGlue is what the host calls: its entry hands the host record to the
// typed handler of CallBack<Rec> and returns the handler's 32-bit result.
// CBAdapter makes a button of a callback: an enabled adapter fires its
// listeners with each record; it always answers 0.
#pragma once

#include <cstdint>

#include "plugin/xtension/swing.h"
#include "support/ref_object.h"

class CBGlue : public virtual RefObject {
 public:
  // The generic host entry.
  virtual int32_t HostEntry(void* record) = 0;
};

template <class Rec>
class CallBack : public CBGlue {
 public:
  int32_t HostEntry(void* record) override { return Handle(static_cast<Rec>(record)); }
  // The typed handler.
  virtual int32_t Handle(Rec record) = 0;
};

template <class Rec, int32_t N>
class CBAdapter : public Swing::AbstractButton<Rec, N>, public CallBack<Rec> {
 public:
  CBAdapter() = default;
  int32_t Handle(Rec record) override {
    if (this->IsEnabled()) this->Fire(record);
    return 0;
  }

 protected:
  ~CBAdapter() override = default;
};
