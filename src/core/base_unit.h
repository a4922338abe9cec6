#pragma once
// One unit per measured quantity, so that a range change of the instrument
// (kOhm to MOhm, µS to mS) does not make a jump in a trend, an average or a
// limit check. The base unit depends on the unit family, and for µS/mS on the
// type: conductivity counts in µS, C_TOR (always shown in mS) in mS.

#include <string>
#include <string_view>

namespace trelvan {

struct BaseValue {
  double value = 0;
  std::string unit; // UTF-8
  bool operator==(const BaseValue&) const = default;
};

// `value` in `unit`, as a reading of `typeIndex` gives it, converted into its
// family's base unit:
//   Ohm, kOhm, MOhm   -> kOhm      m3/h, m3/s -> m3/h
//   µS, mS            -> µS (C_TOR: mS)
//   mg/l, g/l         -> mg/l      cm, m      -> cm
// Any other unit ("pH", "mV", "%", "°C", "m3", "NTU", …) is its own base unit.
BaseValue ToBaseUnit(int typeIndex, double value, std::string_view unit);

// The base unit `unit` converts to for `typeIndex` (the unit itself when it
// has no family).
std::string BaseUnitOf(int typeIndex, std::string_view unit);

} // namespace trelvan
