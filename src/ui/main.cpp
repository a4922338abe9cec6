// trelvan: the station's desktop application.
//
//   trelvan                     works in its working folder (see work_folder.h) on the configured line
//   trelvan --simulate          works in a demo folder on the built-in simulated station
//   trelvan --folder DIR        works in DIR
//   trelvan --version           prints "trelvan 2.19"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QTextStream>

#include "comm/qt_serial_line.h"
#include "core/version.h"
#include "live/user_locale.h"
#include "ui/application.h"
#include "ui/demo_station.h"
#include "ui/first_paint_report.h"
#include "ui/main_window.h"
#include "ui/message_box_prompter.h"
#include "ui/quit_signals.h"
#include "ui/work_folder.h"

int main(int argc, char** argv) {
  using namespace trelvan;
  QApplication app(argc, argv);
  Application::SetProgramIdentity();

  QCommandLineParser parser;
  parser.setApplicationDescription("TRELVAN: Messstation für Wasserqualität");
  parser.addHelpOption();
  const QCommandLineOption version("version", "Die Version zeigen.");
  parser.addOption(version);
  const WorkFolderOptions options(parser);
  parser.process(app);
  if (parser.isSet(version)) {
    QTextStream(stdout) << "trelvan " << QString(VersionText).section(' ', -1) << "\n";
    return 0;
  }

  DemoStation demo;
  if (!EnterWorkFolder(parser, options, demo)) return 1;

  MessageBoxPrompter prompter;
  QtSerialLine line;
  Application application(QDir::currentPath(), prompter, line, UserDecimalSeparator());
  ReportFirstPaintIfAsked(app, "ConfigW");
  bool quitBySignal = false;
  QuitOnSignals(&application, [&application, &quitBySignal] {
    quitBySignal = true;
    if (TRELVAN* main = application.mainWindow()) main->Quitter();
    QCoreApplication::exit(0); // whatever a window says to closing
  });
  application.Start();
  if (quitBySignal) return 0; // during a message of the start
  return QApplication::exec();
}
