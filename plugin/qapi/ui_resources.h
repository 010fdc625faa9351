// The plug-in's dialog templates, exported from the library under
// kXTResourceSymbol for the host's dialog manager.
#pragma once

#include "platform/xt/xt_ui_suites.h"

extern "C" __attribute__((visibility("default"))) const XTResourceTable XTDialogResources;
