// Limit alarms: raised beyond a limit, cleared only past the hysteresis.

#include <gtest/gtest.h>

#include "core/limits.h"

namespace trelvan {
namespace {

Reading Main(double value, const char* unit = "kOhm", bool ok = true) {
  Reading r;
  r.channel = 1;
  r.typeIndex = 0; // resistivity: kOhm and MOhm compare in kOhm
  r.ok = ok;
  if (ok) r.values = {{"main", value, unit}};
  return r;
}

TEST(LimitWatch, RaisesBeyondALimitAndClearsPastTheHysteresis) {
  LimitTable limits;
  limits[1] = {.lower = 100, .upper = 500, .hysteresis = 10, .unit = "kOhm"};
  LimitWatch watch(limits, ",");
  // Each step: a reading, the alarm state it gets, and the events it causes
  // ("+H" the upper limit raised, "-L" the lower one cleared).
  const std::vector<std::tuple<Reading, AlarmState, std::string>> steps{
      {Main(500), AlarmState::None, ""}, // on the limit is within
      {Main(0.5001, "MOhm"), AlarmState::High, "+H"},
      {Main(495), AlarmState::High, ""},               // inside the hysteresis band
      {Main(0, "kOhm", false), AlarmState::None, ""},  // a failed reading holds the alarm
      {Main(499), AlarmState::High, ""},
      {Main(490), AlarmState::None, "-H"},
      {Main(99.9), AlarmState::Low, "+L"},
      {Main(109.9), AlarmState::Low, ""},
      {Main(600), AlarmState::High, "-L+H"},
      {Main(50, "%"), AlarmState::None, ""},            // another unit is not compared
      {Main(300), AlarmState::None, "-H"},
  };
  for (std::size_t k = 0; k < steps.size(); ++k) {
    Reading r = std::get<0>(steps[k]);
    std::string events;
    for (const AlarmEvent& e : watch.Evaluate(r)) {
      events += std::string(e.raised ? "+" : "-") + (e.state == AlarmState::High ? "H" : "L");
      EXPECT_EQ(e.channel, 1);
    }
    EXPECT_EQ(r.alarm, std::get<1>(steps[k])) << "step " << k;
    EXPECT_EQ(events, std::get<2>(steps[k])) << "step " << k;
  }
  Reading high = Main(1, "MOhm");
  const auto raised = watch.Evaluate(high);
  ASSERT_EQ(raised.size(), 1u);
  EXPECT_EQ(raised[0].value, 1000);
  EXPECT_EQ(raised[0].limit, 500);
  EXPECT_EQ(raised[0].text, "Kanal 1: oberer Grenzwert überschritten: 1000 kOhm (Grenze 500 kOhm)");

  // A limit that is removed clears its alarm with the next reading.
  limits[1].upper.reset();
  watch.SetLimits(limits);
  Reading still = Main(1, "MOhm");
  EXPECT_EQ(watch.Evaluate(still).size(), 1u);
  EXPECT_EQ(still.alarm, AlarmState::None);
}

TEST(LimitWatch, LimitsThatCannotWorkAreRefused) {
  EXPECT_EQ(LimitsProblem({.lower = 1, .upper = 2, .hysteresis = 0.5}), std::nullopt);
  EXPECT_EQ(LimitsProblem({.upper = 2, .hysteresis = 5}), std::nullopt);
  for (const ChannelLimits& bad : {ChannelLimits{.lower = 2, .upper = 2}, ChannelLimits{.lower = 1, .upper = 2, .hysteresis = 1},
                                   ChannelLimits{.upper = 2, .hysteresis = -1}})
    EXPECT_NE(LimitsProblem(bad), std::nullopt);
}

} // namespace
} // namespace trelvan
