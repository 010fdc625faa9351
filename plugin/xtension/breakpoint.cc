#include "plugin/xtension/breakpoint.h"

#include <ostream>

#include "support/program_log.h"

namespace {

uint32_t g_counter = 0;

}  // namespace

uint32_t BreakPoint_BX(const char* text) {
  const uint32_t counter = g_counter;
  std::ostream& log = ProgramLog();
  log << "######## BreakPoint_BX:" << std::hex << counter << std::dec;
  if (text != nullptr) log << ' ' << text;
  log << '\n' << std::flush;
  ++g_counter;
  return counter;
}
