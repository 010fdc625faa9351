#include "kxt/kxt_bundle.h"

#include "kxt/kxt_bundle_impl.h"
#include "kxt/kxt_completion.h"

namespace {

// Lets go of the field streams in id order, then of the folder and the
// container, every step even after a failure.
template <class Fields, class Folder, class Container>
void Complete(Fields& fields, Folder& folder, Container& container) {
  KXT_Completion done;
  for (auto& field : fields) done.Run([&field] { field.second.reset(); });
  done.Run([&folder] { folder.reset(); });
  done.Run([&container] { container.reset(); });
  done.Finish();
}

}  // namespace

void KXT_FieldsList::Field(const std::type_info& type, const char* name, int32_t id) {
  fields_.emplace(id, Entry{&type, name != nullptr ? name : ""});
}

KXT_OutBundle_Impl::KXT_OutBundle_Impl(const KXT_Handle<KXT_OutContainer>& container,
                                       const KXT_Handle<KXT_OutFolder2>& folder,
                                       const KXT_FieldsEnumerator& prototype)
    : container_(container), folder_(folder) {
  KXT_FieldsList list;
  prototype.EnumFields(list);
  fields_.reserve(list.Fields().size());
  for (const auto& field : list.Fields()) {
    fields_.emplace_back(field.first, folder_->CreateStream2(*field.second.type, field.second.name.c_str(), 0));
  }
}

KXT_OutBundle_Impl::~KXT_OutBundle_Impl() noexcept(false) { Complete(fields_, folder_, container_); }

void KXT_OutBundle_Impl::PutRecord(const KXT_OutRecord& record) {
  for (auto& field : fields_) record.PutField(field.first, *field.second);
}

KXT_InBundle_Impl::KXT_InBundle_Impl(const KXT_Handle<KXT_InContainer>& container,
                                     const KXT_Handle<KXT_InFolder2>& folder, const KXT_FieldsEnumerator& prototype)
    : container_(container), folder_(folder) {
  KXT_FieldsList list;
  prototype.EnumFields(list);
  for (const auto& field : list.Fields()) {
    KXT_Handle<KXT_InStream2> stream = folder_->OpenStream2(*field.second.type, field.second.name.c_str(), 0);
    if (stream) fields_.emplace_back(field.first, std::move(stream));
  }
}

KXT_InBundle_Impl::~KXT_InBundle_Impl() noexcept(false) { Complete(fields_, folder_, container_); }

bool KXT_InBundle_Impl::GetRecord(KXT_InRecord& record) {
  if (fields_.empty()) return false;
  for (auto& field : fields_) {
    if (!record.GetField(field.first, *field.second)) return false;
  }
  return true;
}
