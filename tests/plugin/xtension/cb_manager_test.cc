// The callback manager: dispatch, its answers to failures, the trampolines
// it registers, and the end of it at shut-down.
#include "plugin/xtension/cb_manager.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/xt/xt_records.h"
#include "plugin/xtension/isolated_util.h"

namespace {

std::vector<uint16_t> g_failures;  // codes reported to CallBackFailed
std::string g_lastMessage;
std::string g_events;  // what the probes did, in order

void Observe(const ErrorRecord& record) {
  g_failures.push_back(record.code);
  g_lastMessage = record.message.Text();
}

enum class Act { kAnswer, kThrowInt, kThrowBadAlloc, kThrowBrenix, kThrowOther };

class Probe : public CallBack<XTIdleRec*> {
 public:
  Probe(int id, Act act, int32_t answer = 0) : id_(id), act_(act), answer_(answer) {}
  int32_t Handle(XTIdleRec* record) override {
    g_events += "run" + std::to_string(id_) + "(" + std::to_string(record->tick) + ") ";
    switch (act_) {
      case Act::kThrowInt:
        throw 7;
      case Act::kThrowBadAlloc:
        throw std::bad_alloc();
      case Act::kThrowBrenix:
        throw BrenixException(ErrorRecord{1005, MsgString::Create("container failed")});
      case Act::kThrowOther:
        throw std::runtime_error("other");
      case Act::kAnswer:
        break;
    }
    return answer_;
  }

 protected:
  ~Probe() override { g_events += "drop" + std::to_string(id_) + " "; }

 private:
  int id_;
  Act act_;
  int32_t answer_;
};

RefHandle<CBGlue> NewProbe(int id, Act act, int32_t answer = 0) {
  return RefHandle<CBGlue>::Adopt(new Probe(id, act, answer));
}

// Kinds these tests fill; each test empties them again.
const int32_t kKinds[] = {6, 7, 10, 20, 21, 22, 23, 24, 989};

class CBManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(CBManager::Instance(), nullptr);
    SetCallBackFailedObserver(Observe);
    g_failures.clear();
    g_events.clear();
  }
  void TearDown() override {
    for (int32_t kind : kKinds) CBManager::Instance()->Set(kind, RefHandle<CBGlue>());
    SetCallBackFailedObserver(nullptr);
  }
};

TEST_F(CBManagerTest, DispatchesToTheKindsObjectAndReturnsItsAnswer) {
  CBManager* manager = CBManager::Instance();
  EXPECT_EQ(manager, CBManager::Instance());
  ASSERT_TRUE(SetHostCallback(20, NewProbe(1, Act::kAnswer, 42)));
  XTIdleRec record{20, 3};
  EXPECT_EQ(manager->Dispatch(20, &record, true), 42);
  // The trampoline reads the kind from the record itself.
  EXPECT_EQ(CBManager::Trampoline(&record), 42);
  EXPECT_EQ(g_events, "run1(3) run1(3) ");
  EXPECT_TRUE(g_failures.empty());
}

TEST_F(CBManagerTest, NothingToDispatchAnswersZero) {
  CBManager* manager = CBManager::Instance();
  XTIdleRec record{21, 1};
  EXPECT_EQ(manager->Dispatch(21, &record, true), 0);
  EXPECT_EQ(manager->Dispatch(21, &record, false), 0);
  EXPECT_EQ(manager->Dispatch(990, &record, true), 0);
  EXPECT_EQ(manager->Dispatch(-1, &record, true), 0);
  record.kind = 5000;
  EXPECT_EQ(CBManager::Trampoline(&record), 0);
  EXPECT_EQ(g_failures, (std::vector<uint16_t>{1000, 1000, 1000, 1000}));
  EXPECT_EQ(g_lastMessage, "");
}

TEST_F(CBManagerTest, EveryFailureAnswersZeroWithItsRecord) {
  CBManager* manager = CBManager::Instance();
  SetHostCallback(20, NewProbe(1, Act::kThrowInt));
  SetHostCallback(21, NewProbe(2, Act::kThrowBadAlloc));
  SetHostCallback(22, NewProbe(3, Act::kThrowOther));
  SetHostCallback(23, NewProbe(4, Act::kThrowBrenix));
  for (int32_t kind = 20; kind <= 23; ++kind) {
    XTIdleRec record{kind, kind};
    EXPECT_EQ(manager->Dispatch(kind, &record, true), 0) << kind;
  }
  EXPECT_EQ(g_failures, (std::vector<uint16_t>{1001, 1001, 1002, 1005}));
  EXPECT_EQ(g_lastMessage, "container failed");
}

