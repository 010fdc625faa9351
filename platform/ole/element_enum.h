// An enumeration of a storage's elements: a snapshot taken when it was made,
// read from a position of its own.  Clones share the snapshot.
#pragma once

#include <memory>
#include <vector>

#include "platform/ole/ole.h"
#include "platform/ole/ref_counted.h"

namespace ole {

class ElementEnumObject final : public RefCounted<ElementEnum> {
 public:
  explicit ElementEnumObject(std::shared_ptr<const std::vector<StatStg>> list, size_t next = 0)
      : list_(std::move(list)), next_(next) {}

  Result Next(uint32_t n, StatStg* stats, uint32_t* fetched) override;
  Result Skip(uint32_t n) override;
  Result Reset() override;
  Result Clone(ElementEnum** clone) override;

 private:
  std::shared_ptr<const std::vector<StatStg>> list_;
  size_t next_;
};

}  // namespace ole
