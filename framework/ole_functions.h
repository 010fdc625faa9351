// Free functions of the storage wrappers: copying between byte streams and
// comparing UTF-16 names.
#pragma once

#include <cstdint>

#include "framework/streams.h"

// Copies up to `count` bytes from `from` to `to` through a buffer of
// `bufferSize` bytes: each pass reads min(remaining, bufferSize) bytes and
// writes what arrived (even none); stops when nothing remains or a read
// delivers nothing.  Returns the bytes copied.  A count of 0xFFFFFFFF copies
// everything.
uint32_t CopyStreamData(InStream& from, OutStream& to, uint32_t count, uint32_t bufferSize);

// Compares at most n UTF-16 units, stopping at the first unit of `a` that is
// NUL or differs from b's: 0 when n units matched, otherwise the difference
// a[i] - b[i] there as an int (0 when both strings end there).  When counter
// is given, it is decremented once per matching unit.
int CompareWideN(const char16_t* a, const char16_t* b, uint32_t n, int32_t* counter);

// Reads until n bytes arrived or the stream delivers nothing more; returns
// the bytes read.
uint32_t GetFull(InStream& in, void* buffer, uint32_t n);

// A little-endian u32 written to / read from a byte stream; GetU32LE is false
// when fewer than 4 bytes arrive.
void PutU32LE(OutStream& out, uint32_t value);
bool GetU32LE(InStream& in, uint32_t& value);
