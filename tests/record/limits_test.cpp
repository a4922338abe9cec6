// Limit alarms: raised beyond a limit, cleared only past the hysteresis.

#include <gtest/gtest.h>

#include "core/limits.h"

namespace trelvan {
namespace {

// Type 0, resistivity: kOhm and MOhm compare in kOhm.
Reading Main(double value, const char* unit = "kOhm", bool ok = true) {
  return {.channel = 1, .typeIndex = 0, .type = "", .marker = "", .ok = ok, .reason = "",
          .values = ok ? std::vector<ReadingValue>{{"main", value, unit}} : std::vector<ReadingValue>{}, .text = ""};
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
  int step = 0;
  for (auto [r, state, expected] : steps) {
    std::string events;
    for (const AlarmEvent& e : watch.Evaluate(r)) {
      events += std::string(e.raised ? "+" : "-") + (e.state == AlarmState::High ? "H" : "L");
      EXPECT_EQ(e.channel, 1);
    }
    EXPECT_EQ(std::pair(r.alarm, events), std::pair(state, expected)) << "step " << step++;
  }
  Reading high = Main(1, "MOhm");
  EXPECT_EQ(watch.Evaluate(high), (std::vector<AlarmEvent>{{0, 1, true, AlarmState::High, 1000, 500, "kOhm",
      "Kanal 1: oberer Grenzwert überschritten: 1000 kOhm (Grenze 500 kOhm)"}}));

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
