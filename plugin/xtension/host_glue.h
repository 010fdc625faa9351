// The host binding glue: a copy of the host's registration record through
// which the bound tables are acquired, and the version gate that refreshes
// it.
#pragma once

#include <cstdint>

#include "platform/xt/xt_entry.h"

// The gate's answer when the numbers it is given are not its own.
constexpr int32_t kGlueVersionMismatch = 0x5100040F;

// Compares (apiVersion, headerSize, build) with the glue's own 11, 0x160 and
// 0x40E70000 and checks that `record` is a registration record of API 11;
// then copies the record into the glue's area and returns 0.  Otherwise
// kGlueVersionMismatch, with the area unchanged.
int32_t HostGlue_SetCallbacks(const XTRegisterRec* record, int32_t apiVersion, uint32_t headerSize,
                              uint32_t build);

// Acquires every bound table through the glue's copy into the host link
// (support/host_link.h).  0, or the first failure; kXTErrNoSuite before a
// gate has passed.
int32_t HostGlue_BindTables();
