#include "framework/ole_stat.h"

#include <utility>

#include "framework/ole_functions.h"

OLEStat_Impl::OLEStat_Impl(OLEHandler<ole::Storage>* storage, ole::StatStg stat)
    : storage_(storage), stat_(std::move(stat)) {}

void OLEStat_Impl::WriteClass(OutStream& out) const { out.PutData(stat_.clsid.bytes, sizeof stat_.clsid.bytes); }

bool OLEStat_Impl::ReadClass(InStream& in) {
  ole::Clsid clsid;
  if (GetFull(in, clsid.bytes, sizeof clsid.bytes) != sizeof clsid.bytes) return false;
  ole::Result result = (*storage_)()->SetClass(clsid);
  if (!ole::Succeeded(result)) Abort(result, Name());
  stat_.clsid = clsid;
  return true;
}
