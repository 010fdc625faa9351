#include "fuzz/quiet.h"

#include <cstring>
#include <vector>

void QuietFuzzTarget(int* argc, char*** argv) {
  static const char kFlag[] = "-close_fd_mask=";
  for (int i = 1; i < *argc; ++i)
    if (std::strncmp((*argv)[i], kFlag, sizeof kFlag - 1) == 0) return;
  static char quiet[] = "-close_fd_mask=3";
  static std::vector<char*> arguments;
  arguments.assign(*argv, *argv + *argc);
  arguments.insert(arguments.begin() + (*argc > 0 ? 1 : 0), quiet);
  arguments.push_back(nullptr);
  *argv = arguments.data();
  *argc += 1;
}

// Replaced by a target's own initialisation, which calls QuietFuzzTarget.
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv) {
  QuietFuzzTarget(argc, argv);
  return 0;
}
