#include "kxt/kxt_bundle.h"

#include "kxt/kxt_bundle_impl.h"
#include "kxt/kxt_completion.h"

namespace {

// Lets go of the field streams in id order, then of the folder and the
// container, every step even after a failure.
template <class Fields, class Folder, class Container>
void Complete(Fields& fields, Folder& folder, Container& container) {
  KXT_Completion done;
  for (auto& field : fields) done.Run([&field] { field.stream.reset(); });
  done.Run([&folder] { folder.reset(); });
  done.Run([&container] { container.reset(); });
  done.Finish();
}

// Counts the prototype's fields and tells whether they come in strictly
// ascending id order, as the records of this library give them.
class OrderCheck : public KXT_FieldReceiver {
 public:
  void Field(const std::type_info&, const char*, int32_t id) override {
    if (count_ > 0 && id <= last_) ascending_ = false;
    last_ = id;
    ++count_;
  }
  bool Ascending() const { return ascending_; }
  size_t Count() const { return count_; }

 private:
  int32_t last_ = 0;
  size_t count_ = 0;
  bool ascending_ = true;
};

// Hands every field of the prototype, in ascending id order and each id
// once (its first entry), to `each` (type, name, id).  Fields that already
// come in that order go straight through, with no copy of the list.
template <class Each>
void ForEachField(const KXT_FieldsEnumerator& prototype, size_t& count, Each each) {
  OrderCheck check;
  prototype.EnumFields(check);
  if (check.Ascending()) {
    class Direct : public KXT_FieldReceiver {
     public:
      explicit Direct(Each& each) : each_(each) {}
      void Field(const std::type_info& type, const char* name, int32_t id) override {
        each_(type, name != nullptr ? name : "", id);
      }

     private:
      Each& each_;
    } direct(each);
    count = check.Count();
    prototype.EnumFields(direct);
    return;
  }
  KXT_FieldsList list;
  prototype.EnumFields(list);
  count = list.Fields().size();
  for (const auto& field : list.Fields()) each(*field.second.type, field.second.name.c_str(), field.first);
}

}  // namespace

void KXT_FieldsList::Field(const std::type_info& type, const char* name, int32_t id) {
  fields_.emplace(id, Entry{&type, name != nullptr ? name : ""});
}

KXT_OutBundle_Impl::KXT_OutBundle_Impl(const KXT_Handle<KXT_OutContainer>& container,
                                       const KXT_Handle<KXT_OutFolder2>& folder,
                                       const KXT_FieldsEnumerator& prototype)
    : container_(container), folder_(folder) {
  size_t count = 0;
  ForEachField(prototype, count, [this, &count](const std::type_info& type, const char* name, int32_t id) {
    if (fields_.empty()) fields_.Reserve(count);
    fields_.Add(id, folder_->CreateStream2(type, name, 0));
  });
}

KXT_OutBundle_Impl::~KXT_OutBundle_Impl() noexcept(false) { Complete(fields_, folder_, container_); }

void KXT_OutBundle_Impl::PutRecord(const KXT_OutRecord& record) {
  for (auto& field : fields_) record.PutField(field.id, *field.stream);
}

KXT_InBundle_Impl::KXT_InBundle_Impl(const KXT_Handle<KXT_InContainer>& container,
                                     const KXT_Handle<KXT_InFolder2>& folder, const KXT_FieldsEnumerator& prototype)
    : container_(container), folder_(folder) {
  size_t count = 0;
  ForEachField(prototype, count, [this, &count](const std::type_info& type, const char* name, int32_t id) {
    KXT_Handle<KXT_InStream2> stream = folder_->OpenStream2(type, name, 0);
    if (!stream) {
      partial_ = true;
      return;
    }
    if (fields_.empty()) fields_.Reserve(count);
    fields_.Add(id, std::move(stream));
  });
  missing_ = partial_;
  partial_ = partial_ && !fields_.empty();
}

KXT_InBundle_Impl::~KXT_InBundle_Impl() noexcept(false) { Complete(fields_, folder_, container_); }

bool KXT_InBundle_Impl::GetRecord(KXT_InRecord& record) {
  if (fields_.empty()) return false;
  for (auto& field : fields_) {
    if (!record.GetField(field.id, *field.stream)) {
      if (stoppedAt_ < 0) stoppedAt_ = static_cast<int>(&field - fields_.begin());
      return false;
    }
  }
  return true;
}

bool KXT_InBundle_Impl::Whole(KXT_InRecord& scratch) {
  if (missing_) return false;
  // A field before the one that ended had a value: a record cut short.
  if (stoppedAt_ > 0) return false;
  if (stoppedAt_ == 0 && !probed_) {
    probed_ = true;
    for (auto* other = fields_.begin() + 1; other != fields_.end() && !ragged_; ++other) {
      ragged_ = scratch.GetField(other->id, *other->stream);
    }
  }
  return !ragged_;
}
