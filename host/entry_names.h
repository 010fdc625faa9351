// The names of the host entries a fail plan may name (see fail_plan.h).
#pragma once

#include <string>

namespace xthost {

// Whether `name` (without a qualifier) is the name of a host entry that can
// be told to fail.  Every entry that asks Host::Fails is listed.
bool IsHostEntryName(const std::string& name);

}  // namespace xthost
