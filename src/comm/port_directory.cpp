#include "port_directory.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QSettings>

#include <algorithm>

namespace trelvan {

namespace {

constexpr const char* kIniName = "trelvan.ini";

QString PortKey(int portNumber) { return QStringLiteral("Ports/Com%1").arg(portNumber); }

// The device a name stands for: the target of a link, followed to its end.
// "" when the name leads nowhere (an adapter that is not plugged in).
QString Canonical(const QString& name) { return QFileInfo(name).canonicalFilePath(); }

} // namespace

PortDirectory::PortDirectory(QString folder, QString byIdRoot)
    : folder_(std::move(folder)), byIdRoot_(std::move(byIdRoot)) {}

QString PortDirectory::IniPath() const { return QDir(folder_).filePath(kIniName); }

QList<SerialDevice> PortDirectory::Devices() const {
  QList<SerialDevice> found;
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
    found.append({info.systemLocation(), QString(), info.manufacturer(), info.description(),
                  info.serialNumber()});
  }
  return WithStableNames(std::move(found));
}

QList<SerialDevice> PortDirectory::WithStableNames(QList<SerialDevice> found) const {
  const QFileInfoList links =
      QDir(byIdRoot_).entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
  for (const QFileInfo& link : links) {
    const QString target = Canonical(link.absoluteFilePath());
    if (target.isEmpty()) continue;
    auto same = std::find_if(found.begin(), found.end(),
                             [&](const SerialDevice& d) { return Canonical(d.kernelName) == target; });
    if (same == found.end()) {
      found.append({target, link.absoluteFilePath(), {}, {}, {}});
    } else if (same->stableName.isEmpty()) {
      same->stableName = link.absoluteFilePath();
    }
  }
  std::sort(found.begin(), found.end(),
            [](const SerialDevice& a, const SerialDevice& b) { return a.kernelName < b.kernelName; });
  return found;
}

QString PortDirectory::StableNameOf(const QString& device) const {
  const QString target = Canonical(device);
  if (target.isEmpty()) return {};
  const QFileInfoList links =
      QDir(byIdRoot_).entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
  for (const QFileInfo& link : links) {
    if (Canonical(link.absoluteFilePath()) == target) return link.absoluteFilePath();
  }
  return {};
}

QString PortDirectory::Assignment(int portNumber) const {
  const QSettings ini(IniPath(), QSettings::IniFormat);
  return ini.value(PortKey(portNumber)).toString();
}

bool PortDirectory::Assign(int portNumber, const QString& device, QString* error) {
  QSettings ini(IniPath(), QSettings::IniFormat);
  if (device.isEmpty()) {
    ini.remove(PortKey(portNumber));
  } else {
    const QString stable = device.startsWith(byIdRoot_ + '/') ? device : StableNameOf(device);
    ini.setValue(PortKey(portNumber), stable.isEmpty() ? device : stable);
  }
  ini.sync();
  if (ini.status() == QSettings::NoError) return true;
  if (error) {
    *error = QStringLiteral("Die Zuordnung von Com%1 kann nicht in \"%2\" gespeichert werden: %3.")
                 .arg(portNumber)
                 .arg(IniPath(), ini.status() == QSettings::AccessError ? QStringLiteral("keine Schreibberechtigung")
                                                                         : QStringLiteral("Datei fehlerhaft"));
  }
  return false;
}

PortDirectory::Resolution PortDirectory::Resolve(int portNumber) const {
  Resolution r;
  const QByteArray fromEnvironment = qgetenv(QByteArray("TRELVAN_COM") + QByteArray::number(portNumber));
  if (!fromEnvironment.isEmpty()) {
    r.configured = r.device = QString::fromLocal8Bit(fromEnvironment);
    r.source = Source::Environment;
    return r;
  }
  r.configured = Assignment(portNumber);
  if (r.configured.isEmpty()) {
    r.configured = r.device = PlatformDefault(portNumber);
    r.source = Source::Default;
    return r;
  }
  r.source = Source::Assignment;
  // The kernel device the stable name leads to now, so that lock files and
  // messages name what the system names.
  const QString target = Canonical(r.configured);
  r.device = target.isEmpty() ? r.configured : target;
  return r;
}

QString PortDirectory::PlatformDefault(int portNumber) {
#ifdef Q_OS_WIN
  return QStringLiteral("COM%1").arg(portNumber);
#else
  return QStringLiteral("/dev/ttyS%1").arg(portNumber - 1);
#endif
}

} // namespace trelvan
