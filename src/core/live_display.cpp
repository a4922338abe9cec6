#include "live_display.h"

#include <algorithm>
#include <array>

#include "catalogue.h"
#include "picture_format.h"
#include "texts.h"
#include "trim.h"

namespace trelvan {

namespace {

constexpr std::string_view kUnknown = " ##### __  ";
constexpr std::string_view kTemp = "###0.0  °C";
constexpr std::string_view kVolume = " #######0   m3  ";
constexpr std::string_view kSecondPattern = "#0.00 MOhm";

const std::vector<RangeRow> kTableR{
    {1, 10, "##0.0 Ohm"},   {2, 1000, "0.000 kOhm"}, {3, 100, "#0.00 kOhm"},
    {4, 10, "##0.0 kOhm"},  {5, 1000, "0.000 MOhm"}, {6, 100, "#0.00 MOhm"},
    {7, 10, "##0.0 MOhm"},
};
const std::vector<RangeRow> kTableC{
    {1, 1000, " 0.000  µS"}, {2, 100, " #0.00  µS"}, {3, 10, " ##0.0  µS"},
    {4, 1000, " 0.000  mS"}, {5, 100, " #0.00  mS"},
};
// The live rule shows C_TOR range 4 undivided; the logger rule divides it by 1000.
const std::vector<RangeRow> kTableT{
    {1, 1000, " 0.000  mS"}, {2, 100, " #0.00  mS"}, {3, 10, " ##0.0  mS"}, {4, 1, " 0  mS"},
};
// With the "%" place, range 0 shows the raw value / 10 with one decimal.
const std::vector<RangeRow> kTableO{
    {0, 1000, "    000.0  %   "}, {1, 100, "    #0.00  mg/l"},
};
const std::vector<RangeRow> kTableF{
    {0, 1000, "  0.000  m3/h"}, {10, 100, "  #0.00  m3/h"}, {20, 10, "  ##0.0  m3/h"},
    {30, 1, "   ###0  m3/h"},   {31, 1, "   ###0  m3/h"},   {40, 1000, "  0.000  m3/s"},
    {50, 100, "  #0.00  m3/s"},
};
// Point code tables: the unit text of the reply follows the number part.
const std::vector<RangeRow> kTableP{
    {1, 1000, " 0.000  "}, {2, 100, " #0.00  "}, {3, 10, " ##0.0  "}, {4, 1, " ####0  "},
};

using V = LiveValue;
using R = LiveRange;
using U = LiveUnit;
using E = LiveExtra;

const std::array<LiveDisplayRule, kMeasurementTypeCount> kRules{{
    // 0 resistivity
    {V::ResistivityRaw, R::ResistivityRange, kTableR, 1, {}, kUnknown, U::None, " ", "###0.0 °C", E::None},
    // 1 conductivity
    {V::ConductivityRaw, R::ConductivityRange, kTableC, 1, {}, kUnknown, U::None, "     ", kTemp, E::None},
    // 2 pH, unscaled
    {V::PhValue, R::None, {}, 1, "###0.00 pH   ", {}, U::None, "  ", kTemp, E::None},
    // 3 redox, unscaled
    {V::RedoxValue, R::None, {}, 1, "###0 mV   ", {}, U::None, "  ", kTemp, E::None},
    // 4 oxygen
    {V::OxygenRaw, R::OxygenUnitLowBit, kTableO, 1, {}, kUnknown, U::None, "   ", kTemp, E::None},
    // 5 flow: value and temperature, then the two volume counters
    {V::FlowRate, R::FlowRange, kTableF, 1, {}, "  ##### __  ", U::None, "    ", kTemp, E::FlowVolumes},
    // 6 chlorine, unscaled
    {V::ChlorineValue, R::None, {}, 1, "###0.000 mg/l ", {}, U::None, "  ", kTemp, E::None},
    // 7 C_TOR
    {V::ConductivityRaw, R::ConductivityRange, kTableT, 1, {}, kUnknown, U::None, "     ", kTemp, E::None},
    // 8..11 NaCl, NaOH, HCl, H2SO4
    {V::ConductivityRaw, R::None, {}, 1000, " ##0.0  %", {}, U::None, "     ", kTemp, E::None},
    {V::ConductivityRaw, R::None, {}, 1000, " ##0.0  %", {}, U::None, "     ", kTemp, E::None},
    {V::ConductivityRaw, R::None, {}, 1000, " ##0.0  %", {}, U::None, "     ", kTemp, E::None},
    {V::ConductivityRaw, R::None, {}, 1000, " ##0.0  %", {}, U::None, "     ", kTemp, E::None},
    // 12 turbidity
    {V::TurbidityRaw, R::TurbidityPointCode, kTableP, 1, {}, kUnknown, U::TurbidityUnit, "     ", kTemp, E::None},
    // 13 R_862: no temperature; the second resistivity on line 2
    {V::ResistivityRaw, R::ResistivityRange, kTableR, 1, {}, kUnknown, U::None, std::nullopt, std::nullopt, E::SecondResistivity},
    // 14 458
    {V::MultiUnitRaw, R::MultiUnitPointCode, kTableP, 1, {}, kUnknown, U::MultiUnitUnit, "     ", kTemp, E::None},
    // 15 731
    {V::OxidantRaw, R::OxidantPointCode, kTableP, 1, {}, kUnknown, U::OxidantUnit, "     ", kTemp, E::None},
}};

double MainValue(LiveValue v, const SharedResults& r) {
  switch (v) {
  case V::ResistivityRaw: return r.ResistivityRaw;
  case V::ConductivityRaw: return r.ConductivityRaw;
  case V::PhValue: return r.PhValue;
  case V::RedoxValue: return r.RedoxValue;
  case V::OxygenRaw: return r.OxygenRaw;
  case V::FlowRate: return r.FlowRate;
  case V::ChlorineValue: return r.ChlorineValue;
  case V::TurbidityRaw: return r.TurbidityRaw;
  case V::MultiUnitRaw: return r.MultiUnitRaw;
  case V::OxidantRaw: return r.OxidantRaw;
  }
  return 0;
}

int RangeCode(LiveRange range, const SharedResults& r) {
  switch (range) {
  case R::None: return 0;
  case R::ResistivityRange: return r.ResistivityRange;
  case R::ConductivityRange: return r.ConductivityRange;
  case R::OxygenUnitLowBit: return r.OxygenUnit & 1;
  case R::FlowRange: return r.FlowRange;
  case R::TurbidityPointCode: return r.TurbidityPointCode;
  case R::MultiUnitPointCode: return r.MultiUnitPointCode;
  case R::OxidantPointCode: return r.OxidantPointCode;
  }
  return 0;
}

std::string_view UnitText(LiveUnit unit, const SharedResults& r) {
  switch (unit) {
  case U::None: return {};
  case U::TurbidityUnit: return r.TurbidityUnit;
  case U::MultiUnitUnit: return r.MultiUnitUnit;
  case U::OxidantUnit: return r.OxidantUnit;
  }
  return {};
}

// How the main value is scaled: the row of its range code, or the fixed
// divisor and pattern; nothing for a range code the table does not list.
struct Scaling {
  int divisor;
  std::string_view pattern;
};

std::optional<Scaling> ScalingOf(const LiveDisplayRule& rule, const SharedResults& r) {
  if (rule.rows.empty()) return Scaling{rule.fixedDivisor, rule.fixedPattern};
  const int code = RangeCode(rule.rangeCode, r);
  const RangeRow* row = nullptr;
  for (const auto& candidate : rule.rows)
    if (candidate.code == code) row = &candidate;
  if (!row) return std::nullopt;
  return Scaling{row->divisor, row->pattern};
}

// The unit a pattern prints after its number: "0.000 kOhm" -> "kOhm".
std::string PatternUnit(std::string_view pattern) {
  const std::size_t last = pattern.find_last_of("0#.");
  return std::string(Trim(last == std::string_view::npos ? pattern : pattern.substr(last + 1)));
}

// A counter that is not BCD shows its raw hexadecimal digits marked with "h",
// never a number that the instrument did not send.
std::string VolumeText(const BcdCounter& counter, std::string_view sep) {
  if (counter.valid) return FormatPicture(counter.value, kVolume, sep);
  return " " + counter.digits + "h   m3  ";
}

} // namespace

const LiveDisplayRule* LiveDisplayRuleFor(int typeIndex) {
  if (typeIndex < 0 || typeIndex >= kMeasurementTypeCount) return nullptr;
  return &kRules[static_cast<std::size_t>(typeIndex)];
}

std::string BuildLiveLabelText(int typeIndex, const SharedResults& r,
                               std::string_view sep) {
  const LiveDisplayRule* rule = LiveDisplayRuleFor(typeIndex);
  if (!rule) return {};

  double value = MainValue(rule->mainValue, r);
  std::string pattern;
  if (const std::optional<Scaling> scaling = ScalingOf(*rule, r)) {
    value /= scaling->divisor;
    pattern = scaling->pattern;
    pattern += UnitText(rule->unitFromReply, r);
  } else {
    value = 0;
    pattern = rule->unknownRangePattern;
  }

  std::string text = FormatPicture(value, pattern, sep);
  if (rule->separator && rule->temperaturePattern) {
    text += *rule->separator;
    text += FormatPicture(r.Temperature, *rule->temperaturePattern, sep);
  }
  switch (rule->extraLines) {
  case E::None: break;
  case E::FlowVolumes:
    text += "\r\n" + VolumeText(r.FlowVolume1, sep);
    text += "\r\n" + VolumeText(r.FlowVolume2, sep);
    break;
  case E::SecondResistivity:
    text += "\r\n" + FormatPicture(r.SecondResistivityRaw / 100.0, kSecondPattern, sep);
    break;
  }
  return text;
}

std::vector<ReadingValue> LiveReadingValues(int typeIndex, const SharedResults& r) {
  const LiveDisplayRule* rule = LiveDisplayRuleFor(typeIndex);
  if (!rule) return {};
  std::vector<ReadingValue> values;
  ReadingValue main{std::string(value_name::kMain), std::nullopt, {}};
  if (const std::optional<Scaling> scaling = ScalingOf(*rule, r)) {
    const bool percent = scaling->pattern.find('%') != std::string_view::npos;
    main.number = MainValue(rule->mainValue, r) * (percent ? 100 : 1) / scaling->divisor;
    main.unit = rule->unitFromReply == U::None ? PatternUnit(scaling->pattern)
                                                : std::string(UnitText(rule->unitFromReply, r));
  }
  values.push_back(std::move(main));
  if (rule->separator && rule->temperaturePattern) {
    values.push_back({std::string(value_name::kTemperature), r.Temperature, PatternUnit(*rule->temperaturePattern)});
  }
  auto counter = [](const BcdCounter& c) { return c.valid ? std::optional<double>(c.value) : std::nullopt; };
  switch (rule->extraLines) {
  case E::None: break;
  case E::FlowVolumes:
    // The label's second line is counter 1, "Tages Volumen"; its third counter 2.
    values.push_back({std::string(value_name::kDayVolume), counter(r.FlowVolume1), PatternUnit(kVolume)});
    values.push_back({std::string(value_name::kTotalVolume), counter(r.FlowVolume2), PatternUnit(kVolume)});
    break;
  case E::SecondResistivity:
    values.push_back({std::string(value_name::kSecond), r.SecondResistivityRaw / 100.0, PatternUnit(kSecondPattern)});
    break;
  }
  return values;
}

bool RangeCodeFits(int typeIndex, const SharedResults& r) {
  const LiveDisplayRule* rule = LiveDisplayRuleFor(typeIndex);
  if (!rule) return false;
  if (rule->rows.empty()) return true;
  // The display reads only the oxygen unit's low bit, so any code would pass
  // that way; an oxygen instrument sends 0 or 1.
  const int code = rule->rangeCode == R::OxygenUnitLowBit ? r.OxygenUnit : RangeCode(rule->rangeCode, r);
  const bool known = std::any_of(rule->rows.begin(), rule->rows.end(),
                                 [code](const RangeRow& row) { return row.code == code; });
  return known && (rule->unitFromReply == U::None || !UnitText(rule->unitFromReply, r).empty());
}

std::string_view FailureText(int typeIndex) {
  return typeIndex == kRedoxTypeIndex ? core_texts::kOutOfOrderRedox : core_texts::kOutOfOrder;
}

} // namespace trelvan
