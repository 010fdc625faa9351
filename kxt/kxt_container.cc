#include "kxt/kxt_container.h"

#include "kxt/kxt_completion.h"

template <class T>
KXT_ReferredContainer<T>::~KXT_ReferredContainer() noexcept(false) {
  KXT_Completion done;
  done.RunDelete(file_);
  done.Run([this] { alive_.reset(); });
  done.Finish();
}

template class KXT_ReferredContainer<CF_OutStorage>;
template class KXT_ReferredContainer<CF_InStorage>;
