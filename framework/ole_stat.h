// OLEStat: what a storage reports of itself, taken when it was opened.  Its
// class id can be written to a byte stream and set from one.
#pragma once

#include "framework/ole_handler.h"
#include "framework/ole_object.h"
#include "framework/streams.h"
#include "platform/ole/ole.h"

class OLEStat {
 public:
  virtual ~OLEStat() = default;
  // Writes the 16-byte class id.
  virtual void WriteClass(OutStream& out) const = 0;
  // Reads 16 bytes and makes them the storage's class id; false, changing
  // nothing, when fewer arrive.  A failure to set it raises through Abort.
  virtual bool ReadClass(InStream& in) = 0;
};

// The snapshot of one storage.  It lives inside the OLEStorage it describes
// and uses that storage's handler, so it is not copied on its own.
class OLEStat_Impl : public OLEStat, public OLEObject {
 public:
  OLEStat_Impl(OLEHandler<ole::Storage>* storage, ole::StatStg stat);
  OLEStat_Impl(const OLEStat_Impl&) = delete;
  OLEStat_Impl& operator=(const OLEStat_Impl&) = delete;
  ~OLEStat_Impl() noexcept override {}

  void WriteClass(OutStream& out) const override;
  bool ReadClass(InStream& in) override;
  // The element name (for a root, what the storage layer reports for it).
  virtual const char16_t* Name() const { return stat_.name.c_str(); }

  const ole::StatStg& Data() const { return stat_; }

 private:
  OLEHandler<ole::Storage>* storage_;  // not owned
  ole::StatStg stat_;
};
