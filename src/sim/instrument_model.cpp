#include "instrument_model.h"

#include <cmath>
#include <numbers>

namespace trelvan::sim {

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

// A reading around `centre`: a slow swing of `swing` over about a minute and a
// ripple of a tenth of it, phase-shifted per instrument so no two move alike.
int Reading(const SimInstrument& instrument, double t, double centre, double swing) {
  const double phase = instrument.station * 0.7 + instrument.registerBase * 0.13;
  const double slow = std::sin(kTwoPi * t / 60.0 + phase);
  const double ripple = std::sin(kTwoPi * t / 7.3 + 2 * phase);
  return static_cast<int>(std::lround(centre + swing * slow + swing * 0.1 * ripple));
}

std::uint16_t Word(int value) { return static_cast<std::uint16_t>(value & 0xFFFF); }

} // namespace

std::array<std::uint16_t, 2> BcdRegisters(std::uint32_t value) {
  std::uint32_t bcd = 0;
  for (int digit = 0; digit < 8; ++digit) {
    bcd |= (value % 10) << (4 * digit);
    value /= 10;
  }
  return {static_cast<std::uint16_t>(bcd >> 16), static_cast<std::uint16_t>(bcd & 0xFFFF)};
}

RegisterBlock RegistersAt(const SimInstrument& instrument, double t, double counterSpeed) {
  if (instrument.fixedRegisters) return *instrument.fixedRegisters;
  RegisterBlock r{};
  // Water at about 21.5 °C, in tenths of a degree.
  r[4] = Word(Reading(instrument, t, 215, 15));
  switch (instrument.member) {
    case RequestMember::Resistivity:
      r[0] = 6;                                        // #0.00 MOhm, raw / 100
      r[3] = Word(Reading(instrument, t, 1790, 25));   // about 17.90 MOhm
      break;
    case RequestMember::Conductivity:
      if (instrument.typeIndex == 7) {                 // C_TOR
        r[0] = 2;                                      // #0.00 mS, raw / 100
        r[3] = Word(Reading(instrument, t, 1250, 40)); // about 12.50 mS
      } else if (instrument.typeIndex >= 8) {          // NaCl, NaOH, HCl, H2SO4
        r[0] = 4;
        r[3] = Word(Reading(instrument, t, 25, 3));    // about 2.5 %
      } else {
        r[0] = 3;                                      // ##0.0 µS, raw / 10
        r[3] = Word(Reading(instrument, t, 4520, 150)); // about 452.0 µS
      }
      break;
    case RequestMember::Ph:
      r[3] = Word(Reading(instrument, t, 712, 15));    // pH about 7.12
      break;
    case RequestMember::Redox:
      r[3] = Word(Reading(instrument, t, 285, 20));    // about 285 mV
      break;
    case RequestMember::Oxygen:
      r[0] = 1;                                        // mg/l, raw / 100
      r[3] = Word(Reading(instrument, t, 845, 30));    // about 8.45 mg/l
      break;
    case RequestMember::Flow: {
      r[0] = 10;                                       // #0.00 m3/h, raw / 100
      const double centre = 1250, swing = 150;         // about 12.50 m3/h
      r[3] = Word(Reading(instrument, t, centre, swing));
      // Volume in m3: the integral of the slow part of the rate over the
      // (sped-up) time; rate / 100 is m3/h.
      const double phase = instrument.station * 0.7 + instrument.registerBase * 0.13;
      const double w = kTwoPi / 60.0;
      const double integral = centre * t + swing / w * (std::cos(phase) - std::cos(w * t + phase));
      const auto flowed = static_cast<std::uint32_t>(integral / 100.0 / 3600.0 * counterSpeed);
      const auto volume1 = BcdRegisters(1234 + static_cast<std::uint32_t>(instrument.station) * 10 + flowed);
      const auto volume2 = BcdRegisters(4567890 + flowed);
      r[7] = volume1[0];
      r[6] = volume1[1];
      r[2] = volume2[0];
      r[1] = volume2[1];
      break;
    }
    case RequestMember::Chlorine:
      r[3] = Word(Reading(instrument, t, 480, 40));    // about 0.480 mg/l
      break;
    case RequestMember::Turbidity:
      r[0] = 0x02;                                     // point code 2, unit NTU
      r[3] = Word(Reading(instrument, t, 125, 20));    // about 1.25 NTU
      break;
    case RequestMember::DualResistivity:
      r[0] = 6;                                        // #0.00 MOhm
      r[3] = Word(Reading(instrument, t, 1805, 10));
      r[4] = Word(Reading(instrument, t + 11, 1760, 12)); // second value, MOhm * 100
      break;
    case RequestMember::MultiUnit:
      r[0] = 0x42;                                     // point code 2, unit mg/l
      r[3] = Word(Reading(instrument, t, 845, 25));
      break;
    case RequestMember::Oxidant:
      r[0] = 0x01;                                     // point code 1, unit ppm
      r[3] = Word(Reading(instrument, t, 450, 30));    // about 0.450 ppm
      break;
  }
  return r;
}

} // namespace trelvan::sim
