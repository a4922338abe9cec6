// trelvan-tour: the application driven through its windows, for a person to
// look at them (scripts/screenshots, scripts/run). Not installed.
//
//   trelvan-tour [--simulate] [--folder DIR] --screenshots DIR
//       saves a picture of every window and of every message box met on the
//       way into DIR
//   trelvan-tour [--simulate] [--folder DIR] --tour FILE.png
//       opens the measurement, waits for live values, saves a picture of the
//       screen
//
// It starts like `trelvan` and then leaves the start window as "ABBRECHEN"
// does, so nothing is written to the work folder but the record of the
// measurement ("Messwerte.sqlite", as the application records). Questions are
// answered "Nein"; the windows of "E&xtras" are filled for their pictures
// (limits, MQTT settings) but not saved.

#include <QApplication>
#include <QCheckBox>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QToolTip>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTextStream>
#include <QTimer>

#include "comm/qt_serial_line.h"
#include "live/measurement_window.h"
#include "live/user_locale.h"
#include "logger/extraction.h"
#include "ui/application.h"
#include "ui/config_dialog.h"
#include "ui/demo_station.h"
#include "ui/main_window.h"
#include "ui/measurement_outlets.h"
#include "ui/message_box_prompter.h"
#include "ui/serial_line_dialog.h"
#include "ui/trend_window.h"
#include "ui/work_folder.h"

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

void Settle() {
  RunFor(300, [] { return false; });
}

// The whole screen under a display server (window frames and message boxes
// included); offscreen, what the widget draws of itself.
QPixmap Picture(QWidget* w) {
  if (QScreen* s = QGuiApplication::primaryScreen(); s && QGuiApplication::platformName() == "xcb") {
    QPixmap shot = s->grabWindow(0);
    if (!shot.isNull()) return shot;
  }
  return w->grab();
}

// Shows every message in its real box and saves a picture of it before it
// is answered: OK, or "Nein" for a question.
class PicturePrompter : public Prompter {
 public:
  using Prompter::ask;
  using Prompter::tell;

  void setFolder(const QString& folder) { folder_ = folder; }

  void tell(PromptIcon icon, const std::string& text, const std::string& title) override {
    AnswerWhenShown(QMessageBox::Ok);
    boxes_.tell(icon, text, title);
  }
  bool ask(PromptIcon icon, const std::string& text, const std::string& title,
           PromptDefault preselected) override {
    AnswerWhenShown(QMessageBox::No);
    return boxes_.ask(icon, text, title, preselected);
  }
  void beep() override {}

 private:
  void AnswerWhenShown(QMessageBox::StandardButton answer) {
    QTimer::singleShot(400, [this, answer] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      if (!folder_.isEmpty()) {
        const QString path = QDir(folder_).filePath(QString("Meldung-%1.png").arg(++count_, 2, 10, QChar('0')));
        Picture(box).save(path);
        QTextStream(stdout) << path << "  " << box->text().simplified() << "\n";
      }
      if (QAbstractButton* button = box->button(answer)) button->click();
      else box->reject();
    });
  }

  MessageBoxPrompter boxes_;
  QString folder_;
  int count_ = 0;
};

bool AllValuesShown(F_Mesure* window, const Station& station) {
  if (!window) return false;
  for (int i = 0; i < kChannelCount; ++i) {
    if (!station.channelTable[i].isEnabled()) continue;
    auto* label = window->findChild<QLabel*>(QString("Etiquette3_%1").arg(i));
    if (!label || label->text().isEmpty()) return false;
  }
  return window->pollCycle().passCount() >= 2;
}

template <class W>
W* Child(QWidget* window, const char* name) {
  return window ? window->findChild<W*>(name) : nullptr;
}

QWidget* TopLevel(const QString& name) {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == name && w->isVisible()) return w;
  return nullptr;
}

void Type(QWidget* window, const char* name, const QString& text) {
  if (auto* edit = Child<QLineEdit>(window, name)) edit->setText(text);
}

// The limits the pictures show: the live pH of the demo's channel 1 is above
// its upper limit, so that its gauge carries the red frame and the alarm list
// an entry; channel 0 of the generated record (scripts/screenshots) is a pH
// too, whose limits the trend draws.
LimitTable TourLimits() {
  LimitTable limits;
  limits[0] = {.lower = 6.7, .upper = 7.5, .hysteresis = 0.05, .unit = "pH"};
  limits[1] = {.lower = 6.5, .upper = 7.0, .hysteresis = 0.05, .unit = "pH"};
  return limits;
}

