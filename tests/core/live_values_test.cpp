#include <gtest/gtest.h>

#include <functional>

#include "core/live_display.h"

namespace trelvan {
namespace {

using V = std::vector<ReadingValue>;

struct ValuesCase {
  const char* name;
  int typeIndex;
  std::function<void(SharedResults&)> set;
  V expected;
};

// The numbers behind a label, scaled as the label scales them, with the unit
// the range code gives for this reading.
TEST(LiveReadingValues, AreTheLabelsNumbersInTheirUnits) {
  const ValuesCase cases[] = {
      {"resistivity kOhm", 0, [](SharedResults& r) { r.ResistivityRange = 2; r.ResistivityRaw = 1234; },
       {{"main", 1.234, "kOhm"}, {"temperature", 21.5, "°C"}}},
      {"resistivity MOhm", 0, [](SharedResults& r) { r.ResistivityRange = 7; r.ResistivityRaw = 182; },
       {{"main", 18.2, "MOhm"}, {"temperature", 21.5, "°C"}}},
      {"unknown range: the label shows 0", 0, [](SharedResults& r) { r.ResistivityRange = 0; },
       {{"main", std::nullopt, ""}, {"temperature", 21.5, "°C"}}},
      {"oxygen under a % pattern", 4, [](SharedResults& r) { r.OxygenUnit = 0; r.OxygenRaw = 845; },
       {{"main", 84.5, "%"}, {"temperature", 21.5, "°C"}}},
      {"oxygen mg/l", 4, [](SharedResults& r) { r.OxygenUnit = 1; r.OxygenRaw = 845; },
       {{"main", 8.45, "mg/l"}, {"temperature", 21.5, "°C"}}},
      {"NaCl", 8, [](SharedResults& r) { r.ConductivityRaw = 1234; },
       {{"main", 123.4, "%"}, {"temperature", 21.5, "°C"}}},
      {"pH", 2, [](SharedResults& r) { r.PhValue = 7.02; }, {{"main", 7.02, "pH"}, {"temperature", 21.5, "°C"}}},
      {"flow: rate, day and total volume", 5,
       [](SharedResults& r) {
         r.FlowRange = 10;
         r.FlowRate = 1234;
         r.FlowVolume1 = {999, "00000999", true};
         r.FlowVolume2 = {0, "120000FF", false};
       },
       {{"main", 12.34, "m3/h"}, {"temperature", 21.5, "°C"}, {"day_volume", 999, "m3"},
        {"total_volume", std::nullopt, "m3"}}},
      {"R_862: a second value, no temperature", 13,
       [](SharedResults& r) { r.ResistivityRange = 6; r.ResistivityRaw = 1805; r.SecondResistivityRaw = 1760; },
       {{"main", 18.05, "MOhm"}, {"second", 17.6, "MOhm"}}},
      {"turbidity: the unit the reply names", 12,
       [](SharedResults& r) { r.TurbidityPointCode = 2; r.TurbidityUnit = "FNU"; r.TurbidityRaw = 1234; },
       {{"main", 12.34, "FNU"}, {"temperature", 21.5, "°C"}}},
  };
  for (const ValuesCase& c : cases) {
    SharedResults r;
    r.Temperature = 21.5;
    c.set(r);
    EXPECT_EQ(LiveReadingValues(c.typeIndex, r), c.expected) << c.name;
  }
}

} // namespace
} // namespace trelvan
