// Bundles over a child folder: one typed stream per record field.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "framework/recycled_blocks.h"
#include "kxt/kxt_bundle.h"
#include "kxt/kxt_container.h"
#include "kxt/kxt_folder.h"
#include "kxt/kxt_handle.h"

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
  std::vector<std::pair<int32_t, KXT_Handle<KXT_OutStream2>>> fields_;  // in id order
};

class KXT_InBundle_Impl final : public KXT_InBundle2 {
 public:
  // Opens the field streams of the prototype; a field whose stream is
  // missing or of another type is left out.
  KXT_InBundle_Impl(const KXT_Handle<KXT_InContainer>& container, const KXT_Handle<KXT_InFolder2>& folder,
                    const KXT_FieldsEnumerator& prototype);

  bool GetRecord(KXT_InRecord& record) override;
  RECYCLED_ALLOCATION(KXT_InBundle_Impl)

 protected:
  ~KXT_InBundle_Impl() noexcept(false) override;

 private:
  KXT_Handle<KXT_InContainer> container_;
  KXT_Handle<KXT_InFolder2> folder_;
  std::vector<std::pair<int32_t, KXT_Handle<KXT_InStream2>>> fields_;  // in id order
};
