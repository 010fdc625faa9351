// Byte-stream interfaces: reading, writing and seeking.  Every part of the
// framework and the container library moves bytes through these.  Sizes and
// positions are unsigned 32-bit.
#pragma once

#include <cstdint>

// Empty tag bases of the stream interfaces.
template <class T = void> struct instream {};
template <class T = void> struct outstream {};

enum SeekOrigin { SeekBegin = 0, SeekCurrent = 1, SeekEnd = 2 };

// The destructors of all three interfaces may raise: writers that buffer
// finish their output when destroyed (never while an exception unwinds), and
// the file interfaces below combine them.
class InStream : public instream<void> {
 public:
  virtual ~InStream() noexcept(false) {}
  // Reads up to n bytes into buffer; returns how many arrived (0 at the end).
  virtual uint32_t GetData(void* buffer, uint32_t n) = 0;
};

class OutStream : public outstream<void> {
 public:
  virtual ~OutStream() noexcept(false) {}
  // Writes n bytes; failures of the target are raised by the target.
  virtual void PutData(const void* data, uint32_t n) = 0;
};

class SeekMethod {
 public:
  virtual ~SeekMethod() noexcept(false) {}
  // Moves the position and returns the new one.
  virtual uint32_t Seek(int32_t offset, SeekOrigin origin) = 0;
};

class InFile : public virtual InStream, public virtual SeekMethod {};
class OutFile : public virtual OutStream, public virtual SeekMethod {};
// Reading and writing share one position.
class InOutFile : public InFile, public OutFile {};
