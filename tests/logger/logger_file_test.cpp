#include <gtest/gtest.h>

#include "logger/logger_file.h"

namespace trelvan {
namespace {

LoggerRecord Record(std::string_view bytes21) { return *LoggerRecord::Parse(bytes21); }

TEST(LoggerRecordText, DateTimeAndVolumeReadTheBytesAsHexDigits) {
  // 25h 03h 12h, 09h 05h, volume 45 23 01 00, then zeros.
  std::string bytes("\x25\x03\x12\x09\x05\x45\x23\x01\x00", 9);
  bytes.resize(21, '\0');
  const LoggerRecord r = Record(bytes);
  EXPECT_EQ(DateText(r), "25/3/12");
  EXPECT_EQ(TimeText(r), "9:5");
  EXPECT_EQ(VolumeText(r.volume1), "00012345");
  EXPECT_EQ(VolumeText(r.volume2), "00000000");
  EXPECT_FALSE(r.empty());
}

TEST(LoggerRecordText, OnlyAllZeroDateBytesMakeAnEmptyRecord) {
  std::string bytes(21, '\0');
  EXPECT_TRUE(Record(bytes).empty());
  bytes[3] = '\x10'; // a time alone does not count
  EXPECT_TRUE(Record(bytes).empty());
  bytes[0] = bytes[1] = '\x01';
  EXPECT_FALSE(Record(bytes).empty());
  EXPECT_EQ(DateText(Record(bytes)), "1/1/0");
  bytes[3] = 0;
  EXPECT_EQ(TimeText(Record(bytes)), "0:0");
  bytes[2] = '\x1A'; // not BCD: shown as its digits
  EXPECT_EQ(DateText(Record(bytes)), "1/1/1A");
}

TEST(LoggerValueText, ExactQuotientWithoutTrailingZeros) {
  struct Case {
    int raw, divisor;
    const char* sep;
    const char* text;
  };
  const Case cases[] = {
      {725, 100, ",", "7,25"},     {230, 10, ",", "23"},      {-5, 10, ",", "-0,5"},
      {-10, 10, ",", "-1"},        {100, 1000, ".", "0.1"},   {5, 1000, ".", "0.005"},
      {0, 1000, ".", "0"},         {32767, 1, ",", "32767"},  {-32768, 1000, ",", "-32,768"},
      {-32768, 10, ",", "-3276,8"}, {1205, 100, "·", "12·05"}, {7, 3, ",", "7"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FormatQuotient(c.raw, c.divisor, c.sep), c.text) << c.raw << " / " << c.divisor;
}

TEST(LoggerOutputName, FirstFifteenCharactersWithoutPadding) {
  EXPECT_EQ(OutputFileName("pH", "STATION 3       "), "pH_STATION 3.xls");
  EXPECT_EQ(OutputFileName("pH", "  BECKEN 1      "), "pH_BECKEN 1.xls");
  EXPECT_EQ(OutputFileName("pH", "ABCDEFGHIJKLMNOP"), "pH_ABCDEFGHIJKLMNO.xls");
  EXPECT_EQ(OutputFileName("pH", std::string("BECKEN\0\0 \0\0\0\0\0\0\0\0\0", 16)), "pH_BECKEN.xls");
  EXPECT_EQ(OutputFileName("pH", "                "), "pH_.xls");
}

TEST(LoggerOutputName, StaysInTheOutputFolderAndReadsAsUtf8) {
  EXPECT_EQ(OutputFileName("pH", "../../etc/passwd"), "pH_.._.._etc_passw.xls");
  EXPECT_EQ(OutputFileName("pH", "a\\b:c*d?e\"f<g>h"), "pH_a_b_c_d_e_f_g_h.xls");
  EXPECT_EQ(OutputFileName("pH", "|x"), "pH__x.xls");
  EXPECT_EQ(OutputFileName("pH", std::string("\0A\0B\x1F\x7F\x81", 7)), "pH__A_B___.xls");
  EXPECT_EQ(OutputFileName("Trübung", "BECKEN 1"), "Trübung_BECKEN 1.xls");
  EXPECT_EQ(OutputFileName("pH", "M\xFChle \x80"), "pH_Mühle €.xls");
}

TEST(LoggerChannelLayout, EmptyUnitsAndTypesWithoutARule) {
  const LoggerChannelLayout turbidity = LayoutForChannel("0=", 0x0083, 2);
  EXPECT_EQ(turbidity.unitColumns, "\t°C"); // the rule's empty unit text keeps its column
  EXPECT_EQ(turbidity.firstDivisor, 10);

  // No rule: no unit columns and the first value undivided.
  for (const char* code : {"10", "15", "0A", "  ", "1"}) {
    const LoggerChannelLayout layout = LayoutForChannel(code, 3, 1);
    EXPECT_EQ(layout.unitColumns, "") << code;
    EXPECT_EQ(layout.firstDivisor, 1) << code;
    EXPECT_EQ(layout.secondDivisor, 10) << code;
  }
  EXPECT_EQ(LayoutForChannel("15", 0, 1).typeName, "731 PERESSIGSAURE ");
  EXPECT_EQ(LayoutForChannel("0A", 0, 1).typeName, "");
}

TEST(LoggerOutputHeader, FiveLinesInWindows1252) {
  const std::string block = OutputHeaderBlock("BECKEN 1        ", LayoutForChannel("02", 1, 1));
  EXPECT_EQ(block,
            "Logger : BECKEN 1        \r\n\r\nLeitf\xE4higkeit\r\n\r\n"
            "Datum\tUhr\t\xB5S\t\xB0" "C\r\n");
}

} // namespace
} // namespace trelvan
