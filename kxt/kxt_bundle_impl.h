// Bundles over a child folder: one typed stream per record field.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

#include "framework/recycled_blocks.h"
#include "kxt/kxt_bundle.h"
#include "kxt/kxt_container.h"
#include "kxt/kxt_folder.h"
#include "kxt/kxt_handle.h"

// The field streams of one bundle, in id order: held in place for the few
// fields a record has (a bundle is made per attribute set), on the heap
// beyond that.
template <class Stream>
class KXT_BundleFields {
 public:
  struct Field {
    int32_t id = 0;
    KXT_Handle<Stream> stream;
  };

  KXT_BundleFields() = default;
  KXT_BundleFields(const KXT_BundleFields&) = delete;
  KXT_BundleFields& operator=(const KXT_BundleFields&) = delete;

  // Room for `count` fields in all, made before they are added.
  void Reserve(size_t count) {
    if (count > capacity_) Move(count);
  }
  void Add(int32_t id, KXT_Handle<Stream> stream) {
    if (size_ == capacity_) Move(2 * capacity_);
    data_[size_].id = id;
    data_[size_].stream = std::move(stream);
    ++size_;
  }
  bool empty() const { return size_ == 0; }
  Field* begin() { return data_; }
  Field* end() { return data_ + size_; }

 private:
  static constexpr size_t kInPlace = 3;

  void Move(size_t capacity) {
    std::unique_ptr<Field[]> heap(new Field[capacity]);
    for (size_t i = 0; i < size_; ++i) heap[i] = std::move(data_[i]);
    heap_ = std::move(heap);
    data_ = heap_.get();
    capacity_ = capacity;
  }

  Field inPlace_[kInPlace];
  std::unique_ptr<Field[]> heap_;
  Field* data_ = inPlace_;
  size_t capacity_ = kInPlace;
  size_t size_ = 0;
};

class KXT_OutBundle_Impl final : public KXT_OutBundle2 {
 public:
  // Creates the field streams of the prototype in the folder, in id order
  // (stream id 0, named and typed after the field).
  KXT_OutBundle_Impl(const KXT_Handle<KXT_OutContainer>& container, const KXT_Handle<KXT_OutFolder2>& folder,
                     const KXT_FieldsEnumerator& prototype);

  void PutRecord(const KXT_OutRecord& record) override;
  // One is made and deleted per attribute set: kept for reuse, not freed.
  RECYCLED_ALLOCATION(KXT_OutBundle_Impl)

 protected:
  // Completes the field streams (in id order), then the folder, then lets go
  // of the container.
  ~KXT_OutBundle_Impl() noexcept(false) override;

 private:
  KXT_Handle<KXT_OutContainer> container_;
  KXT_Handle<KXT_OutFolder2> folder_;
  KXT_BundleFields<KXT_OutStream2> fields_;
};

class KXT_InBundle_Impl final : public KXT_InBundle2 {
 public:
  // Opens the field streams of the prototype; a field whose stream is
  // missing or of another type is left out.
  KXT_InBundle_Impl(const KXT_Handle<KXT_InContainer>& container, const KXT_Handle<KXT_InFolder2>& folder,
                    const KXT_FieldsEnumerator& prototype);

  bool GetRecord(KXT_InRecord& record) override;
  bool Partial() const override { return partial_; }
  bool Whole(KXT_InRecord& scratch) override;
  RECYCLED_ALLOCATION(KXT_InBundle_Impl)

 protected:
  ~KXT_InBundle_Impl() noexcept(false) override;

 private:
  KXT_Handle<KXT_InContainer> container_;
  KXT_Handle<KXT_InFolder2> folder_;
  KXT_BundleFields<KXT_InStream2> fields_;
  bool partial_ = false;
  bool missing_ = false;  // a field stream of the prototype could not be opened
  int stoppedAt_ = -1;    // the field whose stream ended first, once one did
  bool probed_ = false;   // the streams after it were probed
  bool ragged_ = false;   // the field streams ended at different records
};
