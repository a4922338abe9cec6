// trelvan-cli export LOGFILE [--out-dir DIR] [--replace|--append] [--decimal SEP]
//
// Writes the same files as the logger-file window. Exit codes: 0 done; 1 the
// export failed or was interrupted (SIGINT, SIGTERM), the message names every
// output file it left unchanged; 2 wrong arguments, an output folder that is
// not one, or an output file that exists with content while neither
// --replace nor --append was given, in which case nothing is created or
// changed. The system's own text of a failure is logged under the category
// "trelvan.logger" (QT_LOGGING_RULES="trelvan.logger.debug=true").
#include <QLoggingCategory>
#include <QString>

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stop_token>
#include <string>
#include <thread>

#include "arguments.h"
#include "commands.h"
#include "live/user_locale.h"
#include "logger/logger_export.h"

Q_LOGGING_CATEGORY(lcExport, "trelvan.logger", QtInfoMsg)

namespace trelvan::cli {

namespace {

// SIGINT and SIGTERM stop the export between records, and it leaves every
// output file as it was. The signals are taken by a thread of their own
// (sigwait), so nothing runs inside a signal handler. A second signal ends
// the program at once, for an export stuck reading a pipe.
class StopOnSignals {
 public:
  StopOnSignals() {
    sigemptyset(&signals_);
    sigaddset(&signals_, SIGINT);
    sigaddset(&signals_, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals_, &previous_);
    waiter_ = std::thread([this] {
      for (;;) {
        int number = 0;
        if (sigwait(&signals_, &number) != 0 || done_) return;
        if (stop_.stop_requested()) std::_Exit(128 + number);
        stop_.request_stop();
      }
    });
  }
  ~StopOnSignals() {
    done_ = true;
    pthread_kill(waiter_.native_handle(), SIGTERM);
    waiter_.join();
    // A signal that came meanwhile is delivered now, as usual.
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  StopOnSignals(const StopOnSignals&) = delete;
  StopOnSignals& operator=(const StopOnSignals&) = delete;

  std::stop_token token() const { return stop_.get_token(); }

 private:
  sigset_t signals_{};
  sigset_t previous_{};
  std::stop_source stop_;
  std::atomic<bool> done_{false};
  std::thread waiter_;
};

void LogSystemText(const LoggerResult& result) {
  if (!result.systemText.empty())
    qCDebug(lcExport).noquote() << QString::fromStdString(result.text) << "|"
                                << QString::fromStdString(result.systemText);
}

} // namespace

int RunExport(const QStringList& args) {
  Arguments arguments(
      "export",
      "Wandelt die Loggerdatei LOGFILE in je eine tabulatorgetrennte \".xls\"-Datei je\n"
      "aufgezeichneter Größe um (benannt nach Größe und Loggerkanal), wie das Fenster der\n"
      "Loggerdatei. SIGINT oder SIGTERM bricht ab und lässt jede Ausgabedatei, wie sie war.");
  arguments.Positional("LOGFILE", "Die Loggerdatei (*.log).")
      .Option({"out-dir"}, "Die Dateien in diesen Ordner schreiben statt in den Arbeitsordner.", "DIR")
      .Option({"replace"}, "Eine Ausgabedatei, die es mit Inhalt schon gibt, ersetzen.")
      .Option({"append"}, "An eine Ausgabedatei, die es mit Inhalt schon gibt, anhängen.")
      .Option({"decimal"}, "Dezimaltrennzeichen der Werte (Vorgabe: Ländereinstellung); keine Ziffer, kein \"-\".",
              "SEP")
      .Section("Ausgabe", "  Die Namen der geschriebenen Dateien, dann die Zahl der Datensätze.")
      .Section("Rückgabewerte",
               "  0  erledigt\n"
               "  1  der Export scheiterte oder wurde abgebrochen; die Meldung nennt jede Datei,\n"
               "     die unverändert blieb\n"
               "  2  falscher Aufruf, ein Ausgabeordner, der keiner ist, oder eine Ausgabedatei mit\n"
               "     Inhalt ohne --replace oder --append (dann wird nichts geschrieben)");
  if (const auto exit = arguments.Parse(args)) return *exit;
  const QString logFile = arguments.Positionals().front();
  const QString outDir = arguments.Value("out-dir");
  const bool replace = arguments.IsSet("replace");
  const bool append = arguments.IsSet("append");
  std::string separator;
  if (arguments.IsSet("out-dir") && outDir.isEmpty()) return arguments.Refuse("--out-dir braucht einen Ordner.");
  if (arguments.IsSet("decimal")) {
    separator = arguments.Value("decimal").toStdString();
    if (const auto problem = ExportSeparatorProblem(separator)) return arguments.Refuse(QString::fromStdString("--decimal: " + *problem));
  }
  if (logFile.isEmpty()) return arguments.Refuse("LOGFILE fehlt.");
  if (replace && append) return arguments.Refuse("--replace und --append schließen einander aus.");
  if (!arguments.EnterFolder()) return kExitFailed;

  ExportRequest request;
  request.loggerFile = PathFromUtf8(logFile.toStdString());
  request.outputFolder = outDir.isEmpty() ? std::filesystem::path(".")
                                          : PathFromUtf8(outDir.toStdString());
  request.decimalSeparator = separator.empty() ? UserDecimalSeparator() : separator;

  // Taken before the plan, so that no signal between plan and run is lost.
  const StopOnSignals stopOnSignals;
  LoggerExport job(request);
  if (const LoggerResult& planned = job.planResult(); !planned.ok()) {
    LogSystemText(planned);
    std::fprintf(stderr, "trelvan-cli export: %s\n", planned.text.c_str());
    return planned.kind == LoggerResultKind::OutputFolderUnusable ? 2 : 1;
  }
  // Output files as the user named their folder: bare names without --out-dir.
  auto shown = [&](const PlannedOutput& out) {
    return PathText(outDir.isEmpty() ? PathFromUtf8(out.fileName) : out.path);
  };
  if (!replace && !append) {
    bool exists = false;
    for (const PlannedOutput& out : job.plan().outputs) {
      if (!out.existsWithContent) continue;
      exists = true;
      std::fprintf(stderr, "trelvan-cli export: Die Datei '%s' existiert bereits.\n",
                   shown(out).c_str());
    }
    if (exists) {
      std::fprintf(stderr, "Mit --replace ersetzen oder mit --append anhängen; es wurde "
                           "nichts geschrieben.\n");
      return 2;
    }
  }

  const bool showProgress = isatty(fileno(stderr)) != 0;
  auto progress = [&](const ExportProgress& p) {
    if (!showProgress) return;
    if (p.recordsExpected > 0)
      std::fprintf(stderr, "\r%llu / %llu Datensätze", static_cast<unsigned long long>(p.recordsRead),
                   static_cast<unsigned long long>(p.recordsExpected));
    else
      std::fprintf(stderr, "\r%llu Datensätze", static_cast<unsigned long long>(p.recordsRead));
    std::fflush(stderr);
  };
  const ExistingOutput answer = replace ? ExistingOutput::Replace : ExistingOutput::Append;
  const ExportResult result =
      job.run([answer](const PlannedOutput&) { return answer; }, progress, stopOnSignals.token());
  if (showProgress) std::fputc('\n', stderr);

  if (!result.ok()) {
    LogSystemText(result.outcome);
    std::fprintf(stderr, "trelvan-cli export: %s\n", result.outcome.text.c_str());
    return 1;
  }
  for (const PlannedOutput& out : result.outputs)
    std::printf("%s\n", shown(out).c_str());
  std::printf("%llu Datensätze geschrieben", static_cast<unsigned long long>(result.linesWritten));
  const auto skipped = result.recordsRead - result.linesWritten;
  if (skipped > 0)
    std::printf(" (%llu leere übergangen)", static_cast<unsigned long long>(skipped));
  std::printf("\n");
  if (result.trailingBytes > 0)
    std::fprintf(stderr,
                 "Hinweis: die letzten %llu Byte der Datei ergeben keinen vollständigen "
                 "Datensatz und wurden übergangen.\n",
                 static_cast<unsigned long long>(result.trailingBytes));
  return 0;
}

} // namespace trelvan::cli
