#pragma once
// trelvan-cli run to its end in a working folder: its status and what it
// printed, as a script sees them.

#include <QProcess>
#include <QStringList>

#include "support/cli_processes.h"

namespace trelvan::testing {

struct CliRun {
  int exitCode = -1; // -1: it did not end within a minute (and was killed)
  QString out;
  QString err;
  QStringList lines; // of out
};

inline CliRun RunCli(const QString& folder, const QStringList& args) {
  QProcess p;
  p.setWorkingDirectory(folder);
  p.start(CliPath(), args);
  if (!p.waitForFinished(60000)) return {}; // QProcess kills it on destruction
  const QString out = QString::fromUtf8(p.readAllStandardOutput());
  return {p.exitCode(), out, QString::fromUtf8(p.readAllStandardError()), out.split('\n', Qt::SkipEmptyParts)};
}

} // namespace trelvan::testing
