#include "framework/ole_init_guard.h"

OLEInitGuard::OLEInitGuard(bool throwOnFailure) : result_(ole::Initialize()) {
  if (!Succeeded() && throwOnFailure) throw 863;
}

OLEInitGuard::~OLEInitGuard() {
  if (Succeeded()) ole::Uninitialize();
}
