// The typed value streams over code-file streams, and the two steps that
// make them: creating a logical stream and writing its tag, and opening one
// and checking its tag.
#pragma once

#include <cstdint>
#include <typeinfo>

#include "framework/code_file.h"
#include "framework/recycled_blocks.h"
#include "kxt/kxt_container.h"
#include "kxt/kxt_handle.h"
#include "kxt/typed_stream.h"

// T is one of the thirteen value types (void for tag 0).  Owns its
// code-file stream and shares the tree's container; deleting it completes
// the stream and then lets go of the container.
template <class T>
class KXT_Out_Impl final : public KXT_Out<T>, public KXT_OutStream2 {
 public:
  // Takes ownership of the stream, whose tag is already written.
  KXT_Out_Impl(const KXT_Handle<KXT_OutContainer>& container, CF_OutStream* stream)
      : container_(container), stream_(stream) {}

  const std::type_info& Type() const override { return typeid(T); }
  void PutData(const T* values, uint32_t count) override;
  // One is made and deleted per stream: kept for reuse, not freed.
  RECYCLED_ALLOCATION(KXT_Out_Impl)

 protected:
  ~KXT_Out_Impl() noexcept(false) override;

 private:
  KXT_Handle<KXT_OutContainer> container_;
  CF_OutStream* stream_;
};

template <class T>
class KXT_In_Impl final : public KXT_In<T>, public KXT_InStream2 {
 public:
  // Takes ownership of the stream, positioned just after its tag.
  KXT_In_Impl(const KXT_Handle<KXT_InContainer>& container, CF_InStream* stream)
      : container_(container), stream_(stream) {}

  const std::type_info& Type() const override { return typeid(T); }
  uint32_t GetData(T* values, uint32_t count) override;
  RECYCLED_ALLOCATION(KXT_In_Impl)

 protected:
  ~KXT_In_Impl() noexcept(false) override;

 private:
  KXT_Handle<KXT_InContainer> container_;
  CF_InStream* stream_;
};

// Creates the logical stream (name, id) in the storage (kind: decided at the
// first flush), writes the tag of `type` and returns the typed stream.
// Never null.
KXT_Handle<KXT_OutStream2> KXT_CreateTypedStream(CF_OutStorage& storage, const KXT_Handle<KXT_OutContainer>& container,
                                                 const std::type_info& type, const char* name, int32_t id);
// Opens the logical stream (name, id) of the storage; null when it is
// missing, shorter than its tag, tagged above 12 or tagged for another type.
KXT_Handle<KXT_InStream2> KXT_OpenTypedStream(CF_InStorage& storage, const KXT_Handle<KXT_InContainer>& container,
                                              const std::type_info& type, const char* name, int32_t id);
