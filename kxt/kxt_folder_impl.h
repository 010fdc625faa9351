// The container folders over code folders.
#pragma once

#include <cstdint>
#include <typeinfo>

#include "framework/code_folder.h"
#include "framework/recycled_blocks.h"
#include "kxt/kxt_container.h"
#include "kxt/kxt_folder.h"

class KXT_OutFolder_Impl final : public KXT_OutFolder2 {
 public:
  // Takes ownership of the code folder and shares the container.
  KXT_OutFolder_Impl(const KXT_Handle<KXT_OutContainer>& container, CF_OutFolder* folder)
      : container_(container), folder_(folder) {}

  // A new tree: code-file writer, its root code folder, the container that
  // owns the writer, and the root folder that holds the only reference to it.
  static KXT_Handle<KXT_OutFolder_Impl> NewRoot(OLEStorage& storage, bool compress);

  const KXT_Handle<KXT_OutContainer>& Container() const { return container_; }
  // One is made and deleted per element: kept for reuse, not freed.
  RECYCLED_ALLOCATION(KXT_OutFolder_Impl)

  KXT_Handle<KXT_OutFolder2> CreateFolder2(const char* name, int32_t index) override;
  KXT_Handle<KXT_OutStream2> CreateStream2(const std::type_info& type, const char* name, int32_t id) override;
  KXT_Handle<KXT_OutBundle2> CreateBundle2(const KXT_FieldsEnumerator& prototype, const char* name,
                                           int32_t index) override;

  void ProcessFolder(KXT_OutFolderProcessor& processor, const char* name, int32_t index) override;
  void ProcessStream(KXT_OutStreamProcessor& processor, const std::type_info& type, const char* name,
                     int32_t id) override;
  void ProcessBundle(KXT_OutBundleProcessor& processor, const KXT_FieldsEnumerator& prototype, const char* name,
                     int32_t index) override;

 protected:
  // Writes the folder's table, then lets go of the container.
  ~KXT_OutFolder_Impl() noexcept(false) override;

 private:
  KXT_Handle<KXT_OutContainer> container_;
  CF_OutFolder* folder_;
};

class KXT_InFolder_Impl final : public KXT_InFolder2 {
 public:
  KXT_InFolder_Impl(const KXT_Handle<KXT_InContainer>& container, CF_InFolder* folder)
      : container_(container), folder_(folder) {}

  // Code-file reader, root code folder (its table read at once), container
  // and root folder.
  static KXT_Handle<KXT_InFolder_Impl> OpenRoot(OLEStorage& storage);
  RECYCLED_ALLOCATION(KXT_InFolder_Impl)

  KXT_Handle<KXT_InFolder2> OpenFolder2(const char* name, int32_t index) override;
  KXT_Handle<KXT_InFolder2> OpenFolderExpecting(const char* name, int32_t index, const char* expected) override;
  KXT_Handle<KXT_InStream2> OpenStream2(const std::type_info& type, const char* name, int32_t id) override;
  KXT_Handle<KXT_InBundle2> OpenBundle2(const KXT_FieldsEnumerator& prototype, const char* name,
                                        int32_t index) override;
  bool EnumerateFolders(CF_EnumerableInStorage::IdentifierReceiver& receiver) override;

  bool ProcessFolder(KXT_InFolderProcessor& processor, const char* name, int32_t index) override;
  bool ProcessStream(KXT_InStreamProcessor& processor, const std::type_info& type, const char* name,
                     int32_t id) override;
  bool ProcessBundle(KXT_InBundleProcessor& processor, const KXT_FieldsEnumerator& prototype, const char* name,
                     int32_t index) override;

 protected:
  ~KXT_InFolder_Impl() noexcept(false) override;

 private:
  KXT_Handle<KXT_InContainer> container_;
  CF_InFolder* folder_;
};
