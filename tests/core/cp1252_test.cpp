#include <gtest/gtest.h>

#include "core/cp1252.h"

namespace trelvan {
namespace {

TEST(Cp1252, EveryByteRoundTripsThroughUtf8) {
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  const auto back = Utf8ToCp1252(Cp1252ToUtf8(all));
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(*back, all);
}

TEST(Cp1252, GermanTextAndTheEuroSign) {
  EXPECT_EQ(Cp1252ToUtf8("Tr\xFC" "bung \x80"), "Trübung €");
  EXPECT_EQ(*Utf8ToCp1252("µS °C"), "\xB5S \xB0" "C");
}

TEST(Cp1252, CharactersItCannotCarryAreRefusedOrReplaced) {
  EXPECT_FALSE(Utf8ToCp1252("Ω").has_value());
  EXPECT_FALSE(Utf8ToCp1252("\xC3").has_value());     // cut-off UTF-8
  EXPECT_FALSE(Utf8ToCp1252("\xC1\x81").has_value()); // overlong "A"
  EXPECT_FALSE(Utf8ToCp1252("\xED\xA0\x80").has_value()); // a surrogate
  EXPECT_EQ(Utf8ToCp1252Lossy("aΩb"), "a_b");
}

} // namespace
} // namespace trelvan
