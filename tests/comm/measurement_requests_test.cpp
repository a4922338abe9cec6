#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTimer>
#include <cmath>

#include "comm/fake_serial_line.h"
#include "comm/measurement_decoding.h"
#include "comm/measurement_requests.h"
#include "support/modbus_frames.h"

namespace trelvan {
namespace {

using testing::ReadReply;
using Registers = std::array<std::uint16_t, 8>;

SharedResults Decoded(RequestMember member, const Registers& registers, SharedResults before = {}) {
  DecodeMeasurement(member, ReadReply(1, registers), before);
  return before;
}

TEST(MeasurementDecoding, ScalesPhChlorineAndTemperature) {
  EXPECT_DOUBLE_EQ(Decoded(RequestMember::Ph, {0, 0, 0, 0x02BC, 0x00FA, 0, 0, 0}).PhValue, 7.00);
  EXPECT_DOUBLE_EQ(Decoded(RequestMember::Ph, {0, 0, 0, 0xFF9C, 0, 0, 0, 0}).PhValue, -1.00);
  EXPECT_DOUBLE_EQ(Decoded(RequestMember::Chlorine, {0, 0, 0, 0x01F4, 0, 0, 0, 0}).ChlorineValue, 0.5);
  EXPECT_DOUBLE_EQ(Decoded(RequestMember::Ph, {0, 0, 0, 0, 0x00FA, 0, 0, 0}).Temperature, 25.0);
  EXPECT_DOUBLE_EQ(Decoded(RequestMember::Redox, {0, 0, 0, 0xFF38, 0xFFEC, 0, 0, 0}).Temperature, -2.0);
  EXPECT_EQ(Decoded(RequestMember::Redox, {0, 0, 0, 0xFF38, 0, 0, 0, 0}).RedoxValue, -200);
}

TEST(MeasurementDecoding, RangeCodesAreTheLowByteOfRegisterZeroOnly) {
  const SharedResults r = Decoded(RequestMember::Resistivity, {0x7702, 0, 0, 1234, 215, 0, 0, 0});
  EXPECT_EQ(r.ResistivityRange, 2);
  EXPECT_EQ(r.ResistivityRaw, 1234);
  EXPECT_DOUBLE_EQ(r.Temperature, 21.5);
  const SharedResults c = Decoded(RequestMember::Conductivity, {0x00FF, 0, 0, 0x8000, 0, 0, 0, 0});
  EXPECT_EQ(c.ConductivityRange, 255);
  EXPECT_EQ(c.ConductivityRaw, -32768);
}

TEST(MeasurementDecoding, NegativeOxygenReadingIsStoredAsZero) {
  for (std::uint16_t word : {0x8000, 0x80FF, 0xFFFF}) {
    EXPECT_EQ(Decoded(RequestMember::Oxygen, {0x0001, 0, 0, word, 0, 0, 0, 0}).OxygenRaw, 0) << word;
  }
  const SharedResults r = Decoded(RequestMember::Oxygen, {0x0101, 0, 0, 0x7FFF, 0, 0, 0, 0});
  EXPECT_EQ(r.OxygenRaw, 32767);
  EXPECT_EQ(r.OxygenUnit, 1);
}

TEST(MeasurementDecoding, FlowRateIsUnsignedAndBothCountersAreRead) {
  const SharedResults r =
      Decoded(RequestMember::Flow, {0x001E, 0x3456, 0x0012, 0xFFFF, 0x00FA, 0, 0x0999, 0x0000});
  EXPECT_EQ(r.FlowRange, 30);
  EXPECT_EQ(r.FlowRate, 65535);
  EXPECT_EQ(r.FlowVolume1.value, 999);
  EXPECT_EQ(r.FlowVolume2.value, 123456);
  EXPECT_EQ(r.FlowVolume2.digits, "00123456");
  EXPECT_DOUBLE_EQ(r.Temperature, 25.0);
  EXPECT_EQ(Decoded(RequestMember::Flow, {0, 0, 0, 0x8000, 0, 0, 0, 0}).FlowRate, 32768);
}

TEST(MeasurementDecoding, CounterWithANonDecimalDigitIsMarkedNotInvented) {
  const SharedResults r = Decoded(RequestMember::Flow, {0, 0x0000, 0x0000, 0, 0, 0, 0x00FF, 0x1200});
  EXPECT_FALSE(r.FlowVolume1.valid);
  EXPECT_EQ(r.FlowVolume1.digits, "120000FF");
  EXPECT_TRUE(r.FlowVolume2.valid);
}

TEST(MeasurementDecoding, UnitCodesSetTheUnitTextOnlyWhenTheFamilyKnowsThem) {
  SharedResults before;
  before.TurbidityUnit = "alt";
  before.MultiUnitUnit = "alt";
  before.OxidantUnit = "alt";

  SharedResults r = Decoded(RequestMember::Turbidity, {0x0042, 0, 0, 1234, 0, 0, 0, 0}, before);
  EXPECT_EQ(r.TurbidityPointCode, 2);
  EXPECT_EQ(r.TurbidityUnit, "FNU");
  EXPECT_EQ(r.TurbidityRaw, 1234);
  r = Decoded(RequestMember::Turbidity, {0x0092, 0, 0, 0, 0, 0, 0, 0}, before);
  EXPECT_EQ(r.TurbidityPointCode, 2);
  EXPECT_EQ(r.TurbidityUnit, "alt");
  EXPECT_EQ(Decoded(RequestMember::Turbidity, {0x0080, 0, 0, 0, 0, 0, 0, 0}, before).TurbidityUnit, "");

  r = Decoded(RequestMember::MultiUnit, {0x0073, 0, 0, 0, 0, 0, 0, 0}, before);
  EXPECT_EQ(r.MultiUnitPointCode, 3);
  EXPECT_EQ(r.MultiUnitUnit, "°C");
  EXPECT_EQ(Decoded(RequestMember::MultiUnit, {0x0060, 0, 0, 0, 0, 0, 0, 0}, before).MultiUnitUnit, "");
  EXPECT_EQ(Decoded(RequestMember::MultiUnit, {0x0080, 0, 0, 0, 0, 0, 0, 0}, before).MultiUnitUnit, "alt");

  r = Decoded(RequestMember::Oxidant, {0x0021, 0, 0, 0, 0, 0, 0, 0}, before);
  EXPECT_EQ(r.OxidantPointCode, 1);
  EXPECT_EQ(r.OxidantUnit, "alt");
  EXPECT_EQ(Decoded(RequestMember::Oxidant, {0x0010, 0, 0, 0, 0, 0, 0, 0}, before).OxidantUnit, "g/l");
}

TEST(MeasurementDecoding, DualResistivityReadsASecondValueAndLeavesTemperatureAlone) {
  SharedResults before;
  before.Temperature = 19.5;
  const SharedResults r = Decoded(RequestMember::DualResistivity, {0x0006, 0, 0, 1805, 1760, 0, 0, 0}, before);
  EXPECT_EQ(r.ResistivityRange, 6);
  EXPECT_EQ(r.ResistivityRaw, 1805);
  EXPECT_EQ(r.SecondResistivityRaw, 1760);
  EXPECT_DOUBLE_EQ(r.Temperature, 19.5);
}

constexpr RequestMember kAllMembers[] = {
    RequestMember::Resistivity, RequestMember::Conductivity, RequestMember::Ph,
    RequestMember::Redox,       RequestMember::Oxygen,       RequestMember::Flow,
    RequestMember::Chlorine,    RequestMember::Turbidity,    RequestMember::DualResistivity,
    RequestMember::MultiUnit,   RequestMember::Oxidant};

// The requests on a fake line that answers like station 3, with short waits.
class Requests : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(line.Open(nullptr));
    requests.SetWaitTimes({100, 100});
    results.Temperature = 11.1;
    results.TurbidityUnit = "NTU";
  }

