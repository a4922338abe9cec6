#pragma once
// Tests that wait for instruments run with short reply time-outs, so that the
// normal suite stays quick. Their soak build (TRELVAN_SOAK_RUN, CTest label
// "soak") runs the same tests at the station's own 2000 ms, and only when
// asked for: TRELVAN_SOAK=1 ctest -L soak.

#include <gtest/gtest.h>

#include <cstdlib>

namespace trelvan::testing {

#ifdef TRELVAN_SOAK_RUN
inline constexpr bool kSoak = true;
inline constexpr int kReplyMs = 2000;

class SoakGate : public ::testing::Environment {
 public:
  void SetUp() override {
    if (std::getenv("TRELVAN_SOAK") == nullptr) GTEST_SKIP() << "a soak run: TRELVAN_SOAK=1 ctest -L soak";
  }
};
inline ::testing::Environment* const kSoakGate = ::testing::AddGlobalTestEnvironment(new SoakGate);
#else
inline constexpr bool kSoak = false;
inline constexpr int kReplyMs = 200;
#endif

} // namespace trelvan::testing
