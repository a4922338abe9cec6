#include <gtest/gtest.h>

#include "core/catalogue.h"

namespace trelvan {
namespace {

// The list labels of the dialog and the names of the logger's type codes, in
// their exact spelling; all six 731 codes share the one list entry 15.
TEST(Catalogue, TypeCodesLeadToTheirEntryAndItsExactTexts) {
  const struct {
    const char* code;
    int typeIndex;
    const char* listLabel;
    const char* name;
  } cases[] = {
      {"01", 0, "Wiederderstand", "Wiederderstand"}, {"06", 5, "Durchfluss", "Durchfluss"},
      {"0:", 9, "NaOH", "NaOH"},                     {"0=", 12, "Trübung", "Trübung"},
      {"0>", 13, "R_862", "R_862"},                  {"0?", 14, "458     ", "458"},
      {"10", 15, "731     ", "731 FREIES  CHLOR"},   {"15", 15, "731     ", "731 PERESSIGSAURE "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    const MeasurementType* type = MeasurementTypeForCode(c.code);
    ASSERT_NE(type, nullptr);
    EXPECT_EQ(type->typeIndex, c.typeIndex);
    EXPECT_EQ(type->listLabel, c.listLabel);
    EXPECT_EQ(MeasurementTypeAt(c.typeIndex), type);
    EXPECT_EQ(TypeNameFromCode(c.code), c.name);
  }
  for (auto unknown : {"0A", "16", "1", "", "00", "01 ", "0a"})
    EXPECT_EQ(TypeNameFromCode(unknown), "") << unknown;
  for (int outside : {-1, 16}) EXPECT_EQ(MeasurementTypeAt(outside), nullptr) << outside;
}

// Only some bits of the unit word choose the unit; a word no rule knows gives
// "____". The common units are read in the label and logger export tests.
TEST(DecodeUnit, RulesGiveUnitAndDivisor) {
  const struct {
    UnitRule rule;
    int word;
    DecodedUnit expected;
  } cases[] = {
      {UnitRule::Resistivity, 8, {"____", 1}},     {UnitRule::CTor, 4, {"mS", 1000}},
      {UnitRule::CTor, 0, {"____", 1}},            {UnitRule::Flow, 50, {"m3/s", 100}},
      {UnitRule::Flow, -10, {"____", 1}},          {UnitRule::Turbidity, 0x0091, {"____", 1000}},
      {UnitRule::Turbidity, 0x0100, {"NTU", 1}},   {UnitRule::MultiUnit, 0x0080, {"____", 1}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(DecodeUnit(c.rule, static_cast<std::int16_t>(c.word)), c.expected)
        << static_cast<int>(c.rule) << " word " << c.word;
}

} // namespace
} // namespace trelvan
