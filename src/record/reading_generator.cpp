#include "reading_generator.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace trelvan {

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kDayMs = 86400000.0;

std::string Fixed(double value, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
  return buf;
}

double Round(double value, int decimals) {
  const double f = std::pow(10.0, decimals);
  return std::round(value * f) / f;
}

} // namespace

ReadingGenerator::ReadingGenerator(std::int64_t startMs, int intervalMs, std::uint32_t seed)
    : timeMs_(startMs), intervalMs_(intervalMs), random_(seed) {}

std::vector<Reading> ReadingGenerator::NextPass() {
  ++pass_;
  const double phase = kTwoPi * static_cast<double>(timeMs_ % static_cast<std::int64_t>(kDayMs)) / kDayMs;
  std::vector<Reading> pass;
  for (int channel = 0; channel < 4; ++channel) pass.push_back(Make(channel, phase));
  timeMs_ += intervalMs_;
  return pass;
}

Reading ReadingGenerator::Make(int channel, double phase) {
  Reading r;
  r.timeMs = timeMs_ + 40 * channel; // each request takes a little time
  r.pass = pass_;
  r.channel = channel;
  r.station = channel + 1;
  r.block = Block::Master;
  static constexpr const char* kMarkers[] = {"Zulauf", "Becken 1", "Permeat", "Ablauf"};
  r.marker = kMarkers[channel];
  // About one request in 2000 finds its instrument silent.
  if (uniform_(random_) < 0.0005) {
    r.typeIndex = channel == 0 ? 2 : channel == 1 ? 1 : channel == 2 ? 0 : 5;
    r.type = channel == 0 ? "pH" : channel == 1 ? "Leitfähigkeit" : channel == 2 ? "Wiederderstand" : "Durchfluss";
    r.ok = false;
    r.failure = FailureKind::TimedOut;
    r.reason = "Station " + std::to_string(r.station) + " antwortet nicht (Zeitüberschreitung)";
    r.text = "Außer Betrieb";
    return r;
  }
  r.ok = true;
  const double temperature = Round(21.0 + 3.0 * std::sin(phase) + 0.1 * noise_(random_), 1);
  const std::string t = Fixed(temperature, 1);
  switch (channel) {
    case 0: {
      r.typeIndex = 2;
      r.type = "pH";
      const double ph = Round(7.2 + 0.4 * std::sin(phase * 3) + 0.02 * noise_(random_), 2);
      r.values = {{"main", ph, "pH"}, {"temperature", temperature, "°C"}};
      r.text = Fixed(ph, 2) + " pH    " + t + "  °C";
      break;
    }
    case 1: {
      r.typeIndex = 1;
      r.type = "Leitfähigkeit";
      const double us = 800 + 400 * std::sin(phase + 2) + 5 * noise_(random_); // µS
      if (us < 1000) {
        const double v = Round(us, 1);
        r.values = {{"main", v, "µS"}, {"temperature", temperature, "°C"}};
        r.text = " " + Fixed(v, 1) + "  µS     " + t + "  °C";
      } else {
        const double v = Round(us / 1000, 3);
        r.values = {{"main", v, "mS"}, {"temperature", temperature, "°C"}};
        r.text = " " + Fixed(v, 3) + "  mS     " + t + "  °C";
      }
      break;
    }
    case 2: {
      r.typeIndex = 0;
      r.type = "Wiederderstand";
      const double kohm = 900 + 300 * std::sin(phase * 2) + 3 * noise_(random_);
      if (kohm < 1000) {
        const double v = Round(kohm, 1);
        r.values = {{"main", v, "kOhm"}, {"temperature", temperature, "°C"}};
        r.text = Fixed(v, 1) + " kOhm " + t + " °C";
      } else {
        const double v = Round(kohm / 1000, 3);
        r.values = {{"main", v, "MOhm"}, {"temperature", temperature, "°C"}};
        r.text = Fixed(v, 3) + " MOhm " + t + " °C";
      }
      break;
    }
    default: {
      r.typeIndex = 5;
      r.type = "Durchfluss";
      const double rate = Round(std::max(0.0, 12 + 6 * std::sin(phase) + 0.2 * noise_(random_)), 2);
      totalVolume_ += rate * intervalMs_ / 3600000.0;
      const double day = std::floor(std::fmod(totalVolume_, 300));
      const double total = std::floor(totalVolume_);
      r.values = {{"main", rate, "m3/h"},
                  {"temperature", temperature, "°C"},
                  {"day_volume", day, "m3"},
                  {"total_volume", total, "m3"}};
      r.text = "  " + Fixed(rate, 2) + "  m3/h    " + t + "  °C\r\n " + Fixed(day, 0) + "   m3  \r\n " +
               Fixed(total, 0) + "   m3  ";
      break;
    }
  }
  return r;
}

} // namespace trelvan
