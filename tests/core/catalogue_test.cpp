#include <gtest/gtest.h>

#include "core/catalogue.h"

namespace trelvan {
namespace {

TEST(Catalogue, ListLabelsKeepTheirExactSpelling) {
  const auto& c = MeasurementTypeCatalogue();
  EXPECT_EQ(c[0].listLabel, "Wiederderstand");
  EXPECT_EQ(c[12].listLabel, "Trübung");
  EXPECT_EQ(c[14].listLabel, "458     ");
  EXPECT_EQ(c[15].listLabel, "731     ");
  for (int i = 0; i < kMeasurementTypeCount; ++i) EXPECT_EQ(c[static_cast<std::size_t>(i)].typeIndex, i);
}

TEST(Catalogue, TypeCodesNameTheirTypeExactly) {
  EXPECT_EQ(TypeNameFromCode("01"), "Wiederderstand");
  EXPECT_EQ(TypeNameFromCode("06"), "Durchfluss");
  EXPECT_EQ(TypeNameFromCode("0:"), "NaOH");
  EXPECT_EQ(TypeNameFromCode("0="), "Trübung");
  EXPECT_EQ(TypeNameFromCode("0>"), "R_862");
  EXPECT_EQ(TypeNameFromCode("0?"), "458");
  EXPECT_EQ(TypeNameFromCode("10"), "731 FREIES  CHLOR");
  EXPECT_EQ(TypeNameFromCode("15"), "731 PERESSIGSAURE ");
  for (auto unknown : {"0A", "16", "1", "", "00", "01 ", "0a"})
    EXPECT_EQ(TypeNameFromCode(unknown), "") << unknown;
  // All six 731 variants map to the one catalogue entry 15.
  for (auto code : {"10", "11", "12", "13", "14", "15"})
    EXPECT_EQ(MeasurementTypeForCode(code)->typeIndex, 15);
}

TEST(Catalogue, RequestMembersServeTheirTypes) {
  for (int t : {1, 7, 8, 9, 10, 11})
    EXPECT_EQ(MeasurementTypeAt(t)->requestMember, RequestMember::Conductivity);
  EXPECT_EQ(MeasurementTypeAt(13)->requestMember, RequestMember::DualResistivity);
  EXPECT_EQ(MeasurementTypeAt(16), nullptr);
  EXPECT_EQ(MeasurementTypeAt(-1), nullptr);
}

struct UnitCase {
  UnitRule rule;
  int word;
  DecodedUnit expected;
};

TEST(DecodeUnit, RulesGiveUnitAndDivisor) {
  const UnitCase cases[] = {
      {UnitRule::Resistivity, 1, {"Ohm", 10}},     {UnitRule::Resistivity, 5, {"MOhm", 1000}},
      {UnitRule::Resistivity, 8, {"____", 1}},     {UnitRule::Conductivity, 1, {"µS", 1000}},
      {UnitRule::Conductivity, 5, {"mS", 100}},    {UnitRule::Conductivity, 6, {"____", 1}},
      {UnitRule::CTor, 4, {"mS", 1000}},           {UnitRule::CTor, 0, {"____", 1}},
      // Oxygen: only the lowest bit counts.
      {UnitRule::Oxygen, 2, {"%", 10}},            {UnitRule::Oxygen, 3, {"mg/l", 100}},
      {UnitRule::Flow, 31, {"m3/h", 1}},           {UnitRule::Flow, 50, {"m3/s", 100}},
      {UnitRule::Flow, 15, {"____", 1}},           {UnitRule::Flow, -10, {"____", 1}},
      // Turbidity: only the low byte counts; divisor from the low nibble.
      {UnitRule::Turbidity, 0x0083, {"", 10}},     {UnitRule::Turbidity, 0x0091, {"____", 1000}},
      {UnitRule::Turbidity, 0x0100, {"NTU", 1}},   {UnitRule::Turbidity, 0x0042, {"FNU", 100}},
      {UnitRule::MultiUnit, 0x0072, {"°C", 100}},  {UnitRule::MultiUnit, 0x0061, {"", 1000}},
      {UnitRule::MultiUnit, 0x0080, {"____", 1}},
      {UnitRule::FixedPh, 99, {"pH", 100}},        {UnitRule::FixedRedox, 0, {"mV", 1}},
      {UnitRule::FixedChlorine, 0, {"mg/l", 1000}}, {UnitRule::FixedPercent, 7, {"%", 10}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(DecodeUnit(c.rule, static_cast<std::int16_t>(c.word)), c.expected)
        << static_cast<int>(c.rule) << " word " << c.word;
}

} // namespace
} // namespace trelvan
