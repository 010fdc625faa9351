#include "framework/finish_in_destructor.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace {

// Finishes from its destructor; the finish fails when told to.
struct Finisher {
  bool fail;
  bool* finished;
  ~Finisher() noexcept(false) {
    FinishInDestructor([this] {
      *finished = true;
      if (fail) throw std::runtime_error("finish");
    });
  }
};

// What reaches the caller: "" when nothing does, else the failure's text.
std::string Outcome(bool unwinding, bool fail, bool* finished) {
  try {
    Finisher finisher{fail, finished};
    if (unwinding) throw std::runtime_error("first");
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

TEST(FinishInDestructor, FailureReachesTheCallerUnlessUnwinding) {
  const struct {
    bool unwinding, fail;
    const char* outcome;
  } cases[] = {
      {false, false, ""},
      {false, true, "finish"},
      {true, false, "first"},
      {true, true, "first"},
  };
  for (const auto& c : cases) {
    bool finished = false;
    EXPECT_EQ(Outcome(c.unwinding, c.fail, &finished), c.outcome) << c.unwinding << c.fail;
    EXPECT_TRUE(finished);
  }
}

TEST(FinishInDestructor, FailureHandledInsideAFinishIsNotUnwinding) {
  // A finish that itself catches a failure, then finishes an inner object
  // whose finish fails: nothing unwinds at that point, so the inner failure
  // propagates out of the outer finish.
  bool innerFinished = false;
  bool outerFinished = false;
  const auto outer = [&] {
    outerFinished = true;
    try {
      throw std::runtime_error("handled");
    } catch (const std::exception&) {
      Finisher inner{true, &innerFinished};
    }
  };
  std::string outcome;
  try {
    FinishInDestructor(outer);
  } catch (const std::exception& e) {
    outcome = e.what();
  }
  EXPECT_TRUE(outerFinished);
  EXPECT_TRUE(innerFinished);
  EXPECT_EQ(outcome, "finish");
}

}  // namespace
