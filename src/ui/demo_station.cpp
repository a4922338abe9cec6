#include "demo_station.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include "core/channel_table.h"
#include "core/serial_settings.h"

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>
#endif

namespace trelvan {

DemoStation::DemoStation(QObject* parent) : QObject(parent) {}

DemoStation::~DemoStation() { Stop(); }

QString DemoStation::FindCli() {
  const QString bin = QCoreApplication::applicationDirPath();
  for (const QString& candidate : {bin + "/trelvan-cli", bin + "/../cli/trelvan-cli"})
    if (QFileInfo(candidate).isExecutable()) return QFileInfo(candidate).absoluteFilePath();
  return QStandardPaths::findExecutable("trelvan-cli");
}

QByteArray DemoStation::DemoChannelFile() {
  ChannelTable table;
  table[0] = {1, 0, "1", "Reinwasser", true, false};   // resistivity
  table[1] = {1, 2, "2", "Becken 1", true, false};     // pH
  table[2] = {1, 5, "3", "Zulauf", false, true};       // flow, Ext. block
  table[3] = {1, 12, "4", "Ablauf", true, false};      // turbidity
  return QByteArray::fromStdString(FormatChannelFile(table).bytes);
}

bool DemoStation::Start(const QString& folder) {
  if (!QDir().mkpath(folder)) {
    error_ = "Der Demo-Ordner " + folder + " kann nicht angelegt werden.";
    return false;
  }
  const QDir dir(folder);
  auto writeIfMissing = [&](const char* name, const QByteArray& bytes) {
    QFile file(dir.filePath(name));
    if (file.exists()) return true;
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
  };
  SerialSettings com1;
  if (!writeIfMissing(kChannelFileName, DemoChannelFile()) ||
      !writeIfMissing(kSerialFileName, QByteArray::fromStdString(FormatSerialFile(com1)))) {
    error_ = "Die Demo-Dateien in " + folder + " können nicht geschrieben werden.";
    return false;
  }

  const QString cli = FindCli();
  if (cli.isEmpty()) {
    error_ = "Der Stationssimulator (trelvan-cli) wurde nicht gefunden.";
    return false;
  }
  process_ = new QProcess(this);
  process_->setWorkingDirectory(folder);
  process_->setProcessChannelMode(QProcess::SeparateChannels);
  process_->setProgram(cli);
  process_->setArguments({"sim"});
#ifdef Q_OS_LINUX
  // The simulator ends with this program however it ends, killed included:
  // the kernel sends it SIGTERM when its parent dies.
  const pid_t parent = ::getpid();
  process_->setChildProcessModifier([parent] {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(1); // the parent ended before prctl took hold
  });
#endif
  process_->start();
  if (!process_->waitForStarted(5000)) {
    error_ = "Der Stationssimulator startet nicht: " + process_->errorString();
    return false;
  }
  // Its first line is the device to open.
  while (!process_->canReadLine()) {
    if (!process_->waitForReadyRead(5000)) {
      error_ = "Der Stationssimulator meldet kein Gerät: " +
               QString::fromLocal8Bit(process_->readAllStandardError()).trimmed();
      Stop();
      return false;
    }
  }
  device_ = QString::fromLocal8Bit(process_->readLine()).trimmed();
  // Com1 of this process is the simulator's device, whatever PortCom.dat says.
  for (int k = 1; k <= 4; ++k) qunsetenv(QStringLiteral("TRELVAN_COM%1").arg(k).toLatin1());
  qputenv("TRELVAN_COM1", device_.toLocal8Bit());
  return true;
}

void DemoStation::Stop() {
  if (!process_) return;
  if (process_->state() != QProcess::NotRunning) {
    process_->terminate();
    if (!process_->waitForFinished(3000)) {
      process_->kill();
      process_->waitForFinished(1000);
    }
  }
  delete process_;
  process_ = nullptr;
}

} // namespace trelvan
