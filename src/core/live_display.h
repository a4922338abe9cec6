#pragma once
// The live display rules: how the value label of a channel is built from the
// shared results of a successful request, per measurement type.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "reading.h"
#include "shared_results.h"

namespace trelvan {

// Where a rule takes its main value and range code from.
enum class LiveValue {
  ResistivityRaw, ConductivityRaw, PhValue, RedoxValue, OxygenRaw, FlowRate,
  ChlorineValue, TurbidityRaw, MultiUnitRaw, OxidantRaw,
};
enum class LiveRange {
  None, ResistivityRange, ConductivityRange, OxygenUnitLowBit, FlowRange,
  TurbidityPointCode, MultiUnitPointCode, OxidantPointCode,
};
enum class LiveUnit { None, TurbidityUnit, MultiUnitUnit, OxidantUnit };
enum class LiveExtra { None, FlowVolumes, SecondResistivity };

struct RangeRow {
  int code;
  int divisor;
  std::string_view pattern; // for unit-from-reply tables, the number part only
};

struct LiveDisplayRule {
  LiveValue mainValue;
  LiveRange rangeCode;
  std::vector<RangeRow> rows;          // empty: fixed divisor and pattern below
  int fixedDivisor = 1;
  std::string_view fixedPattern;
  std::string_view unknownRangePattern; // UnknownRangePattern
  LiveUnit unitFromReply = LiveUnit::None; // the pattern ends with this unit text
  std::optional<std::string_view> separator;          // none: no temperature
  std::optional<std::string_view> temperaturePattern;
  LiveExtra extraLines = LiveExtra::None;
};

// The rule of a typeIndex 0..15; nullptr otherwise.
const LiveDisplayRule* LiveDisplayRuleFor(int typeIndex);

// The value label text of a channel of typeIndex after a successful request:
// value, separator, temperature and extra lines, lines joined by CR LF.
// Returns the empty text for a typeIndex without a rule.
std::string BuildLiveLabelText(int typeIndex, const SharedResults& results,
                               std::string_view decimalSeparator);

// The numbers the value label of a channel of typeIndex shows, computed as
// the label scales them: the main value (flow: the rate) divided by its
// range's divisor, times 100 under a "%" pattern, in the unit the range
// gives; the temperature; the second value of R_862; flow's day and total
// volume. A main value whose range code is unknown (the label shows 0), and
// a counter whose digits are no number, have no number. Names: value_name.
std::vector<ReadingValue> LiveReadingValues(int typeIndex, const SharedResults& results);

// Whether the results can come from an instrument of the type: the type's
// rule has a row for their range code and, where the type shows a unit from
// the reply, the unit code is one it knows. A type without a range code has
// nothing that rules it out.
bool RangeCodeFits(int typeIndex, const SharedResults& results);

// Text shown in a channel's label when its request fails.
std::string_view FailureText(int typeIndex);

} // namespace trelvan
