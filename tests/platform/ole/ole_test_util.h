// Helpers shared by the storage-layer tests: reference holders, byte
// patterns, a CRC-32, and the independent readers (olefile, gsf, olecfinfo)
// that check the files we write.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "platform/ole/ole.h"
#include "tests/common/files.h"
#include "tests/common/run_command.h"
#include "tests/common/temp_dir.h"

namespace oletest {

using testutil::ReadFile;
using testutil::RunCommand;
using testutil::ShellQuote;
using testutil::TempDir;
using testutil::WriteFile;

// Owns one reference of a storage-layer object.
template <class T>
class Ref {
 public:
  Ref() = default;
  explicit Ref(T* p) : p_(p) {}
  ~Ref() { Reset(); }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  Ref(Ref&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  Ref& operator=(Ref&& o) noexcept {
    if (this != &o) {
      Reset();
      p_ = o.p_;
      o.p_ = nullptr;
    }
    return *this;
  }
  // For out parameters: releases what is held first.
  T** Out() {
    Reset();
    return &p_;
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  void Reset() {
    if (p_ != nullptr) p_->Release();
    p_ = nullptr;
  }

 private:
  T* p_ = nullptr;
};

// n bytes that depend on the seed and on their position.
std::string Pattern(size_t n, uint32_t seed);
uint32_t Crc32(const std::string& bytes);
std::string Utf8(const std::u16string& text);
// ASCII text as UTF-16.
std::u16string Widen(const std::string& ascii);

// The whole remaining content of a stream.
std::string ReadAll(ole::Stream* stream);
// Creates a stream in `storage` holding `bytes`.
void PutStream(ole::Storage* storage, const std::u16string& name, const std::string& bytes);

// What an independent reader saw: stream paths ("a/b/c", UTF-8) to their
// bytes' CRC-32 and size, storage paths, and the defects it reported.
struct Seen {
  std::map<std::string, std::pair<uint32_t, uint64_t>> streams;
  std::map<std::string, std::string> storages;  // path -> class id in hex
  std::set<std::string> unread;                 // streams whose bytes were not read
  std::string issues;                           // empty when none
};
// python3-olefile, with every defect it can report made visible; also checks
// that every sibling tree is a binary search tree in the format's order and a
// valid red-black tree.
Seen ReadWithOlefile(const std::string& file);
// gsf list, then gsf cat of each stream (of every tenth when there are more
// than 50).
Seen ReadWithGsf(const std::string& file);
// olecfinfo's listing (streams with sizes, CRC left 0), and olecfexport's
// bytes for streams whose path is plain ASCII letters and digits.
Seen ReadWithLibolecf(const std::string& file);

}  // namespace oletest
