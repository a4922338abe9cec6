// A reply to a measurement request as it arrives from the line, then what the
// poll cycle does with it: validation, decoding by every member of the request
// family and the label text of every measurement type.
//
// Input: [0] the station the request went to, [1] options, then the reply.
// Option bit 0 seals the reply: its bytes 19 and 20 become the CRC of the 19
// before them, so that the decoding is reached without guessing a CRC. Bit 1
// picks the decimal comma.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "comm/frame_codec.h"
#include "comm/measurement_decoding.h"
#include "core/catalogue.h"
#include "core/live_display.h"
#include "core/picture_format.h"
#include "fuzz_check.h"

using namespace trelvan;

namespace {

constexpr RequestMember kMembers[] = {
    RequestMember::Resistivity, RequestMember::Conductivity, RequestMember::Ph,
    RequestMember::Redox,       RequestMember::Oxygen,       RequestMember::Flow,
    RequestMember::Chlorine,    RequestMember::Turbidity,    RequestMember::DualResistivity,
    RequestMember::MultiUnit,   RequestMember::Oxidant,
};

void CheckCounter(const BcdCounter& c) {
  FUZZ_CHECK(c.digits.size() == 8, "a counter keeps eight digits");
  bool decimal = true;
  for (char d : c.digits) decimal = decimal && d >= '0' && d <= '9';
  FUZZ_CHECK(c.valid == decimal, "a counter is valid exactly when its digits are decimal");
  FUZZ_CHECK(c.value == (decimal ? std::strtod(c.digits.c_str(), nullptr) : 0.0),
             "a counter's value is its digits, or 0 when it has none");
}

void CheckResults(const SharedResults& r) {
  FUZZ_CHECK(r.Temperature >= -3276.8 && r.Temperature <= 3276.7, "temperature from one register");
  FUZZ_CHECK(r.OxygenRaw >= 0 && r.OxygenRaw <= 32767, "oxygen is never negative");
  FUZZ_CHECK(r.FlowRate >= 0 && r.FlowRate <= 65535, "flow rate is one unsigned register");
  if (!r.FlowVolume1.digits.empty()) CheckCounter(r.FlowVolume1);
  if (!r.FlowVolume2.digits.empty()) CheckCounter(r.FlowVolume2);
}

// Every pattern the live rules print with.
std::vector<std::string_view> AllPatterns() {
  std::vector<std::string_view> patterns{"#0.00 MOhm", " #######0   m3  "};
  for (int t = 0; t < kMeasurementTypeCount; ++t) {
    const LiveDisplayRule* rule = LiveDisplayRuleFor(t);
    for (const RangeRow& row : rule->rows) patterns.push_back(row.pattern);
    if (!rule->fixedPattern.empty()) patterns.push_back(rule->fixedPattern);
    if (!rule->unknownRangePattern.empty()) patterns.push_back(rule->unknownRangePattern);
    if (rule->temperaturePattern) patterns.push_back(*rule->temperaturePattern);
  }
  return patterns;
}

// Any double, not only the ones a reply decodes to: the picture format must
// print it, and a plain pattern must print a number that reads back to it.
void CheckPicture(double value, std::string_view sep) {
  static const std::vector<std::string_view> patterns = AllPatterns();
  for (std::string_view pattern : patterns) FormatPicture(value, pattern, sep);
  if (!std::isfinite(value) || std::fabs(value) > 1e30) return;
  const std::string text = FormatPicture(value, "0.000");
  char* end = nullptr;
  const double back = std::strtod(text.c_str(), &end);
  FUZZ_CHECK(end == text.c_str() + text.size(), "a plain pattern prints a plain number");
  FUZZ_CHECK(std::fabs(back - value) <= 0.0005 + std::fabs(value) * 1e-15,
             "the printed number is the value rounded to the pattern's places");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const int station = data[0];
  const std::uint8_t options = data[1];
  // A buffer of exactly the reply's size, so that a read past it is caught.
  std::vector<std::uint8_t> reply(data + 2, data + size);
  if ((options & 1) && reply.size() >= kMeasurementReplyLength) {
    const Bytes crc = ComputeCrc(ByteView(reply).first(kMeasurementReplyLength - 2));
    reply[kMeasurementReplyLength - 2] = crc[0];
    reply[kMeasurementReplyLength - 1] = crc[1];
  }
  const std::string_view sep = (options & 2) ? "," : ".";

  if (reply.size() >= 3 + sizeof(double)) {
    double value;
    std::memcpy(&value, reply.data() + 3, sizeof value);
    CheckPicture(value, sep);
  }

  const ReplyCheck check = CheckReadReply(reply, station, kReadHoldingRegisters,
                                          kMeasurementRegisterCount);
  if (check.fault == ReplyFault::Exception) {
    FUZZ_CHECK(IsExceptionReply(reply), "an exception reply is one");
    FUZZ_CHECK(check.exceptionCode == reply[2], "the exception code is the reply's");
    return 0;
  }
  if (!check.ok()) return 0;
  FUZZ_CHECK(reply.size() >= kMeasurementReplyLength, "an accepted reply is complete");
  FUZZ_CHECK(reply[0] == station && reply[1] == kReadHoldingRegisters && reply[2] == 16,
             "an accepted reply echoes the request");
  FUZZ_CHECK(CrcMatches(ByteView(reply).first(kMeasurementReplyLength)),
             "an accepted reply carries its CRC");

  // As the poll cycle does: one shared value, each member overwriting its
  // fields, the label built right after the request of the channel's type.
  SharedResults shared;
  for (RequestMember member : kMembers) {
    DecodeMeasurement(member, reply, shared);
    CheckResults(shared);
    for (const MeasurementType& type : MeasurementTypeCatalogue()) {
      if (type.requestMember != member) continue;
      FUZZ_CHECK(!BuildLiveLabelText(type.typeIndex, shared, sep).empty(), "a label shows something");
    }
  }
  for (int t = 0; t < kMeasurementTypeCount; ++t) BuildLiveLabelText(t, shared, sep);
  return 0;
}
