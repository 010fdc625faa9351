#include "framework/cached_out_stream.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "framework/failures.h"

namespace {

// Records every write it receives; can be told to fail and reports its end.
struct RecordingTarget : OutStream {
  std::vector<std::string> writes;
  bool fail = false;
  bool* deleted = nullptr;
  ~RecordingTarget() override {
    if (deleted) *deleted = true;
  }
  void PutData(const void* data, uint32_t n) override {
    if (fail) Error(12345);
    writes.emplace_back(static_cast<const char*>(data), n);
  }
  std::string All() const {
    std::string all;
    for (const auto& w : writes) all += w;
    return all;
  }
};

static_assert(!std::is_copy_constructible_v<CachedOutStream>);
static_assert(!std::is_copy_assignable_v<CachedOutStream>);

TEST(CachedOutStream, SmallWritesWaitInTheCache) {
  RecordingTarget target;
  {
    CachedOutStream cache(target, false);
    cache.PutData(std::string(4000, 'a').data(), 4000);
    cache.PutData(std::string(200, 'b').data(), 200);
    EXPECT_EQ(cache.GetOffset(), 4200u);
    ASSERT_EQ(target.writes.size(), 1u);
    EXPECT_EQ(target.writes[0], std::string(4000, 'a'));
    // Small writes gather until the next would overflow the 4096 bytes.
    for (int i = 0; i < 19; ++i) cache.PutData(std::string(200, 'b').data(), 200);
    EXPECT_EQ(target.writes.size(), 1u);
    cache.PutData(std::string(200, 'c').data(), 200);
    ASSERT_EQ(target.writes.size(), 2u);
    EXPECT_EQ(target.writes[1], std::string(4000, 'b'));
    cache.PutData(nullptr, 10);
    cache.PutData("x", 0);
    EXPECT_EQ(cache.GetOffset(), 8200u);
  }
  ASSERT_EQ(target.writes.size(), 3u);
  EXPECT_EQ(target.writes[2], std::string(200, 'c'));
}

TEST(CachedOutStream, LargeWritesBypassTheCache) {
  RecordingTarget target;
  CachedOutStream cache(target, false);
  cache.PutData(std::string(3000, 'c').data(), 3000);
  ASSERT_EQ(target.writes.size(), 1u);
  EXPECT_EQ(target.writes[0].size(), 3000u);

  // A cache that already holds bytes flushes them first, in order.
  cache.PutData("12", 2);
  cache.PutData(std::string(2500, 'd').data(), 2500);
  ASSERT_EQ(target.writes.size(), 3u);
  EXPECT_EQ(target.writes[1], "12");
  EXPECT_EQ(target.writes[2].size(), 2500u);
  EXPECT_EQ(cache.GetOffset(), 5502u);

  // 2048 bytes go through the cache, anything larger around it.
  cache.PutData(std::string(3000, 'e').data(), 3000);  // bypass
  cache.PutData(std::string(2048, 'f').data(), 2048);  // fits
  cache.PutData(std::string(2049, 'g').data(), 2049);  // flush, then bypass
  cache.PutData(std::string(2048, 'h').data(), 2048);  // fits
  cache.PutData(std::string(2048, 'i').data(), 2048);  // fits exactly: 4096
  cache.PutData(std::string(2048, 'j').data(), 2048);  // flush, then cached
  std::vector<size_t> sizes;
  for (size_t i = 3; i < target.writes.size(); ++i) sizes.push_back(target.writes[i].size());
  EXPECT_EQ(sizes, (std::vector<size_t>{3000, 2048, 2049, 4096}));
}

TEST(CachedOutStream, RandomWritesArriveInOrder) {
  std::mt19937 rng(7);
  RecordingTarget target;
  std::string expected;
  {
    CachedOutStream cache(target, false);
    for (int i = 0; i < 300; ++i) {
      std::string chunk(rng() % 5000, '\0');
      for (char& c : chunk) c = static_cast<char>(rng());
      cache.PutData(chunk.data(), static_cast<uint32_t>(chunk.size()));
      expected += chunk;
      ASSERT_EQ(cache.GetOffset(), expected.size());
    }
  }
  EXPECT_EQ(target.All(), expected);
  for (const auto& w : target.writes) EXPECT_GT(w.size(), 0u);
}

TEST(CachedOutStream, OffsetCanStartPastTheTargetsHead) {
  struct Container : CachedOutStream {
    Container(OutStream& target) : CachedOutStream(target, false) { SetFlushedCount(8); }
  };
  RecordingTarget target;
  Container cache(target);
  cache.PutData("abc", 3);
  EXPECT_EQ(cache.GetOffset(), 11u);
}

TEST(CachedOutStream, OwnedTargetIsDeleted) {
  bool deleted = false;
  auto* target = new RecordingTarget;
  target->deleted = &deleted;
  { CachedOutStream cache(*target, true); }
  EXPECT_TRUE(deleted);
}

TEST(CachedOutStream, FlushFailureReachesTheCallerUnlessUnwinding) {
  bool deleted = false;
  auto* target = new RecordingTarget;
  target->deleted = &deleted;
  target->fail = true;
  auto* cache = new CachedOutStream(*target, true);
  cache->PutData("abc", 3);
  try {
    delete cache;
    FAIL() << "no failure";
  } catch (const FilterException& e) {
    EXPECT_EQ(e.Id(), 12345);
  }
  EXPECT_TRUE(deleted);  // the owned target went anyway

  RecordingTarget failing;
  failing.fail = true;
  try {
    CachedOutStream cache2(failing, false);
    cache2.PutData("abc", 3);
    throw std::runtime_error("first");
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "first");
  }
}

}  // namespace
