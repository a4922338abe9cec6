#pragma once
// Export of the measurement record:
//
// - CSV for spreadsheets as a German office opens them: UTF-8 with a byte
//   order mark (so umlauts open right), ";" between fields, the given decimal
//   separator, CR LF line ends, fields with ";", quotes or line breaks quoted
//   (quotes doubled). A text field that a spreadsheet would take for a
//   formula (starting with "=", "+", "-" or "@") gets a leading "'".
// - TSV for scripts: tabs between fields, LF line ends, no byte order mark;
//   tab, CR, LF and backslash inside a field written as \t \r \n \\.
// - JSON Lines: one ReadingJson line per reading, the fields of `poll --json`.
//
// CSV and TSV columns, one line per reading:
//   Zeit (lokal)  ISO 8601 with ms and UTC offset     Zeit (UTC)  the same in UTC
//   Durchlauf, Kanal, Station, Block ("Master"/"Ext."), Typ, Merkzeichen,
//   OK ("ja"/"nein"), Fehler (the failure identifier), Grund (German),
//   Ausnahmecode, then for Messwert, Temperatur, Zweiter Wert, Tagesvolumen,
//   Gesamtvolumen the number and beside it its unit (units change with the
//   instrument's range), Anzeige (the label text), Alarm ("unten"/"oben").

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "core/reading.h"
#include "record/record_reader.h"

namespace trelvan {

enum class RecordFormat { Csv, Tsv, JsonLines };

// "csv", "tsv", "jsonl"; nothing for another name.
std::optional<RecordFormat> RecordFormatFromName(std::string_view name);

// Turns readings into lines of one format.
class RecordLineWriter {
 public:
  RecordLineWriter(RecordFormat format, std::string decimalSeparator);
  // What comes before the first reading: the byte order mark and the column
  // names (CSV), the column names (TSV), nothing (JSON Lines).
  std::string Header() const;
  // Appends the reading's line, with its line end, to `out`.
  void Append(const Reading& reading, std::string& out) const;

 private:
  void Field(std::string_view text, bool isText, std::string& out) const;
  std::string Number(const std::optional<double>& number) const;

  RecordFormat format_;
  std::string separator_;
};

struct RecordExportResult {
  bool ok = false;
  std::int64_t readings = 0;
  std::string error; // German, when !ok
};

// Writes the range to `out`. `progress`, where given, is called now and then
// with the readings written so far and returns false to cancel.
RecordExportResult ExportRecord(RecordReader& reader, const RecordRange& range, RecordFormat format,
                                const std::string& decimalSeparator, std::ostream& out,
                                const std::function<bool(std::int64_t)>& progress = {});

// The same into a file, saved atomically: a temporary file in the same
// folder, renamed over `file` only when everything was written. A failure or
// a cancel leaves an existing `file` as it was.
RecordExportResult ExportRecordToFile(RecordReader& reader, const RecordRange& range, RecordFormat format,
                                      const std::string& decimalSeparator, const std::filesystem::path& file,
                                      const std::function<bool(std::int64_t)>& progress = {});

} // namespace trelvan
