#include "support/msg_string.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(MsgString, KeepsAtMost255Characters) {
  std::string text(300, 'a');
  for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('a' + i % 26);
  const MsgString msg = MsgString::Create(text.c_str());
  EXPECT_EQ(msg.Length(), 255);
  EXPECT_EQ(std::string(msg.Text()), text.substr(0, 255));

  const MsgString exact = MsgString::Create(text.substr(0, 255).c_str());
  EXPECT_EQ(exact.Length(), 255);
  EXPECT_STREQ(exact.Text(), msg.Text());
}

TEST(MsgString, EmptyAndShortTexts) {
  const MsgString empty = MsgString::Create("");
  EXPECT_EQ(empty.Length(), 0);
  EXPECT_STREQ(empty.Text(), "");
  const MsgString nothing;
  EXPECT_STREQ(nothing.Text(), "");
  EXPECT_EQ(nothing.Length(), 0);

  const MsgString title = MsgString::Create(" Export current document");
  EXPECT_STREQ(title.Text(), " Export current document");
  EXPECT_EQ(title.Length(), std::strlen(" Export current document"));
  // The length byte stands right before the characters: a length-prefixed text.
  const auto* prefixed = reinterpret_cast<const unsigned char*>(title.Text()) - 1;
  EXPECT_EQ(prefixed[0], title.Length());
}

TEST(MsgString, CopiesShareOneCountedText) {
  MsgString a = MsgString::Create("shared");
  ASSERT_TRUE(a.Handle());
  EXPECT_EQ(a.Handle()->RefCount(), 1u);
  {
    MsgString b = a;
    EXPECT_EQ(b.Text(), a.Text());
    EXPECT_EQ(a.Handle()->RefCount(), 2u);
    MsgString c;
    c = b;
    EXPECT_EQ(a.Handle()->RefCount(), 3u);
    MsgString& same = c;
    c = same;
    EXPECT_EQ(a.Handle()->RefCount(), 3u);
  }
  EXPECT_EQ(a.Handle()->RefCount(), 1u);
}

// A counted object that records its destruction.
class Probe : public RefObject {
 public:
  explicit Probe(int* destroyed) : destroyed_(destroyed) {}

 private:
  ~Probe() override { ++*destroyed_; }
  int* destroyed_;
};

TEST(RefHandle, CountsAndDestroysOnce) {
  int destroyed = 0;
  {
    RefHandle<Probe> a = RefHandle<Probe>::Adopt(new Probe(&destroyed));
    EXPECT_EQ(a->RefCount(), 1u);
    RefHandle<Probe> b = a;
    EXPECT_EQ(a->RefCount(), 2u);
    EXPECT_TRUE(a == b);
    RefHandle<RefObject> base = b;  // the same object through its base
    EXPECT_TRUE(base == a);
    EXPECT_EQ(a->RefCount(), 3u);
    base = RefHandle<RefObject>();
    EXPECT_EQ(a->RefCount(), 2u);
    RefHandle<Probe> moved = std::move(b);
    EXPECT_FALSE(b);
    EXPECT_EQ(a->RefCount(), 2u);
    EXPECT_EQ(destroyed, 0);
  }
  EXPECT_EQ(destroyed, 1);

  Probe* raw = new Probe(&destroyed);
  RefHandle<Probe> shared = RefHandle<Probe>::Share(raw);  // the creator keeps its own reference
  EXPECT_EQ(raw->RefCount(), 2u);
  shared.Reset();
  EXPECT_EQ(destroyed, 1);
  raw->Release();
  EXPECT_EQ(destroyed, 2);
}

}  // namespace
