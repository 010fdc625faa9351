#include "support/program_log.h"

#include <fstream>

std::ostream& ProgramLog() {
  // Never destroyed: writers at unload still find it open.
  static std::ofstream* log = new std::ofstream("BrenixLogfile.txt", std::ios::out | std::ios::trunc);
  return *log;
}
