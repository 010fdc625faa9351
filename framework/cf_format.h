// Constants and little pieces of the code-file format shared by its writer
// and reader.  Integers are little-endian; offsets are counted from the first
// byte of the code-file stream.
//
//   header      u32 entry count, u32 directory offset (written last)
//   data area   segments of at most 4096 bytes, each stream's segment table
//               (u32 n, then n {u32 offset, u32 length}, last segment first)
//   directory   13-byte entries {u32 name number, i32 id, u8 kind,
//               u32 table offset}, by id then name number
//   names       u32 m, then m {u16 length, bytes, u32 name number} in
//               name-key order
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class InStream;
class OutStream;

namespace cf {

constexpr char16_t kCodeFileStream[] = u"SolvaneCodeFile";
constexpr char16_t kSummaryStream[] = u"\x0005SolvaneSummaryInformation";

constexpr int32_t kMinorVersionProperty = 3000;
constexpr int32_t kMajorVersionProperty = 3001;

constexpr uint32_t kHeaderSize = 8;
constexpr uint32_t kSegmentSize = 4096;
constexpr uint32_t kStagingSize = 1024;
constexpr uint32_t kEntrySize = 13;
constexpr uint32_t kMaxNameLength = 0xFFFF;
constexpr uint32_t kNoOffset = 0xFFFFFFFFu;

// Open modes of the storage layer: read, and create for writing.
constexpr uint32_t kOpenRead = 0;
constexpr uint32_t kOpenCreate = 0x1001;

// A name the code file cannot store (too long for its 16-bit length, or a
// folder element name holding a byte reserved for the folder tree).
constexpr int kFailBadName = 33000;

// Where a directory entry lives: ordered by id (signed), then name number.
struct DirKey {
  uint32_t number;
  int32_t id;
  bool operator<(const DirKey& o) const { return id != o.id ? id < o.id : number < o.number; }
};

// One segment of a stream: a run of at most 4096 bytes in the data area.
struct Segment {
  uint32_t offset;
  uint32_t length;
};

// The segments of one stream; the first two are kept inline, so that most
// streams cost no allocation for them.
class SegmentList {
 public:
  void push_back(const Segment& segment) {
    if (size_ < kInline) {
      inline_[size_] = segment;
    } else {
      more_.push_back(segment);
    }
    ++size_;
  }
  size_t size() const { return size_; }
  const Segment& operator[](size_t i) const { return i < kInline ? inline_[i] : more_[i - kInline]; }

 private:
  static constexpr size_t kInline = 2;
  size_t size_ = 0;
  Segment inline_[kInline];
  std::vector<Segment> more_;
};

}  // namespace cf

// A directory entry as both sides keep it.
struct CF_DirectoryEntry {
  uint32_t number = 0;
  int32_t id = 0;
  uint8_t kind = 0;
  uint32_t tableOffset = cf::kNoOffset;
};

namespace cf {

inline void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Writes a u32 to a stream.
void PutU32(OutStream& out, uint32_t value);
// Writes u16 length, then the bytes; the caller keeps names within 65535.
void PutCountedString(OutStream& out, const std::string& text);
// Reads u16 length, then the bytes in pieces of at most 256; false when the
// stream ends first.
bool GetCountedString(InStream& in, std::string& text);
// Reads exactly n bytes; false when the stream ends first.
bool GetExactly(InStream& in, void* buffer, uint32_t n);
// Reads up to n bytes, fewer only where the stream ends; returns how many.
uint32_t GetAll(InStream& in, void* buffer, uint32_t n);

}  // namespace cf