// A control's tooltip, shown as the pointer would show it.
void ShowToolTip(QWidget* control) {
  if (control) QToolTip::showText(control->mapToGlobal(control->rect().center()), control->toolTip(), control);
}

class Tour {
 public:
  Tour(Application& application, PicturePrompter& prompter, QString folder)
      : app_(application), prompter_(prompter), folder_(std::move(folder)) {}

  void Save(QWidget* w, const QString& name) {
    Settle();
    const QString path = QDir(folder_).filePath(name + ".png");
    Picture(w).save(path);
    QTextStream(stdout) << path << "\n";
  }

  // Every window, and the messages the operator meets most: a wrong
  // address, two equal addresses, no channel to measure, no file chosen,
  // the question before the window closes.
  void AllWindows() {
    prompter_.setFolder(folder_);
    Station& station = app_.station();
    TRELVAN* main = app_.mainWindow();
    Save(main, "TRELVAN");

    ConfigW* config = app_.configWindow();
    config->showMaximized();
    Save(config, "ConfigW");
    if (auto* address = Child<QLineEdit>(config, "AdresseStation_0")) {
      const QString stored = address->text();
      address->setText("0");
      config->Confirm(); // "Falsche Adresse"
      address->setText(stored);
      if (auto* second = Child<QLineEdit>(config, "AdresseStation_1")) second->setText(stored);
      config->Confirm(); // "Adressen mussen unterschiedlich sein" (channels 0 and 1 are Master)
    }
    config->Cancel(); // gives back the stored table

    main->ShowSerialLineDialog();
    Save(main->serialLineDialog(), "ConfLS");
    // A port the probe disabled says why on hovering.
    for (int k = 0; k < 4; ++k) {
      auto* option = Child<QRadioButton>(main->serialLineDialog(), qPrintable(QString("Option1_%1").arg(k)));
      if (!option || option->isEnabled()) continue;
      ShowToolTip(option);
      Save(main->serialLineDialog(), "ConfLS-Tooltip");
      QToolTip::hideText();
      break;
    }
    main->serialLineDialog()->hide();

    main->ShowLoggerWindow(false);
    Save(main->loggerWindow(), "Extraction-export");
    if (auto* exportButton = Child<QPushButton>(main->loggerWindow(), "Command3")) exportButton->click();
    main->ShowLoggerWindow(true);
    Save(main->loggerWindow(), "Extraction-reset");
    main->loggerWindow()->hide();

    const ChannelTable stored = station.channelTable;
    for (ChannelConfig& c : station.channelTable.channels) c.enabled = 0;
    main->StartMeasurement(); // "Keine Messung konfiguriert"
    station.channelTable = stored;

    ExtrasBeforeMeasuring();
  }

  // The windows of "E&xtras" that need no measurement.
  void ExtrasBeforeMeasuring() {
    TRELVAN* main = app_.mainWindow();
    main->ShowSerialSetupWindow();
    Save(TopLevel("SerialSetupWindow"), "Serielle-Schnittstelle");
    TopLevel("SerialSetupWindow")->hide();

    main->ShowLimitsDialog();
    QWidget* limits = TopLevel("LimitsDialog");
    const LimitTable shown = TourLimits();
    for (int k : {0, 1}) {
      const ChannelLimits& l = shown[static_cast<std::size_t>(k)];
      auto number = [](double v) { return QString::number(v).replace('.', ','); };
      Type(limits, qPrintable(QString("Lower_%1").arg(k)), number(*l.lower));
      Type(limits, qPrintable(QString("Upper_%1").arg(k)), number(*l.upper));
      Type(limits, qPrintable(QString("Hysteresis_%1").arg(k)), number(l.hysteresis));
      Type(limits, qPrintable(QString("Unit_%1").arg(k)), QString::fromStdString(l.unit));
    }
    Save(limits, "Grenzwerte");
    limits->hide(); // not saved: the tour writes no settings
    main->outlets().SetLimits(shown);

    main->ShowRecordExportDialog();
    Save(TopLevel("RecordExportDialog"), "Messwerte-exportieren");
    TopLevel("RecordExportDialog")->hide();

    main->ShowMqttSettingsDialog();
    QWidget* mqtt = TopLevel("MqttSettingsDialog");
    if (auto* on = Child<QCheckBox>(mqtt, "Aktiv")) on->setChecked(true);
    Type(mqtt, "Url", "mqtts://leitstelle.example:8883");
    Type(mqtt, "Standort", "Klaerwerk-Nord");
    Type(mqtt, "Zugangsdatei", "/etc/trelvan/mqtt-zugang");
    Save(mqtt, "MQTT");
    mqtt->hide();
  }

