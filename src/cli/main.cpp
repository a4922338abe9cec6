// trelvan-cli: the station's headless tools.
#include <QCoreApplication>
#include <QTextStream>

#include "arguments.h"
#include "commands.h"

namespace {

void Usage(QTextStream& out) {
  out << "Aufruf:\n"
         "  trelvan-cli sim    [--config FILE] [Optionen]   Stationssimulator auf einem Pseudo-Terminal\n"
         "  trelvan-cli poll   [--passes N] [--interval MS] [--json] [--device PATH] [--decimal SEP]\n"
         "                     [--reply-ms N]\n"
         "  trelvan-cli export LOGFILE [--out-dir DIR] [--replace|--append] [--decimal SEP]\n"
         "  trelvan-cli scan   [--device PATH] [--stations 1-14] [--reply-ms N] [--all-settings] [--json]\n"
         "  trelvan-cli --version\n"
         "Jeder Befehl erklärt sich mit --help.\n";
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
    return args.isEmpty() ? 2 : 0;
  }
  if (args.front() == "--version") {
    QTextStream(stdout) << trelvan::cli::Arguments::VersionLine() << "\n";
    return 0;
  }
  const QString command = args.takeFirst();
  if (command == "sim") return trelvan::cli::RunSim(args);
  if (command == "poll") return trelvan::cli::RunPoll(args);
  if (command == "export") return trelvan::cli::RunExport(args);
  if (command == "records") return trelvan::cli::RunRecords(args);
  if (command == "scan") return trelvan::cli::RunScan(args);
  err << "Unbekannter Befehl: " << command << "\n";
  Usage(err);
  return 2;
}
