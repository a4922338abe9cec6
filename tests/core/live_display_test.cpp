#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "core/catalogue.h"
#include "core/live_display.h"

namespace trelvan {
namespace {

using V = std::vector<ReadingValue>;

// A channel's label text and the numbers behind it, scaled as the label
// scales them, in the unit the range code or the reply gives. The common
// types, the caller's separator and the failure texts are read end to end
// in the poll command's and the poll cycle's tests.
TEST(LiveDisplay, LabelTextAndItsNumbersFollowTheTypesRule) {
  const struct {
    const char* name;
    int typeIndex;
    std::function<void(SharedResults&)> set; // on a temperature of 21.5
    std::string label;
    std::optional<V> values = std::nullopt; // none: not checked
  } cases[] = {
      {"unknown range: placeholder and no number", 0, [](SharedResults& r) { r.ResistivityRange = 0; },
       "  __   21.5 °C", V{{"main", std::nullopt, ""}, {"temperature", 21.5, "°C"}}},
      {"NaCl: a % pattern scales by 100", 8, [](SharedResults& r) { r.Temperature = 20, r.ConductivityRaw = 1234; },
       " 123.4  %     20.0  °C", V{{"main", 123.4, "%"}, {"temperature", 20, "°C"}}},
      {"oxygen: only the lowest bit of the unit selects the row", 4,
       [](SharedResults& r) { r.Temperature = 20, r.OxygenUnit = 0x10, r.OxygenRaw = 845; },
       "    084.5  %      20.0  °C", V{{"main", 84.5, "%"}, {"temperature", 20, "°C"}}},
      {"oxygen mg/l", 4, [](SharedResults& r) { r.Temperature = 20, r.OxygenUnit = 1, r.OxygenRaw = 845; },
       "    8.45  mg/l   20.0  °C", V{{"main", 8.45, "mg/l"}, {"temperature", 20, "°C"}}},
      {"458", 14,
       [](SharedResults& r) { r.Temperature = -2, r.MultiUnitPointCode = 4, r.MultiUnitUnit = "°C", r.MultiUnitRaw = 250; },
       " 250  °C     -2.0  °C"},
      {"731 with an unknown point code: placeholder, no unit", 15,
       [](SharedResults& r) { r.Temperature = -2, r.OxidantPointCode = 9, r.OxidantUnit = "ppm"; }, "  __       -2.0  °C"},
      {"C_TOR range 4 is shown undivided", 7,
       [](SharedResults& r) { r.Temperature = 20, r.ConductivityRange = 4, r.ConductivityRaw = 12; }, " 12  mS     20.0  °C"},
      {"conductivity range 4 is divided", 1,
       [](SharedResults& r) { r.Temperature = 20, r.ConductivityRange = 4, r.ConductivityRaw = 12; }, " 0.012  mS     20.0  °C"},
      {"chlorine", 6, [](SharedResults& r) { r.Temperature = 25, r.ChlorineValue = 0.5; }, "0.500 mg/l   25.0  °C"},
      {"flow: both counters on their own lines, digits that are no number shown as read", 5,
       [](SharedResults& r) {
         r.Temperature = 12.3, r.FlowRange = 10, r.FlowRate = 1234;
         r.FlowVolume1 = {123456, "00123456", true}, r.FlowVolume2 = {0, "0012A456", false};
       },
       "  12.34  m3/h    12.3  °C\r\n 123456   m3  \r\n 0012A456h   m3  ",
       V{{"main", 12.34, "m3/h"}, {"temperature", 12.3, "°C"}, {"day_volume", 123456, "m3"},
         {"total_volume", std::nullopt, "m3"}}},
      {"flow above 32767 is still positive", 5,
       [](SharedResults& r) { r.FlowRange = 30, r.FlowRate = 40000, r.FlowVolume1 = r.FlowVolume2 = {5, "00000005", true}; },
       "   40000  m3/h    21.5  °C\r\n 5   m3  \r\n 5   m3  "},
      {"R_862: a second value, no temperature", 13,
       [](SharedResults& r) {
         r.Temperature = 99, r.ResistivityRange = 6, r.ResistivityRaw = 1820, r.SecondResistivityRaw = 1795; },
       "18.20 MOhm\r\n17.95 MOhm", V{{"main", 18.2, "MOhm"}, {"second", 17.95, "MOhm"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SharedResults r;
    r.Temperature = 21.5;
    c.set(r);
    EXPECT_EQ(BuildLiveLabelText(c.typeIndex, r, "."), c.label);
    if (c.values) { EXPECT_EQ(LiveReadingValues(c.typeIndex, r), *c.values); }
  }
  EXPECT_EQ(BuildLiveLabelText(-1, SharedResults{}, "."), "");
}

} // namespace
} // namespace trelvan
