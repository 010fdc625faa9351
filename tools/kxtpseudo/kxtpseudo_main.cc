// kxtpseudo IN OUT [--identity]
//
// Writes OUT as a pseudo-translated copy of the container IN: the text of
// every Unicodes run grows by U+00E9 U+4E2D after each word; everything
// else is kept byte for byte.  With --identity nothing is rewritten.
// Exit status 0 on success, 1 on a failure (one line on standard error
// naming the file and what is wrong with it),
// 2 on bad arguments.
#include <cstdio>
#include <cstring>
#include <exception>

#include "tools/kxtpseudo/kxt_pseudo.h"

int main(int argc, char** argv) {
  const bool identity = argc == 4 && std::strcmp(argv[3], "--identity") == 0;
  if (argc != 3 && !identity) {
    std::fprintf(stderr, "usage: kxtpseudo IN OUT [--identity]\n");
    return 2;
  }
  try {
    kxtpseudo::PseudoTranslate(argv[1], argv[2], identity);
    return 0;
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "kxtpseudo: %s\n", failure.what());
  }
  return 1;
}
