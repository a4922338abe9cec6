// trelvan-cli records: reads the measurement record, or fills one with
// generated readings.
//
//   records --db FILE [--from TIME] [--to TIME] [--channel N]... [--format csv|tsv|jsonl]
//           [--decimal SEP] [--out FILE]
//   records --db FILE --generate DAYS [--start TIME] [--interval MS] [--seed N]
//
// Exit codes: 0 done, 1 the record cannot be read or the output not written,
// 2 wrong use.

#include <QDateTime>
#include <QTextStream>
#include <QTimeZone>

#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <utility>

#include "arguments.h"
#include "commands.h"
#include "core/decimal_separator.h"
#include "core/time_text.h"
#include "live/user_locale.h"
#include "record/reading_generator.h"
#include "record/record_export.h"
#include "record/record_reader.h"
#include "record/recorder.h"

namespace trelvan::cli {

namespace {

void Describe(Arguments& a) {
  a.Option({"db"}, "Die Aufzeichnung (\"Messwerte.sqlite\" des Fensters, poll --record FILE).", "FILE")
      .Option({"from"}, "Ab dieser Zeit (gehört dazu).", "TIME")
      .Option({"to"}, "Bis vor diese Zeit (gehört nicht mehr dazu).", "TIME")
      .Option({"channel"}, "Nur diesen Kanal (0..3); mehrfach angebbar.", "N")
      .Option({"format"},
              "csv (Vorgabe: Semikolon, Dezimaltrennzeichen der Ländereinstellung, UTF-8 mit BOM,\n"
              "Ortszeit und UTC, je Zahl eine Spalte Einheit), tsv oder jsonl (die Felder von\n"
              "poll --json).",
              "FORMAT")
      .Option({"decimal"}, "Dezimaltrennzeichen der Zahlen in CSV und TSV (Vorgabe: Ländereinstellung).", "SEP")
      .Option({"out"}, "In diese Datei schreiben (erst vollständig, dann an ihren Platz); sonst stdout.", "FILE")
      .Option({"generate"},
              "FILE mit erfundenen Messwerten von vier Kanälen über DAYS Tage bis jetzt füllen\n"
              "(zum Ausprobieren des Verlaufs und für Messungen).",
              "DAYS")
      .Option({"start"}, "Mit --generate: ab dieser Zeit statt bis jetzt.", "TIME")
      .Option({"interval"}, "Mit --generate: Abstand der Durchläufe in ms (Vorgabe 1000).", "MS")
      .Option({"seed"}, "Mit --generate: Startwert der erfundenen Werte (Vorgabe 1).", "N")
      .Section("TIME",
               "  ISO 8601, z. B. 2026-12-08, 2026-12-08T13:05 oder 2026-12-08T13:05:00+01:00;\n"
               "  ohne Zonenangabe Ortszeit.")
      .Section("Rückgabewerte",
               "  0  erledigt\n"
               "  1  die Aufzeichnung lässt sich nicht lesen oder die Ausgabe nicht schreiben\n"
               "  2  falscher Aufruf");
}

// ms since 1970 UTC of an ISO 8601 text, local time where it names no zone.
std::optional<std::int64_t> ParseTime(QString text) {
  text = text.trimmed();
  if (text.size() > 10 && text[10] == ' ') text[10] = 'T';
  QDateTime t = QDateTime::fromString(text, Qt::ISODateWithMs);
  if (!t.isValid()) {
    const QDate day = QDate::fromString(text, Qt::ISODate);
    if (!day.isValid()) return std::nullopt;
    t = day.startOfDay();
  }
  return t.toMSecsSinceEpoch();
}

struct Options {
  QString db;
  RecordRange range;
  RecordFormat format = RecordFormat::Csv;
  std::optional<std::string> decimal;
  QString out;
  std::optional<double> generateDays;
  std::optional<std::int64_t> start;
  int intervalMs = 1000;
  unsigned seed = 1;
};

int Generate(const Options& o) {
  const auto passes = static_cast<std::int64_t>(*o.generateDays * 86400000.0 / o.intervalMs);
  const std::int64_t start = o.start ? *o.start : NowMs() - passes * o.intervalMs;
  Recorder recorder({.file = o.db.toStdString()});
  ReadingGenerator generator(start, o.intervalMs, o.seed);
  std::vector<std::vector<Reading>> batch;
  std::int64_t readings = 0;
  for (std::int64_t k = 0; k < passes; ++k) {
    batch.push_back(generator.NextPass());
    readings += static_cast<std::int64_t>(batch.back().size());
    if (batch.size() == 3600 || k + 1 == passes) {
      if (const auto problem = recorder.RecordBulk(batch)) {
        QTextStream(stderr) << o.db << ": " << QString::fromStdString(*problem) << "\n";
        return 1;
      }
      batch.clear();
    }
  }
  QTextStream(stdout) << readings << " Messwerte in " << o.db << " geschrieben ("
                      << QString::fromStdString(IsoLocalTime(start)) << " bis "
                      << QString::fromStdString(IsoLocalTime(generator.nextTimeMs())) << ")\n";
  return 0;
}

} // namespace

int RunRecords(const QStringList& args) {
  Arguments arguments("records",
                      "Gibt die Messwerte einer Aufzeichnung nach der Zeit geordnet aus, oder füllt eine\n"
                      "mit erfundenen Messwerten (--generate).");
  Describe(arguments);
  if (const auto exit = arguments.Parse(args)) return *exit;
  Options o;
  o.db = arguments.Value("db");
  o.out = arguments.Value("out");
  const std::pair<const char*, std::optional<std::int64_t>*> times[] = {
      {"from", &o.range.fromMs}, {"to", &o.range.toMs}, {"start", &o.start}};
  for (const auto& [name, into] : times) {
    if (!arguments.IsSet(name)) continue;
    const auto t = ParseTime(arguments.Value(name));
    if (!t) return arguments.Refuse(QStringLiteral("--%1: keine Zeit nach ISO 8601: %2").arg(name, arguments.Value(name)));
    *into = *t;
  }
  for (const QString& v : arguments.Values("channel")) {
    bool ok = false;
    const int channel = v.toInt(&ok);
    if (!ok || channel < 0 || channel > 3) return arguments.Refuse("--channel erwartet 0 bis 3");
    o.range.channels.push_back(channel);
  }
  if (arguments.IsSet("format")) {
    const auto format = RecordFormatFromName(arguments.Value("format").toStdString());
    if (!format) return arguments.Refuse("--format erwartet csv, tsv oder jsonl");
    o.format = *format;
  }
  if (arguments.IsSet("decimal")) {
    const std::string v = arguments.Value("decimal").toStdString();
    if (const auto problem = DecimalSeparatorProblem(v)) return arguments.Refuse(QString::fromStdString(*problem));
    o.decimal = v;
  }
  if (arguments.IsSet("generate")) {
    bool ok = false;
    o.generateDays = arguments.Value("generate").toDouble(&ok);
    if (!ok || *o.generateDays <= 0 || *o.generateDays > 3660) return arguments.Refuse("--generate erwartet Tage über 0");
  }
  const auto interval = arguments.Number("interval", 1, 86'400'000, 1000);
  const auto seed = arguments.Number("seed", 0, 4'294'967'295, 1);
  if (!interval || !seed) return kExitUsage;
  o.intervalMs = static_cast<int>(*interval);
  o.seed = static_cast<unsigned>(*seed);
  if (o.db.isEmpty()) return arguments.Refuse("--db FILE fehlt");
  if (!arguments.EnterFolder()) return kExitFailed;
  if (o.generateDays) return Generate(o);

  RecordReader reader;
  if (const auto problem = reader.Open(o.db.toStdString())) {
    QTextStream(stderr) << QString::fromStdString(*problem) << "\n";
    return 1;
  }
  const std::string separator = o.decimal ? *o.decimal : UserDecimalSeparator();
  const RecordExportResult result =
      o.out.isEmpty() ? ExportRecord(reader, o.range, o.format, separator, std::cout)
                      : ExportRecordToFile(reader, o.range, o.format, separator, o.out.toStdString());
  if (!result.ok) {
    QTextStream(stderr) << QString::fromStdString(result.error) << "\n";
    return 1;
  }
  if (!o.out.isEmpty())
    QTextStream(stderr) << result.readings << " Messwerte nach " << o.out << " geschrieben\n";
  return 0;
}

} // namespace trelvan::cli
