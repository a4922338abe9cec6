#pragma once
// The catalogue of the sixteen measurement types: the shared vocabulary of the
// configuration dialog (list labels, typeIndex), the logger export (type codes,
// display names, unit rules) and the live measurement (request member, live rule).

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace trelvan {

// How the logger export turns a channel's unit word into a unit text and a divisor.
enum class UnitRule {
  None,          // 731 series: no rule; the export shows raw values
  Resistivity,
  Conductivity,
  CTor,
  Oxygen,
  Flow,
  Turbidity,
  MultiUnit,
  FixedPh,       // "pH", 100
  FixedRedox,    // "mV", 1
  FixedChlorine, // "mg/l", 1000
  FixedPercent,  // "%", 10
};

// The member of the request family that reads an instrument of the type live.
enum class RequestMember {
  Resistivity,
  Conductivity,
  Ph,
  Redox,
  Oxygen,
  Flow,
  Chlorine,
  Turbidity,
  DualResistivity,
  MultiUnit,
  Oxidant,
};

struct MeasurementType {
  int typeIndex;
  std::string_view listLabel;
  std::vector<std::string_view> typeCodes;    // logger type codes, in code order
  std::vector<std::string_view> displayNames; // one per type code
  UnitRule unitRule;
  RequestMember requestMember;
};

inline constexpr int kMeasurementTypeCount = 16;
inline constexpr int kFlowTypeIndex = 5;
inline constexpr int kRedoxTypeIndex = 3;
inline constexpr int kDualResistivityTypeIndex = 13;

// The sixteen entries in list order; entry i has typeIndex i.
const std::array<MeasurementType, kMeasurementTypeCount>& MeasurementTypeCatalogue();

// Entry for a typeIndex, or nullptr outside 0..15.
const MeasurementType* MeasurementTypeAt(int typeIndex);

// Entry that logs under a type code, or nullptr for an unknown code.
const MeasurementType* MeasurementTypeForCode(std::string_view code);

// Display name of a logger type code; the empty text for an unknown code.
// The comparison is exact in case and length.
std::string TypeNameFromCode(std::string_view code);

struct DecodedUnit {
  std::string unitText; // UTF-8
  int divisor;          // 1, 10, 100 or 1000
  bool operator==(const DecodedUnit&) const = default;
};

// Logger unit rule: the raw logged value divided by the divisor is the value in
// the unit. A word the rule does not know gives "____" and divisor 1.
DecodedUnit DecodeUnit(UnitRule rule, std::int16_t unitWord);

// The unit text of a live reply's unit code (the high nibble of register 0's
// low byte: 0x00, 0x10, ... 0xF0) for the instrument families that report
// their unit with each reading: turbidity and 458 as their logger unit rules
// name them, 731 "ppm" and "g/l". Nothing for a code the family does not
// know, and for every other family.
std::optional<std::string> ReplyUnitText(RequestMember member, int unitCode);

} // namespace trelvan
