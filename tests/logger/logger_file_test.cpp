#include <gtest/gtest.h>

#include "logger/logger_file.h"

namespace trelvan {
namespace {

// Date and time are the bytes' hex digits; only all-zero date bytes make an
// empty record.
TEST(LoggerRecordText, DateAndTimeAndTheEmptyRecord) {
  // bytes5: day, month, year, hour, minute
  const struct { std::string_view bytes5; bool empty; const char *date, *time; } cases[] = {
      {{"\0\0\0\x10\0", 5}, true, "", ""}, // a time alone does not count
      {{"\x01\x01\0\0\0", 5}, false, "1/1/0", "0:0"},
      {{"\x01\x01\x1A\x10\0", 5}, false, "1/1/1A", "10:0"}, // not BCD: shown as its digits
  };
  for (const auto& c : cases) {
    const LoggerRecord r = *LoggerRecord::Parse(std::string(c.bytes5) + std::string(16, '\0'));
    EXPECT_EQ(r.empty(), c.empty) << c.date;
    if (c.empty) continue;
    EXPECT_EQ(DateText(r), c.date);
    EXPECT_EQ(TimeText(r), c.time);
  }
}

TEST(LoggerValueText, ExactQuotientWithoutTrailingZeros) {
  const struct { int raw, divisor; const char* sep; const char* text; } cases[] = {
      {-10, 10, ",", "-1"},       {100, 1000, ".", "0.1"},  {5, 1000, ".", "0.005"},   {0, 1000, ".", "0"},
      {32767, 1, ",", "32767"},   {-32768, 1000, ",", "-32,768"}, {1205, 100, "·", "12·05"}, {7, 3, ",", "7"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FormatQuotient(c.raw, c.divisor, c.sep), c.text) << c.raw << " / " << c.divisor;
}

// The first fifteen characters without padding, never a way out of the output
// folder, and read as Windows-1252 into a UTF-8 name.
TEST(LoggerOutputName, StaysInTheOutputFolderAndReadsAsUtf8) {
  const std::pair<std::string, const char*> cases[] = {
      {"  BECKEN 1      ", "pH_BECKEN 1.xls"},
      {"ABCDEFGHIJKLMNOP", "pH_ABCDEFGHIJKLMNO.xls"},
      {std::string("BECKEN\0\0 \0\0\0\0\0\0\0\0\0", 16), "pH_BECKEN.xls"},
      {"                ", "pH_.xls"},
      {"../../etc/passwd", "pH_.._.._etc_passw.xls"},
      {"a\\b:c*d?e\"f<g>h", "pH_a_b_c_d_e_f_g_h.xls"},
      {"|x", "pH__x.xls"},
      {std::string("\0A\0B\x1F\x7F\x81", 7), "pH__A_B___.xls"},
      {"M\xFChle \x80", "pH_Mühle €.xls"},
  };
  for (const auto& [field, name] : cases) EXPECT_EQ(OutputFileName("pH", field), name);
}

} // namespace
} // namespace trelvan
