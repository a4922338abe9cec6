#include "work_folder.h"

#include <QDir>
#include <QStandardPaths>
#include <QTextStream>

#include "ui/demo_station.h"

namespace trelvan {

WorkFolderOptions::WorkFolderOptions(QCommandLineParser& parser) { parser.addOptions({simulate, folder}); }

bool EnterWorkFolder(const QCommandLineParser& parser, const WorkFolderOptions& options, DemoStation& demo) {
  QTextStream out(stdout);
  QTextStream err(stderr);
  QString workFolder = parser.isSet(options.folder) ? parser.value(options.folder) : QDir::currentPath();
  if (parser.isSet(options.simulate)) {
    if (!parser.isSet(options.folder))
      workFolder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + "/demo";
    if (!demo.Start(workFolder)) {
      err << demo.errorText() << "\n";
      return false;
    }
    out << "Simulierte Station an " << demo.devicePath() << ", Ordner " << workFolder << "\n";
  }
  if (!QDir::setCurrent(workFolder)) {
    err << "Der Ordner " << workFolder << " ist nicht erreichbar.\n";
    return false;
  }
  return true;
}

} // namespace trelvan
