// Names of code-file streams: the hash and the key under which the code file
// keeps them.  Both sides of a code file order their names by this key, and
// the names section of a file is written in this order, so it is part of the
// stored format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The 32-bit hash of a name.  The first four bytes (fewer for a shorter name)
// fill the most significant bytes of the seed in order, the last of them in
// the top byte; every further byte c (sign-extended) is mixed in as
// h = ((h ^ ((h >> 24) & 0xF0)) << 4) + c.  The empty name hashes to 0.
uint32_t CF_NameHash(const char* bytes, size_t length);
inline uint32_t CF_NameHash(const std::string& name) { return CF_NameHash(name.data(), name.size()); }
// CF_NameHash of names taken one after another, cheaper when a name begins
// the way the one before it did (the names of one folder): the hash's state
// after each byte of the last name is kept, and the next name is hashed on
// from the longest beginning the two share.  The last name's bytes must stay
// where they are until the next call.
class CF_NameHashChain {
 public:
  uint32_t Hash(const char* bytes, size_t length);

 private:
  const char* last_ = nullptr;
  size_t lastLength_ = 0;  // 0 when there is no state to go on from
  std::vector<uint32_t> states_;  // [i]: the state after the first i bytes, from i = 4 on
};

// A name with its hash.  Keys order by hash (unsigned), then by the bytes
// (unsigned, a proper prefix first).
class CF_NameKey {
 public:
  explicit CF_NameKey(std::string name) : name_(std::move(name)), hash_(CF_NameHash(name_)) {}

  const std::string& Name() const { return name_; }
  uint32_t Hash() const { return hash_; }

  bool operator<(const CF_NameKey& other) const {
    if (hash_ != other.hash_) return hash_ < other.hash_;
    return name_.compare(other.name_) < 0;  // char_traits<char> compares as unsigned bytes
  }
  bool operator==(const CF_NameKey& other) const { return hash_ == other.hash_ && name_ == other.name_; }

 private:
  std::string name_;
  uint32_t hash_;
};
