#include "plugin/xtension/swing.h"

#include <gtest/gtest.h>

#include <cctype>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "plugin/xtension/callback_glue.h"
#include "support/program_log.h"

// A stand-in for the host's record types.
struct TestRec {
  std::vector<int> performed;
};

using First = Swing::ActionAdapter<TestRec*, 101>;
using Second = Swing::ActionAdapter<TestRec*, 102>;
using Failing = Swing::ActionAdapter<TestRec*, 103>;
using Button = Swing::AbstractButton<TestRec*, 5>;
using Idle = CBAdapter<TestRec*, 31>;

template <>
void First::ActionPerformed(TestRec* record) {
  record->performed.push_back(101);
}
template <>
void Second::ActionPerformed(TestRec* record) {
  record->performed.push_back(102);
}
template <>
void Failing::ActionPerformed(TestRec*) {
  throw std::runtime_error("listener failed");
}

namespace {

// Catches what the framework writes to the program log.
class SwingTest : public ::testing::Test {
 protected:
  void SetUp() override { old_ = ProgramLog().rdbuf(log_.rdbuf()); }
  void TearDown() override { ProgramLog().rdbuf(old_); }
  // The log with each checkpoint number written as "#".
  std::string Log() const {
    std::string text = log_.str();
    const std::string mark = "######## BreakPoint_BX:";
    for (std::size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + 1)) {
      std::size_t end = at + mark.size();
      while (end < text.size() && std::isxdigit(static_cast<unsigned char>(text[end]))) ++end;
      text.replace(at + mark.size(), end - at - mark.size(), "#");
    }
    return text;
  }

  std::ostringstream log_;
  std::streambuf* old_ = nullptr;
};

template <class T>
RefHandle<T> Make() {
  return RefHandle<T>::Adopt(new T);
}

TEST_F(SwingTest, ListenersFireInInsertionOrder) {
  auto first = Make<First>();
  auto second = Make<Second>();
  auto button = Make<Button>();
  EXPECT_FALSE(button->IsChanged());
  button->AddListener(second);
  button->AddListener(first);
  EXPECT_TRUE(button->IsChanged());

  TestRec record;
  button->ActionPerformed(&record);  // performing a button fires it
  EXPECT_EQ(record.performed, (std::vector<int>{102, 101}));
  EXPECT_FALSE(button->IsChanged());

  button->RemoveListener(second);
  EXPECT_TRUE(button->IsChanged());
  button->AddListener(second);
  record.performed.clear();
  button->Fire(&record);
  EXPECT_EQ(record.performed, (std::vector<int>{101, 102}));
  EXPECT_EQ(Log(), "");
}

TEST_F(SwingTest, DuplicateAddAndMissingRemoveChangeNothing) {
  auto first = Make<First>();
  auto button = Make<Button>();
  button->AddListener(first);
  EXPECT_EQ(first->RefCount(), 2u);
  TestRec record;
  button->Fire(&record);
  EXPECT_FALSE(button->IsChanged());

  // The same object through another of its bases is the same listener.
  button->AddListener(RefHandle<Swing::ActionListener<TestRec*>>(first));
  EXPECT_EQ(button->ListenerCount(), 1u);
  EXPECT_FALSE(button->IsChanged());
  EXPECT_EQ(first->RefCount(), 2u);  // the handle passed in was dropped
  EXPECT_EQ(Log(), "######## BreakPoint_BX:# duplicated listener\n");

  auto second = Make<Second>();
  button->RemoveListener(second);
  EXPECT_EQ(button->ListenerCount(), 1u);
  EXPECT_FALSE(button->IsChanged());
  EXPECT_EQ(second->RefCount(), 1u);
  EXPECT_EQ(Log(),
            "######## BreakPoint_BX:# duplicated listener\n"
            "######## BreakPoint_BX:# duplicated listener metastasis\n");

  button->RemoveListener(first);
  EXPECT_EQ(first->RefCount(), 1u);
  button->RemoveListener(first);
  EXPECT_EQ(Log(),
            "######## BreakPoint_BX:# duplicated listener\n"
            "######## BreakPoint_BX:# duplicated listener metastasis\n"
            "######## BreakPoint_BX:# duplicated listener metastasis\n");
}

TEST_F(SwingTest, FiringWithoutListenersOnlyClearsChanged) {
  auto first = Make<First>();
  auto button = Make<Button>();
  button->AddListener(first);
  button->RemoveListener(first);
  EXPECT_TRUE(button->IsChanged());
  TestRec record;
  button->Fire(&record);
  EXPECT_FALSE(button->IsChanged());
  EXPECT_TRUE(record.performed.empty());
}

TEST_F(SwingTest, AListenersExceptionReachesTheCaller) {
  auto failing = Make<Failing>();
  auto first = Make<First>();
  auto button = Make<Button>();
  button->AddListener(first);
  button->AddListener(failing);
  TestRec record;
  EXPECT_THROW(button->Fire(&record), std::runtime_error);
  EXPECT_EQ(record.performed, std::vector<int>{101});
}

TEST_F(SwingTest, InstancesAndTheirGetters) {
  EXPECT_FALSE(First::Instance());
  TestRec record;
  Swing::Perform<First>(&record);  // nothing lives: nothing happens
  EXPECT_TRUE(record.performed.empty());
  {
    auto first = Make<First>();
    auto got = First::Instance();
    EXPECT_TRUE(got == first);
    EXPECT_EQ(first->RefCount(), 2u);
    Swing::Perform<First>(&record);
    EXPECT_EQ(record.performed, std::vector<int>{101});
    EXPECT_EQ(first->RefCount(), 2u);
    EXPECT_EQ(first->Id(), 101);
    EXPECT_STREQ(first->Name().Text(), " Action 101");
  }
  EXPECT_FALSE(First::Instance());  // the last handle went, and the instance with it
}

TEST_F(SwingTest, DroppingAButtonDropsItsListeners) {
  auto first = Make<First>();
  auto second = Make<Second>();
  {
    auto button = Make<Button>();
    button->AddListener(first);
    button->AddListener(second);
    EXPECT_EQ(first->RefCount(), 2u);
    EXPECT_TRUE(Button::Instance() == button);
  }
  EXPECT_FALSE(Button::Instance());
  EXPECT_EQ(first->RefCount(), 1u);
  EXPECT_EQ(second->RefCount(), 1u);
}

TEST_F(SwingTest, CallbackAdapterFiresOnlyWhenEnabled) {
  auto first = Make<First>();
  auto idle = Make<Idle>();
  idle->AddListener(first);
  TestRec record;
  RefHandle<CBGlue> glue = idle;
  EXPECT_EQ(glue->HostEntry(&record), 0);
  EXPECT_EQ(record.performed, std::vector<int>{101});

  idle->SetEnabled(false);
  EXPECT_EQ(glue->HostEntry(&record), 0);
  EXPECT_EQ(idle->Handle(&record), 0);
  EXPECT_EQ(record.performed, std::vector<int>{101});
  EXPECT_STREQ(idle->Name().Text(), " Action 31");
  // The adapter is the button instance of its id.
  using IdleButton = Swing::AbstractButton<TestRec*, 31>;
  EXPECT_TRUE(IdleButton::Instance() == idle);
}

}  // namespace
