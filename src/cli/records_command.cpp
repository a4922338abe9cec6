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

constexpr const char* kUsage =
    "Aufruf: trelvan-cli records --db FILE [--from TIME] [--to TIME] [--channel N]...\n"
    "                            [--format csv|tsv|jsonl] [--decimal SEP] [--out FILE]\n"
    "        trelvan-cli records --db FILE --generate DAYS [--start TIME] [--interval MS] [--seed N]\n";

constexpr const char* kHelp =
    "  Gibt die Messwerte der Aufzeichnung FILE (\"Messwerte.sqlite\") aus, nach der Zeit\n"
    "  geordnet: CSV (Semikolon, Dezimaltrennzeichen der Ländereinstellung, UTF-8 mit BOM),\n"
    "  TSV oder JSON Lines (die Felder von poll --json). TIME ist ISO 8601, z. B.\n"
    "  2026-12-08, 2026-12-08T13:05 oder 2026-12-08T13:05:00+01:00; ohne Zonenangabe\n"
    "  Ortszeit. --from gehört dazu, --to nicht mehr. --out schreibt in eine Datei\n"
    "  (erst nach vollständigem Schreiben an ihren Platz), sonst auf die Standardausgabe.\n"
    "  --generate DAYS füllt FILE mit erfundenen Messwerten von vier Kanälen über DAYS\n"
    "  Tage bis jetzt (oder ab --start), alle --interval ms (1000).\n"
    "  Rückgabewerte: 0 erledigt, 1 Aufzeichnung oder Ausgabe fehlerhaft, 2 falscher Aufruf.\n";

int UsageError(const QString& message) {
  QTextStream(stderr) << "trelvan-cli records: " << message << "\n" << kUsage;
  return 2;
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
  Options o;
  for (int i = 0; i < args.size(); ++i) {
    const QString& a = args[i];
    if (a == "--help" || a == "-h") {
      QTextStream(stdout) << kUsage << kHelp;
      return 0;
    }
    if (i + 1 >= args.size()) return UsageError(a + " braucht einen Wert");
    const QString v = args[++i];
    bool ok = true;
    if (a == "--db") {
      o.db = v;
    } else if (a == "--from" || a == "--to" || a == "--start") {
      const auto t = ParseTime(v);
      if (!t) return UsageError(a + ": keine Zeit nach ISO 8601: " + v);
      (a == "--from" ? o.range.fromMs : a == "--to" ? o.range.toMs : o.start) = *t;
    } else if (a == "--channel") {
      const int channel = v.toInt(&ok);
      if (!ok || channel < 0 || channel > 3) return UsageError("--channel erwartet 0 bis 3");
      o.range.channels.push_back(channel);
    } else if (a == "--format") {
      const auto format = RecordFormatFromName(v.toStdString());
      if (!format) return UsageError("--format erwartet csv, tsv oder jsonl");
      o.format = *format;
    } else if (a == "--decimal") {
      if (const auto problem = DecimalSeparatorProblem(v.toStdString()))
        return UsageError(QString::fromStdString(*problem));
      o.decimal = v.toStdString();
    } else if (a == "--out") {
      o.out = v;
    } else if (a == "--generate") {
      o.generateDays = v.toDouble(&ok);
      if (!ok || *o.generateDays <= 0 || *o.generateDays > 3660) return UsageError("--generate erwartet Tage über 0");
    } else if (a == "--interval") {
      o.intervalMs = v.toInt(&ok);
      if (!ok || o.intervalMs < 1) return UsageError("--interval erwartet Millisekunden ab 1");
    } else if (a == "--seed") {
      o.seed = v.toUInt(&ok);
      if (!ok) return UsageError("--seed erwartet eine Zahl");
    } else {
      return UsageError("unbekannte Option " + a);
    }
  }
  if (o.db.isEmpty()) return UsageError("--db FILE fehlt");
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
