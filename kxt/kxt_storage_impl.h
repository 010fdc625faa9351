// The container storage objects over the caller's OLE storage.
#pragma once

#include <memory>

#include "framework/ole_storage.h"
#include "kxt/kxt_storage.h"

class KXT_OutStorage_Impl final : public KXT_OutStorage2 {
 public:
  // Keeps a handle to the storage and creates "SolvaneTextAndCode" in it.
  KXT_OutStorage_Impl(OLEStorage& storage, bool compress);

  OLEStorage* PrivateData() override;
  void CreateKXTFolder(KXT_Book_Out& book) override;
  KXT_Handle<KXT_OutFolder2> CreateKXTFolder2() override;

 protected:
  ~KXT_OutStorage_Impl() noexcept(false) override;

 private:
  OLEStorage* file_;
  OLEStorage* textAndCode_;
  OLEStorage* privateData_ = nullptr;
  bool compress_;
  // Observes the container of the last tree made; expired once complete.
  std::weak_ptr<const void> tree_;
};

class KXT_InStorage_Impl final : public KXT_InStorage2 {
 public:
  // Keeps a handle to the storage and opens "SolvaneTextAndCode" in it.
  explicit KXT_InStorage_Impl(OLEStorage& storage);

  bool HasPrivateData() override;
  OLEStorage* PrivateData() override;
  bool OpenKXTFolder(KXT_Book_In& book) override;
  KXT_Handle<KXT_InFolder2> OpenKXTFolder2() override;

 protected:
  ~KXT_InStorage_Impl() noexcept(false) override;

 private:
  OLEStorage* file_;
  OLEStorage* textAndCode_;
  OLEStorage* privateData_ = nullptr;
};
