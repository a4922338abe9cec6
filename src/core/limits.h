#pragma once
// Limit alarms: per channel an optional lower and upper limit for the main
// value, with a hysteresis, so a value hovering at a limit does not raise and
// clear an alarm on every pass.
//
//   raise High   when value >  upper            clear High when value <= upper - hysteresis
//   raise Low    when value <  lower            clear Low  when value >= lower + hysteresis
//
// Values are compared in the family's base unit (core/base_unit.h), so a
// resistivity limit of 500 kOhm holds whether the instrument reads in kOhm or
// MOhm. A failed reading, or one whose main value is unknown, leaves the
// alarm as it is (no event) and carries no `alarm` itself: there is no value
// that could be outside.

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "core/reading.h"

namespace trelvan {

struct ChannelLimits {
  std::optional<double> lower{};
  std::optional<double> upper{};
  double hysteresis = 0;
  // The base unit the limits are given in; a reading whose main value comes
  // in another unit (oxygen switched from % to mg/l) is not checked. Empty:
  // any unit.
  std::string unit{};

  bool active() const { return lower.has_value() || upper.has_value(); }
  bool operator==(const ChannelLimits&) const = default;
};

inline constexpr int kLimitChannels = 4;
using LimitTable = std::array<ChannelLimits, kLimitChannels>;

// The German reason these limits cannot be used (lower not below upper, a
// negative hysteresis, a hysteresis that reaches across the band, a number
// that is not finite), or nothing when they can.
std::optional<std::string> LimitsProblem(const ChannelLimits& limits);

class LimitWatch {
 public:
  explicit LimitWatch(LimitTable limits = {}, std::string decimalSeparator = ".");

  // New limits take effect with each channel's next reading; an alarm whose
  // limit was removed is cleared then.
  void SetLimits(const LimitTable& limits) { limits_ = limits; }
  const LimitTable& limits() const { return limits_; }

  // Sets reading.alarm and returns the events this reading causes: none, a
  // raise, a clear, or a clear and a raise when the value jumps from above the
  // upper limit to below the lower one.
  std::vector<AlarmEvent> Evaluate(Reading& reading);

  AlarmState State(int channel) const;

 private:
  AlarmEvent Event(const Reading& reading, bool raised, AlarmState which, double value,
                   const std::string& unit) const;

  LimitTable limits_;
  std::string separator_;
  std::array<AlarmState, kLimitChannels> states_{};
};

} // namespace trelvan