  // The windows of "E&xtras" that show the running measurement.
  void ExtrasWhileMeasuring() {
    TRELVAN* main = app_.mainWindow();
    main->ShowDiagnoseWindow();
    RunFor(2500, [] { return false; }); // counters and frames of a few passes
    Save(TopLevel("Diagnose"), "Diagnose");
    TopLevel("Diagnose")->hide();

    main->ShowAlarmList();
    Save(TopLevel("AlarmList"), "Alarme");
    TopLevel("AlarmList")->hide();

    main->ShowTrendWindow();
    auto* trend = static_cast<TrendWindow*>(TopLevel("TrendWindow"));
    trend->SelectRange(TrendWindow::Range::OneDay);
    Save(trend, "Verlauf");
    trend->hide();

    // The menu, with the count of alarms not yet acknowledged.
    main->raise();
    auto* extras = main->findChild<QMenu*>("Extras");
    main->menuBar()->setActiveAction(extras->menuAction());
    Save(main, "Extras-Menue");
    extras->hide();
  }

  // The tooltip of a gauge beyond its limit.
  void GaugeToolTip(F_Mesure* measurement) {
    for (int k = 0; k < kChannelCount; ++k) {
      QWidget* frame = Child<QWidget>(measurement, qPrintable(QString("AlarmFrame_%1").arg(k)));
      if (!frame || !frame->isVisible()) continue;
      ShowToolTip(Child<QWidget>(measurement, qPrintable(QString("Etiquette3_%1").arg(k))));
      Save(measurement, "F_Mesure-Tooltip");
      QToolTip::hideText();
      return;
    }
  }

  F_Mesure* Measurement() {
    TRELVAN* main = app_.mainWindow();
    main->StartMeasurement();
    RunFor(10000, [&] { return AllValuesShown(main->measurementWindow(), app_.station()); });
    Settle();
    return main->measurementWindow();
  }

 private:
  Application& app_;
  PicturePrompter& prompter_;
  QString folder_;
};

} // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  Application::SetProgramIdentity();

  QCommandLineParser parser;
  parser.setApplicationDescription("TRELVAN: Bilder der Fenster");
  parser.addHelpOption();
  const WorkFolderOptions options(parser);
  QCommandLineOption tour("tour", "Messung öffnen, Bild des Bildschirms speichern, beenden.", "FILE");
  QCommandLineOption shots("screenshots", "Bilder aller Fenster und Meldungen in DIR speichern, beenden.", "DIR");
  parser.addOptions({tour, shots});
  parser.process(app);
  if (!parser.isSet(tour) && !parser.isSet(shots)) parser.showHelp(2);

  DemoStation demo;
  if (!EnterWorkFolder(parser, options, demo)) return 1;
  PicturePrompter prompter;
  QtSerialLine line;
  Application application(QDir::currentPath(), prompter, line, UserDecimalSeparator());
  application.Start();

  QTimer::singleShot(300, [&] {
    application.configWindow()->Cancel(); // leaves the start window without writing
    const QString folder = parser.isSet(shots) ? parser.value(shots) : QString();
    if (!folder.isEmpty()) QDir().mkpath(folder);
    Tour steps(application, prompter, folder);
    if (!folder.isEmpty()) steps.AllWindows();
    F_Mesure* measurement = steps.Measurement();
    if (!folder.isEmpty()) {
      steps.Save(measurement, "F_Mesure");
      steps.GaugeToolTip(measurement);
      steps.ExtrasWhileMeasuring();
      measurement->raise();
      measurement->close(); // the question before the application ends; answered "Nein"
    }
    if (parser.isSet(tour)) {
      Picture(measurement).save(parser.value(tour));
      QTextStream(stdout) << parser.value(tour) << "\n";
    }
    application.mainWindow()->Quitter();
  });
  return QApplication::exec();
}
