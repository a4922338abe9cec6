// The limits dialog writes what it checked into "trelvan.ini" and refuses
// rows that cannot work, saving nothing then.

#include <gtest/gtest.h>

#include <QLineEdit>

#include "live/limit_settings.h"
#include "support/scripted_prompter.h"
#include "support/temp_folder.h"
#include "ui/limits_dialog.h"
#include "widget_helpers.h"

namespace trelvan {
namespace {

using testing::Control;
using testing::ScriptedPrompter;
using testing::TempFolder;

TEST(LimitsDialog, SavesCheckedLimitsAndRefusesRowsThatCannotWork) {
  struct Case {
    const char *lower, *upper, *hysteresis, *unit;
    bool saved;
    ChannelLimits expected;
  };
  for (const Case& c : {
           Case{"6,5", "8.5", "0,1", "pH", true, {.lower = 6.5, .upper = 8.5, .hysteresis = 0.1, .unit = "pH"}},
           Case{"", "500", "", "", true, {.upper = 500}},
           Case{"", "", "", "", true, {}},
           Case{"abc", "8", "", "", false, {}},
           Case{"9", "8", "", "", false, {}},
           Case{"1", "2", "1", "", false, {}},
       }) {
    SCOPED_TRACE(std::string(c.lower) + " / " + c.upper + " / " + c.hysteresis);
    TempFolder dir;
    dir.write("trelvan.ini", "[Ports]\nCom1=/dev/ttyUSB0\n");
    ScriptedPrompter prompter;
    LimitsDialog dialog(dir.path(), ",", prompter);
    dialog.Start();
    Control<QLineEdit>(dialog, "Lower_2")->setText(c.lower);
    Control<QLineEdit>(dialog, "Upper_2")->setText(c.upper);
    Control<QLineEdit>(dialog, "Hysteresis_2")->setText(c.hysteresis);
    Control<QLineEdit>(dialog, "Unit_2")->setText(c.unit);
    EXPECT_EQ(dialog.Save(), c.saved);
    EXPECT_EQ(prompter.messages.size(), c.saved ? 0u : 1u);
    const LimitSettings loaded = LoadLimitSettings(dir.path());
    EXPECT_TRUE(loaded.problems.empty());
    EXPECT_EQ(loaded.limits[2], c.expected);
    EXPECT_NE(dir.read("trelvan.ini").find("Com1=/dev/ttyUSB0"), std::string::npos); // other groups stay
  }
}

TEST(LimitSettings, AFaultyChannelIsNamedAndLeftWithoutLimits) {
  TempFolder dir;
  dir.write("trelvan.ini", "[Limits]\nKanal0_oben=abc\nKanal1_unten=5\nKanal1_oben=7,5\nKanal3_unten=9\nKanal3_oben=1\n");
  const LimitSettings loaded = LoadLimitSettings(dir.path());
  ASSERT_EQ(loaded.problems.size(), 2u);
  EXPECT_NE(loaded.problems[0].find("Kanal 0"), std::string::npos);
  EXPECT_NE(loaded.problems[1].find("Kanal 3"), std::string::npos);
  EXPECT_FALSE(loaded.limits[0].active());
  EXPECT_EQ(loaded.limits[1], (ChannelLimits{.lower = 5, .upper = 7.5}));
  EXPECT_FALSE(loaded.limits[3].active());
}

} // namespace
} // namespace trelvan
