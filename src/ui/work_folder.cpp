#include "work_folder.h"

#include <QDir>
#include <QStandardPaths>
#include <QTextStream>

#include "core/working_folder.h"
#include "ui/demo_station.h"

namespace trelvan {

WorkFolderOptions::WorkFolderOptions(QCommandLineParser& parser) { parser.addOptions({simulate, folder}); }

bool EnterWorkFolder(const QCommandLineParser& parser, const WorkFolderOptions& options, DemoStation& demo) {
  QTextStream out(stdout);
  QTextStream err(stderr);
  // --folder DIR, else a current folder with a "config.txt", else the
  // user's data folder, made on the first start.
  const WorkingFolder chosen = ChooseWorkingFolder(WorkingFolderInputsOfProcess(
      parser.isSet(options.folder) ? std::optional<std::filesystem::path>(parser.value(options.folder).toStdString())
                                   : std::nullopt));
  QString workFolder = QString::fromStdString(chosen.path.string());
  if (parser.isSet(options.simulate)) {
    if (!parser.isSet(options.folder))
      workFolder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + "/demo";
    if (!demo.Start(workFolder)) {
      err << demo.errorText() << "\n";
      return false;
    }
    out << "Simulierte Station an " << demo.devicePath() << ", Ordner " << workFolder << "\n";
  } else if (std::string error; !PrepareWorkingFolder(chosen, &error)) {
    err << QString::fromStdString(error) << "\n";
    return false;
  }
  if (!QDir::setCurrent(workFolder)) {
    err << "Der Ordner " << workFolder << " ist nicht erreichbar.\n";
    return false;
  }
  return true;
}

} // namespace trelvan
