// KXT_ReferredContainer<T>: the shared owner of one container tree's code
// file, T = CF_OutStorage (the writer) or CF_InStorage (the reader).
//
// Every folder, typed stream and bundle of the tree holds one reference to
// it, so it goes after the last of them; its destructor deletes the code
// file, which for a writer completes the file (properties, directory, names,
// header) and may raise.
#pragma once

#include <memory>

#include "framework/code_file.h"
#include "kxt/referred_object.h"

template <class T>
class KXT_ReferredContainer final : public ReferredObject {
 public:
  // Takes ownership of the code file.
  explicit KXT_ReferredContainer(T* file) : file_(file) {}

  T& File() const { return *file_; }
  // Observes this container: expires once it is gone.
  std::weak_ptr<const void> Liveness() const { return alive_; }

 protected:
  ~KXT_ReferredContainer() noexcept(false) override;

 private:
  T* file_;
  std::shared_ptr<const void> alive_ = std::make_shared<char>(0);
};

extern template class KXT_ReferredContainer<CF_OutStorage>;
extern template class KXT_ReferredContainer<CF_InStorage>;

using KXT_OutContainer = KXT_ReferredContainer<CF_OutStorage>;
using KXT_InContainer = KXT_ReferredContainer<CF_InStorage>;
