// The export's bytes: what a German spreadsheet and a script read.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "record/record_export.h"

namespace trelvan {
namespace {

TEST(RecordExport, CsvAndTsvBytesOfASmallRecord) {
  setenv("TZ", "CET-1", 1);
  tzset();
  const Reading ok{.timeMs = 1796731540123, // 2026-12-08 12:05:40.123 UTC
                   .pass = 2, .channel = 2, .station = 7, .block = Block::Ext, .typeIndex = 13, .type = "R_862",
                   .marker = "=Becken;1", .ok = true, .reason = {},
                   .values = {{"main", 1.234, "MOhm"}, {"second", std::nullopt, "MOhm"}},
                   .text = "1.234 MOhm\r\n\"#0.00\"", .alarm = AlarmState::Low};
  const Reading failed{.timeMs = 1796731541000, .pass = 2, .channel = 3, .station = 4, .typeIndex = 3,
                       .type = "Redox",
                       .marker = "Ablauf", .failure = FailureKind::Exception, .reason = "Station 4 lehnt ab",
                       .exceptionCode = 2, .values = {}, .text = "-Out of order"};

  const std::string header =
      "Zeit (lokal);Zeit (UTC);Durchlauf;Kanal;Station;Block;Typ;Merkzeichen;OK;Fehler;Grund;Ausnahmecode;"
      "Messwert;Einheit;Temperatur;Einheit;Zweiter Wert;Einheit;Tagesvolumen;Einheit;Gesamtvolumen;Einheit;"
      "Anzeige;Alarm\r\n";
  const RecordLineWriter csv(RecordFormat::Csv, ",");
  std::string bytes = csv.Header();
  csv.Append(ok, bytes);
  csv.Append(failed, bytes);
  EXPECT_EQ(bytes, "\xEF\xBB\xBF" + header +
                       "2026-12-08T13:05:40.123+01:00;2026-12-08T12:05:40.123Z;2;2;7;Ext.;R_862;\"'=Becken;1\";ja;;;;"
                       "1,234;MOhm;;;;MOhm;;;;;\"1.234 MOhm\r\n\"\"#0.00\"\"\";unten\r\n"
                       "2026-12-08T13:05:41.000+01:00;2026-12-08T12:05:41.000Z;2;3;4;Master;Redox;Ablauf;nein;"
                       "exception;Station 4 lehnt ab;2;;;;;;;;;;;\"'-Out of order\";\r\n");

  const RecordLineWriter tsv(RecordFormat::Tsv, ".");
  std::string line;
  tsv.Append(ok, line);
  EXPECT_EQ(line,
            "2026-12-08T13:05:40.123+01:00\t2026-12-08T12:05:40.123Z\t2\t2\t7\tExt.\tR_862\t=Becken;1\tja\t\t\t\t"
            "1.234\tMOhm\t\t\t\tMOhm\t\t\t\t\t1.234 MOhm\\r\\n\"#0.00\"\tunten\n");
  EXPECT_EQ(tsv.Header().substr(0, 13), "Zeit (lokal)\t");
}

} // namespace
} // namespace trelvan
