#include <gtest/gtest.h>

#include <optional>

#include "core/station_address.h"

namespace trelvan {
namespace {

TEST(StationAddress, ThePollCycleAsksTheLeadingNumberAndTheDialogTakesOnlyOneToFourteen) {
  const struct {
    const char* text;
    std::optional<int> station; // what the poll cycle asks
    bool configurable;          // what the dialog takes
  } cases[] = {
      {"1", 1, true},     {"14", 14, true},      {"03", 3, true},     {" 7 ", 7, true},     {"3.0", 3, true},
      {"15", 15, false},  {"247", 247, false},   {"248", {}, false},  {"0", {}, false},     {"", {}, false},
      {"  ", {}, false},  {"abc", {}, false},    {"3abc", 3, false},  {"2.6", 3, false},    {"3.5", 4, false},
      {"-3", {}, false},  {"+5", 5, false},      {"1e1", 1, false},   {"99999999999999999999", {}, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StationNumber(c.text), c.station) << '"' << c.text << '"';
    EXPECT_EQ(IsConfigurableStationAddress(c.text), c.configurable) << '"' << c.text << '"';
  }
}

} // namespace
} // namespace trelvan
