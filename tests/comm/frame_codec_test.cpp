#include <gtest/gtest.h>

#include "comm/frame_codec.h"
#include "support/modbus_frames.h"

namespace trelvan {
namespace {

struct RequestCase {
  int station, first;
  Bytes frame;
};

class FrameCodecRequest : public ::testing::TestWithParam<RequestCase> {};

TEST_P(FrameCodecRequest, BuildsTheMeasurementRequestWithItsCrc) {
  const auto& c = GetParam();
  const auto request = BuildRequest(c.station, 3, c.first, 8);
  ASSERT_TRUE(request);
  EXPECT_EQ(request->frame, c.frame);
  EXPECT_EQ(request->expectedLength, 21);
}

INSTANTIATE_TEST_SUITE_P(StationFrames, FrameCodecRequest,
                         ::testing::Values(RequestCase{1, 0, {0x01, 0x03, 0x00, 0x00, 0x00, 0x08, 0x44, 0x0C}},
                                           RequestCase{1, 20, {0x01, 0x03, 0x00, 0x14, 0x00, 0x08, 0x04, 0x08}},
                                           RequestCase{14, 0, {0x0E, 0x03, 0x00, 0x00, 0x00, 0x08, 0x44, 0xF3}},
                                           RequestCase{3, 20, {0x03, 0x03, 0x00, 0x14, 0x00, 0x08, 0x05, 0xEA}},
                                           RequestCase{3, 0, {0x03, 0x03, 0x00, 0x00, 0x00, 0x08, 0x45, 0xEE}}),
                         [](const ::testing::TestParamInfo<RequestCase>& p) {
                           return "Station" + std::to_string(p.param.station) + "Register" + std::to_string(p.param.first);
                         });

TEST(FrameCodec, EncodesWordsHighByteFirstAndTheCrcLowByteFirst) {
  EXPECT_EQ(EncodeWord(200), (Bytes{0x00, 0xC8}));
  EXPECT_EQ(EncodeWord(300), (Bytes{0x01, 0x2C}));
  EXPECT_EQ(EncodeWord(0xFFFF), (Bytes{0xFF, 0xFF}));
  EXPECT_EQ(ComputeCrc(Bytes{}), (Bytes{0xFF, 0xFF}));
  // The check value of the Modbus CRC over the ASCII digits "123456789" is 0x4B37.
  const Bytes digits{'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(Crc16(digits), 0x4B37);
  EXPECT_EQ(ComputeCrc(digits), (Bytes{0x37, 0x4B}));
}

TEST(FrameCodec, RefusesFieldsThatDoNotFitTheFrame) {
  EXPECT_FALSE(BuildRequest(256, 3, 0, 8));
  EXPECT_FALSE(BuildRequest(-1, 3, 0, 8));
  EXPECT_FALSE(BuildRequest(1, 256, 0, 8));
  EXPECT_FALSE(BuildRequest(1, 3, -1, 8));
  EXPECT_FALSE(BuildRequest(1, 3, 65529, 8)); // would reach register 65536
  EXPECT_FALSE(BuildRequest(1, 3, 0, 0));
  EXPECT_FALSE(BuildRequest(1, 3, 0, 126));
  const auto last = BuildRequest(247, 3, 65528, 8);
  ASSERT_TRUE(last);
  EXPECT_EQ(last->frame[2], 0xFF);
  EXPECT_EQ(last->frame[3], 0xF8);
  EXPECT_EQ(BuildRequest(1, 3, 0, 125)->expectedLength, 255);
}

using testing::ReadReply;

TEST(FrameCodec, ReadsRegistersSignedLowByteAndCodes) {
  const Bytes r = ReadReply(1, {0x0142, 0, 0, 0xFF38, 0x7FFF, 0x8000, 0, 0});
  EXPECT_EQ(RegisterSigned(r, 3), -200);
  EXPECT_EQ(RegisterSigned(r, 4), 32767);
  EXPECT_EQ(RegisterSigned(r, 5), -32768);
  EXPECT_EQ(RegisterWord(r, 3), 0xFF38);
  EXPECT_EQ(RegisterLowByte(r, 0), 0x42); // the high byte 0x01 is not part of it
  EXPECT_EQ(PointCode(0x42), 2);
  EXPECT_EQ(UnitCode(0x42), 0x40);
  EXPECT_EQ(UnitCode(0xF7), 0xF0);
}

TEST(FrameCodec, ReadsBcdCountersAndKeepsTheDigitsOfOnesThatAreNot) {
  const BcdCounter c = BcdCounterFromWords(0x0012, 0x3456);
  EXPECT_TRUE(c.valid);
  EXPECT_EQ(c.value, 123456);
  EXPECT_EQ(c.digits, "00123456");
  EXPECT_EQ(BcdCounterFromWords(0x9999, 0x9999).value, 99999999);
  EXPECT_EQ(BcdCounterFromWords(0x0000, 0x0999).value, 999);

  const BcdCounter bad = BcdCounterFromWords(0x0000, 0x1A2F);
  EXPECT_FALSE(bad.valid);
  EXPECT_EQ(bad.digits, "00001A2F");
  EXPECT_EQ(bad.value, 0);

  const Bytes r = ReadReply(1, {0, 0x3456, 0x0012, 0, 0, 0, 0x0999, 0x0000});
  EXPECT_EQ(ReadBcdCounter(r, 2, 1).value, 123456);
  EXPECT_EQ(ReadBcdCounter(r, 7, 6).value, 999);
}

TEST(FrameCodec, AcceptsOnlyRepliesThatEchoTheRequestAndCarryTheirCrc) {
  const Bytes good = ReadReply(3, {1, 2, 3, 4, 5, 6, 7, 8});
  EXPECT_TRUE(CheckReadReply(good, 3, 3, 8).ok());

  Bytes longer = good;
  longer.insert(longer.end(), {0xA0, 0xA1, 0xA2, 0xA3});
  EXPECT_TRUE(CheckReadReply(longer, 3, 3, 8).ok()) << "bytes after a complete reply are ignored";

  EXPECT_EQ(CheckReadReply(Bytes(good.begin(), good.end() - 1), 3, 3, 8).fault, ReplyFault::TooShort);
  EXPECT_EQ(CheckReadReply(ReadReply(4, {1, 2, 3, 4, 5, 6, 7, 8}), 3, 3, 8).fault, ReplyFault::WrongStation);

  Bytes wrongFunction = good;
  wrongFunction[1] = 4;
  EXPECT_EQ(CheckReadReply(wrongFunction, 3, 3, 8).fault, ReplyFault::WrongFunction);

  Bytes wrongCount = good;
  wrongCount[2] = 15;
  EXPECT_EQ(CheckReadReply(wrongCount, 3, 3, 8).fault, ReplyFault::WrongByteCount);

  for (std::size_t i : {std::size_t{5}, good.size() - 1}) {
    Bytes corrupted = good;
    corrupted[i] ^= 0x01;
    EXPECT_EQ(CheckReadReply(corrupted, 3, 3, 8).fault, ReplyFault::BadCrc) << "byte " << i;
  }
}

TEST(FrameCodec, RecognisesExceptionReplies) {
  const Bytes exception = testing::ExceptionReply(3, 2);
  EXPECT_TRUE(IsExceptionReply(exception));
  const ReplyCheck check = CheckReadReply(exception, 3, 3, 8);
  EXPECT_EQ(check.fault, ReplyFault::Exception);
  EXPECT_EQ(check.exceptionCode, 2);
  EXPECT_EQ(CheckReadReply(exception, 5, 3, 8).fault, ReplyFault::WrongStation);

  Bytes damaged = exception;
  damaged[4] ^= 0xFF;
  EXPECT_FALSE(IsExceptionReply(damaged));
  EXPECT_EQ(CheckReadReply(damaged, 3, 3, 8).fault, ReplyFault::TooShort);
}

} // namespace
} // namespace trelvan
