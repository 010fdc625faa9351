// OLEInitGuard: initialises the storage layer for as long as it lives (the
// first member of the plug-in object).
#pragma once

#include "platform/ole/ole.h"

class OLEInitGuard {
 public:
  // Initialises; when that fails and throwOnFailure is set, throws the int
  // 863.
  explicit OLEInitGuard(bool throwOnFailure);
  OLEInitGuard(const OLEInitGuard&) = delete;
  OLEInitGuard& operator=(const OLEInitGuard&) = delete;
  // Uninitialises only when the initialisation succeeded.
  ~OLEInitGuard();

  // The initialisation answered S_OK or S_FALSE (already initialised).
  bool Succeeded() const { return result_ == ole::S_OK || result_ == ole::S_FALSE; }

 private:
  ole::Result result_;
};
