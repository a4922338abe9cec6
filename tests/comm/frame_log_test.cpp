#include <gtest/gtest.h>

#include "comm/frame_log.h"

namespace trelvan {
namespace {

// Weeks of measuring: the ring keeps the newest frames only, and a reader
// that polls it gets each frame once.
TEST(FrameLog, KeepsTheNewestFramesAndHandsEachOutOnce) {
  FrameLog log(3);
  int observed = 0;
  log.SetObserver([&](const FrameRecord&) { ++observed; });
  for (int i = 0; i < 5; ++i) log.Add(FrameDirection::Sent, 3, Bytes{static_cast<std::uint8_t>(i)}, {});
  EXPECT_EQ(log.size(), 3u);
  EXPECT_EQ(observed, 5);
  const auto all = log.Since(0);
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all.front().sequence, 3u);
  EXPECT_EQ(all.back().bytes, Bytes{4});
  EXPECT_TRUE(log.Since(log.lastSequence()).empty());
}

} // namespace
} // namespace trelvan
