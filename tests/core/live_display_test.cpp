#include <gtest/gtest.h>

#include "core/live_display.h"

namespace trelvan {
namespace {

constexpr int kResistivity = 0, kConductivity = 1, kPh = 2, kRedox = 3, kOxygen = 4,
              kFlow = 5, kChlorine = 6, kCTor = 7, kNaCl = 8, kTurbidity = 12, kR862 = 13,
              k458 = 14, k731 = 15;

SharedResults WithTemperature(double t) {
  SharedResults r;
  r.Temperature = t;
  return r;
}

TEST(LiveDisplay, ResistivityRangesAndUnknownRange) {
  auto r = WithTemperature(21.5);
  r.ResistivityRange = 2;
  r.ResistivityRaw = 1234;
  EXPECT_EQ(BuildLiveLabelText(kResistivity, r, "."), "1.234 kOhm 21.5 °C");
  r.ResistivityRange = 0;
  EXPECT_EQ(BuildLiveLabelText(kResistivity, r, "."), "  __   21.5 °C");
  r.ResistivityRange = 1;
  r.ResistivityRaw = 5;
  EXPECT_EQ(BuildLiveLabelText(kResistivity, r, ","), "0,5 Ohm 21,5 °C");
}

TEST(LiveDisplay, PercentPatternsScaleByHundred) {
  auto r = WithTemperature(20);
  r.ConductivityRaw = 1234;
  EXPECT_EQ(BuildLiveLabelText(kNaCl, r, "."), " 123.4  %     20.0  °C");
  r.OxygenUnit = 0x10; // only the lowest bit selects the row
  r.OxygenRaw = 1000;
  EXPECT_EQ(BuildLiveLabelText(kOxygen, r, ".").substr(0, 15), "    100.0  %   ");
  r.OxygenUnit = 1;
  r.OxygenRaw = 845;
  EXPECT_EQ(BuildLiveLabelText(kOxygen, r, "."), "    8.45  mg/l   20.0  °C");
}

TEST(LiveDisplay, UnitTextFromTheReplyFollowsThePointCodePattern) {
  auto r = WithTemperature(-2);
  r.TurbidityPointCode = 2;
  r.TurbidityUnit = "NTU";
  r.TurbidityRaw = 1234;
  EXPECT_EQ(BuildLiveLabelText(kTurbidity, r, "."), " 12.34  NTU     -2.0  °C");
  r.MultiUnitPointCode = 4;
  r.MultiUnitUnit = "°C";
  r.MultiUnitRaw = 250;
  EXPECT_EQ(BuildLiveLabelText(k458, r, "."), " 250  °C     -2.0  °C");
  r.OxidantPointCode = 9; // unknown point code: placeholder, no unit
  r.OxidantUnit = "ppm";
  EXPECT_EQ(BuildLiveLabelText(k731, r, "."), "  __       -2.0  °C");
}

TEST(LiveDisplay, CTorRangeFourIsShownUndivided) {
  auto r = WithTemperature(20);
  r.ConductivityRange = 4;
  r.ConductivityRaw = 12;
  EXPECT_EQ(BuildLiveLabelText(kCTor, r, ".").substr(0, 7), " 12  mS");
  EXPECT_EQ(BuildLiveLabelText(kConductivity, r, ".").substr(0, 10), " 0.012  mS");
}

TEST(LiveDisplay, UnscaledTypes) {
  auto r = WithTemperature(25);
  r.PhValue = 7.0;
  r.RedoxValue = -120;
  r.ChlorineValue = 0.5;
  EXPECT_EQ(BuildLiveLabelText(kPh, r, "."), "7.00 pH     25.0  °C");
  EXPECT_EQ(BuildLiveLabelText(kRedox, r, "."), "-120 mV     25.0  °C");
  EXPECT_EQ(BuildLiveLabelText(kChlorine, r, "."), "0.500 mg/l   25.0  °C");
}

TEST(LiveDisplay, FlowShowsBothCountersOnTheirOwnLines) {
  auto r = WithTemperature(12.3);
  r.FlowRange = 10;
  r.FlowRate = 1234;
  r.FlowVolume1 = {123456, "00123456", true};
  r.FlowVolume2 = {999, "00000999", true};
  EXPECT_EQ(BuildLiveLabelText(kFlow, r, "."),
            "  12.34  m3/h    12.3  °C\r\n 123456   m3  \r\n 999   m3  ");
  // Above 32767 the rate is still a positive reading.
  r.FlowRange = 30;
  r.FlowRate = 40000;
  EXPECT_EQ(BuildLiveLabelText(kFlow, r, ".").substr(0, 14), "   40000  m3/h");
}

TEST(LiveDisplay, CounterThatIsNotBcdShowsItsDigitsNotANumber) {
  auto r = WithTemperature(10);
  r.FlowRange = 0;
  r.FlowVolume1 = {0, "0012A456", false};
  r.FlowVolume2 = {5, "00000005", true};
  const auto text = BuildLiveLabelText(kFlow, r, ".");
  EXPECT_NE(text.find("\r\n 0012A456h   m3  \r\n"), std::string::npos) << text;
}

TEST(LiveDisplay, DualResistivityHasNoTemperature) {
  auto r = WithTemperature(99);
  r.ResistivityRange = 6;
  r.ResistivityRaw = 1820;
  r.SecondResistivityRaw = 1795;
  EXPECT_EQ(BuildLiveLabelText(kR862, r, "."), "18.20 MOhm\r\n17.95 MOhm");
}

TEST(LiveDisplay, FailureTexts) {
  EXPECT_EQ(FailureText(kRedox), "Out of order");
  EXPECT_EQ(FailureText(kPh), "Außer Betrieb");
  EXPECT_EQ(BuildLiveLabelText(-1, SharedResults{}, "."), "");
}

} // namespace
} // namespace trelvan
