// The plug-in's host link: suite acquisition and the module's own place.
#include "support/host_link.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>

namespace {

const XTStringSuite kStrings = {kXTSuiteQSB1, nullptr, nullptr, nullptr, nullptr, nullptr};
int32_t g_answer = kXTOk;
const void* g_table = &kStrings;

int32_t Acquire(uint32_t, const void** suite, int32_t, int32_t) {
  if (g_answer == kXTOk) *suite = g_table;
  return g_answer;
}

TEST(AcquireSuite, StoresOnlyWhatTheHostReallyGave) {
  XTRegisterRec record{};
  record.acquire_suite = Acquire;
  const XTStringSuite* slot = nullptr;
  g_answer = kXTOk;
  EXPECT_EQ(AcquireSuite(record, kXTSuiteQSB1, slot), kXTOk);
  EXPECT_EQ(slot, &kStrings);
  // A refusal, a null table, a table with another code: the slot stays.
  const XTStringSuite* kept = nullptr;
  g_answer = kXTErrRefused;
  EXPECT_EQ(AcquireSuite(record, kXTSuiteQSB1, kept), kXTErrRefused);
  g_answer = kXTOk;
  g_table = nullptr;
  EXPECT_EQ(AcquireSuite(record, kXTSuiteQSB1, kept), kXTErrNoSuite);
  g_table = &kStrings;
  const XTPathSuite* wrong = nullptr;
  EXPECT_EQ(AcquireSuite(record, kXTSuiteQSC1, wrong), kXTErrNoSuite);
  EXPECT_EQ(kept, nullptr);
  EXPECT_EQ(wrong, nullptr);
}

TEST(Module, HandleAndPathOfTheCodeItIsLinkedInto) {
  // Linked into this test program, the module is the program itself.
  char self[PATH_MAX];
  ASSERT_NE(realpath("/proc/self/exe", self), nullptr);
  EXPECT_EQ(ModulePath(), self);
  Dl_info info{};
  ASSERT_NE(dladdr(reinterpret_cast<const void*>(&Acquire), &info), 0);
  EXPECT_EQ(ModuleHandle(), info.dli_fbase);
}

}  // namespace
