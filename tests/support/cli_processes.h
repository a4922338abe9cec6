#pragma once
// trelvan-cli run as a child process for a test: the simulator (its first
// line of output is the device path) and the poller, plus what /proc tells
// about a running process (resident memory, open descriptors).

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace trelvan::testing {

inline QString CliPath() {
  QString cli = qEnvironmentVariable("TRELVAN_CLI");
  if (cli.isEmpty()) cli = TRELVAN_CLI_PATH;
  return cli;
}

inline bool CliBuilt() { return QFileInfo(CliPath()).isExecutable(); }

// `trelvan-cli sim` for the length of a scope; device() is empty when it
// could not start (no pseudo-terminal).
class SimProcess {
 public:
  SimProcess(const QString& folder, const QStringList& args) {
    process_.setWorkingDirectory(folder);
    process_.start(CliPath(), QStringList{"sim"} + args);
    if (!process_.waitForStarted(5000)) return;
    while (!process_.canReadLine() && process_.waitForReadyRead(5000)) {}
    device_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
  }
  ~SimProcess() {
    process_.terminate();
    if (!process_.waitForFinished(3000)) process_.kill();
    process_.waitForFinished(1000);
  }
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  QString device() const { return device_; }
  QProcess& process() { return process_; }

 private:
  QProcess process_;
  QString device_;
};

// Resident memory of a running process in KiB (VmRSS), -1 when unknown.
inline long ResidentKiB(qint64 pid) {
  QFile status(QStringLiteral("/proc/%1/status").arg(pid));
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n')) {
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
  }
  return -1;
}

// Open file descriptors of a running process, -1 when unknown.
inline int OpenDescriptors(qint64 pid) {
  const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
  if (!fds.exists()) return -1;
  return static_cast<int>(fds.entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System).size());
}

} // namespace trelvan::testing