  FakeSerialLine line;
  SharedResults results;
  MeasurementRequests requests{line, results};
  const Bytes good = ReadReply(3, {0x0002, 0, 0, 700, 250, 0, 0, 0});
};

TEST_F(Requests, EveryMemberFlushesThenSendsTheSameRequest) {
  line.SetResponder([this](const Bytes&) { return FakeSerialLine::Answer{{2, good}}; });
  for (RequestMember member : kAllMembers) {
    EXPECT_TRUE(requests.Request(member, 3, 20)) << static_cast<int>(member);
  }
  ASSERT_EQ(line.written().size(), std::size(kAllMembers));
  for (const Bytes& frame : line.written()) {
    EXPECT_EQ(frame, (Bytes{0x03, 0x03, 0x00, 0x14, 0x00, 0x08, 0x05, 0xEA}));
  }
  for (std::size_t i = 0; i < line.operations().size(); ++i) {
    EXPECT_STREQ(line.operations()[i], i % 2 == 0 ? "flush" : "write");
  }

  EXPECT_TRUE(requests.RequestPh(3.4, 0));
  EXPECT_EQ(line.written().back(), (Bytes{0x03, 0x03, 0x00, 0x00, 0x00, 0x08, 0x45, 0xEE}));
  EXPECT_EQ(requests.lastError(), RequestError::None);
  EXPECT_DOUBLE_EQ(results.PhValue, 7.0);
}

TEST_F(Requests, LeftoverBytesOfAnEarlierReplyAreFlushedBeforeTheRequest) {
  line.Receive(Bytes(good.begin(), good.begin() + 15)); // the late half of an old reply
  line.AnswerNextWrite(good, 5);
  EXPECT_TRUE(requests.RequestPh(3, 0));
  EXPECT_DOUBLE_EQ(results.PhValue, 7.0);
}

