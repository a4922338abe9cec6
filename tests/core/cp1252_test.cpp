#include <gtest/gtest.h>

#include "core/cp1252.h"

namespace trelvan {
namespace {

// Every byte round-trips, German text and the euro sign map exactly, and
// characters the code page cannot carry are refused or replaced.
TEST(Cp1252, EveryByteRoundTripsAndWhatItCannotCarryIsRefusedOrReplaced) {
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(all)), all);
  EXPECT_EQ(Cp1252ToUtf8("Tr\xFC" "bung \x80"), "Trübung €");
  EXPECT_EQ(Utf8ToCp1252("µS °C"), "\xB5S \xB0" "C");
  for (const char* bad : {"Ω", "\xC3" /* cut off */, "\xC1\x81" /* overlong "A" */, "\xED\xA0\x80" /* surrogate */})
    EXPECT_FALSE(Utf8ToCp1252(bad).has_value()) << bad;
  EXPECT_EQ(Utf8ToCp1252Lossy("aΩb"), "a_b");
}

} // namespace
} // namespace trelvan
