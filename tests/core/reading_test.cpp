// The Reading's JSON line and the separator check: what scripts and every
// command rely on. The fields of a failed reading are read in the poll
// command's tests, the time texts in the record export's.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "core/decimal_separator.h"
#include "core/reading_json.h"

namespace trelvan {
namespace {

TEST(DecimalSeparator, OneCharacterThatCannotBelongToANumber) {
  for (const char* good : {".", ",", "\u066B"})
    EXPECT_FALSE(DecimalSeparatorProblem(good).has_value()) << good;
  for (const char* bad : {"", "5", "abc", "-", "+", " ", "\t", "\u00A0", "\xC3", "\xFF"})
    EXPECT_NE(DecimalSeparatorProblem(bad).value_or("").find("Dezimaltrennzeichen"), std::string::npos) << '"' << bad << '"';
}

TEST(ReadingJson, AReadingCarriesItsFieldsEscapedAndItsLocalTime) {
  setenv("TZ", "CET-1", 1);
  tzset();
  Reading ok;
  ok.timeMs = 1796731540123, ok.pass = 2, ok.channel = 1, ok.station = 3, ok.block = Block::Ext; // 2026-12-08 12:05:40.123 UTC
  ok.type = "pH", ok.marker = "Zu\"lauf", ok.ok = true, ok.text = "7.23 pH 22.6 °C\r\nx", ok.alarm = AlarmState::High;
  ok.values = {{"main", 7.23, "pH"}, {"temperature", -0.5, "°C"}, {"second", std::nullopt, "MOhm"}};
  EXPECT_EQ(ReadingJson(ok),
            "{\"pass\":2,\"channel\":1,\"ok\":true,\"text\":\"7.23 pH 22.6 °C\\r\\nx\","
            "\"time\":\"2026-12-08T13:05:40.123+01:00\",\"station\":3,\"block\":\"ext\",\"type\":\"pH\","
            "\"marker\":\"Zu\\\"lauf\",\"values\":{\"main\":{\"value\":7.23,\"unit\":\"pH\"},"
            "\"temperature\":{\"value\":-0.5,\"unit\":\"°C\"},\"second\":{\"value\":null,\"unit\":\"MOhm\"}},"
            "\"alarm\":\"high\"}");
}

} // namespace
} // namespace trelvan
