// A storage element (or a file's root) opened for reading or writing.
//
// Elements are created with kElementCreateMode (an existing element of that
// name, of either kind, is replaced) and opened with kElementReadMode; other
// modes give STG_E_INVALIDFLAG.  Changes through an object opened for reading
// give STG_E_ACCESSDENIED, as does opening, replacing, renaming or moving an
// element that is open.  Destroying an open element reverts the objects over
// it.  Enumerations list a storage's children in the directory's order
// (names by length, then by upper-cased UTF-16 units), as they were when the
// enumeration was made.
#pragma once

#include <memory>
#include <string>

#include "platform/ole/open_element.h"
#include "platform/ole/ref_counted.h"

namespace ole {

class StorageObject final : public RefCounted<Storage> {
 public:
  // `stat_name` is what Stat() reports as the name: the element's name, or
  // the path for a root.
  StorageObject(std::shared_ptr<Docfile> file, std::shared_ptr<Entry> entry, uint32_t mode,
                std::u16string stat_name)
      : element_(std::move(file), std::move(entry), mode), stat_name_(std::move(stat_name)) {}

  Result CreateStream(const char16_t* name, uint32_t mode, Stream** stream) override;
  Result OpenStream(const char16_t* name, uint32_t mode, Stream** stream) override;
  Result CreateStorage(const char16_t* name, uint32_t mode, Storage** storage) override;
  Result OpenStorage(const char16_t* name, uint32_t mode, Storage** storage) override;
  Result MoveElementTo(const char16_t* name, Storage* destination, const char16_t* newName,
                       MoveMode mode) override;
  Result DestroyElement(const char16_t* name) override;
  Result RenameElement(const char16_t* oldName, const char16_t* newName) override;
  Result EnumElements(ElementEnum** elements) override;
  Result SetClass(const Clsid& clsid) override;
  Result Stat(StatStg* stat) override;
  Result Commit() override;

 private:
  Result CreateElement(const char16_t* name, uint32_t mode, ElementType type, std::shared_ptr<Entry>* made);
  Result FindForOpen(const char16_t* name, uint32_t mode, ElementType type, std::shared_ptr<Entry>* found);

  OpenElement element_;
  std::u16string stat_name_;
};

}  // namespace ole
