// trelvan-cli scan: which stations answer on the line, on which block, and
// what their registers read as; with --all-settings, under which line
// settings one station answers.

#include <QCoreApplication>
#include <QDir>
#include <QTextStream>
#include <QTimer>

#include <optional>
#include <string>

#include "arguments.h"
#include "commands.h"
#include "live/stop_signals.h"
#include "comm/address_scan.h"
#include "comm/qt_serial_line.h"
#include "comm/serial_line.h"
#include "core/reading_json.h"
#include "core/serial_settings.h"
#include "core/station_address.h"
#include "live/user_locale.h"

namespace trelvan::cli {

namespace {

struct StationRange {
  int first = 1;
  int last = 14;
};

// "3" or "1-14", stations that can be asked.
std::optional<StationRange> ParseStations(const QString& text) {
  const QStringList parts = text.split('-');
  if (parts.size() > 2) return std::nullopt;
  bool okFirst = false, okLast = true;
  StationRange r;
  r.first = parts[0].trimmed().toInt(&okFirst);
  r.last = parts.size() == 2 ? parts[1].trimmed().toInt(&okLast) : r.first;
  if (!okFirst || !okLast || r.first < kFirstStation || r.last > kLastStation || r.first > r.last) return std::nullopt;
  return r;
}

std::string AnswerJson(const ScanAnswer& a) {
  std::string json = "{\"station\":" + std::to_string(a.station) + ",\"block\":" +
                     JsonString(BlockId(a.block)) + ",\"settings\":" + JsonString(CompactSettingsText(a.settings)) +
                     ",\"reply_ms\":" + std::to_string(a.replyMs) + ",\"registers\":[";
  if (a.exceptionCode == 0) {
    for (std::size_t i = 0; i < a.registers.size(); ++i)
      json += (i ? "," : "") + std::to_string(a.registers[i]);
  }
  json += "]";
  if (a.exceptionCode != 0) json += ",\"exception_code\":" + std::to_string(a.exceptionCode);
  json += ",\"readings\":[";
  for (std::size_t i = 0; i < a.readings.size(); ++i) {
    const TypeReading& r = a.readings[i];
    json += (i ? ",{" : "{") + std::string("\"type_index\":") + std::to_string(r.typeIndex) +
            ",\"type\":" + JsonString(r.type) + ",\"text\":" + JsonString(r.text) + "}";
  }
  return json + "]}";
}

QString AnswerLine(const ScanAnswer& a) {
  QString line = QStringLiteral("Station %1 %2: %3 ms, %4, ")
                     .arg(a.station)
                     .arg(a.block == Block::Master ? "Master" : "Ext.")
                     .arg(a.replyMs)
                     .arg(QString::fromStdString(CompactSettingsText(a.settings)));
  if (a.exceptionCode != 0) return line + QStringLiteral("Ausnahme %1 (der Block fehlt)").arg(a.exceptionCode);
  QStringList words;
  for (std::uint16_t r : a.registers) words << QStringLiteral("%1").arg(r, 4, 16, QChar('0')).toUpper();
  line += "Register " + words.join(' ');
  // Types that read the registers alike (NaCl, NaOH, HCl, H2SO4) share one entry.
  QStringList texts;
  QList<QStringList> types;
  for (const TypeReading& r : a.readings) {
    const QString text = QString::fromStdString(r.text).simplified();
    const qsizetype at = texts.indexOf(text);
    if (at < 0) {
      texts << text;
      types.append({QString::fromStdString(r.type)});
    } else {
      types[at] << QString::fromStdString(r.type);
    }
  }
  QStringList readings;
  for (qsizetype i = 0; i < texts.size(); ++i) readings << types[i].join(", ") + " " + texts[i];
  if (!readings.isEmpty()) line += "; gelesen als " + readings.join("; ");
  return line;
}

} // namespace

int RunScan(const QStringList& args) {
  Arguments arguments(
      "scan",
      "Fragt die Stationen an der Leitung nach ihren acht Registern (Funktion 3), je Station erst den\n"
      "Master-Block (ab Register 0), dann den Ext.-Block (ab Register 20), und zeigt jede Antwort mit\n"
      "Antwortzeit und Registern, gelesen als jeder Messtyp, zu dem ihr Bereichscode passt. Port und\n"
      "Einstellungen kommen aus \"PortCom.dat\", das Gerät des Ports aus \"trelvan.ini\" (oder\n"
      "TRELVAN_COMk). Eine Station, die nicht antwortet, wird erst in der zweiten Runde wieder gefragt.");
  arguments.Option({"device"}, "Dieses Gerät statt des Ports aus \"PortCom.dat\".", "PATH")
      .Option({"stations"}, "Diese Stationen fragen: eine (3) oder ein Bereich (1-14, der Vorgabe).", "VON-BIS")
      .Option({"reply-ms"}, "So lange auf jede Antwort warten, 20 bis 10000 ms (Vorgabe 300).", "N")
      .Option({"all-settings"},
              "Jede Geschwindigkeit, Parität und Stoppbitzahl des Dialogs \"Serienverbindung\" an\n"
              "einer Station versuchen (--stations N) und zeigen, unter welchen sie antwortet.")
      .Option({"json"}, "Eine JSON-Zeile je Antwort (JSON Lines).")
      .Section("Ausgabe",
               "  Eine Zeile je Station und Block, die geantwortet hat. Am Ende auf stderr, wie viele\n"
               "  geantwortet haben. Eine Ausnahme-Antwort heißt: Die Station ist da, der Block fehlt.")
      .Section("JSON-Felder (--json)",
               "  station        Stationsadresse\n"
               "  block          \"master\" oder \"ext\"\n"
               "  settings       Leitungseinstellungen der Antwort, z. B. \"9600,n,8,1\"\n"
               "  reply_ms       Zeit von der Anfrage bis zur ganzen Antwort in ms\n"
               "  registers      die acht Register als Zahlen; leer bei einer Ausnahme-Antwort\n"
               "  exception_code nur bei einer Ausnahme-Antwort: ihr Code\n"
               "  readings       je passendem Messtyp: type_index, type, text (wie die Messanzeige)")
      .Section("Rückgabewerte",
               "  0  fertig (auch wenn keine Station geantwortet hat, und nach SIGINT/SIGTERM)\n"
               "  1  die Leitung lässt sich nicht öffnen oder ging verloren\n"
               "  2  falsche Argumente");
  if (const auto exit = arguments.Parse(args)) return *exit;
  if (!arguments.EnterFolder()) return kExitFailed;
  QTextStream err(stderr);

  StationRange stations;
  if (arguments.IsSet("stations")) {
    const auto parsed = ParseStations(arguments.Value("stations"));
    if (!parsed) {
      return arguments.Refuse(
          QStringLiteral("--stations erwartet eine Station oder einen Bereich von %1 bis %2 (\"1-14\"), nicht \"%3\"")
              .arg(kFirstStation)
              .arg(kLastStation)
              .arg(arguments.Value("stations")));
    }
    stations = *parsed;
  }
  const auto replyMs = arguments.Number("reply-ms", 20, 10000, 300);
  if (!replyMs) return kExitUsage;
  const bool allSettings = arguments.IsSet("all-settings");
  if (allSettings && stations.first != stations.last) {
    err << "trelvan-cli scan: --all-settings versucht 18 Einstellungen an einer Station: --stations N angeben\n";
    return kExitUsage;
  }
  if (arguments.IsSet("device") && arguments.Value("device").isEmpty()) {
    err << "trelvan-cli scan: --device braucht einen Gerätenamen\n";
    return kExitUsage;
  }

  SerialSettings settings;
  const ConfigStatus loaded = LoadSerialSettings(settings, QDir::currentPath().toStdString());
  if (!loaded.ok() && loaded.kind != ConfigStatus::Kind::Missing)
    err << QString::fromStdString(loaded.message) << "\n";

  QtSerialLine line;
  line.SelectPort(settings.portNumber);
  if (arguments.IsSet("device")) line.SelectDevice(arguments.Value("device"));
  PortResult opened = ApplySettings(line, settings);
  if (opened.ok && !line.Open(&opened.message)) opened.ok = false;
  if (!opened.ok) {
    err << opened.message << "\n";
    return kExitFailed;
  }

  AddressScan scan(line);
  scan.SetDecimalSeparator(UserDecimalSeparator());
  QTextStream out(stdout);
  const bool json = arguments.IsSet("json");
  QObject::connect(&scan, &AddressScan::settingRefused, [&](const QString& reason) {
    err << reason << "\n";
    err.flush();
  });
  QObject::connect(&scan, &AddressScan::answered, [&](const ScanAnswer& a) {
    if (json)
      out << QString::fromStdString(AnswerJson(a)) << "\n";
    else
      out << AnswerLine(a) << "\n";
    out.flush();
  });

  // SIGINT and SIGTERM end the scan after the request under way; what was
  // found so far stays printed.
  StopOnSignals(&scan, [&scan] { scan.Cancel(); });

  if (allSettings) {
    scan.SearchSettings(stations.first, static_cast<int>(*replyMs));
  } else {
    ScanRange range;
    range.firstStation = stations.first;
    range.lastStation = stations.last;
    range.replyMs = static_cast<int>(*replyMs);
    scan.Scan(range);
  }
  ClosePort(line);
  const auto found = scan.answers().size();
  err << (scan.cancelled() ? "Abgebrochen. " : "") << found << (found == 1 ? " Antwort" : " Antworten") << "\n";
  if (!scan.lineLost().isEmpty()) {
    err << scan.lineLost() << "\n";
    return kExitFailed;
  }
  return kExitOk;
}

} // namespace trelvan::cli
