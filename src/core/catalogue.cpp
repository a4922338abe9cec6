#include "catalogue.h"

namespace trelvan {

namespace {

using enum UnitRule;
using RM = RequestMember;

// typeIndex | list label | type codes | display names | unit rule | request member
const std::array<MeasurementType, kMeasurementTypeCount> kCatalogue{{
    {0, "Wiederderstand", {"01"}, {"Wiederderstand"}, Resistivity, RM::Resistivity},
    {1, "Leitfähigkeit", {"02"}, {"Leitfähigkeit"}, Conductivity, RM::Conductivity},
    {2, "pH", {"03"}, {"pH"}, FixedPh, RM::Ph},
    {3, "Redox", {"04"}, {"Redox"}, FixedRedox, RM::Redox},
    {4, "Sauerstoff", {"05"}, {"Sauerstoff"}, Oxygen, RM::Oxygen},
    {5, "Durchfluss", {"06"}, {"Durchfluss"}, Flow, RM::Flow},
    {6, "Chlor", {"07"}, {"Chlor"}, FixedChlorine, RM::Chlorine},
    {7, "C_TOR", {"08"}, {"C_TOR"}, CTor, RM::Conductivity},
    {8, "NaCl", {"09"}, {"NaCl"}, FixedPercent, RM::Conductivity},
    {9, "NaOH", {"0:"}, {"NaOH"}, FixedPercent, RM::Conductivity},
    {10, "HCl", {"0;"}, {"HCl"}, FixedPercent, RM::Conductivity},
    {11, "H2SO4", {"0<"}, {"H2SO4"}, FixedPercent, RM::Conductivity},
    {12, "Trübung", {"0="}, {"Trübung"}, Turbidity, RM::Turbidity},
    {13, "R_862", {"0>"}, {"R_862"}, Resistivity, RM::DualResistivity},
    {14, "458     ", {"0?"}, {"458"}, MultiUnit, RM::MultiUnit},
    {15, "731     ",
     {"10", "11", "12", "13", "14", "15"},
     {"731 FREIES  CHLOR", "731 GESAMTCHLOR", "731 CHLORDIOXID", "731 OZON",
      "731 WASSERSTOFFPEROX", "731 PERESSIGSAURE "},
     None, RM::Oxidant},
}};

DecodedUnit Unknown() { return {"____", 1}; }

int DivisorFromLowNibble(int lowByte) {
  switch (lowByte & 0x0F) {
  case 1: return 1000;
  case 2: return 100;
  case 3: return 10;
  default: return 1;
  }
}

} // namespace

const std::array<MeasurementType, kMeasurementTypeCount>& MeasurementTypeCatalogue() {
  return kCatalogue;
}

const MeasurementType* MeasurementTypeAt(int typeIndex) {
  if (typeIndex < 0 || typeIndex >= kMeasurementTypeCount) return nullptr;
  return &kCatalogue[static_cast<std::size_t>(typeIndex)];
}

const MeasurementType* MeasurementTypeForCode(std::string_view code) {
  for (const auto& type : kCatalogue)
    for (auto c : type.typeCodes)
      if (c == code) return &type;
  return nullptr;
}

std::string TypeNameFromCode(std::string_view code) {
  for (const auto& type : kCatalogue)
    for (std::size_t i = 0; i < type.typeCodes.size(); ++i)
      if (type.typeCodes[i] == code) return std::string(type.displayNames[i]);
  return {};
}

DecodedUnit DecodeUnit(UnitRule rule, std::int16_t unitWord) {
  const int word = unitWord;
  switch (rule) {
  case Resistivity:
    switch (word) {
    case 1: return {"Ohm", 10};
    case 2: return {"kOhm", 1000};
    case 3: return {"kOhm", 100};
    case 4: return {"kOhm", 10};
    case 5: return {"MOhm", 1000};
    case 6: return {"MOhm", 100};
    case 7: return {"MOhm", 10};
    default: return Unknown();
    }
  case Conductivity:
    switch (word) {
    case 1: return {"µS", 1000};
    case 2: return {"µS", 100};
    case 3: return {"µS", 10};
    case 4: return {"mS", 1000};
    case 5: return {"mS", 100};
    default: return Unknown();
    }
  case CTor:
    switch (word) {
    case 1: return {"mS", 1000};
    case 2: return {"mS", 100};
    case 3: return {"mS", 10};
    case 4: return {"mS", 1000};
    default: return Unknown();
    }
  case Oxygen:
    return (word & 1) ? DecodedUnit{"mg/l", 100} : DecodedUnit{"%", 10};
  case Flow:
    switch (word) {
    case 0: return {"m3/h", 1000};
    case 10: return {"m3/h", 100};
    case 20: return {"m3/h", 10};
    case 30:
    case 31: return {"m3/h", 1};
    case 40: return {"m3/s", 1000};
    case 50: return {"m3/s", 100};
    default: return Unknown();
    }
  case Turbidity: {
    static constexpr std::array<std::string_view, 9> kUnits{
        "NTU", "FAU", "mg/l", "g/l", "FNU", "m", "cm", "%", ""};
    const int low = word & 0xFF;
    const int high = (low & 0xF0) >> 4;
    return {high < 9 ? std::string(kUnits[static_cast<std::size_t>(high)]) : "____",
            DivisorFromLowNibble(low)};
  }
  case MultiUnit: {
    static constexpr std::array<std::string_view, 8> kUnits{
        "m", "cm", "%", "ppm", "mg/l", "g/l", "", "°C"};
    const int low = word & 0xFF;
    const int high = (low & 0xF0) >> 4;
    return {high < 8 ? std::string(kUnits[static_cast<std::size_t>(high)]) : "____",
            DivisorFromLowNibble(low)};
  }
  case FixedPh: return {"pH", 100};
  case FixedRedox: return {"mV", 1};
  case FixedChlorine: return {"mg/l", 1000};
  case FixedPercent: return {"%", 10};
  case None: break;
  }
  return Unknown();
}

std::optional<std::string> ReplyUnitText(RequestMember member, int unitCode) {
  if (unitCode < 0 || unitCode > 0xF0 || (unitCode & 0x0F) != 0) return std::nullopt;
  auto fromRule = [&](UnitRule rule) -> std::optional<std::string> {
    DecodedUnit unit = DecodeUnit(rule, static_cast<std::int16_t>(unitCode));
    if (unit.unitText == Unknown().unitText) return std::nullopt;
    return std::move(unit.unitText);
  };
  switch (member) {
  case RM::Turbidity: return fromRule(Turbidity);
  case RM::MultiUnit: return fromRule(MultiUnit);
  case RM::Oxidant:
    if (unitCode == 0x00) return "ppm";
    if (unitCode == 0x10) return "g/l";
    return std::nullopt;
  default: return std::nullopt;
  }
}

} // namespace trelvan