TEST_F(CBManagerTest, SetRefusesKindsOutsideItsSlotsAndReleasesReplacedObjects) {
  CBManager* manager = CBManager::Instance();
  const uint32_t before = manager->SetCount();
  EXPECT_FALSE(manager->Set(990, NewProbe(1, Act::kAnswer)));
  EXPECT_FALSE(manager->Set(-5, NewProbe(2, Act::kAnswer)));
  EXPECT_EQ(g_events, "drop1 drop2 ");  // the refused objects are not kept
  EXPECT_EQ(manager->SetCount(), before);
  EXPECT_TRUE(manager->Set(989, NewProbe(3, Act::kAnswer, 1)));
  EXPECT_TRUE(manager->Set(989, NewProbe(4, Act::kAnswer, 2)));
  EXPECT_EQ(g_events, "drop1 drop2 drop3 ");
  EXPECT_EQ(manager->SetCount(), before + 2);
  XTIdleRec record{989, 0};
  EXPECT_EQ(CBManager::Trampoline(&record), 2);
}

TEST_F(CBManagerTest, OneTrampolinePerFilledKindInAscendingOrder) {
  static std::vector<int32_t> registered;
  registered.clear();
  XTRegisterRec host{};
  host.register_callback = [](int32_t kind, XTCallback routine, int32_t placement, int32_t priority,
                              int32_t flags) -> int32_t {
    EXPECT_EQ(routine, &CBManager::Trampoline);
    EXPECT_EQ(placement, 5);
    EXPECT_EQ(priority, 200);
    EXPECT_EQ(flags, 0);
    registered.push_back(kind);
    return kXTErrRefused;  // a refusal stops nothing
  };
  SetHostCallback(10, NewProbe(1, Act::kAnswer));
  SetHostCallback(6, NewProbe(2, Act::kAnswer));
  SetHostCallback(7, NewProbe(3, Act::kAnswer));
  CBManager::Instance()->RegisterTrampolines(host);
  EXPECT_EQ(registered, (std::vector<int32_t>{6, 7, 10}));
}

TEST(CBManagerShutDown, GoneForGood) {
  const std::string events = InChild([] {
    g_events.clear();
    SetHostCallback(6, NewProbe(6, Act::kAnswer, 1));
    SetHostCallback(10, NewProbe(10, Act::kAnswer, 1));
    SetHostCallback(7, NewProbe(7, Act::kAnswer, 1));
    g_events += "| ";
    EXPECT_EQ(OnHostShutdown(nullptr), 0);  // no module handle held: nothing to give back
    g_events += "| ";
    XTIdleRec late{10, 1};
    g_events += "late=" + std::to_string(CBManager::Trampoline(&late)) + " ";
    g_events += CBManager::Instance() == nullptr ? "none " : "again ";
    const bool kept = SetHostCallback(6, NewProbe(60, Act::kAnswer));
    g_events += kept ? "kept " : "refused ";
    return g_events;
  });
  // Released from the highest kind to the lowest; nothing dispatched late,
  // no new manager, a late object released at once.
  EXPECT_EQ(events, "| drop10 drop7 drop6 | late=0 none drop60 refused ");
}

int32_t ThrowsLogicError(void*) { throw std::logic_error("x"); }

TEST(RunGuarded, TheBarrierAnswersWhatItIsTold) {
  SetCallBackFailedObserver(Observe);
  g_failures.clear();
  EXPECT_EQ(RunGuarded([]() -> int32_t { throw 1; }, 0x51000401), 0x51000401);
  EXPECT_EQ(RunGuarded([]() -> int32_t { return 9; }, 0x51000401), 9);
  EXPECT_EQ(Guarded<ThrowsLogicError>(nullptr), 0);
  EXPECT_EQ(g_failures, (std::vector<uint16_t>{1001, 1002}));
  SetCallBackFailedObserver(nullptr);
}

}  // namespace
