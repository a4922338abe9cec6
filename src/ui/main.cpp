// trelvan: the station's desktop application.
//
//   trelvan                     works in the current folder on the configured line
//   trelvan --simulate          works in a demo folder on the built-in simulated station
//   trelvan --folder DIR        works in DIR
//   trelvan --tour FILE.png     opens the measurement, waits for live values,
//                               saves a picture of the screen and ends
//   trelvan --screenshots DIR   saves a picture of every window into DIR and ends

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QIcon>
#include <QLabel>
#include <QScreen>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTextStream>
#include <QTimer>

#include <sys/socket.h>
#include <unistd.h>

#include <csignal>

#include "comm/qt_serial_line.h"
#include "live/measurement_window.h"
#include "live/user_locale.h"
#include "logger/extraction.h"
#include "ui/application.h"
#include "ui/config_dialog.h"
#include "ui/demo_station.h"
#include "ui/first_paint_report.h"
#include "ui/main_window.h"
#include "ui/message_box_prompter.h"
#include "ui/serial_line_dialog.h"

namespace {

using namespace trelvan;

// Lets the event loop run for up to `ms`, or until `done` holds.
template <typename Done>
void RunFor(int ms, Done done) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms && !done()) {
    QEventLoop loop;
    QTimer::singleShot(50, &loop, &QEventLoop::quit);
    loop.exec();
  }
}

bool AllValuesShown(F_Mesure* window, const Station& station) {
  if (!window) return false;
  for (int i = 0; i < kChannelCount; ++i) {
    if (!station.channelTable[i].isEnabled()) continue;
    auto* label = window->findChild<QLabel*>(QString("Etiquette3_%1").arg(i));
    if (!label || label->text().isEmpty()) return false;
  }
  return window->pollCycle().passCount() >= 2;
}

// SIGINT and SIGTERM end the program the way "Quitter" does, on the event
// loop: windows close, and an export that is running leaves its files as they
// were. The handler only writes a byte into a socket pair.
int g_quitSignal[2] = {-1, -1};

void OnQuitSignal(int) {
  const char c = 1;
  [[maybe_unused]] const auto n = ::write(g_quitSignal[1], &c, 1);
}

template <typename Quit>
void QuitOnSignals(QObject* owner, Quit quit) {
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_quitSignal) != 0) return;
  auto* notifier = new QSocketNotifier(g_quitSignal[0], QSocketNotifier::Read, owner);
  QObject::connect(notifier, &QSocketNotifier::activated, owner, [quit] {
    char c;
    [[maybe_unused]] const auto n = ::read(g_quitSignal[0], &c, 1);
    quit();
  });
  std::signal(SIGINT, OnQuitSignal);
  std::signal(SIGTERM, OnQuitSignal);
}

QPixmap Picture(QWidget* w) {
  // Under a display server the screen shows the real windows; offscreen, the
  // widget draws itself.
  if (QScreen* s = QGuiApplication::primaryScreen(); s && QGuiApplication::platformName() == "xcb") {
    QPixmap shot = s->grabWindow(0);
    if (!shot.isNull()) return shot;
  }
  return w->grab();
}

} // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("TRELVAN");
  QApplication::setWindowIcon(QIcon(":/ui/trelvan.png"));

  QCommandLineParser parser;
  parser.setApplicationDescription("TRELVAN: Messstation für Wasserqualität");
  parser.addHelpOption();
  QCommandLineOption simulate("simulate", "Mit der eingebauten simulierten Station arbeiten.");
  QCommandLineOption folder("folder", "In diesem Ordner arbeiten.", "DIR");
  QCommandLineOption tour("tour", "Messung öffnen, Bild des Bildschirms speichern, beenden.", "FILE");
  QCommandLineOption shots("screenshots", "Bilder aller Fenster in DIR speichern, beenden.", "DIR");
  parser.addOptions({simulate, folder, tour, shots});
  parser.process(app);
  QTextStream out(stdout);
  QTextStream err(stderr);

  QString workFolder = parser.isSet(folder) ? parser.value(folder) : QDir::currentPath();
  DemoStation demo;
  if (parser.isSet(simulate)) {
    if (!parser.isSet(folder))
      workFolder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + "/demo";
    if (!demo.Start(workFolder)) {
      err << demo.errorText() << "\n";
      return 1;
    }
    out << "Simulierte Station an " << demo.devicePath() << ", Ordner " << workFolder << "\n";
    out.flush();
  }
  // Relative file names (config files, exports, instrum1.bmp) resolve here.
  if (!QDir::setCurrent(workFolder)) {
    err << "Der Ordner " << workFolder << " ist nicht erreichbar.\n";
    return 1;
  }

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

  if (parser.isSet(tour) || parser.isSet(shots)) {
    QTimer::singleShot(300, [&] {
      Station& station = application.station();
      application.configWindow()->Cancel(); // leaves the start window without writing
      TRELVAN* main = application.mainWindow();
      if (parser.isSet(shots)) {
        const QDir dir(parser.value(shots));
        QDir().mkpath(dir.path());
        auto save = [&](QWidget* w, const QString& name) {
          RunFor(300, [] { return false; });
          const QString path = dir.filePath(name + ".png");
          w->grab().save(path);
          out << path << "\n";
        };
        save(main, "TRELVAN");
        ConfigW* config = application.configWindow();
        config->showMaximized();
        save(config, "ConfigW");
        config->hide();
        main->ShowSerialLineDialog();
        save(main->serialLineDialog(), "ConfLS");
        main->serialLineDialog()->hide();
        main->ShowLoggerWindow(false);
        save(main->loggerWindow(), "Extraction-export");
        main->ShowLoggerWindow(true);
        save(main->loggerWindow(), "Extraction-reset");
        main->loggerWindow()->hide();
      }
      main->StartMeasurement();
      RunFor(10000, [&] { return AllValuesShown(main->measurementWindow(), station); });
      RunFor(300, [] { return false; });
      if (parser.isSet(shots)) {
        const QString path = QDir(parser.value(shots)).filePath("F_Mesure.png");
        main->measurementWindow()->grab().save(path);
        out << path << "\n";
      }
      if (parser.isSet(tour)) {
        Picture(main->measurementWindow()).save(parser.value(tour));
        out << parser.value(tour) << "\n";
      }
      out.flush();
      main->Quitter();
    });
  }
  return QApplication::exec();
}
