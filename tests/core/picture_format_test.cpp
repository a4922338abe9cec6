#include <gtest/gtest.h>

#include <clocale>

#include "core/picture_format.h"

namespace trelvan {
namespace {

TEST(FormatPicture, RendersTheSystemsPatternsRoundingHalfAwayFromZeroOnTheDecimalValue) {
  const struct {
    double value;
    const char* pattern;
    const char* expected;
  } cases[] = {
      {1.234, "0.000 kOhm", "1.234 kOhm"}, {12345, " #######0   m3  ", " 12345   m3  "}, {1.234, " ##0.0  %", " 123.4  %"},
      {0, " ##### __  ", "  __  "},       {5, "    000.0  %   ", "    500.0  %   "},  {-2, "###0.0  °C", "-2.0  °C"},
      {0.5, "#.00", ".50"}, {0, "#####", ""}, // all-# integer places print nothing for 0
      {123456, "0.0", "123456.0"}, {7, "000", "007"}, // digit places are a minimum, never a maximum
      {0.125, "0.00", "0.13"}, {-0.125, "0.00", "-0.13"}, {2.5, "0", "3"}, {9.995, "0.00", "10.00"},
      {1.005, "0.00", "1.01"},  // 1.005 is 1.00499.. in binary
      {0.0125, "0.0%", "1.3%"}, // the x100 is exact too
      {-0.04, "0.0", "0.0"},    // no minus sign on a shown zero
  };
  for (const auto& c : cases)
    EXPECT_EQ(FormatPicture(c.value, c.pattern), c.expected) << c.value << " '" << c.pattern << "'";
}

TEST(FormatPicture, SeparatorIsAParameterAndIgnoresTheProcessLocale) {
  EXPECT_EQ(FormatPicture(7.25, "0.00", ","), "7,25");
  const char* old = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = old ? old : "C";
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") || std::setlocale(LC_NUMERIC, "C.UTF-8")) {
    EXPECT_EQ(FormatPicture(7.25, "0.00", "."), "7.25");
  }
  std::setlocale(LC_NUMERIC, saved.c_str());
}

} // namespace
} // namespace trelvan