// A Modbus reply does not say which registers it answers: the same station's
// reply to the block before looks just like the one awaited.
TEST_F(Requests, LateReplyAfterATimeOutIsNotTakenForTheNextRequestToTheSameStation) {
  line.StaySilentOnNextWrite();
  EXPECT_FALSE(requests.RequestPh(3, 0));
  ASSERT_EQ(requests.lastError(), RequestError::TimedOut);
  // The old reply turns up 10 ms after the time-out; the instrument answers
  // the next request, for its other block, 40 ms after it is sent.
  QTimer::singleShot(10, [&] { line.Receive(ReadReply(3, {0, 0, 0, 650, 250, 0, 0, 0})); });
  line.AnswerNextWrite(good, 40);
  EXPECT_TRUE(requests.RequestPh(3, 20)) << requests.lastErrorText().toStdString();
  EXPECT_DOUBLE_EQ(results.PhValue, 7.0);
}

TEST_F(Requests, BytesBehindABadReplyAreLetGoBeforeTheNextRequest) {
  // A foreign station's reply, and 5 ms behind it the one the station sent.
  line.AnswerNextWrite(FakeSerialLine::Answer{{0, ReadReply(4, {0, 0, 0, 600, 250, 0, 0, 0})},
                                              {5, ReadReply(3, {0, 0, 0, 650, 250, 0, 0, 0})}});
  EXPECT_FALSE(requests.RequestPh(3, 0));
  ASSERT_EQ(requests.lastError(), RequestError::BadReply);
  line.AnswerNextWrite(good, 20);
  EXPECT_TRUE(requests.RequestPh(3, 20)) << requests.lastErrorText().toStdString();
  EXPECT_DOUBLE_EQ(results.PhValue, 7.0);
}

TEST_F(Requests, ReplyWithTrailingBytesIsDecodedFromItsFirst21) {
  Bytes longer = good;
  longer.insert(longer.end(), {0xFF, 0xFF, 0xFF, 0xFF});
  line.AnswerNextWrite(longer, 5);
  EXPECT_TRUE(requests.RequestRedox(3, 0));
  EXPECT_EQ(results.RedoxValue, 700);
  EXPECT_DOUBLE_EQ(results.Temperature, 25.0);
}

struct BadReplyCase {
  const char* name;
  Bytes bytes;
  RequestError error;
};

TEST_F(Requests, AnyFaultyReplyFailsAndChangesNoResult) {
  Bytes badCrc = good;
  badCrc.back() ^= 0x01;
  Bytes wrongCount = good;
  wrongCount[2] = 14;
  const BadReplyCase cases[] = {
      {"foreign station", ReadReply(4, {0x0002, 0, 0, 700, 250, 0, 0, 0}), RequestError::BadReply},
      {"wrong CRC", badCrc, RequestError::BadReply},
      {"wrong byte count", wrongCount, RequestError::BadReply},
      {"exception", testing::ExceptionReply(3, 2), RequestError::Exception},
      {"short", Bytes(good.begin(), good.end() - 1), RequestError::TimedOut},
      {"silent", Bytes{}, RequestError::TimedOut},
  };
  const SharedResults before = results;
  for (const BadReplyCase& c : cases) {
    for (RequestMember member : {RequestMember::Ph, RequestMember::Flow}) {
      if (c.bytes.empty()) line.StaySilentOnNextWrite();
      else line.AnswerNextWrite(c.bytes, 5);
      QElapsedTimer clock;
      clock.start();
      EXPECT_FALSE(requests.Request(member, 3, 0)) << c.name;
      EXPECT_EQ(requests.lastError(), c.error) << c.name;
      EXPECT_TRUE(requests.lastErrorText().contains("Station 3")) << c.name;
      if (c.error != RequestError::TimedOut) {
        EXPECT_LT(clock.elapsed(), 80) << c.name << " fails at once";
      }
    }
    EXPECT_EQ(results, before) << c.name;
  }
}

TEST_F(Requests, AddressOrBlockOutsideTheProtocolIsNotSent) {
  const SharedResults before = results;
  for (double address : {0.0, -1.0, 247.6, 300.0, std::nan("")}) {
    EXPECT_FALSE(requests.RequestPh(address, 0)) << address;
    EXPECT_EQ(requests.lastError(), RequestError::NotSent);
  }
  for (double base : {-1.0, 65529.0, 1e9}) {
    EXPECT_FALSE(requests.RequestPh(3, base)) << base;
    EXPECT_EQ(requests.lastError(), RequestError::NotSent);
  }
  EXPECT_TRUE(line.written().empty());
  EXPECT_EQ(line.flushCount(), 0);
  EXPECT_EQ(results, before);

  line.AnswerNextWrite(ReadReply(247, {0, 0, 0, 1, 0, 0, 0, 0}), 2);
  EXPECT_TRUE(requests.RequestRedox(247.4, 0)) << "rounds to 247, the last station address";
}

TEST_F(Requests, ClosedPortFailsWithoutWriting) {
  line.Close();
  EXPECT_FALSE(requests.RequestPh(3, 0));
  EXPECT_EQ(requests.lastError(), RequestError::PortClosed);
  EXPECT_TRUE(line.written().empty());
}

} // namespace
} // namespace trelvan
