// The input of the container fuzz targets, turned into a container.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "framework/failures.h"
#include "framework/ole_storage.h"
#include "tests/common/code_file_helpers.h"
#include "tests/common/files.h"
#include "tests/common/scratch_storage.h"
#include "tests/common/temp_dir.h"

// Hands `explore` the root storage of a container made from the input and
// swallows the framework's failures (no other exception is caught).  Odd
// first byte: the rest is a whole compound file, read from a scratch file.
// Even first byte: the rest is the code-file stream (version 1.1) of a
// container whose storages are sound, in a fresh sub-storage of one
// in-memory compound file kept for the whole run.
template <class Explore>
void ExploreContainerInput(const uint8_t* data, size_t size, const std::string& stem, Explore explore) {
  struct Scratch {
    testutil::ScratchStorage storage;
    std::string file;
    explicit Scratch(const std::string& stem) : storage(stem), file(testutil::ProcessTempPath(stem, ".kxt")) {}
    ~Scratch() { std::remove(file.c_str()); }
  };
  static Scratch scratch(stem);
  if (size == 0) return;
  const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  try {
    if (data[0] & 1) {
      testutil::WriteFile(scratch.file, rest);
      OLEStorage storage(scratch.file.c_str(), kOLERead);
      explore(storage);
    } else {
      OLEStorage storage(scratch.storage.root(), u"t", kOLECreate);
      {
        OLEStorage textAndCode(storage, u"SolvaneTextAndCode", kOLECreate);
        testutil::PutCodeFileStream(textAndCode, rest, 1, 1);
      }
      explore(storage);
    }
  } catch (const FilterException&) {
  }
}
