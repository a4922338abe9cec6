// trelvan-cli export LOGFILE [--out-dir DIR] [--replace|--append] [--decimal SEP]
//
// Writes the same files as the logger-file window. Exit codes: 0 done, 1 the
// export failed (a message names the file), 2 wrong arguments or an output
// file exists with content and neither --replace nor --append was given; in
// that case nothing is created or changed.
#include <QLocale>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#ifdef _WIN32
#include <io.h>
#define TRELVAN_ISATTY _isatty
#define TRELVAN_FILENO _fileno
#else
#include <unistd.h>
#define TRELVAN_ISATTY isatty
#define TRELVAN_FILENO fileno
#endif

#include "commands.h"
#include "logger/logger_export.h"

namespace trelvan::cli {

namespace {

constexpr const char* kUsage =
    "Aufruf: trelvan-cli export LOGFILE [--out-dir DIR] [--replace|--append] [--decimal SEP]\n";

int UsageError(const std::string& message) {
  std::fprintf(stderr, "trelvan-cli export: %s\n%s", message.c_str(), kUsage);
  return 2;
}

std::string DefaultDecimalSeparator() {
  const std::string separator = QLocale::system().decimalPoint().toStdString();
  return IsUsableDecimalSeparator(separator) ? separator : ".";
}

} // namespace

int RunExport(const QStringList& args) {
  QString logFile;
  QString outDir;
  std::string separator;
  bool replace = false;
  bool append = false;
  for (int i = 0; i < args.size(); ++i) {
    const QString& a = args[i];
    auto value = [&](const char* option, QString& into) {
      if (a.startsWith(QString(option) + "=")) {
        into = a.mid(static_cast<int>(std::strlen(option)) + 1);
        return true;
      }
      if (a != option) return false;
      if (i + 1 >= args.size()) {
        into = QString();
        return true;
      }
      into = args[++i];
      return true;
    };
    QString text;
    if (a == "--replace") {
      replace = true;
    } else if (a == "--append") {
      append = true;
    } else if (value("--out-dir", text)) {
      if (text.isEmpty()) return UsageError("--out-dir braucht einen Ordner.");
      outDir = text;
    } else if (value("--decimal", text)) {
      separator = text.toStdString();
      if (!IsUsableDecimalSeparator(separator))
        return UsageError("--decimal braucht ein Zeichen, das keine Ziffer, kein \"-\" und "
                          "kein Steuerzeichen ist und in Windows-1252 vorkommt.");
    } else if (a.startsWith("-") && a.size() > 1) {
      return UsageError("unbekannte Option " + a.toStdString());
    } else if (logFile.isEmpty()) {
      logFile = a;
    } else {
      return UsageError("nur eine Loggerdatei auf einmal.");
    }
  }
  if (logFile.isEmpty()) return UsageError("LOGFILE fehlt.");
  if (replace && append) return UsageError("--replace und --append schließen einander aus.");

  ExportRequest request;
  request.loggerFile = PathFromUtf8(logFile.toStdString());
  request.outputFolder = outDir.isEmpty() ? std::filesystem::path(".")
                                          : PathFromUtf8(outDir.toStdString());
  request.decimalSeparator = separator.empty() ? DefaultDecimalSeparator() : separator;

  std::error_code ec;
  if (!std::filesystem::is_directory(request.outputFolder, ec)) {
    std::fprintf(stderr, "trelvan-cli export: Der Ausgabeordner '%s' existiert nicht.\n",
                 PathText(request.outputFolder).c_str());
    return 2;
  }

  LoggerExport job(request);
  if (!job.error().empty()) {
    std::fprintf(stderr, "trelvan-cli export: %s\n", job.error().c_str());
    return 1;
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

  const bool showProgress = TRELVAN_ISATTY(TRELVAN_FILENO(stderr)) != 0;
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
      job.run([answer](const PlannedOutput&) { return answer; }, progress);
  if (showProgress) std::fputc('\n', stderr);

  if (result.status != ExportStatus::Done) {
    std::fprintf(stderr, "trelvan-cli export: %s\n", result.message.c_str());
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
