#include "plugin/xtension/swing.h"

#include <cstdio>
#include <ostream>

#include "support/program_log.h"

namespace Swing {

void ListenerFault(const char* text) { ProgramLog() << text << '\n' << std::flush; }

MsgString Action::Name() const {
  char title[32];
  std::snprintf(title, sizeof title, " Action %d", static_cast<int>(id_));
  return MsgString::Create(title);
}

}  // namespace Swing
