#include "asset_files.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace trelvan {

QString FindAssetFile(const QString& fileName) {
  QStringList candidates{QDir::current().filePath(fileName)};
  if (QCoreApplication::instance()) {
    const QString bin = QCoreApplication::applicationDirPath();
    candidates << bin + "/../share/trelvan/" + fileName << bin + "/" + fileName;
  }
  for (const QString& dir :
       QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, "trelvan", QStandardPaths::LocateDirectory))
    candidates << dir + "/" + fileName;
#ifdef TRELVAN_SOURCE_ASSETS
  candidates << QStringLiteral(TRELVAN_SOURCE_ASSETS) + "/" + fileName;
#endif
  for (const QString& path : candidates)
    if (QFileInfo(path).isFile()) return QFileInfo(path).absoluteFilePath();
  return {};
}

} // namespace trelvan
