#include "framework/mem_file.h"

#include <gtest/gtest.h>

#include <string>

#include "framework/failures.h"

namespace {

std::string ReadAll(MemFile& file) {
  std::string out(file.Size(), '\0');
  file.Seek(0, SeekBegin);
  out.resize(file.GetData(&out[0], static_cast<uint32_t>(out.size())));
  return out;
}

TEST(MemFile, GrowsToTwicePositionPlusLength) {
  MemFile file;
  EXPECT_EQ(file.Capacity(), 2u);
  file.PutData("abc", 3);
  EXPECT_EQ(file.Capacity(), 3u);
  file.PutData("d", 1);
  EXPECT_EQ(file.Capacity(), 7u);
  EXPECT_EQ(file.Size(), 4u);
  EXPECT_EQ(ReadAll(file), "abcd");
}

TEST(MemFile, WritingPastTheEndExtendsTheSize) {
  MemFile file;
  file.PutData("xy", 2);
  EXPECT_EQ(file.Seek(10, SeekBegin), 10u);
  file.PutData("z", 1);
  EXPECT_EQ(file.Size(), 11u);
  std::string all = ReadAll(file);
  ASSERT_EQ(all.size(), 11u);
  EXPECT_EQ(all.substr(0, 2), "xy");
  EXPECT_EQ(all[10], 'z');
  // Overwriting inside keeps the size.
  file.Seek(1, SeekBegin);
  file.PutData("Q", 1);
  EXPECT_EQ(file.Size(), 11u);
  EXPECT_EQ(ReadAll(file).substr(0, 2), "xQ");
}

TEST(MemFile, ReadsShareThePositionWithWrites) {
  MemFile file;
  file.PutData("hello world", 11);
  char buffer[16] = {};
  EXPECT_EQ(file.GetData(buffer, 5), 0u);  // at the end
  file.Seek(-5, SeekEnd);
  EXPECT_EQ(file.GetData(buffer, 16), 5u);
  EXPECT_EQ(std::string(buffer, 5), "world");
  file.Seek(-11, SeekCurrent);
  EXPECT_EQ(file.GetData(buffer, 5), 5u);
  EXPECT_EQ(std::string(buffer, 5), "hello");
  file.PutData("!", 1);
  EXPECT_EQ(ReadAll(file), "hello!world");
  // An origin outside the three leaves the position.
  file.Seek(3, SeekBegin);
  EXPECT_EQ(file.Seek(100, static_cast<SeekOrigin>(3)), 3u);
  // Past the end reads nothing.
  file.Seek(50, SeekBegin);
  EXPECT_EQ(file.GetData(buffer, 4), 0u);
}

TEST(MemFile, ClearKeepsTheBufferButForgetsTheBytes) {
  MemFile file;
  file.PutData("0123456789", 10);
  const uint32_t capacity = file.Capacity();
  file.Clear();
  char buffer[4];
  EXPECT_EQ(file.Size(), 0u);
  EXPECT_EQ(file.GetData(buffer, 4), 0u);
  EXPECT_EQ(file.Capacity(), capacity);
  file.PutData("ab", 2);
  EXPECT_EQ(ReadAll(file), "ab");
}

TEST(MemFile, ResizeTrimsToThePosition) {
  MemFile file;
  file.PutData("0123456789", 10);
  file.Seek(4, SeekBegin);
  file.Resize();
  EXPECT_EQ(file.Size(), 4u);
  EXPECT_EQ(file.Capacity(), 4u);
  EXPECT_EQ(ReadAll(file), "0123");
}

TEST(MemFile, CopyIsDeepAndPositionedAtTheEnd) {
  MemFile file;
  file.PutData("abcdef", 6);
  file.Seek(2, SeekBegin);
  MemFile copy(file);
  EXPECT_EQ(copy.Size(), 6u);
  EXPECT_EQ(copy.Capacity(), 6u);
  copy.PutData("gh", 2);  // appends: the copy's position is its end
  file.PutData("XY", 2);
  EXPECT_EQ(ReadAll(copy), "abcdefgh");
  EXPECT_EQ(ReadAll(file), "abXYef");

  MemFile empty;
  MemFile empty_copy(empty);
  empty_copy.PutData("z", 1);
  EXPECT_EQ(ReadAll(empty_copy), "z");
}

TEST(MemFile, GrowthBeyondFourGiBRaises32773) {
  MemFile file;
  file.PutData("abc", 3);
  file.Seek(-16, SeekBegin);  // position 0xFFFFFFF0
  char bytes[32] = {};
  try {
    file.PutData(bytes, sizeof bytes);
    FAIL() << "no failure";
  } catch (const FilterException& e) {
    EXPECT_EQ(e.Id(), 32773);
  }
  file.Seek(-1, SeekBegin);
  EXPECT_THROW(file.PutData(bytes, 1), FilterException);
  // Nothing changed.
  EXPECT_EQ(file.Size(), 3u);
  EXPECT_EQ(ReadAll(file), "abc");
}

TEST(MemFile, WorksThroughTheStreamInterfaces) {
  MemFile file;
  OutStream& out = file;
  InStream& in = file;
  SeekMethod& seek = static_cast<MemInFile&>(file);
  for (int i = 0; i < 1000; ++i) out.PutData(&i, sizeof i);
  EXPECT_EQ(seek.Seek(0, SeekBegin), 0u);
  for (int i = 0; i < 1000; ++i) {
    int value = -1;
    ASSERT_EQ(in.GetData(&value, sizeof value), sizeof value);
    ASSERT_EQ(value, i);
  }
}

}  // namespace
