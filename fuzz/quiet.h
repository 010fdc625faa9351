// Fuzz targets print nothing per input.  Unless its command line says
// otherwise, a target asks libFuzzer (-close_fd_mask=3) to send its standard
// output and standard error to the null device: the code under test runs
// and writes exactly as it would, while libFuzzer's own messages and the
// sanitizers' reports still reach the real standard error.  Pass
// -close_fd_mask=0 to see what a target prints, e.g. when replaying a crash.
//
// Every target gets this through a default LLVMFuzzerInitialize; a target
// with an initialisation of its own calls QuietFuzzTarget from it first.
// A target whose code writes the program log calls DiscardProgramLog too:
// the log is a file in the current folder that would grow with every input.
#pragma once

#include <streambuf>

#include "support/program_log.h"

// Adds "-close_fd_mask=3" to the arguments unless a -close_fd_mask is there.
void QuietFuzzTarget(int* argc, char*** argv);

// The program log's lines are still written, into a buffer that drops them.
inline void DiscardProgramLog() {
  struct Discard : std::streambuf {
    int overflow(int c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
  };
  static Discard discard;
  ProgramLog().rdbuf(&discard);
}
