#include "limits.h"

#include <cmath>
#include <utility>

#include "core/base_unit.h"
#include "core/reading_json.h"

namespace trelvan {

namespace {

std::string Number(double value, const std::string& separator, const std::string& unit) {
  std::string text = JsonNumber(value);
  if (const auto point = text.find('.'); point != std::string::npos) text.replace(point, 1, separator);
  return unit.empty() ? text : text + " " + unit;
}

bool Finite(const std::optional<double>& v) { return !v || std::isfinite(*v); }

} // namespace

std::optional<std::string> LimitsProblem(const ChannelLimits& l) {
  if (!Finite(l.lower) || !Finite(l.upper) || !std::isfinite(l.hysteresis))
    return "Grenzwerte müssen Zahlen sein.";
  if (l.hysteresis < 0) return "Die Hysterese darf nicht negativ sein.";
  if (l.lower && l.upper) {
    if (*l.lower >= *l.upper) return "Der untere Grenzwert muss kleiner als der obere sein.";
    if (l.hysteresis >= *l.upper - *l.lower)
      return "Die Hysterese muss kleiner als der Abstand der Grenzwerte sein.";
  }
  return std::nullopt;
}

LimitWatch::LimitWatch(LimitTable limits, std::string decimalSeparator)
    : limits_(std::move(limits)), separator_(std::move(decimalSeparator)) {}

AlarmState LimitWatch::State(int channel) const {
  return channel >= 0 && channel < kLimitChannels ? states_[static_cast<std::size_t>(channel)]
                                                  : AlarmState::None;
}

AlarmEvent LimitWatch::Event(const Reading& r, bool raised, AlarmState which, double value,
                             const std::string& unit) const {
  const ChannelLimits& l = limits_[static_cast<std::size_t>(r.channel)];
  AlarmEvent e;
  e.timeMs = r.timeMs;
  e.channel = r.channel;
  e.raised = raised;
  e.state = which;
  e.value = value;
  e.limit = which == AlarmState::High ? l.upper.value_or(0) : l.lower.value_or(0);
  e.unit = unit;
  const std::string what =
      which == AlarmState::High
          ? (raised ? "oberer Grenzwert überschritten" : "wieder unter dem oberen Grenzwert")
          : (raised ? "unterer Grenzwert unterschritten" : "wieder über dem unteren Grenzwert");
  e.text = "Kanal " + std::to_string(r.channel) + ": " + what + ": " + Number(value, separator_, unit) +
           " (Grenze " + Number(e.limit, separator_, unit) + ")";
  return e;
}

std::vector<AlarmEvent> LimitWatch::Evaluate(Reading& r) {
  r.alarm = AlarmState::None;
  if (r.channel < 0 || r.channel >= kLimitChannels) return {};
  const auto ch = static_cast<std::size_t>(r.channel);
  const ChannelLimits& l = limits_[ch];
  AlarmState& state = states_[ch];
  const ReadingValue* main = r.Value(value_name::kMain);
  if (!r.ok || !main || !main->number) return {};
  const BaseValue v = ToBaseUnit(r.typeIndex, *main->number, main->unit);
  if (!l.unit.empty() && l.unit != v.unit) return {};

  std::vector<AlarmEvent> events;
  // Leaving an alarm needs the hysteresis; a limit that is gone clears it.
  if (state == AlarmState::High && !(l.upper && v.value > *l.upper - l.hysteresis)) {
    events.push_back(Event(r, false, AlarmState::High, v.value, v.unit));
    state = AlarmState::None;
  } else if (state == AlarmState::Low && !(l.lower && v.value < *l.lower + l.hysteresis)) {
    events.push_back(Event(r, false, AlarmState::Low, v.value, v.unit));
    state = AlarmState::None;
  }
  if (state == AlarmState::None) {
    if (l.upper && v.value > *l.upper) state = AlarmState::High;
    else if (l.lower && v.value < *l.lower) state = AlarmState::Low;
    if (state != AlarmState::None) events.push_back(Event(r, true, state, v.value, v.unit));
  }
  r.alarm = state;
  return events;
}

} // namespace trelvan
