// trelvan-cli: the station's headless tools.
#include <QCoreApplication>
#include <QTextStream>

#include "arguments.h"
#include "commands.h"

namespace {

void Usage(QTextStream& out) {
  out << "Aufruf: trelvan-cli BEFEHL [Optionen]\n"
         "\n"
         "Die Werkzeuge der Messstation ohne Fenster. Sie arbeiten im aktuellen Ordner\n"
         "(\"config.txt\", \"PortCom.dat\", \"trelvan.ini\") oder in dem von --folder DIR.\n"
         "\n"
         "Befehle:\n"
         "  sim      Stationssimulator auf einem Pseudo-Terminal; gibt seinen Gerätepfad aus\n"
         "  poll     fragt die Kanäle ab: Text oder JSON, Aufzeichnung (--record), MQTT (--mqtt)\n"
         "  scan     sucht die Stationen an der Leitung und ihre Einstellungen\n"
         "  export   wandelt eine Loggerdatei in \".xls\"-Dateien um\n"
         "  records  gibt eine Aufzeichnung als CSV, TSV oder JSON Lines aus\n"
         "\n"
         "  trelvan-cli BEFEHL --help   Optionen, Ausgabe und Rückgabewerte eines Befehls\n"
         "  trelvan-cli --version       die Version\n";
}

} // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName("trelvan-cli");
  QStringList args = QCoreApplication::arguments().mid(1);
  QTextStream err(stderr);
  if (args.isEmpty() || args.front() == "--help" || args.front() == "-h") {
    QTextStream out(stdout);
    Usage(args.isEmpty() ? err : out);
    return args.isEmpty() ? trelvan::cli::kExitUsage : trelvan::cli::kExitOk;
  }
  if (args.front() == "--version") {
    QTextStream(stdout) << trelvan::cli::Arguments::VersionLine() << "\n";
    return trelvan::cli::kExitOk;
  }
  const QString command = args.takeFirst();
  if (command == "sim") return trelvan::cli::RunSim(args);
  if (command == "poll") return trelvan::cli::RunPoll(args);
  if (command == "export") return trelvan::cli::RunExport(args);
  if (command == "records") return trelvan::cli::RunRecords(args);
  if (command == "scan") return trelvan::cli::RunScan(args);
  err << "Unbekannter Befehl: " << command << "\n";
  Usage(err);
  return trelvan::cli::kExitUsage;
}
