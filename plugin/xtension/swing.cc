#include "plugin/xtension/swing.h"

#include <cstdio>

#include "plugin/xtension/action_titles.h"
#include "plugin/xtension/breakpoint.h"

namespace Swing {

void ListenerFault(const char* text) { BreakPoint_BX(text); }

MsgString Action::Name() const {
  if (const char* title = ActionTitle(id_)) return MsgString::Create(title);
  char title[32];
  std::snprintf(title, sizeof title, " Action %d", static_cast<int>(id_));
  return MsgString::Create(title);
}

}  // namespace Swing
