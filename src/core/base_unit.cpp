#include "base_unit.h"

#include <array>

namespace trelvan {

namespace {

constexpr int kCTorTypeIndex = 7;

struct Conversion {
  std::string_view unit;
  std::string_view base;
  double factor; // value in unit * factor = value in base
};

// "µ" is the micro sign U+00B5 as the live patterns print it; the Greek mu
// U+03BC that an instrument's reply might carry counts the same.
constexpr std::array<Conversion, 11> kConversions{{
    {"Ohm", "kOhm", 0.001},
    {"kOhm", "kOhm", 1},
    {"MOhm", "kOhm", 1000},
    {"\u00B5S", "\u00B5S", 1},
    {"\u03BCS", "\u00B5S", 1},
    {"mS", "\u00B5S", 1000},
    {"m3/h", "m3/h", 1},
    {"m3/s", "m3/h", 3600},
    {"mg/l", "mg/l", 1},
    {"g/l", "mg/l", 1000},
    {"m", "cm", 100},
}};

Conversion Find(int typeIndex, std::string_view unit) {
  if (typeIndex == kCTorTypeIndex) {
    if (unit == "mS") return {unit, "mS", 1};
    if (unit == "\u00B5S" || unit == "\u03BCS") return {unit, "mS", 0.001};
  }
  if (unit == "cm") return {unit, "cm", 1};
  for (const Conversion& c : kConversions)
    if (c.unit == unit) return c;
  return {unit, unit, 1};
}

} // namespace

BaseValue ToBaseUnit(int typeIndex, double value, std::string_view unit) {
  const Conversion c = Find(typeIndex, unit);
  return {value * c.factor, std::string(c.base)};
}

std::string BaseUnitOf(int typeIndex, std::string_view unit) {
  return std::string(Find(typeIndex, unit).base);
}

} // namespace trelvan
