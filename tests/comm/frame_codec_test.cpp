#include <gtest/gtest.h>

#include "comm/frame_codec.h"
#include "comm/frame_log.h"
#include "support/modbus_frames.h"

namespace trelvan {
namespace {

TEST(FrameCodec, BuildsTheMeasurementRequestWithItsCrc) {
  const struct {
    int station, first;
    Bytes frame;
  } cases[] = {{1, 20, {0x01, 0x03, 0x00, 0x14, 0x00, 0x08, 0x04, 0x08}},
               {14, 0, {0x0E, 0x03, 0x00, 0x00, 0x00, 0x08, 0x44, 0xF3}},
               {247, 65528, {0xF7, 0x03, 0xFF, 0xF8, 0x00, 0x08, 0xE1, 0x7F}}}; // the last register block
  for (const auto& c : cases) {
    const auto request = BuildRequest(c.station, 3, c.first, 8);
    ASSERT_TRUE(request) << c.station;
    EXPECT_EQ(request->frame, c.frame) << c.station << "/" << c.first;
    EXPECT_EQ(request->expectedLength, 21);
  }
  // The check value of the Modbus CRC over the ASCII digits "123456789" is 0x4B37, sent low byte first.
  EXPECT_EQ(ComputeCrc(Bytes{'1', '2', '3', '4', '5', '6', '7', '8', '9'}), (Bytes{0x37, 0x4B}));
}

TEST(FrameCodec, RefusesFieldsThatDoNotFitAndExceptionsThatAreNotTheStations) {
  const struct {
    int station, function, first, count;
  } refused[] = {{256, 3, 0, 8}, {-1, 3, 0, 8}, {1, 256, 0, 8}, {1, 3, -1, 8},
                 {1, 3, 65529, 8} /* would reach register 65536 */, {1, 3, 0, 0}, {1, 3, 0, 126}};
  for (const auto& c : refused) {
    EXPECT_FALSE(BuildRequest(c.station, c.function, c.first, c.count)) << c.station << " " << c.first << " " << c.count;
  }
  EXPECT_EQ(BuildRequest(1, 3, 0, 125)->expectedLength, 255);

  // An exception reply counts only from the station asked and with its CRC;
  // station 3's own is read against the simulator.
  Bytes damaged = testing::ExceptionReply(3, 2);
  EXPECT_EQ(CheckReadReply(damaged, 5, 3, 8).fault, ReplyFault::WrongStation);
  damaged[4] ^= 0xFF; // now its CRC fails
  EXPECT_FALSE(IsExceptionReply(damaged));
  EXPECT_EQ(CheckReadReply(damaged, 3, 3, 8).fault, ReplyFault::TooShort);
}

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
